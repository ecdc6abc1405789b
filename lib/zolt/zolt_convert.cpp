// Copy of one image into an existing image of another data type, value by
// value. Single-channel real types convert among themselves over whole
// buffers; interleaved channels go through the pixel access calls. Complex
// images are refused; only the column, row and frame counts must agree.
#include "zolt.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

bool isComplex(uint32_t code) { return code == ZOLT_C32 || code == ZOLT_C64; }

template <typename From, typename To, typename Op>
void convertRun(const void *src, void *dst, size_t count, Op op) {
    const auto *in = static_cast<const From *>(src);
    auto *out = static_cast<To *>(dst);
    for (size_t i = 0; i < count; ++i) out[i] = op(in[i]);
}

// Single-channel real types, whose elements lie in storage order.
bool isPlanarReal(uint32_t code) { return Zoltplaintype(code) && !isComplex(code); }

// A value as the access calls store it: integer types keep the low bits of
// its truncation (written here through the unsigned type of their width),
// "32flt" turns values beyond its range into infinities.
template <typename Store>
Store stored(double v) {
    if constexpr (std::is_same_v<Store, float>) {
        if (v > FLT_MAX) return HUGE_VALF;
        if (v < -FLT_MAX) return -HUGE_VALF;
        return static_cast<float>(v);
    } else if constexpr (std::is_same_v<Store, double>) {
        return v;
    } else {
        return static_cast<Store>(Zoltlowbits(v));
    }
}

template <typename From>
void convertPlanarFrom(const void *src, void *dst, uint32_t to, size_t count) {
    auto run = [&](auto stores) {
        using Store = decltype(stores);
        convertRun<From, Store>(src, dst, count, [](From v) { return stored<Store>(static_cast<double>(v)); });
    };
    switch (to) {
    case ZOLT_S8: case ZOLT_U8: run(uint8_t()); break;
    case ZOLT_S16: case ZOLT_U16: run(uint16_t()); break;
    case ZOLT_S32: run(uint32_t()); break;
    case ZOLT_F32: run(float()); break;
    default: run(double()); break;
    }
}

// Whole-buffer conversion between single-channel real types, with the
// values the access calls give and store.
void convertPlanar(const void *src, uint32_t from, void *dst, uint32_t to, size_t count) {
    switch (from) {
    case ZOLT_S8: convertPlanarFrom<int8_t>(src, dst, to, count); break;
    case ZOLT_U8: convertPlanarFrom<uint8_t>(src, dst, to, count); break;
    case ZOLT_S16: convertPlanarFrom<int16_t>(src, dst, to, count); break;
    case ZOLT_U16: convertPlanarFrom<uint16_t>(src, dst, to, count); break;
    case ZOLT_S32: convertPlanarFrom<int32_t>(src, dst, to, count); break;
    case ZOLT_F32: convertPlanarFrom<float>(src, dst, to, count); break;
    default: convertPlanarFrom<double>(src, dst, to, count); break;
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

    if (isPlanarReal(from) && isPlanarReal(to)) {
        if (from == to) std::memcpy(dst->oltptr, src->oltptr, count * src->oltesize);
        else convertPlanar(src->oltptr, from, dst->oltptr, to, count);
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
