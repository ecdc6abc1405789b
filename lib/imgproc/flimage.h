// Small helpers shared by the float-image algorithms: the shape of an image
// read from its dimension sub-headers without reporting, the checks every
// routine makes on its images, an element loop and temporary float images.
#ifndef IMGPROC_FLIMAGE_H
#define IMGPROC_FLIMAGE_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zolt.h"

namespace flimage {

// Columns, rows and frames of an image (missing dimensions count 1).
struct Shape {
    int ndim = 0;
    int cols = 0, rows = 0, frames = 0;
    size_t frameSize() const { return static_cast<size_t>(cols) * static_cast<size_t>(rows); }
    size_t count() const { return frameSize() * static_cast<size_t>(frames); }
};

// The shape of a valid header whose dimensions are all positive; false (and
// the shape left empty) for anything else. Nothing is reported.
inline bool shapeOf(const ZoltHeader *h, Shape *s) {
    *s = Shape();
    if (!h || !Zoltmagicok(h) || h->oltndim < 1 || h->oltndim > ZOLT_MAXDIM) return false;
    int len[3] = {1, 1, 1};
    bool seen[3] = {false, false, false};
    for (int k = 0; k < h->oltndim; ++k) {
        const int num = h->oltdim[k].dimnum;
        if (num < 1 || num > h->oltndim || seen[num - 1] || h->oltdim[k].dimlen < 1) return false;
        seen[num - 1] = true;
        len[num - 1] = h->oltdim[k].dimlen;
    }
    s->ndim = h->oltndim;
    s->cols = len[0];
    s->rows = len[1];
    s->frames = len[2];
    return true;
}

// A "32flt" image with pixel data and a sound shape.
inline bool isFloat(const ZoltHeader *h) {
    Shape s;
    return shapeOf(h, &s) && h->dtype == ZOLT_F32 && h->oltesize == 4 && h->oltptr != nullptr;
}

// Both images have the same number of dimensions and the same lengths.
inline bool sameDims(const ZoltHeader *a, const ZoltHeader *b) {
    Shape sa, sb;
    if (!shapeOf(a, &sa) || !shapeOf(b, &sb)) return false;
    return sa.ndim == sb.ndim && sa.cols == sb.cols && sa.rows == sb.rows && sa.frames == sb.frames;
}

// 0 when both images are "32flt" (else -1) with one dimension list (else -2).
inline int checkPair(const ZoltHeader *a, const ZoltHeader *b) {
    if (!isFloat(a) || !isFloat(b)) return -1;
    return sameDims(a, b) ? 0 : -2;
}

// Number of elements of an image (0 when its shape is not sound).
inline size_t count(const ZoltHeader *h) {
    Shape s;
    shapeOf(h, &s);
    return s.count();
}

// The seven single-channel real types, whose elements lie in storage order.
inline bool isRealPlanar(uint32_t code) { return Zoltplaintype(code) && code != ZOLT_C32 && code != ZOLT_C64; }

// Elements [first, first + n) of an image of one of those types, as floats.
inline void readFloats(const ZoltHeader *h, size_t first, size_t n, float *dst) {
    auto run = [&](const auto *p) {
        for (size_t i = 0; i < n; ++i) dst[i] = static_cast<float>(p[first + i]);
    };
    const void *p = h->oltptr;
    switch (h->dtype) {
    case ZOLT_S8: run(static_cast<const int8_t *>(p)); break;
    case ZOLT_U8: run(static_cast<const uint8_t *>(p)); break;
    case ZOLT_S16: run(static_cast<const int16_t *>(p)); break;
    case ZOLT_U16: run(static_cast<const uint16_t *>(p)); break;
    case ZOLT_S32: run(static_cast<const int32_t *>(p)); break;
    case ZOLT_F64: run(static_cast<const double *>(p)); break;
    default: std::memcpy(dst, static_cast<const float *>(p) + first, n * sizeof(float)); break;
    }
}

inline float *data(ZoltHeader *h) { return static_cast<float *>(h->oltptr); }
inline const float *data(const ZoltHeader *h) { return static_cast<const float *>(h->oltptr); }

// out[i] = op(in[i]) over every element, frames included, once checkPair
// passes; returns its status. out may be in.
template <class Op>
int map(const ZoltHeader *in, ZoltHeader *out, Op op) {
    if (const int status = checkPair(in, out)) return status;
    const float *p = data(in);
    float *o = data(out);
    const size_t n = count(in);
    for (size_t i = 0; i < n; ++i) o[i] = op(p[i]);
    return 0;
}

// A new zero-filled "float" image with the dimension list of h, or null.
inline ZoltHeader *floatLike(const ZoltHeader *h) {
    Shape s;
    if (!shapeOf(h, &s)) return nullptr;
    const int dims[4] = {s.ndim, s.cols, s.rows, s.frames};
    return Zoltcreate("float", dims, 11, 0);
}

}  // namespace flimage

#endif
