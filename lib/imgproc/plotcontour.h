// Boundary files: a text list of points drawn as single pixels on a new
// three-frame "u8bit" image (first point red, last green, the others white).
#ifndef IMGPROC_PLOTCONTOUR_H
#define IMGPROC_PLOTCONTOUR_H

#include "zolt.h"

// Reads the boundary file `name`: two arbitrary characters, the point count,
// then one "x y" pair per line. A negative count, or one larger than the lines
// present, reads the points up to the end of the file. The image spans the
// points' bounding box times `scale` unless `fixedRows`/`fixedCols` are not 0;
// `raw` 1 places points at their own coordinates instead of relative to the
// box. Returns null (reported, ZoltErrorCode set) when the file cannot be
// opened or holds no point.
ZoltHeader *plotcontour(const char *name, float scale, int fixedRows, int fixedCols, int raw);

#endif
