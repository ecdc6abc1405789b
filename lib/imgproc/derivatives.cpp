// Operations built from Gaussian derivatives: curvature, Harris, Laplacian,
// quadratic variation, gradient magnitude and direction, local maxima. Each
// takes its derivatives with flDoG into temporary float images of the input's
// size and combines them element by element (the curvature in one pass), so
// frames stay independent.
#include "derivatives.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "elementwise.h"
#include "flimage.h"
#include "gauss.h"
#include "vidscale.h"
#include "bands.h"

namespace {

constexpr int kNoMemory = FLDOG_MEMORY;

// A derivative to take: order and direction of flDoG.
struct Deriv {
    int order, direction;
};

// Up to six zero-filled float images of the input's dimensions, released on
// leaving the scope; the first ones receive the listed derivatives of the
// input, status keeps the first failure of the filter.
struct Temps {
    ZoltHeader *h[6] = {};
    bool ok = true;
    int status = 0;
    Temps(const ZoltHeader *in, int count, float sigma = 0.0f, std::initializer_list<Deriv> take = {}) {
        for (int i = 0; i < count; ++i) ok = (h[i] = flimage::floatLike(in)) != nullptr && ok;
        int i = 0;
        for (const Deriv &d : take) {
            if (!ok) break;
            const int result = flDoG(in, h[i++], sigma, d.order, d.direction);
            if (result != 0 && status == 0) status = result;
        }
    }
    ~Temps() {
        for (ZoltHeader *t : h)
            if (t) Zoltfree(t, 7);
    }
    Temps(const Temps &) = delete;
    Temps &operator=(const Temps &) = delete;
    ZoltHeader *operator[](int i) const { return h[i]; }
};

constexpr Deriv kDx = {1, 0}, kDy = {1, 1}, kDxx = {2, 0}, kDyy = {2, 1}, kDxy = {2, 2};

// An output the routines that check nothing of their own can write: a float
// image with the input's columns and rows and at least `frames` frames.
int checkTarget(const ZoltHeader *in, const ZoltHeader *out, int frames) {
    flimage::Shape si, so;
    if (!flimage::shapeOf(in, &si)) return -1;
    if (!flimage::isFloat(out)) return -1;
    flimage::shapeOf(out, &so);
    return so.cols == si.cols && so.rows == si.rows && so.frames >= frames ? 0 : -2;
}

}  // namespace

int flcurv(const ZoltHeader *input, ZoltHeader *output, float sigma) {
    ZoltDepthGuard depth;
    if (const int status = flimage::checkPair(input, output)) return status;
    Temps t(input, 5, sigma, {kDx, kDy, kDxx, kDyy, kDxy});
    if (!t.ok) return kNoMemory;
    const float *ix = flimage::data(t[0]), *iy = flimage::data(t[1]), *ixx = flimage::data(t[2]),
                *iyy = flimage::data(t[3]), *ixy = flimage::data(t[4]);
    float *out = flimage::data(output);
    // One pass doing, element by element, the single-precision steps of the
    // element-wise routines in their order: numerator Ixx Iy^2 + (-2 Ix Iy Ixy)
    // + Iyy Ix^2, denominator (Ix^2 + Iy^2) sqrt(Ix^2 + Iy^2) + 0.01.
    std::atomic<bool> negative{false};
    ZoltSplitWork(flimage::count(input), size_t(1) << 18, [&](size_t first, size_t end) {
        for (size_t i = first; i < end; ++i) {
            const float iy2 = iy[i] * iy[i];
            const float cross = -2.0f * ((ix[i] * iy[i]) * ixy[i]);
            const float ix2 = ix[i] * ix[i];
            const float numerator = (ixx[i] * iy2 + cross) + iyy[i] * ix2;
            const float sum = ix2 + iy2;  // a sum of squares: never below 0
            if (sum < 0.0f) negative = true;
            out[i] = numerator / (std::sqrt(sum) * sum + 0.01f);
        }
    });
    if (negative) Zoltsay("temp is negative\n");
    return t.status;
}

int flharris(const ZoltHeader *input, ZoltHeader *output, float sigma) {
    ZoltDepthGuard depth;
    flimage::Shape s;
    flimage::shapeOf(input, &s);
    // every frame of the input is written into the output frame of its number
    if (const int status = checkTarget(input, output, s.frames)) return status;
    Temps t(input, 2, sigma, {kDx, kDy});
    if (!t.ok) return kNoMemory;
    const int W = s.cols, H = s.rows;
    for (int f = 0; f < s.frames; ++f) {
        const float *ix = flimage::data(t[0]) + f * s.frameSize();
        const float *iy = flimage::data(t[1]) + f * s.frameSize();
        float *out = flimage::data(output) + f * s.frameSize();
        for (int y = 1; y < H - 1; ++y)
            for (int x = 1; x < W - 1; ++x) {
                float sxx = 0, syy = 0, sxy = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const size_t i = static_cast<size_t>(y + dy) * W + (x + dx);
                        sxx += ix[i] * ix[i];
                        syy += iy[i] * iy[i];
                        sxy += ix[i] * iy[i];
                    }
                sxx /= 9.0f;
                syy /= 9.0f;
                sxy /= 9.0f;
                const float trace = sxx + syy;
                out[static_cast<size_t>(y) * W + x] =
                    static_cast<float>(sxx * syy - sxy * sxy - 0.07 * trace * trace);
            }
    }
    return t.status;
}

int fllaplace(const ZoltHeader *input, ZoltHeader *output, float sigma) {
    ZoltDepthGuard depth;
    if (const int status = flimage::checkPair(input, output)) return status;
    Temps t(input, 2, sigma < 0 ? -sigma : sigma, {kDxx, kDyy});
    if (!t.ok) return kNoMemory;
    if (sigma < 0) {
        flmul(t[0], t[0], t[0]);
        flmul(t[1], t[1], t[1]);
    }
    fladd(t[0], t[1], output);
    return t.status;
}

int flqvar(const ZoltHeader *input, ZoltHeader *output, float sigma) {
    ZoltDepthGuard depth;
    if (const int status = flimage::checkPair(input, output)) return status;
    Temps t(input, 3);
    if (!t.ok) return kNoMemory;
    int status = flDoG(input, t[0], sigma, 2, 0);
    if (status != 0) Zoltsay("non zero value returned from flDoG2,0\n");
    int next = flDoG(input, t[1], sigma, 2, 1);
    if (next != 0) Zoltsay("non zero value returned from flDoG2,1\n");
    if (status == 0) status = next;
    next = flDoG(input, t[2], sigma, 2, 2);
    if (next != 0) Zoltsay("value %d returned from flDoG2,2\n", next);
    if (status == 0) status = next;
    for (int i = 0; i < 3; ++i) flmul(t[i], t[i], t[i]);
    fladd(t[0], t[1], output);
    fladd(output, t[2], output);
    flscale(output, output, sigma * sigma);
    return status;
}

int flgmag(const ZoltHeader *input, ZoltHeader *output, float sigma) {
    ZoltDepthGuard depth;
    if (const int status = flimage::checkPair(input, output)) return status;
    Temps t(input, 2, sigma, {kDx, kDy});
    if (!t.ok) return kNoMemory;
    flmul(t[0], t[0], t[0]);
    flmul(t[1], t[1], t[1]);
    fladd(t[0], t[1], t[0]);
    flsgrt(t[0], output);
    return t.status;
}

int flgdir(const ZoltHeader *input, ZoltHeader *output, float sigma) {
    ZoltDepthGuard depth;
    if (const int status = flimage::checkPair(input, output)) return status;
    Temps t(input, 2, sigma, {kDx, kDy});
    if (!t.ok) return kNoMemory;
    flatan2(t[1], t[0], output);
    return t.status;
}

int flmarkmax(const ZoltHeader *input, ZoltHeader *output, float sigma) {
    ZoltDepthGuard depth;
    if (const int status = checkTarget(input, output, 3)) return status;
    flimage::Shape s;
    flimage::shapeOf(input, &s);
    const int dims[4] = {s.ndim, s.cols, s.rows, s.frames};
    ZoltHeader *bytes = Zoltcreate("u8bit", dims, 11, 0);
    if (!bytes) return kNoMemory;
    int status = 0;
    if (sigma != 0.0f) {
        Temps blurred(input, 1, sigma, {{0, 0}});
        if (!blurred.ok) {
            Zoltfree(bytes, 7);
            return kNoMemory;
        }
        status = blurred.status;
        Zoltvidscale(blurred[0], bytes, nullptr, nullptr, 0);
    } else {
        Zoltvidscale(input, bytes, nullptr, nullptr, 0);
    }

    const int W = s.cols, H = s.rows, F = s.frames;
    const size_t plane = s.frameSize();
    const auto *v8 = static_cast<const unsigned char *>(bytes->oltptr);
    float *out = flimage::data(output);
    if (s.ndim < 3) Zoltsay("starting..\n");
    // Every frame's pass rewrites all three output frames, so the last frame's
    // test decides; a 3-D input of fewer than 3 frames lends its last frame to
    // the colours it lacks.
    const unsigned char *test = v8 + static_cast<size_t>(F - 1) * plane;
    const unsigned char *colour[3];
    for (int c = 0; c < 3; ++c) colour[c] = v8 + static_cast<size_t>(c < F ? c : F - 1) * plane;
    for (int y = 1; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x) {
            const size_t i = static_cast<size_t>(y) * W + x;
            const unsigned char v = test[i];
            bool peak = true;
            for (int dy = -1; dy <= 1 && peak; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if ((dx || dy) && test[i + static_cast<ptrdiff_t>(dy) * W + dx] >= v) {
                        peak = false;
                        break;
                    }
            for (int c = 0; c < 3; ++c)
                out[c * plane + i] = peak ? (c == 0 ? 255.0f : 0.0f) : colour[c][i];
        }
    Zoltfree(bytes, 7);
    return status;
}
