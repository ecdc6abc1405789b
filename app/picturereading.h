// Pictures in the toolkit's formats as float images: grey pictures as one 2-D
// image, colour ones as three frames of their red, green and blue values.
#ifndef ZOLTTOOL_PICTUREREADING_H
#define ZOLTTOOL_PICTUREREADING_H

#include <QString>

struct ZoltHeader;

// Reads a picture into a new "32flt" image of {columns, rows, 3 frames}:
// 0..255 for pictures of up to 8 bits per channel, 0..65535 for deeper ones
// (16-bit PNG); alpha is dropped. A picture the toolkit decodes as grey (8 or
// 16 bits) gives a 2-D image of {columns, rows} instead.
// Null when the toolkit cannot decode the file.
ZoltHeader *readPicture(const QString &name);

#endif
