// Fuzzes the ZOLT reader twice per input: from a regular file (its size known,
// the tail asked for) and from a stream of unknown length. Every image the
// reader returns must be consistent (type name, code and size from one table
// row; lengths, strides and byte count agreeing; every data byte readable),
// must convert to float, give frame statistics and a display plane, and must
// read back equal after being written. While reading, no allocation may exceed
// what the input's bytes can justify (a zlib stream inflates at most about
// 1032 to 1), whatever the header claims. The frame-by-frame reader reads the
// same file too: where it reads every frame and the whole reader takes the
// file, the frames hold the whole image's bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display.h"
#include "imagecopy.h"
#include "stats.h"
#include "harness.h"
#include "zolt.h"
#include "zolt_frames.h"

namespace {

size_t readLimit = SIZE_MAX;  // largest allocation the input justifies while it is read

void *limitedCalloc(size_t count, size_t size) {
    if (size && count > readLimit / size) {
        std::fprintf(stderr, "reader asked for %zu x %zu bytes, more than its input justifies\n", count, size);
        std::abort();
    }
    return std::calloc(count, size);
}

void *limitedRealloc(void *p, size_t size) {
    if (size > readLimit) {
        std::fprintf(stderr, "reader asked for %zu bytes, more than its input justifies\n", size);
        std::abort();
    }
    return std::realloc(p, size);
}

// Reads an image with allocations held to what `inputBytes` justify.
ZoltHeader *readLimited(FILE *fp, int tailflag, size_t inputBytes) {
    readLimit = inputBytes * 1100 + (size_t{2} << 20);
    ZoltHeader *h = ZoltRdImg(fp, tailflag);
    readLimit = SIZE_MAX;
    return h;
}

[[noreturn]] void broken(const char *why) {
    std::fprintf(stderr, "reader returned an inconsistent image: %s\n", why);
    std::abort();
}

void checkConsistent(const ZoltHeader *h) {
    if (!Zoltmagicok(h)) broken("magic");
    if (!Zolttypeok(h)) broken("type name, code and element size disagree");
    const int n = h->oltndim;
    if (n < 1 || n > ZOLT_MAXDIM) broken("number of dimensions");
    if (!h->oltptr || !h->oltdln) broken("no data or strides");
    size_t pixels = 1;
    unsigned seen = 0;
    for (int k = 0; k < n; ++k) {
        const ZoltDimHeader &d = h->oltdim[k];
        if (d.dimlen < 1 || d.dimnum < 1 || d.dimnum > n) broken("dimension sub-header");
        seen |= 1u << d.dimnum;
        pixels *= static_cast<size_t>(d.dimlen);
    }
    if (seen != ((2u << n) - 2)) broken("dimension numbers");
    if (h->oltdln[0] != 1 || static_cast<size_t>(h->oltdln[n]) != pixels) broken("strides");
    if (Zoltpixels(h) != pixels || Zoltbytes(h) != pixels * static_cast<size_t>(h->oltesize))
        broken("byte count");
    // Every byte must lie inside the buffer (the sanitizer checks the reads).
    const auto *p = static_cast<const unsigned char *>(h->oltptr);
    unsigned sum = 0;
    for (size_t i = 0; i < Zoltbytes(h); ++i) sum += p[i];
    // A tail not asked for keeps its announced length but no bytes.
    if (h->olttail) {
        if (h->olttaillen < 1) broken("tail without a length");
        for (int i = 0; i < h->olttaillen; ++i) sum += h->olttail[i];
    }
    static volatile unsigned sink;
    sink = sink + sum;
}

// What the program does with an image it has read: a float copy, statistics
// and a display plane.
void use(const ZoltHeader *h) {
    if (ZoltHeader *f = Zoltretype(h, "float")) {
        if (f->dtype != ZOLT_F32 || Zoltpixels(f) != Zoltpixels(h)) broken("float copy");
        Zoltfree(f, 7);
    }
    int cols = 0, rows = 0, frames = 0;
    if (Zoltshape(h, &cols, &rows, &frames) != 0) broken("shape");
    ZoltFrameStats s;
    for (int f = 0; f < frames && f < 4; ++f) Zoltframestats(h, f, &s);
    if (Zoltpixels(h) <= (1u << 16))
        if (ZoltHeader *b = ZoltDisplayBytes(h, 0, 0)) Zoltfree(b, 7);
}

// Writes the image to memory and reads it again: the same type, lengths and bytes.
void roundTrip(ZoltHeader *h) {
    if (Zoltbytes(h) > (1u << 20)) return;
    char *buf = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&buf, &len);
    if (!out) return;
    const int written = ZoltWrImg(h, out, 0);
    std::fclose(out);
    if (written != -1) broken("writing it back failed");
    FILE *in = fmemopen(buf, len, "rb");
    ZoltHeader *back = in ? ZoltRdImg(in, 0) : nullptr;
    if (in) std::fclose(in);
    std::free(buf);
    if (!back) broken("what was written could not be read back");
    if (back->dtype != h->dtype || back->oltndim != h->oltndim || Zoltbytes(back) != Zoltbytes(h) ||
        std::memcmp(back->oltptr, h->oltptr, Zoltbytes(h)) != 0)
        broken("read back differs");
    Zoltfree(back, 7);
}

void examine(ZoltHeader *h) {
    if (!h) return;
    checkConsistent(h);
    use(h);
    roundTrip(h);
    Zoltfree(h, 7);
}

// The file read frame after frame into one buffer; compared with `whole`
// (null when the whole reader refused the file).
void readFrames(int fd, size_t inputBytes, const ZoltHeader *whole) {
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    readLimit = inputBytes * 1100 + (size_t{2} << 20);
    ZoltFrameReader *r = ZoltFrameOpen(name.c_str());
    readLimit = SIZE_MAX;
    if (!r) return;
    const size_t frame = ZoltFrameBytes(r);
    const int frames = ZoltFrameCount(r);
    if (frames < 1) broken("frame reader: no frames");
    if (frame == 0 || frame > (size_t{64} << 20) / static_cast<size_t>(frames)) {
        ZoltFrameClose(r);  // more than is worth holding here
        return;
    }
    std::vector<unsigned char> all(frame * static_cast<size_t>(frames));
    int f = 0;
    while (f < frames && ZoltFrameNext(r, all.data() + frame * static_cast<size_t>(f)) == 0) ++f;
    if (f == frames && ZoltFrameNext(r, all.data()) == 0) broken("frame reader: a frame past the last");
    if (f == frames && whole && (Zoltbytes(whole) != all.size() ||
                                 std::memcmp(whole->oltptr, all.data(), all.size()) != 0))
        broken("frames differ from the image read whole");
    ZoltFrameClose(r);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ZoltErrorMode = 1;  // the reader's reports are not what is tested here
    ZoltCallocHook = limitedCalloc;
    ZoltReallocHook = limitedRealloc;
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A regular file in memory: the reader may trust its size.
    const int fd = memoryFile("zolt", data, size);
    if (fd >= 0) {
        if (FILE *fp = fdopen(fd, "rb")) {
            ZoltHeader *h = readLimited(fp, 1, size);
            readFrames(fd, size, h);
            examine(h);
            std::fclose(fp);
        } else {
            close(fd);
        }
    }
    // A stream of unknown length, as from a pipe.
    if (size > 0) {
        if (FILE *fp = fmemopen(const_cast<uint8_t *>(data), size, "rb")) {
            examine(readLimited(fp, 0, size));
            std::fclose(fp);
        }
    }
    requireBalancedDepth();
    return 0;
}
