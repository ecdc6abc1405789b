// Mean-field annealing segmentation: at each temperature T, from t1 down by
// the factor dlt while T >= t2, one step of root-mean-square size
// sigma r sqrt(T) down the gradient (f - g) / sigma^2 + b / sqrt(2 pi T) x
// divergence of the influence of f's differences to four neighbours (the
// diagonals weighted 0.7). Grey 2-D "32flt" images of at least 2 x 2 pixels.
#include "mfa.h"
#include "mfa_internal.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "flimage.h"
#include "progress.h"

namespace {

constexpr size_t THREAD_MIN = 1 << 14;  // fewest pixels worth a second thread

// e^z for z <= 0 in double precision, one value or two at a time: z = n ln 2
// + r with |r| <= ln 2 / 2, e^r by its series to r^13 (error below 1e-17 of
// the result; evaluated by Estrin's scheme, whose short chains of dependent
// steps keep the multipliers busy) and 2^n put straight into the exponent
// bits. Below -708 the result stays at the tiny e^-708, as good as 0 here.
constexpr double LOG2E = 1.4426950408889634, SHIFT = 6755399441055744.0;  // 1.5 x 2^52
constexpr double LN2HI = 6.93145751953125e-1, LN2LO = 1.42860682030941723212e-6;
constexpr double C[14] = {1.0,         1.0,          0.5,           1.0 / 6,
                          1.0 / 24,    1.0 / 120,    1.0 / 720,     1.0 / 5040,
                          1.0 / 40320, 1.0 / 362880, 1.0 / 3628800, 1.0 / 39916800,
                          1.0 / 479001600, 1.0 / 6227020800};

// The series by Estrin's scheme for a type with + and *; k makes a constant.
template <class D, class Make>
inline D series(D r, Make k) {
    const D r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    auto pair = [&](int i) { return k(C[i]) + k(C[i + 1]) * r; };
    const D s0 = pair(0) + pair(2) * r2, s1 = pair(4) + pair(6) * r2;
    const D s2 = pair(8) + pair(10) * r2, s3 = pair(12);
    return (s0 + s1 * r4) + (s2 + s3 * r4) * r8;
}

inline double expNegative(double z) {
    z = std::max(z, -708.0);
    const double shifted = z * LOG2E + SHIFT;  // n in the low bits of the mantissa
    const double n = shifted - SHIFT;
    const double r = (z - n * LN2HI) - n * LN2LO;
    const double p = series(r, [](double c) { return c; });
    int64_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    bits = (bits + 1023) << 52;  // 2^n: the mantissa's high bits shift out
    double scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return p * scale;
}

#if defined(__SSE2__)
struct Two {
    __m128d v;
};
inline Two operator+(Two a, Two b) { return {_mm_add_pd(a.v, b.v)}; }
inline Two operator*(Two a, Two b) { return {_mm_mul_pd(a.v, b.v)}; }

inline __m128d expNegative2(__m128d z) {
    const __m128d shift = _mm_set1_pd(SHIFT);
    z = _mm_max_pd(z, _mm_set1_pd(-708.0));
    const __m128d shifted = _mm_add_pd(_mm_mul_pd(z, _mm_set1_pd(LOG2E)), shift);
    const __m128d n = _mm_sub_pd(shifted, shift);
    const __m128d r = _mm_sub_pd(_mm_sub_pd(z, _mm_mul_pd(n, _mm_set1_pd(LN2HI))),
                                 _mm_mul_pd(n, _mm_set1_pd(LN2LO)));
    const Two p = series(Two{r}, [](double c) { return Two{_mm_set1_pd(c)}; });
    const __m128i bits =
        _mm_slli_epi64(_mm_add_epi64(_mm_castpd_si128(shifted), _mm_set1_epi64x(1023)), 52);
    return _mm_mul_pd(p.v, _mm_castsi128_pd(bits));
}
#endif

// Replaces the outermost rows and columns by copies of their inner
// neighbours (rows x cols, both at least 2).
void replicateBorder(float *p, int rows, int cols) {
    auto at = [&](int i, int j) -> float & { return p[static_cast<size_t>(i) * cols + j]; };
    for (int i = 0; i < rows; ++i) {
        at(i, 0) = at(i, 1);
        at(i, cols - 1) = at(i, cols - 2);
    }
    for (int j = 1; j + 1 < cols; ++j) {
        at(0, j) = at(1, j);
        at(rows - 1, j) = at(rows - 2, j);
    }
    at(0, 0) = at(1, 1);
    at(rows - 1, 0) = at(rows - 2, 1);
    at(rows - 1, cols - 1) = at(rows - 2, cols - 2);
    at(0, cols - 1) = at(0, cols - 2);
}

// Threads wait here for one another between the steps of an iteration.
class Barrier {
public:
    explicit Barrier(int n) : count_(n) {}
    void alone() { count_ = 1; }
    void wait() {
        if (count_ == 1) return;
        std::unique_lock<std::mutex> lock(mutex_);
        const unsigned generation = generation_;
        if (++waiting_ == count_) {
            waiting_ = 0;
            ++generation_;
            woken_.notify_all();
            return;
        }
        woken_.wait(lock, [&] { return generation_ != generation; });
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    int count_;
    int waiting_ = 0;
    unsigned generation_ = 0;
};

// The annealing, run by every thread on its own band of rows.
struct Annealing {
    float *f;
    const float *g;
    int rows, cols;
    double sigma, r, b, t1, t2, dlt;
    float *dD, *dR, *dH, *dU, *Dg;  // zero-filled, rows x cols
    int threads;
    Barrier barrier;
    std::vector<double> partial;  // each thread's sum of Dg^2
    bool flat = false;
    bool stop = false;  // a stop was asked: every thread leaves after this step

    Annealing(float *f_, const float *g_, int rows_, int cols_, double sigma_, double r_,
              double b_, double t1_, double t2_, double dlt_, float *work, int threads_)
        : f(f_), g(g_), rows(rows_), cols(cols_), sigma(sigma_), r(r_), b(b_), t1(t1_), t2(t2_),
          dlt(dlt_), threads(threads_), barrier(threads_), partial(threads_, 0.0) {
        const size_t n = static_cast<size_t>(rows) * cols;
        dD = work;
        dR = work + n;
        dH = work + 2 * n;
        dU = work + 3 * n;
        Dg = work + 4 * n;
    }

    size_t at(int i, int j) const { return static_cast<size_t>(i) * cols + j; }

    // Influence of the differences to the neighbours down, down-right, right
    // and up-right, on the inner pixels of rows [first, end): d becomes
    // (d / x) e^(-d^2 / 2x). Each row's differences are gathered first so
    // that the exponentials run as one plain loop over an array.
    void differences(int first, int end, double T, double *buffer) {
        const double x = T * 1.41 * 1.41 * sigma * sigma;
        const double inverse = 1.0 / x, minusHalfInverse = -0.5 / x;
        const int inner = cols - 2;
        for (int i = std::max(first, 1); i < std::min(end, rows - 1); ++i) {
            const float *fi = f + at(i, 1), *down = f + at(i + 1, 1), *up = f + at(i - 1, 1);
            double *d = buffer;
            for (int j = 0; j < inner; ++j) {
                const float here = fi[j];
                d[4 * j] = down[j] - here;
                d[4 * j + 1] = down[j + 1] - here;
                d[4 * j + 2] = fi[j + 1] - here;
                d[4 * j + 3] = up[j + 1] - here;
            }
            int k = 0;
#if defined(__SSE2__)
            const __m128d scale = _mm_set1_pd(inverse), half = _mm_set1_pd(minusHalfInverse);
            for (; k + 2 <= 4 * inner; k += 2) {
                const __m128d v = _mm_loadu_pd(d + k);
                const __m128d e = expNegative2(_mm_mul_pd(_mm_mul_pd(v, v), half));
                _mm_storeu_pd(d + k, _mm_mul_pd(_mm_mul_pd(v, scale), e));
            }
#endif
            for (; k < 4 * inner; ++k) {
                const double v = d[k];
                d[k] = v * inverse * expNegative(v * v * minusHalfInverse);
            }
            float *o0 = dD + at(i, 1), *o1 = dR + at(i, 1), *o2 = dH + at(i, 1), *o3 = dU + at(i, 1);
            for (int j = 0; j < inner; ++j) {
                o0[j] = static_cast<float>(d[4 * j]);
                o1[j] = static_cast<float>(d[4 * j + 1]);
                o2[j] = static_cast<float>(d[4 * j + 2]);
                o3[j] = static_cast<float>(d[4 * j + 3]);
            }
        }
    }

    // The gradient on rows [first, end); returns the sum of its squares.
    double gradient(int first, int end, double T) {
        const double dataWeight = 1.0 / (sigma * sigma);
        constexpr double PI = 3.14159265358979323846;
        const double priorWeight = b / std::sqrt(2.0 * PI * T);
        double sum = 0;
        for (int i = first; i < end; ++i) {
            const bool inner = i >= 1 && i + 1 < rows;
            for (int j = 0; j < cols; ++j) {
                const size_t k = at(i, j);
                double divergence = 0;
                if (inner && j >= 1 && j + 1 < cols) {
                    const float diagonal = (dR[k - cols - 1] - dR[k]) + (dU[k + cols - 1] - dU[k]);
                    divergence = 0.7 * diagonal + (dD[k - cols] - dD[k]) + (dH[k - 1] - dH[k]);
                    divergence = static_cast<float>(divergence);
                }
                const float s = f[k] - g[k];
                const float grad = static_cast<float>(s * dataWeight + priorWeight * divergence);
                Dg[k] = grad;
                sum += static_cast<double>(grad) * grad;
            }
        }
        return sum;
    }

    void update(int first, int end, double step) {
        for (size_t k = at(first, 0); k < at(end, 0); ++k)
            f[k] = static_cast<float>(f[k] - step * Dg[k]);
    }

    // Number of temperature steps, for the progress reports.
    long steps() const {
        long n = 0;
        for (double T = t1; T >= t2; T *= dlt) ++n;
        return n;
    }

    void run(int t) {
        const int first = rows * t / threads, end = rows * (t + 1) / threads;
        std::vector<double> buffer(4 * static_cast<size_t>(cols));
        // the calling thread alone reports, after each finished step
        const long total = t == 0 ? steps() : 0;
        long done = 0;
        if (t == 0) reportProgress(0, total);
        for (double T = t1; T >= t2; T *= dlt) {
            if (t == 0) replicateBorder(f, rows, cols);
            barrier.wait();
            differences(first, end, T, buffer.data());
            barrier.wait();
            partial[t] = gradient(first, end, T);
            barrier.wait();
            double sum = 0;
            for (double p : partial) sum += p;  // the same order in every thread
            const double magf = std::sqrt(sum / (static_cast<double>(rows) * cols));
            if (magf == 0) {
                if (t == 0) flat = true;
                return;
            }
            update(first, end, sigma * r * std::sqrt(T) / magf);
            barrier.wait();
            if (t == 0) {
                reportProgress(++done, total);
                stop = progressCancelled();
            }
            barrier.wait();
            if (stop) return;
        }
    }
};

}  // namespace

int Pcon(ZoltHeader *f, ZoltHeader *g, float sigma, float r, float b, float t1, float t2,
         float dlt) {
    return PconThreads(f, g, sigma, r, b, t1, t2, dlt, 0);
}

int PconThreads(ZoltHeader *f, ZoltHeader *g, float sigma, float r, float b, float t1,
                float t2, float dlt, int threads) {
    ZoltDepthGuard depth;
    if (!flimage::isFloat(f) || !flimage::isFloat(g)) {
        Zoltsay("Pcon: this program will only work with Zolt float images, please convert "
                    "your input image to float\n");
        return PCON_NOTFLOAT;
    }
    flimage::Shape fs, gs;
    flimage::shapeOf(f, &fs);
    flimage::shapeOf(g, &gs);
    if (fs.rows != gs.rows || fs.cols != gs.cols) {
        Zoltsay("bug1");
        std::fflush(stdout);
        return PCON_SIZES;
    }
    if (fs.rows < 2 || fs.cols < 2) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("Pcon: images need at least 2 rows and 2 columns");
        return PCON_SIZES;
    }
    if (t1 >= t2 && !(dlt > 0 && dlt < 1 && std::isfinite(t1))) {
        Zoltext("Pcon: the temperature would never fall below t2: the start must be finite "
                "and the cooling factor between 0 and 1");
        return PCON_PARAMS;
    }
    if (!(t2 > 0)) {
        Zoltext("Pcon: the end temperature must be above 0");
        return PCON_PARAMS;
    }
    if (sigma == 0) {
        Zoltext("Pcon: sigma must not be 0");
        return PCON_PARAMS;
    }

    const int rows = fs.rows, cols = fs.cols;
    const size_t n = static_cast<size_t>(rows) * cols;
    auto *work = static_cast<float *>(Zoltalc(5 * n * sizeof(float)));
    if (!work) return PCON_SIZES;
    auto *fp = static_cast<float *>(f->oltptr);
    auto *gp = static_cast<float *>(g->oltptr);
    replicateBorder(gp, rows, cols);

    // two threads at most: if the second cannot start, the first runs alone
    const bool two = threads == 0 ? n >= THREAD_MIN && std::thread::hardware_concurrency() > 1
                                  : threads > 1;
    Annealing job(fp, gp, rows, cols, sigma, r, b, t1, t2, dlt, work, two ? 2 : 1);
    std::thread second;
    if (two) {
        try {
            second = std::thread(&Annealing::run, &job, 1);
        } catch (...) {
            job.threads = 1;
            job.barrier.alone();
        }
    }
    job.run(0);
    if (second.joinable()) second.join();
    Zoltcfree(work);
    if (job.flat) {
        Zoltsay("magf=0 exiting\n");
        return PCON_FLAT;
    }
    if (job.stop) return PCON_CANCELLED;
    return PCON_OK;
}
