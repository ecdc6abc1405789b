// Fuzzes the TIFF reader from memory. Every image it returns must be
// consistent (type from the table, lengths and byte count agreeing, every data
// byte readable), and one small enough must read back equal after being
// written as a TIFF. While reading, no allocation of the library may exceed
// what the input's bytes can justify (LZW, the most expanding of the codecs
// read, stays under about 2800 to 1, and unsigned 32-bit samples are widened
// to doubles of twice their size), whatever the directories claim.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "harness.h"
#include "zolt.h"
#include "zolt_tiff.h"

namespace {

size_t readLimit = SIZE_MAX;

void *limitedCalloc(size_t count, size_t size) {
    if (size && count > readLimit / size) {
        std::fprintf(stderr, "TIFF reader asked for %zu x %zu bytes, more than its input justifies\n", count, size);
        std::abort();
    }
    return std::calloc(count, size);
}

[[noreturn]] void broken(const char *why) {
    std::fprintf(stderr, "TIFF reader returned an inconsistent image: %s\n", why);
    std::abort();
}

std::string scratch;  // where images are written back

void roundTrip(const ZoltHeader *h) {
    if (Zoltbytes(h) > (64u << 10)) return;
    if (ZoltTiffWrite(h, scratch.c_str()) != -1) broken("writing it as TIFF failed");
    ZoltTiffInfo info;
    ZoltHeader *back = ZoltTiffRead(scratch.c_str(), &info);
    if (!back) broken("what was written could not be read back");
    if (back->dtype != h->dtype || Zoltbytes(back) != Zoltbytes(h) ||
        std::memcmp(back->oltptr, h->oltptr, Zoltbytes(h)) != 0)
        broken("read back differs");
    Zoltfree(back, 7);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ZoltErrorMode = 1;
    ZoltCallocHook = limitedCalloc;
    silenceStdout();
    const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    scratch = std::string(dir) + "/fuzz_tiff_" + std::to_string(getpid()) + ".tif";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ZoltTiffInfo info;
    readLimit = 2 * size * 2800 + (size_t{2} << 20);
    ZoltHeader *h = ZoltTiffReadMemory(data, size, "fuzz", &info);
    readLimit = SIZE_MAX;
    if (h) {
        if (!Zolttypeok(h) || h->oltndim < 2 || h->oltndim > 3 || !h->oltptr) broken("type or dimensions");
        const size_t pixels = Zoltpixels(h);
        if (pixels == 0 || Zoltbytes(h) != pixels * static_cast<size_t>(h->oltesize)) broken("byte count");
        if (info.pages < 1 || info.channels < 1 ||
            static_cast<size_t>(info.pages) * static_cast<size_t>(info.channels) != (h->oltndim == 3 ? Zoltdimen(h, 2) : 1))
            broken("pages and channels do not give the frames");
        unsigned sum = 0;
        const auto *p = static_cast<const unsigned char *>(h->oltptr);
        for (size_t i = 0; i < Zoltbytes(h); ++i) sum += p[i];
        if (sum == 0xdeadbeef) std::fprintf(stderr, "%u", sum);  // keeps the reads
        roundTrip(h);
        Zoltfree(h, 7);
    }
    requireBalancedDepth();
    return 0;
}
