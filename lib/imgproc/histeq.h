// Histogram equalisation: values mapped through their cumulative histogram
// onto 0..255, one histogram over the whole image (shared by the three frames
// of a colour image).
#ifndef IMGPROC_HISTEQ_H
#define IMGPROC_HISTEQ_H

#include "zolt.h"

// Statuses of flhisteq.
enum : int {
    HISTEQ_OK = 0,
    HISTEQ_SMALL = -1,     // the neighbourhood is not smaller than the image
    HISTEQ_CONSTANT = -2,  // every value is the same: nothing to spread
    HISTEQ_REFUSED = -3,   // unreadable images, or a neighbourhood other than 0
};

// Equalises `input` into `output` (same columns and rows; three frames when
// the input is a colour image of exactly three frames, whose frames share one
// histogram; any other input is equalised as its frame 0). Only the whole
// image is offered as neighbourhood (0). The output is left as it was on
// every failure.
int flhisteq(const ZoltHeader *input, ZoltHeader *output, int neighbourhood);

#endif
