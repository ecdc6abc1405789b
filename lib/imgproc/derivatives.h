// Operations built from Gaussian derivatives of a float image at one sigma:
// level-set curvature, Harris corner measure, Laplacian, quadratic variation,
// gradient magnitude and direction, and the marking of local maxima.
#ifndef IMGPROC_DERIVATIVES_H
#define IMGPROC_DERIVATIVES_H

#include "zolt.h"

// Each returns 0 on success; -1 when the input or output is not "32flt" (for
// flharris and flmarkmax: when the output is not a "32flt" image), -2 when
// their sizes do not fit (flharris: the output needs the input's columns,
// rows and at least its frames; flmarkmax: its columns, rows and at least 3
// frames); a failing derivative (for example
// sigma 0 or too few rows) leaves zeros in its place, the result is computed
// from them and the filter's status (below -2) is returned.

// (Ixx Iy^2 - 2 Ix Iy Ixy + Iyy Ix^2) / ((Ix^2 + Iy^2)^(3/2) + 0.01)
int flcurv(const ZoltHeader *input, ZoltHeader *output, float sigma);
// Sxx Syy - Sxy^2 - 0.07 (Sxx + Syy)^2 with 3 x 3 means of the gradient
// products; the outermost rows and columns of the output are not written.
int flharris(const ZoltHeader *input, ZoltHeader *output, float sigma);
// Ixx + Iyy; for a negative sigma Ixx^2 + Iyy^2 at |sigma|.
int fllaplace(const ZoltHeader *input, ZoltHeader *output, float sigma);
// sigma^2 (Ixx^2 + Iyy^2 + Ixy^2)
int flqvar(const ZoltHeader *input, ZoltHeader *output, float sigma);
// sqrt(Ix^2 + Iy^2)
int flgmag(const ZoltHeader *input, ZoltHeader *output, float sigma);
// atan2(Iy, Ix) in radians
int flgdir(const ZoltHeader *input, ZoltHeader *output, float sigma);
// Into a float output of 3 frames: strict 3 x 3 maxima of the 8-bit scaled
// input (blurred first when sigma is not 0) become (255, 0, 0), other pixels
// keep their 8-bit grey (or colour) values; the outermost rows and columns
// are not written.
int flmarkmax(const ZoltHeader *input, ZoltHeader *output, float sigma);

#endif
