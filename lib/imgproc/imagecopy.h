// Copies of a whole image in a data type of the caller's choice: exact for the
// same type (complex included), converted by value otherwise.
#ifndef IMGPROC_IMAGECOPY_H
#define IMGPROC_IMAGECOPY_H

#include "zolt.h"

// A new image of data type `type` (any name of the type table) with the shape
// of `src` holding its values. The same type gives a byte-exact copy; "32cmp"
// and "64cmp" convert into each other part by part; other types are
// converted with Zoltconvert. Returns null, reported with
// ZoltErrorCode set, when the type name is unknown, when the conversion is
// refused (a complex type on one side only) or when memory runs out; a
// half-filled image is never returned.
ZoltHeader *Zoltretype(const ZoltHeader *src, const char *type);

#endif
