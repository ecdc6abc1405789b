// Zoom and resize. Positions in the input are ratio x output index (2-D) or
// ratio x index + 0.5 at pixel centres (3-D), held inside the input, so no
// sample is ever read outside it. Planar single-channel inputs are read
// straight from the buffer and "32flt" outputs written straight into it, split
// across cores; other types go pixel by pixel through the access calls.
#include "zoom.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "bands.h"

namespace {

// Frames of an image; a 2-D image has one.
int framesOf(const ZoltHeader *h) { return h->oltndim >= 3 ? static_cast<int>(Zoltdimen(h, 2)) : 1; }

// True when the 2-D (threeD false) or 3-D access calls handle the type.
bool accessible(uint32_t code, bool threeD) {
    return threeD ? Zoltaccesstype(code) : Zoltplaintype(code);
}

// Input straight from a planar buffer of T (Step 2: complex, real part);
// row(f, r)[c] is the pixel as a double.
template <typename T, int Step>
struct RawSource {
    struct Row {
        const T *p;
        double operator[](int c) const { return static_cast<double>(p[Step * static_cast<size_t>(c)]); }
    };
    const T *p;
    size_t rowLen, frameLen;
    explicit RawSource(const ZoltHeader *h)
        : p(static_cast<const T *>(h->oltptr)), rowLen(static_cast<size_t>(h->oltdln[1])),
          frameLen(static_cast<size_t>(h->oltdln[2])) {}
    Row row(int f, int r) const {
        return {p + Step * (static_cast<size_t>(f) * frameLen + static_cast<size_t>(r) * rowLen)};
    }
    static constexpr bool raw = true;
};

// Input through the access calls.
struct AccessSource {
    struct Row {
        const ZoltHeader *h;
        bool threeD;
        int f, r;
        double operator[](int c) const { return threeD ? Zoltfgp3d(h, f, r, c) : Zoltfgp(h, r, c); }
    };
    const ZoltHeader *h;
    bool threeD;
    Row row(int f, int r) const { return {h, threeD, f, r}; }
    static constexpr bool raw = false;
};

// "32flt" output written straight into the buffer; row(f, r).put(c, v).
struct FloatSink {
    struct Row {
        float *p;
        void put(int c, float v) const { p[c] = v; }
    };
    float *p;
    size_t rowLen, frameLen;
    explicit FloatSink(ZoltHeader *h)
        : p(static_cast<float *>(h->oltptr)), rowLen(static_cast<size_t>(h->oltdln[1])),
          frameLen(static_cast<size_t>(h->oltdln[2])) {}
    Row row(int f, int r) const { return {p + static_cast<size_t>(f) * frameLen + static_cast<size_t>(r) * rowLen}; }
    static constexpr bool raw = true;
};

// Output through the access calls.
struct AccessSink {
    struct Row {
        ZoltHeader *h;
        bool threeD;
        int f, r;
        void put(int c, float v) const {
            if (threeD)
                Zoltfpp3d(h, f, r, c, v);
            else
                Zoltfpp(h, r, c, v);
        }
    };
    ZoltHeader *h;
    bool threeD;
    Row row(int f, int r) const { return {h, threeD, f, r}; }
    static constexpr bool raw = false;
};

// Where one output row or column samples the input: the truncated position
// and its neighbour (both inside), and the fraction between them.
struct Tap {
    int i0, i1;
    float frac;
};

// Taps of `count` output indexes at ratio x index + offset, held to 0..last.
std::vector<Tap> taps(int count, float ratio, float offset, int length) {
    std::vector<Tap> t(static_cast<size_t>(count));
    const float last = static_cast<float>(length - 1);
    for (int k = 0; k < count; ++k) {
        float pos = ratio * static_cast<float>(k) + offset;
        pos = pos < last ? pos : last;
        pos = pos > 0.0f ? pos : 0.0f;
        const int i0 = static_cast<int>(pos);
        t[static_cast<size_t>(k)] = {i0, std::min(i0 + 1, length - 1), pos - static_cast<float>(i0)};
    }
    return t;
}

// Bilinear value from the four neighbours, in double precision.
inline float blend(double p00, double p01, double p10, double p11, float fy, float fx) {
    const float gx = 1.0f - fx, gy = 1.0f - fy;
    const double top = p00 * gx + p01 * fx;
    const double bottom = p10 * gx + p11 * fx;
    return static_cast<float>(gy * top + fy * bottom);
}

// Horizontal pass of the bilinear blend for one input row:
// h[k] = p0 x (1 - fx) + p1 x fx in double precision, as blend() does it.
template <typename Row>
void blendRow(const Row &in, const std::vector<Tap> &colTaps, double *h) {
    const size_t n = colTaps.size();
    for (size_t k = 0; k < n; ++k) {
        const Tap &tx = colTaps[k];
        const float gx = 1.0f - tx.frac;
        h[k] = in[tx.i0] * gx + in[tx.i1] * tx.frac;
    }
}

// The horizontal blends of the last two input rows used, so that output rows
// sampling the same input rows (every row of an enlargement) share them.
template <typename Source>
class BlendedRows {
public:
    BlendedRows(const Source &src, const std::vector<Tap> &colTaps)
        : src_(src), colTaps_(colTaps), rows_(2 * colTaps.size()) {}
    // Blends of input row r of frame f; `keep` is a row not to be replaced.
    const double *get(int f, int r, const double *keep) {
        for (int s = 0; s < 2; ++s)
            if (key_[s] == std::make_pair(f, r)) return slot(s);
        const int s = slot(0) == keep ? 1 : 0;
        key_[s] = {f, r};
        blendRow(src_.row(f, r), colTaps_, slot(s));
        return slot(s);
    }

private:
    double *slot(int s) { return rows_.data() + static_cast<size_t>(s) * colTaps_.size(); }
    const Source &src_;
    const std::vector<Tap> &colTaps_;
    std::vector<double> rows_;
    std::pair<int, int> key_[2] = {{-1, -1}, {-1, -1}};
};

template <typename Source, typename Sink>
void resample(const Source &src, const Sink &dst, int method, bool threeD, int frames, int inRows, int inCols,
              int outRows, int outCols) {
    const float ry = static_cast<float>(inRows) / static_cast<float>(outRows);
    const float rx = static_cast<float>(inCols) / static_cast<float>(outCols);
    const float offset = threeD ? 0.5f : 0.0f;
    const std::vector<Tap> rowTaps = taps(outRows, ry, offset, inRows);
    const std::vector<Tap> colTaps = taps(outCols, rx, offset, inCols);
    // 2-D averaging takes the 2 x 2 block that starts at the truncated
    // position, moved back one where it would pass the last row or column
    auto blockStart = [](int i0, int length) { return std::max(0, std::min(length - 2, i0)); };

    auto rowsOf = [&](size_t begin, size_t end) {
        if constexpr (Source::raw && Sink::raw) {
            if (method == ZOLT_ZOOM_BILINEAR) {
                // the blend of blend(), its horizontal halves shared between rows
                BlendedRows<Source> cache(src, colTaps);
                for (size_t line = begin; line < end; ++line) {
                    const int f = static_cast<int>(line / static_cast<size_t>(outRows));
                    const int m = static_cast<int>(line % static_cast<size_t>(outRows));
                    const Tap &ty = rowTaps[static_cast<size_t>(m)];
                    const double *top = cache.get(f, ty.i0, nullptr);
                    const double *bottom = cache.get(f, ty.i1, top);
                    const float fy = ty.frac, gy = 1.0f - fy;
                    const auto out = dst.row(f, m);
                    for (int k = 0; k < outCols; ++k) out.put(k, static_cast<float>(gy * top[k] + fy * bottom[k]));
                }
                return;
            }
        }
        for (size_t line = begin; line < end; ++line) {
            const int f = static_cast<int>(line / static_cast<size_t>(outRows));
            const int m = static_cast<int>(line % static_cast<size_t>(outRows));
            const Tap &ty = rowTaps[static_cast<size_t>(m)];
            const auto out = dst.row(f, m);
            if (method == ZOLT_ZOOM_REPLICATE) {
                const auto in = src.row(f, ty.i0);
                for (int k = 0; k < outCols; ++k) out.put(k, static_cast<float>(in[colTaps[k].i0]));
            } else if (method == ZOLT_ZOOM_AVERAGE && !threeD) {
                const int r0 = blockStart(ty.i0, inRows);
                const auto a = src.row(f, r0), b = src.row(f, std::min(r0 + 1, inRows - 1));
                for (int k = 0; k < outCols; ++k) {
                    const int c0 = blockStart(colTaps[k].i0, inCols), c1 = std::min(c0 + 1, inCols - 1);
                    const double sum = a[c0] + a[c1] + b[c0] + b[c1];
                    out.put(k, static_cast<float>(sum) * 0.25f);
                }
            } else {
                const auto a = src.row(f, ty.i0), b = src.row(f, ty.i1);
                for (int k = 0; k < outCols; ++k) {
                    const Tap &tx = colTaps[static_cast<size_t>(k)];
                    out.put(k, blend(a[tx.i0], a[tx.i1], b[tx.i0], b[tx.i1], ty.frac, tx.frac));
                }
            }
        }
    };
    const size_t lines = static_cast<size_t>(frames) * static_cast<size_t>(outRows);
    if (Source::raw && Sink::raw)
        ZoltSplitWork(lines, static_cast<size_t>(outCols) * lines >= (size_t{1} << 16) ? 2 : lines + 1, rowsOf);
    else
        rowsOf(0, lines);
}

template <typename Sink>
void withSource(const ZoltHeader *in, const Sink &dst, bool threeD, int method, int frames, int inRows, int inCols,
                int outRows, int outCols) {
    auto run = [&](const auto &src) {
        resample(src, dst, method, threeD, frames, inRows, inCols, outRows, outCols);
    };
    switch (in->dtype) {
    case ZOLT_S8: run(RawSource<int8_t, 1>(in)); break;
    case ZOLT_U8: run(RawSource<uint8_t, 1>(in)); break;
    case ZOLT_S16: run(RawSource<int16_t, 1>(in)); break;
    case ZOLT_U16: run(RawSource<uint16_t, 1>(in)); break;
    case ZOLT_S32: run(RawSource<int32_t, 1>(in)); break;
    case ZOLT_F32: run(RawSource<float, 1>(in)); break;
    case ZOLT_F64: run(RawSource<double, 1>(in)); break;
    case ZOLT_C32: run(RawSource<float, 2>(in)); break;
    case ZOLT_C64: run(RawSource<double, 2>(in)); break;
    default: run(AccessSource{in, threeD}); break;
    }
}

bool usable(const ZoltHeader *h) { return Zoltmagicok(h) && h->oltptr && h->oltdln; }

}  // namespace

float Zoltbilinear(const ZoltHeader *in, int frame, float y, float x) {
    if (!usable(in) || in->oltndim < 2 || frame < 0 || frame >= framesOf(in)) return 0.0f;
    const int rows = static_cast<int>(Zoltdimen(in, 1));
    const int cols = static_cast<int>(Zoltdimen(in, 0));
    if (y == 0.0f && x == 0.0f) {
        if (frame == 0)
            Zoltsay("f=0,r=0,c=0\n");
        else
            Zoltsay("f=%d,r=0,c=0\n", frame);
    }
    const Tap ty = taps(1, 0.0f, y, rows)[0];
    const Tap tx = taps(1, 0.0f, x, cols)[0];
    if (ty.frac > 1.0f || tx.frac > 1.0f) {
        Zoltsay("Bug at row=%f col=%f\n", static_cast<double>(y), static_cast<double>(x));
        std::fflush(stdout);
    }
    const AccessSource src{in, in->oltndim == 3};
    const auto a = src.row(frame, ty.i0), b = src.row(frame, ty.i1);
    return blend(a[tx.i0], a[tx.i1], b[tx.i0], b[tx.i1], ty.frac, tx.frac);
}

int Zoltzoomupdown(const ZoltHeader *in, ZoltHeader *out, int method) {
    if (!usable(in) || !usable(out)) return -1;
    switch (method) {
    case ZOLT_ZOOM_BILINEAR: Zoltsay("Image will be zoomed by bilinear interpolation\n"); break;
    case ZOLT_ZOOM_REPLICATE: Zoltsay("Image will be zoomed by pixel replication\n"); break;
    case ZOLT_ZOOM_AVERAGE: Zoltsay("Image will be zoomed by averaging\n"); break;
    default: return -1;
    }
    const bool threeD = in->oltndim == 3;
    if (threeD && out->oltndim >= 2 && framesOf(in) != framesOf(out)) {
        Zoltsay("Zoltzoomupdown: both input and output images must have same number of frames\n");
        Zoltsay("input image is %d %d %d, output is %d %d %d\n", static_cast<int>(Zoltdimen(in, 0)),
                    static_cast<int>(Zoltdimen(in, 1)), framesOf(in), static_cast<int>(Zoltdimen(out, 0)),
                    static_cast<int>(Zoltdimen(out, 1)), framesOf(out));
        return -1;
    }
    if ((in->oltndim != 2 && !threeD) || out->oltndim < 2) {
        Zoltsay("zoomupdown: bug in case statement!\n");
        return -1;
    }
    if (!accessible(in->dtype, threeD) || !accessible(out->dtype, threeD)) {
        Zoltsay("Zoltzoomupdown: data type cannot be resampled\n");
        return -1;
    }
    const int inRows = static_cast<int>(Zoltdimen(in, 1)), inCols = static_cast<int>(Zoltdimen(in, 0));
    const int outRows = static_cast<int>(Zoltdimen(out, 1)), outCols = static_cast<int>(Zoltdimen(out, 0));
    const int frames = framesOf(in);
    if (threeD) {
        Zoltsay("zoomupdown: processing a 3D, %d %d %dimage\n", frames, outRows, outCols);
    } else {
        Zoltsay("zoomupdown: processing a 2D image\n");
        if (method == ZOLT_ZOOM_BILINEAR) Zoltsay("f=0,r=0,c=0\n");  // the sampler's trace at (0, 0)
    }
    std::fflush(stdout);
    if (out->dtype == ZOLT_F32)
        withSource(in, FloatSink(out), threeD, method, frames, inRows, inCols, outRows, outCols);
    else
        withSource(in, AccessSink{out, threeD}, threeD, method, frames, inRows, inCols, outRows, outCols);
    return 0;
}
