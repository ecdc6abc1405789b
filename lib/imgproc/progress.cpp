// The one process-wide progress hook and its context; see progress.h.
#include "progress.h"

#include <atomic>
#include <mutex>

namespace {
std::mutex hookLock;  // the hook and its context change together
std::atomic<bool> cancelAsked{false};
ProgressHook currentHook = nullptr;
void *currentContext = nullptr;
}  // namespace

void setProgressHook(ProgressHook hook, void *context) {
    std::lock_guard<std::mutex> hold(hookLock);
    currentHook = hook;
    currentContext = context;
    cancelAsked = false;
}

void cancelProgress() { cancelAsked = true; }

bool progressCancelled() { return cancelAsked; }

void reportProgress(long done, long total) {
    ProgressHook hook;
    void *context;
    {
        std::lock_guard<std::mutex> hold(hookLock);
        hook = currentHook;
        context = currentContext;
    }
    if (hook) hook(context, done, total);
}
