// Display scaling: finds the extremes of an image (or of each frame) and maps
// the values linearly onto 0..255 in a "u8bit" image of the same shape. One
// tight loop per element type over the raw buffer, split across the cores for
// large images. Extremes come from the data alone; NaN values are ignored when
// finding them and map to 0.
#include "vidscale.h"

#include "bands.h"
#include "cpufeatures.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Work sets smaller than this are scanned in the calling thread alone.
constexpr size_t kParallelPixels = size_t{1} << 18;

// Extremes of a run of values, as the float values would be; lo > hi when the
// run holds no comparable value (empty, or NaN only).
struct Extremes {
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
};

// Integer elements: min and max in the element type, converted at the end
// (the conversion to float keeps the order).
template <typename T, size_t Step>
Extremes scanRun(const T *p, size_t n) {
    Extremes e;
    if constexpr (std::is_integral_v<T>) {
        if (n == 0) return e;
        T lo = std::numeric_limits<T>::max(), hi = std::numeric_limits<T>::lowest();
        for (size_t i = 0; i < n; ++i) {
            const T v = p[i * Step];
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        e.lo = static_cast<float>(lo);
        e.hi = static_cast<float>(hi);
    } else {
        size_t i = 0;
#if defined(__SSE2__)
        if constexpr (std::is_same_v<T, float>) {
            // minps/maxps return their second operand when the first is NaN,
            // so NaN data never replace an extreme.
            __m128 lo = _mm_set1_ps(e.lo), hi = _mm_set1_ps(e.hi);
            if constexpr (Step == 1) {
                for (; i + 4 <= n; i += 4) {
                    const __m128 v = _mm_loadu_ps(p + i);
                    lo = _mm_min_ps(v, lo);
                    hi = _mm_max_ps(v, hi);
                }
            } else {
                // complex pairs: gather the real parts of four pixels
                for (; i + 4 <= n; i += 4) {
                    const __m128 a = _mm_loadu_ps(p + 2 * i);
                    const __m128 b = _mm_loadu_ps(p + 2 * i + 4);
                    const __m128 v = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
                    lo = _mm_min_ps(v, lo);
                    hi = _mm_max_ps(v, hi);
                }
            }
            alignas(16) float l[4], h[4];
            _mm_store_ps(l, lo);
            _mm_store_ps(h, hi);
            for (int k = 0; k < 4; ++k) {
                if (l[k] < e.lo) e.lo = l[k];
                if (h[k] > e.hi) e.hi = h[k];
            }
        }
#endif
        for (; i < n; ++i) {
            const float v = static_cast<float>(p[i * Step]);
            if (v < e.lo) e.lo = v;
            if (v > e.hi) e.hi = v;
        }
    }
    return e;
}

#if defined(ZOLT_X86_VECTORS)
// Eight values as in mapRun, before the narrowing to bytes.
__attribute__((target("avx2"))) inline __m256i mapEight(const float *q, __m256 lo, __m256 scale) {
    __m256 d = _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(q), lo), scale);
    d = _mm256_max_ps(d, _mm256_setzero_ps());  // the second operand, 0, when d is NaN
    d = _mm256_min_ps(d, _mm256_set1_ps(255.0f));
    return _mm256_cvttps_epi32(d);
}

// The float mapping sixteen values at a time, in the same single-precision
// operations as mapRun; returns how many values it did.
__attribute__((target("avx2"))) size_t mapFloats(const float *p, uint8_t *o, size_t n, float lo, float scale) {
    const __m256 l = _mm256_set1_ps(lo), s = _mm256_set1_ps(scale);
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        // packing works within 128-bit halves: put the words back in order
        const __m256i words = _mm256_packus_epi32(mapEight(p + i, l, s), mapEight(p + i + 8, l, s));
        const __m128i low = _mm256_castsi256_si128(words), high = _mm256_extracti128_si256(words, 1);
        const __m128i ordered = _mm_packus_epi16(_mm_unpacklo_epi64(low, high), _mm_unpackhi_epi64(low, high));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o + i), ordered);
    }
    return i;
}
#endif

template <typename T, size_t Step>
void mapRun(const T *p, uint8_t *o, size_t n, float lo, float scale) {
    size_t first = 0;
#if defined(ZOLT_X86_VECTORS)
    if constexpr (std::is_same_v<T, float> && Step == 1)
        if (cpu::avx2()) first = mapFloats(p, o, n, lo, scale);
#endif
    for (size_t i = first; i < n; ++i) {
        float d = (static_cast<float>(p[i * Step]) - lo) * scale;
        d = d > 0.0f ? d : 0.0f;  // also sends NaN to 0
        d = d < 255.0f ? d : 255.0f;
        o[i] = static_cast<uint8_t>(static_cast<int>(d));
    }
}

template <typename T, size_t Step>
Extremes scanSet(const T *p, size_t n) {
    Extremes all;
    std::mutex lock;
    ZoltSplitWork(n, kParallelPixels, [&](size_t b, size_t e) {
        const Extremes part = scanRun<T, Step>(p + b * Step, e - b);
        std::lock_guard<std::mutex> hold(lock);
        if (part.lo < all.lo) all.lo = part.lo;
        if (part.hi > all.hi) all.hi = part.hi;
    });
    return all;
}

// One scaling request: `sets` consecutive work sets of setSize pixels each.
struct Job {
    const void *data;
    uint8_t *out;
    size_t setSize, sets;
    bool perFrame, frameLines;
    float *minOut, *maxOut;
};

template <typename T, size_t Step>
int scaleSets(const Job &job) {
    const T *in = static_cast<const T *>(job.data);
    int status = ZOLT_VIDSCALE_DONE;
    Extremes last;
    for (size_t f = 0; f < job.sets; ++f) {
        if (job.frameLines) Zoltsay("Zoltvidscale frame %d\n", static_cast<int>(f));
        const T *p = in + f * job.setSize * Step;
        uint8_t *o = job.out + f * job.setSize;
        last = scanSet<T, Step>(p, job.setSize);
        if (!(last.hi > last.lo)) {
            if (!job.perFrame) {
                Zoltsay("Cannot vidscale, all pixels are the same brightness\n");
                return ZOLT_VIDSCALE_FLAT;
            }
            Zoltsay("Cannot vidscale frame %d, all pixels are the same brightness\n",
                        static_cast<int>(f));
            status = ZOLT_VIDSCALE_FLAT;
            continue;
        }
        const float lo = last.lo;
        const float scale = 255.0f / (last.hi - last.lo);
        ZoltSplitWork(job.setSize, kParallelPixels, [&](size_t b, size_t e) {
            mapRun<T, Step>(p + b * Step, o + b, e - b, lo, scale);
        });
    }
    if (job.minOut) *job.minOut = last.lo;
    if (job.maxOut) *job.maxOut = last.hi;
    return status;
}

}  // namespace

int Zoltvidscale(const ZoltHeader *in, ZoltHeader *out, float *minOut, float *maxOut,
                 int frameSwitch) {
    if (!Zoltmagicok(out) || !out->oltptr) {
        Zoltsay("Zoltvidscale: output image must already exist\n");
        return ZOLT_VIDSCALE_NO_OUTPUT;
    }
    if (out->dtype != ZOLT_U8) {
        Zoltsay("Zoltvidscale: output image must be unsigned byte\n");
        return ZOLT_VIDSCALE_OUTPUT_TYPE;
    }
    if (!Zoltmagicok(in) || !in->oltptr) {
        Zoltsay("Zoltvidscale: input image must already exist\n");
        return ZOLT_VIDSCALE_NO_INPUT;
    }
    if (!Zolttypeok(in) || !Zolttypeok(out)) {
        Zoltsay("Zoltvidscale: type name, code and element size of an image disagree\n");
        return ZOLT_VIDSCALE_INPUT_TYPE;
    }
    if (frameSwitch && in->oltndim != 3) {
        Zoltsay("Zoltvidscale: 3d switch is set, but image is not 3d. Must exit\n");
        return ZOLT_VIDSCALE_NOT_3D;
    }
    if (in->oltndim != out->oltndim) {
        Zoltsay("Zoltvidscale: input and output images have different dimensions.\n");
        return ZOLT_VIDSCALE_DIMENSIONS;
    }
    const size_t total = Zoltpixels(in);
    if (Zoltpixels(out) < total) {
        Zoltsay("Zoltvidscale: output image is smaller than the input image.\n");
        return ZOLT_VIDSCALE_OUTPUT_SMALL;
    }

    size_t setSize = total, sets = 1;
    if (frameSwitch) {
        sets = Zoltdimen(in, 2);
        setSize = sets ? total / sets : 0;
    }
    const bool perFrame = frameSwitch != 0;
    Job job{in->oltptr, static_cast<uint8_t *>(out->oltptr), setSize, sets, perFrame, false, minOut, maxOut};
    switch (in->dtype) {
    case ZOLT_S8: return scaleSets<int8_t, 1>(job);
    case ZOLT_U8: return scaleSets<uint8_t, 1>(job);
    case ZOLT_S16: return scaleSets<int16_t, 1>(job);
    case ZOLT_U16: return scaleSets<uint16_t, 1>(job);
    case ZOLT_S32: return scaleSets<int32_t, 1>(job);
    case ZOLT_F64: return scaleSets<double, 1>(job);
    case ZOLT_C32: return scaleSets<float, 2>(job);
    case ZOLT_C64: return scaleSets<double, 2>(job);
    case ZOLT_F32:
        if (perFrame) {
            Zoltsay("Zoltvidscale: image is 3D float, frame-independent scaling\n");
            std::fflush(stdout);
            job.frameLines = true;
        }
        return scaleSets<float, 1>(job);
    default:
        Zoltsay("Data type not recognized.\n");
        return ZOLT_VIDSCALE_INPUT_TYPE;
    }
}
