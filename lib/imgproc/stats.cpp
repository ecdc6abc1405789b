// Per-frame statistics over the raw pixel buffer: two passes in storage order
// (mean, then the squared deviations), all sums in double precision. The
// extremes come from the values themselves, so any range comes out true; NaN
// values take no part in them (but do make the mean and spread NaN).
#include "stats.h"

#include <cmath>
#include <cstdint>

namespace {

// Walks `count` values of one frame: `step` components apart, starting at
// component `first` of a buffer of T.
template <typename T>
void frameStats(const void *data, size_t first, size_t step, size_t count, ZoltFrameStats *out) {
    const T *p = static_cast<const T *>(data) + first;
    double sum = 0.0;
    double lo = HUGE_VAL;
    double hi = -HUGE_VAL;
    for (size_t i = 0; i < count; ++i) {
        const double v = static_cast<double>(p[i * step]);
        sum += v;
        if (v > hi) hi = v;  // NaN never wins a comparison, so it takes no part
        if (v < lo) lo = v;
    }
    if (lo > hi) lo = hi = std::nan("");  // nothing but NaN in the frame
    const double mean = sum / static_cast<double>(count);
    double sq = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double d = static_cast<double>(p[i * step]) - mean;
        sq += d * d;
    }
    out->max = hi;
    out->min = lo;
    out->mean = mean;
    out->sd = std::sqrt(sq / static_cast<double>(count));
    out->count = count;
}

}  // namespace

int Zoltshape(const ZoltHeader *h, int *cols, int *rows, int *frames) {
    int *siz = Zoltsiz(h);
    if (!siz) return -1;
    const int n = siz[0];
    *cols = siz[1];
    *rows = n >= 2 ? siz[2] : 1;
    *frames = n >= 3 ? siz[3] : 1;
    Zoltcfree(siz);
    if (*cols < 1 || *rows < 1 || *frames < 1) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("Zoltshape: found dimension of length zero; header presumed to be damaged.");
        return -1;
    }
    return 0;
}

bool ZoltQuietShape(const ZoltHeader *h, int *cols, int *rows, int *frames) {
    if (!h) return false;
    const int saved = ZoltErrorMode;
    ZoltErrorMode = 1;
    const int status = Zoltshape(h, cols, rows, frames);
    ZoltErrorMode = saved;
    return status == 0;
}

int Zoltframestats(const ZoltHeader *h, int frame, ZoltFrameStats *out) {
    ZoltDepthGuard depth;
    if (!h || !out) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("Zoltframestats: Image header is NULL");
        return ZOLT_ENULL;
    }
    int cols = 0, rows = 0, frames = 0;
    if (Zoltshape(h, &cols, &rows, &frames) != 0) return ZOLT_EHEADER;
    if (!h->oltptr) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("Zoltframestats: No data associated with header! (field 'oltptr' = 0)");
        return ZOLT_EHEADER;
    }
    if (frame < 0 || frame >= frames) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("Zoltframestats: frame outside the image.");
        return ZOLT_EDIM;
    }

    const size_t plane = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    const uint32_t code = h->dtype;
    // The type first: an unknown code may carry the channel bits as well.
    if (!Zoltaccesstype(code)) {
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext("Zoltframestats: unrecognized or illegal data type.");
        return ZOLT_ETYPE;
    }
    // Interleaved types keep their channels side by side; the "frame" is a channel.
    size_t first = static_cast<size_t>(frame) * plane;
    size_t step = 1;
    if (code != ZOLT_STRUCT && (code & 0x30) != 0) {
        step = (code & 0x10) ? 3 : 4;
        first = static_cast<size_t>(frame);
        // The channels live inside the frames: fewer frames than channels
        // would send the walk past the end of the data.
        if (static_cast<size_t>(frames) < step) {
            ZoltErrorCode = ZOLT_EHEADER;
            Zoltext("Zoltframestats: interleaved image has fewer frames than channels.");
            return ZOLT_EHEADER;
        }
    }
    const void *data = h->oltptr;
    switch (code) {
        case ZOLT_S8: case ZOLT_S8_3: case ZOLT_S8_4:
            frameStats<int8_t>(data, first, step, plane, out); break;
        case ZOLT_U8: case ZOLT_SU8_3: case ZOLT_SU8_4:
            frameStats<uint8_t>(data, first, step, plane, out); break;
        case ZOLT_S16: case ZOLT_S16_3: case ZOLT_S16_4:
            frameStats<int16_t>(data, first, step, plane, out); break;
        case ZOLT_U16: case ZOLT_SU16_3: case ZOLT_SU16_4:
            frameStats<uint16_t>(data, first, step, plane, out); break;
        case ZOLT_S32: case ZOLT_S32_3: case ZOLT_S32_4:
            frameStats<int32_t>(data, first, step, plane, out); break;
        case ZOLT_F32: case ZOLT_SF32_3: case ZOLT_SF32_4:
            frameStats<float>(data, first, step, plane, out); break;
        case ZOLT_F64: case ZOLT_SF64_3: case ZOLT_SF64_4:
            frameStats<double>(data, first, step, plane, out); break;
        case ZOLT_C32:  // real parts: every other float
            frameStats<float>(data, 2 * first, 2, plane, out); break;
        case ZOLT_C64:
            frameStats<double>(data, 2 * first, 2, plane, out); break;
        default:
            ZoltErrorCode = ZOLT_ETYPE;
            Zoltext("Zoltframestats: unrecognized or illegal data type.");
            return ZOLT_ETYPE;
    }
    return 0;
}
