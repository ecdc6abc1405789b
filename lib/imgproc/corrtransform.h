// Sums of products of a template with every window of an image, by Fourier
// transforms in double precision over square tiles (overlap-save), for
// templates large enough that this beats the direct sums. Internal to the
// correlation.
#ifndef IMGPROC_CORRTRANSFORM_H
#define IMGPROC_CORRTRANSFORM_H

#include <cstddef>
#include <functional>

namespace corrtransform {

// The tile side (a power of 2) that makes the transform cheapest for an
// image of rows1 x cols1 and a template of rows2 x cols2, with its estimated
// time in nanoseconds; 0 when no tile fits.
int bestTile(int rows1, int cols1, int rows2, int cols2, double *nanoseconds);

// Estimated processor time of the direct sums for the same sizes, in
// nanoseconds (bestTile gives the same measure).
double directCost(int rows1, int cols1, int rows2, int cols2);

// Runs the tiles of `tile` x `tile` over an image (rows1 x cols1, storage
// order) and a template (rows2 x cols2), a strip of tile rows at a time,
// strips shared among `threads` threads. done(first, end, sums, caller) is
// called once per strip, on the thread that made it, for valid rows
// [first, end): sums[(ii - first) x W + jj] is the sum over the template of
// tmpl(a, b) x image(ii + a, jj + b), W = cols1 - cols2 + 1; caller is true
// on the calling thread. False when memory runs out.
bool windowSums(const float *image, int rows1, int cols1, const float *tmpl, int rows2, int cols2, int tile,
                int threads, const std::function<void(int first, int end, const double *sums, bool caller)> &done);

}  // namespace corrtransform

#endif
