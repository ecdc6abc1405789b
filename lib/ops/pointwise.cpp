// Point operations of the table (exponential, inversion, absolute value,
// logarithm, colour to grey, pixel copy), the complex parts and the Fourier
// transforms with the messages their statuses call for.
#include <cstring>
#include <string>

#include "complexconv.h"
#include "elementwise.h"
#include "fft.h"
#include "flimage.h"
#include "opfuncs.h"
#include "pointops.h"

namespace opfuncs {

OpOutcome pointOp(const OpCall &c) {
    switch (c.op.code) {
    case 8: return statusOnly(flexp(c.in1, c.out, static_cast<float>(c.values.number[0])));
    case 10: return statusOnly(flinv(c.in1, c.out));
    case 14: return statusOnly(flabs(c.in1, c.out));
    case 17: {
        // After its checks flln tells only whether every value was positive;
        // either way the logarithm is done.
        const int checked = flimage::checkPair(c.in1, c.out);
        if (checked != 0) return statusOnly(checked);
        OpOutcome o = statusOnly(flln(c.in1, c.out));
        o.done = true;
        return o;
    }
    default: return OpOutcome();
    }
}

OpOutcome colourToGrey(const OpCall &c) {
    // clr2gray would replace an output that is not "32flt"; the prepared
    // output belongs to the caller, so such an output is swapped here instead.
    ZoltHeader *own = nullptr;
    if (!flimage::isFloat(c.out)) {
        flimage::Shape s;
        flimage::shapeOf(c.in1, &s);
        const int dims[3] = {2, s.cols, s.rows};
        own = Zoltcreate("float", dims, 11, 0);
    }
    ZoltHeader *out = own ? own : c.out;
    OpOutcome o = statusOnly(clr2gray(c.in1, out));
    if (own) {
        if (o.done) o.made = own;
        else Zoltfree(own, 7);
    }
    switch (o.status) {
    case -3: o.message.text = "Color to gray function input error."; break;
    case -4: o.message.text = "Output image must be 2d."; break;
    case -5: o.message.text = "Input and output images have different number rows."; break;
    case -6: o.message.text = "Input and output images have different number cols."; break;
    default: break;
    }
    return o;
}

void complexCheck(const ZoltHeader *in1, const ZoltHeader *, const ZoltHeader *, OpCheck &result) {
    if (in1->dtype != ZOLT_C32) result.refusal.text = "Image is not complex";
}

void magnitudeCheck(const ZoltHeader *in1, const ZoltHeader *, const ZoltHeader *, OpCheck &result) {
    if (in1->dtype != ZOLT_C32) result.refusal.text = "Input Image is not complex";
}

OpOutcome complexPart(const OpCall &c) {
    int status = 0;
    const char *name = "";
    switch (c.op.code) {
    case 29: status = Zoltc2mag(c.in1, c.out); name = "Zoltc2mag"; break;
    case 30: status = Zoltc2phase(c.in1, c.out); name = "Zoltc2phase"; break;
    case 31: status = Zoltc2real(c.in1, c.out); name = "Zoltc2real"; break;
    case 32: status = Zoltc2imag(c.in1, c.out); name = "Zoltc2imag"; break;
    default: return OpOutcome();
    }
    OpOutcome o = statusOnly(status);
    if (status != 0) o.message.text = std::string("Error returned by ") + name;
    return o;
}

// Refuses what the transform cannot take before any output is touched, saying
// what it needs: a square image whose side is a power of 2.
void fourierSize(const ZoltHeader *in1, OpCheck &result) {
    flimage::Shape s;
    if (!flimage::shapeOf(in1, &s)) return;
    const std::string size = std::to_string(s.cols) + " x " + std::to_string(s.rows);
    bool power = s.cols > 0;
    for (int n = s.cols; n > 1 && power; n /= 2) power = n % 2 == 0;
    if (s.cols != s.rows) {
        result.refusal.text = "FFT:Image must be square, with a side that is a power of 2 (this one is %1)";
        result.refusal.arg = size;
    } else if (!power) {
        result.refusal.text = "FFT:Image dimensions must be a power of 2, such as 256 or 512 (this one is %1)";
        result.refusal.arg = size;
    }
}

void fourierCheck(const ZoltHeader *in1, const ZoltHeader *, const ZoltHeader *, OpCheck &result) {
    fourierSize(in1, result);
}

void inverseFourierCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out, OpCheck &result) {
    complexCheck(in1, in2, out, result);
    if (result.refusal.empty()) fourierSize(in1, result);
}

// Every frame is transformed on its own, in the prepared complex output of as
// many frames: no copy of the image beside the input and the output.
OpOutcome fourier(const OpCall &c) {
    flimage::Shape s, so;
    if (!flimage::shapeOf(c.in1, &s) || !flimage::shapeOf(c.out, &so) || c.out->dtype != ZOLT_C32 ||
        so.cols != s.cols || so.rows != s.rows || so.frames < s.frames)
        return statusOnly(-1);
    const bool forward = c.op.code == 33;
    if (!forward && c.in1->dtype != ZOLT_C32) return statusOnly(-3);
    float *p = static_cast<float *>(c.out->oltptr);
    const size_t n = s.frameSize();
    if (forward) {
        // Real parts from the input, imaginary parts 0.
        if (flimage::isFloat(c.in1)) {
            const float *from = flimage::data(c.in1);
            for (size_t i = 0; i < s.count(); ++i) {
                p[2 * i] = from[i];
                p[2 * i + 1] = 0.f;
            }
        } else {
            for (int f = 0; f < s.frames; ++f)
                for (size_t i = 0; i < n; ++i) {
                    const int r = static_cast<int>(i / s.cols), col = static_cast<int>(i % s.cols);
                    const double v = c.in1->oltndim == 3 ? Zoltfgp3d(c.in1, f, r, col) : Zoltfgp(c.in1, r, col);
                    p[2 * (f * n + i)] = static_cast<float>(v);
                    p[2 * (f * n + i) + 1] = 0.f;
                }
        }
    } else {
        std::memcpy(p, c.in1->oltptr, 2 * sizeof(float) * s.count());
    }
    OpOutcome o;
    int status = 0;
    for (int f = 0; f < s.frames && status == 0; ++f) status = cff2dFrame(p + 2 * f * n, s.cols, forward ? -1 : 1);
    if (status == -2) o.message.text = "FFT:Image dimensions must be a power of 2";
    o.ran = true;
    o.status = status;
    o.done = status == 0;
    return o;
}

OpOutcome pixelCopy(const OpCall &c) {
    flimage::Shape s;
    if (!flimage::shapeOf(c.in1, &s) || !c.out) return statusOnly(-1);
    for (int r = 0; r < s.rows; ++r)
        for (int col = 0; col < s.cols; ++col) Zoltfpp(c.out, r, col, Zoltfgp(c.in1, r, col));
    return statusOnly(0);
}

int pointHalo(const OpValues &) { return 0; }

}  // namespace opfuncs
