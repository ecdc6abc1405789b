// Pseudo-colour: a grey image (a frame of a colour one) scaled to 8 bits and
// coloured through colour maps 0 to 5, or, for map 6, each label given random
// colours from one fixed-seed generator, so a label image looks the same on
// every run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "colormap.h"
#include "flimage.h"
#include "imagecopy.h"
#include "opfuncs.h"
#include "vidscale.h"

namespace {

// Most labels the random map colours: its table takes three bytes a label.
constexpr double MostLabels = 16777216.0;

ZoltHeader *u8Image(int cols, int rows, int frames) {
    const int dims[4] = {frames > 1 ? 3 : 2, cols, rows, frames};
    return Zoltcreate("u8bit", dims, 11, 0);
}

// Copies the three colour frames into the output. An output of more frames
// (a colour image with an overlay frame) gets them in its first three, which
// a conversion of the whole image would refuse.
int copyColour(const ZoltHeader *colour, ZoltHeader *out) {
    flimage::Shape o;
    if (!flimage::isFloat(out) || !flimage::shapeOf(out, &o) || o.frames <= 3 ||
        o.cols != static_cast<int>(Zoltdimen(colour, 0)) || o.rows != static_cast<int>(Zoltdimen(colour, 1)))
        return Zoltconvert(colour, out);
    const unsigned char *from = static_cast<const unsigned char *>(colour->oltptr);
    float *to = flimage::data(out);
    for (size_t i = 0; i < 3 * o.frameSize(); ++i) to[i] = from[i];
    return 0;
}

}  // namespace

int randomColorMap(const ZoltHeader *grey, ZoltHeader *out, int labels, Rand48 &random) {
    flimage::Shape g, o;
    if (!flimage::shapeOf(grey, &g) || !flimage::shapeOf(out, &o) || o.ndim != 3 || o.frames < 3 ||
        o.cols < g.cols || o.rows < g.rows)
        return -1;
    double largest = -1.0;
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.cols; ++c) {
            const double v = Zoltfgp(grey, r, c);
            if (v > largest) largest = v;  // NaN never counts
        }
    const double wanted = std::max(static_cast<double>(labels), std::floor(largest) + 1.0);
    if (wanted > MostLabels) return -1;
    const size_t n = wanted > 0 ? static_cast<size_t>(wanted) : 0;
    std::vector<unsigned char> table(3 * n, 0);
    {
        std::lock_guard<std::mutex> hold(random.drawing());
        for (size_t i = 2; i < table.size(); ++i) table[i] = static_cast<unsigned char>(random.next() * 255.0);
    }
    for (int r = 1; r < g.rows; ++r)
        for (int c = 1; c < g.cols; ++c) {
            const double v = Zoltfgp(grey, r, c);
            unsigned char red = 0, green = 0, blue = 0;
            if (v >= 2.0) {
                const size_t label = static_cast<size_t>(v);
                red = table[label];
                green = table[label + n];
                blue = table[label + 2 * n];
            }
            Zoltfpp3d(out, 0, r, c, red);
            Zoltfpp3d(out, 1, r, c, green);
            Zoltfpp3d(out, 2, r, c, blue);
        }
    return 0;
}

namespace opfuncs {

OpOutcome pseudoColour(const OpCall &c) {
    const int map = static_cast<int>(c.values.number[0]);
    const int frame = static_cast<int>(c.values.number[1]);
    flimage::Shape s;
    if (!flimage::shapeOf(c.in1, &s)) return statusOnly(-1);
    ZoltHeader *grey = s.ndim == 3 ? Oltslice(const_cast<ZoltHeader *>(c.in1), "f", frame)
                                   : Zoltretype(c.in1, "float");
    if (!grey || grey == c.in1) return statusOnly(-1);

    int status = 0;
    if (map == ZOLT_MAP_RANDOM) {
        if (c.context.largestOf) {
            c.context.maxValue = opLargestValue(c.context.largestOf);
            c.context.largestOf = nullptr;
        }
        Zoltsay("processing a random color map");
        std::fflush(stdout);
        status = randomColorMap(grey, c.out, c.context.maxValue,
                                c.context.random ? *c.context.random : opRandom());
    } else {
        ZoltHeader *scaled = u8Image(s.cols, s.rows, 1);
        ZoltHeader *colour = u8Image(s.cols, s.rows, 3);
        status = scaled && colour ? Zoltvidscale(grey, scaled, nullptr, nullptr, 0) : -1;
        if (status == 0) status = Zoltcolormap(scaled, colour, map);
        if (status == 0) status = copyColour(colour, c.out);
        if (scaled) Zoltfree(scaled, 7);
        if (colour) Zoltfree(colour, 7);
    }
    Zoltfree(grey, 7);
    return statusOnly(status);
}

}  // namespace opfuncs
