// The annealing with a chosen number of threads, for the benchmarks and the
// tests that compare thread counts; 0 picks as Pcon does.
#ifndef IMGPROC_MFA_INTERNAL_H
#define IMGPROC_MFA_INTERNAL_H

#include "zolt.h"

int PconThreads(ZoltHeader *f, ZoltHeader *g, float sigma, float r, float b, float t1,
                float t2, float dlt, int threads);

#endif
