// The Gaussian-derivative operations of the table: blur and derivatives
// through flDoG, and the filters built on them. Sigma comes from the first
// parameter, in single precision.
#include <cstdio>
#include <string>

#include "derivatives.h"
#include "gauss.h"
#include "opfuncs.h"

namespace opfuncs {

namespace {

// A sigma of 0 gives no kernel; the filters refuse it and the user learns why.
// A sigma too large for the image: the kernel needs 4r + 2 rows.
OpOutcome sigmaChecked(int status, float sigma, const ZoltHeader *in) {
    OpOutcome o = statusOnly(status);
    if (status == FLDOG_SIGMA && sigma == 0.0f) o.message.text = "Sigma must not be 0.";
    if (status == FLDOG_SHORT) {
        const long long need = 4LL * flDoGradius(sigma) + 2;
        o.message.text = "The image is too small for sigma %1";
        char text[160];
        std::snprintf(text, sizeof text, "%g: it needs at least %lld rows and has %u", double(sigma), need,
                      in ? Zoltdimen(in, 1) : 0u);
        o.message.arg = text;
    }
    return o;
}

}  // namespace

OpOutcome derivative(const OpCall &c) {
    int order = 0, direction = 0;
    switch (c.op.code) {
    case 1: order = 1; direction = 0; break;
    case 2: order = 2; direction = 0; break;
    case 3: order = 1; direction = 1; break;
    case 4: order = 2; direction = 1; break;
    case 5: order = 2; direction = 2; break;
    default: break;  // 19: the blur itself
    }
    const float sigma = static_cast<float>(c.values.number[0]);
    return sigmaChecked(flDoG(c.in1, c.out, sigma, order, direction), sigma, c.in1);
}

OpOutcome sigmaFilter(const OpCall &c) {
    const float sigma = static_cast<float>(c.values.number[0]);
    int status = 0;
    switch (c.op.code) {
    case 6: status = flcurv(c.in1, c.out, sigma); break;
    case 7: status = flharris(c.in1, c.out, sigma); break;
    case 11: status = fllaplace(c.in1, c.out, sigma); break;
    case 12: status = flqvar(c.in1, c.out, sigma); break;
    case 16: status = flmarkmax(c.in1, c.out, sigma); break;
    case 23: status = flgmag(c.in1, c.out, sigma); break;
    case 24: status = flgdir(c.in1, c.out, sigma); break;
    default: return OpOutcome();
    }
    if ((c.op.code == 11 || c.op.code == 12) && status != 0) {
        OpOutcome o = statusOnly(status);
        o.message.text = "Function returned an error code.";
        return o;
    }
    return sigmaChecked(status, sigma, c.in1);
}

// Every derivative reads its kernel's radius around the pixel and the
// filters built on them combine derivatives of one pixel; the kernels clamp
// their reads at the frame's edges, where a tile without halo ends as well.
int gaussHalo(const OpValues &v) { return flDoGradius(static_cast<float>(v.number[0])); }

// Harris sums the derivatives' products over the 3 x 3 window.
int harrisHalo(const OpValues &v) { return gaussHalo(v) + 1; }

}  // namespace opfuncs
