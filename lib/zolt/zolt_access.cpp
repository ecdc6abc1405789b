// Pixel access by (frame, row, column) whatever the data type: reads give a
// double or an int, writes truncate toward zero and keep the low bits of
// integer types; complex pixels are read and written through their real part.
// Interleaved channel types address the channel through the frame index.
#include "zolt.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

uint32_t Zoltlowbitswide(double value) {
    if (!std::isfinite(value)) return 0;
    // fmod is exact, so the remainder keeps the low 32 bits of the integer part.
    const double rest = std::fmod(std::trunc(value), 4294967296.0);
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(rest)));
}

namespace {

// The single-channel code whose element format a type shares, or 0 when the
// access calls cannot read the type (the channel forms only for the 3-D calls).
uint32_t elementCode(uint32_t code, bool channels) {
    switch (code) {
    case ZOLT_S8: case ZOLT_U8: case ZOLT_S16: case ZOLT_U16: case ZOLT_S32:
    case ZOLT_F32: case ZOLT_F64: case ZOLT_C32: case ZOLT_C64:
        return code;
    default:
        break;
    }
    if (!channels) return 0;
    switch (code) {
    case ZOLT_S8_3: case ZOLT_S8_4: return ZOLT_S8;
    case ZOLT_SU8_3: case ZOLT_SU8_4: return ZOLT_U8;
    case ZOLT_S16_3: case ZOLT_S16_4: return ZOLT_S16;
    case ZOLT_SU16_3: case ZOLT_SU16_4: return ZOLT_U16;
    case ZOLT_S32_3: case ZOLT_S32_4: return ZOLT_S32;
    case ZOLT_SF32_3: case ZOLT_SF32_4: return ZOLT_F32;
    case ZOLT_SF64_3: case ZOLT_SF64_4: return ZOLT_F64;
    default: return 0;
    }
}

void refuse(const char *call, int code, const char *what) {
    char message[128];
    std::snprintf(message, sizeof message, "%s: %s", call, what);
    ZoltErrorCode = code;
    Zoltshort(message);
}

// One pixel of an image: where it lies and how its element is stored.
struct Pixel {
    unsigned char *at = nullptr;
    uint32_t code = 0;
};

// Validates the call and finds the element of (frame, row, col); 'at' stays
// null after a reported failure.
Pixel locate(const ZoltHeader *h, const char *call, bool threeD, int frame, int row, int col) {
    Pixel px;
    if (!h) {
        refuse(call, ZOLT_ENULL, "Image header is NULL");
        return px;
    }
    if (ZoltCheckAccess && !Zoltmagicok(h)) {
        refuse(call, ZOLT_EHEADER, "Invalid image header (bad magic no.)");
        return px;
    }
    const uint32_t code = elementCode(h->dtype, threeD);
    if (!code) {
        refuse(call, ZOLT_ETYPE, "unrecognized or illegal data type.");
        return px;
    }
    if (!h->oltptr || !h->oltdln || h->oltndim < 1 || h->oltndim > ZOLT_MAXDIM) {
        refuse(call, ZOLT_ENULL, "Image data is NULL");
        return px;
    }
    const int64_t total = h->oltdln[h->oltndim];
    int64_t index;
    if (threeD && (h->dtype & 0x30)) {
        const int64_t channels = (h->dtype & 0x10) ? 3 : 4;
        const int64_t columns = Zoltdimen(h, 0);
        index = frame + channels * (static_cast<int64_t>(row) * columns + col);
    } else {
        // A frame beyond the image's own dimensions steps by the whole image.
        const int64_t rowStride = h->oltndim >= 2 ? h->oltdln[1] : total;
        const int64_t frameStride = h->oltndim >= 3 ? h->oltdln[2] : total;
        index = col + row * rowStride + frame * frameStride;
    }
    // Never touch memory outside the pixel data.
    if (index < 0 || index >= total) {
        refuse(call, ZOLT_EWINDOW, "pixel outside the image.");
        return px;
    }
    px.at = static_cast<unsigned char *>(h->oltptr) + index * h->oltesize;
    px.code = code;
    return px;
}

template <typename T>
T load(const unsigned char *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void store(unsigned char *p, T v) {
    std::memcpy(p, &v, sizeof v);
}

double readValue(const Pixel &px) {
    switch (px.code) {
    case ZOLT_S8: return load<int8_t>(px.at);
    case ZOLT_U8: return load<uint8_t>(px.at);
    case ZOLT_S16: return load<int16_t>(px.at);
    case ZOLT_U16: return load<uint16_t>(px.at);
    case ZOLT_S32: return load<int32_t>(px.at);
    case ZOLT_F32: case ZOLT_C32: return load<float>(px.at);
    default: return load<double>(px.at);  // 64flt and the real part of 64cmp
    }
}

float toFloat(double v) {
    if (v > FLT_MAX) return INFINITY;
    if (v < -FLT_MAX) return -INFINITY;
    return static_cast<float>(v);
}

void writeValue(const Pixel &px, double v) {
    switch (px.code) {
    case ZOLT_S8: case ZOLT_U8: store(px.at, static_cast<uint8_t>(Zoltlowbits(v))); break;
    case ZOLT_S16: case ZOLT_U16: store(px.at, static_cast<uint16_t>(Zoltlowbits(v))); break;
    case ZOLT_S32: store(px.at, Zoltlowbits(v)); break;
    case ZOLT_F32: case ZOLT_C32: store(px.at, toFloat(v)); break;
    default: store(px.at, v); break;
    }
}

// Truncation toward zero, held inside the int range (NaN reads as 0).
int toInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

double getPixel(const ZoltHeader *h, const char *call, bool threeD, int f, int r, int c) {
    const Pixel px = locate(h, call, threeD, f, r, c);
    return px.at ? readValue(px) : 0.0;
}

int putPixel(ZoltHeader *h, const char *call, bool threeD, int f, int r, int c, double v) {
    const Pixel px = locate(h, call, threeD, f, r, c);
    if (!px.at) return 0;
    writeValue(px, v);
    return -1;
}

}  // namespace

double Zoltfgp(const ZoltHeader *h, int row, int col) {
    return getPixel(h, "Zoltfgp", false, 0, row, col);
}

int Zoltfpp(ZoltHeader *h, int row, int col, double value) {
    return putPixel(h, "Zoltfpp", false, 0, row, col, value);
}

int Zoltigp(const ZoltHeader *h, int row, int col) {
    return toInt(getPixel(h, "Zoltigp", false, 0, row, col));
}

int Zoltipp(ZoltHeader *h, int row, int col, int value) {
    return putPixel(h, "Zoltipp", false, 0, row, col, value);
}

double Zoltfgp3d(const ZoltHeader *h, int frame, int row, int col) {
    return getPixel(h, "Zoltfgp3d", true, frame, row, col);
}

int Zoltfpp3d(ZoltHeader *h, int frame, int row, int col, double value) {
    return putPixel(h, "Zoltfpp3d", true, frame, row, col, value);
}

int Zoltigp3d(const ZoltHeader *h, int frame, int row, int col) {
    return toInt(getPixel(h, "Zoltigp3d", true, frame, row, col));
}

int Zoltipp3d(ZoltHeader *h, int frame, int row, int col, int value) {
    return putPixel(h, "Zoltipp3d", true, frame, row, col, value);
}
