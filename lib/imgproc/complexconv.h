// Complex images ("32cmp": real, imaginary float pairs) turned into real
// values: magnitude, phase, real and imaginary part, written into an existing
// output of the same rows and columns (first frame only).
#ifndef IMGPROC_COMPLEXCONV_H
#define IMGPROC_COMPLEXCONV_H

#include "zolt.h"

// Each returns 0 when done, -1 when rows or columns differ (or an image is
// missing), -2 when the input is not "32cmp", either side is "64cmp" or the
// output type cannot hold a pixel value. Nothing is written on failure.
// Outputs: "32flt" gets the value, "u8bit" the value limited to 0..255 and
// truncated, "32cmp" the value in its real part (imaginary parts untouched),
// the other single-channel types the value through Zoltfpp.
int Zoltc2mag(const ZoltHeader *in, ZoltHeader *out);    // sqrt(re^2 + im^2)
int Zoltc2phase(const ZoltHeader *in, ZoltHeader *out);  // atan2(im, re), -pi..pi
int Zoltc2real(const ZoltHeader *in, ZoltHeader *out);   // re
int Zoltc2imag(const ZoltHeader *in, ZoltHeader *out);   // im

#endif
