// Fuzzes the boundary-file reader: the input is handed over as a file, read
// once placed on the points' bounding box and once at the points' own
// coordinates. An image, when one comes back, must be three "u8bit" frames.
// The image spans the points' bounding box, so a few bytes may ask for
// gigabytes: the library's allocations are capped here as on a machine of
// little memory, which also exercises the paths of a failed allocation.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.h"
#include "plotcontour.h"
#include "zolt.h"

namespace {

constexpr size_t kMemoryCap = size_t{64} << 20;

void *cappedCalloc(size_t count, size_t size) {
    if (size && count > kMemoryCap / size) return nullptr;
    return std::calloc(count, size);
}

void check(ZoltHeader *h) {
    if (!h) return;
    if (!Zolttypeok(h) || h->dtype != ZOLT_U8 || h->oltndim != 3 || Zoltdimen(h, 2) != 3 ||
        !h->oltptr) {
        std::fprintf(stderr, "boundary image of the wrong kind\n");
        std::abort();
    }
    Zoltfree(h, 7);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ZoltErrorMode = 1;
    ZoltCallocHook = cappedCalloc;
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = memoryFile("boundary", data, size);
    if (fd < 0) return 0;
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    check(plotcontour(name.c_str(), 1.0f, 0, 0, 0));
    check(plotcontour(name.c_str(), 1.0f, 0, 0, 1));
    close(fd);
    requireBalancedDepth();
    return 0;
}
