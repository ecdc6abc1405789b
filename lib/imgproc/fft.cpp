// Radix-2 decimation-in-time FFT. The rotation per step of each butterfly
// span uses the classic six-decimal constants up to 1024 points and constants
// computed in double precision beyond; the twiddles of a span are built by
// repeated multiplication with that rotation in single precision, once per
// call. Rows are transformed one by one; columns in blocks of neighbouring
// columns, a whole row segment per butterfly, so both passes run as vector
// operations over contiguous memory. The two passes are split across cores.
#include "fft.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bands.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Columns per block of the column pass: 16 complex values (128 bytes) per row
// keeps a 1024-row block inside the second-level cache.
constexpr int kBlock = 16;

bool powerOfTwo(long n) {
    if (n < 1) return false;
    while (n > 1) {
        if (n & 1) return false;
        n /= 2;
    }
    return true;
}

// Cosine and sine of the rotation per step for butterfly half-span f.
void rotation(long f, float &c, float &s) {
    switch (f) {
    case 1: c = -1.0f; s = 0.0f; return;
    case 2: c = 0.0f; s = 1.0f; return;
    case 4: c = 0.707107f; s = 0.707107f; return;
    case 8: c = 0.923880f; s = 0.382683f; return;
    case 16: c = 0.980785f; s = 0.195090f; return;
    case 32: c = 0.995185f; s = 0.098017f; return;
    case 64: c = 0.998795f; s = 0.049068f; return;
    case 128: c = 0.999699f; s = 0.024541f; return;
    case 256: c = 0.999925f; s = 0.012272f; return;
    case 512: c = 0.999981f; s = 0.006136f; return;
    default: {
        const double a = 3.14159265358979323846 / static_cast<double>(f);
        c = static_cast<float>(std::cos(a));
        s = static_cast<float>(std::sin(a));
    }
    }
}

// Everything one transform length needs: bit-reversed indexes and the twiddle
// w_j of every span f at index f + j, also laid out for two-lane complex
// vectors (re, re, re', re') and (-im, im, -im', im').
struct Plan {
    int n = 0;
    float scale = 1.0f;  // 1 forward, 1/n inverse
    bool inverse = false;
    std::vector<int> rev;
    std::vector<float> wr, wi;
    std::vector<float> pairRe, pairIm;  // 2 floats per twiddle, at 2 (f + j)

    Plan(int points, int direction) : n(points), inverse(direction == 1), rev(points), wr(points), wi(points),
                                      pairRe(2 * static_cast<size_t>(points)),
                                      pairIm(2 * static_cast<size_t>(points)) {
        scale = inverse ? 1.0f / static_cast<float>(n) : 1.0f;
        for (int i = 0, j = 0; i < n; ++i) {
            rev[i] = j;
            int k = n / 2;
            while (k >= 1 && j >= k) {
                j -= k;
                k /= 2;
            }
            j += k;
        }
        const float sign = static_cast<float>(direction);
        for (int f = 1; f < n; f *= 2) {
            float c, s;
            rotation(f, c, s);
            s *= sign;
            float r = 1.0f, m = 0.0f;
            for (int j = 0; j < f; ++j) {
                wr[f + j] = r;
                wi[f + j] = m;
                pairRe[2 * (f + j)] = r;
                pairRe[2 * (f + j) + 1] = r;
                pairIm[2 * (f + j)] = -m;
                pairIm[2 * (f + j) + 1] = m;
                const float nr = r * c - m * s;
                const float nm = r * s + m * c;
                r = nr;
                m = nm;
            }
        }
    }
};

#if defined(__SSE2__)
// Two complex butterflies at once: t = b x w, b <- a - t, a <- a + t, with the
// twiddles as (re, re, re', re') and (-im, im, -im', im').
inline void butterflyPair(float *a, float *b, __m128 vr, __m128 vi) {
    const __m128 x = _mm_loadu_ps(b);
    const __m128 sw = _mm_shuffle_ps(x, x, _MM_SHUFFLE(2, 3, 0, 1));
    const __m128 t = _mm_add_ps(_mm_mul_ps(x, vr), _mm_mul_ps(sw, vi));
    const __m128 y = _mm_loadu_ps(a);
    _mm_storeu_ps(b, _mm_sub_ps(y, t));
    _mm_storeu_ps(a, _mm_add_ps(y, t));
}
#endif

// a <- a + b x w, b <- a - b x w for interleaved complex runs of `count`
// values, one twiddle (wr, wi) for all.
inline void butterflyRun(float *a, float *b, int count, float wr, float wi) {
    int k = 0;
#if defined(__SSE2__)
    const __m128 vr = _mm_set1_ps(wr);
    const __m128 vi = _mm_setr_ps(-wi, wi, -wi, wi);
    for (; k + 2 <= count; k += 2) butterflyPair(a + 2 * k, b + 2 * k, vr, vi);
#endif
    for (; k < count; ++k) {
        const float xr = b[2 * k], xi = b[2 * k + 1];
        const float tr = xr * wr - xi * wi;
        const float ti = xr * wi + xi * wr;
        b[2 * k] = a[2 * k] - tr;
        b[2 * k + 1] = a[2 * k + 1] - ti;
        a[2 * k] += tr;
        a[2 * k + 1] += ti;
    }
}

void scaleRun(float *x, size_t floats, float scale) {
    for (size_t k = 0; k < floats; ++k) x[k] *= scale;
}

// One contiguous transform of plan.n complex points.
void transformRow(float *x, const Plan &plan) {
    const int n = plan.n;
    for (int i = 0; i < n; ++i) {
        const int j = plan.rev[i];
        if (i < j) {
            std::swap(x[2 * i], x[2 * j]);
            std::swap(x[2 * i + 1], x[2 * j + 1]);
        }
    }
    // span 2: the twiddle is 1
    if (n >= 2)
        for (int i = 0; i < n; i += 2) {
            const float tr = x[2 * i + 2], ti = x[2 * i + 3];
            x[2 * i + 2] = x[2 * i] - tr;
            x[2 * i + 3] = x[2 * i + 1] - ti;
            x[2 * i] += tr;
            x[2 * i + 1] += ti;
        }
    for (int f = 2; f < n; f *= 2) {
        const int e = 2 * f;
        for (int i = 0; i < n; i += e) {
            float *a = x + 2 * i;
            float *b = x + 2 * (i + f);
            int j = 0;
#if defined(__SSE2__)
            const float *pr = plan.pairRe.data() + 2 * f;
            const float *pi = plan.pairIm.data() + 2 * f;
            for (; j + 2 <= f; j += 2)
                butterflyPair(a + 2 * j, b + 2 * j, _mm_loadu_ps(pr + 2 * j), _mm_loadu_ps(pi + 2 * j));
#endif
            for (; j < f; ++j) butterflyRun(a + 2 * j, b + 2 * j, 1, plan.wr[f + j], plan.wi[f + j]);
        }
    }
    if (plan.inverse) scaleRun(x, 2 * static_cast<size_t>(n), plan.scale);
}

// Transforms columns c0 .. c0 + width - 1 of an n x n image whose rows are
// rowFloats apart: every butterfly combines two whole row segments.
void transformColumns(float *image, size_t rowFloats, int c0, int width, const Plan &plan) {
    const int n = plan.n;
    auto row = [&](int r) { return image + static_cast<size_t>(r) * rowFloats + 2 * static_cast<size_t>(c0); };
    for (int i = 0; i < n; ++i) {
        const int j = plan.rev[i];
        if (i < j) std::swap_ranges(row(i), row(i) + 2 * width, row(j));
    }
    for (int f = 1; f < n; f *= 2) {
        const int e = 2 * f;
        for (int j = 0; j < f; ++j)
            for (int i = j; i < n; i += e) butterflyRun(row(i), row(i + f), width, plan.wr[f + j], plan.wi[f + j]);
    }
    if (plan.inverse)
        for (int r = 0; r < n; ++r) scaleRun(row(r), 2 * static_cast<size_t>(width), plan.scale);
}

void rowPass(float *image, const Plan &plan) {
    const size_t n = static_cast<size_t>(plan.n);
    ZoltSplitWork(n, n >= 128 ? 2 : n + 1, [&](size_t b, size_t e) {
        for (size_t r = b; r < e; ++r) transformRow(image + 2 * n * r, plan);
    });
}

void columnPass(float *image, const Plan &plan) {
    const size_t n = static_cast<size_t>(plan.n);
    const int width = std::min(kBlock, plan.n);
    const size_t blocks = n / static_cast<size_t>(width);
    ZoltSplitWork(blocks, n >= 128 ? 2 : blocks + 1, [&](size_t b, size_t e) {
        for (size_t k = b; k < e; ++k)
            transformColumns(image, 2 * n, static_cast<int>(k) * width, width, plan);
    });
}

}  // namespace

int cff1d(float *data, int n, int direction) {
    if (!data || !powerOfTwo(n)) return -2;
    if (direction != -1 && direction != 1) return 0;
    const Plan plan(n, direction);
    transformRow(data, plan);
    return 0;
}

int cff2d(ZoltHeader *image, int direction) {
    if (!Zoltmagicok(image) || !image->oltptr || image->dtype != ZOLT_C32) {
        std::fprintf(stderr, "cfft2d:image is not floating point complex! BYE!\n");
        return -3;
    }
    const long rows = image->oltndim >= 2 ? static_cast<long>(Zoltdimen(image, 1)) : 1;
    const long cols = static_cast<long>(Zoltdimen(image, 0));
    if (rows != cols) {
        std::fprintf(stderr, "cff2d:image must be square\n");
        return -1;
    }
    if (!powerOfTwo(cols)) {
        std::fprintf(stderr, "cff2d:image dimension must be  a power of 2! BYE!\n");
        return -2;
    }
    return cff2dFrame(static_cast<float *>(image->oltptr), static_cast<int>(cols), direction);
}

int cff2dFrame(float *data, int side, int direction) {
    if (!data || !powerOfTwo(side)) return -2;
    if (direction != -1 && direction != 1) return 0;
    const Plan plan(side, direction);
    if (direction == -1) {
        rowPass(data, plan);
        columnPass(data, plan);
    } else {
        columnPass(data, plan);
        rowPass(data, plan);
    }
    return 0;
}
