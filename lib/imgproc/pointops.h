// Per-pixel operations over "32flt" images (frames included): clipped
// exponential, inversion, natural logarithm, absolute value, and the grey
// value of a colour image.
#ifndef IMGPROC_POINTOPS_H
#define IMGPROC_POINTOPS_H

#include "zolt.h"

// Each returns 0, -1 when an image is missing or not "32flt", -2 when the
// dimension lists of input and output differ (flln: see below).

// min(exp(x / scale), 255)
int flexp(const ZoltHeader *input, ZoltHeader *output, float scale);
// max - x with max the largest element; prints the largest and smallest.
int flinv(const ZoltHeader *input, ZoltHeader *output);
// ln x where x > 0, else 0. After the checks the status is -1 when every
// element was positive and -2 otherwise.
int flln(const ZoltHeader *input, ZoltHeader *output);
// |x|
int flabs(const ZoltHeader *input, ZoltHeader *output);

// 0.21 R + 0.72 G + 0.07 B of frames 0, 1, 2 of a 3-D input (a 2-D input is
// its own R, G and B) into a 2-D output of the same columns and rows. An
// output that is not "32flt" is released and replaced by a "float" image of
// its size. 0, or -3 input not 2-D nor 3-D of at least 3 frames, -4 output not
// 2-D, -5 rows differ, -6 columns differ, -7 no memory for the new output.
int clr2gray(const ZoltHeader *input, ZoltHeader *&output);

#endif
