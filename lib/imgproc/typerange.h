// Which values of an image a data type of whole numbers cannot hold: those
// below or above its range and those that are not numbers. Converting them
// keeps only the low bits of the truncated value, so they come out as other
// numbers; this counts them before a save converts.
#ifndef IMGPROC_TYPERANGE_H
#define IMGPROC_TYPERANGE_H

#include <cstddef>

#include "zolt.h"

struct ZoltRangeReport {
    std::size_t outside = 0;  // values the type cannot hold
    std::size_t total = 0;    // values looked at
    double lo = 0, hi = 0;    // the type's range
    double example = 0;       // the first value outside
    double becomes = 0;       // what conversion makes of it (NaN when unknown)
};

// Looks at every value of `src` against type `type`. Returns 1 when some
// values lie outside, 0 when all fit or the type holds any real value (float
// types), -1 when the type name is unknown or src cannot be read as real
// numbers (complex).
int Zoltrangecheck(const ZoltHeader *src, const char *type, ZoltRangeReport *report);

#endif
