// The viewers' display pipeline without the toolkit: the 8-bit planes of an
// image's picture (three frames as red, green and blue under one scale, all
// else in grey), pictures of 32-bit 0xffRRGGBB words whose rows the caller
// hands out (the toolkit's scan lines), the working copy scaled onto 0..255 and
// the drawings made from it, and the zoom factor of the Zoom control.
#ifndef IMGPROC_DISPLAY_H
#define IMGPROC_DISPLAY_H

#include <cstdint>
#include <functional>

#include "zolt.h"

// A picture to draw into: `width` x `height` words, row r at row(r). Drawing
// never writes outside these bounds.
struct ZoltPictureRows {
    int width = 0;
    int height = 0;
    std::function<uint32_t *(int)> row;
};

// Width of the picture of an image `columns` wide: padded up to a multiple of 4.
int ZoltDisplayWidth(int columns);

// The 8-bit planes of an image's picture as a new "u8bit" image (the caller
// frees it), each scaled onto 0..255 by Zoltvidscale with one scale:
//  - a 3-D image of exactly 3 frames: 3 frames (red, green, blue);
//  - a 1-D or 2-D "32cmp" image: its magnitude (complex mode 0), phase (1),
//    real (2) or imaginary part (3);
//  - any other 1-D or 2-D image: the image itself;
//  - a 3-D image of any other frame count: its frame `frame` (limited to the
//    frames present).
// A flat image, or one whose type cannot be scaled, gives zeros. Null (with
// ZoltErrorCode set) only for an unusable header or when memory runs out.
ZoltHeader *ZoltDisplayBytes(const ZoltHeader *img, int complexMode, int frame);

// Draws planes made by ZoltDisplayBytes: 3 frames as red, green and blue, else
// plane 0 in grey. Columns right of the image repeat its last column. Returns
// 0, or -1 when `bytes` is not a "u8bit" image with data.
int ZoltDrawBytes(const ZoltHeader *bytes, const ZoltPictureRows &pic);

// Draws the working copy ("float", 0..255; each value truncated, low 8 bits
// kept) over the picture's pixels that the image covers; the others keep their
// colour. Colour: frames 0, 1, 2 as red, green and blue; an image of two
// frames draws blue 0, one of a single frame (or 1-D, 2-D) grey. Returns 0, or
// -1 when `work` is not a "float" image with data.
int ZoltDrawWorkColour(const ZoltHeader *work, const ZoltPictureRows &pic);
// Grey drawing of one frame (0 for 1-D and 2-D images); -1 also when the frame
// is not in the image.
int ZoltDrawWorkFrame(const ZoltHeader *work, int frame, const ZoltPictureRows &pic);

// Paints the marks of frame 3 of a working copy of at least 4 frames: where
// frame 3 is not 0, pixel (trunc(c / factor), trunc(r / factor)) becomes pure
// red when frame 0 is at most 128, else red 255 - frame 0. Nothing else is
// drawn. Returns 0, or -1 when there is no frame 3 or factor is not positive.
int ZoltDrawOverlayMarks(const ZoltHeader *work, double factor, const ZoltPictureRows &pic);

// Fills the "float" image `work` with `source` (any single-value real type of
// the same pixel count) rescaled linearly onto low..high: the smallest finite
// value becomes low, the largest high, each value as (v - min) x factor + low
// in single precision with factor (high - low) / (max - min), the rounding
// of Zoltvidscale. NaN maps to low, infinities to the ends. A flat image
// gives a work image of zeros. The extremes found go to *maxOut and *minOut
// (either may be null). Returns 0, or -1 (work untouched, outputs
// untouched) when the images do not fit, high < low, or the source type is
// complex, interleaved or "struct".
int scaleToWorking(const ZoltHeader *source, ZoltHeader *work, float high, float low,
                   float *maxOut, float *minOut);

// Magnification of a Zoom control value v: 1 at 0, 1 + v / 20 above, 1 + v / 100
// below (0 at -100, negative further down).
double zoomFactor(int value);

#endif
