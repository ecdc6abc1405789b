// Zlib streams for ZOLT pixel data: whole buffers through libdeflate, which
// compresses and inflates a buffer in one call several times faster than
// zlib's streaming interface, and large data through zlib's deflate in pieces
// made side by side and written as they are done, so that no compressed copy
// of the whole is held; any zlib reader reads both.
// A stream is read whole into memory before it is inflated.
#include "zolt_deflate.h"
#include "zolt.h"
#include "zolt_largepages.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>


namespace zoltdeflate {

constexpr int kDefaultLevel = 6;  // zlib's default level

size_t compress(const void *in, size_t n, void *out, size_t capacity) {
    libdeflate_compressor *c = libdeflate_alloc_compressor(kDefaultLevel);
    if (!c) return 0;
    ZoltPreferLargePages(out, std::min(capacity, n + n / 8));
    const size_t length = libdeflate_zlib_compress(c, in, n, out, capacity);
    libdeflate_free_compressor(c);
    return length;
}

namespace {

// zlib's own allocations go through the library's allocator, so that they
// fail as every other allocation does.
voidpf zoltZalloc(voidpf, uInt items, uInt size) { return ZoltCallocHook(items, size); }
void zoltZfree(voidpf, voidpf p) { Zoltcfree(p); }

constexpr size_t kWindow = size_t{1} << 15;  // deflate's window: the dictionary a piece is primed with

// One piece of the data as raw deflate blocks that end on a byte boundary
// (an empty stored block) unless it is the last, so that pieces made side by
// side join into one stream; each piece is primed with the 32 KiB before it,
// so the joins cost almost nothing in size.
struct Piece {
    const Bytef *data = nullptr;
    size_t size = 0;
    size_t primed = 0;  // bytes before `data` to prime with
    bool last = false;
    Bytef *out = nullptr;
    size_t length = 0, capacity = 0;
    uLong adler = 1;
    bool ok = false;

    Piece() = default;
    Piece(const Piece &) = delete;
    Piece &operator=(const Piece &) = delete;
    ~Piece() { Zoltcfree(out); }

    void compress() {
        ok = false;
        length = 0;
        adler = adler32(1L, data, static_cast<uInt>(size));
        z_stream zs{};
        zs.zalloc = zoltZalloc;
        zs.zfree = zoltZfree;
        if (deflateInit2(&zs, kDefaultLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
        const size_t need = deflateBound(&zs, static_cast<uLong>(size)) + 16;
        if (capacity < need) {
            Zoltcfree(out);
            out = static_cast<Bytef *>(ZoltCallocHook(need, 1));
            capacity = out ? need : 0;
        }
        if (out && (primed == 0 || deflateSetDictionary(&zs, data - primed, static_cast<uInt>(primed)) == Z_OK)) {
            zs.next_in = const_cast<Bytef *>(data);
            zs.avail_in = static_cast<uInt>(size);
            zs.next_out = out;
            zs.avail_out = static_cast<uInt>(capacity);
            const int ret = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
            // the bound leaves room for everything, the flush marker included
            ok = last ? ret == Z_STREAM_END : ret == Z_OK && zs.avail_in == 0 && zs.avail_out > 0;
            length = capacity - zs.avail_out;
        }
        deflateEnd(&zs);
    }
};

int pieceThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::min(std::max(cores, 1u), 4u));
}

}  // namespace

Written compressToFile(const void *in, size_t n, FILE *fp, size_t piece) {
    piece = std::min(std::max(piece, kWindow), size_t{1} << 30);  // avail_in is 32 bits wide
    const auto *bytes = static_cast<const Bytef *>(in);
    const size_t count = n == 0 ? 1 : (n + piece - 1) / piece;
    const int threads = static_cast<int>(std::min<size_t>(pieceThreads(), count));
    std::vector<Piece> round(threads);

    // zlib's header for the default level and a 32 KiB window
    const unsigned char header[2] = {0x78, 0x9c};
    if (std::fwrite(header, 1, 2, fp) != 2) return Written::WriteError;
    uLong adler = 1;
    const int mode = ZoltErrorMode, depth = ZoltDepth;
    for (size_t first = 0; first < count; first += threads) {
        const int now = static_cast<int>(std::min<size_t>(threads, count - first));
        for (int k = 0; k < now; ++k) {
            Piece &p = round[k];
            const size_t at = (first + k) * piece;
            p.data = bytes + at;
            p.size = std::min(piece, n - at);
            p.primed = std::min(at, kWindow);
            p.last = first + k + 1 == count;
        }
        // the calling thread makes the round's first piece, helpers the others
        std::vector<std::thread> helpers;
        int started = 1;
        try {
            for (; started < now; ++started)
                helpers.emplace_back([&, k = started] {
                    ZoltErrorMode = mode;
                    ZoltDepth = depth;
                    round[k].compress();
                });
        } catch (...) {
            // no more threads: the calling thread makes the rest
        }
        round[0].compress();
        for (int k = started; k < now; ++k) round[k].compress();
        for (std::thread &t : helpers) t.join();
        for (int k = 0; k < now; ++k) {
            const Piece &p = round[k];
            if (!p.ok) return Written::NoMemory;
            if (std::fwrite(p.out, 1, p.length, fp) != p.length) return Written::WriteError;
            adler = adler32_combine(adler, p.adler, static_cast<z_off_t>(p.size));
        }
    }
    const unsigned char trailer[4] = {static_cast<unsigned char>(adler >> 24), static_cast<unsigned char>(adler >> 16),
                                      static_cast<unsigned char>(adler >> 8), static_cast<unsigned char>(adler)};
    return std::fwrite(trailer, 1, 4, fp) == 4 ? Written::Done : Written::WriteError;
}

namespace {

// The next `length` bytes of a file, read into memory on large pages (a
// mapping of the file would end the process if the file shrank meanwhile).
class FileBytes {
public:
    FileBytes(FILE *fp, size_t length)
        : bytes_(static_cast<unsigned char *>(ZoltLargeAlloc(length))) {
        if (bytes_) size_ = std::fread(bytes_, 1, length, fp);
    }
    ~FileBytes() { std::free(bytes_); }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;
    const unsigned char *bytes() const { return bytes_; }  // null when there was no memory
    size_t size() const { return size_; }

private:
    unsigned char *bytes_;
    size_t size_ = 0;
};

}  // namespace

Inflated inflateFile(FILE *fp, long long left, unsigned char *data, size_t raw) {
    const long pos = std::ftell(fp);
    if (left <= 0 || pos < 0) return Inflated::Piecewise;
    // A stream of stored blocks is the longest an encoder makes of `raw`
    // bytes; take no more than that of a file that may go on with a tail.
    const size_t most = compressBound(raw) + 4096;
    const size_t want = static_cast<size_t>(std::min<unsigned long long>(left, most));
    Inflated result = Inflated::Piecewise;
    size_t used = 0;
    {
        const FileBytes in(fp, want);
        libdeflate_decompressor *d = in.bytes() ? libdeflate_alloc_decompressor() : nullptr;
        if (d) {
            ZoltPreferLargePages(data, raw);
            size_t made = 0;
            const libdeflate_result r =
                libdeflate_zlib_decompress_ex(d, in.bytes(), in.size(), data, raw, &used, &made);
            libdeflate_free_decompressor(d);
            if (r == LIBDEFLATE_SUCCESS)
                result = made == raw ? Inflated::Done : Inflated::Refused;
            else if (r == LIBDEFLATE_INSUFFICIENT_SPACE || in.size() == static_cast<size_t>(left))
                result = Inflated::Refused;  // more than the image holds, or the whole rest is no stream
        }
    }
    // stand behind the stream, or where it began for a piecewise read
    const long to = pos + static_cast<long>(result == Inflated::Done ? used : 0);
    if (result != Inflated::Refused && std::fseek(fp, to, SEEK_SET) != 0) result = Inflated::Refused;
    return result;
}

}  // namespace zoltdeflate
