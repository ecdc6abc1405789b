// Waiting for other threads of a pass that is usually short: spin a little
// first (a few tens of microseconds), then sleep on a condition variable.
// Whoever makes the condition true must notify `woken` holding `mutex`.
#ifndef IMGPROC_SPINWAIT_H
#define IMGPROC_SPINWAIT_H

#include <condition_variable>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

template <class Done>
void ZoltSpinThenWait(std::mutex &mutex, std::condition_variable &woken, int spins, Done &&done) {
    for (int spin = 0; spin < spins; ++spin) {
        if (done()) return;
#if defined(__SSE2__)
        _mm_pause();
#endif
    }
    std::unique_lock<std::mutex> lock(mutex);
    woken.wait(lock, done);
}

#endif
