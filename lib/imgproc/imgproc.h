// The image-processing library: algorithms over ZoltHeader images, each family
// in a header of its own. Include this one header to reach them all.
#ifndef IMGPROC_IMGPROC_H
#define IMGPROC_IMGPROC_H

#include "zolt.h"
#include "vidscale.h"
#include "complexconv.h"
#include "fft.h"
#include "zoom.h"
#include "colormap.h"
#include "ccl.h"
#include "histeq.h"
#include "mfa.h"
#include "correlate.h"
#include "gauss.h"
#include "elementwise.h"
#include "derivatives.h"
#include "pointops.h"
#include "hog.h"
#include "stats.h"
#include "plotcontour.h"
#include "imagecopy.h"
#include "arith.h"

#endif
