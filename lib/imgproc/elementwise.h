// Element-wise arithmetic over float images of equal dimensions (the output
// may be one of the inputs) and the raw copies between images.
#ifndef IMGPROC_ELEMENTWISE_H
#define IMGPROC_ELEMENTWISE_H

#include "zolt.h"

// Each returns 0, -1 when an image is missing or not "32flt", -2 when the
// dimension lists differ.
int fladd(const ZoltHeader *a, const ZoltHeader *b, ZoltHeader *out);  // a + b
int flmul(const ZoltHeader *a, const ZoltHeader *b, ZoltHeader *out);  // a x b
int fldiv(const ZoltHeader *a, const ZoltHeader *b, ZoltHeader *out);  // a / b
int flscale(const ZoltHeader *a, ZoltHeader *out, float k);              // k x a
int fladdconst(const ZoltHeader *a, ZoltHeader *out, float k);           // a + k
// Square root; at the first negative element prints a message on standard
// error, leaves that and later elements as they are and returns 1.
int flsgrt(const ZoltHeader *a, ZoltHeader *out);
// Two-argument arc tangent of (y, x), in radians.
int flatan2(const ZoltHeader *y, const ZoltHeader *x, ZoltHeader *out);

// A new "float" image with the dimensions and elements of a "32flt" image;
// null for anything else.
ZoltHeader *fldup(const ZoltHeader *image);
// Raw copy of the elements: "32flt" into "32flt", or "32flt" or "32cmp" into
// "32cmp" (two floats a pixel from a complex input). 0, -1 for other types,
// -2 when the dimension lists differ.
int flcopy(const ZoltHeader *input, ZoltHeader *output);

#endif
