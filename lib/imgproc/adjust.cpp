// Display adjustments: per-channel offsets and the level/window mapping of a
// working copy (values 0..255) onto 8-bit picture channels, and their
// write-back into the source image. The redraw runs row by row over the raw
// planes, shared out over the cores; each value is mapped exactly as the
// scalar double-precision formula gives it.
#include "adjust.h"

#include <algorithm>
#include <vector>

#include "bands.h"
#include "stats.h"

namespace {

constexpr uint32_t kOpaque = 0xff000000u;

// Pictures with fewer pixels than this are drawn by the calling thread alone.
constexpr size_t kParallelPixels = size_t{1} << 16;

// The mapping with the bounds already widened to double. The comparisons are
// written so that NaN falls to 0 and the compiler can use min/max lanes.
inline double mapWith(double x, double lo, double d) {
    x = x > 0.0 ? x : 0.0;
    x = x < 255.0 ? x : 255.0;
    double y = (x - lo) * 255.0 / d;
    y = y > 0.0 ? y : 0.0;
    return y < 255.0 ? y : 255.0;
}

inline uint32_t byteWith(float w, double offset, double lo, double d) {
    return static_cast<uint32_t>(static_cast<int>(mapWith(static_cast<double>(w) + offset, lo, d)));
}

// The row loop is built for the wider vector units too and the best one the
// processor has is picked at load time; every variant does the same IEEE
// double arithmetic, so the pixels do not depend on the choice.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && __GNUC__ >= 12 && !defined(ZOLT_NO_CLONES)
#define ZOLT_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define ZOLT_VECTOR_CLONES
#endif

// One picture row from up to three working rows (null green: grey from red;
// null blue with a green row: blue 0). Kept free of calls so it vectorises.
ZOLT_VECTOR_CLONES
void drawRow(const float *__restrict red, const float *__restrict green, const float *__restrict blue,
             int cols, const double off[3], double lo, double d, uint32_t *__restrict dst) {
    if (blue) {
        for (int c = 0; c < cols; ++c)
            dst[c] = kOpaque | byteWith(red[c], off[0], lo, d) << 16 | byteWith(green[c], off[1], lo, d) << 8 |
                     byteWith(blue[c], off[2], lo, d);
    } else if (green) {
        for (int c = 0; c < cols; ++c)
            dst[c] = kOpaque | byteWith(red[c], off[0], lo, d) << 16 | byteWith(green[c], off[1], lo, d) << 8;
    } else {
        for (int c = 0; c < cols; ++c) {
            const uint32_t v = byteWith(red[c], off[0], lo, d);
            dst[c] = kOpaque | v << 16 | v << 8 | v;
        }
    }
}

}  // namespace

bool ZoltFloatShape(const ZoltHeader *h, int *cols, int *rows, int *frames) {
    if (!h || !Zoltmagicok(h) || h->dtype != ZOLT_F32 || !h->oltptr) return false;
    return ZoltQuietShape(h, cols, rows, frames);
}

ZoltLevelWindow ZoltLevelWindowOf(int level, int window) {
    ZoltLevelWindow lw;
    lw.lo = static_cast<float>(level);
    lw.hi = static_cast<float>(window + level);
    if (lw.hi - lw.lo == 0.0f) lw.hi = static_cast<float>(static_cast<double>(lw.hi) + 0.0001);
    lw.d = lw.hi - lw.lo;
    return lw;
}

double ZoltMapValue(double x, const ZoltLevelWindow &lw) {
    return mapWith(x, static_cast<double>(lw.lo), static_cast<double>(lw.d));
}

float ZoltMapValueSingle(float x, const ZoltLevelWindow &lw) {
    x = x > 0.0f ? x : 0.0f;
    x = x < 255.0f ? x : 255.0f;
    float y = (x - lw.lo) * 255.0f / lw.d;
    y = y > 0.0f ? y : 0.0f;
    return y < 255.0f ? y : 255.0f;
}

namespace {

// Draws up to three planes of `cols` x `rows` (null green: grey from red).
void drawPlanes(const float *f0, const float *f1, const float *f2, int cols, int rows, const int offsets[3],
                const ZoltLevelWindow &lw, const ZoltPictureRows &pic) {
    const double off[3] = {double(offsets[0]), double(offsets[1]), double(offsets[2])};
    const double lo = lw.lo, d = lw.d;

    // Row addresses are fetched here, in the calling thread, so the bands
    // never call into the picture's owner.
    const int n = std::min(rows, pic.height);
    const int drawn = std::min(cols, pic.width);
    if (n <= 0 || drawn <= 0) return;
    std::vector<uint32_t *> dst(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) dst[static_cast<size_t>(r)] = pic.row(r);

    const size_t pixels = static_cast<size_t>(n) * static_cast<size_t>(pic.width);
    const int pieces = pixels < kParallelPixels ? 1 : bands::count(static_cast<size_t>(n), 16);
    bands::split(static_cast<size_t>(n), pieces, [&](int, size_t first, size_t end) {
        for (size_t r = first; r < end; ++r) {
            uint32_t *row = dst[r];
            if (!row) continue;
            const size_t at = r * static_cast<size_t>(cols);
            drawRow(f0 + at, f1 ? f1 + at : nullptr, f2 ? f2 + at : nullptr, drawn, off, lo, d, row);
            // Padding columns repeat the last drawn column.
            std::fill(row + drawn, row + pic.width, row[drawn - 1]);
        }
    });
}

}  // namespace

int ZoltApplyAdjustments(const ZoltHeader *work, const int offsets[3], const ZoltLevelWindow &lw,
                         const ZoltPictureRows &pic) {
    int cols = 0, rows = 0, frames = 0;
    if (!offsets || !ZoltFloatShape(work, &cols, &rows, &frames) || !pic.row) return -1;
    const bool planes = work->oltndim == 3;
    const size_t plane = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    const float *f0 = static_cast<const float *>(work->oltptr);
    const float *f1 = planes && frames >= 2 ? f0 + plane : nullptr;
    const float *f2 = planes && frames >= 3 ? f0 + 2 * plane : nullptr;
    drawPlanes(f0, f1, f2, cols, rows, offsets, lw, pic);
    return 0;
}

int ZoltApplyAdjustmentsFrame(const ZoltHeader *work, int frame, int offset, const ZoltLevelWindow &lw,
                              const ZoltPictureRows &pic) {
    int cols = 0, rows = 0, frames = 0;
    if (!ZoltFloatShape(work, &cols, &rows, &frames) || !pic.row || frame < 0 || frame >= frames) return -1;
    const size_t plane = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    const int offsets[3] = {offset, 0, 0};
    drawPlanes(static_cast<const float *>(work->oltptr) + static_cast<size_t>(frame) * plane, nullptr, nullptr,
               cols, rows, offsets, lw, pic);
    return 0;
}

int ZoltWriteBackAdjusted(const ZoltHeader *work, ZoltHeader *target, bool colour, const int offsets[3],
                          const ZoltLevelWindow &lw, float max, float min) {
    int cols = 0, rows = 0, frames = 0;
    if (!offsets || !ZoltFloatShape(work, &cols, &rows, &frames) || !target || !Zoltmagicok(target) ||
        !target->oltptr)
        return -1;
    int tcols = 0, trows = 0, tframes = 0;
    if (!ZoltQuietShape(target, &tcols, &trows, &tframes)) return -1;

    // Only what both images hold is read and written.
    const int c1 = std::min(cols, tcols), r1 = std::min(rows, trows);
    const int k1 = colour ? std::min({3, frames, tframes}) : 1;
    const float range = max - min;
    const size_t plane = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    const float *w = static_cast<const float *>(work->oltptr);
    for (int k = 0; k < k1; ++k) {
        const float off = static_cast<float>(offsets[k]);
        for (int r = 0; r < r1; ++r) {
            const float *src = w + k * plane + static_cast<size_t>(r) * static_cast<size_t>(cols);
            for (int c = 0; c < c1; ++c) {
                const float y = ZoltMapValueSingle(off + src[c], lw);
                Zoltfpp3d(target, k, r, c, range * y / 255.0f + min);
            }
        }
    }
    return 0;
}
