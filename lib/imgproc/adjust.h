// Display adjustments of a viewer without the toolkit: the level/window
// mapping of one channel value onto 0..255, the redraw of a picture from the
// working copy with per-channel offsets, and the write-back of the adjusted
// values into the image the working copy was made from.
#ifndef IMGPROC_ADJUST_H
#define IMGPROC_ADJUST_H

#include "display.h"
#include "zolt.h"

// Columns, rows and frames (1 where the image has fewer dimensions) of a
// "float" image with data; false, quietly, for anything else.
bool ZoltFloatShape(const ZoltHeader *h, int *cols, int *rows, int *frames);

// Bounds of the contrast mapping for a Level value L and a Window value W:
// lo = L, hi = W + L, and d = hi - lo, all single precision. A zero window
// is widened by 0.0001 so d is never 0.
struct ZoltLevelWindow {
    float lo = 0.0f;
    float hi = 255.0f;
    float d = 255.0f;
};
ZoltLevelWindow ZoltLevelWindowOf(int level, int window);

// One channel value x (working value plus offset) mapped in double precision:
// x clamped to 0..255 (NaN as 0), then (x - lo) * 255 / d clamped to 0..255.
// The channel's 8-bit value is the result truncated toward zero.
double ZoltMapValue(double x, const ZoltLevelWindow &lw);
// The same worked in single precision (the write-back's variant).
float ZoltMapValueSingle(float x, const ZoltLevelWindow &lw);

// Redraws the picture from the working copy ("float"): pixel (c, r) gets
// trunc(ZoltMapValue(frame k at (r, c) + offset k)) for frames 0, 1, 2 as
// red, green and blue. A working copy of two frames draws blue 0; one of a
// single frame (or 1-D, 2-D) draws grey from frame 0 with the red offset.
// Picture columns right of the image repeat the last drawn column; rows
// beyond the image are left alone. Rows are shared out over the cores.
// Returns 0, or -1 when `work` is not a "float" image with data.
int ZoltApplyAdjustments(const ZoltHeader *work, const int offsets[3], const ZoltLevelWindow &lw,
                         const ZoltPictureRows &pic);
// The same for frame `frame` alone, drawn in grey with `offset`; -1 also
// when the frame is not in the image.
int ZoltApplyAdjustmentsFrame(const ZoltHeader *work, int frame, int offset, const ZoltLevelWindow &lw,
                              const ZoltPictureRows &pic);

// Writes the adjusted values back into `target` (any type the pixel setter
// converts to): for every pixel both images have, y = ZoltMapValueSingle
// (working value + offset) and the stored value is (max - min) * y / 255 + min
// in single precision. With `colour` set frames 0, 1, 2 take offsets 0, 1, 2
// (frames either image lacks are skipped); otherwise frame 0 takes offset 0.
// Other frames are not touched. Returns 0, or -1 when the images are unusable.
int ZoltWriteBackAdjusted(const ZoltHeader *work, ZoltHeader *target, bool colour, const int offsets[3],
                          const ZoltLevelWindow &lw, float max, float min);

#endif
