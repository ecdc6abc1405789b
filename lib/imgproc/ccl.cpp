// Connected-component labelling: two raster passes with a union-find table of
// provisional labels (each region ends with its smallest label), one-pixel
// hole filling, optional area-based erasing and an areas text file. Grey 2-D
// images, or 3-frame colour images reduced to their RGB magnitude; at most
// 1000000 provisional labels. Binary-like byte images go row by row in runs.
#include "ccl.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <thread>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bands.h"
#include "cpufeatures.h"
#include "flimage.h"
#include "progress.h"
#include "spinwait.h"
#include "zolt_safefile.h"
#include "zolt_largepages.h"

namespace {

// Element i of a planar image of one of the fast types (frames follow one
// another, so frame k of a colour image starts at k x rows x cols).
inline float planeValue(const ZoltHeader *h, size_t i) {
    switch (h->dtype) {
    case ZOLT_F32: return static_cast<const float *>(h->oltptr)[i];
    case ZOLT_S32: return static_cast<float>(static_cast<const int32_t *>(h->oltptr)[i]);
    default: return static_cast<const unsigned char *>(h->oltptr)[i];
    }
}

bool fastType(uint32_t code) { return code == ZOLT_F32 || code == ZOLT_S32 || code == ZOLT_U8; }

// Grey values of the input row by row: a 2-D float image is read in place;
// other 2-D images by value, a colour image as sqrt((R^2 + G^2 + B^2) / 3) of
// its frames 0, 1 and 2, computed into the caller's row of cols floats.
struct GreyRows {
    const ZoltHeader *in;
    int cols;
    const float *direct;  // the input's own floats, or null
    const unsigned char *bytes;  // the input's own bytes, or null
    bool fast;            // planar elements of one of the fast types

    GreyRows(const ZoltHeader *h, int columns)
        : in(h), cols(columns),
          direct(h->oltndim == 2 && h->dtype == ZOLT_F32 ? static_cast<const float *>(h->oltptr) : nullptr),
          bytes(h->oltndim == 2 && h->dtype == ZOLT_U8 ? static_cast<const unsigned char *>(h->oltptr) : nullptr),
          fast(fastType(h->dtype) && h->oltptr) {}

    const float *row(int r, float *buf) const {
        const size_t at = static_cast<size_t>(r) * cols;
        if (direct) return direct + at;
        if (in->oltndim == 2) {
            if (in->oltptr && flimage::isRealPlanar(in->dtype))
                flimage::readFloats(in, at, cols, buf);
            else
                for (int c = 0; c < cols; ++c) buf[c] = static_cast<float>(Zoltfgp(in, r, c));
            return buf;
        }
        const size_t n = static_cast<size_t>(Zoltdimen(in, 1)) * cols;
        for (int c = 0; c < cols; ++c) {
            double rgb[3];
            for (int k = 0; k < 3; ++k)
                rgb[k] = fast ? planeValue(in, at + c + k * n) : Zoltfgp3d(in, k, r, c);
            buf[c] = static_cast<float>(
                std::sqrt((rgb[0] * rgb[0] + rgb[1] * rgb[1] + rgb[2] * rgb[2]) / 3.0));
        }
        return buf;
    }
};

// ------------------------------------------------------------ first pass
//
// The image is cut into horizontal strips labelled side by side. A pixel that
// joins no neighbour starts a provisional label; whether it does depends on
// the grey values alone, so each strip numbers its own starts and the strips'
// counts, added up in raster order, give exactly the numbering of one raster
// scan. A pixel in a strip's first row that joins only the strip above gets a
// stand-in label until the strips are stitched together.

constexpr int STRIP_ROWS = 64;  // fewest rows worth a strip of their own
constexpr int MAX_STRIPS = 16;

struct Window {
    float thresh, minval, maxval;
};

// Join code of a pixel: in the value window, and which neighbours it joins.
enum : uint8_t { FG = 1, JL = 2, JU = 4, JD = 8 };

// Codes of columns 1..cols-1 of a row g with the row gu above it. A neighbour
// joins when its value is within thresh and not below minval; neighbours in
// column 0 are never tested.
void joinCodes(const float *g, const float *gu, int cols, const Window &w, bool upTested,
               uint8_t *code) {
    const uint8_t upMask = upTested ? 0xff : static_cast<uint8_t>(FG | JL);
    int c = 1;
#if defined(__SSE2__)
    // sixteen pixels at a time: compare masks turned into bits, packed to bytes
    const __m128 t = _mm_set1_ps(w.thresh), lo = _mm_set1_ps(w.minval), hi = _mm_set1_ps(w.maxval);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128i bitL = _mm_set1_epi32(JL), bitU = _mm_set1_epi32(JU & upMask),
                  bitD = _mm_set1_epi32(JD & upMask), bitF = _mm_set1_epi32(FG);
    auto joins = [&](__m128 v, __m128 nb, __m128i bit) {
        const __m128 near = _mm_cmple_ps(_mm_and_ps(_mm_sub_ps(v, nb), magnitude), t);
        return _mm_and_si128(_mm_castps_si128(_mm_and_ps(near, _mm_cmpge_ps(nb, lo))), bit);
    };
    for (; c + 16 <= cols; c += 16) {
        __m128i q[4];
        for (int j = 0; j < 4; ++j) {
            const float *p = g + c + 4 * j, *pu = gu + c + 4 * j;
            const __m128 v = _mm_loadu_ps(p);
            const __m128i outside =
                _mm_castps_si128(_mm_or_ps(_mm_cmplt_ps(v, lo), _mm_cmpgt_ps(v, hi)));
            __m128i k = _mm_or_si128(_mm_or_si128(bitF, joins(v, _mm_loadu_ps(p - 1), bitL)),
                                     _mm_or_si128(joins(v, _mm_loadu_ps(pu), bitU),
                                                  joins(v, _mm_loadu_ps(pu - 1), bitD)));
            q[j] = _mm_andnot_si128(outside, k);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(code + c),
                         _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3])));
    }
#endif
    for (; c < cols; ++c) {
        const float v = g[c], wl = g[c - 1], wu = gu[c], wd = gu[c - 1];
        const bool fg = !(v < w.minval || v > w.maxval);
        const int k = fg | ((std::fabs(v - wl) <= w.thresh) & (wl >= w.minval)) << 1 |
                      ((std::fabs(v - wu) <= w.thresh) & (wu >= w.minval)) << 2 |
                      ((std::fabs(v - wd) <= w.thresh) & (wd >= w.minval)) << 3;
        code[c] = static_cast<uint8_t>(fg ? k & upMask : 0);
    }
    code[1] &= static_cast<uint8_t>(~(JL | JD));
}

// The window and threshold over whole values 0..255 as whole numbers: for
// them v >= minval is v >= ceil(minval), v <= maxval is v <= floor(maxval)
// and |v - w| <= thresh is |v - w| <= floor(thresh). Not usable when a
// parameter is not a number.
struct ByteWindow {
    bool usable = false;
    bool empty = false;  // no value lies in the window: every code is 0
    bool joins = false;  // some difference is within the threshold
    uint8_t lo = 0, hi = 255, t = 0;

    explicit ByteWindow(const Window &w) {
        if (w.thresh != w.thresh || w.minval != w.minval || w.maxval != w.maxval) return;
        usable = true;
        const double lo8 = std::ceil(static_cast<double>(w.minval)), hi8 = std::floor(static_cast<double>(w.maxval));
        empty = lo8 > 255 || hi8 < 0 || lo8 > hi8;
        lo = static_cast<uint8_t>(std::clamp(lo8, 0.0, 255.0));
        hi = static_cast<uint8_t>(std::clamp(hi8, 0.0, 255.0));
        joins = w.thresh >= 0;
        t = static_cast<uint8_t>(std::clamp(std::floor(static_cast<double>(w.thresh)), 0.0, 255.0));
    }
};

#if defined(ZOLT_X86_VECTORS)
#define ZOLT_WIDE_BYTES __attribute__((target("avx512f,avx512bw")))
// Lanes of v whose neighbour nb joins them: within t and not below lo.
ZOLT_WIDE_BYTES inline __mmask64 joinsWide(__m512i t, __m512i lo, __m512i v, __m512i nb) {
    const __m512i diff = _mm512_or_si512(_mm512_subs_epu8(v, nb), _mm512_subs_epu8(nb, v));
    return _mm512_cmple_epu8_mask(diff, t) & _mm512_cmpge_epu8_mask(nb, lo);
}

// joinCodesBytes 64 at a time from column 1; returns the column reached.
ZOLT_WIDE_BYTES int joinCodesBytesAvx512(const uint8_t *g, const uint8_t *gu, int cols, const ByteWindow &w,
                                         uint8_t upMask, uint8_t *code) {
    const __m512i lo = _mm512_set1_epi8(static_cast<char>(w.lo)), hi = _mm512_set1_epi8(static_cast<char>(w.hi));
    const __m512i t = _mm512_set1_epi8(static_cast<char>(w.t));
    const uint8_t joinBits = w.joins ? 0xff : 0;
    const __m512i bitF = _mm512_set1_epi8(FG), bitL = _mm512_set1_epi8(static_cast<char>(JL & joinBits));
    const __m512i bitU = _mm512_set1_epi8(static_cast<char>(JU & upMask & joinBits));
    const __m512i bitD = _mm512_set1_epi8(static_cast<char>(JD & upMask & joinBits));
    int c = 1;
    for (; c + 64 <= cols; c += 64) {
        const __m512i v = _mm512_loadu_si512(g + c);
        const __mmask64 inside = _mm512_cmpge_epu8_mask(v, lo) & _mm512_cmple_epu8_mask(v, hi);
        __m512i k = _mm512_maskz_mov_epi8(inside, bitF);
        k = _mm512_or_si512(k, _mm512_maskz_mov_epi8(inside & joinsWide(t, lo, v, _mm512_loadu_si512(g + c - 1)), bitL));
        k = _mm512_or_si512(k, _mm512_maskz_mov_epi8(inside & joinsWide(t, lo, v, _mm512_loadu_si512(gu + c)), bitU));
        k = _mm512_or_si512(k, _mm512_maskz_mov_epi8(inside & joinsWide(t, lo, v, _mm512_loadu_si512(gu + c - 1)), bitD));
        _mm512_storeu_si512(code + c, k);
    }
    return c;
}
#endif

// joinCodes for rows of bytes, sixteen at a time.
void joinCodesBytes(const uint8_t *g, const uint8_t *gu, int cols, const ByteWindow &w, bool upTested,
                    uint8_t *code) {
    if (w.empty) {
        std::memset(code + 1, 0, cols - 1);
        return;
    }
    const uint8_t upMask = upTested ? 0xff : static_cast<uint8_t>(FG | JL);
    int c = 1;
#if defined(ZOLT_X86_VECTORS)
    if (cpu::avx512Bytes()) c = joinCodesBytesAvx512(g, gu, cols, w, upMask, code);
#endif
#if defined(__SSE2__)
    const __m128i lo = _mm_set1_epi8(static_cast<char>(w.lo)), hi = _mm_set1_epi8(static_cast<char>(w.hi));
    const __m128i t = _mm_set1_epi8(static_cast<char>(w.t));
    const __m128i joinBits = w.joins ? _mm_set1_epi8(-1) : _mm_setzero_si128();
    const __m128i bitL = _mm_and_si128(joinBits, _mm_set1_epi8(JL));
    const __m128i bitU = _mm_and_si128(joinBits, _mm_set1_epi8(static_cast<char>(JU & upMask)));
    const __m128i bitD = _mm_and_si128(joinBits, _mm_set1_epi8(static_cast<char>(JD & upMask)));
    auto atLeastLo = [&](__m128i x) { return _mm_cmpeq_epi8(_mm_max_epu8(x, lo), x); };
    auto joins = [&](__m128i v, __m128i nb, __m128i bit) {
        const __m128i diff = _mm_or_si128(_mm_subs_epu8(v, nb), _mm_subs_epu8(nb, v));
        const __m128i near = _mm_cmpeq_epi8(_mm_max_epu8(diff, t), t);
        return _mm_and_si128(_mm_and_si128(near, atLeastLo(nb)), bit);
    };
    for (; c + 16 <= cols; c += 16) {
        auto at = [](const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); };
        const __m128i v = at(g + c);
        const __m128i inside = _mm_and_si128(atLeastLo(v), _mm_cmpeq_epi8(_mm_min_epu8(v, hi), v));
        const __m128i k = _mm_or_si128(_mm_or_si128(_mm_set1_epi8(FG), joins(v, at(g + c - 1), bitL)),
                                       _mm_or_si128(joins(v, at(gu + c), bitU), joins(v, at(gu + c - 1), bitD)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(code + c), _mm_and_si128(inside, k));
    }
#endif
    for (; c < cols; ++c) {
        const int v = g[c];
        auto joins = [&](int nb) { return w.joins && std::abs(v - nb) <= w.t && nb >= w.lo; };
        const bool fg = v >= w.lo && v <= w.hi;
        const int k = FG | joins(g[c - 1]) << 1 | joins(gu[c]) << 2 | joins(gu[c - 1]) << 3;
        code[c] = static_cast<uint8_t>(fg ? k & upMask : 0);
    }
    code[1] &= static_cast<uint8_t>(~(JL | JD));
}

// Codes of row r (from 1) of the grey image, with room for two rows of grey
// values in buf.
void rowCodes(const GreyRows &grey, int r, const Window &w, bool upTested, uint8_t *code, float *buf) {
    const ByteWindow bw(w);
    if (grey.bytes && bw.usable) {
        const uint8_t *g = grey.bytes + static_cast<size_t>(r) * grey.cols;
        joinCodesBytes(g, g - grey.cols, grey.cols, bw, upTested, code);
        return;
    }
    joinCodes(grey.row(r, buf), grey.row(r - 1, buf + grey.cols), grey.cols, w, upTested, code);
}

// Root of label x, halving the path on the way. Parents never exceed their
// children, so the root of a class is its smallest label.
inline int32_t findRoot(int32_t *parent, int32_t x) {
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

// Puts the classes of a and b together under the smaller root; returns it.
inline int32_t unite(int32_t *parent, int32_t a, int32_t b) {
    if (a == b) return a;
    a = findRoot(parent, a);
    b = findRoot(parent, b);
    if (a < b) {
        parent[b] = a;
        return a;
    }
    parent[a] = b;
    return b;
}

// Tables of provisional labels, and the image of them, are kept from one
// call to the next: fresh memory costs a page fault at every few kilobytes
// on its first writes, which on a noisy image takes about as long as the
// labelling itself. A table that is too small, or lent to a call in another
// thread, is replaced by a fresh one, or a fresh one is lent instead. Label
// images above 64 MiB are not kept.
class KeptTables {
public:
    enum Kind { PARENTS, LABELS_OF, MERGED, IMAGE, ROWS, KINDS };

    ~KeptTables() {
        for (Slot &k : slots_) std::free(k.table);
    }

    // Room for `count` labels, or null; hand it back with giveBack.
    int32_t *take(Kind kind, size_t count) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Slot &k = slots_[kind];
            if (k.table && !k.lent && k.count >= count) {
                k.lent = true;
                return k.table;
            }
        }
        const size_t bytes = std::max<size_t>(count, 1) * sizeof(int32_t);
        return static_cast<int32_t *>(kind == IMAGE ? ZoltLargeAlloc(bytes) : std::malloc(bytes));
    }

    void giveBack(Kind kind, int32_t *table, size_t count) {
        if (!table) return;
        std::lock_guard<std::mutex> lock(mutex_);
        Slot &k = slots_[kind];
        if (table == k.table) {
            k.lent = false;
        } else if (k.lent || (kind == IMAGE && count > (size_t{64} << 20) / sizeof(int32_t))) {
            std::free(table);
        } else {
            std::free(k.table);
            k.table = table;
            k.count = count;
        }
    }

private:
    struct Slot {
        int32_t *table = nullptr;
        size_t count = 0;
        bool lent = false;
    };
    std::mutex mutex_;
    Slot slots_[KINDS];
};

KeptTables kept;

// A table taken from `kept`, handed back when it goes.
class KeptTable {
public:
    KeptTable(KeptTables::Kind kind, size_t count) : kind_(kind), count_(count), table_(kept.take(kind, count)) {}
    ~KeptTable() { kept.giveBack(kind_, table_, count_); }
    KeptTable(const KeptTable &) = delete;
    KeptTable &operator=(const KeptTable &) = delete;
    int32_t *get() const { return table_; }

private:
    KeptTables::Kind kind_;
    size_t count_;
    int32_t *table_;
};

struct Strip {
    int first = 0, end = 0;         // rows [first, end)
    // local labels 0..count, 0 the background; each entry is set before it
    // is read, so the table is not cleared (it is as large as the limit)
    int32_t *parent = nullptr;
    int count = 0;                  // local labels made
    int32_t *standIns = nullptr;    // local labels made for pixels joining the strip above
    int nstandIns = 0;
    bool tested = false;            // some neighbour inside the image was tested
    bool full = false;              // ran out of labels
    bool stopped = false;           // a stop was asked before the strip was done
    int32_t *labelOf = nullptr;     // local label -> label of its region
};

// For each set of the four lanes of a quad (bit j for lane j): how many
// lanes of the set come before each lane, the lanes taken, and their number.
struct QuadTables {
    alignas(16) int32_t ranks[16][4];
    alignas(16) int32_t lanes[16][4];
    int32_t size[16];
    constexpr QuadTables() : ranks(), lanes(), size() {
        for (int m = 0; m < 16; ++m) {
            int before = 0;
            for (int j = 0; j < 4; ++j) {
                ranks[m][j] = before;
                lanes[m][j] = (m >> j) & 1 ? -1 : 0;
                before += (m >> j) & 1;
            }
            size[m] = before;
        }
    }
};
constexpr QuadTables kQuads;

#if defined(ZOLT_X86_VECTORS)
// The merges of a block's lanes whose joined labels differ from the one
// they took (bit j for lane j at l[j]): with the label above where they join
// it, and with the up-left one where that merge is not known to be made.
inline void mergeLanes(int32_t *parent, const int32_t *l, const int32_t *lu, unsigned merge, unsigned up,
                       unsigned upLeft) {
    for (; merge; merge &= merge - 1) {
        const int j = __builtin_ctz(merge);
        int32_t a = l[j];
        if ((up >> j) & 1) a = unite(parent, a, lu[j]);
        if ((upLeft >> j) & 1) unite(parent, a, lu[j - 1]);
    }
}

// (GCC 12 takes the undefined pass-through operands of the conversions for
// uninitialised values, hence the pragma.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define ZOLT_WIDE_LABELS __attribute__((target("avx512f,avx512cd")))
// Sixteen codes from p, a lane each; the lanes of codes k with a bit.
ZOLT_WIDE_LABELS inline __m512i codeLanes(const uint8_t *p) {
    return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}
ZOLT_WIDE_LABELS inline __mmask16 lanesWith(__m512i k, int bit) {
    return _mm512_test_epi32_mask(k, _mm512_set1_epi32(bit));
}

// labelRow sixteen pixels at a time from column 1, whatever their codes;
// returns the column reached. Every pixel takes at once the label the scan
// gives it: a pixel that does not join its left neighbour (the head of a run)
// takes the label above, else the up-left one, else the next fresh one, else
// 0; a pixel that joins its left neighbour takes the label of the head of its
// run, the head found from the bits of the heads at or before it. Pixels
// whose joined labels differ are merged after, one by one: on a sparse
// image, and inside regions, there are few.
ZOLT_WIDE_LABELS int labelRowAvx512(const uint8_t *code, const uint8_t *codeUp, int32_t *l, const int32_t *lu,
                                    int cols, int32_t *parent, int32_t &count, int32_t &prev) {
    const __m512i ramp = _mm512_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    const __m512i lanesUpTo = _mm512_setr_epi32(0x1, 0x3, 0x7, 0xf, 0x1f, 0x3f, 0x7f, 0xff, 0x1ff, 0x3ff, 0x7ff,
                                                0xfff, 0x1fff, 0x3fff, 0x7fff, 0xffff);
    int32_t n = count, left = prev;
    int c = 1;
    for (; c + 16 <= cols; c += 16) {
        const __m512i k = codeLanes(code + c);
        const __mmask16 jl = lanesWith(k, JL), ju = lanesWith(k, JU);
        // as in the pixel by pixel pass, an up-left neighbour already in the
        // class of the one above or of the left one is not merged
        const __mmask16 known =
            (ju & lanesWith(codeLanes(codeUp + c), JL)) | (jl & lanesWith(codeLanes(code + c - 1), JU));
        const __mmask16 jd = lanesWith(k, JD), jdMerged = jd & ~known;
        const __m512i up = _mm512_loadu_si512(lu + c), upLeft = _mm512_loadu_si512(lu + c - 1);
        // the slots of the next sixteen labels are set in advance (the table
        // has room for them, as each pixel left in the strip may start one)
        const __m512i next = _mm512_add_epi32(_mm512_set1_epi32(n), ramp);
        _mm512_storeu_si512(parent + n + 1, next);
        const __mmask16 fresh = _mm512_cmpeq_epi32_mask(k, _mm512_set1_epi32(FG));
        __m512i head = _mm512_mask_mov_epi32(_mm512_maskz_mov_epi32(jd, upLeft), ju, up);
        head = _mm512_mask_expand_epi32(head, fresh, next);
        n += __builtin_popcount(fresh);
        const unsigned heads = static_cast<__mmask16>(~jl);
        const __m512i at = _mm512_sub_epi32(
            _mm512_set1_epi32(31), _mm512_lzcnt_epi32(_mm512_and_si512(_mm512_set1_epi32(static_cast<int>(heads)),
                                                                       lanesUpTo)));
        __m512i label = _mm512_permutexvar_epi32(at, head);
        // the pixels before the first head continue the run on the left
        label = _mm512_mask_mov_epi32(label, static_cast<__mmask16>((heads & (0u - heads)) - 1),
                                      _mm512_set1_epi32(left));
        _mm512_storeu_si512(l + c, label);
        __mmask16 merge = _mm512_mask_cmpneq_epi32_mask(ju, up, label) |
                          _mm512_mask_cmpneq_epi32_mask(jdMerged, upLeft, label);
        mergeLanes(parent, l + c, lu + c, merge, ju, jdMerged);
        left = _mm_extract_epi32(_mm512_extracti32x4_epi32(label, 3), 3);
    }
    count = n;
    prev = left;
    return c;
}
#pragma GCC diagnostic pop
#endif

#if defined(ZOLT_X86_VECTORS)
// For each set of the eight lanes of a block (bit j for lane j): how many
// lanes of the set come before each lane, and the last lane of the set at or
// before each lane (0 where none is).
struct OctetTables {
    alignas(8) uint8_t ranks[256][8];
    alignas(8) uint8_t lastAt[256][8];
    constexpr OctetTables() : ranks(), lastAt() {
        for (int m = 0; m < 256; ++m) {
            int before = 0, last = 0;
            for (int j = 0; j < 8; ++j) {
                ranks[m][j] = static_cast<uint8_t>(before);
                before += (m >> j) & 1;
                if ((m >> j) & 1) last = j;
                lastAt[m][j] = static_cast<uint8_t>(last);
            }
        }
    }
};
constexpr OctetTables kOctets;

#define ZOLT_LABELS_AVX2 __attribute__((target("avx2,popcnt")))
// The eight bytes at p, a lane each.
ZOLT_LABELS_AVX2 inline __m256i octetLanes(const uint8_t *p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)));
}
// A bit of each lane of k, the one `shift` puts in the sign bit, as bit j for lane j.
ZOLT_LABELS_AVX2 inline unsigned octetBits(__m256i k, int shift) {
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(k, shift))));
}
// The lanes where a and b differ, as bits.
ZOLT_LABELS_AVX2 inline unsigned octetDiffers(__m256i a, __m256i b) {
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(a, b)))) ^ 0xffu;
}
// The lanes of the bits as masks of all ones.
ZOLT_LABELS_AVX2 inline __m256i octetMask(unsigned bits) {
    const __m256i lane = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    return _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(static_cast<int>(bits)), lane), lane);
}

// labelRowAvx512 eight pixels at a time with AVX2: the ranks of the fresh
// labels and the heads of the runs come from tables of the eight lanes.
ZOLT_LABELS_AVX2 int labelRowAvx2(const uint8_t *code, const uint8_t *codeUp, int32_t *l, const int32_t *lu,
                                  int cols, int32_t *parent, int32_t &count, int32_t &prev) {
    // shifts that put bit JL, JU or JD of a code in the sign bit
    constexpr int toL = 30, toU = 29, toD = 28;
    const __m256i ramp = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8);
    int32_t n = count, left = prev;
    int c = 1;
    for (; c + 8 <= cols; c += 8) {
        const __m256i k = octetLanes(code + c);
        const unsigned jl = octetBits(k, toL), ju = octetBits(k, toU), jd = octetBits(k, toD);
        const unsigned known = (ju & octetBits(octetLanes(codeUp + c), toL)) |
                               (jl & octetBits(octetLanes(code + c - 1), toU));
        const unsigned jdMerged = jd & ~known;
        const __m256i up = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lu + c));
        const __m256i upLeft = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lu + c - 1));
        const __m256i next = _mm256_add_epi32(_mm256_set1_epi32(n), ramp);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(parent + n + 1), next);
        const unsigned fresh = ~octetDiffers(k, _mm256_set1_epi32(FG)) & 0xffu;
        __m256i head = _mm256_blendv_epi8(_mm256_and_si256(upLeft, octetMask(jd)), up, octetMask(ju));
        const __m256i freshLabels = _mm256_permutevar8x32_epi32(next, octetLanes(kOctets.ranks[fresh]));
        head = _mm256_blendv_epi8(head, freshLabels, octetMask(fresh));
        n += __builtin_popcount(fresh);
        const unsigned heads = ~jl & 0xffu;
        __m256i label = _mm256_permutevar8x32_epi32(head, octetLanes(kOctets.lastAt[heads]));
        label = _mm256_blendv_epi8(label, _mm256_set1_epi32(left), octetMask((heads & (0u - heads)) - 1));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(l + c), label);
        const unsigned merge = (ju & octetDiffers(up, label)) | (jdMerged & octetDiffers(upLeft, label));
        mergeLanes(parent, l + c, lu + c, merge, ju, jdMerged);
        left = _mm256_extract_epi32(label, 7);
    }
    count = n;
    prev = left;
    return c;
}
#endif

// Whether labelRow goes a block of pixels at a time whatever their codes.
bool wideLabelRows() {
#if defined(ZOLT_X86_VECTORS)
    return cpu::avx2();
#else
    return false;
#endif
}

// Labels one row from its codes. `ext` marks the pixels of a strip's first
// row that join the strip above (null elsewhere). The table has room for one
// label more than the count, so the slot of the next label is set in advance.
void labelRow(const uint8_t *code, const uint8_t *codeUp, const uint8_t *ext, int32_t *l, const int32_t *lu,
              int cols, Strip &s) {
    int32_t *parent = s.parent;
    int32_t count = s.count;
    if (ext) {
        for (int c = 1; c < cols; ++c) {
            switch (code[c]) {
            case 0: l[c] = 0; break;
            case FG:
                l[c] = ++count;
                parent[count] = count;
                if (ext[c]) s.standIns[s.nstandIns++] = count;
                break;
            default: l[c] = l[c - 1]; break;  // only the left neighbour is in the strip
            }
        }
        s.count = count;
        return;
    }
    // The usual pixel takes one joined label without a branch: the left one,
    // else the one above, else the up-left one; a new label when it joins
    // nothing; 0 outside the window (no joins). Only joined labels that
    // differ take the merging branch.
    auto pixel = [&](int c, int32_t prev) {
        // The up-left neighbour is already in the class of the one above
        // when that one joined it, and in the class of the left one when
        // that one joined its upper neighbour: its merge changes nothing
        // then, and is left out. The choices are made with bit masks, not
        // branches: on noise they go either way at random, and only the
        // merging branch, taken far less often, is left.
        const int kc = code[c];
        const int known = ((kc >> 2) & (codeUp[c] >> 1)) | ((kc >> 1) & (code[c - 1] >> 2));
        const int k = kc & ~((known & 1) << 3);
        const int32_t up = lu[c], upLeft = lu[c - 1];
        const int32_t mL = -((k >> 1) & 1), mU = -((k >> 2) & 1), mD = -((k >> 3) & 1);
        int32_t x = upLeft & mD;
        x = (up & mU) | (x & ~mU);
        x = (prev & mL) | (x & ~mL);
        parent[count + 1] = count + 1;
        const int32_t fresh = k == FG;
        int32_t label = x | ((count + 1) & -fresh);
        count += fresh;
        if (((up ^ x) & mU) | ((upLeft ^ x) & mD)) {
            if (k & JU) label = unite(parent, label, up);
            if (k & JD) label = unite(parent, label, upLeft);
        }
        l[c] = label;
        return label;
    };
    int32_t prev = 0;  // label of the left neighbour, kept out of memory
    int c = 1;
#if defined(ZOLT_X86_VECTORS)
    if (cpu::avx512Cd()) c = labelRowAvx512(code, codeUp, l, lu, cols, parent, count, prev);
    else if (cpu::avx2()) c = labelRowAvx2(code, codeUp, l, lu, cols, parent, count, prev);
#endif
    while (c < cols) {
        int blockEnd = cols;
#if defined(__SSE2__)
        // Sixteen pixels at once where none joins a neighbour (background, or
        // in the window on its own: the usual block of a sparse image), where
        // at most three are in the window, or where all join all three
        // neighbours which carry the left neighbour's label (the inside of a
        // region): they take that label, and merge nothing.
        if (c + 16 <= cols) {
            const __m128i k16 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(code + c));
            __m128i *out = reinterpret_cast<__m128i *>(l + c);
            const __m128i joins = _mm_andnot_si128(_mm_set1_epi8(FG), k16);
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(joins, _mm_setzero_si128())) == 0xffff) {
                // Each pixel in the window starts the next label, without a
                // branch: four at a time, the labels made before each one in
                // its four from a table. The slots of the next sixteen labels
                // are set in advance (the table has room for them, as each
                // pixel left in the strip may start one).
                const unsigned bits = ~_mm_movemask_epi8(_mm_cmpeq_epi8(k16, _mm_setzero_si128())) & 0xffffu;
                const __m128i ramp = _mm_setr_epi32(1, 2, 3, 4);
                for (int j = 0; j < 4; ++j)
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(parent + count + 1 + 4 * j),
                                     _mm_add_epi32(_mm_set1_epi32(count + 4 * j), ramp));
                for (int j = 0; j < 4; ++j) {
                    const unsigned nibble = (bits >> (4 * j)) & 15u;
                    const __m128i before = _mm_load_si128(reinterpret_cast<const __m128i *>(kQuads.ranks[nibble]));
                    const __m128i taken = _mm_load_si128(reinterpret_cast<const __m128i *>(kQuads.lanes[nibble]));
                    _mm_storeu_si128(out + j, _mm_and_si128(_mm_add_epi32(_mm_set1_epi32(count + 1), before), taken));
                    count += kQuads.size[nibble];
                }
                prev = (bits >> 15) & 1 ? count : 0;
                c += 16;
                continue;
            }
            // The few in the window each on its own, the left neighbour's
            // label 0 unless it is one of them.
            const unsigned in = ~_mm_movemask_epi8(_mm_cmpeq_epi8(k16, _mm_setzero_si128())) & 0xffffu;
            const unsigned twoLeft = in & (in - 1), oneLeft = twoLeft & (twoLeft - 1);
            if ((oneLeft & (oneLeft - 1)) == 0) {
                for (int j = 0; j < 4; ++j) _mm_storeu_si128(out + j, _mm_setzero_si128());
                int32_t last = prev;
                for (unsigned rest = in; rest; rest &= rest - 1) {
                    const int j = __builtin_ctz(rest);
                    const bool leftIn = j == 0 || ((in >> (j - 1)) & 1);
                    last = pixel(c + j, leftIn ? last : 0);
                }
                prev = (in >> 15) & 1 ? last : 0;
                c += 16;
                continue;
            }
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(k16, _mm_set1_epi8(FG | JL | JU | JD))) == 0xffff) {
                const __m128i p = _mm_set1_epi32(prev);
                __m128i same = _mm_set1_epi32(-1);
                for (int j = 0; j < 4; ++j) {
                    const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lu + c + 4 * j));
                    const __m128i upLeft = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lu + c - 1 + 4 * j));
                    same = _mm_and_si128(same, _mm_and_si128(_mm_cmpeq_epi32(up, p), _mm_cmpeq_epi32(upLeft, p)));
                }
                if (_mm_movemask_epi8(same) == 0xffff) {
                    for (int j = 0; j < 4; ++j) _mm_storeu_si128(out + j, p);
                    c += 16;
                    continue;
                }
            }
            blockEnd = c + 16;
        }
#endif
        for (int quadEnd = c; c < blockEnd;) {
#if defined(__SSE2__)
            // The same for four pixels, where a block of sixteen is mixed.
            if (c == quadEnd && c + 4 <= blockEnd) {
                uint32_t k4;
                std::memcpy(&k4, code + c, sizeof k4);
                __m128i *out = reinterpret_cast<__m128i *>(l + c);
                if (k4 == 0) {
                    _mm_storeu_si128(out, _mm_setzero_si128());
                    prev = 0;
                    c += 4;
                    quadEnd = c;
                    continue;
                }
                if (k4 == 0x01010101u * (FG | JL | JU | JD)) {
                    const __m128i p = _mm_set1_epi32(prev);
                    const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lu + c));
                    const __m128i upLeft = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lu + c - 1));
                    if (_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi32(up, p), _mm_cmpeq_epi32(upLeft, p))) ==
                        0xffff) {
                        _mm_storeu_si128(out, p);
                        c += 4;
                        quadEnd = c;
                        continue;
                    }
                }
                quadEnd = c + 4;
            } else if (c == quadEnd) {
                quadEnd = blockEnd;
            }
#else
            quadEnd = blockEnd;
#endif
            for (; c < quadEnd; ++c) prev = pixel(c, prev);
        }
    }
    s.count = count;
}

// ------------------------------------------------ first pass by runs
//
// When two neighbours of a byte image join exactly when both lie in the
// window (binary images, say), a row is runs of pixels in the window: a run
// takes a new label unless its first pixel joins the row above (up or up
// left), and is merged with every run of the row above that touches it
// (columns from one before its first to its last). This numbers labels as the
// pixel by pixel pass does and puts together the same classes. Whether the
// joins are so is learnt from the values on the way (the strip's rows and the
// row above, from row 1 and column 1): every value in the window within the
// threshold of every other one, and beyond it from every value above the
// window (values below never join); where not, the strip is done again pixel
// by pixel.

struct RunValues {
    int inMin = 255, inMax = 0, aboveMin = 255;  // 255 also when nothing lies above

    // Adds the lanes of vector minima and maxima (smallest in the window,
    // largest in it, smallest above it), `count` bytes each.
    void addLanes(const uint8_t *inMins, const uint8_t *inMaxes, const uint8_t *aboveMins, int count) {
        for (int k = 0; k < count; ++k) {
            inMin = std::min<int>(inMin, inMins[k]);
            inMax = std::max<int>(inMax, inMaxes[k]);
            aboveMin = std::min<int>(aboveMin, aboveMins[k]);
        }
    }

    bool joinByWindow(const ByteWindow &w) const {
        return inMax < inMin || (inMax - inMin <= w.t && (w.hi == 255 || aboveMin - inMax > w.t));
    }
};

#if defined(ZOLT_X86_VECTORS)
// rowEdges 64 columns at a time from column 1, without a branch per edge:
// the columns of the edges are packed into place sixteen at a time. Returns
// the column reached; the edges found and whether the last pixel was in the
// window go into n and in. Up to 15 entries past the last edge found are
// written too (below the column reached).
ZOLT_WIDE_BYTES int rowEdgesAvx512(const uint8_t *g, int cols, const ByteWindow &w, int32_t *edge,
                                   RunValues &seen, int &n, bool &in) {
    const __m512i lo = _mm512_set1_epi8(static_cast<char>(w.lo)), hi = _mm512_set1_epi8(static_cast<char>(w.hi));
    const __m512i ramp = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512i mn = _mm512_set1_epi8(-1), mx = _mm512_setzero_si512(), ab = mn;
    uint64_t carry = 0;  // the pixel before, in the window
    int c = 1;
    for (; c + 64 <= cols; c += 64) {
        const __m512i v = _mm512_loadu_si512(g + c);
        const __mmask64 above = _mm512_cmpgt_epu8_mask(v, hi);
        const __mmask64 inside = _mm512_cmpge_epu8_mask(v, lo) & ~above;
        mn = _mm512_mask_min_epu8(mn, inside, mn, v);
        mx = _mm512_mask_max_epu8(mx, inside, mx, v);
        ab = _mm512_mask_min_epu8(ab, above, ab, v);
        const uint64_t t = inside ^ ((inside << 1) | carry);
        for (int q = 0; q < 4; ++q) {
            const __mmask16 part = static_cast<__mmask16>(t >> (16 * q));
            const __m512i columns = _mm512_add_epi32(ramp, _mm512_set1_epi32(c + 16 * q));
            _mm512_storeu_si512(edge + n, _mm512_maskz_compress_epi32(part, columns));
            n += __builtin_popcount(part);
        }
        carry = inside >> 63;
    }
    in = carry != 0;
    alignas(64) uint8_t lanes[3][64];
    _mm512_store_si512(lanes[0], mn);
    _mm512_store_si512(lanes[1], mx);
    _mm512_store_si512(lanes[2], ab);
    seen.addLanes(lanes[0], lanes[1], lanes[2], 64);
    return c;
}
#endif

// The edges of the runs of pixels in the window of row g, columns from 1:
// the column where each run starts and the one past its last, in turn;
// returns their number. The row's values go into `seen`.
int rowEdges(const uint8_t *g, int cols, const ByteWindow &w, int32_t *edge, RunValues &seen) {
    int n = 0, c = 1;
    bool in = false;
    [[maybe_unused]] bool wide = false;
#if defined(ZOLT_X86_VECTORS)
    wide = cpu::avx512Bytes();
    if (wide) c = rowEdgesAvx512(g, cols, w, edge, seen, n, in);
#endif
#if defined(__SSE2__)
    if (!wide) {
        const __m128i lo = _mm_set1_epi8(static_cast<char>(w.lo)), hi = _mm_set1_epi8(static_cast<char>(w.hi));
        const __m128i ones = _mm_set1_epi8(-1);
        __m128i mn = ones, mx = _mm_setzero_si128(), ab = ones;
        uint64_t carry = 0;  // the pixel before, in the window
        for (; c + 64 <= cols; c += 64) {
            uint64_t m = 0;
            for (int q = 0; q < 4; ++q) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(g + c + 16 * q));
                const __m128i notAbove = _mm_cmpeq_epi8(_mm_min_epu8(v, hi), v);
                const __m128i inside = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, lo), v), notAbove);
                mn = _mm_min_epu8(mn, _mm_or_si128(v, _mm_xor_si128(inside, ones)));
                mx = _mm_max_epu8(mx, _mm_and_si128(v, inside));
                ab = _mm_min_epu8(ab, _mm_or_si128(v, notAbove));
                m |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(inside))) << (16 * q);
            }
            for (uint64_t t = m ^ ((m << 1) | carry); t; t &= t - 1) edge[n++] = c + __builtin_ctzll(t);
            carry = m >> 63;
        }
        in = carry != 0;
        alignas(16) uint8_t lanes[3][16];
        _mm_store_si128(reinterpret_cast<__m128i *>(lanes[0]), mn);
        _mm_store_si128(reinterpret_cast<__m128i *>(lanes[1]), mx);
        _mm_store_si128(reinterpret_cast<__m128i *>(lanes[2]), ab);
        seen.addLanes(lanes[0], lanes[1], lanes[2], 16);
    }
#endif
    for (; c < cols; ++c) {
        const int v = g[c];
        const bool inside = v >= w.lo && v <= w.hi;
        if (v > w.hi) seen.aboveMin = std::min(seen.aboveMin, v);
        else if (inside) seen.inMin = std::min(seen.inMin, v), seen.inMax = std::max(seen.inMax, v);
        if (inside != in) edge[n++] = c;
        in = inside;
    }
    if (in) edge[n++] = cols;
    return n;
}

// Room for two rows of run edges and two of run labels.
size_t runRoom(int cols) { return 3 * (static_cast<size_t>(cols) + 2) + 2; }

// Columns [a, e) of row l take the label. Runs are short on noisy images:
// their last one to three pixels go in one store, zeros following them, as
// the rest of the row up to the next run is background (the row starts
// cleared, and its runs are written from the left).
inline void fillRun(int32_t *l, int a, int e, int cols, int32_t label) {
    int c = a;
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi32(label);
    for (; c + 4 <= e; c += 4) _mm_storeu_si128(reinterpret_cast<__m128i *>(l + c), v);
    if (c < e && c + 4 <= cols) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(l + c),
                         _mm_and_si128(v, _mm_load_si128(reinterpret_cast<const __m128i *>(kQuads.lanes[(1u << (e - c)) - 1]))));
        return;
    }
#endif
    for (; c < e; ++c) l[c] = label;
}

// The first pass over the rows of one strip by runs; `edges` has room for
// two rows of edges and `labels` for two rows of run labels. False, with
// the strip to be done again, where the joins are not by the window.
bool labelStripRuns(const uint8_t *bytes, int32_t *lab, int cols, const ByteWindow &w, Strip &s,
                    int32_t *edges, int32_t *labels) {
    if (!w.usable || w.empty || !w.joins) return false;
    RunValues seen;
    const size_t room = static_cast<size_t>(cols) + 2;
    int32_t *eAbove = edges, *eHere = edges + room, *lAbove = labels, *lHere = labels + room / 2 + 1;
    // Runs pay where the pixels in the window come in long runs, or, for
    // the pixel by pixel pass without its blocks of eight or sixteen, where
    // they are many; noise goes faster pixel by pixel. Three rows tell.
    long inside = 0, changes = 0;
    for (const int r : {s.first, (s.first + s.end) / 2, s.end - 1}) {
        const int n = rowEdges(bytes + static_cast<size_t>(r) * cols, cols, w, eHere, seen);
        changes += n;
        for (int i = 0; i + 1 < n; i += 2) inside += eHere[i + 1] - eHere[i];
    }
    const long sampled = 3L * (cols - 1);
    const bool sparse = inside * 100 < 15 * sampled;
    const bool noisy = wideLabelRows() ? changes * 100 >= 16 * sampled || (sparse && changes * 100 >= 8 * sampled)
                                       : sparse && changes * 100 >= 4 * sampled;
    if (noisy) return false;
    int nAbove = s.first >= 2 ? rowEdges(bytes + static_cast<size_t>(s.first - 1) * cols, cols, w, eAbove, seen) / 2 : 0;
    int32_t *parent = s.parent;
    parent[0] = 0;
    for (int r = s.first; r < s.end; ++r) {
        if (progressCancelled()) {
            s.stopped = true;
            return true;
        }
        const int n = rowEdges(bytes + static_cast<size_t>(r) * cols, cols, w, eHere, seen) / 2;
        if (!seen.joinByWindow(w)) return false;
        // the row above belongs to another strip: stand-ins for the runs joining it
        const bool standIns = r == s.first && r >= 2;
        if (!s.tested && n > 0) s.tested = r >= 2 || n > 1 || eHere[1] > 2;
        int32_t count = s.count;
        int32_t *l = lab + static_cast<size_t>(r) * cols;
        std::memset(l + 1, 0, (cols - 1) * sizeof(int32_t));
        int j = 0;  // the first run above that may touch the next run here
        for (int i = 0; i < n; ++i) {
            const int a = eHere[2 * i], e = eHere[2 * i + 1];  // columns [a, e)
            while (j < nAbove && eAbove[2 * j + 1] < a) ++j;
            const bool joinsAbove = j < nAbove && eAbove[2 * j] <= a;
            int32_t label;
            if (standIns || !joinsAbove) {
                label = ++count;
                parent[count] = count;
                if (standIns && joinsAbove) s.standIns[s.nstandIns++] = count;
            } else {
                label = lAbove[j];
            }
            if (!standIns) {
                int k = j;
                for (; k < nAbove && eAbove[2 * k] < e; ++k) label = unite(parent, label, lAbove[k]);
                if (k > j) j = k - 1;  // the last may reach the next run too
            }
            lHere[i] = label;
            fillRun(l, a, e, cols, label);
        }
        s.count = count;
        std::swap(eAbove, eHere);
        std::swap(lAbove, lHere);
        nAbove = n;
        if (s.count - s.nstandIns > CCL_MAXLABELS) {
            s.full = true;
            return true;
        }
    }
    return true;
}

// First pass over the rows of one strip; `code` and `ext` are scratch rows,
// `buf` room for two rows of grey values, `runs` for two rows of run edges
// and labels (3 cols + 6 entries), or null.
void labelStrip(const GreyRows &grey, int32_t *lab, int cols, const Window &w, Strip &s,
                uint8_t *code, uint8_t *codeUp, uint8_t *ext, float *buf, int32_t *runs) {
    for (int r = s.first; r < s.end; ++r) lab[static_cast<size_t>(r) * cols] = 0;
    if (runs && grey.bytes &&
        labelStripRuns(grey.bytes, lab, cols, ByteWindow(w), s, runs, runs + 2 * (static_cast<size_t>(cols) + 2)))
        return;
    s.count = s.nstandIns = 0;
    s.tested = false;
    s.parent[0] = 0;
    float *spare = buf, *held = buf + cols;  // the row above stays in `held`
    const bool byRows = grey.bytes && ByteWindow(w).usable;
    const float *gu = byRows ? nullptr : grey.row(s.first - 1, held);
    for (int r = s.first; r < s.end; ++r) {
        if (progressCancelled()) {
            s.stopped = true;
            return;
        }
        int32_t *l = lab + static_cast<size_t>(r) * cols;
        if (byRows) {
            rowCodes(grey, r, w, r >= 2, code, buf);
        } else {
            const float *g = grey.row(r, spare);
            joinCodes(g, gu, cols, w, r >= 2, code);
            if (g == spare) std::swap(spare, held);
            gu = g;
        }
        const uint8_t *joinsAbove = nullptr;
        if (r == s.first && r >= 2) {  // the row above belongs to another strip
            for (int c = 1; c < cols; ++c) {
                ext[c] = code[c] & (JU | JD);
                code[c] &= static_cast<uint8_t>(~(JU | JD));
            }
            joinsAbove = ext;
        }
        if (!s.tested)
            for (int c = r >= 2 ? 1 : 2; c < cols && !s.tested; ++c) s.tested = code[c] != 0;
        labelRow(code, codeUp, joinsAbove, l, l - cols, cols, s);
        std::swap(code, codeUp);
        if (s.count - s.nstandIns > CCL_MAXLABELS) {
            s.full = true;
            return;
        }
    }
}

// Threads the strips are worked by: one per core, at most 8.
int stripThreads(int strips) { return bands::count(strips, 1); }

// The threads of a labelling: the calling thread and helpers, which wait
// between its passes, spinning a little first (the serial steps between
// passes are short) and then asleep. Each pass hands out its strips one by
// one, so that a thread slowed by other work on its core leaves more strips
// to the others. A helper works under the caller's error mode and depth, and
// a code it sets comes back to the caller. If a helper cannot be started,
// the threads started do it all.
class Team {
public:
    explicit Team(int threads) {
        try {
            for (int t = 1; t < threads; ++t) {
                pool_.emplace_back([this, t] { serve(t); });
                codes_.push_back(0);
            }
        } catch (...) {
            // fewer threads
        }
        codes_.resize(pool_.size());
    }
    ~Team() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            quit_ = true;
            generation_.fetch_add(1, std::memory_order_release);
        }
        started_.notify_all();
        for (std::thread &t : pool_) t.join();
    }
    Team(const Team &) = delete;
    Team &operator=(const Team &) = delete;

    int threads() const { return static_cast<int>(pool_.size()) + 1; }

    // Runs work(thread, strip) for every strip in [0, strips), thread 0
    // being the caller; returns when all are done. The caller does strip 0
    // whatever the helpers take, so that its progress reports (which come
    // from it alone) fall between the start and the end of every pass.
    template <class Work>
    void forStrips(int strips, Work &&work) {
        std::atomic<int> next{1};
        auto job = [&](int t) {
            for (int s = t == 0 ? 0 : next.fetch_add(1, std::memory_order_relaxed); s < strips;
                 s = next.fetch_add(1, std::memory_order_relaxed))
                work(t, s);
        };
        if (pool_.empty() || strips < 2) {
            job(0);
            return;
        }
        // every helper takes part, if only to find no strip left
        job_ = [](void *context, int t) { (*static_cast<decltype(job) *>(context))(t); };
        context_ = &job;
        mode_ = ZoltErrorMode;
        depth_ = ZoltDepth;
        running_.store(static_cast<int>(pool_.size()), std::memory_order_relaxed);
        {
            std::lock_guard<std::mutex> hold(mutex_);
            generation_.fetch_add(1, std::memory_order_release);
        }
        started_.notify_all();
        job(0);
        ZoltSpinThenWait(mutex_, finished_, SPINS, [&] { return running_.load(std::memory_order_acquire) == 0; });
        for (int &code : codes_)
            if (code != 0) {
                ZoltErrorCode = code;
                code = 0;
            }
    }

private:
    static constexpr int SPINS = 1 << 12;  // some tens of microseconds

    void serve(int t) {
        unsigned seen = 0;
        for (;;) {
            ZoltSpinThenWait(mutex_, started_, SPINS,
                             [&] { return generation_.load(std::memory_order_acquire) != seen; });
            seen = generation_.load(std::memory_order_acquire);
            if (quit_) return;  // written before the generation it came with
            ZoltErrorMode = mode_;
            ZoltDepth = depth_;
            ZoltErrorCode = 0;
            job_(context_, t);
            codes_[t - 1] = ZoltErrorCode;
            if (running_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                std::lock_guard<std::mutex> hold(mutex_);
                finished_.notify_one();
            }
        }
    }

    int mode_ = 0, depth_ = 0;  // the caller's, for the pass
    std::vector<std::thread> pool_;
    std::vector<int> codes_;  // of each helper's last pass
    void (*job_)(void *, int) = nullptr;
    void *context_ = nullptr;
    bool quit_ = false;
    alignas(64) std::atomic<unsigned> generation_{0};  // one more for each pass, and for the end
    alignas(64) std::atomic<int> running_{0};          // helpers still in the pass
    std::mutex mutex_;
    std::condition_variable started_, finished_;
};

// The team of one labelling is kept for the next: starting a thread costs
// tens of microseconds, much of a small labelling. A call takes it when no
// other call has it, and makes its own otherwise; a kept team waits asleep
// between calls. A child process (fork) has no helpers: its calls make their own.
class KeptTeam {
public:
    KeptTeam() { pthread_atfork(nullptr, nullptr, [] { keptTeamLost = true; }); }
    ~KeptTeam() {
        if (keptTeamLost) team_.release();  // its threads are not in this process
    }

    std::unique_ptr<Team> take(int threads) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            forget();
            if (threads > 1 && team_ && team_->threads() == threads) return std::move(team_);
        }
        return std::make_unique<Team>(threads);
    }
    void giveBack(std::unique_ptr<Team> team) {
        std::unique_lock<std::mutex> lock(mutex_);
        forget();
        if (team->threads() > 1 && (!team_ || team_->threads() < team->threads())) std::swap(team_, team);
        lock.unlock();
        // a team not kept ends here, its helpers joined
    }

private:
    static inline std::atomic<bool> keptTeamLost{false};
    void forget() {
        if (keptTeamLost.exchange(false)) team_.release();
    }
    std::mutex mutex_;
    std::unique_ptr<Team> team_;
};

KeptTeam keptTeam;

// A team for one call, handed back when it goes.
class TeamLease {
public:
    explicit TeamLease(int threads) : team_(keptTeam.take(threads)) {}
    ~TeamLease() { keptTeam.giveBack(std::move(team_)); }
    TeamLease(const TeamLease &) = delete;
    TeamLease &operator=(const TeamLease &) = delete;
    Team &operator*() const { return *team_; }

private:
    std::unique_ptr<Team> team_;
};

// Progress in rows, two passes over each: strips finished on any thread are
// counted, and the calling thread (band 0) reports after each of its own
// that was not cut short by a stop.
struct RowProgress {
    long total;
    std::atomic<long> done{0};

    explicit RowProgress(long rows) : total(2 * rows) { reportProgress(0, total); }
    void stripDone(int thread, const Strip &s) {
        const long now = done += s.end - s.first;
        if (thread == 0 && !s.stopped) reportProgress(now, total);
    }
    void finish() { reportProgress(total, total); }
};

// Stitches the strips together: one table over every label in raster order
// (stand-ins numbered after the real ones), the strips' own merges (each
// strip on its own ranges of the table, side by side), the joins across strip
// borders; then each strip's table of final labels. Returns the number of
// provisional labels, or -1 when the tables could not be made.
int stitch(Team &team, const GreyRows &grey, const int32_t *lab, int cols, const Window &w,
           std::vector<Strip> &strips, uint8_t *code, float *buf, std::unique_ptr<KeptTable> &labelsOf) {
    long total = 0, standIns = 0;
    for (const Strip &s : strips) {
        total += s.count - s.nstandIns;
        standIns += s.nstandIns;
    }
    const KeptTable store(KeptTables::MERGED, total + standIns + 1);
    int32_t *table = store.get();
    long made = 0;
    for (const Strip &s : strips) made += s.count + 1;
    labelsOf = std::make_unique<KeptTable>(KeptTables::LABELS_OF, made);
    if (!table || !labelsOf->get()) {
        ZoltErrorCode = ZOLT_ENOMEM;
        Zoltext("cclC4_2: no memory for the table of provisional labels");
        return -1;
    }
    // where each strip's real labels and stand-ins start in the table
    std::vector<long> realFrom(strips.size()), extraFrom(strips.size());
    long real = 0, extra = total;
    int32_t *nextLabelsOf = labelsOf->get();
    for (size_t i = 0; i < strips.size(); ++i) {
        Strip &s = strips[i];
        realFrom[i] = real;
        extraFrom[i] = extra;
        real += s.count - s.nstandIns;
        extra += s.nstandIns;
        s.labelOf = nextLabelsOf;
        nextLabelsOf += s.count + 1;
    }
    table[0] = 0;
    team.forStrips(static_cast<int>(strips.size()), [&](int, int i) {
        Strip &s = strips[i];
        long ownReal = realFrom[i], ownExtra = extraFrom[i];
        int next = 0;  // next stand-in of this strip
        s.labelOf[0] = 0;
        for (int k = 1; k <= s.count; ++k) {
            const bool standIn = next < s.nstandIns && s.standIns[next] == k;
            next += standIn;
            const auto label = static_cast<int32_t>(standIn ? ++ownExtra : ++ownReal);
            s.labelOf[k] = label;
            table[label] = label;
        }
        for (int k = 1; k <= s.count; ++k)
            if (s.parent[k] != k) unite(table, s.labelOf[k], s.labelOf[s.parent[k]]);
    });
    for (size_t i = 1; i < strips.size(); ++i) {
        const Strip &s = strips[i], &above = strips[i - 1];
        const int32_t *l = lab + static_cast<size_t>(s.first) * cols, *lu = l - cols;
        rowCodes(grey, s.first, w, true, code, buf);
        for (int c = 1; c < cols; ++c) {
            if (code[c] & JU) unite(table, s.labelOf[l[c]], above.labelOf[lu[c]]);
            if (code[c] & JD) unite(table, s.labelOf[l[c]], above.labelOf[lu[c - 1]]);
        }
    }
    for (long i = 1; i <= total + standIns; ++i) table[i] = table[table[i]];  // parents come first
    team.forStrips(static_cast<int>(strips.size()), [&](int, int i) {
        Strip &s = strips[i];
        for (int k = 1; k <= s.count; ++k) s.labelOf[k] = table[s.labelOf[k]];
    });
    return static_cast<int>(total);
}

// ------------------------------------------------- holes, areas, output

#if defined(ZOLT_X86_VECTORS)
// fillHoles sixteen at a time; returns the column reached. (GCC 12 takes
// the undefined pass-through operand of the conversion for an uninitialised
// value, hence the pragma.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
template <class T>
__attribute__((target("avx512f"))) int fillHolesAvx512(const int32_t *l, const int32_t *lu, const int32_t *ld,
                                                       int cols, T *row) {
    int c = 1;
    for (; c + 17 <= cols; c += 16) {
        const __m512i v = _mm512_loadu_si512(l + c), x = _mm512_loadu_si512(lu + c);
        __mmask16 hole = _mm512_testn_epi32_mask(v, v) & _mm512_cmpgt_epi32_mask(x, _mm512_setzero_si512());
        hole = _mm512_mask_cmpeq_epi32_mask(hole, _mm512_loadu_si512(ld + c), x);
        hole = _mm512_mask_cmpeq_epi32_mask(hole, _mm512_loadu_si512(l + c - 1), x);
        hole = _mm512_mask_cmpeq_epi32_mask(hole, _mm512_loadu_si512(l + c + 1), x);
        const __m512i res = _mm512_mask_mov_epi32(v, hole, x);
        if constexpr (std::is_same_v<T, float>)
            _mm512_storeu_ps(row + c, _mm512_cvtepi32_ps(res));
        else
            _mm512_storeu_si512(row + c, res);
    }
    return c;
}
#pragma GCC diagnostic pop
#endif

// Row l (a row neither first nor last) with its one-pixel holes filled, into
// columns 1 .. cols - 1 of `row`, given the rows above and below: a background
// pixel not in the outermost columns whose four neighbours carry one region
// label takes it. A filled pixel never changes another pixel's decision, so
// rows may be filled in any order, and from filled or unfilled neighbours.
template <class T>
void fillHoles(const int32_t *l, const int32_t *lu, const int32_t *ld, int cols, T *row) {
    int c = 1;
#if defined(ZOLT_X86_VECTORS)
    if (cpu::avx512()) c = fillHolesAvx512(l, lu, ld, cols, row);
#endif
#if defined(__SSE2__)
    // four at a time: the filled value is the one above, where v is 0
    auto at = [](const int32_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); };
    const __m128i zero = _mm_setzero_si128();
    for (; c + 5 <= cols; c += 4) {
        const __m128i v = at(l + c), x = at(lu + c);
        const __m128i sides = _mm_and_si128(_mm_cmpeq_epi32(at(l + c - 1), x), _mm_cmpeq_epi32(at(l + c + 1), x));
        const __m128i hole = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi32(v, zero), _mm_cmpgt_epi32(x, zero)),
                                           _mm_and_si128(_mm_cmpeq_epi32(at(ld + c), x), sides));
        const __m128i res = _mm_or_si128(v, _mm_and_si128(hole, x));
        if constexpr (std::is_same_v<T, float>)
            _mm_storeu_ps(row + c, _mm_cvtepi32_ps(res));
        else
            _mm_storeu_si128(reinterpret_cast<__m128i *>(row + c), res);
    }
#endif
    for (; c + 1 < cols; ++c) {
        const int32_t x = lu[c], v = l[c];
        const bool hole = (v == 0) & (x > 0) & (ld[c] == x) & (l[c - 1] == x) & (l[c + 1] == x);
        row[c] = static_cast<T>(hole ? x : v);
    }
    if (cols > 1) row[cols - 1] = static_cast<T>(l[cols - 1]);
}

#if defined(ZOLT_X86_VECTORS)
// finalLabels sixteen at a time, looking up the labels of the pixels in
// regions only; returns the column reached.
__attribute__((target("avx512f"))) int finalLabelsAvx512(const int32_t *l, int cols, const int32_t *labelOf,
                                                         int32_t *f) {
    int c = 1;
    for (; c + 16 <= cols; c += 16) {
        const __m512i k = _mm512_loadu_si512(l + c);
        const __mmask16 in = _mm512_test_epi32_mask(k, k);
        _mm512_storeu_si512(f + c, _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), in, k, labelOf, 4));
    }
    return c;
}
#endif

// Row l of provisional labels in final labels through the strip's table,
// into f (column 0 too, which is background).
inline void finalLabels(const int32_t *l, int cols, const int32_t *labelOf, int32_t *f) {
    f[0] = 0;
    int c = 1;
#if defined(ZOLT_X86_VECTORS)
    if (cpu::avx512()) c = finalLabelsAvx512(l, cols, labelOf, f);
#endif
#if defined(__SSE2__)
    // sixteen background pixels at a time cost no look-up
    for (; c + 16 <= cols; c += 16) {
        const auto *p = reinterpret_cast<const __m128i *>(l + c);
        const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                                         _mm_or_si128(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) == 0xffff) {
            auto *q = reinterpret_cast<__m128i *>(f + c);
            for (int j = 0; j < 4; ++j) _mm_storeu_si128(q + j, _mm_setzero_si128());
            continue;
        }
        for (int j = 0; j < 16; ++j) f[c + j] = labelOf[l[c + j]];
    }
#endif
    for (; c < cols; ++c) f[c] = labelOf[l[c]];
}

// Adds the pixels of row l to the areas. Background pixels go to eight spare
// counters past the labels, so that their increments do not wait on one
// another.
void countRow(const int32_t *l, int cols, int32_t *area, int32_t spare) {
    for (int c = 1; c < cols; ++c) {
        const int32_t v = l[c];
        ++area[v ? v : spare + (c & 7)];
    }
}

// Output rows [first, end) of the labels, erased through `keep` when given,
// into `out`, a frame of int or float elements; column 0 is unlabelled.
template <class T>
void outputRows(const int32_t *lab, int cols, int first, int end, const int32_t *keep, T *out) {
    for (int r = first; r < end; ++r) {
        const int32_t *l = lab + static_cast<size_t>(r) * cols;
        T *o = out + static_cast<size_t>(r) * cols;
        o[0] = static_cast<T>(-1);
        if (keep)
            for (int c = 1; c < cols; ++c) o[c] = static_cast<T>(keep[l[c]]);
        else
            for (int c = 1; c < cols; ++c) o[c] = static_cast<T>(l[c]);
    }
}

// Writes the areas file: "label area" for every label 0..count.
// An old areas file stays as it was unless the new one is written whole.
bool writeAreas(const char *name, const int32_t *area, int count) {
    ZoltSafeFile safe;
    FILE *fp = safe.open(name);
    if (!fp) {
        Zoltsay("file name %s is invalid for areas file\n", name);
        return false;
    }
    for (int k = 0; k <= count; ++k) std::fprintf(fp, "%d %d\n", k, area[k]);
    return safe.commit();
}

// Rows and columns of an image the labelling can read, or false.
bool readable(const ZoltHeader *in, int &rows, int &cols) {
    if (!in || !Zoltmagicok(in) || !in->oltptr || in->oltndim < 2) return false;
    cols = static_cast<int>(Zoltdimen(in, 0));
    rows = static_cast<int>(Zoltdimen(in, 1));
    if (cols <= 0 || rows <= 0) return false;
    if (in->oltndim == 2) return Zoltplaintype(in->dtype);
    return Zoltdimen(in, 2) >= 3 && in->dtype != ZOLT_STRUCT;
}

}  // namespace

int cclC4_2(const ZoltHeader *input, float thresh, float minval, float maxval, int EraseSmall,
            int EraseLarge, int &numlabels, const char *areasfile, ZoltHeader *output) {
    ZoltDepthGuard depth;
    int rows = 0, cols = 0;
    if (!readable(input, rows, cols)) {
        ZoltErrorCode = input ? ZOLT_EHEADER : ZOLT_ENULL;
        Zoltext("cclC4_2: input must be a readable 2-D image or a colour image of 3 frames");
        return CCL_BADIMAGE;
    }
    if (!output || !Zoltmagicok(output) || !output->oltptr || output->oltndim < 2 ||
        static_cast<int>(Zoltdimen(output, 0)) != cols ||
        static_cast<int>(Zoltdimen(output, 1)) != rows) {
        ZoltErrorCode = output ? ZOLT_EDIM : ZOLT_ENULL;
        Zoltext("cclC4_2: output image must have the input's columns and rows");
        return CCL_BADIMAGE;
    }

    const int dims[] = {2, cols, rows};
    const int inner = rows - 1;
    const int nstrips = inner < 1 || cols < 2 ? 0 : std::clamp(inner / STRIP_ROWS, 1, MAX_STRIPS);
    // the threads of the kept team, all of them whenever there are strips to share
    const int threads = nstrips > 1 ? stripThreads(MAX_STRIPS) : 1;
    ZoltHeader *convert = nullptr;
    const KeptTable labels(KeptTables::IMAGE, static_cast<size_t>(rows) * cols);
    int32_t *lab = labels.get();  // the labels, on large pages
    std::vector<Strip> strips(nstrips);
    std::vector<int32_t *> areas(threads, nullptr);
    uint8_t *scratch = nullptr;
    float *greyRows = nullptr;
    int32_t *keep = nullptr;
    int32_t *runs = nullptr;
    int32_t *rolling = nullptr;
    auto release = [&]() {
        for (int32_t *a : areas) Zoltcfree(a);
        Zoltcfree(keep);
        if (convert) Zoltfree(convert, 7);
    };

    // working images and tables
    const GreyRows grey(input, cols);
    bool ok = lab != nullptr;
    if (ok) {
        // row 0 and column 0 are never labelled: background for the passes
        // (each strip clears column 0 of its rows, faulting its pages in)
        std::fill_n(lab, cols, 0);
    } else {
        ZoltErrorCode = ZOLT_ENOMEM;
        Zoltext("cclC4_2: no memory for the labels");
    }
    // every pixel may start a label, but no more than the limit plus a row
    // of stand-ins and a row of labels are kept before a strip stops
    std::vector<long> most(nstrips);
    long allMost = 0;
    for (int i = 0; i < nstrips; ++i) {
        Strip &s = strips[i];
        s.first = 1 + static_cast<int>(static_cast<long>(inner) * i / nstrips);
        s.end = 1 + static_cast<int>(static_cast<long>(inner) * (i + 1) / nstrips);
        most[i] = std::min<long>(static_cast<long>(s.end - s.first) * (cols - 1), CCL_MAXLABELS + 2L * cols) + 2;
        allMost += most[i];
    }
    const KeptTable parents(KeptTables::PARENTS, allMost);
    int32_t *nextParents = parents.get();
    for (int i = 0; i < nstrips && ok; ++i) {
        Strip &s = strips[i];
        s.parent = nextParents;
        if (nextParents) nextParents += most[i];
        ok = s.parent != nullptr;
        if (!s.parent) {
            ZoltErrorCode = ZOLT_ENOMEM;
            Zoltext("cclC4_2: no memory for the tables of provisional labels");
        }
    }
    // Working rows, in words: per strip three rows of codes (bytes), two
    // rows of grey values, five rows of final labels (three rows and two
    // kept back), a row of stand-ins and two rows of runs for byte images;
    // one more row of codes and two of grey values for the stitching.
    const size_t row = cols, codeWords = (nstrips + 1) * row, greyWords = 2 * (nstrips + 1) * row;
    const size_t rollingWords = 5 * nstrips * row, standInWords = nstrips * row, runWords = nstrips * runRoom(cols);
    const KeptTable rowStore(KeptTables::ROWS, codeWords + greyWords + rollingWords + standInWords + runWords);
    int32_t *rowWords = rowStore.get();
    if (!ok || !rowWords) {
        if (ok) {
            ZoltErrorCode = ZOLT_ENOMEM;
            Zoltext("cclC4_2: no memory for the working rows");
        }
        release();
        return CCL_BADIMAGE;
    }
    scratch = reinterpret_cast<uint8_t *>(rowWords);
    greyRows = reinterpret_cast<float *>(rowWords + codeWords);
    rolling = rowWords + codeWords + greyWords;
    for (int i = 0; i < nstrips; ++i) strips[i].standIns = rolling + rollingWords + i * row;
    runs = grey.bytes ? rolling + rollingWords + standInWords : nullptr;
    // the row of codes above a strip's first row is read (to no effect) before it is written
    for (int i = 0; i < nstrips; ++i) std::memset(scratch + (4 * i + 2) * row, 0, row);
    const Window win{thresh, minval, maxval};
    // A stop asked before anything is written ends the call with nothing
    // written, the label count as given.
    const int givenCount = numlabels;
    auto stopped = [&]() {
        if (!progressCancelled()) return false;
        numlabels = givenCount;
        release();
        return true;
    };
    if (stopped()) return CCL_CANCELLED;
    RowProgress progress(inner);
    const TeamLease lease(threads);
    Team &team = *lease;

    // first pass, strip by strip
    team.forStrips(nstrips, [&](int t, int i) {
        uint8_t *code = scratch + 4 * static_cast<size_t>(i) * cols;
        labelStrip(grey, lab, cols, win, strips[i], code, code + 2 * static_cast<size_t>(cols), code + cols,
                   greyRows + 2 * static_cast<size_t>(i) * cols,
                   runs ? runs + static_cast<size_t>(i) * runRoom(cols) : nullptr);
        progress.stripDone(t, strips[i]);
    });
    long total = 0;
    bool tested = false, full = false;
    for (const Strip &s : strips) {
        total += s.count - s.nstandIns;
        tested |= s.tested;
        full |= s.full;
    }
    if (stopped()) return CCL_CANCELLED;
    if (tested) {
        Zoltsay("ccl4_3: input image is %d dimensions\n", 2);
        std::fflush(stdout);
    }
    if (full || total > CCL_MAXLABELS) {
        Zoltsay("need more labels than we have\n");
        numlabels = CCL_MAXLABELS;
        release();
        return CCL_TOOMANY;
    }

    // second pass: every label becomes the smallest label of its region
    std::unique_ptr<KeptTable> labelsOf;
    const int count = stitch(team, grey, lab, cols, win, strips, scratch + 4 * static_cast<size_t>(nstrips) * cols,
                             greyRows + 2 * static_cast<size_t>(nstrips) * cols, labelsOf);
    if (count < 0) {
        release();
        return CCL_BADIMAGE;
    }
    if (stopped()) return CCL_CANCELLED;
    numlabels = count;

    // Final labels, holes filled and, when erasing is asked, areas counted:
    // each strip does its own rows but its first and last, whose neighbours
    // lie in other strips; those follow once every strip is done.
    // Areas are needed for the file and for erasing; every region has at
    // least one pixel, so EraseSmall 1 (the dialog's default) erases nothing.
    const bool wantFile = (EraseSmall != 0 || EraseLarge != 0) && areasfile && areasfile[0];
    const bool erasing = wantFile || EraseSmall > 1 || EraseLarge > 0;
    const int32_t spare = count + 1;
    if (erasing) {
        for (int32_t *&a : areas) {
            a = static_cast<int32_t *>(Zoltalc((spare + 8L) * sizeof(int32_t)));
            ok = ok && a;
        }
        keep = static_cast<int32_t *>(Zoltalc((count + 1L) * sizeof(int32_t)));
        if (!ok || !keep) {
            release();
            return CCL_BADIMAGE;
        }
    }
    // Without erasing, the final labels go straight into the output (or the
    // image the output is converted from); with it they stay in the labels
    // until the areas are known.
    if (output->dtype != ZOLT_S32 && output->dtype != ZOLT_F32) {
        convert = Zoltcreate("32bit", dims, 11, 0);
        if (!convert) {
            release();
            return CCL_BADIMAGE;
        }
    }
    if (stopped()) return CCL_CANCELLED;
    auto finalPass = [&](auto *out) {
        using T = std::remove_pointer_t<decltype(out)>;
        // Each strip keeps three rows of final labels (above, its own, below)
        // and fills and writes its rows, the first and last too: it reads the
        // provisional labels of the rows next to it in other strips through
        // their tables. Without an output the rows go back into the labels,
        // the first and last only once every strip is done, as the strips
        // next to them read them. The strips go from the last, whose labels
        // the first pass wrote last and the caches are likeliest to hold.
        team.forStrips(nstrips, [&](int t, int backwards) {
            const int i = nstrips - 1 - backwards;
            const Strip &s = strips[i];
            int32_t *ring = rolling + 5 * static_cast<size_t>(i) * cols;
            int32_t *up = ring, *cur = ring + cols, *down = ring + 2 * cols;
            auto final = [&](int r, int32_t *f) {
                if (r == 0) {
                    std::fill_n(f, cols, 0);
                    return;
                }
                const int k = r < s.first ? i - 1 : r >= s.end ? i + 1 : i;
                finalLabels(lab + static_cast<size_t>(r) * cols, cols, strips[k].labelOf, f);
            };
            final(s.first - 1, up);
            final(s.first, cur);
            for (int r = s.first; r < s.end; ++r) {
                const bool last = r + 1 == rows;
                if (!last) final(r + 1, down);
                if (out) {
                    T *o = out + static_cast<size_t>(r) * cols;
                    o[0] = static_cast<T>(-1);
                    if (!last) fillHoles(cur, up, down, cols, o);
                    else
                        for (int c = 1; c < cols; ++c) o[c] = static_cast<T>(cur[c]);
                } else {
                    int32_t *dst = r == s.first ? ring + 3 * cols
                                   : r + 1 == s.end ? ring + 4 * cols
                                                    : lab + static_cast<size_t>(r) * cols;
                    if (!last) fillHoles(cur, up, down, cols, dst);
                    else std::memcpy(dst + 1, cur + 1, (cols - 1) * sizeof(int32_t));
                    if (erasing) countRow(dst, cols, areas[t], spare);
                }
                int32_t *spent = up;
                up = cur;
                cur = down;
                down = spent;
            }
            progress.stripDone(t, s);
        });
        if (!out)
            for (int i = 0; i < nstrips; ++i) {
                const Strip &s = strips[i];
                const int32_t *ring = rolling + 5 * static_cast<size_t>(i) * cols;
                std::memcpy(lab + static_cast<size_t>(s.first) * cols + 1, ring + 3 * cols + 1,
                            (cols - 1) * sizeof(int32_t));
                if (s.end - 1 > s.first)
                    std::memcpy(lab + static_cast<size_t>(s.end - 1) * cols + 1, ring + 4 * cols + 1,
                                (cols - 1) * sizeof(int32_t));
            }
    };
    if (erasing)
        finalPass(static_cast<int32_t *>(nullptr));
    else if (output->dtype == ZOLT_F32)
        finalPass(static_cast<float *>(output->oltptr));
    else
        finalPass(static_cast<int32_t *>((convert ? convert : output)->oltptr));

    progress.finish();
    // Until here the output is untouched when erasing or converting: a stop
    // is still heeded.
    if ((erasing || convert) && stopped()) return CCL_CANCELLED;

    // the areas file and the erasing table
    if (erasing) {
        int32_t *area = areas[0];
        for (int t = 1; t < threads; ++t)
            for (int k = 0; k <= count; ++k) area[k] += areas[t][k];
        area[0] = 0;  // the background is no region
        if (wantFile && !writeAreas(areasfile, area, count)) {
            release();
            return CCL_AREASFILE;
        }
        for (int k = 0; k <= count; ++k) {
            const bool small = EraseSmall > 0 && area[k] < EraseSmall;
            const bool large = EraseLarge > 0 && area[k] > EraseLarge;
            keep[k] = small || large ? 0 : k;
        }
    }

    // output: int and float images directly, other types through a conversion
    if (EraseSmall > 0) Zoltsay("calling erasesmalregions %d\n", EraseSmall);
    const size_t n = static_cast<size_t>(rows) * cols;
    auto writeAll = [&](auto *out) {
        using T = std::remove_pointer_t<decltype(out)>;
        for (int c = 0; c < cols; ++c) out[c] = static_cast<T>(c == 0 ? 0 : -1);
        if (nstrips == 0)  // else the final pass or the erasing wrote the rest, column 0 too
            for (int r = 1; r < rows; ++r) out[static_cast<size_t>(r) * cols] = static_cast<T>(-1);
        if (erasing)
            team.forStrips(nstrips, [&](int, int i) {
                outputRows(lab, cols, strips[i].first, strips[i].end, keep, out);
            });
    };
    if (output->dtype == ZOLT_F32)
        writeAll(static_cast<float *>(output->oltptr));
    else
        writeAll(static_cast<int32_t *>((convert ? convert : output)->oltptr));
    if (EraseSmall > 0) Zoltsay("return from  erasesmalregions\n");
    if (output->dtype == ZOLT_S32) {
        const int frames = output->oltndim == 3 ? std::min(3, static_cast<int>(Zoltdimen(output, 2))) : 1;
        auto *o = static_cast<int32_t *>(output->oltptr);
        for (int k = 1; k < frames; ++k) std::memcpy(o + k * n, o, n * sizeof(int32_t));
    } else {
        Zoltsay("cclC4_3:converting output image from %s to %s\n", "32bit", output->oltdt);
        if (convert && Zoltconvert(convert, output) != 0) {  // complex and other unconvertible types
            release();
            ZoltErrorCode = ZOLT_ETYPE;
            Zoltext("cclC4_2: the labels cannot be converted into the output's data type");
            return CCL_BADIMAGE;
        }
    }
    release();
    return CCL_OK;
}
