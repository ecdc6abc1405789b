// Gaussian-derivative filtering of float images: flDoG correlates every frame
// with a sampled Gaussian or one of its partial derivatives up to third order,
// the border replicated; flpad builds one replicated-border frame.
#ifndef IMGPROC_GAUSS_H
#define IMGPROC_GAUSS_H

#include "zolt.h"

// Statuses of flDoG.
enum : int {
    FLDOG_ORDER = -1,     // order above 3
    FLDOG_MIXED = -2,     // zero- or first-order mixed derivative
    FLDOG_THIRDXY = -3,   // third-order mixed derivative
    FLDOG_ARGS = -4,      // order or direction out of range
    FLDOG_SHORT = -5,     // fewer rows than 4r + 2
    FLDOG_TYPE = -6,      // input not "32flt"
    FLDOG_SIGMA = -7,     // sigma 0, not finite, or too small for a finite kernel
    FLDOG_OUTPUT = -8,    // output missing or not of the input's size
    FLDOG_MEMORY = -9,    // no memory for the work buffers
};

// Kernel radius for sigma: 1 + trunc(3 |sigma|).
int flDoGradius(float sigma);

// Correlates every frame of input with the (2r + 1) x (2r + 1) kernel of an
// order and direction (0 x, 1 y, 2 xy, 3 sum of the two second derivatives;
// coefficients computed in double, stored as float) into output, which must
// have the input's size. The kernel is not flipped: odd orders give the
// negative of the usual derivative. 0 on success, else one of the statuses
// above after a message on standard output.
int flDoG(const ZoltHeader *input, ZoltHeader *output, float sigma, int order, int direction);

// A new float 2-D image of frame f of a float image with rowpad rows above and
// below and colpad columns left and right, each repeating the nearest pixel
// of the frame. Null on bad arguments.
ZoltHeader *flpad(const ZoltHeader *image, int rowpad, int colpad, int frame);

#endif
