// Resampling of 2-D and 3-D images into an existing output of other rows and
// columns (frame by frame for 3-D) by bilinear interpolation, pixel
// replication or 2 x 2 averaging. Positions never leave the input image.
#ifndef IMGPROC_ZOOM_H
#define IMGPROC_ZOOM_H

#include "zolt.h"

// Zoom methods.
enum : int {
    ZOLT_ZOOM_BILINEAR = 0,
    ZOLT_ZOOM_REPLICATE = 1,
    ZOLT_ZOOM_AVERAGE = 2,
};

// Resamples `in` into `out` (any readable and writable single-channel types;
// 3-D images also with interleaved channels). A 3-D input needs an output of
// the same frame count. Returns 0 when done; -1 (nothing written) for a
// missing image, a frame-count mismatch, an input of neither 2 nor 3
// dimensions, a type the pixel access cannot handle or an unknown method.
int Zoltzoomupdown(const ZoltHeader *in, ZoltHeader *out, int method);

// Bilinear interpolation of frame `frame` of `in` at (row, column) position
// (y, x); positions are held inside the image, a frame outside it gives 0.
float Zoltbilinear(const ZoltHeader *in, int frame, float y, float x);

#endif
