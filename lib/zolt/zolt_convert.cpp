// Copy of one image into an existing image of another data type, value by
// value. "u8bit", "16bit" and "32flt" convert among themselves over whole
// buffers, and so does every single-channel real type into "32flt" or
// "64flt"; every other pair goes through the pixel access calls. Complex
// images are refused; only the column, row and frame counts must agree.
#include "zolt.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

bool isCommon(uint32_t code) { return code == ZOLT_U8 || code == ZOLT_S16 || code == ZOLT_F32; }

bool isComplex(uint32_t code) { return code == ZOLT_C32 || code == ZOLT_C64; }

template <typename From, typename To, typename Op>
void convertRun(const void *src, void *dst, size_t count, Op op) {
    const auto *in = static_cast<const From *>(src);
    auto *out = static_cast<To *>(dst);
    for (size_t i = 0; i < count; ++i) out[i] = op(in[i]);
}

// Whole-buffer conversion among the three common types, in storage order.
void convertCommon(const void *src, uint32_t from, void *dst, uint32_t to, size_t count) {
    if (from == to) {
        const size_t esize = from == ZOLT_U8 ? 1 : from == ZOLT_S16 ? 2 : 4;
        std::memcpy(dst, src, count * esize);
        return;
    }
    if (to == ZOLT_F32) {
        if (from == ZOLT_U8)
            convertRun<uint8_t, float>(src, dst, count, [](uint8_t v) { return static_cast<float>(v); });
        else
            convertRun<int16_t, float>(src, dst, count, [](int16_t v) { return static_cast<float>(v); });
    } else if (to == ZOLT_U8) {
        if (from == ZOLT_F32)
            convertRun<float, uint8_t>(src, dst, count,
                                       [](float v) { return static_cast<uint8_t>(Zoltlowbits(v)); });
        else
            convertRun<int16_t, uint8_t>(src, dst, count,
                                         [](int16_t v) { return static_cast<uint8_t>(v & 0xff); });
    } else {  // to "16bit"
        if (from == ZOLT_U8)
            convertRun<uint8_t, int16_t>(src, dst, count, [](uint8_t v) { return static_cast<int16_t>(v); });
        else
            convertRun<float, int16_t>(src, dst, count, [](float v) {
                return static_cast<int16_t>(static_cast<uint16_t>(Zoltlowbits(v)));
            });
    }
}

// Single-channel real types, whose elements lie in storage order.
bool isPlanarReal(uint32_t code) {
    switch (code) {
    case ZOLT_S8: case ZOLT_U8: case ZOLT_S16: case ZOLT_U16: case ZOLT_S32: case ZOLT_F32: case ZOLT_F64:
        return true;
    default:
        return false;
    }
}

// As the access calls store a value into "32flt": beyond the float range it
// is an infinity.
float toFloat(double v) {
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(v);
}

template <typename From>
void widenRun(const void *src, void *dst, uint32_t to, size_t count) {
    if (to == ZOLT_F32)
        convertRun<From, float>(src, dst, count, [](From v) { return toFloat(static_cast<double>(v)); });
    else
        convertRun<From, double>(src, dst, count, [](From v) { return static_cast<double>(v); });
}

// Whole-buffer conversion of a single-channel real type into "32flt" or
// "64flt", with the values the access calls give.
void widen(const void *src, uint32_t from, void *dst, uint32_t to, size_t count) {
    switch (from) {
    case ZOLT_S8: widenRun<int8_t>(src, dst, to, count); break;
    case ZOLT_U8: widenRun<uint8_t>(src, dst, to, count); break;
    case ZOLT_S16: widenRun<int16_t>(src, dst, to, count); break;
    case ZOLT_U16: widenRun<uint16_t>(src, dst, to, count); break;
    case ZOLT_S32: widenRun<int32_t>(src, dst, to, count); break;
    case ZOLT_F32: widenRun<float>(src, dst, to, count); break;
    default: widenRun<double>(src, dst, to, count); break;
    }
}

}  // namespace

int Zoltconvert(const ZoltHeader *src, ZoltHeader *dst) {
    ZoltDepthGuard depth;
    if (!src || !dst) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("Zoltconvert: NULL passed as image header.");
        return -1;
    }
    if (!Zoltmagicok(src) || !Zoltmagicok(dst)) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("Zoltconvert: Bad image header.");
        return -1;
    }
    // A name of another width than the code would read or write past the data.
    if (!Zolttypeok(src) || !Zolttypeok(dst)) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("Zoltconvert: fields 'oltdt', 'dtype' and 'oltesize' disagree.");
        return -1;
    }

    // The counts, as the dimension queries give them: a 1-D image has no rows
    // (the query reports and answers 0), a 2-D source compares one frame.
    const bool src3d = src->oltndim == 3;
    const unsigned frames = src3d ? Zoltdimen(src, 2) : 1;
    const unsigned dframes = src3d ? Zoltdimen(dst, 2) : 1;
    const unsigned rows = Zoltdimen(src, 1);
    const unsigned drows = Zoltdimen(dst, 1);
    const unsigned cols = Zoltdimen(src, 0);
    const unsigned dcols = Zoltdimen(dst, 0);
    if (frames != dframes || rows != drows || cols != dcols) return -1;

    const uint32_t from = src->dtype;
    const uint32_t to = dst->dtype;
    if (isComplex(from) || isComplex(to)) return -2;
    if (!Zoltaccesstype(from) || !Zoltaccesstype(to)) {
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext("Zoltconvert: unrecognized or illegal data type.");
        return -2;
    }

    // Two 1-D images of one length are copied as a single row.
    const bool line = src->oltndim == 1 && dst->oltndim == 1;
    const unsigned nrows = line ? 1 : rows;
    const size_t count = static_cast<size_t>(frames) * nrows * cols;
    if (count == 0) return 0;
    if (!src->oltptr || !dst->oltptr) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("Zoltconvert: image has no pixel data.");
        return -1;
    }

    if (isCommon(from) && isCommon(to)) {
        convertCommon(src->oltptr, from, dst->oltptr, to, count);
        return 0;
    }
    if (isPlanarReal(from) && (to == ZOLT_F32 || to == ZOLT_F64)) {
        widen(src->oltptr, from, dst->oltptr, to, count);
        return 0;
    }

    // Every other pair, channel forms included, converts by value through the
    // access calls: the destination stores what its type can hold.
    if (src->oltndim == 1) {
        for (unsigned c = 0; c < cols; ++c) Zoltfpp(dst, 0, static_cast<int>(c), Zoltfgp(src, 0, static_cast<int>(c)));
        return 0;
    }
    for (unsigned f = 0; f < frames; ++f)
        for (unsigned r = 0; r < nrows; ++r)
            for (unsigned c = 0; c < cols; ++c) {
                const int fi = static_cast<int>(f), ri = static_cast<int>(r), ci = static_cast<int>(c);
                Zoltfpp3d(dst, fi, ri, ci, Zoltfgp3d(src, fi, ri, ci));
            }
    return 0;
}
