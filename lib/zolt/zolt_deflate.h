// Whole-buffer zlib streams for the pixel data of ZOLT files: compression of
// the raw bytes in one go, and inflation of a stream read whole from a file.
// The streams are ordinary zlib streams (header, deflate data, Adler-32).
#ifndef ZOLT_DEFLATE_H
#define ZOLT_DEFLATE_H

#include <cstddef>
#include <cstdio>

namespace zoltdeflate {

// Compresses n bytes at `in` into a zlib stream at `out` (room for `capacity`
// bytes) at zlib's default level; returns the stream's length, or 0 when the
// compressor could not be made or the stream does not fit.
size_t compress(const void *in, size_t n, void *out, size_t capacity);

// What inflateFile did.
enum class Inflated {
    Done,      // exactly `raw` bytes inflated; the file stands behind the stream
    Refused,   // the stream is damaged, ends early or holds other than `raw` bytes
    Piecewise  // not tried or not decided: the file stands where it stood, read it in pieces
};

// Reads the zlib stream at the file's position whole (`left` bytes remain in
// the file, -1 when unknown) and inflates it into `data` of `raw` bytes.
Inflated inflateFile(FILE *fp, long long left, unsigned char *data, size_t raw);

}  // namespace zoltdeflate

#endif
