// Display pictures of library images: 32-bit RGB toolkit images whose width is
// padded to a multiple of 4, filled row by row through their scan lines. The
// arithmetic lives in the image library; here bytes only go into scan lines.
#ifndef ZOLTTOOL_DISPLAYIMAGE_H
#define ZOLTTOOL_DISPLAYIMAGE_H

#include <QImage>

#include "display.h"

struct ZoltHeader;

// The picture of an image (the caller owns it): a 3-frame image in colour;
// a 2-D "32cmp" image by complex mode (0 magnitude, 1 phase, 2 real part,
// 3 imaginary part); other 1-D and 2-D images in grey (1-D one row high); any
// other 3-D image its frame `frame` in grey. Null when the image is unusable.
QImage *makeDisplayImage(const ZoltHeader *img, int complexMode, int frame);

// The colour picture of a 3-D image of 3 frames; null for any other image.
QImage *makeColourImage(const ZoltHeader *img);

// The rows of a toolkit picture for the library's drawing calls; valid while
// `image` lives and is not resized.
ZoltPictureRows pictureRows(QImage &image);

#endif
