// What the harnesses share: the input as a regular file in memory, a silent
// standard output, and the check that every library call left its nesting
// counter where it found it.
#ifndef ZOLT_FUZZ_HARNESS_H
#define ZOLT_FUZZ_HARNESS_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "zolt.h"

// A descriptor of a memory file holding the input, positioned at its start;
// -1 when none could be made. Close it after use.
inline int memoryFile(const char *name, const uint8_t *data, size_t size) {
    const int fd = memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) return -1;
    if (write(fd, data, size) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The library's console lines go nowhere: they are not what is tested.
inline void silenceStdout() {
    if (!std::freopen("/dev/null", "w", stdout)) std::fprintf(stderr, "stdout stays open\n");
}

// Ends the run when a library call returned without undoing its entry.
inline void requireBalancedDepth() {
    if (ZoltDepth != 0) {
        std::fprintf(stderr, "library nesting counter left at %d\n", ZoltDepth);
        std::abort();
    }
}

#endif
