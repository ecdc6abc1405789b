// Correlation of an image with a small template: at every position where the
// template fits, the sum of products of the template and the image patch,
// each less its mean. Grey images, or colour images of 3 frames per channel.
#ifndef IMGPROC_CORRELATE_H
#define IMGPROC_CORRELATE_H

#include "zolt.h"

// Statuses of flcorrelate.
enum : int {
    CORR_OK = 0,
    CORR_NOTFLOAT = -2,  // an image is not "32flt"
    CORR_SHAPE = -3,     // grey against colour, or an output of another size
    CORR_CANCELLED = -4, // a stop was asked (progress.h): the output is partly written
};

// Writes into `output` (image 1's size, "32flt") the scores of `templ`
// (image 2) over `image` for rows hr .. rows1 - hr - 1 and columns
// hc .. columns1 - hc - 1 (hr, hc half the template's rows and columns,
// rounded down); everything else is left as it was. Grey scores are divided
// by the template's spread and rows2 x N (N its pixel count); colour scores,
// one per frame, by the channel's energy about its local mean over the whole
// valid region. A constant template or channel scores 0. A template larger
// than the image writes nothing.
int flcorrelate(const ZoltHeader *image, const ZoltHeader *templ, ZoltHeader *output);

#endif
