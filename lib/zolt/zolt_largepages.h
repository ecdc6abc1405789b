// Large pages for buffers about to be written whole (a picture, a working
// copy, a label image): their first writes then fault memory in 2 MiB steps
// rather than 4 KiB ones, which costs far less where faults are dear.
// Contents are unchanged; asking is a no-op where unsupported.
#ifndef ZOLT_LARGEPAGES_H
#define ZOLT_LARGEPAGES_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Asks for large pages over the whole 2 MiB blocks inside [p, p + bytes).
inline void ZoltPreferLargePages(void *p, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kLarge = uintptr_t{1} << 21;
    if (!p || bytes < 2 * kLarge) return;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(p) + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kLarge - 1);
    if (end > first) madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

// A buffer of `bytes` (uninitialised) starting on a large page, with large
// pages asked for, or null; release it with std::free.
inline void *ZoltLargeAlloc(size_t bytes) {
    constexpr size_t kLarge = size_t{1} << 21;
    if (bytes < 2 * kLarge) return std::malloc(bytes ? bytes : 1);
    const size_t size = (bytes + kLarge - 1) / kLarge * kLarge;
    void *p = std::aligned_alloc(kLarge, size);
    if (p) ZoltPreferLargePages(p, size);
    return p;
}

#endif
