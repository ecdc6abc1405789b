// Histogram equalisation over the whole image: the extremes come from the
// data, each value falls in bin trunc((v - min) x 255 / (max - min)) of 256,
// and becomes 255 times the share of values in its bin and the bins below.
// Values that are not numbers stay out of the histogram and come out as such.
#include "histeq.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <type_traits>
#include <vector>

#include "bands.h"
#include "flimage.h"

namespace {

constexpr int BINS = 256;
constexpr size_t PIECE_MIN = 1 << 16;  // fewest values worth a thread of their own

int piecesFor(size_t n) { return bands::count(n, PIECE_MIN); }

// The equalisation of n planar values of type T (float or double). The bin
// of every value is kept (one byte each) between counting and mapping.
template <class T>
struct Equaliser {
    const T *data;
    size_t n;
    int pieces;
    uint8_t *bins;
    double lo = 0, hi = 0, span = 0;
    int64_t nans = 0;

    // Finite extremes; false when there are fewer than two distinct values.
    bool findExtremes() {
        constexpr double inf = std::numeric_limits<double>::infinity();
        std::vector<double> los(pieces, inf), his(pieces, -inf);
        bands::split(n, pieces, [&](int k, size_t first, size_t end) {
            // four running extremes each, so that they do not wait on one another
            constexpr T big = std::numeric_limits<T>::infinity();
            T a0 = big, a1 = big, a2 = big, a3 = big, b0 = -big, b1 = -big, b2 = -big, b3 = -big;
            auto take = [](T v, T &a, T &b) {
                const bool finite = v - v == 0;  // false for infinities and NaN
                const T low = finite ? v : a, high = finite ? v : b;
                a = low < a ? low : a;
                b = high > b ? high : b;
            };
            size_t i = first;
            for (; i + 4 <= end; i += 4) {
                take(data[i], a0, b0);
                take(data[i + 1], a1, b1);
                take(data[i + 2], a2, b2);
                take(data[i + 3], a3, b3);
            }
            for (; i < end; ++i) take(data[i], a0, b0);
            los[k] = std::min({static_cast<double>(a0), static_cast<double>(a1),
                               static_cast<double>(a2), static_cast<double>(a3)});
            his[k] = std::max({static_cast<double>(b0), static_cast<double>(b1),
                               static_cast<double>(b2), static_cast<double>(b3)});
        });
        lo = *std::min_element(los.begin(), los.end());
        hi = *std::max_element(his.begin(), his.end());
        span = hi - lo;
        return lo < hi;
    }

    // Bins of the values, trunc((v - min) x 255 / (max - min)) with the
    // infinities at the ends, and the count per bin of the numbers among
    // them; returns how many numbers were counted.
    int64_t count(int64_t *hist) {
        // four interleaved tables per piece, so that runs of one value do
        // not make each increment wait on the one before
        std::vector<int64_t> parts(static_cast<size_t>(pieces) * 4 * BINS, 0);
        std::vector<int64_t> nanParts(pieces, 0);
        const double l = lo, s = span, inverse = 1.0 / span, top = hi;
        bands::split(n, pieces, [&](int k, size_t first, size_t end) {
            int64_t *h = parts.data() + static_cast<size_t>(k) * 4 * BINS;
            // A product by the inverse is within a few units in the last
            // place of the quotient; only near a whole number can the two
            // fall in different bins. If any value comes that near, the
            // piece is done again by the quotient itself.
            auto binAll = [&, l, s, inverse, top](auto exact) {
                const T *d = data;  // locals: the byte stores could alias members
                uint8_t *b = bins;
                int64_t near = 0, notNumbers = 0;
                for (size_t i = first; i < end; ++i) {
                    const double v = d[i];
                    const double t = (v - l) * 255.0;
                    double q = decltype(exact)::value ? t / s : t * inverse;
                    q = v == top ? 255 : q;  // the quotient of the maximum is exactly 255
                    q = q > -1 ? q : -1;     // NaN lands here too and is taken out below
                    q = q < 256 ? q : 256;
                    const double off = q - static_cast<int>(q + 0.5);
                    near += (off > -1e-9) & (off < 1e-9) & (q > 0.5) & (q < 254.5);
                    q = q > 0 ? q : 0;
                    q = q < 255 ? q : 255;
                    b[i] = static_cast<uint8_t>(static_cast<int>(q));
                    notNumbers += v != v;
                }
                nanParts[k] = notNumbers;
                return near;
            };
            if (binAll(std::false_type()) > 0) binAll(std::true_type());
            for (size_t i = first; i < end; ++i) ++h[(i & 3) * BINS + bins[i]];
        });
        int64_t total = 0;
        for (int b = 0; b < BINS; ++b) {
            hist[b] = 0;
            for (int j = 0; j < pieces * 4; ++j) hist[b] += parts[static_cast<size_t>(j) * BINS + b];
        }
        for (int64_t x : nanParts) nans += x;
        hist[0] -= nans;
        for (int b = 0; b < BINS; ++b) total += hist[b];
        return total;
    }

    // New value of every element through the table of bin values.
    template <class Put>
    void map(const float *value, Put &&put) const {
        const bool anyNan = nans > 0;
        bands::split(n, pieces, [&](int, size_t first, size_t end) {
            if (!anyNan) {
                for (size_t i = first; i < end; ++i) put(i, value[bins[i]]);
                return;
            }
            for (size_t i = first; i < end; ++i)
                put(i, data[i] == data[i] ? value[bins[i]] : std::numeric_limits<float>::quiet_NaN());
        });
    }
};

// An image the equalisation can read: its shape and whether it is colour.
bool readable(const ZoltHeader *h, flimage::Shape &s) {
    if (!flimage::shapeOf(h, &s) || s.ndim < 2 || !h->oltptr) return false;
    const ZoltTypeEntry *t = Zoltfindcode(h->dtype);
    return t && h->dtype != ZOLT_STRUCT;
}

// Reports the negative values of the outermost rows and columns of a frame.
template <class Get>
void reportNegativeBorder(int rows, int cols, Get &&get) {
    for (int r = 0; r < rows; ++r) {
        const bool edgeRow = r == 0 || r == rows - 1;
        for (int c = 0; c < cols; c += edgeRow || c == cols - 1 ? 1 : cols - 1)
            if (get(r, c) < 0) std::printf("row %d col %d\n", r, c);
    }
}

// Extremes, histogram, cumulative shares and the new values.
template <class T>
int spread(Equaliser<T> &eq, const flimage::Shape &in, int frames, ZoltHeader *output) {
    const size_t plane = in.frameSize();
    if (!eq.findExtremes()) {
        std::printf("maximum = minimum. Somethings is wrong with this image\n");
        return HISTEQ_CONSTANT;
    }
    int64_t hist[BINS];
    const int64_t total = eq.count(hist);
    const bool colour = frames == 3;
    if (colour)
        for (int b = 0; b < BINS; ++b) std::printf("h[%d]= %f\n", b, static_cast<double>(hist[b]));
    // the cumulative share of each bin, from exact counts so that the
    // last bin is exactly 1
    float share[BINS], value[BINS];
    int64_t below = 0;
    for (int b = 0; b < BINS; ++b) {
        below += hist[b];
        share[b] = static_cast<float>(static_cast<double>(below) / static_cast<double>(total));
        value[b] = share[b] * 255.f;
    }
    if (colour)
        for (int b = 0; b < BINS; ++b) std::printf("p[%d]= %f\n", b, share[b]);

    flimage::Shape out;
    flimage::shapeOf(output, &out);
    if (output->dtype == ZOLT_F32) {
        float *o = static_cast<float *>(output->oltptr);
        eq.map(value, [o](size_t i, float v) { o[i] = v; });
    } else {
        // other types one pixel at a time, by frame, row and column
        std::vector<float> values(plane * frames);
        eq.map(value, [&values](size_t i, float v) { values[i] = v; });
        for (int k = 0; k < frames; ++k)
            for (int r = 0; r < in.rows; ++r)
                for (int c = 0; c < in.cols; ++c) {
                    const float v = values[k * plane + static_cast<size_t>(r) * in.cols + c];
                    if (out.ndim == 2) Zoltfpp(output, r, c, v);
                    else Zoltfpp3d(output, k, r, c, v);
                }
    }
    return HISTEQ_OK;
}

template <class T>
int equalise(const T *data, const flimage::Shape &in, int frames, ZoltHeader *output) {
    const size_t plane = in.frameSize();
    for (int k = 0; k < frames; ++k)
        reportNegativeBorder(in.rows, in.cols, [&](int r, int c) {
            return static_cast<double>(data[k * plane + static_cast<size_t>(r) * in.cols + c]);
        });
    auto *bins = static_cast<uint8_t *>(Zoltalc(plane * frames));
    if (!bins) return HISTEQ_REFUSED;
    Equaliser<T> eq{data, plane * frames, piecesFor(plane * frames), bins};
    const int status = spread(eq, in, frames, output);
    Zoltcfree(bins);
    return status;
}

}  // namespace

int flhisteq(const ZoltHeader *input, ZoltHeader *output, int neighbourhood) {
    ZoltDepthGuard depth;
    flimage::Shape in, out;
    if (!readable(input, in)) {
        ZoltErrorCode = input ? ZOLT_EHEADER : ZOLT_ENULL;
        Zoltext("flhisteq: input must be a readable image of at least 2 dimensions");
        return HISTEQ_REFUSED;
    }
    const int frames = in.ndim == 3 && in.frames == 3 ? 3 : 1;
    if (!readable(output, out) || out.cols != in.cols || out.rows != in.rows ||
        (frames == 3 && (out.ndim != 3 || out.frames < 3))) {
        ZoltErrorCode = output ? ZOLT_EDIM : ZOLT_ENULL;
        Zoltext("flhisteq: output image must have the input's columns, rows and colour frames");
        return HISTEQ_REFUSED;
    }
    if (!(neighbourhood < in.cols && neighbourhood < in.rows)) {
        std::printf("Hist0.0:Cannot equalize histogram of an image (%d x %d )smaller than the "
                    "neighborhood(%d)\n",
                    in.rows, in.cols, neighbourhood);
        return HISTEQ_SMALL;
    }
    if (neighbourhood != 0) {
        Zoltext("flhisteq: only the whole image (neighbourhood 0) can be equalised");
        return HISTEQ_REFUSED;
    }

    // planar floats are read in place, anything else through a copy
    const bool planar = input->dtype == ZOLT_F32;
    if (planar) return equalise(static_cast<const float *>(input->oltptr), in, frames, output);
    std::vector<double> copy(in.frameSize() * frames);
    for (int k = 0; k < frames; ++k)
        for (int r = 0; r < in.rows; ++r)
            for (int c = 0; c < in.cols; ++c)
                copy[k * in.frameSize() + static_cast<size_t>(r) * in.cols + c] =
                    in.ndim == 2 ? Zoltfgp(input, r, c) : Zoltfgp3d(input, k, r, c);
    return equalise(copy.data(), in, frames, output);
}
