// Histogram equalisation over the whole image: the extremes come from the
// data, each value falls in bin trunc((v - min) x 255 / (max - min)) of 256,
// and becomes 255 times the share of values in its bin and the bins below.
// Values that are not numbers stay out of the histogram and come out as such.
#include "histeq.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "bands.h"
#include "cpufeatures.h"
#include "flimage.h"

namespace {

constexpr int BINS = 256;
constexpr size_t PIECE_MIN = 1 << 16;  // fewest values worth a thread of their own

// Outputs from this size on are written past the caches, which they would
// not fit in anyway.
constexpr size_t STREAM_BYTES = size_t(16) << 20;

int piecesFor(size_t n) { return bands::count(n, PIECE_MIN); }

// Where a value falls: trunc((v - min) x 255 / (max - min)), the maximum in
// bin 255, the infinities at the ends and NaN in bin 0 (it is taken out of
// the count apart). A product by the inverse is within a few units in the
// last place of the quotient; only near a whole number can the two fall in
// different bins, so a piece of the image with any value that near is binned
// again by the quotient itself.
struct Binning {
    double lo, span, inverse, top;
    // Single precision: (v - lo) x scale is within 5e-5 of the quotient for
    // every value of a float image whose extremes and span lie well inside
    // the float range, so only a product within 2e-4 of a whole number can
    // fall in another bin; such values are binned by the quotient.
    bool single = false;
    float flo = 0, fscale = 0, ftop = 0;

    static Binning of(double lo, double hi) {
        Binning b{lo, hi - lo, 1.0 / (hi - lo), hi};
        const double span = hi - lo;
        b.single = span >= 1e-30 && span <= 1e37 && std::fabs(lo) <= 1e37 && std::fabs(hi) <= 1e37;
        b.flo = static_cast<float>(lo);
        b.fscale = static_cast<float>(255.0 / span);
        b.ftop = static_cast<float>(hi);
        return b;
    }

    // The clamped quotient, before truncation, and whether it lies near a
    // whole number between the end bins.
    template <bool Exact>
    double quotient(double v, bool &near) const {
        const double t = (v - lo) * 255.0;
        double q = Exact ? t / span : t * inverse;
        q = v == top ? 255 : q;  // the quotient of the maximum is exactly 255
        q = q > -1 ? q : -1;     // NaN lands here too
        q = q < 256 ? q : 256;
        const double off = q - static_cast<int>(q + 0.5);
        near = (off > -1e-9) & (off < 1e-9) & (q > 0.5) & (q < 254.5);
        return q;
    }
    template <bool Exact>
    int bin(double v, bool &near) const {
        double q = quotient<Exact>(v, near);
        q = q > 0 ? q : 0;
        q = q < 255 ? q : 255;
        return static_cast<int>(q);
    }
};

#if defined(ZOLT_X86_VECTORS)
// Bins of eight floats at p, four lanes of doubles at a time, in the same
// operations as Binning::bin; `near` gathers the lanes near a whole number.
template <bool Exact>
__attribute__((target("avx2"))) inline __m256i bins8(const Binning &b, const float *p, __m256d &near) {
    const __m256d lo = _mm256_set1_pd(b.lo), k255 = _mm256_set1_pd(255.0), top = _mm256_set1_pd(b.top);
    const __m256d m1 = _mm256_set1_pd(-1.0), c256 = _mm256_set1_pd(256.0), zero = _mm256_setzero_pd();
    const __m256d c255 = _mm256_set1_pd(255.0), half = _mm256_set1_pd(0.5), c2545 = _mm256_set1_pd(254.5);
    const __m256d eps = _mm256_set1_pd(1e-9), meps = _mm256_set1_pd(-1e-9);
    const __m256 v8 = _mm256_loadu_ps(p);
    __m128i out[2];
    for (int h = 0; h < 2; ++h) {
        const __m256d v = _mm256_cvtps_pd(h ? _mm256_extractf128_ps(v8, 1) : _mm256_castps256_ps128(v8));
        const __m256d t = _mm256_mul_pd(_mm256_sub_pd(v, lo), k255);
        __m256d q = Exact ? _mm256_div_pd(t, _mm256_set1_pd(b.span)) : _mm256_mul_pd(t, _mm256_set1_pd(b.inverse));
        q = _mm256_blendv_pd(q, c255, _mm256_cmp_pd(v, top, _CMP_EQ_OQ));
        q = _mm256_max_pd(q, m1);  // the second operand when q is NaN
        q = _mm256_min_pd(q, c256);
        const __m256d off = _mm256_sub_pd(q, _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(_mm256_add_pd(q, half))));
        const __m256d isNear = _mm256_and_pd(
            _mm256_and_pd(_mm256_cmp_pd(off, meps, _CMP_GT_OQ), _mm256_cmp_pd(off, eps, _CMP_LT_OQ)),
            _mm256_and_pd(_mm256_cmp_pd(q, half, _CMP_GT_OQ), _mm256_cmp_pd(q, c2545, _CMP_LT_OQ)));
        near = _mm256_or_pd(near, isNear);
        q = _mm256_min_pd(_mm256_max_pd(q, zero), c255);
        out[h] = _mm256_cvttpd_epi32(q);
    }
    return _mm256_set_m128i(out[1], out[0]);
}

// Bins of eight floats at p in single precision; the lanes near a whole
// number, where the bin may differ from the quotient's, are binned again
// by the quotient.
__attribute__((target("avx2"))) inline __m256i bins8Single(const Binning &b, const float *p) {
    const __m256 v = _mm256_loadu_ps(p);
    const __m256 k255 = _mm256_set1_ps(255.f);
    __m256 q = _mm256_mul_ps(_mm256_sub_ps(v, _mm256_set1_ps(b.flo)), _mm256_set1_ps(b.fscale));
    const __m256 top = _mm256_cmp_ps(v, _mm256_set1_ps(b.ftop), _CMP_EQ_OQ);
    q = _mm256_blendv_ps(q, k255, top);        // the quotient of the maximum is exactly 255
    q = _mm256_max_ps(q, _mm256_set1_ps(-1.f));  // the second operand when q is NaN
    q = _mm256_min_ps(q, _mm256_set1_ps(256.f));
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const __m256 off = _mm256_and_ps(
        _mm256_sub_ps(q, _mm256_round_ps(q, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC)), magnitude);
    const __m256 near = _mm256_andnot_ps(
        top, _mm256_and_ps(_mm256_cmp_ps(off, _mm256_set1_ps(2e-4f), _CMP_LT_OQ),
                           _mm256_and_ps(_mm256_cmp_ps(q, _mm256_set1_ps(0.5f), _CMP_GT_OQ),
                                         _mm256_cmp_ps(q, _mm256_set1_ps(255.5f), _CMP_LT_OQ))));
    if (__builtin_expect(_mm256_movemask_ps(near) != 0, 0)) {
        __m256d unused = _mm256_setzero_pd();
        return bins8<true>(b, p, unused);
    }
    return _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(q, _mm256_setzero_ps()), k255));
}

// Counts the values [first, end) into four interleaved tables of h in single
// precision, NaN in bin 0 and in `nans` as well.
__attribute__((target("avx2"))) void countFloatsSingle(const Binning &b, const float *d, size_t first, size_t end,
                                                       int64_t *h, int64_t &nans) {
    alignas(32) int32_t k[8];
    int64_t notNumbers = 0;
    size_t i = first;
    for (; i + 8 <= end; i += 8) {
        _mm256_store_si256(reinterpret_cast<__m256i *>(k), bins8Single(b, d + i));
        const __m256 v = _mm256_loadu_ps(d + i);
        notNumbers += __builtin_popcount(_mm256_movemask_ps(_mm256_cmp_ps(v, v, _CMP_UNORD_Q)));
        for (int j = 0; j < 8; ++j) ++h[(j & 3) * 256 + k[j]];
    }
    for (; i < end; ++i) {
        bool n;
        ++h[b.bin<true>(d[i], n)];
        notNumbers += d[i] != d[i];
    }
    nans = notNumbers;
}

// New values of the floats [first, end) through the table of bin values, in
// single precision; NaN comes out as the quiet NaN.
__attribute__((target("avx2"))) void mapFloatsSingle(const Binning &b, const float *d, size_t first, size_t end,
                                                     const float *value, float *o) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const __m256 nans = _mm256_set1_ps(nan);
    size_t i = first;
    for (; i + 8 <= end; i += 8) {
        const __m256 v = _mm256_loadu_ps(d + i);
        const __m256 mapped = _mm256_i32gather_ps(value, bins8Single(b, d + i), 4);
        _mm256_storeu_ps(o + i, _mm256_blendv_ps(mapped, nans, _mm256_cmp_ps(v, v, _CMP_UNORD_Q)));
    }
    for (; i < end; ++i) {
        bool n;
        o[i] = d[i] == d[i] ? value[b.bin<true>(d[i], n)] : nan;
    }
}

// Counts the values [first, end) into four interleaved tables of h, NaN in
// bin 0 and in `nans` as well; returns whether any lay near a whole number.
template <bool Exact>
__attribute__((target("avx2"))) bool countFloats(const Binning &b, const float *d, size_t first, size_t end,
                                                 int64_t *h, int64_t &nans) {
    __m256d near = _mm256_setzero_pd();
    alignas(32) int32_t k[8];
    int64_t notNumbers = 0;
    size_t i = first;
    for (; i + 8 <= end; i += 8) {
        _mm256_store_si256(reinterpret_cast<__m256i *>(k), bins8<Exact>(b, d + i, near));
        const __m256 v = _mm256_loadu_ps(d + i);
        notNumbers += __builtin_popcount(_mm256_movemask_ps(_mm256_cmp_ps(v, v, _CMP_UNORD_Q)));
        for (int j = 0; j < 8; ++j) ++h[(j & 3) * 256 + k[j]];
    }
    bool any = _mm256_movemask_pd(near) != 0;
    for (; i < end; ++i) {
        bool n;
        ++h[b.bin<Exact>(d[i], n)];
        any |= n;
        notNumbers += d[i] != d[i];
    }
    nans = notNumbers;
    return any;
}

// New values of the floats [first, end) through the table of bin values;
// NaN comes out as the quiet NaN.
template <bool Exact>
__attribute__((target("avx2"))) void mapFloats(const Binning &b, const float *d, size_t first, size_t end,
                                               const float *value, float *o) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const __m256 nans = _mm256_set1_ps(nan);
    __m256d near = _mm256_setzero_pd();
    size_t i = first;
    for (; i + 8 <= end; i += 8) {
        const __m256 v = _mm256_loadu_ps(d + i);
        const __m256 mapped = _mm256_i32gather_ps(value, bins8<Exact>(b, d + i, near), 4);
        _mm256_storeu_ps(o + i, _mm256_blendv_ps(mapped, nans, _mm256_cmp_ps(v, v, _CMP_UNORD_Q)));
    }
    for (; i < end; ++i) {
        bool n;
        o[i] = d[i] == d[i] ? value[b.bin<Exact>(d[i], n)] : nan;
    }
}

// With AVX-512, 64 values at a time in single precision: the bins come out
// as bytes, and the table of new values is looked up a byte of the float at
// a time, 64 lookups an instruction. The near test is gathered over the 64
// values, which are then binned again by the quotient if any lane is near.
// (GCC 12 takes the undefined pass-through operands inside the AVX-512
// intrinsics for uninitialised values, hence the pragma.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define ZOLT_WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi,avx2")))
constexpr size_t WIDE = 64;

// The bins of the 64 floats at p as bytes, in storage order; NaN in bin 0.
ZOLT_WIDE inline __m512i bins64(const Binning &b, const float *p) {
    const __m512 lo = _mm512_set1_ps(b.flo), scale = _mm512_set1_ps(b.fscale), top = _mm512_set1_ps(b.ftop);
    const __m512 k255 = _mm512_set1_ps(255.f), zero = _mm512_setzero_ps();
    __m128i bytes[4];
    __mmask16 near = 0;
    for (int u = 0; u < 4; ++u) {
        const __m512 v = _mm512_loadu_ps(p + 16 * u);
        const __mmask16 isTop = _mm512_cmp_ps_mask(v, top, _CMP_EQ_OQ);
        // the quotient of the maximum is exactly 255; the infinities give a
        // NaN offset below and are never near
        const __m512 q = _mm512_mask_mov_ps(_mm512_mul_ps(_mm512_sub_ps(v, lo), scale), isTop, k255);
        const __m512 off = _mm512_abs_ps(_mm512_sub_ps(q, _mm512_roundscale_ps(q, _MM_FROUND_TO_NEAREST_INT)));
        const __mmask16 inside = _mm512_mask_cmp_ps_mask(static_cast<__mmask16>(~isTop), q, _mm512_set1_ps(0.5f),
                                                         _CMP_GT_OQ);
        near |= _mm512_mask_cmp_ps_mask(inside, off, _mm512_set1_ps(2e-4f), _CMP_LT_OQ);
        // max gives its second operand for NaN
        bytes[u] = _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(_mm512_min_ps(_mm512_max_ps(q, zero), k255)));
    }
    if (__builtin_expect(near != 0, 0)) {
        __m256d unused = _mm256_setzero_pd();
        for (int u = 0; u < 4; ++u)
            bytes[u] = _mm512_cvtepi32_epi8(_mm512_inserti64x4(
                _mm512_castsi256_si512(bins8<true>(b, p + 16 * u, unused)), bins8<true>(b, p + 16 * u + 8, unused), 1));
    }
    const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(bytes[0]), bytes[1], 1);
    const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(bytes[2]), bytes[3], 1);
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

// Counts 64 bins (bytes) into four interleaved tables.
inline void countBytes64(const uint8_t *k, uint32_t (*t)[BINS]) {
    for (int j = 0; j < 64; j += 8) {
        uint64_t w;
        std::memcpy(&w, k + j, 8);
        ++t[0][w & 255], ++t[1][(w >> 8) & 255], ++t[2][(w >> 16) & 255], ++t[3][(w >> 24) & 255];
        ++t[0][(w >> 32) & 255], ++t[1][(w >> 40) & 255], ++t[2][(w >> 48) & 255], ++t[3][w >> 56];
    }
}

// Counts the values [first, end) into h in single precision, NaN in bin 0
// and in `nans` as well, and keeps their bins at keep + i when asked. Each
// 64 bins are counted while the next 64 are made, into four interleaved
// 32-bit tables emptied into h before they could overflow.
ZOLT_WIDE void countFloatsWide(const Binning &b, const float *d, size_t first, size_t end, int64_t *h,
                               int64_t &nans, uint8_t *keep) {
    constexpr size_t EMPTY = size_t(1) << 30;
    alignas(64) uint8_t k[2][WIDE];
    uint32_t t[4][BINS];
    int64_t notNumbers = 0;
    size_t i = first;
    while (i + WIDE <= end) {
        std::fill_n(&t[0][0], 4 * BINS, 0);
        const size_t stop = std::min(end, i + EMPTY);
        int made = 0;
        bool waiting = false;  // bins made and not yet counted
        for (; i + WIDE <= stop; i += WIDE, made ^= 1) {
            const __m512i bins = bins64(b, d + i);
            _mm512_store_si512(k[made], bins);
            if (keep) _mm512_storeu_si512(keep + i, bins);
            for (int u = 0; u < 4; ++u) {
                const __m512 v = _mm512_loadu_ps(d + i + 16 * u);
                notNumbers += __builtin_popcount(_mm512_cmp_ps_mask(v, v, _CMP_UNORD_Q));
            }
            if (waiting) countBytes64(k[made ^ 1], t);
            waiting = true;
        }
        if (waiting) countBytes64(k[made ^ 1], t);
        for (int j = 0; j < 4; ++j)
            for (int bin = 0; bin < BINS; ++bin) h[j * BINS + bin] += t[j][bin];
    }
    for (; i < end; ++i) {
        bool n;
        const int bin = b.bin<true>(d[i], n);
        ++h[bin];
        if (keep) keep[i] = static_cast<uint8_t>(bin);
        notNumbers += d[i] != d[i];
    }
    nans = notNumbers;
}

// The table of new values, a byte of the float at a time in four 64-byte
// quarters of the 256 bins, for looking up 64 bins at once.
struct WideTable {
    __m512i quarter[4][4];
    __m512i reorder;

    ZOLT_WIDE explicit WideTable(const float *value) {
        alignas(64) uint8_t plane[4][BINS];
        for (int k = 0; k < BINS; ++k) {
            uint32_t bits;
            std::memcpy(&bits, value + k, 4);
            for (int p = 0; p < 4; ++p) plane[p][k] = static_cast<uint8_t>(bits >> (8 * p));
        }
        for (int p = 0; p < 4; ++p)
            for (int q = 0; q < 4; ++q) quarter[p][q] = _mm512_load_si512(plane[p] + 64 * q);
        // the bins reordered so that the byte interleaving in lookup puts the
        // new values back in storage order: byte 16j + 4u + s takes bin 16u + 4j + s
        alignas(64) uint8_t order[64];
        for (int j = 0; j < 4; ++j)
            for (int u = 0; u < 4; ++u)
                for (int s = 0; s < 4; ++s) order[16 * j + 4 * u + s] = static_cast<uint8_t>(16 * u + 4 * j + s);
        reorder = _mm512_load_si512(order);
    }

    // The new values of 64 bins (bytes in storage order), 16 to each of out.
    ZOLT_WIDE inline void lookup(__m512i bins, __m512 out[4]) const {
        const __m512i k = _mm512_permutexvar_epi8(reorder, bins);
        const __mmask64 upper = _mm512_movepi8_mask(k);  // bins 128 to 255
        __m512i byte[4];
        for (int p = 0; p < 4; ++p)
            byte[p] = _mm512_mask_blend_epi8(upper, _mm512_permutex2var_epi8(quarter[p][0], k, quarter[p][1]),
                                             _mm512_permutex2var_epi8(quarter[p][2], k, quarter[p][3]));
        const __m512i b01l = _mm512_unpacklo_epi8(byte[0], byte[1]), b01h = _mm512_unpackhi_epi8(byte[0], byte[1]);
        const __m512i b23l = _mm512_unpacklo_epi8(byte[2], byte[3]), b23h = _mm512_unpackhi_epi8(byte[2], byte[3]);
        out[0] = _mm512_castsi512_ps(_mm512_unpacklo_epi16(b01l, b23l));
        out[1] = _mm512_castsi512_ps(_mm512_unpackhi_epi16(b01l, b23l));
        out[2] = _mm512_castsi512_ps(_mm512_unpacklo_epi16(b01h, b23h));
        out[3] = _mm512_castsi512_ps(_mm512_unpackhi_epi16(b01h, b23h));
    }
};

ZOLT_WIDE inline void store16(float *o, __m512 v, bool stream) {
    if (stream) _mm512_stream_ps(o, v);
    else _mm512_storeu_ps(o, v);
}

// First of [first, end) where streaming stores to o may start (64-byte aligned).
inline size_t streamStart(const float *o, size_t first, size_t end) {
    size_t i = first;
    while (i < end && reinterpret_cast<uintptr_t>(o + i) % 64 != 0) ++i;
    return i;
}

// New values of the floats [first, end) through the table of bin values, in
// single precision; NaN comes out as the quiet NaN when the image has any.
// Large outputs are written past the caches.
ZOLT_WIDE void mapFloatsWide(const Binning &b, const float *d, size_t first, size_t end, const float *value,
                             bool anyNaN, bool stream, float *o) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const WideTable table(value);
    const __m512 nans = _mm512_set1_ps(nan);
    auto one = [&](size_t i) {
        bool n;
        o[i] = d[i] == d[i] ? value[b.bin<true>(d[i], n)] : nan;
    };
    size_t i = first;
    if (stream)
        for (const size_t start = streamStart(o, first, end); i < start; ++i) one(i);
    for (; i + WIDE <= end; i += WIDE) {
        __m512 out[4];
        table.lookup(bins64(b, d + i), out);
        for (int u = 0; u < 4; ++u) {
            if (anyNaN) {
                const __m512 v = _mm512_loadu_ps(d + i + 16 * u);
                out[u] = _mm512_mask_mov_ps(out[u], _mm512_cmp_ps_mask(v, v, _CMP_UNORD_Q), nans);
            }
            store16(o + i + 16 * u, out[u], stream);
        }
    }
    if (stream) _mm_sfence();
    for (; i < end; ++i) one(i);
}

// New values [first, end) from the bins kept as bytes at the start of the
// output itself: value i overwrites bins 4i to 4i + 3 only, so a range may
// be done once the bins from its first value x 4 on are no longer needed.
ZOLT_WIDE void mapKeptWide(size_t first, size_t end, const float *value, bool stream, float *o) {
    const WideTable table(value);
    const uint8_t *bins = reinterpret_cast<const uint8_t *>(o);
    size_t i = first;
    if (stream)
        for (const size_t start = streamStart(o, first, end); i < start; ++i) o[i] = value[bins[i]];
    for (; i + WIDE <= end; i += WIDE) {
        __m512 out[4];
        table.lookup(_mm512_loadu_si512(bins + i), out);
        for (int u = 0; u < 4; ++u) store16(o + i + 16 * u, out[u], stream);
    }
    if (stream) _mm_sfence();
    for (; i < end; ++i) o[i] = value[bins[i]];
}
#undef ZOLT_WIDE
#pragma GCC diagnostic pop
#endif

// The equalisation of n planar values of type T (float or double), in
// pieces worked side by side; the bins are found again when mapping, in the
// same way per piece as when counting.
template <class T>
struct Equaliser {
    const T *data;
    size_t n;
    int pieces;
    Binning binning{};
    std::vector<char> exact;  // per piece: binned by the quotient itself
    int64_t nans = 0;
    // where the bins are kept as bytes while counting, if anywhere
    uint8_t *keep = nullptr;

    // Finite extremes; false when there are fewer than two distinct values.
    bool findExtremes() {
        constexpr double inf = std::numeric_limits<double>::infinity();
        std::vector<double> los(pieces, inf), his(pieces, -inf);
        bands::split(n, pieces, [&](int k, size_t first, size_t end) {
#if defined(ZOLT_X86_VECTORS)
            if constexpr (std::is_same_v<T, float>) {
                if (cpu::avx2()) {
                    float a = std::numeric_limits<float>::infinity(), b = -a;
                    cpu::finiteExtremesAvx2(data, first, end, a, b);
                    los[k] = a;
                    his[k] = b;
                    return;
                }
            }
#endif
            // four running extremes each, so that they do not wait on one another
            constexpr T big = std::numeric_limits<T>::infinity();
            T a0 = big, a1 = big, a2 = big, a3 = big, b0 = -big, b1 = -big, b2 = -big, b3 = -big;
            auto take = [](T v, T &a, T &b) {
                const bool finite = v - v == 0;  // false for infinities and NaN
                const T low = finite ? v : a, high = finite ? v : b;
                a = low < a ? low : a;
                b = high > b ? high : b;
            };
            size_t i = first;
            for (; i + 4 <= end; i += 4) {
                take(data[i], a0, b0);
                take(data[i + 1], a1, b1);
                take(data[i + 2], a2, b2);
                take(data[i + 3], a3, b3);
            }
            for (; i < end; ++i) take(data[i], a0, b0);
            los[k] = std::min({static_cast<double>(a0), static_cast<double>(a1),
                               static_cast<double>(a2), static_cast<double>(a3)});
            his[k] = std::max({static_cast<double>(b0), static_cast<double>(b1),
                               static_cast<double>(b2), static_cast<double>(b3)});
        });
        const double lo = *std::min_element(los.begin(), los.end());
        const double hi = *std::max_element(his.begin(), his.end());
        binning = Binning::of(lo, hi);
        return lo < hi;
    }

    // Counts the values [first, end) into four interleaved tables of h, by
    // the product or by the quotient, and the NaNs among them into `nans`;
    // returns whether any lay near a whole number.
    template <bool Exact>
    bool countPiece(size_t first, size_t end, int64_t *h, int64_t &nans) const {
#if defined(ZOLT_X86_VECTORS)
        if constexpr (std::is_same_v<T, float>) {
            if (cpu::avx512Bytes() && binning.single) {
                countFloatsWide(binning, data, first, end, h, nans, keep);
                return false;
            }
            if (cpu::avx2() && binning.single) {
                countFloatsSingle(binning, data, first, end, h, nans);
                return false;
            }
            if (cpu::avx2()) return countFloats<Exact>(binning, data, first, end, h, nans);
        }
#endif
        bool any = false;
        int64_t notNumbers = 0;
        for (size_t i = first; i < end; ++i) {
            bool near;
            ++h[(i & 3) * BINS + binning.bin<Exact>(data[i], near)];
            any |= near;
            notNumbers += data[i] != data[i];
        }
        nans = notNumbers;
        return any;
    }

    // The count per bin of the numbers; returns how many numbers were counted.
    int64_t count(int64_t *hist) {
        // four interleaved tables per piece, so that runs of one value do
        // not make each increment wait on the one before
        std::vector<int64_t> parts(static_cast<size_t>(pieces) * 4 * BINS, 0);
        std::vector<int64_t> nanParts(pieces, 0);
        exact.assign(pieces, 0);
        bands::split(n, pieces, [&](int k, size_t first, size_t end) {
            int64_t *h = parts.data() + static_cast<size_t>(k) * 4 * BINS;
            if (countPiece<false>(first, end, h, nanParts[k])) {
                std::fill_n(h, 4 * BINS, 0);
                countPiece<true>(first, end, h, nanParts[k]);
                exact[k] = 1;
            }
        });
        int64_t total = 0;
        for (int b = 0; b < BINS; ++b) {
            hist[b] = 0;
            for (int j = 0; j < pieces * 4; ++j) hist[b] += parts[static_cast<size_t>(j) * BINS + b];
        }
        for (int64_t x : nanParts) nans += x;
        hist[0] -= nans;
        for (int b = 0; b < BINS; ++b) total += hist[b];
        return total;
    }

    // New value of every element through the table of bin values.
    template <class Put>
    void map(const float *value, Put &&put) const {
        bands::split(n, pieces, [&](int k, size_t first, size_t end) {
            auto mapAll = [&](auto isExact) {
                constexpr bool Exact = decltype(isExact)::value;
                for (size_t i = first; i < end; ++i) {
                    bool near;
                    put(i, data[i] == data[i] ? value[binning.bin<Exact>(data[i], near)]
                                              : std::numeric_limits<float>::quiet_NaN());
                }
            };
            if (exact[k]) mapAll(std::true_type());
            else mapAll(std::false_type());
        });
    }

    // The same into a float array, eight at a time where the processor can.
    void mapInto(const float *value, float *o) const {
#if defined(ZOLT_X86_VECTORS)
        if constexpr (std::is_same_v<T, float>) {
            if (cpu::avx512Bytes() && binning.single) {
                const bool stream = n * sizeof(float) >= STREAM_BYTES;
                if (keep == reinterpret_cast<uint8_t *>(o) && nans == 0) {
                    mapKept(value, stream, o);
                    return;
                }
                bands::split(n, pieces, [&](int, size_t first, size_t end) {
                    mapFloatsWide(binning, data, first, end, value, nans > 0, stream, o);
                });
                return;
            }
            if (cpu::avx2()) {
                bands::split(n, pieces, [&](int k, size_t first, size_t end) {
                    if (binning.single) mapFloatsSingle(binning, data, first, end, value, o);
                    else if (exact[k]) mapFloats<true>(binning, data, first, end, value, o);
                    else mapFloats<false>(binning, data, first, end, value, o);
                });
                return;
            }
        }
#endif
        map(value, [o](size_t i, float v) { o[i] = v; });
    }

#if defined(ZOLT_X86_VECTORS)
    // The new values from the bins kept at the start of o. Values from
    // ceil(end / 4) to end overwrite only bins before them that are used up,
    // so they are done side by side, then the quarter before, and so on; the
    // last few go from the top down, each bin read before it is overwritten.
    void mapKept(const float *value, bool stream, float *o) const {
        size_t end = n;
        while (end > PIECE_MIN) {
            const size_t first = (end + 3) / 4;
            bands::split(end - first, piecesFor(end - first), [&](int, size_t a, size_t b) {
                mapKeptWide(first + a, first + b, value, stream, o);
            });
            end = first;
        }
        const uint8_t *bins = reinterpret_cast<const uint8_t *>(o);
        for (size_t i = end; i-- > 0;) o[i] = value[bins[i]];
    }
#endif
};

// An image the equalisation can read: its shape and whether it is colour.
bool readable(const ZoltHeader *h, flimage::Shape &s) {
    if (!flimage::shapeOf(h, &s) || s.ndim < 2 || !h->oltptr) return false;
    const ZoltTypeEntry *t = Zoltfindcode(h->dtype);
    return t && h->dtype != ZOLT_STRUCT;
}

// Reports the negative values of the outermost rows and columns of a frame.
template <class Get>
void reportNegativeBorder(int rows, int cols, Get &&get) {
    for (int r = 0; r < rows; ++r) {
        const bool edgeRow = r == 0 || r == rows - 1;
        for (int c = 0; c < cols; c += edgeRow || c == cols - 1 ? 1 : cols - 1)
            if (get(r, c) < 0) Zoltsay("row %d col %d\n", r, c);
    }
}

// Extremes, histogram, cumulative shares and the new values.
template <class T>
int spread(Equaliser<T> &eq, const flimage::Shape &in, int frames, ZoltHeader *output) {
    const size_t plane = in.frameSize();
    if (!eq.findExtremes()) {
        Zoltsay("maximum = minimum. Somethings is wrong with this image\n");
        return HISTEQ_CONSTANT;
    }
    int64_t hist[BINS];
    const int64_t total = eq.count(hist);
    const bool colour = frames == 3;
    // the cumulative share of each bin, from exact counts so that the
    // last bin is exactly 1
    float share[BINS], value[BINS];
    int64_t below = 0;
    for (int b = 0; b < BINS; ++b) {
        below += hist[b];
        share[b] = static_cast<float>(static_cast<double>(below) / static_cast<double>(total));
        value[b] = share[b] * 255.f;
    }
    if (colour && ZoltChatter) {
        // both tables in one write
        std::string text;
        char line[64];
        for (int b = 0; b < BINS; ++b)
            text.append(line, std::snprintf(line, sizeof line, "h[%d]= %f\n", b, static_cast<double>(hist[b])));
        for (int b = 0; b < BINS; ++b)
            text.append(line, std::snprintf(line, sizeof line, "p[%d]= %f\n", b, share[b]));
        std::fwrite(text.data(), 1, text.size(), stdout);
    }

    flimage::Shape out;
    flimage::shapeOf(output, &out);
    if (output->dtype == ZOLT_F32) {
        eq.mapInto(value, static_cast<float *>(output->oltptr));
    } else {
        // other types one pixel at a time, by frame, row and column
        std::vector<float> values(plane * frames);
        eq.map(value, [&values](size_t i, float v) { values[i] = v; });
        for (int k = 0; k < frames; ++k)
            for (int r = 0; r < in.rows; ++r)
                for (int c = 0; c < in.cols; ++c) {
                    const float v = values[k * plane + static_cast<size_t>(r) * in.cols + c];
                    if (out.ndim == 2) Zoltfpp(output, r, c, v);
                    else Zoltfpp3d(output, k, r, c, v);
                }
    }
    return HISTEQ_OK;
}

template <class T>
int equalise(const T *data, const flimage::Shape &in, int frames, ZoltHeader *output) {
    const size_t plane = in.frameSize();
    for (int k = 0; k < frames; ++k)
        reportNegativeBorder(in.rows, in.cols, [&](int r, int c) {
            return static_cast<double>(data[k * plane + static_cast<size_t>(r) * in.cols + c]);
        });
    Equaliser<T> eq{data, plane * frames, piecesFor(plane * frames), {}, {}};
    // a float output apart from the input holds the bins while counting
    const uintptr_t from = reinterpret_cast<uintptr_t>(data), to = reinterpret_cast<uintptr_t>(output->oltptr);
    const size_t bytes = eq.n * sizeof(T);
    if (std::is_same_v<T, float> && output->dtype == ZOLT_F32 && (to + bytes <= from || from + bytes <= to))
        eq.keep = static_cast<uint8_t *>(output->oltptr);
    return spread(eq, in, frames, output);
}

}  // namespace

int flhisteq(const ZoltHeader *input, ZoltHeader *output, int neighbourhood) {
    ZoltDepthGuard depth;
    flimage::Shape in, out;
    if (!readable(input, in)) {
        ZoltErrorCode = input ? ZOLT_EHEADER : ZOLT_ENULL;
        Zoltext("flhisteq: input must be a readable image of at least 2 dimensions");
        return HISTEQ_REFUSED;
    }
    const int frames = in.ndim == 3 && in.frames == 3 ? 3 : 1;
    if (!readable(output, out) || out.cols != in.cols || out.rows != in.rows ||
        (frames == 3 && (out.ndim != 3 || out.frames < 3))) {
        ZoltErrorCode = output ? ZOLT_EDIM : ZOLT_ENULL;
        Zoltext("flhisteq: output image must have the input's columns, rows and colour frames");
        return HISTEQ_REFUSED;
    }
    if (!(neighbourhood < in.cols && neighbourhood < in.rows)) {
        Zoltsay("Hist0.0:Cannot equalize histogram of an image (%d x %d )smaller than the "
                    "neighborhood(%d)\n",
                    in.rows, in.cols, neighbourhood);
        return HISTEQ_SMALL;
    }
    if (neighbourhood != 0) {
        Zoltext("flhisteq: only the whole image (neighbourhood 0) can be equalised");
        return HISTEQ_REFUSED;
    }

    // planar floats are read in place, anything else through a copy
    const bool planar = input->dtype == ZOLT_F32;
    if (planar) return equalise(static_cast<const float *>(input->oltptr), in, frames, output);
    std::vector<double> copy(in.frameSize() * frames);
    for (int k = 0; k < frames; ++k)
        for (int r = 0; r < in.rows; ++r)
            for (int c = 0; c < in.cols; ++c)
                copy[k * in.frameSize() + static_cast<size_t>(r) * in.cols + c] =
                    in.ndim == 2 ? Zoltfgp(input, r, c) : Zoltfgp3d(input, k, r, c);
    return equalise(copy.data(), in, frames, output);
}
