// The run and check functions the operation table points at, one family per
// source file, and small helpers they share.
#ifndef OPS_OPFUNCS_H
#define OPS_OPFUNCS_H

#include "ops.h"

namespace opfuncs {

// Gaussian derivatives and the filters built on them (filters.cpp).
OpOutcome derivative(const OpCall &c);  // codes 1 to 5 and 19: flDoG
OpOutcome sigmaFilter(const OpCall &c); // curvature, Harris, Laplacian, ...
int gaussHalo(const OpValues &v);       // the kernel radius of the sigma
int harrisHalo(const OpValues &v);      // one more for the 3 x 3 window
// Point operations, colour to grey, complex parts, FFT, pixel copy (pointwise.cpp).
OpOutcome pointOp(const OpCall &c);
OpOutcome colourToGrey(const OpCall &c);
OpOutcome complexPart(const OpCall &c);
OpOutcome fourier(const OpCall &c);
void fourierCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out, OpCheck &result);
void inverseFourierCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out,
                         OpCheck &result);
OpOutcome pixelCopy(const OpCall &c);
int pointHalo(const OpValues &v);       // 0: each value from its own pixel
void complexCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out,
                  OpCheck &result);
void magnitudeCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out,
                    OpCheck &result);
// Labelling, equalisation and pseudo-colour (labelling.cpp, pseudo.cpp).
OpOutcome labelling(const OpCall &c);
void labellingCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out,
                    OpCheck &result);
OpOutcome equalise(const OpCall &c);
void equaliseCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out,
                   OpCheck &result);
OpOutcome pseudoColour(const OpCall &c);
// The operations the mode-1 slots run directly (direct.cpp).
OpOutcome hog(const OpCall &c);
OpOutcome showHog(const OpCall &c);
void showHogCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out,
                  OpCheck &result);
OpOutcome crop(const OpCall &c);
OpOutcome resize(const OpCall &c);
OpOutcome threeFrames(const OpCall &c);

// The end of an entry's parameter list.
constexpr OpParam end() { return OpParam{nullptr, OpKind::Real, nullptr, nullptr, 0, 1, 0, 0, nullptr, false}; }
// A line edit of a form: its label, the text it starts with, what empty text reads as.
constexpr OpParam field(const char *name, OpKind kind, const char *label, const char *preset, double empty) {
    return OpParam{name, kind, nullptr, label, empty, 1, 0, 0, preset, false};
}

// The outcome of a library call whose status 0 means success, with no message.
inline OpOutcome statusOnly(int status) {
    OpOutcome o;
    o.ran = true;
    o.status = status;
    o.done = status == 0;
    return o;
}
// An outcome that stops before the library with a message (msec 0: modal).
inline OpOutcome refused(const std::string &text, int msec = 0, const std::string &arg = {}) {
    OpOutcome o;
    o.message.text = text;
    o.message.arg = arg;
    o.message.msec = msec;
    return o;
}

}  // namespace opfuncs

// The binary operations' entries, ended by an entry whose name is null
// (binary.cpp).
extern const OpEntry binaryOps[];

#endif
