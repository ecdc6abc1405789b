// Histograms of oriented gradients: the direction of the sigma-1 Gaussian
// gradient of every pixel of the whole 8 x 8 cells is counted in nine
// 40-degree bins per cell (not weighted by magnitude); the picture draws each
// cell's bins as 9-point lines through its block centre.
#include "hog.h"

#include <algorithm>
#include <cmath>

#include "flimage.h"
#include "gauss.h"

namespace {

constexpr int kBins = 9;

// The top-left whole cells of the input as a float image of its frames.
ZoltHeader *cellPart(const ZoltHeader *in, const flimage::Shape &s, int cw, int ch) {
    const int dims2[3] = {2, cw, ch};
    const int dims3[4] = {3, cw, ch, s.frames};
    ZoltHeader *part = Zoltcreate("float", s.ndim == 3 ? dims3 : dims2, 11, 0);
    if (!part) return nullptr;
    const bool floatIn = flimage::isFloat(in);
    float *dst = flimage::data(part);
    for (int f = 0; f < s.frames; ++f)
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                *dst++ = floatIn ? flimage::data(in)[f * s.frameSize() + static_cast<size_t>(y) * s.cols + x]
                                 : static_cast<float>(Zoltfgp3d(in, f, y, x));
    return part;
}

}  // namespace

int flhogbin(float radians) {
    float degrees = radians * 57.2958f;
    if (degrees < 0.0f) degrees += 360.0f;
    if (!(degrees >= 0.0f && degrees < 360.0f)) return 0;
    const int bin = static_cast<int>(degrees / 40.0f);
    return bin < kBins ? bin : 0;
}

int flhog(const ZoltHeader *input, ZoltHeader *output) {
    ZoltDepthGuard depth;
    flimage::Shape s, so;
    if (!flimage::shapeOf(input, &s) || !input->oltptr || input->dtype == ZOLT_STRUCT) return 0;
    if (!(s.ndim == 2 || (s.ndim == 3 && s.frames == 3))) return 0;
    if (!flimage::isFloat(output)) return -1;
    flimage::shapeOf(output, &so);
    const int cols = s.cols / 8, rows = s.rows / 8;
    if (so.ndim != 3 || so.cols != cols || so.rows != rows || so.frames != kBins) return -2;

    ZoltHeader *part = cellPart(input, s, cols * 8, rows * 8);
    ZoltHeader *ix = part ? flimage::floatLike(part) : nullptr;
    ZoltHeader *iy = part ? flimage::floatLike(part) : nullptr;
    if (!ix || !iy) {
        for (ZoltHeader *h : {part, ix, iy})
            if (h) Zoltfree(h, 7);
        return FLDOG_MEMORY;
    }
    flDoG(part, ix, 1.0f, 1, 0);
    flDoG(part, iy, 1.0f, 1, 1);

    const int cw = cols * 8;
    const size_t plane = static_cast<size_t>(cw) * (rows * 8);
    const float *gx = flimage::data(ix), *gy = flimage::data(iy);
    float *count = flimage::data(output);
    const size_t cells = static_cast<size_t>(cols) * rows;
    for (int y = 0; y < rows * 8; ++y)
        for (int x = 0; x < cw; ++x) {
            const size_t i = static_cast<size_t>(y) * cw + x;
            float dx = gx[i], dy = gy[i];
            if (s.ndim == 3) {  // the direction of the mean derivatives of the three frames
                dx = (gx[i] + gx[i + plane] + gx[i + 2 * plane]) / 3.0f;
                dy = (gy[i] + gy[i + plane] + gy[i + 2 * plane]) / 3.0f;
            }
            float &c = count[flhogbin(std::atan2(dy, dx)) * cells + static_cast<size_t>(y / 8) * cols + x / 8];
            c = static_cast<float>(static_cast<int>(c) + 1);
        }
    Zoltfree(part, 7);
    Zoltfree(ix, 7);
    Zoltfree(iy, 7);
    return 0;
}

int flhogshow(const ZoltHeader *input, ZoltHeader *output) {
    flimage::Shape si, so;
    if (!flimage::isFloat(input) || !flimage::isFloat(output)) return -1;
    flimage::shapeOf(input, &si);
    flimage::shapeOf(output, &so);
    if (si.ndim != 3 || si.frames != kBins || so.ndim != 2) return -2;
    const float *counts = flimage::data(input);
    float *out = flimage::data(output);
    const double step = 40.0 * 3.14159265358979323846 / 180.0;
    const auto put = [&](int row, int col, float v) {
        if (row >= 0 && row < so.rows && col >= 0 && col < so.cols) out[static_cast<size_t>(row) * so.cols + col] = v;
    };
    for (int i = 0; i < si.rows; ++i)
        for (int j = 0; j < si.cols; ++j) {
            int order[kBins];
            float value[kBins];
            for (int k = 0; k < kBins; ++k) {
                order[k] = k;
                value[k] = counts[k * si.frameSize() + static_cast<size_t>(i) * si.cols + j];
                if (std::isnan(value[k])) value[k] = 0.0f;  // nothing to draw, and keeps the sort sound
            }
            std::stable_sort(order, order + kBins, [&](int a, int b) { return value[a] < value[b]; });
            const double cr = 9.0 * i + 4, cc = 9.0 * j + 4;
            for (int k : order) {
                if (value[k] == 0.0f) continue;
                const double sn = std::sin(k * step), cs = std::cos(k * step);
                for (int d = -4; d <= 4; ++d) {
                    const int row = static_cast<int>(cr + d * sn), col = static_cast<int>(cc + d * cs);
                    put(row, col, value[k]);
                    put(row + 1, col, value[k]);
                    put(row, col + 1, value[k]);
                }
            }
        }
    return 0;
}
