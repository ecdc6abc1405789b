// The one process-wide progress hook and its context; see progress.h.
#include "progress.h"

#include <mutex>

namespace {
std::mutex hookLock;  // the hook and its context change together
ProgressHook currentHook = nullptr;
void *currentContext = nullptr;
}  // namespace

void setProgressHook(ProgressHook hook, void *context) {
    std::lock_guard<std::mutex> hold(hookLock);
    currentHook = hook;
    currentContext = context;
}

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
