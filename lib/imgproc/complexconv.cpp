// Complex-to-real conversions. One loop per output kind over the raw buffers
// for "32flt", "u8bit" and "32cmp" outputs; the rarer output types go pixel by
// pixel through Zoltfpp. Only the first rows x columns pixels are processed.
#include "complexconv.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <type_traits>

namespace {

struct Magnitude {
    static constexpr const char *name = "Zoltc2mag";
    float operator()(float re, float im) const { return std::sqrt(re * re + im * im); }
};
struct Phase {
    static constexpr const char *name = "Zoltc2phase";
    float operator()(float re, float im) const {
        return static_cast<float>(std::atan2(static_cast<double>(im), static_cast<double>(re)));
    }
};
struct Real {
    static constexpr const char *name = "Zoltc2real";
    float operator()(float re, float) const { return re; }
};
struct Imaginary {
    static constexpr const char *name = "Zoltc2imag";
    float operator()(float, float im) const { return im; }
};

// Rows of an image; a 1-D image is one row.
unsigned rowsOf(const ZoltHeader *h) { return h->oltndim >= 2 ? Zoltdimen(h, 1) : 1; }

bool sameRowsAndColumns(const ZoltHeader *a, const ZoltHeader *b) {
    return rowsOf(a) == rowsOf(b) && Zoltdimen(a, 0) == Zoltdimen(b, 0);
}

template <typename Op>
int convert(const ZoltHeader *in, ZoltHeader *out) {
    const Op op;
    if (!Zoltmagicok(in) || !Zoltmagicok(out) || !in->oltptr || !out->oltptr) return -1;
    if (!sameRowsAndColumns(in, out)) return -1;
    if (in->dtype == ZOLT_C64 || out->dtype == ZOLT_C64) return -2;
    if (in->dtype != ZOLT_C32) {
        std::fprintf(stderr, "%s: Input data type not complex\n", Op::name);
        return -2;
    }
    if (!Zoltplaintype(out->dtype)) return -2;

    const int rows = static_cast<int>(rowsOf(in));
    const int cols = static_cast<int>(Zoltdimen(in, 0));
    const size_t n = static_cast<size_t>(rows) * static_cast<size_t>(cols);
    const float *p = static_cast<const float *>(in->oltptr);
    switch (out->dtype) {
    case ZOLT_F32: {
        if constexpr (std::is_same_v<Op, Magnitude>) Zoltsay("c2mag:incomplex outreal\n");
        float *o = static_cast<float *>(out->oltptr);
        for (size_t i = 0; i < n; ++i) o[i] = op(p[2 * i], p[2 * i + 1]);
        break;
    }
    case ZOLT_U8: {
        uint8_t *o = static_cast<uint8_t *>(out->oltptr);
        for (size_t i = 0; i < n; ++i) {
            float v = op(p[2 * i], p[2 * i + 1]);
            v = v > 0.0f ? v : 0.0f;  // NaN becomes 0 as well
            v = v < 255.0f ? v : 255.0f;
            o[i] = static_cast<uint8_t>(static_cast<int>(v));
        }
        break;
    }
    case ZOLT_C32: {
        float *o = static_cast<float *>(out->oltptr);
        for (size_t i = 0; i < n; ++i) o[2 * i] = op(p[2 * i], p[2 * i + 1]);
        break;
    }
    default:
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const size_t i = static_cast<size_t>(r) * static_cast<size_t>(cols) + static_cast<size_t>(c);
                Zoltfpp(out, r, c, op(p[2 * i], p[2 * i + 1]));
            }
        break;
    }
    return 0;
}

}  // namespace

int Zoltc2mag(const ZoltHeader *in, ZoltHeader *out) { return convert<Magnitude>(in, out); }
int Zoltc2phase(const ZoltHeader *in, ZoltHeader *out) { return convert<Phase>(in, out); }
int Zoltc2real(const ZoltHeader *in, ZoltHeader *out) { return convert<Real>(in, out); }
int Zoltc2imag(const ZoltHeader *in, ZoltHeader *out) { return convert<Imaginary>(in, out); }
