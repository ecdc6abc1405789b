// Gaussian-derivative filtering: correlation of each frame of a float image
// with a sampled Gaussian or one of its derivatives (radius 1 + trunc(3|sigma|),
// coefficients in double stored as float, sums in single precision, border
// replicated). Kernels that factor into a column and a row part run as two
// 1-D passes split over the cores; the squared Laplacian kernel of a negative
// sigma does not factor and runs as a direct 2-D sum over a padded frame.
#include "gauss.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include "cpufeatures.h"
#include "flimage.h"
#include "bands.h"

namespace {

using flimage::Shape;

constexpr double kTwoPi = 6.283185307179586476925286766559;

// One factor pair of a kernel: coefficient(dx, dy) = h[dx + r] x v[dy + r].
// A kernel is the sum of at most two such pairs.
struct Factors {
    double *store = nullptr;  // the profiles, 4 x (2r + 1) doubles, owned
    int terms = 0;
    double *h[2] = {nullptr, nullptr};
    double *v[2] = {nullptr, nullptr};
    bool rowsFirst[2] = {false, false};  // the row factor is the derivative
    bool squared = false;  // each summed coefficient is squared (Laplacian, sigma < 0)
    Factors() = default;
    ~Factors() { Zoltcfree(store); }
    Factors(const Factors &) = delete;
    Factors &operator=(const Factors &) = delete;
};

// Prints the refusal of an order and direction and returns its status, or
// returns 0 with the selector order + 4 x direction.
int checkSelector(int order, int direction, int *selector) {
    if (order > 3) {
        Zoltsay("flDoG: cannot take derivatives higher than third order. Sorry.\n");
        return FLDOG_ORDER;
    }
    const int sel = order + 4 * direction;
    if (order >= 0 && (sel == 8 || sel == 9)) {
        Zoltsay("flDoG: cannot compute first deriv wrt x and y. Exiting.\n");
        return FLDOG_MIXED;
    }
    if (order >= 0 && sel == 11) {
        Zoltsay("flDoG: cannot compute third deriv wrt xy. Exiting.\n");
        return FLDOG_THIRDXY;
    }
    if (order < 0 || sel < 0 || sel > 12) {
        Zoltsay("Something wrong with arguments to function flDoG. Exiting.\n");
        return FLDOG_ARGS;
    }
    *selector = sel;
    return 0;
}

// The 1-D profiles of the kernels, t running from -r to r.
void gaussProfile(double *out, int r, double s, double scale) {
    for (int t = -r; t <= r; ++t) out[t + r] = scale * std::exp(-double(t) * t / (2.0 * s));
}
void firstProfile(double *out, int r, double s) {
    const double c = kTwoPi;
    for (int t = -r; t <= r; ++t) out[t + r] = -t * std::exp(-double(t) * t / (2.0 * s)) / (c * s * s);
}
void secondProfile(double *out, int r, double s) {
    const double c = kTwoPi;
    for (int t = -r; t <= r; ++t)
        out[t + r] = (double(t) * t / (c * s * s * s) - 1.0 / (c * s * s)) * std::exp(-double(t) * t / (2.0 * s));
}
void thirdProfile(double *out, int r, double s) {
    const double c = kTwoPi;
    for (int t = -r; t <= r; ++t) {
        const double dt = t;
        out[t + r] = (3.0 * dt / (c * s * s * s) - dt * dt * dt / (c * s * s * s * s)) * std::exp(-dt * dt / (2.0 * s));
    }
}
void mixedProfile(double *out, int r, double s, double scale) {
    for (int t = -r; t <= r; ++t) out[t + r] = scale * t * std::exp(-double(t) * t / (2.0 * s));
}

// Computes the factor pairs of a selector; false when out of memory.
bool makeFactors(int sel, float sigma, int r, Factors *f) {
    const double s = double(sigma) * double(sigma);
    const double c = kTwoPi;
    const int n = 2 * r + 1;
    double *store = static_cast<double *>(Zoltalc(sizeof(double) * 4 * static_cast<size_t>(n)));
    if (!store) return false;
    f->store = store;
    double *a = store, *b = store + n, *a2 = store + 2 * n, *b2 = store + 3 * n;
    f->terms = 1;
    f->h[0] = a;
    f->v[0] = b;
    switch (sel) {
    case 0: gaussProfile(a, r, s, 1.0); gaussProfile(b, r, s, 1.0 / (c * s)); break;
    case 1: firstProfile(a, r, s); gaussProfile(b, r, s, 1.0); f->rowsFirst[0] = true; break;
    case 2: secondProfile(a, r, s); gaussProfile(b, r, s, 1.0); f->rowsFirst[0] = true; break;
    case 3: thirdProfile(a, r, s); gaussProfile(b, r, s, 1.0); f->rowsFirst[0] = true; break;
    case 4: gaussProfile(a, r, s, 1.0); gaussProfile(b, r, s, 1.0); break;
    case 5: gaussProfile(a, r, s, 1.0); firstProfile(b, r, s); break;
    case 6: gaussProfile(a, r, s, 1.0); secondProfile(b, r, s); break;
    case 7: gaussProfile(a, r, s, 1.0); thirdProfile(b, r, s); break;
    case 10: mixedProfile(a, r, s, 1.0 / (c * s * s * s)); mixedProfile(b, r, s, 1.0); break;
    default:  // 12: second derivative in x plus second derivative in y
        secondProfile(a, r, s);
        gaussProfile(b, r, s, 1.0);
        gaussProfile(a2, r, s, 1.0);
        secondProfile(b2, r, s);
        f->terms = 2;
        f->rowsFirst[0] = true;
        f->h[1] = a2;
        f->v[1] = b2;
        f->squared = sigma < 0;
        break;
    }
    return true;
}

// The kernel coefficient at (dx, dy), in double.
double coefficient(const Factors &f, int r, int dx, int dy) {
    double sum = 0;
    for (int t = 0; t < f.terms; ++t) sum += f.h[t][dx + r] * f.v[t][dy + r];
    return f.squared ? sum * sum : sum;
}

bool finiteFloat(double v) { return std::isfinite(static_cast<float>(v)); }

// True when every coefficient, and every factor used by the separable passes,
// is a finite float.
bool kernelFinite(const Factors &f, int r) {
    const int n = 2 * r + 1;
    for (int t = 0; t < f.terms; ++t)
        for (int i = 0; i < n; ++i)
            if (!finiteFloat(f.h[t][i]) || !finiteFloat(f.v[t][i])) return false;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx)
            if (!finiteFloat(coefficient(f, r, dx, dy))) return false;
    return true;
}

// The full (2r + 1) x (2r + 1) kernel as floats, row dy, column dx.
void fillKernel(const Factors &f, int r, float *kernel) {
    const int n = 2 * r + 1;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) kernel[(dy + r) * n + dx + r] = static_cast<float>(coefficient(f, r, dx, dy));
}

// Row count from which a frame is split between the cores: about 2^20
// multiply-adds per core make the thread worth starting.
size_t minParallelRows(int W, int tapsPerPixel) {
    const size_t perRow = static_cast<size_t>(W) * static_cast<size_t>(tapsPerPixel);
    return perRow >= (size_t(1) << 20) ? 2 : (size_t(1) << 21) / perRow;
}

int clampIndex(int i, int n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }

// Eight floats as one value; loads and stores go through memcpy, so any
// alignment will do.
typedef float Vec8 __attribute__((vector_size(32)));

// acc += k x (the eight floats at p).
inline void addScaled(Vec8 &acc, const float *p, float k) {
    Vec8 v;
    std::memcpy(&v, p, sizeof v);
    acc += v * k;
}

// out[x] = sum over d < n of k[d] x src[d][x], the sum in single precision in
// the order of d. Blocks of 32 columns keep their sums in vector registers;
// the function is built for AVX2 too and the loader picks what the processor
// runs (the sums are the same either way: no fused multiply-add).
ZOLT_CLONES("avx2", "default")
void weightedSum(const float *const *src, const float *k, int n, float *out, int W) {
    int x = 0;
    for (; x + 32 <= W; x += 32) {
        Vec8 a0 = {}, a1 = {}, a2 = {}, a3 = {};
        for (int d = 0; d < n; ++d) {
            const float kd = k[d];
            const float *p = src[d] + x;
            addScaled(a0, p, kd);
            addScaled(a1, p + 8, kd);
            addScaled(a2, p + 16, kd);
            addScaled(a3, p + 24, kd);
        }
        std::memcpy(out + x, &a0, sizeof a0);
        std::memcpy(out + x + 8, &a1, sizeof a1);
        std::memcpy(out + x + 16, &a2, sizeof a2);
        std::memcpy(out + x + 24, &a3, sizeof a3);
    }
    for (; x + 8 <= W; x += 8) {
        Vec8 a0 = {};
        for (int d = 0; d < n; ++d) addScaled(a0, src[d] + x, k[d]);
        std::memcpy(out + x, &a0, sizeof a0);
    }
    for (; x < W; ++x) {
        float acc = 0.0f;
        for (int d = 0; d < n; ++d) acc += k[d] * src[d][x];
        out[x] = acc;
    }
}

// Row pass of one line: out[x] = sum over d of k[d] x line[x + d - r], the
// line's ends repeated. pad holds W + 2r floats, taps 2r + 1 pointers; line
// may already sit at pad + r.
void rowPass(const float *line, float *out, float *pad, const float **taps, int W, int r, const float *k) {
    for (int i = 0; i < r; ++i) {
        pad[i] = line[0];
        pad[r + W + i] = line[W - 1];
    }
    if (line != pad + r) std::memcpy(pad + r, line, sizeof(float) * static_cast<size_t>(W));
    for (int d = 0; d <= 2 * r; ++d) taps[d] = pad + d;
    weightedSum(taps, k, 2 * r + 1, out, W);
}

// Column pass for output row y: out[x] = sum over dy of k[dy + r] x row(y + dy)
// with the row index clamped to the frame.
template <class Row>
void columnPass(const Row &row, int y, float *out, const float **taps, int W, int H, int r, const float *k) {
    for (int dy = -r; dy <= r; ++dy) taps[dy + r] = row(clampIndex(y + dy, H));
    weightedSum(taps, k, 2 * r + 1, out, W);
}

// Separable correlation of one W x H frame with one factor pair, written to
// dst or added to it. The pass of the derivative factor runs first so that its
// cancellation works on the input values and the smoothing pass averages the
// rounding: rowsFirst runs the row pass over a ring of 2r + 1 filtered input
// rows, otherwise the column pass sums input rows and the row pass follows.
// False when a core found no memory for its buffers.
bool separableFrame(const float *src, float *dst, int W, int H, int r, const float *hk, const float *vk,
                    bool rowsFirst, bool add) {
    const int n = 2 * r + 1;
    const size_t w = static_cast<size_t>(W);
    const size_t padded = w + 2 * static_cast<size_t>(r);
    const size_t ring = rowsFirst ? static_cast<size_t>(n) : 0;
    std::atomic<bool> ok{true};
    // Zoltalc keeps the library's nesting count, which the cores must not
    // change at the same moment: they take their buffers one at a time.
    std::mutex allocating;
    ZoltSplitWork(static_cast<size_t>(H), minParallelRows(W, 2 * n), [&](size_t first, size_t end) {
        float *buf;
        const float **taps;
        {
            std::lock_guard<std::mutex> hold(allocating);
            buf = static_cast<float *>(Zoltalc(sizeof(float) * (2 * padded + ring * w)));
            taps = static_cast<const float **>(Zoltalc(sizeof(float *) * static_cast<size_t>(n)));
        }
        if (!buf || !taps) {
            Zoltcfree(buf);
            Zoltcfree(taps);
            ok = false;
            return;
        }
        float *pad = buf, *acc = buf + padded, *rows = buf + 2 * padded;
        const auto input = [&](int j) { return src + static_cast<size_t>(j) * w; };
        const auto filtered = [&](int j) { return rows + static_cast<size_t>(j % n) * w; };
        int next = static_cast<int>(first) - r;  // next input row to filter into the ring
        if (next < 0) next = 0;
        for (int y = static_cast<int>(first); y < static_cast<int>(end); ++y) {
            if (rowsFirst) {
                for (; next <= y + r && next < H; ++next) rowPass(input(next), filtered(next), pad, taps, W, r, hk);
                columnPass(filtered, y, acc, taps, W, H, r, vk);
            } else {
                columnPass(input, y, pad + r, taps, W, H, r, vk);
                rowPass(pad + r, acc, pad, taps, W, r, hk);
            }
            float *o = dst + static_cast<size_t>(y) * w;
            if (add)
                for (int x = 0; x < W; ++x) o[x] += acc[x];
            else
                std::memcpy(o, acc, sizeof(float) * w);
        }
        Zoltcfree(buf);
        Zoltcfree(taps);
    });
    return ok;
}

// Direct 2-D correlation of one W x H frame padded by r on every side.
void directFrame(const float *pad, float *dst, int W, int H, int r, const float *kernel) {
    const int n = 2 * r + 1;
    const size_t pw = static_cast<size_t>(W) + 2 * static_cast<size_t>(r);
    ZoltSplitWork(static_cast<size_t>(H), minParallelRows(W, n * n), [&](size_t first, size_t end) {
        for (size_t y = first; y < end; ++y)
            for (int x = 0; x < W; ++x) {
                float sum = 0.0f;
                for (int dy = 0; dy < n; ++dy) {
                    const float *p = pad + (y + dy) * pw + x;
                    const float *k = kernel + static_cast<size_t>(dy) * n;
                    for (int dx = 0; dx < n; ++dx) sum += k[dx] * p[dx];
                }
                dst[y * W + x] = sum;
            }
    });
}

// Output accepted by flDoG: the input's columns, rows and frames, pixel data,
// and a type the pixel put calls can store.
bool outputFits(const ZoltHeader *out, const Shape &in) {
    Shape s;
    if (!flimage::shapeOf(out, &s) || !out->oltptr) return false;
    if (s.cols != in.cols || s.rows != in.rows || s.frames != in.frames) return false;
    return Zoltplaintype(out->dtype);
}

}  // namespace

int flDoGradius(float sigma) {
    const double r = 1.0 + std::trunc(3.0 * std::fabs(double(sigma)));
    // Larger radii than this never fit an image; keep 4r + 2 inside an int.
    const double most = std::numeric_limits<int>::max() / 8;
    return r < most ? static_cast<int>(r) : static_cast<int>(most);
}

ZoltHeader *flpad(const ZoltHeader *image, int rowpad, int colpad, int frame) {
    ZoltDepthGuard depth;
    Shape s;
    if (!flimage::isFloat(image) || !flimage::shapeOf(image, &s)) {
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext("flpad: image must be float");
        return nullptr;
    }
    if (rowpad < 0 || colpad < 0 || frame < 0 || frame >= s.frames ||
        rowpad > (std::numeric_limits<int>::max() - s.rows) / 2 ||
        colpad > (std::numeric_limits<int>::max() - s.cols) / 2) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("flpad: padding or frame out of range");
        return nullptr;
    }
    const int W = s.cols, H = s.rows;
    const int PW = W + 2 * colpad, PH = H + 2 * rowpad;
    const int dims[3] = {2, PW, PH};
    ZoltHeader *pad = Zoltcreate("float", dims, 11, 0);
    if (!pad) return nullptr;
    const float *src = flimage::data(image) + static_cast<size_t>(frame) * s.frameSize();
    float *dst = flimage::data(pad);
    for (int y = 0; y < H; ++y) {
        const float *in = src + static_cast<size_t>(y) * W;
        float *row = dst + static_cast<size_t>(y + rowpad) * PW;
        for (int x = 0; x < colpad; ++x) row[x] = in[0];
        std::memcpy(row + colpad, in, sizeof(float) * static_cast<size_t>(W));
        for (int x = colpad + W; x < PW; ++x) row[x] = in[W - 1];
    }
    const size_t rowBytes = sizeof(float) * static_cast<size_t>(PW);
    for (int y = 0; y < rowpad; ++y) {
        std::memcpy(dst + static_cast<size_t>(y) * PW, dst + static_cast<size_t>(rowpad) * PW, rowBytes);
        std::memcpy(dst + static_cast<size_t>(rowpad + H + y) * PW, dst + static_cast<size_t>(rowpad + H - 1) * PW,
                    rowBytes);
    }
    return pad;
}

int flDoG(const ZoltHeader *input, ZoltHeader *output, float sigma, int order, int direction) {
    ZoltDepthGuard depth;
    int sel = 0;
    if (const int status = checkSelector(order, direction, &sel)) return status;
    if (!std::isfinite(sigma) || sigma == 0.0f) {
        Zoltsay("flDoG: cannot build a kernel for sigma %g. Sorry.\n", double(sigma));
        return FLDOG_SIGMA;
    }
    const int r = flDoGradius(sigma);
    Shape s;
    if (flimage::shapeOf(input, &s) && static_cast<long long>(s.rows) < 4LL * r + 2) {
        Zoltsay("flDoG:kernel is %d x %d, but image is only %d x %d. Exiting\n", r, r, s.rows, s.cols);
        return FLDOG_SHORT;
    }
    if (!flimage::isFloat(input)) {
        Zoltsay("flDoG: Data type of input image MUST be float. Exiting\n");
        return FLDOG_TYPE;
    }
    if (!outputFits(output, s)) {
        Zoltsay("flDoG: output image must have the size of the input. Exiting\n");
        return FLDOG_OUTPUT;
    }

    const int W = s.cols, H = s.rows, n = 2 * r + 1;
    const size_t frameSize = s.frameSize();
    Factors f;
    if (!makeFactors(sel, sigma, r, &f)) return FLDOG_MEMORY;
    if (!kernelFinite(f, r)) {
        Zoltsay("flDoG: cannot build a kernel for sigma %g. Sorry.\n", double(sigma));
        return FLDOG_SIGMA;
    }
    auto *taps = static_cast<float *>(Zoltalc(sizeof(float) * 4 * static_cast<size_t>(n)));
    if (!taps) return FLDOG_MEMORY;

    // The separable factors as floats, rows hk then vk, or the full kernel.
    float *kernel = nullptr;
    float *hk = taps, *vk = taps + 2 * n;
    if (f.squared) {
        kernel = static_cast<float *>(Zoltalc(sizeof(float) * static_cast<size_t>(n) * n));
        if (kernel) fillKernel(f, r, kernel);
    } else {
        for (int t = 0; t < f.terms; ++t)
            for (int i = 0; i < n; ++i) {
                hk[t * n + i] = static_cast<float>(f.h[t][i]);
                vk[t * n + i] = static_cast<float>(f.v[t][i]);
            }
    }

    // The output goes straight into a float output that does not share the
    // input's pixels; otherwise through a frame buffer.
    const bool direct = output->dtype == ZOLT_F32 && output->oltptr != input->oltptr;
    float *frameBuf = direct ? nullptr : static_cast<float *>(Zoltalc(sizeof(float) * frameSize));
    if ((f.squared && !kernel) || (!direct && !frameBuf)) {
        Zoltcfree(kernel);
        Zoltcfree(frameBuf);
        Zoltcfree(taps);
        return FLDOG_MEMORY;
    }

    int status = 0;
    for (int frame = 0; frame < s.frames && status == 0; ++frame) {
        const float *src = flimage::data(input) + frame * frameSize;
        float *dst = direct ? flimage::data(output) + frame * frameSize : frameBuf;
        if (f.squared) {
            ZoltHeader *pad = flpad(input, r, r, frame);
            if (!pad) {
                status = FLDOG_MEMORY;
                break;
            }
            directFrame(flimage::data(pad), dst, W, H, r, kernel);
            Zoltfree(pad, 7);
        } else {
            for (int t = 0; t < f.terms && status == 0; ++t)
                if (!separableFrame(src, dst, W, H, r, hk + t * n, vk + t * n, f.rowsFirst[t], t > 0))
                    status = FLDOG_MEMORY;
        }
        if (direct) continue;
        if (output->dtype == ZOLT_F32) {
            std::memcpy(flimage::data(output) + frame * frameSize, frameBuf, sizeof(float) * frameSize);
        } else {
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) Zoltfpp3d(output, frame, y, x, frameBuf[static_cast<size_t>(y) * W + x]);
        }
    }
    Zoltcfree(kernel);
    Zoltcfree(frameBuf);
    Zoltcfree(taps);
    return status;
}
