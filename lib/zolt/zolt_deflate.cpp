// Zlib streams for ZOLT pixel data: whole buffers through libdeflate, which
// compresses and inflates a buffer in one call several times faster than
// zlib's streaming interface, and large data through zlib's deflate in pieces
// made side by side and written as they are done, so that no compressed copy
// of the whole is held; any zlib reader reads both. A stream is read whole
// into memory before it is inflated, and one made in pieces is inflated in
// pieces side by side.
#include "zolt_deflate.h"
#include "zolt.h"
#include "zolt_largepages.h"
#include "zolt_threads.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

constexpr size_t kWindow = size_t{1} << 15;  // deflate's window

// One piece of the data as raw deflate blocks that end on a byte boundary
// (an empty stored block) unless it is the last, so that pieces made side by
// side join into one stream. A piece refers to no data before it, so that a
// reader can inflate the pieces side by side too; that costs a few bytes
// per piece.
struct Piece {
    const Bytef *data = nullptr;
    size_t size = 0;
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
        if (out) {
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
    for (size_t first = 0; first < count; first += threads) {
        const int now = static_cast<int>(std::min<size_t>(threads, count - first));
        for (int k = 0; k < now; ++k) {
            Piece &p = round[k];
            const size_t at = (first + k) * piece;
            p.data = bytes + at;
            p.size = std::min(piece, n - at);
            p.last = first + k + 1 == count;
        }
        std::atomic<int> next{0};
        ZoltRunThreads(now, [&](int) {
            for (int k; (k = next++) < now;) round[k].compress();
        });
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

// Where each of the first `wanted` flush markers (00 00 FF FF) of the
// deflate data [from, end) ends; fewer when there are fewer, one more when
// there are more.
std::vector<size_t> flushMarks(const unsigned char *in, size_t from, size_t end, size_t wanted) {
    std::vector<size_t> marks;
    auto check = [&](size_t i) {  // the pair of 0xFF bytes at i and i + 1
        if (i >= from + 2 && i + 2 <= end && in[i - 2] == 0 && in[i - 1] == 0 && in[i] == 0xFF && in[i + 1] == 0xFF)
            marks.push_back(i + 2);
    };
    size_t i = from;
#if defined(__SSE2__)
    // 16 bytes at a time, looking only at the rare pairs of 0xFF; a pair
    // across two blocks of 16 is seen with the second
    const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
    bool ffBefore = false;
    for (; i + 16 <= end && marks.size() <= wanted; i += 16) {
        const unsigned high =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i)), ones)));
        if (ffBefore && (high & 1)) check(i - 1);
        for (unsigned pairs = high & (high >> 1); pairs; pairs &= pairs - 1) check(i + static_cast<size_t>(__builtin_ctz(pairs)));
        ffBefore = (high >> 15) != 0;
    }
    if (i > from) --i;  // the pair across the last block of 16 and the rest
#endif
    for (; i + 1 < end && marks.size() <= wanted; ++i) check(i);
    return marks;
}

// Inflates a stream of compressToFile's pieces side by side: each piece but
// the last ends in a flush marker and refers to nothing before it, so it is
// inflated apart once a final empty block (03 00) is put behind it. False
// when the stream is not of that make or does not inflate so; it is then
// inflated whole, which says what is wrong with it. On success `used` is the
// stream's length.
bool inflatePieces(const unsigned char *in, size_t size, unsigned char *data, size_t raw, size_t &used) {
    const size_t count = (raw + kPieceBytes - 1) / kPieceBytes;
    const int threads = static_cast<int>(std::min<size_t>(pieceThreads(), count));
    // a zlib header without a preset dictionary, then the pieces and the Adler-32
    if (threads < 2 || size < 6 || in[0] != 0x78 || (in[0] * 256 + in[1]) % 31 != 0 || (in[1] & 0x20)) return false;
    const std::vector<size_t> marks = flushMarks(in, 2, size - 4, count - 1);
    if (marks.size() != count - 1) return false;

    std::vector<uLong> adlers(count, 1);
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<size_t> end{0};  // where the last piece ends
    ZoltRunThreads(threads, [&](int) {
        libdeflate_decompressor *d = libdeflate_alloc_decompressor();
        std::vector<unsigned char> piece;
        if (!d) failed = true;
        for (size_t k; !failed && (k = next++) < count;) {
            const size_t from = k ? marks[k - 1] : 2;
            unsigned char *out = data + k * kPieceBytes;
            const size_t want = std::min(kPieceBytes, raw - k * kPieceBytes);
            size_t made = 0, taken = 0;
            libdeflate_result r;
            if (k + 1 < count) {
                const size_t length = marks[k] - from;
                try {
                    piece.resize(length + 2);
                } catch (...) {
                    failed = true;
                    break;
                }
                std::memcpy(piece.data(), in + from, length);
                piece[length] = 0x03;  // final block of fixed codes holding only its end
                piece[length + 1] = 0x00;
                r = libdeflate_deflate_decompress(d, piece.data(), piece.size(), out, want, &made);
            } else {
                r = libdeflate_deflate_decompress_ex(d, in + from, size - 4 - from, out, want, &taken, &made);
                end = from + taken;
            }
            if (r != LIBDEFLATE_SUCCESS || made != want) failed = true;
            else adlers[k] = libdeflate_adler32(1, out, want);
        }
        libdeflate_free_decompressor(d);
    });
    if (failed) return false;
    uLong adler = adlers[0];
    for (size_t k = 1; k < count; ++k)
        adler = adler32_combine(adler, adlers[k], static_cast<z_off_t>(std::min(kPieceBytes, raw - k * kPieceBytes)));
    const unsigned char *tail = in + end;
    const uLong stored = (uLong{tail[0]} << 24) | (uLong{tail[1]} << 16) | (uLong{tail[2]} << 8) | tail[3];
    if (adler != stored) return false;
    used = end + 4;
    return true;
}

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
        ZoltPreferLargePages(data, raw);
        libdeflate_decompressor *d = nullptr;
        if (in.bytes() && inflatePieces(in.bytes(), in.size(), data, raw, used))
            result = Inflated::Done;
        else if (in.bytes())
            d = libdeflate_alloc_decompressor();
        if (d) {
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
