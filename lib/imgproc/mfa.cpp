// Mean-field annealing segmentation: at each temperature T, from t1 down by
// the factor dlt while T >= t2, one step of root-mean-square size
// sigma r sqrt(T) down the gradient (f - g) / sigma^2 + b / sqrt(2 pi T) x
// divergence of the influence of f's differences to four neighbours (the
// diagonals weighted 0.7). Grey 2-D "32flt" images of at least 2 x 2 pixels.
#include "mfa.h"
#include "mfa_internal.h"

#include <algorithm>
#include <atomic>
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
#include "spinwait.h"

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

// Replaces the outermost rows and columns of the rows [first, end) of a
// rows x cols image (both at least 2) by copies of their inner neighbours;
// the whole image when the band is all of it. A band that holds row 0 or the
// last row needs the row next to it as well: bands of at least two rows then
// read and write only their own rows, so they may be done side by side.
void replicateBand(float *p, int rows, int cols, int first, int end) {
    auto at = [&](int i, int j) -> float & { return p[static_cast<size_t>(i) * cols + j]; };
    for (int i = first; i < end; ++i) {
        at(i, 0) = at(i, 1);
        at(i, cols - 1) = at(i, cols - 2);
    }
    const bool top = first == 0, bottom = end == rows;
    for (int j = 1; j + 1 < cols; ++j) {
        if (top) at(0, j) = at(1, j);
        if (bottom) at(rows - 1, j) = at(rows - 2, j);
    }
    if (top) at(0, 0) = at(1, 1);
    if (bottom) {
        at(rows - 1, 0) = at(rows - 2, 1);
        at(rows - 1, cols - 1) = at(rows - 2, cols - 2);
    }
    if (top) at(0, cols - 1) = at(0, cols - 2);
}

// Threads wait here for one another between the halves of an iteration. A
// waiter spins a little first, as the others mostly come within
// microseconds, and then sleeps until the last one wakes it.
class Barrier {
public:
    explicit Barrier(int n) : count_(n) {}
    void alone() { count_ = 1; }
    void wait() {
        if (count_ == 1) return;
        const unsigned generation = generation_.load(std::memory_order_acquire);
        if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == count_) {
            arrived_.store(0, std::memory_order_relaxed);  // seen before the new generation
            {
                std::lock_guard<std::mutex> hold(mutex_);
                generation_.store(generation + 1, std::memory_order_release);
            }
            woken_.notify_all();
            return;
        }
        ZoltSpinThenWait(mutex_, woken_, SPINS,
                         [&] { return generation_.load(std::memory_order_acquire) != generation; });
    }

private:
    static constexpr int SPINS = 1 << 11;  // some tens of microseconds
    alignas(64) std::atomic<int> arrived_{0};
    alignas(64) std::atomic<unsigned> generation_{0};
    std::mutex mutex_;
    std::condition_variable woken_;
    int count_;
};

// The influence of one row's differences to the neighbours down, down-right,
// right and up-right, each in an array of cols values whose first and last
// stay 0.
struct Influence {
    float *dD, *dR, *dH, *dU;
};

// The annealing, run by every thread. A step is two halves: the gradient
// with the sum of its squares row by row, then, once every row's sum is in,
// the move. In each half the rows are handed out in chunks, the first thread
// taking them from the top down and the second from the bottom up until they
// meet, so that a thread held up by the machine leaves its rows to the
// other. Each row is worked the same way whoever takes it, and the row sums
// are added in row order by every thread: the result does not depend on the
// threads.
struct Annealing {
    static constexpr int CHUNK = 8;  // rows handed out at a time

    float *f;
    const float *g;
    int rows, cols;
    double sigma, r, b, t1, t2, dlt;
    float *Dg;           // rows x cols
    double *rowSums;     // of Dg^2, one a row
    double *buffers;     // 4 cols a thread
    float *influences;   // 3 rows of 4 x cols a thread, zero-filled
    int threads;
    int chunks;          // the last one takes the rows left over
    Barrier barrier;
    // chunks handed out in the two halves; each is set back to 0 by the
    // first thread while the other half runs
    alignas(64) std::atomic<int> gradientTaken{0};
    alignas(64) std::atomic<int> moveTaken{0};
    alignas(64) bool flat = false;
    bool stop = false;  // a stop was asked: every thread leaves before the next move

    Annealing(float *f_, const float *g_, int rows_, int cols_, double sigma_, double r_,
              double b_, double t1_, double t2_, double dlt_, float *Dg_, double *rowSums_,
              double *buffers_, float *influences_, int threads_)
        : f(f_), g(g_), rows(rows_), cols(cols_), sigma(sigma_), r(r_), b(b_), t1(t1_), t2(t2_),
          dlt(dlt_), Dg(Dg_), rowSums(rowSums_), buffers(buffers_), influences(influences_),
          threads(threads_), chunks(std::max(1, rows_ / CHUNK)), barrier(threads_) {}

    size_t at(int i, int j) const { return static_cast<size_t>(i) * cols + j; }
    int chunkStart(int k) const { return k < chunks ? k * CHUNK : rows; }

    // The next chunk of thread t (counting its own so far in `mine`) from
    // the counter of a half, or -1 when none is left. Chunk 0 and the last
    // chunk hold two rows at least, so the rows next to the outermost ones
    // always go with them.
    int claim(std::atomic<int> &taken, int t, int &mine) const {
        if (taken.fetch_add(1, std::memory_order_relaxed) >= chunks) return -1;
        const int k = t == 0 ? mine : chunks - 1 - mine;
        ++mine;
        return k;
    }

    // Influence of the differences of row i (an inner row) on its inner
    // pixels: d becomes (d / x) e^(-d^2 / 2x). The row's differences are
    // gathered first so that the exponentials run as one plain loop over an
    // array.
    void differences(int i, double inverse, double minusHalfInverse, double *buffer,
                     const Influence &out) const {
        const int inner = cols - 2;
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
        float *o0 = out.dD + 1, *o1 = out.dR + 1, *o2 = out.dH + 1, *o3 = out.dU + 1;
        for (int j = 0; j < inner; ++j) {
            o0[j] = static_cast<float>(d[4 * j]);
            o1[j] = static_cast<float>(d[4 * j + 1]);
            o2[j] = static_cast<float>(d[4 * j + 2]);
            o3[j] = static_cast<float>(d[4 * j + 3]);
        }
    }

    // The gradient on the rows thread t takes, with each row's sum of
    // squares. The influences of a row and of its two neighbours are kept in
    // a ring of three rows of the thread's own (outside the inner rows they
    // are 0); a thread's chunks follow one another, so each row's are made
    // once by each thread that needs them.
    void gradient(double T, int t) {
        const double x = T * 1.41 * 1.41 * sigma * sigma;
        const double inverse = 1.0 / x, minusHalfInverse = -0.5 / x;
        const double dataWeight = 1.0 / (sigma * sigma);
        constexpr double PI = 3.14159265358979323846;
        const double priorWeight = b / std::sqrt(2.0 * PI * T);
        double *buffer = buffers + 4 * static_cast<size_t>(cols) * t;
        float *ring = influences + 12 * static_cast<size_t>(cols) * t;
        auto slot = [&](int i) {
            float *p = ring + 4 * static_cast<size_t>(cols) * (i % 3);
            return Influence{p, p + cols, p + 2 * cols, p + 3 * cols};
        };
        auto fill = [&](int i) {
            const Influence s = slot(i);
            if (i >= 1 && i + 1 < rows)
                differences(i, inverse, minusHalfInverse, buffer, s);
            else
                std::fill(s.dD, s.dD + 4 * static_cast<size_t>(cols), 0.f);
        };
        auto row = [&](int i) {
            const float *s = f + at(i, 0), *data = g + at(i, 0);
            float *out = Dg + at(i, 0);
            double sum = 0;
            if (i >= 1 && i + 1 < rows) {
                const Influence above = slot(i - 1), here = slot(i), below = slot(i + 1);
                auto edge = [&](int j) {
                    const float residual = s[j] - data[j];
                    const double divergence = 0;
                    return static_cast<float>(residual * dataWeight + priorWeight * divergence);
                };
                const float left = edge(0);
                out[0] = left;
                sum += static_cast<double>(left) * left;
                for (int j = 1; j + 1 < cols; ++j) {
                    const float diagonal = (above.dR[j - 1] - here.dR[j]) + (below.dU[j - 1] - here.dU[j]);
                    double divergence =
                        0.7 * diagonal + (above.dD[j] - here.dD[j]) + (here.dH[j - 1] - here.dH[j]);
                    divergence = static_cast<float>(divergence);
                    const float residual = s[j] - data[j];
                    const float grad =
                        static_cast<float>(residual * dataWeight + priorWeight * divergence);
                    out[j] = grad;
                    sum += static_cast<double>(grad) * grad;
                }
                const float right = edge(cols - 1);
                out[cols - 1] = right;
                sum += static_cast<double>(right) * right;
            } else {
                for (int j = 0; j < cols; ++j) {
                    const float residual = s[j] - data[j];
                    const double divergence = 0;
                    const float grad =
                        static_cast<float>(residual * dataWeight + priorWeight * divergence);
                    out[j] = grad;
                    sum += static_cast<double>(grad) * grad;
                }
            }
            rowSums[i] = sum;
        };
        int mine = 0;
        for (int k; (k = claim(gradientTaken, t, mine)) >= 0;) {
            const int first = chunkStart(k), end = chunkStart(k + 1);
            // a thread's first chunk holds its outermost row, whose influences are 0
            if (t == 0) {
                if (mine == 1) fill(first);
                for (int i = first; i < end; ++i) {
                    if (i + 1 < rows) fill(i + 1);
                    row(i);
                }
            } else {
                if (mine == 1) fill(end - 1);
                for (int i = end - 1; i >= first; --i) {
                    if (i > 0) fill(i - 1);
                    row(i);
                }
            }
        }
    }

    // The move of the rows thread t takes, and their borders replicated
    // for the next step unless this was the last.
    void move(double step, bool last, int t) {
        int mine = 0;
        for (int k; (k = claim(moveTaken, t, mine)) >= 0;) {
            const int first = chunkStart(k), end = chunkStart(k + 1);
            for (size_t p = at(first, 0); p < at(end, 0); ++p)
                f[p] = static_cast<float>(f[p] - step * Dg[p]);
            if (!last) replicateBand(f, rows, cols, first, end);
        }
    }

    // Number of temperature steps, for the progress reports.
    long steps() const {
        long n = 0;
        for (double T = t1; T >= t2; T *= dlt) ++n;
        return n;
    }

    // f has its border replicated when the first step starts.
    void run(int t) {
        // the calling thread alone reports, once a step is done everywhere
        const long total = t == 0 ? steps() : 0;
        long done = 0;
        if (t == 0) reportProgress(0, total);
        for (double T = t1; T >= t2; T *= dlt) {
            barrier.wait();  // f is whole; the last step's sums are read
            if (t == 0) {
                moveTaken.store(0, std::memory_order_relaxed);
                if (done > 0) {
                    reportProgress(done, total);
                    stop = progressCancelled();
                }
            }
            gradient(T, t);
            barrier.wait();  // every row's sum is in; the rows of f are read
            if (stop) return;
            if (t == 0) gradientTaken.store(0, std::memory_order_relaxed);
            double sum = 0;
            for (int i = 0; i < rows; ++i) sum += rowSums[i];  // the same order in every thread
            const double magf = std::sqrt(sum / (static_cast<double>(rows) * cols));
            if (magf == 0) {
                if (t == 0) flat = true;
                return;
            }
            move(sigma * r * std::sqrt(T) / magf, !(T * dlt >= t2), t);
            ++done;
        }
        if (done == 0) return;
        barrier.wait();  // the last step is done everywhere
        if (t == 0) {
            reportProgress(done, total);
            stop = progressCancelled();
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
    // two threads at most
    if (threads == 0) threads = n >= THREAD_MIN && std::thread::hardware_concurrency() > 1 ? 2 : 1;
    threads = std::max(1, std::min(threads, 2));
    // the doubles first: the row sums and each thread's differences of a row;
    // then the gradient and each thread's ring of influences
    const size_t doubles = rows + 4 * static_cast<size_t>(cols) * threads;
    const size_t floats = n + 12 * static_cast<size_t>(cols) * threads;
    void *work = Zoltalc(doubles * sizeof(double) + floats * sizeof(float));
    if (!work) return PCON_SIZES;
    auto *sums = static_cast<double *>(work);
    auto *gradient = reinterpret_cast<float *>(sums + doubles);
    auto *fp = static_cast<float *>(f->oltptr);
    auto *gp = static_cast<float *>(g->oltptr);
    replicateBand(gp, rows, cols, 0, rows);
    if (static_cast<double>(t1) >= t2) replicateBand(fp, rows, cols, 0, rows);  // a step will run

    // if the second thread cannot start, the first runs alone
    Annealing job(fp, gp, rows, cols, sigma, r, b, t1, t2, dlt, gradient, sums, sums + rows,
                  gradient + n, threads);
    std::thread second;
    if (threads > 1) {
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
