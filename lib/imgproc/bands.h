// Cutting a range of rows or values into bands worked on side by side, one
// thread per band (the calling thread takes the first). If a thread cannot
// be started, the calling thread works its band as well.
#ifndef IMGPROC_BANDS_H
#define IMGPROC_BANDS_H

#include "zolt.h"
#include "zolt_threads.h"

#include <algorithm>
#include <cstddef>
#include <thread>

namespace bands {

// Bands worth making for `work` units of work, given the fewest units a
// band should have: one per core, at most 8.
inline int count(size_t work, size_t leastPerBand) {
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const size_t most = std::max<size_t>(1, work / std::max<size_t>(1, leastPerBand));
    return static_cast<int>(std::min<size_t>({static_cast<size_t>(cores), size_t(8), most}));
}

// Runs work(band, first, end) over [0, n) cut into `pieces` bands. A band's
// thread works under the caller's error mode and depth, and a code it sets
// comes back to the caller.
template <class Work>
void split(size_t n, int pieces, Work &&work) {
    ZoltRunThreads(pieces, [&](int k) { work(k, n * k / pieces, n * (k + 1) / pieces); });
}

}  // namespace bands

// Runs work(begin, end) over [0, count) in contiguous pieces, one per core,
// when count reaches minParallel; in the calling thread otherwise.
template <class Work>
void ZoltSplitWork(size_t count, size_t minParallel, Work &&work) {
    const int pieces = count < minParallel ? 1 : bands::count(count, 1);
    bands::split(count, pieces, [&](int, size_t begin, size_t end) { work(begin, end); });
}

#endif
