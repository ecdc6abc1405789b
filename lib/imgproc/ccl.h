// Connected-component labelling of a grey image (colour images are first
// reduced to one grey value per pixel), with optional removal of regions by
// area and an optional text table of region areas.
#ifndef IMGPROC_CCL_H
#define IMGPROC_CCL_H

#include "zolt.h"

// Most provisional labels one labelling may create.
constexpr int CCL_MAXLABELS = 1000000;

// Statuses of cclC4_2.
enum : int {
    CCL_OK = 0,
    CCL_TOOMANY = 1,     // more than CCL_MAXLABELS provisional labels needed
    CCL_BADLABEL = -1,   // kept for callers; the table now covers every label
    CCL_BADIMAGE = -2,   // null, unreadable or mismatched input or output image, or an
                         // output type the labels cannot be converted to
    CCL_AREASFILE = -3,  // the areas file could not be created
    CCL_CANCELLED = -4,  // a stop was asked (progress.h): no output, no areas file written
};

// Labels the regions of `input` whose neighbouring values differ by at most
// `thresh` and lie in [minval, maxval]; 4-neighbour joins upward and leftward
// plus the up-left diagonal. Row 0 and column 0 are left unlabelled (-1),
// except pixel (0, 0), which is background (0). Regions smaller than
// `EraseSmall` or larger than `EraseLarge` pixels become background (0 = off);
// when either is on and `areasfile` is not empty, "label area" lines are
// written to that file. `numlabels` receives the number of provisional labels
// created. The labels go into `output` (same columns and rows as the input).
// Progress goes to the progress hook; a stop asked before the output is
// written returns CCL_CANCELLED with the output, the areas file and
// `numlabels` left as they were.
int cclC4_2(const ZoltHeader *input, float thresh, float minval, float maxval,
            int EraseSmall, int EraseLarge, int &numlabels, const char *areasfile,
            ZoltHeader *output);

#endif
