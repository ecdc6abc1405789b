// Per-frame statistics of an image: largest and smallest value, mean and
// standard deviation over the columns x rows values of one frame, summed in
// double precision with the extremes taken from the data itself.
#ifndef IMGPROC_STATS_H
#define IMGPROC_STATS_H

#include <cstddef>

#include "zolt.h"

struct ZoltFrameStats {
    double max = 0.0;
    double min = 0.0;
    double mean = 0.0;
    double sd = 0.0;     // population form: square root of sum((v - mean)^2) / n
    size_t count = 0;    // values that went in (columns x rows)
};

// Columns, rows and frames of an image by dimension number (rows and frames
// are 1 where the image has fewer dimensions). 0 on success, -1 on a bad header.
int Zoltshape(const ZoltHeader *h, int *cols, int *rows, int *frames);
// Zoltshape for callers to whom a bad header is a plain refusal: nothing is
// reported (whatever ZoltErrorMode says); false for a null or bad header.
bool ZoltQuietShape(const ZoltHeader *h, int *cols, int *rows, int *frames);

// Statistics of frame `frame` (0 for 1-D and 2-D images) of any single-value
// or interleaved type; complex images contribute their real parts. 0 on
// success; on failure ZoltErrorCode is set, the failure is reported and *out
// is left alone.
int Zoltframestats(const ZoltHeader *h, int frame, ZoltFrameStats *out);

#endif
