// Mean-field annealing towards a piecewise-constant image: an estimate f is
// moved down the gradient of a data term (f near the observed g) plus an edge-
// preserving prior on neighbour differences while the temperature falls.
#ifndef IMGPROC_MFA_H
#define IMGPROC_MFA_H

#include "zolt.h"

// Statuses of Pcon.
enum : int {
    PCON_OK = 0,
    PCON_NOTFLOAT = -12,  // f or g is not "32flt"
    PCON_SIZES = -13,     // f and g differ in size, or have fewer than 2 rows or columns
    PCON_FLAT = -14,      // the gradient vanished (a constant image): stopped early
    PCON_PARAMS = -15,    // parameters that would divide by zero or never end the cooling
    PCON_CANCELLED = -16, // a stop was asked (progress.h): f is partly restored
};

// Restores f (in place) towards a piecewise-constant version of the observed
// image g, whose outermost rows and columns are first replaced by copies of
// their inner neighbours. The temperature runs from t1 down by the factor dlt
// while it stays at least t2; sigma is the scale of the prior, b its weight
// and r the step factor. Refused parameters and sizes change nothing.
int Pcon(ZoltHeader *f, ZoltHeader *g, float sigma, float r, float b, float t1, float t2,
         float dlt);

#endif
