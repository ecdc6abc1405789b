// Histograms of oriented gradients: counts of gradient directions in nine
// 40-degree bins for every 8 x 8 cell, and a picture of them as short lines.
#ifndef IMGPROC_HOG_H
#define IMGPROC_HOG_H

#include "zolt.h"

// Into a "32flt" output of (columns / 8) x (rows / 8) x 9 frames, adds to
// frame k of each cell the number of its pixels whose gradient direction
// (sigma 1) lies in [40k, 40k + 40) degrees. A 2-D input, or a 3-D input of
// exactly 3 frames (the direction of the mean derivatives), is counted; any
// other input is left alone and gives 0. -1 when the output is not "32flt",
// -2 when it has not that shape.
int flhog(const ZoltHeader *input, ZoltHeader *output);

// The bin (0 to 8) of a gradient direction in radians: 40-degree bins counted
// from 0 up to 360; a direction that rounds up to a full turn, or is not a
// number, is 0 degrees.
int flhogbin(float radians);

// Draws each cell of a 9-frame count image as lines of 9 points through the
// centre of its 9 x 9 block of a "32flt" 2-D output, one per non-zero bin at
// the bin's angle, valued by the count, larger counts on top. Points outside
// the output are skipped. -1 when an image is not "32flt", -2 when the input
// has not 9 frames or the output is not 2-D.
int flhogshow(const ZoltHeader *input, ZoltHeader *output);

#endif
