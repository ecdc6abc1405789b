// Correlation with a template: at each position where the template fits, the
// sum over the window of (template - its mean) x (image - the window's mean).
// Grey scores are divided by rows2 x N and the template's spread; colour
// scores by each channel's energy about its local means over the valid
// region. Sums run per template row in single precision (on the image less
// its global mean, to keep the terms small) and across rows in double; the
// fused multiply-add kernels, eight or sixteen lanes wide, make each sum in
// the same order, so their scores are the same. The calling thread
// reports the rows scored through the progress hook.
#include "correlate.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bands.h"
#include "corrtransform.h"
#include "cpufeatures.h"
#include "flimage.h"
#include "progress.h"

namespace {

constexpr size_t BAND_WORK = 1 << 18;  // fewest multiply-adds worth a thread of their own
constexpr int ROW_RUN = 16;             // rows a thread takes at a time
constexpr int PAIR_VECTORS = 6;         // vectors per output row in the two-row kernels

struct Geometry {
    int rows1, cols1, rows2, cols2;
    int hr, hc;  // half the template, rounded down
    int H, W;    // valid rows and columns
    size_t N;    // template pixels
};

// One channel: the image less its global mean, the template less its mean.
struct Channel {
    std::vector<float> J;       // image - c0
    std::vector<float> tmpl;    // template - t
    const float *image;
    double c0 = 0, sumTmpl = 0;  // global mean of the image, sum of tmpl
    double spread = 0;           // root-mean-square of template - t
};

constexpr size_t SUM_BLOCK = 1 << 16;  // values per partial sum of the global mean

// The image less its global mean, on every core. The mean is summed in
// blocks of fixed size, four running sums each, and the blocks in order, so
// it does not depend on the number of cores.
void centre(Channel &ch, size_t n1) {
    const size_t blocks = (n1 + SUM_BLOCK - 1) / SUM_BLOCK;
    const int pieces = bands::count(n1, BAND_WORK);
    std::vector<double> partial(blocks);
    bands::split(blocks, pieces, [&](int, size_t first, size_t end) {
        for (size_t b = first; b < end; ++b) {
            const float *p = ch.image + b * SUM_BLOCK;
            const size_t n = std::min(SUM_BLOCK, n1 - b * SUM_BLOCK);
            double s[4] = {0, 0, 0, 0};
            size_t k = 0;
            for (; k + 4 <= n; k += 4)
                for (int l = 0; l < 4; ++l) s[l] += p[k + l];
            for (; k < n; ++k) s[0] += p[k];
            partial[b] = (s[0] + s[1]) + (s[2] + s[3]);
        }
    });
    double sum = 0;
    for (double p : partial) sum += p;
    ch.c0 = sum / n1;
    ch.J.resize(n1);
    bands::split(n1, pieces, [&](int, size_t first, size_t end) {
        for (size_t k = first; k < end; ++k) ch.J[k] = static_cast<float>(ch.image[k] - ch.c0);
    });
}

Channel prepare(const float *image, const float *tmpl, const Geometry &g) {
    Channel ch;
    ch.image = image;
    centre(ch, static_cast<size_t>(g.rows1) * g.cols1);
    double t = 0;
    for (size_t k = 0; k < g.N; ++k) t += tmpl[k];
    t /= g.N;
    ch.tmpl.resize(g.N);
    double square = 0;
    for (size_t k = 0; k < g.N; ++k) {
        const double d = tmpl[k] - t;
        square += d * d;
        ch.tmpl[k] = static_cast<float>(d);
        ch.sumTmpl += ch.tmpl[k];
    }
    ch.spread = std::sqrt(square / g.N);
    return ch;
}

// Window means of one valid row from the column sums over its window rows:
// the sums are first moved down one row (`in` added, `out` taken away, in
// double) or, without `out`, summed afresh from the rows2 rows from `in` on.
// Inlined into one copy per instruction set.
__attribute__((always_inline)) inline void windowMeans(const float *in, const float *out, const Geometry &g,
                                                       double *columns, double *prefix, double *mean) {
    const int cols = g.cols1;
    if (out) {
        for (int x = 0; x < cols; ++x) columns[x] += static_cast<double>(in[x]) - out[x];
    } else {
        std::fill(columns, columns + cols, 0.0);
        for (int a = 0; a < g.rows2; ++a, in += cols)
            for (int x = 0; x < cols; ++x) columns[x] += in[x];
    }
    for (int x = 0; x < cols; ++x) prefix[x + 1] = prefix[x] + columns[x];
    for (int jj = 0; jj < g.W; ++jj) mean[jj] = (prefix[jj + g.cols2] - prefix[jj]) / g.N;
}

void windowMeansPlain(const float *in, const float *out, const Geometry &g, double *columns, double *prefix,
                      double *mean) {
    windowMeans(in, out, g, columns, prefix, mean);
}

#if defined(ZOLT_X86_VECTORS)
__attribute__((target("avx512f,avx2,fma"))) void windowMeansAvx512(const float *in, const float *out,
                                                                    const Geometry &g, double *columns,
                                                                    double *prefix, double *mean) {
    windowMeans(in, out, g, columns, prefix, mean);
}
#endif

// Means of the windows of valid rows, one per valid column. The column sums
// over the window rows move down a row at a time and are summed afresh every
// 64 rows or after a jump.
class WindowMeans {
public:
    WindowMeans(const float *image, const Geometry &g)
        : image_(image), g_(g), columns_(g.cols1), prefix_(g.cols1 + 1) {}

    void of(int ii, double *mean) {
        const bool slide = ii == row_ + 1 && ++slides_ < 64;
        if (!slide) slides_ = 0;
        const float *in = slide ? row(ii + g_.rows2 - 1) : row(ii), *out = slide ? row(ii - 1) : nullptr;
        row_ = ii;
#if defined(ZOLT_X86_VECTORS)
        if (cpu::avx512()) {
            windowMeansAvx512(in, out, g_, columns_.data(), prefix_.data(), mean);
            return;
        }
#endif
        windowMeansPlain(in, out, g_, columns_.data(), prefix_.data(), mean);
    }

private:
    const float *row(int r) const { return image_ + static_cast<size_t>(r) * g_.cols1; }
    const float *image_;
    const Geometry &g_;
    std::vector<double> columns_, prefix_;  // prefix_[0] stays 0
    int row_ = -2, slides_ = 0;
};

#if defined(__SSE2__)
// Adds four single-precision lanes to four doubles.
inline void addLanes(double *o, __m128 s) {
    _mm_storeu_pd(o, _mm_add_pd(_mm_loadu_pd(o), _mm_cvtps_pd(s)));
    _mm_storeu_pd(o + 2, _mm_add_pd(_mm_loadu_pd(o + 2), _mm_cvtps_pd(_mm_movehl_ps(s, s))));
}

// acc[jj .. jj + 4L - 1] += sum over b of w[b] src[jj + b ...], with L
// independent running sums so that the additions do not wait on one another.
template <int L>
inline void productBlock(const float *src, const float *w, int cols2, double *acc) {
    __m128 s[L];
    for (int l = 0; l < L; ++l) s[l] = _mm_setzero_ps();
    for (int b = 0; b < cols2; ++b) {
        const __m128 wb = _mm_set1_ps(w[b]);
        for (int l = 0; l < L; ++l) s[l] = _mm_add_ps(s[l], _mm_mul_ps(wb, _mm_loadu_ps(src + b + 4 * l)));
    }
    for (int l = 0; l < L; ++l) addLanes(acc + 4 * l, s[l]);
}
#endif

#if defined(ZOLT_X86_VECTORS)
// Adds eight single-precision lanes to eight doubles.
__attribute__((target("avx2"))) inline void addLanes8(double *o, __m256 s) {
    _mm256_storeu_pd(o, _mm256_add_pd(_mm256_loadu_pd(o), _mm256_cvtps_pd(_mm256_castps256_ps128(s))));
    _mm256_storeu_pd(o + 4, _mm256_add_pd(_mm256_loadu_pd(o + 4), _mm256_cvtps_pd(_mm256_extractf128_ps(s, 1))));
}

// The same block eight lanes wide with fused multiply-adds (each product is
// rounded once, into the running sum), for processors that have them.
__attribute__((target("avx2,fma"))) void rowProductsAvx2(const float *src, const float *w, int cols2,
                                                          int W, double *acc) {
    int jj = 0;
    for (; jj + 64 <= W; jj += 64) {
        __m256 s[8];
        for (int l = 0; l < 8; ++l) s[l] = _mm256_setzero_ps();
        const float *p = src + jj;
        for (int b = 0; b < cols2; ++b) {
            const __m256 wb = _mm256_set1_ps(w[b]);
            for (int l = 0; l < 8; ++l) s[l] = _mm256_fmadd_ps(wb, _mm256_loadu_ps(p + b + 8 * l), s[l]);
        }
        for (int l = 0; l < 8; ++l) addLanes8(acc + jj + 8 * l, s[l]);
    }
    for (; jj + 8 <= W; jj += 8) {
        __m256 s = _mm256_setzero_ps();
        for (int b = 0; b < cols2; ++b) s = _mm256_fmadd_ps(_mm256_set1_ps(w[b]), _mm256_loadu_ps(src + jj + b), s);
        addLanes8(acc + jj, s);
    }
    for (; jj < W; ++jj) {
        float s = 0;
        for (int b = 0; b < cols2; ++b) s = std::fma(w[b], src[jj + b], s);
        acc[jj] += s;
    }
}

// One image row against two template rows at once, for two neighbouring
// output rows: acc0 gets its products with w0 and acc1 with w1, each sum made
// as rowProductsAvx2 makes it; every image value is loaded once for both.
// Blocks of 8L columns keep 2L sums in flight, enough to hide the latency of
// the fused multiply-adds.
template <int L>
__attribute__((target("avx2,fma"))) inline int pairBlocksAvx2(const float *src, const float *w0,
                                                               const float *w1, int cols2, int W,
                                                               double *acc0, double *acc1) {
    int jj = 0;
    for (; jj + 8 * L <= W; jj += 8 * L) {
        __m256 s0[L], s1[L];
        for (int l = 0; l < L; ++l) s0[l] = s1[l] = _mm256_setzero_ps();
        const float *p = src + jj;
        for (int b = 0; b < cols2; ++b) {
            const __m256 a0 = _mm256_set1_ps(w0[b]), a1 = _mm256_set1_ps(w1[b]);
            for (int l = 0; l < L; ++l) {
                const __m256 v = _mm256_loadu_ps(p + b + 8 * l);
                s0[l] = _mm256_fmadd_ps(a0, v, s0[l]);
                s1[l] = _mm256_fmadd_ps(a1, v, s1[l]);
            }
        }
        for (int l = 0; l < L; ++l) {
            addLanes8(acc0 + jj + 8 * l, s0[l]);
            addLanes8(acc1 + jj + 8 * l, s1[l]);
        }
    }
    return jj;
}

__attribute__((target("avx2,fma"))) void rowProductsPairAvx2(const float *src, const float *w0,
                                                              const float *w1, int cols2, int W,
                                                              double *acc0, double *acc1) {
    int jj = pairBlocksAvx2<PAIR_VECTORS>(src, w0, w1, cols2, W, acc0, acc1);
    jj += pairBlocksAvx2<2>(src + jj, w0, w1, cols2, W - jj, acc0 + jj, acc1 + jj);
    if (jj < W) {
        rowProductsAvx2(src + jj, w0, cols2, W - jj, acc0 + jj);
        rowProductsAvx2(src + jj, w1, cols2, W - jj, acc1 + jj);
    }
}

// Adds sixteen single-precision lanes to sixteen doubles.
__attribute__((target("avx512f"))) inline void addLanes16(double *o, __m512 s) {
    // the zero-masked forms: the plain ones leave a part undefined
    const __m512d d = _mm512_castps_pd(s);
    const __m256 lo = _mm256_castpd_ps(_mm512_maskz_extractf64x4_pd(0xF, d, 0));
    const __m256 hi = _mm256_castpd_ps(_mm512_maskz_extractf64x4_pd(0xF, d, 1));
    _mm512_storeu_pd(o, _mm512_add_pd(_mm512_loadu_pd(o), _mm512_maskz_cvtps_pd(0xFF, lo)));
    _mm512_storeu_pd(o + 8, _mm512_add_pd(_mm512_loadu_pd(o + 8), _mm512_maskz_cvtps_pd(0xFF, hi)));
}

// Image row src against R template rows w[k], for R neighbouring output
// rows: acc[k] gets the products with w[k]. Sixteen lanes wide, for
// processors with 512-bit vectors; each lane's sum is made in the same order
// as rowProductsAvx2 makes it, so the results are the same bit for bit. Every
// image value is loaded once for all R rows, and blocks of 16L columns keep
// R x L sums in flight.
template <int R, int L>
__attribute__((target("avx512f,avx2,fma"))) inline int rowBlocksAvx512(const float *src, const float *const *w,
                                                                        int cols2, int W, double *const *acc,
                                                                        int jj) {
    for (; jj + 16 * L <= W; jj += 16 * L) {
        __m512 s[R][L];
        for (int k = 0; k < R; ++k)
            for (int l = 0; l < L; ++l) s[k][l] = _mm512_setzero_ps();
        const float *p = src + jj;
        for (int b = 0; b < cols2; ++b) {
            __m512 a[R];
            for (int k = 0; k < R; ++k) a[k] = _mm512_set1_ps(w[k][b]);
            for (int l = 0; l < L; ++l) {
                const __m512 v = _mm512_loadu_ps(p + b + 16 * l);
                for (int k = 0; k < R; ++k) s[k][l] = _mm512_fmadd_ps(a[k], v, s[k][l]);
            }
        }
        for (int k = 0; k < R; ++k)
            for (int l = 0; l < L; ++l) addLanes16(acc[k] + jj + 16 * l, s[k][l]);
    }
    return jj;
}

template <int R>
__attribute__((target("avx512f,avx2,fma"))) void rowProductsAvx512(const float *src, const float *const *w,
                                                                    int cols2, int W, double *const *acc) {
    constexpr int L = R == 1 ? 8 : R == 2 ? 6 : R == 3 ? 5 : 4;  // 16 to 20 registers of sums
    int jj = rowBlocksAvx512<R, L>(src, w, cols2, W, acc, 0);
    if constexpr (L > 2) jj = rowBlocksAvx512<R, 2>(src, w, cols2, W, acc, jj);
    jj = rowBlocksAvx512<R, 1>(src, w, cols2, W, acc, jj);
    if (jj < W)
        for (int k = 0; k < R; ++k) rowProductsAvx2(src + jj, w[k], cols2, W - jj, acc[k] + jj);
}

// The same for 1 to 4 rows.
void rowProductsAvx512(int rows, const float *src, const float *const *w, int cols2, int W,
                       double *const *acc) {
    switch (rows) {
        case 1: rowProductsAvx512<1>(src, w, cols2, W, acc); break;
        case 2: rowProductsAvx512<2>(src, w, cols2, W, acc); break;
        case 3: rowProductsAvx512<3>(src, w, cols2, W, acc); break;
        default: rowProductsAvx512<4>(src, w, cols2, W, acc); break;
    }
}
#endif

// Adds the products of template row w with image row src to acc, for every
// valid column: acc[jj] += sum over b of w[b] src[jj + b], summed in single
// precision over the row.
void rowProducts(const float *src, const float *w, int cols2, int W, double *acc) {
#if defined(ZOLT_X86_VECTORS)
    if (cpu::avx512()) {
        rowProductsAvx512(1, src, &w, cols2, W, &acc);
        return;
    }
    if (cpu::avx2Fma()) {
        rowProductsAvx2(src, w, cols2, W, acc);
        return;
    }
#endif
    int jj = 0;
#if defined(__SSE2__)
    for (; jj + 32 <= W; jj += 32) productBlock<8>(src + jj, w, cols2, acc + jj);
    for (; jj + 4 <= W; jj += 4) productBlock<1>(src + jj, w, cols2, acc + jj);
#endif
    for (; jj < W; ++jj) {
        float s = 0;
        for (int b = 0; b < cols2; ++b) s += w[b] * src[jj + b];
        acc[jj] += s;
    }
}

// Rows scored so far by every band. Only the calling thread reports them,
// once per hundredth of the rows at most.
class RowProgress {
public:
    explicit RowProgress(long total) : total_(total) {}
    void rowDone(bool caller) {
        const long done = ++done_;
        if (caller) report(done);
    }
    void report(long done) {
        const long step = total_ > 0 ? done * 100 / total_ : 0;
        if (step == step_) return;
        step_ = step;
        reportProgress(done, total_);
    }
    long done() const { return done_; }

private:
    std::atomic<long> done_{0};
    const long total_;
    long step_ = -1;
};

// Scores of valid row ii from the window sums of tmpl x J along it and the
// window means: sum of tmpl x (J + c0 - m) = sum of tmpl x J + (c0 - m) x
// sum of tmpl, times `scale`, into out (image 1's layout).
void finishRow(const Channel &ch, const Geometry &g, double scale, int ii, const double *mean, const double *sum,
               float *out) {
    float *o = out + static_cast<size_t>(ii + g.hr) * g.cols1 + g.hc;
    for (int jj = 0; jj < g.W; ++jj) o[jj] = static_cast<float>((sum[jj] + (ch.c0 - mean[jj]) * ch.sumTmpl) * scale);
}

// Scores of one channel on valid rows [first, end): sum of
// tmpl x (image - local mean), times `scale`, into out (image 1's layout).
void scoreRows(const Channel &ch, const Geometry &g, double scale, int first, int end, float *out,
               RowProgress &progress, bool caller) {
    WindowMeans means(ch.image, g);
    std::vector<double> means4[4], sums4[4];
    for (int k = 0; k < 4; ++k) {
        means4[k].resize(g.W);
        sums4[k].resize(g.W);
    }
    std::vector<double> &mean = means4[0], &acc = sums4[0], &mean1 = means4[1], &acc1 = sums4[1];
    const float *J = ch.J.data(), *tm = ch.tmpl.data();
    auto imageRow = [&](int r) { return J + static_cast<size_t>(r) * g.cols1; };
    auto tmplRow = [&](int a) { return tm + static_cast<size_t>(a) * g.cols2; };
    auto finish = [&](int ii, const std::vector<double> &m, const std::vector<double> &sum) {
        finishRow(ch, g, scale, ii, m.data(), sum.data(), out);
        progress.rowDone(caller);
    };
    for (int ii = first; ii < end;) {
#if defined(ZOLT_X86_VECTORS)
        if (cpu::avx512()) {
            // up to four rows ii + k: image row ii + t meets template row
            // t - k of each, where that row exists
            const int rows = std::min(4, end - ii);
            for (int k = 0; k < rows; ++k) {
                means.of(ii + k, means4[k].data());
                std::fill(sums4[k].begin(), sums4[k].end(), 0.0);
            }
            for (int t = 0; t < g.rows2 + rows - 1; ++t) {
                const int kLo = std::max(0, t - g.rows2 + 1), kHi = std::min(rows - 1, t);
                const float *w[4];
                double *a[4];
                for (int k = kLo; k <= kHi; ++k) {
                    w[k - kLo] = tmplRow(t - k);
                    a[k - kLo] = sums4[k].data();
                }
                rowProductsAvx512(kHi - kLo + 1, imageRow(ii + t), w, g.cols2, g.W, a);
            }
            for (int k = 0; k < rows; ++k) finish(ii + k, means4[k], sums4[k]);
            ii += rows;
            continue;
        }
#endif
        means.of(ii, mean.data());
        std::fill(acc.begin(), acc.end(), 0.0);
#if defined(ZOLT_X86_VECTORS)
        if (ii + 1 < end && cpu::avx2Fma()) {
            // rows ii and ii + 1: image row ii + t meets template row t for
            // the first and t - 1 for the second
            means.of(ii + 1, mean1.data());
            std::fill(acc1.begin(), acc1.end(), 0.0);
            rowProducts(imageRow(ii), tmplRow(0), g.cols2, g.W, acc.data());
            for (int t = 1; t < g.rows2; ++t)
                rowProductsPairAvx2(imageRow(ii + t), tmplRow(t), tmplRow(t - 1), g.cols2, g.W, acc.data(),
                                    acc1.data());
            rowProducts(imageRow(ii + g.rows2), tmplRow(g.rows2 - 1), g.cols2, g.W, acc1.data());
            finish(ii, mean, acc);
            finish(ii + 1, mean1, acc1);
            ii += 2;
            continue;
        }
#endif
        for (int a = 0; a < g.rows2; ++a) rowProducts(imageRow(ii + a), tmplRow(a), g.cols2, g.W, acc.data());
        finish(ii, mean, acc);
        ++ii;
    }
}

// Scores of one channel from window sums made by transforms in tiles of
// `tile`; false (nothing written) when their memory cannot be had.
bool scoreByTransform(const Channel &ch, const Geometry &g, double scale, int tile, int pieces, float *out,
                      RowProgress &progress) {
    const int stride = g.cols1 - g.cols2 + 1;  // columns of windows that fit, g.W or one more
    const bool made = corrtransform::windowSums(
        ch.J.data(), g.rows1, g.cols1, ch.tmpl.data(), g.rows2, g.cols2, tile, pieces,
        [&](int first, int end, const double *sums, bool caller) {
            WindowMeans means(ch.image, g);
            std::vector<double> mean(g.W);
            for (int ii = first; ii < std::min(end, g.H); ++ii) {
                means.of(ii, mean.data());
                finishRow(ch, g, scale, ii, mean.data(), sums + static_cast<size_t>(ii - first) * stride, out);
                progress.rowDone(caller);
            }
        });
    if (made) progress.report(progress.done());
    return made;
}

// Energy of a channel about its local means over the valid region.
double energy(const Channel &ch, const Geometry &g, int pieces) {
    std::vector<double> part(pieces, 0.0);
    bands::split(g.H, pieces, [&](int k, size_t first, size_t end) {
        WindowMeans means(ch.image, g);
        std::vector<double> mean(g.W);
        double e = 0;
        for (int ii = static_cast<int>(first); ii < static_cast<int>(end); ++ii) {
            means.of(ii, mean.data());
            const float *centre = ch.image + static_cast<size_t>(ii + g.hr) * g.cols1 + g.hc;
            for (int jj = 0; jj < g.W; ++jj) e += (centre[jj] - mean[jj]) * (centre[jj] - mean[jj]);
        }
        part[k] = e;
    });
    double e = 0;
    for (double p : part) e += p;
    return e;
}

// Zeros over the valid region of a frame.
void zeroValid(const Geometry &g, float *out) {
    for (int ii = 0; ii < g.H; ++ii)
        std::fill_n(out + static_cast<size_t>(ii + g.hr) * g.cols1 + g.hc, g.W, 0.f);
}

}  // namespace

int flcorrelate(const ZoltHeader *image, const ZoltHeader *templ, ZoltHeader *output) {
    ZoltDepthGuard depth;
    if (!flimage::isFloat(image) || !flimage::isFloat(templ) || !flimage::isFloat(output)) {
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext("flcorrelate: the image, the template and the output must be \"32flt\" images");
        return CORR_NOTFLOAT;
    }
    flimage::Shape s1, s2, so;
    flimage::shapeOf(image, &s1);
    flimage::shapeOf(templ, &s2);
    flimage::shapeOf(output, &so);
    const bool colour = s1.ndim == 3;
    const bool shapesFit = s1.ndim >= 2 && s1.ndim == s2.ndim && so.cols == s1.cols &&
                           so.rows == s1.rows &&
                           (!colour || (s1.frames == 3 && s2.frames == 3 && so.frames >= 3));
    if (!shapesFit) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("flcorrelate: image and template must both be grey or both colour of 3 frames, "
                "and the output the image's size");
        return CORR_SHAPE;
    }
    if (s2.rows > s1.rows || s2.cols > s1.cols) return CORR_OK;  // the template fits nowhere

    Geometry g{s1.rows, s1.cols, s2.rows, s2.cols, s2.rows / 2, s2.cols / 2, 0, 0,
               static_cast<size_t>(s2.rows) * s2.cols};
    g.H = g.rows1 - 2 * g.hr;
    g.W = g.cols1 - 2 * g.hc;
    if (g.H <= 0 || g.W <= 0) return CORR_OK;  // an even template as large as the image
    const int pieces = bands::count(static_cast<size_t>(g.H) * g.W * g.N, BAND_WORK);
    const int channels = colour ? 3 : 1;
    const float *in1 = flimage::data(image), *in2 = flimage::data(templ);
    float *out = flimage::data(output);
    RowProgress progress(static_cast<long>(channels) * g.H);
    // large templates by transforms, when the model of this machine's
    // timings says they are faster
    double transformNs = 0;
    int tile = corrtransform::bestTile(g.rows1, g.cols1, g.rows2, g.cols2, &transformNs);
    if (!(transformNs < corrtransform::directCost(g.rows1, g.cols1, g.rows2, g.cols2))) tile = 0;
    for (int c = 0; c < channels; ++c) {
        const Channel ch = prepare(in1 + c * s1.frameSize(), in2 + c * s2.frameSize(), g);
        float *frame = out + c * so.frameSize();
        double scale;
        if (colour) {
            const double e = energy(ch, g, pieces);
            scale = e > 0 ? 1.0 / e : 0.0;
        } else {
            scale = ch.spread > 0 ? 1.0 / (static_cast<double>(g.rows2) * g.N * ch.spread) : 0.0;
        }
        if (scale == 0) {  // a constant template or channel scores 0
            zeroValid(g, frame);
            for (int ii = 0; ii < g.H; ++ii) progress.rowDone(true);
            continue;
        }
        if (tile > 0 && scoreByTransform(ch, g, scale, tile, pieces, frame, progress)) continue;
        // runs of rows handed out one at a time, so that a thread slowed by
        // other work on its core leaves more rows to the others
        std::atomic<int> nextRow{0};
        bands::split(g.H, pieces, [&](int band, size_t, size_t) {
            for (int first = nextRow.fetch_add(ROW_RUN); first < g.H && !progressCancelled();
                 first = nextRow.fetch_add(ROW_RUN))
                scoreRows(ch, g, scale, first, std::min(first + ROW_RUN, g.H), frame, progress,
                          band == 0);  // band 0 runs on the calling thread
        });
        if (progressCancelled()) return CORR_CANCELLED;
        progress.report(progress.done());
    }
    return CORR_OK;
}
