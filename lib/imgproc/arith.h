// Pixel arithmetic between two images with the second shifted by (dr, dc):
// both are placed on one canvas large enough for the shifted pair and each
// canvas pixel combines the pixel of each image under it (0 where none).
#ifndef IMGPROC_ARITH_H
#define IMGPROC_ARITH_H

#include "zolt.h"

// Statuses of imgadd, imgsub, imgmul and imgdiv.
enum : int {
    ARITH_OK = 0,
    ARITH_SIZE = -1,    // the output is not of the canvas size
    ARITH_DIMS = -2,    // one image is grey (1 or 2 dimensions), the other colour (3)
    ARITH_IMAGE = -3,   // an image is missing, unsound or of a type the pixel calls cannot read
};

// The canvas of image 1 (rows1 x cols1) and image 2 shifted by (dr, dc):
// max(rows1 + |dr|, rows2) rows and max(cols1 + |dc|, cols2) columns, false
// when that does not fit an int.
bool arithCanvas(int rows1, int cols1, int rows2, int cols2, int dr, int dc, int *rows,
                 int *cols);

// output = image1 op image2 on the canvas, the output being of the canvas
// size. A positive shift puts image 2 dr rows lower and dc columns further
// right than image 1; a negative one puts image 1 |dr| rows lower and |dc|
// columns further right than image 2. Values are combined in single precision
// and written in the output's type by the pixel calls' conversion rules. Grey
// images (a 1-D image counts as one row) are combined once; colour images
// frame by frame for frames 0, 1 and 2, a frame an input lacks reading as 0.
int imgadd(const ZoltHeader *image1, const ZoltHeader *image2, ZoltHeader *output, int dr,
           int dc);
int imgsub(const ZoltHeader *image1, const ZoltHeader *image2, ZoltHeader *output, int dr,
           int dc);
int imgmul(const ZoltHeader *image1, const ZoltHeader *image2, ZoltHeader *output, int dr,
           int dc);
// As the others with A / B, except 255 where image 2 has no pixel or is 0.
int imgdiv(const ZoltHeader *image1, const ZoltHeader *image2, ZoltHeader *output, int dr,
           int dc);

#endif
