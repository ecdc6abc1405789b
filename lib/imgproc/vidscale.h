// Display scaling: maps an image of any single-channel numeric type linearly
// onto 0..255 in an existing "u8bit" image, as one volume or frame by frame.
// Complex images are scaled by their real parts; channel and struct types are
// refused.
#ifndef IMGPROC_VIDSCALE_H
#define IMGPROC_VIDSCALE_H

#include <cstddef>

#include "zolt.h"

// Results of Zoltvidscale. Every refusal leaves the output image and the
// minimum and maximum outputs untouched.
enum : int {
    ZOLT_VIDSCALE_DONE = 0,
    ZOLT_VIDSCALE_NO_OUTPUT = -1,     // no output image (or no pixel data)
    ZOLT_VIDSCALE_OUTPUT_TYPE = -2,   // output is not "u8bit"
    ZOLT_VIDSCALE_NOT_3D = -3,        // frame switch set on an image that is not 3-D
    ZOLT_VIDSCALE_DIMENSIONS = -4,    // input and output differ in number of dimensions
    ZOLT_VIDSCALE_INPUT_TYPE = -5,    // input type cannot be scaled
    ZOLT_VIDSCALE_FLAT = -6,          // all pixels (of the image or of some frame) equal
    ZOLT_VIDSCALE_NO_INPUT = -7,      // no input image (or no pixel data)
    ZOLT_VIDSCALE_OUTPUT_SMALL = -8,  // output holds fewer pixels than the input
};

// Scales `in` onto 0..255 into `out`: the smallest value becomes 0, the largest
// 255, each byte is (v - min) x 255 / (max - min) truncated. frameSwitch 0
// scales all pixels together; non-zero scales each frame of a 3-D image by
// itself, leaving flat frames untouched. minOut and maxOut (may be null)
// receive the extremes used (with the switch: those of the last frame).
// Returns 0 or one of the negative statuses above; ZOLT_VIDSCALE_FLAT with the
// switch means at least one frame was left untouched.
int Zoltvidscale(const ZoltHeader *in, ZoltHeader *out, float *minOut, float *maxOut,
                 int frameSwitch);

#endif
