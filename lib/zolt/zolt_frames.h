// A ZOLT file read one frame at a time: open reads and checks the header and
// the dimension headers, then each call hands the next frame's pixels, in this
// machine's byte order, to a buffer of the caller's, so no more than one frame
// need be held. Raw data are read straight into it, compressed data inflated
// through zlib's streaming interface. The checks and reports are those of the
// whole-file reader: a header that lies about the file's length is refused at
// open, a stream that ends early, is damaged or holds more than the image is
// refused at the frame where that shows (the last frame at the latest, where
// the stream's end and checksum are checked). A reader is used by one thread.
#ifndef ZOLT_FRAMES_H
#define ZOLT_FRAMES_H

#include <cstddef>

#include "zolt.h"

struct ZoltFrameReader;

// Opens the ZOLT file `name` (taken literally; "-" is standard input) and reads
// its headers; null on failure (reported, ZoltErrorCode set).
ZoltFrameReader *ZoltFrameOpen(const char *name);
// The file's header as the whole-file reader leaves it (machine code of this
// platform, since the frames come converted), without pixel data.
const ZoltHeader *ZoltFrameHeader(const ZoltFrameReader *r);
// Frames in the file (1 for 1-D and 2-D images) and bytes of one frame.
int ZoltFrameCount(const ZoltFrameReader *r);
size_t ZoltFrameBytes(const ZoltFrameReader *r);
// Reads the next frame into `frame` (ZoltFrameBytes bytes). 0 on success, else
// the error code (reported); after a failure, or past the last frame, every
// further call fails.
int ZoltFrameNext(ZoltFrameReader *r, void *frame);
// Fills *out with a header describing one frame (or, when `whole`, all the
// frames) held at `data`, for the calls that take an image. The copy owns
// nothing and lives no longer than the reader: never free it.
void ZoltFrameView(const ZoltFrameReader *r, void *data, bool whole, ZoltHeader *out);
// Closes the file and frees the reader; null is allowed.
void ZoltFrameClose(ZoltFrameReader *r);

#endif
