// zolt pattern OUT [--size N]: writes the synthetic test pattern, an N x N
// (default 256 x 256) "32flt" image with values between about 0 and 250:
//   - a ramp rising from left to right (background 40 .. 100),
//   - concentric rings around a point left of the centre, fading outwards,
//   - four Gaussian blobs of different widths, one of them dark,
//   - a bright square with sharp edges and a thin diagonal line.
// Every feature scales with N, so smaller patterns look alike. The bundled
// sample image data/sample.zol was made with `zolt pattern data/sample.zol`.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "zolt.h"

namespace {

struct Blob {
    double x, y, sigma, height;  // centre and width as fractions of the size
};

const Blob kBlobs[] = {
    {0.75, 0.25, 0.035, 110.0},
    {0.82, 0.70, 0.060, 80.0},
    {0.55, 0.82, 0.020, 140.0},
    {0.30, 0.85, 0.045, -35.0},
};

double patternValue(double x, double y, double n) {
    const double u = x / (n - 1), v = y / (n - 1);
    double value = 40.0 + 60.0 * u;

    const double r = std::hypot(u - 0.35, v - 0.40) * 256.0;  // in pixels of a 256 image
    if (r < 100.0) value += 60.0 * (0.5 + 0.5 * std::cos(2.0 * M_PI * r / 16.0)) * std::exp(-r / 60.0);

    for (const Blob &b : kBlobs) {
        const double d2 = (u - b.x) * (u - b.x) + (v - b.y) * (v - b.y);
        value += b.height * std::exp(-d2 / (2.0 * b.sigma * b.sigma));
    }
    if (u >= 0.62 && u < 0.72 && v >= 0.42 && v < 0.52) value += 70.0;
    if (std::fabs(u - v - 0.35) < 0.6 / (n - 1)) value += 50.0;  // one pixel wide
    return value;
}

}  // namespace

int zoltPattern(const ZoltToolArgs &args) {
    int n = 256;
    const auto opt = args.options.find("size");
    if (opt != args.options.end()) {
        char *end = nullptr;
        const long v = std::strtol(opt->second.c_str(), &end, 10);
        if (!end || *end || v < 8 || v > 8192) {
            std::fprintf(stderr, "zolt pattern: --size wants a whole number from 8 to 8192\n");
            return 2;
        }
        n = static_cast<int>(v);
    }
    const int dims[] = {2, n, n};
    ZoltHeader *h = Zoltcreate("32flt", dims, 11, 0);
    if (!h) return 1;
    auto *p = static_cast<float *>(h->oltptr);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            p[static_cast<size_t>(y) * n + x] = static_cast<float>(patternValue(x, y, n));
    const int status = Zoltpotlit(h, args.operands[0].c_str()) ? 0 : 1;
    Zoltfree(h, 7);
    return status;
}
