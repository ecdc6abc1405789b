// Window sums of a template over an image through double-precision Fourier
// transforms of square tiles: each tile's spectrum times the conjugate of the
// template's gives the sums of every window wholly inside the tile. Two tiles
// ride in one complex transform (one as real, one as imaginary part), since
// the template is real. Radix 2, on separate real and imaginary planes, every
// butterfly a run along a row so that it runs in vector registers.
#include "corrtransform.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <vector>

#include "bands.h"
#include "cpufeatures.h"

namespace corrtransform {

namespace {

// Processor time, timed on this machine: per pair of tiles of side P about
// butterflyNs(P) x P^2 log2 P (more per butterfly once a tile outgrows the
// caches); per position of the direct sums kPositionNs plus kMultiplyAddNs
// per template pixel.
double butterflyNs(int P) { return P <= 256 ? 1.5 : P <= 512 ? 2.2 : P <= 1024 ? 3.4 : 4.4; }
constexpr double kPositionNs = 4.0;
constexpr double kMultiplyAddNs = 0.018;

constexpr int kBlock = 64;  // columns per block of the column passes

struct Twiddles {
    int n, log2n = 0;
    size_t ld;  // row stride of the planes: a little over n, so that a column's values do not share cache sets
    std::vector<int> rev;
    std::vector<double> re, im;  // exp(-i pi j / f) at f + j
    explicit Twiddles(int points) : n(points), ld(points + 8), rev(points), re(points), im(points) {
        while ((1 << log2n) < n) ++log2n;
        for (int i = 0; i < n; ++i) {
            int r = 0;
            for (int b = 0; b < log2n; ++b)
                if (i & (1 << b)) r |= 1 << (log2n - 1 - b);
            rev[i] = r;
        }
        const double pi = 3.14159265358979323846;
        for (int f = 1; f < n; f *= 2)
            for (int j = 0; j < f; ++j) {
                re[f + j] = std::cos(pi * j / f);
                im[f + j] = -std::sin(pi * j / f);
            }
    }
};

// a <- a + w b, b <- a - w b over `count` values of two rows.
__attribute__((always_inline)) inline void butterflies(
    double *__restrict ar, double *__restrict ai, double *__restrict br, double *__restrict bi, int count,
    double wr, double wi) {
    for (int k = 0; k < count; ++k) {
        const double tr = br[k] * wr - bi[k] * wi, ti = br[k] * wi + bi[k] * wr;
        br[k] = ar[k] - tr;
        bi[k] = ai[k] - ti;
        ar[k] += tr;
        ai[k] += ti;
    }
}

// The 1-D transform of every column of an n x n plane pair, columns taken in
// blocks that stay in cache; `sign` -1 forward, 1 inverse (unscaled).
ZOLT_CLONES("avx512f", "avx2", "default") void columnPass(double *re, double *im,
                                                                             const Twiddles &t, int sign) {
    const int n = t.n;
    for (int c0 = 0; c0 < n; c0 += kBlock) {
        const int width = std::min(kBlock, n - c0);
        auto r = [&](double *p, int row) { return p + row * t.ld + c0; };
        for (int i = 0; i < n; ++i) {
            const int j = t.rev[i];
            if (i < j) {
                std::swap_ranges(r(re, i), r(re, i) + width, r(re, j));
                std::swap_ranges(r(im, i), r(im, i) + width, r(im, j));
            }
        }
        for (int i = 0; i + 1 < n; i += 2) butterflies(r(re, i), r(im, i), r(re, i + 1), r(im, i + 1), width, 1, 0);
        for (int f = 2; f < n; f *= 2)
            for (int j = 0; j < f; ++j) {
                const double wr = t.re[f + j], wi = -sign * t.im[f + j];
                if (width == kBlock)  // a fixed count, unrolled
                    for (int i = j; i < n; i += 2 * f)
                        butterflies(r(re, i), r(im, i), r(re, i + f), r(im, i + f), kBlock, wr, wi);
                else
                    for (int i = j; i < n; i += 2 * f)
                        butterflies(r(re, i), r(im, i), r(re, i + f), r(im, i + f), width, wr, wi);
            }
    }
}

void transpose(double *p, int n, size_t ld) {
    constexpr int B = 16;
    for (int i0 = 0; i0 < n; i0 += B)
        for (int j0 = i0; j0 < n; j0 += B)
            for (int i = i0; i < std::min(i0 + B, n); ++i)
                for (int j = std::max(j0, i + 1); j < std::min(j0 + B, n); ++j) std::swap(p[i * ld + j], p[j * ld + i]);
}

// Forward 2-D transform; the spectrum is left transposed.
void forward(double *re, double *im, const Twiddles &t) {
    columnPass(re, im, t, -1);
    transpose(re, t.n, t.ld);
    transpose(im, t.n, t.ld);
    columnPass(re, im, t, -1);
}

// Inverse of a transposed spectrum, scaled by 1 / n^2.
void inverse(double *re, double *im, const Twiddles &t) {
    columnPass(re, im, t, 1);
    transpose(re, t.n, t.ld);
    transpose(im, t.n, t.ld);
    columnPass(re, im, t, 1);
}

// x <- x conj(s) / n, over every value.
ZOLT_CLONES("avx512f", "avx2", "default") void multiplyConjugate(
    double *__restrict xr, double *__restrict xi, const double *__restrict sr, const double *__restrict si,
    size_t n, double scale) {
    for (size_t k = 0; k < n; ++k) {
        const double r = xr[k] * sr[k] + xi[k] * si[k], i = xi[k] * sr[k] - xr[k] * si[k];
        xr[k] = r * scale;
        xi[k] = i * scale;
    }
}

// Copies the tile of the image at (r0, c0) into plane p (zeros beyond the image).
void fill(double *p, int n, size_t ld, const float *image, int rows1, int cols1, int r0, int c0) {
    for (int a = 0; a < n; ++a) {
        double *row = p + a * ld;
        const int r = r0 + a;
        const int w = r < rows1 && c0 < cols1 ? std::min(n, cols1 - c0) : 0;
        const float *from = image + static_cast<size_t>(r) * cols1 + c0;
        for (int b = 0; b < w; ++b) row[b] = from[b];
        std::fill(row + w, row + n, 0.0);
    }
}

struct Sizes {
    int strips, tilesPerStrip, V, U;
};

Sizes sizesOf(int rows1, int cols1, int rows2, int cols2, int P) {
    Sizes s{0, 0, P - rows2 + 1, P - cols2 + 1};
    const int H = rows1 - rows2 + 1, W = cols1 - cols2 + 1;
    if (s.V < 1 || s.U < 1 || H < 1 || W < 1) return s;
    s.strips = (H + s.V - 1) / s.V;
    s.tilesPerStrip = (W + s.U - 1) / s.U;
    return s;
}

}  // namespace

double directCost(int rows1, int cols1, int rows2, int cols2) {
    const double H = rows1 - rows2 + 1, W = cols1 - cols2 + 1;
    return H * W * (kPositionNs + static_cast<double>(rows2) * cols2 * kMultiplyAddNs);
}

int bestTile(int rows1, int cols1, int rows2, int cols2, double *nanoseconds) {
    int best = 0;
    double cost = 0;
    for (int P = 16; P <= 8192; P *= 2) {
        const Sizes s = sizesOf(rows1, cols1, rows2, cols2, P);
        if (s.strips == 0) continue;
        int log2P = 0;
        while ((1 << log2P) < P) ++log2P;
        const double pairs = static_cast<double>(s.strips) * ((s.tilesPerStrip + 1) / 2);
        // every pair of tiles, and the template's own transform
        const double c = (pairs + 0.5) * butterflyNs(P) * P * static_cast<double>(P) * log2P;
        if (best == 0 || c < cost) {
            best = P;
            cost = c;
        }
        if (P >= 2 * std::max(rows1, cols1)) break;
    }
    if (nanoseconds) *nanoseconds = cost;
    return best;
}

bool windowSums(const float *image, int rows1, int cols1, const float *tmpl, int rows2, int cols2, int tile,
                int threads,
                const std::function<void(int first, int end, const double *sums, bool caller)> &done) {
    const int P = tile, H = rows1 - rows2 + 1, W = cols1 - cols2 + 1;
    const Sizes s = sizesOf(rows1, cols1, rows2, cols2, P);
    if (s.strips == 0) return true;
    const Twiddles t(P);
    const size_t p2 = t.ld * P;
    std::vector<double> sr, si;
    try {
        sr.assign(p2, 0.0);
        si.assign(p2, 0.0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    fill(sr.data(), P, t.ld, tmpl, rows2, cols2, 0, 0);
    forward(sr.data(), si.data(), t);
    const double scale = 1.0 / (static_cast<double>(P) * P);

    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    bands::split(static_cast<size_t>(std::max(1, threads)), std::max(1, threads), [&](int band, size_t, size_t) {
        std::vector<double> re, im, sums;
        try {
            re.resize(p2);
            im.resize(p2);
            sums.resize(static_cast<size_t>(s.V) * W);
        } catch (const std::bad_alloc &) {
            failed = true;
            return;
        }
        for (int strip = next++; strip < s.strips && !failed; strip = next++) {
            const int r0 = strip * s.V, rows = std::min(s.V, H - r0);
            for (int k = 0; k < s.tilesPerStrip; k += 2) {
                const int cA = k * s.U, cB = (k + 1) * s.U;
                const bool two = k + 1 < s.tilesPerStrip;
                fill(re.data(), P, t.ld, image, rows1, cols1, r0, cA);
                if (two)
                    fill(im.data(), P, t.ld, image, rows1, cols1, r0, cB);
                else
                    std::fill(im.begin(), im.end(), 0.0);
                forward(re.data(), im.data(), t);
                multiplyConjugate(re.data(), im.data(), sr.data(), si.data(), p2, scale);
                inverse(re.data(), im.data(), t);
                for (int a = 0; a < rows; ++a) {
                    double *to = sums.data() + static_cast<size_t>(a) * W;
                    const double *fromA = re.data() + a * t.ld;
                    std::copy(fromA, fromA + std::min(s.U, W - cA), to + cA);
                    if (two) {
                        const double *fromB = im.data() + a * t.ld;
                        std::copy(fromB, fromB + std::min(s.U, W - cB), to + cB);
                    }
                }
            }
            done(r0, r0 + rows, sums.data(), band == 0);
        }
    });
    return !failed;
}

}  // namespace corrtransform
