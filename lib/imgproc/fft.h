// In-place fast Fourier transform of square "32cmp" images whose side is a
// power of 2: radix-2, forward unscaled with exp(-2 pi i k n / N), inverse
// scaled by 1/N per dimension. The first frame is transformed.
#ifndef IMGPROC_FFT_H
#define IMGPROC_FFT_H

#include "zolt.h"

// Transforms the image in place: direction -1 forward (rows, then columns),
// 1 inverse (columns, then rows); any other direction does nothing. Returns 0
// done, -1 not square, -2 side not a power of 2, -3 not "32cmp".
int cff2d(ZoltHeader *image, int direction);

// The same on one frame of side x side interleaved complex values, with no
// header and nothing printed. Returns 0 done, -2 side not a power of 2.
int cff2dFrame(float *data, int side, int direction);

// The 1-D transform of n interleaved complex points (real, imaginary) in
// place, same directions and scaling. Returns 0 done, -2 n not a power of 2
// (nothing printed, nothing changed).
int cff1d(float *data, int n, int direction);

#endif
