// The one process-wide progress hook and its context; see progress.h.
#include "progress.h"

namespace {
ProgressHook currentHook = nullptr;
void *currentContext = nullptr;
}  // namespace

void setProgressHook(ProgressHook hook, void *context) {
    currentHook = hook;
    currentContext = context;
}

void reportProgress(long done, long total) {
    if (currentHook) currentHook(currentContext, done, total);
}
