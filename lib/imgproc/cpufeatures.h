// The vector units of the processor the library runs on, asked once per
// process, and the kernels more than one algorithm uses. Kernels for a unit
// are compiled for it apart (target attributes) and called only when
// ZOLT_X86_VECTORS is defined and the processor has the unit; elsewhere the
// plain loops run, with the same results.
#ifndef IMGPROC_CPUFEATURES_H
#define IMGPROC_CPUFEATURES_H

// Functions built for several vector units, the best one picked when the
// program loads. Under ThreadSanitizer that pick would run before the
// sanitizer is ready, so such builds (ZOLT_NO_CLONES) keep the plain version.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(ZOLT_NO_CLONES)
#define ZOLT_CLONES(...) __attribute__((target_clones(__VA_ARGS__)))
#else
#define ZOLT_CLONES(...)
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define ZOLT_X86_VECTORS 1

#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace cpu {

// The widest units the kernels may use: all the processor has, unless the
// environment's ZOLT_VECTORS names a narrower set ("sse2" or "avx2"), so that
// the paths of older processors run, and are tested, on newer ones. The
// functions picked when the program loads (ZOLT_CLONES) are not held back.
enum Units { UNITS_SSE2, UNITS_AVX2, UNITS_AVX512 };
inline Units allowed() {
    static const Units units = [] {
        const char *v = std::getenv("ZOLT_VECTORS");
        if (v && std::strcmp(v, "sse2") == 0) return UNITS_SSE2;
        if (v && std::strcmp(v, "avx2") == 0) return UNITS_AVX2;
        return UNITS_AVX512;
    }();
    return units;
}

inline bool avx2() {
    static const bool have = allowed() >= UNITS_AVX2 && __builtin_cpu_supports("avx2");
    return have;
}

inline bool avx2Fma() {
    static const bool have = avx2() && __builtin_cpu_supports("fma");
    return have;
}

inline bool avx512() {
    static const bool have = allowed() >= UNITS_AVX512 && __builtin_cpu_supports("avx512f") && avx2Fma();
    return have;
}

// AVX-512 with leading-zero counts of lanes (CD).
inline bool avx512Cd() {
    static const bool have = avx512() && __builtin_cpu_supports("avx512cd");
    return have;
}

// AVX-512 with byte shuffles (BW and VBMI): 64 table lookups in one instruction.
inline bool avx512Bytes() {
    static const bool have = avx512() && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    return have;
}

// Folds the extremes of the finite floats v[begin, end) into lo and hi, eight
// lanes at a time; NaN and the infinities take no part. The extremes are those
// of the plain loop, though the sign of a zero extreme may differ from it.
__attribute__((target("avx2"))) inline void finiteExtremesAvx2(const float *v, size_t begin, size_t end,
                                                               float &lo, float &hi) {
    const __m256 inf = _mm256_set1_ps(std::numeric_limits<float>::infinity());
    const __m256 minusInf = _mm256_sub_ps(_mm256_setzero_ps(), inf);
    const __m256 most = _mm256_set1_ps(std::numeric_limits<float>::max());
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    __m256 a = inf, b = minusInf;
    size_t i = begin;
    for (; i + 8 <= end; i += 8) {
        const __m256 x = _mm256_loadu_ps(v + i);
        const __m256 finite = _mm256_cmp_ps(_mm256_and_ps(x, magnitude), most, _CMP_LE_OQ);
        a = _mm256_min_ps(a, _mm256_blendv_ps(inf, x, finite));
        b = _mm256_max_ps(b, _mm256_blendv_ps(minusInf, x, finite));
    }
    alignas(32) float as[8], bs[8];
    _mm256_store_ps(as, a);
    _mm256_store_ps(bs, b);
    for (int k = 0; k < 8; ++k) {
        lo = as[k] < lo ? as[k] : lo;
        hi = bs[k] > hi ? bs[k] : hi;
    }
    for (; i < end; ++i) {
        const float x = v[i];
        const bool finite = std::abs(x) <= std::numeric_limits<float>::max();
        lo = finite && x < lo ? x : lo;
        hi = finite && x > hi ? x : hi;
    }
}

}  // namespace cpu

#endif

#endif
