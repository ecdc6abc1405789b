// Zlib streams for ZOLT pixel data: whole buffers through libdeflate, which
// compresses and inflates a buffer in one call several times faster than
// zlib's streaming interface, and large data through zlib's deflate in pieces
// so that no compressed copy of the whole is held; any zlib reader reads both.
// A stream is read whole into memory before it is inflated.
#include "zolt_deflate.h"
#include "zolt.h"
#include "zolt_largepages.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>


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

}  // namespace

Written compressToFile(const void *in, size_t n, FILE *fp, size_t piece) {
    piece = std::min(std::max<size_t>(piece, 64), size_t{1} << 30);
    auto *out = static_cast<Bytef *>(ZoltCallocHook(piece, 1));
    if (!out) return Written::NoMemory;
    z_stream zs{};
    zs.zalloc = zoltZalloc;
    zs.zfree = zoltZfree;
    if (deflateInit(&zs, kDefaultLevel) != Z_OK) {
        Zoltcfree(out);
        return Written::NoMemory;
    }
    // avail_in is 32 bits wide: hand the data over in parts of at most 1 GiB.
    constexpr size_t kMostIn = size_t{1} << 30;
    const auto *next = static_cast<const Bytef *>(in);
    size_t left = n;
    Written result = Written::Done;
    int ret = Z_OK;
    while (ret != Z_STREAM_END) {
        if (zs.avail_in == 0 && left > 0) {
            const size_t k = std::min(left, kMostIn);
            zs.next_in = const_cast<Bytef *>(next);
            zs.avail_in = static_cast<uInt>(k);
            next += k;
            left -= k;
        }
        zs.next_out = out;
        zs.avail_out = static_cast<uInt>(piece);
        ret = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
        if (ret != Z_OK && ret != Z_STREAM_END) {  // there is always room, so no Z_BUF_ERROR
            result = Written::NoMemory;
            break;
        }
        const size_t ready = piece - zs.avail_out;
        if (ready && std::fwrite(out, 1, ready, fp) != ready) {
            result = Written::WriteError;
            break;
        }
    }
    deflateEnd(&zs);
    Zoltcfree(out);
    return result;
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
