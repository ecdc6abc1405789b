// Per-pixel operations over the raw element arrays of "32flt" images:
// clipped exponential, inversion about the largest element, natural logarithm,
// absolute value, and colour to grey (which reads any pixel type).
#include "pointops.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "flimage.h"

int flexp(const ZoltHeader *input, ZoltHeader *output, float scale) {
    return flimage::map(input, output, [scale](float x) {
        const double v = std::exp(double(x) / double(scale));
        return static_cast<float>(v < 255.0 ? v : 255.0);
    });
}

int flinv(const ZoltHeader *input, ZoltHeader *output) {
    if (const int status = flimage::checkPair(input, output)) return status;
    const float *p = flimage::data(input);
    const size_t n = flimage::count(input);
    // The extremes of the values themselves (not-a-number elements aside).
    float hi = -std::numeric_limits<float>::infinity(), lo = std::numeric_limits<float>::infinity();
    for (size_t i = 0; i < n; ++i) {
        if (p[i] > hi) hi = p[i];
        if (p[i] < lo) lo = p[i];
    }
    if (hi < lo) hi = lo = std::numeric_limits<float>::quiet_NaN();
    Zoltsay("flinv: max = %f min=%f\n", double(hi), double(lo));
    float *o = flimage::data(output);
    for (size_t i = 0; i < n; ++i) o[i] = hi - p[i];
    return 0;
}

int flln(const ZoltHeader *input, ZoltHeader *output) {
    bool allPositive = true;
    const int status = flimage::map(input, output, [&allPositive](float x) {
        if (x > 0.0f) return std::log(x);
        allPositive = false;
        return 0.0f;
    });
    if (status) return status;
    return allPositive ? -1 : -2;
}

int flabs(const ZoltHeader *input, ZoltHeader *output) {
    return flimage::map(input, output, [](float x) { return std::fabs(x); });
}

int clr2gray(const ZoltHeader *input, ZoltHeader *&output) {
    ZoltDepthGuard depth;
    flimage::Shape si, so;
    if (!flimage::shapeOf(output, &so) || so.ndim != 2) return -4;
    const bool shaped = flimage::shapeOf(input, &si) && input->oltptr && input->dtype != ZOLT_STRUCT;
    if (shaped && so.cols != si.cols) return -6;
    if (shaped && so.rows != si.rows) return -5;
    // A 3-D input needs the three colour frames; fewer would be read past the
    // end of the image.
    if (!shaped || !(si.ndim == 2 || (si.ndim == 3 && si.frames >= 3))) {
        Zoltsay("Input must be a 3D 3 frame Zolt image\n");
        Zoltsay("or a 2D 1 frame Zolt image\n");
        return -3;
    }
    // A non-float output is replaced by a float one, released only once the
    // grey values are written, so an output that is also the input is still
    // there to be read.
    ZoltHeader *target = output;
    if (!flimage::isFloat(output)) {
        target = flimage::floatLike(output);
        if (!target) return -7;
    }
    float *o = flimage::data(target);
    const size_t plane = si.frameSize();
    const int channels = si.ndim == 3 ? 3 : 1;
    const bool floatIn = flimage::isFloat(input);
    for (int y = 0; y < si.rows; ++y)
        for (int x = 0; x < si.cols; ++x) {
            const size_t i = static_cast<size_t>(y) * si.cols + x;
            double rgb[3];
            for (int c = 0; c < channels; ++c)
                rgb[c] = floatIn ? flimage::data(input)[c * plane + i] : Zoltfgp3d(input, c, y, x);
            for (int c = channels; c < 3; ++c) rgb[c] = rgb[0];
            o[i] = static_cast<float>(0.21 * rgb[0] + 0.72 * rgb[1] + 0.07 * rgb[2]);
        }
    if (target != output) {
        Zoltfree(output, 7);
        output = target;
    }
    return 0;
}
