// Work split across threads: run(k) for k in [0, count), k = 0 on the calling
// thread and the others on threads of their own, each under the caller's
// error mode and depth; an error code a thread sets comes back to the caller.
// If a thread cannot be started, the calling thread runs its share as well.
#ifndef ZOLT_THREADS_H
#define ZOLT_THREADS_H

#include "zolt.h"

#include <thread>
#include <vector>

template <class Run>
void ZoltRunThreads(int count, Run &&run) {
    const int mode = ZoltErrorMode, depth = ZoltDepth;
    std::vector<int> codes(count > 0 ? count : 0, 0);
    std::vector<std::thread> threads;
    int started = 1;
    try {
        for (; started < count; ++started)
            threads.emplace_back([&, k = started] {
                ZoltErrorMode = mode;
                ZoltDepth = depth;
                run(k);
                codes[k] = ZoltErrorCode;
            });
    } catch (...) {
        // no more threads: the calling thread runs the rest
    }
    if (count > 0) run(0);
    for (int k = started; k < count; ++k) run(k);
    for (std::thread &t : threads) t.join();
    for (int code : codes)
        if (code != 0) ZoltErrorCode = code;
}

#endif
