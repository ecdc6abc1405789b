// Test reference for the Gaussian-derivative filters: the kernel coefficients
// straight from their formulas and a direct correlation with the border
// replicated by clamping coordinates, in double precision (or, for
// comparison, the plain single-precision sum with the kernel stored as float).
#ifndef TESTS_DOG_REFERENCE_H
#define TESTS_DOG_REFERENCE_H

#include <cmath>
#include <cstddef>
#include <vector>

namespace dogref {

// Kernel coefficient at (dx, dy) for an order and direction (0 x, 1 y, 2 xy,
// 3 sum of the second derivatives).
inline double coef(double sigma, int order, int dir, int dx, int dy) {
    const double s = sigma * sigma, c = 2 * 3.14159265358979323846;
    const double G = std::exp(-(dx * dx + dy * dy) / (2 * s));
    const double x = dx, y = dy;
    switch (order + 4 * dir) {
    case 0: return G / (c * s);
    case 1: return -G * x / (c * s * s);
    case 2: return (x * x / (c * s * s * s) - 1 / (c * s * s)) * G;
    case 3: return (3 * x / (c * s * s * s) - x * x * x / (c * s * s * s * s)) * G;
    case 4: return G;
    case 5: return -G * y / (c * s * s);
    case 6: return (y * y / (c * s * s * s) - 1 / (c * s * s)) * G;
    case 7: return (3 * y / (c * s * s * s) - y * y * y / (c * s * s * s * s)) * G;
    case 10: return x * y * G / (c * s * s * s);
    case 12: {
        const double v = (x * x / (c * s * s * s) - 1 / (c * s * s) + y * y / (c * s * s * s) - 1 / (c * s * s)) * G;
        return sigma < 0 ? v * v : v;
    }
    }
    return NAN;
}

inline int radius(double sigma) { return 1 + static_cast<int>(3 * std::fabs(sigma)); }

inline int clampi(int v, int n) { return v < 0 ? 0 : (v >= n ? n - 1 : v); }

// The correlation at one pixel (x, y) of a W x H frame.
inline double pixel(const float *in, int W, int H, double sigma, int order, int dir, int x, int y,
                    bool single = false) {
    const int r = radius(sigma);
    double sum = 0;
    float fsum = 0;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const double k = coef(sigma, order, dir, dx, dy);
            const float p = in[clampi(y + dy, H) * W + clampi(x + dx, W)];
            if (single)
                fsum += static_cast<float>(k) * p;
            else
                sum += k * p;
        }
    return single ? fsum : sum;
}

// Correlation of one W x H frame with the kernel.
inline std::vector<double> correlate(const float *in, int W, int H, double sigma, int order, int dir,
                                     bool single = false) {
    std::vector<double> out(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) out[static_cast<size_t>(y) * W + x] = pixel(in, W, H, sigma, order, dir, x, y, single);
    return out;
}

// Largest magnitude of a result, at least floor: the scale for tolerances.
inline double magnitude(const std::vector<double> &v, double floor = 1e-3) {
    for (double x : v) floor = std::max(floor, std::fabs(x));
    return floor;
}

}  // namespace dogref

#endif
