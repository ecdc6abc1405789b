// Add, subtract, multiply and divide two images with the second translated,
// on a canvas holding both. Any type the pixel calls read (complex through
// the real part); colour images only in their first three frames.
#include "arith.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "flimage.h"

namespace {

enum class Op { Add, Sub, Mul, Div };

// One image as the routines read or write it: its shape, whether it goes
// through the 3-D calls, and its float elements when they can be addressed
// directly.
struct Plane {
    const ZoltHeader *h = nullptr;
    flimage::Shape s;
    bool threeD = false;
    float *raw = nullptr;

    float *rowAt(int frame, int row) const {
        return raw + static_cast<size_t>(frame) * s.frameSize() +
               static_cast<size_t>(row) * static_cast<size_t>(s.cols);
    }

    // Row `row` of frame `frame` into out[0 .. cols).
    void read(int frame, int row, float *out) const {
        if (raw) {
            std::copy(rowAt(frame, row), rowAt(frame, row) + s.cols, out);
            return;
        }
        for (int j = 0; j < s.cols; ++j)
            out[j] = static_cast<float>(threeD ? Zoltfgp3d(h, frame, row, j) : Zoltfgp(h, row, j));
    }

    void write(ZoltHeader *target, int frame, int row, const float *in) const {
        if (raw) {
            std::copy(in, in + s.cols, rowAt(frame, row));
            return;
        }
        for (int j = 0; j < s.cols; ++j) {
            if (threeD)
                Zoltfpp3d(target, frame, row, j, in[j]);
            else
                Zoltfpp(target, row, j, in[j]);
        }
    }
};

// Fills `p` for an image; false when the pixel calls cannot serve it.
bool describe(const ZoltHeader *h, bool threeD, Plane *p) {
    if (!flimage::shapeOf(h, &p->s) || !h->oltptr || !h->oltdln) return false;
    if (!(threeD ? Zoltaccesstype(h->dtype) : Zoltplaintype(h->dtype))) return false;
    p->h = h;
    p->threeD = threeD;
    // plain float elements laid out row after row: read and write them in place
    const bool rowsInOrder = h->oltndim < 2 || h->oltdln[1] == p->s.cols;
    const bool framesInOrder =
        h->oltndim < 3 || static_cast<size_t>(h->oltdln[2]) == p->s.frameSize();
    if (h->dtype == ZOLT_F32 && h->oltesize == 4 && rowsInOrder && framesInOrder)
        p->raw = static_cast<float *>(h->oltptr);
    return true;
}

template <Op op>
float combine(float a, float b, bool hasB) {
    switch (op) {
    case Op::Add: return a + b;
    case Op::Sub: return a - b;
    case Op::Mul: return a * b;
    default: return (!hasB || b == 0.0f) ? 255.0f : a / b;
    }
}

template <Op op>
int arithmetic(const char *name, const ZoltHeader *image1, const ZoltHeader *image2,
               ZoltHeader *output, int dr, int dc) {
    ZoltDepthGuard depth;
    flimage::Shape s1, s2;
    if (!flimage::shapeOf(image1, &s1) || !flimage::shapeOf(image2, &s2)) {
        ZoltErrorCode = ZOLT_ENULL;
        char message[96];
        std::snprintf(message, sizeof message, "%s: an input image is missing or unsound", name);
        Zoltext(message);
        return ARITH_IMAGE;
    }
    const bool colour = s1.ndim == 3;
    if (colour != (s2.ndim == 3)) {
        Zoltsay("both input images must be either both grayscale or both color\n");
        return ARITH_DIMS;
    }
    Plane a, b, o;
    if (!describe(image1, colour, &a) || !describe(image2, colour, &b) ||
        !describe(output, colour, &o)) {
        ZoltErrorCode = ZOLT_ETYPE;
        char message[96];
        std::snprintf(message, sizeof message, "%s: an image the pixel calls cannot read", name);
        Zoltext(message);
        return ARITH_IMAGE;
    }
    int rows, cols;
    if (!arithCanvas(s1.rows, s1.cols, s2.rows, s2.cols, dr, dc, &rows, &cols) ||
        o.s.rows != rows || o.s.cols != cols)
        return ARITH_SIZE;

    // Where each image starts on the canvas.
    const int top1 = dr > 0 ? 0 : -dr, left1 = dc > 0 ? 0 : -dc;
    const int top2 = dr > 0 ? dr : 0, left2 = dc > 0 ? dc : 0;
    const int frames = colour ? std::min(3, o.s.frames) : 1;
    // The canvas rule does not always hold a shifted image whole: the part
    // past the last canvas column is read into the rows' tails and dropped.
    std::vector<float> rowA(std::max(cols, left1 + s1.cols)), rowB(std::max(cols, left2 + s2.cols));
    std::vector<float> rowOut(cols);
    for (int f = 0; f < frames; ++f) {
        const bool inA = f < s1.frames, inB = f < s2.frames;
        for (int i = 0; i < rows; ++i) {
            std::fill(rowA.begin(), rowA.end(), 0.0f);
            std::fill(rowB.begin(), rowB.end(), 0.0f);
            const int r1 = i - top1, r2 = i - top2;
            if (inA && r1 >= 0 && r1 < s1.rows) a.read(f, r1, rowA.data() + left1);
            const bool rowHasB = inB && r2 >= 0 && r2 < s2.rows;
            if (rowHasB) b.read(f, r2, rowB.data() + left2);
            for (int j = 0; j < cols; ++j) {
                const bool hasB = rowHasB && j >= left2 && j - left2 < s2.cols;
                rowOut[j] = combine<op>(rowA[j], rowB[j], hasB);
            }
            o.write(output, f, i, rowOut.data());
        }
    }
    return ARITH_OK;
}

}  // namespace

bool arithCanvas(int rows1, int cols1, int rows2, int cols2, int dr, int dc, int *rows,
                 int *cols) {
    const int64_t r = std::max<int64_t>(rows1 + std::llabs(dr), rows2);
    const int64_t c = std::max<int64_t>(cols1 + std::llabs(dc), cols2);
    if (r > INT32_MAX || c > INT32_MAX) return false;
    *rows = static_cast<int>(r);
    *cols = static_cast<int>(c);
    return true;
}

int imgadd(const ZoltHeader *image1, const ZoltHeader *image2, ZoltHeader *output, int dr,
           int dc) {
    return arithmetic<Op::Add>("imgadd", image1, image2, output, dr, dc);
}

int imgsub(const ZoltHeader *image1, const ZoltHeader *image2, ZoltHeader *output, int dr,
           int dc) {
    return arithmetic<Op::Sub>("imgsub", image1, image2, output, dr, dc);
}

int imgmul(const ZoltHeader *image1, const ZoltHeader *image2, ZoltHeader *output, int dr,
           int dc) {
    return arithmetic<Op::Mul>("imgmul", image1, image2, output, dr, dc);
}

int imgdiv(const ZoltHeader *image1, const ZoltHeader *image2, ZoltHeader *output, int dr,
           int dc) {
    return arithmetic<Op::Div>("imgdiv", image1, image2, output, dr, dc);
}
