// The one process-wide progress hook and its context; see progress.h.
#include "progress.h"

#include <atomic>

namespace {
std::atomic<bool> cancelAsked{false};
ProgressHook currentHook = nullptr;
void *currentContext = nullptr;
}  // namespace

void setProgressHook(ProgressHook hook, void *context) {
    currentHook = hook;
    currentContext = context;
    cancelAsked = false;
}

void cancelProgress() { cancelAsked = true; }

bool progressCancelled() { return cancelAsked; }

void reportProgress(long done, long total) {
    if (currentHook) currentHook(currentContext, done, total);
}
