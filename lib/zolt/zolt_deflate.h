// Zlib streams for the pixel data of ZOLT files: compression of the raw bytes
// in one go or, for large data, in pieces straight into the file, and
// inflation of a stream read whole from a file. The streams are ordinary zlib
// streams (header, deflate data, Adler-32).
#ifndef ZOLT_DEFLATE_H
#define ZOLT_DEFLATE_H

#include <cstddef>
#include <cstdio>

namespace zoltdeflate {

// Compresses n bytes at `in` into a zlib stream at `out` (room for `capacity`
// bytes) at zlib's default level; returns the stream's length, or 0 when the
// compressor could not be made or the stream does not fit.
size_t compress(const void *in, size_t n, void *out, size_t capacity);

// Raw data of at least this many bytes are compressed in pieces: a whole
// compressed copy would add up to the data's size again to the peak memory
// (a third more for a complex transform held beside its input), while below
// it the copy costs less than the input and the one-call compressor's speed
// is worth it.
constexpr size_t kPiecewiseBytes = size_t{32} << 20;

// What compressToFile did.
enum class Written { Done, NoMemory, WriteError };

// The input bytes of each piece compressToFile makes, but the last.
constexpr size_t kPieceBytes = size_t{4} << 20;

// Compresses n bytes at `in` into one zlib stream at the same level as
// compress, in pieces of `piece` input bytes made on up to four cores and
// written to `fp` in order; one compressed piece per core is held at a time.
// Each piece but the last ends in a flush to a byte boundary (an empty stored
// block) and refers to no data before it.
Written compressToFile(const void *in, size_t n, FILE *fp, size_t piece = kPieceBytes);

// What inflateFile did.
enum class Inflated {
    Done,      // exactly `raw` bytes inflated; the file stands behind the stream
    Refused,   // the stream is damaged, ends early or holds other than `raw` bytes
    Piecewise  // not tried or not decided: the file stands where it stood, read it in pieces
};

// Reads the zlib stream at the file's position whole (`left` bytes remain in
// the file, -1 when unknown) and inflates it into `data` of `raw` bytes; a
// stream of compressToFile's pieces is inflated a piece per core.
Inflated inflateFile(FILE *fp, long long left, unsigned char *data, size_t raw);

}  // namespace zoltdeflate

#endif
