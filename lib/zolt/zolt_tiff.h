// TIFF files in and out through libtiff, and the calls that read an image by
// its content (ZOLT or TIFF) and write one by its name (a TIFF name gives a
// TIFF file, a picture name is refused, any other name a ZOLT file).
//
// Reading: unsigned and signed 8, 16, 32-bit and 32/64-bit float samples, any
// byte order, strips or tiles, uncompressed, LZW, deflate or PackBits, BigTIFF.
// Each page gives one frame per channel (RGB pages three: red, green, blue;
// alpha dropped); one grey page is a 2-D image. Unsigned 32-bit samples come
// in as "64flt". ImageJ stacks (also the one-directory form of large files)
// are read in file order. Pixel size from the resolution tags or ImageJ's
// unit and spacing goes to the dimensions' scale and units.
//
// Writing: one grey page per frame of the image's own sample type, uncompressed,
// an ImageJ description for stacks and calibrated images, BigTIFF beyond 4 GiB,
// through a temporary file that replaces the target only when complete.
//
// Every failure sets ZoltErrorCode and reports through Zoltext with the file's
// name and what is wrong; libtiff's own messages never reach the console. No
// state is kept between calls.
#ifndef ZOLT_TIFF_H
#define ZOLT_TIFF_H

#include <cstddef>

#include "zolt.h"

// What a TIFF file held, for the reader's caller.
struct ZoltTiffInfo {
    int pages;        // pages (directories, or ImageJ images) read
    int channels;     // frames per page: 1 grey, 3 colour, or the extra channels
    char sample[8];   // sample type of the file: "u8", "s8", "u16", "s16", "u32", "s32", "f32", "f64"
    char message[256];  // on failure: what is wrong with the file (also reported)
};

// True when the bytes start like a TIFF or BigTIFF file, in either byte order.
bool ZoltIsTiffData(const void *bytes, size_t n);
// True when the name ends in ".tif" or ".tiff", any case.
bool ZoltIsTiffName(const char *name);
// True when the name ends in the suffix of a picture format other than TIFF
// (".png", ".jpg", ...), any case: names the library does not write.
bool ZoltIsPictureName(const char *name);

// Reads a TIFF file into a new image; null on failure. `info` may be null.
ZoltHeader *ZoltTiffRead(const char *name, ZoltTiffInfo *info);
// Reads a TIFF file held in memory; `name` only names it in reports.
ZoltHeader *ZoltTiffReadMemory(const void *data, size_t size, const char *name, ZoltTiffInfo *info);
// Writes an image as a TIFF file: -1 on success, 0 on failure (nothing
// written; an old file of that name stays as it was).
int ZoltTiffWrite(const ZoltHeader *h, const char *name);

// Copies the dimensions' direction, units, scale and offset from `src` to
// `dst`, matched by dimension number (a type change keeps the calibration).
void ZoltCopyCalibration(const ZoltHeader *src, ZoltHeader *dst);

// Reads an image by its content: a TIFF file through ZoltTiffRead (`isTiff`,
// when given, set true), anything else as a ZOLT file through Zoltpin.
ZoltHeader *ZoltReadImage(const char *name, ZoltTiffInfo *info, bool *isTiff);
// Writes an image by its name: TIFF names as TIFF, picture names refused,
// everything else (".zol", "-", no suffix) as a ZOLT file through Zoltpot.
// -1 on success, 0 on failure.
int ZoltWriteImage(ZoltHeader *h, const char *name);

#endif
