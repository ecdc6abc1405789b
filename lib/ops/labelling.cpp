// Labelling and histogram equalisation as the table runs them: the size
// refusal and colour warning of the labelling, the fixes of its value bounds,
// and the notes that report each status (a cancel included).
#include <cstdio>

#include "ccl.h"
#include "flimage.h"
#include "histeq.h"
#include "opfuncs.h"

namespace opfuncs {

namespace {
constexpr long long LargestLabelling = 10000000;  // pixels (columns x rows)
}

void labellingCheck(const ZoltHeader *in1, const ZoltHeader *, const ZoltHeader *out, OpCheck &result) {
    flimage::Shape s;
    flimage::shapeOf(in1, &s);
    const long long pixels = static_cast<long long>(s.cols) * s.rows;
    if (pixels > LargestLabelling) {
        result.refusal.text = "Sorry. This function cannot handle %1 pixels. Returning...";
        result.refusal.arg = std::to_string(pixels);
        result.refusal.msec = 3000;
        return;
    }
    if (out && out->oltndim == 3) {
        result.notice.text =
            "CCL only works on grayscale images. Using it on a color image will produce strange results.";
        result.notice.msec = 3000;
        result.waitMsec = 2000;
    }
}

OpOutcome labelling(const OpCall &c) {
    const OpValues &v = c.values;
    const float thresh = static_cast<float>(v.number[0]);
    float minval = static_cast<float>(v.number[1]);
    float maxval = static_cast<float>(v.number[2]);
    const int eraseSmall = static_cast<int>(v.number[3]);
    const int eraseLarge = static_cast<int>(v.number[4]);
    const std::string &areas = v.text[5];
    if (!areas.empty()) {
        Zoltsay("1: %s\n ", areas.c_str());
        std::fflush(stdout);
    }
    // 0 stands for "the usual bound".
    if (minval == 0.0f) minval = 1.0f;
    if (maxval == 0.0f) maxval = 256.0f;
    if (!(maxval - minval > 0.0f)) return refused("Maxvalue and Minvalue don't make sense. Returning...", 2000);

    int &labels = c.context.maxValue;  // the label count is kept for the random colour map
    c.context.largestOf = nullptr;
    OpOutcome o = statusOnly(
        cclC4_2(c.in1, thresh, minval, maxval, eraseSmall, eraseLarge, labels, areas.c_str(), c.out));
    switch (o.status) {
    case CCL_AREASFILE: o.message = {"Unable to access specifed list of areas file", "", 3000}; break;
    case CCL_BADLABEL: o.message = {"Error returned by cclC4_2.  Must quit!", "", 5000}; break;
    case CCL_OK: o.message = {"found %1 labels", std::to_string(labels), 3000}; break;
    case CCL_TOOMANY: o.message = {"Image too big for this program: %1 labels", std::to_string(labels), 5000}; break;
    case CCL_CANCELLED: o.message = {"The labelling was cancelled; nothing changed.", "", 3000}; break;
    default: break;
    }
    return o;
}

void equaliseCheck(const ZoltHeader *, const ZoltHeader *, const ZoltHeader *, OpCheck &result) {
    result.notice.text = "This function takes a while on large images.\n";
    result.notice.msec = 2000;
    result.notice.title = "message";
}

OpOutcome equalise(const OpCall &c) {
    OpOutcome o = statusOnly(flhisteq(c.in1, c.out, 0));
    if (o.status == HISTEQ_SMALL)
        o.message = {"Hist:Cannot equalize histogram of an imagesmaller than the neighborhood", "", 3000};
    return o;
}

}  // namespace opfuncs
