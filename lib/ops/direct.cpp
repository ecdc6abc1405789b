// The operations the mode-1 slots run themselves: histograms of oriented
// gradients and their picture, crop, resize and the copy of a grey image
// into three frames. Each makes its own output except the last.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "flimage.h"
#include "hog.h"
#include "opfuncs.h"
#include "zoom.h"

namespace opfuncs {

namespace {

ZoltHeader *newFloat(int ndim, int cols, int rows, int frames) {
    if (cols < 1 || rows < 1) return nullptr;
    const int dims[4] = {ndim, cols, rows, frames};
    return Zoltcreate("float", dims, 11, 0);
}

// Copies `count` pixels of a row of any readable image, from column `col`,
// into `to`; a 2-D image is its own every frame, a 3-D one repeats its last
// frame past its end. "32flt" images are read straight from their data.
void copyRow(const ZoltHeader *in, const flimage::Shape &s, int frame, int row, int col, int count, float *to) {
    frame = s.ndim < 3 ? 0 : std::min(frame, s.frames - 1);
    if (flimage::isFloat(in)) {
        const float *from = flimage::data(in) + frame * s.frameSize() + static_cast<size_t>(row) * s.cols + col;
        std::copy(from, from + count, to);
        return;
    }
    for (int m = 0; m < count; ++m)
        to[m] = static_cast<float>(s.ndim < 3 ? Zoltfgp(in, row, col + m) : Zoltfgp3d(in, frame, row, col + m));
}

OpOutcome made(ZoltHeader *image, int status) {
    OpOutcome o = statusOnly(status);
    o.made = image;
    return o;
}

}  // namespace

OpOutcome hog(const OpCall &c) {
    flimage::Shape s;
    flimage::shapeOf(c.in1, &s);
    ZoltHeader *out = newFloat(3, s.cols / 8, s.rows / 8, 9);
    if (!out) return refused("The image is too small for histograms of 8 x 8 cells.");
    const int status = flhog(c.in1, out);
    Zoltsay("HoG returned %d\n", status);
    std::fflush(stdout);
    return made(out, status);
}

void showHogCheck(const ZoltHeader *in1, const ZoltHeader *, const ZoltHeader *, OpCheck &result) {
    flimage::Shape s;
    if (!flimage::shapeOf(in1, &s) || s.ndim != 3 || s.frames != 9)
        result.refusal.text = "To view a HoG, input must have 9 frames";
}

OpOutcome showHog(const OpCall &c) {
    flimage::Shape s;
    flimage::shapeOf(c.in1, &s);
    ZoltHeader *out = newFloat(2, s.cols * 9, s.rows * 9, 1);
    if (!out) return statusOnly(-1);
    return made(out, flhogshow(c.in1, out));
}

OpOutcome crop(const OpCall &c) {
    const int x1 = static_cast<int>(c.values.number[0]), y1 = static_cast<int>(c.values.number[1]);
    const int x2 = static_cast<int>(c.values.number[2]), y2 = static_cast<int>(c.values.number[3]);
    const int left = std::min(x1, x2), top = std::min(y1, y2);
    const int width = std::abs(x2 - x1), height = std::abs(y2 - y1);
    flimage::Shape s;
    flimage::shapeOf(c.in1, &s);
    if (width == 0 || height == 0)
        return refused("Crop needs two clicked corners that span at least one column and one row.");
    if (left < 0 || top < 0 || left + width > s.cols || top + height > s.rows)
        return refused("The crop rectangle does not lie inside the input image.");
    const int frames = s.ndim == 3 ? 3 : 1;
    ZoltHeader *out = newFloat(s.ndim == 3 ? 3 : 2, width, height, frames);
    if (!out) return statusOnly(-1);
    float *p = flimage::data(out);
    for (int k = 0; k < frames; ++k)
        for (int l = 0; l < height; ++l, p += width) copyRow(c.in1, s, k, top + l, left, width, p);
    return made(out, 0);
}

OpOutcome resize(const OpCall &c) {
    const double rows = c.values.number[0], cols = c.values.number[1];
    const int mode = static_cast<int>(c.values.number[2]);
    if (mode < 0 || mode > 2) return refused("Interpolation mode must be 0, 1, or 2");
    if (!(rows >= 1 && cols >= 1 && rows <= 1e6 && cols <= 1e6))
        return refused("Rows and columns must be positive whole numbers.");
    flimage::Shape s;
    flimage::shapeOf(c.in1, &s);
    const int dims[4] = {c.in1->oltndim, static_cast<int>(cols), static_cast<int>(rows), s.frames};
    ZoltHeader *out = Zoltcreate(c.in1->oltdt, dims, 11, c.in1->oltesize);
    if (!out) return statusOnly(-1);
    const int status = Zoltzoomupdown(c.in1, out, mode);
    if (status != 0) {
        Zoltfree(out, 7);
        return statusOnly(status);
    }
    return made(out, 0);
}

OpOutcome threeFrames(const OpCall &c) {
    flimage::Shape s;
    flimage::shapeOf(c.in1, &s);
    flimage::Shape o;
    if (!flimage::isFloat(c.out) || !flimage::shapeOf(c.out, &o) || o.frames < 3 || o.cols != s.cols ||
        o.rows != s.rows)
        return statusOnly(-1);
    float *p = flimage::data(c.out);
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < s.rows; ++r, p += s.cols) copyRow(c.in1, s, k, r, 0, s.cols, p);
    return statusOnly(0);
}

}  // namespace opfuncs
