// The two-input operations of the table (add, subtract, multiply, divide,
// correlation, segmentation). Their entries follow the one-input ones.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "arith.h"
#include "correlate.h"
#include "elementwise.h"
#include "flimage.h"
#include "mfa.h"
#include "opfuncs.h"

namespace {

using namespace opfuncs;

bool isComplex(const ZoltHeader *h) { return (h->dtype & 0x1000) != 0; }

void arithmeticCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *,
                     OpCheck &result) {
    if (isComplex(in1))
        result.refusal.text = "Add, Sub, Mul and Div need real images.";
    else if ((in1->oltndim == 3) != (in2->oltndim == 3))
        result.refusal.text = in1->oltndim == 3
                                  ? "Add, Sub, Mul and Div need two grey or two colour images: image 1 is colour, "
                                    "image 2 is grey."
                                  : "Add, Sub, Mul and Div need two grey or two colour images: image 1 is grey, "
                                    "image 2 is colour.";
}

OpOutcome arithmetic(const OpCall &c) {
    const int dr = opShift(c.values, 0), dc = opShift(c.values, 1);
    flimage::Shape s1, s2;
    flimage::shapeOf(c.in1, &s1);
    flimage::shapeOf(c.in2, &s2);
    int rows = 0, cols = 0;
    ZoltHeader *out = nullptr;
    if (arithCanvas(s1.rows, s1.cols, s2.rows, s2.cols, dr, dc, &rows, &cols)) {
        // input 1's type; a line stays a line only while the canvas has one row
        const int ndim = s1.ndim == 1 && rows > 1 ? 2 : s1.ndim;
        const int dims[4] = {ndim, cols, rows, 3};
        const int line[2] = {1, cols};
        out = Zoltcreate(c.in1->oltdt, ndim == 1 ? line : dims, 11, 0);
    }
    int status = ARITH_SIZE;
    if (out) {
        switch (c.op.code) {
        case 22: status = imgadd(c.in1, c.in2, out, dr, dc); break;
        case 25: status = imgsub(c.in1, c.in2, out, dr, dc); break;
        case 26: status = imgmul(c.in1, c.in2, out, dr, dc); break;
        default: status = imgdiv(c.in1, c.in2, out, dr, dc); break;
        }
    }
    OpOutcome o = statusOnly(status);
    o.made = out;
    if (status != 0) {
        o.message.text = "Function return error code%1";
        o.message.arg = std::to_string(status);
    }
    if (status == CORR_CANCELLED) o.message.text = "The correlation was cancelled.";
    return o;
}

void correlationCheck(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *,
                      OpCheck &result) {
    flimage::Shape s2;
    flimage::shapeOf(in2, &s2);
    if (in1->oltndim != in2->oltndim)
        result.refusal.text = "I can't correlate a gray scale image with a color image. Sorry.";
    else if (s2.frameSize() > 16384)
        result.refusal.text = "Image 2 needs to be small, like 64x64 or less. Sorry.";
    else {
        result.notice.text = "This may take a long time, please be patient.";
        result.notice.msec = 1000;
    }
}

OpOutcome correlation(const OpCall &c) {
    const int status = flcorrelate(c.in1, c.in2, c.out);
    OpOutcome o = statusOnly(status);
    // the routine reads only float images; it refuses others rather than misread them
    if (status == CORR_NOTFLOAT) {
        o.message.text = "Input images must be float or complex %1";
        o.message.arg = std::to_string(status);
    }
    return o;
}

void segmentationCheck(const ZoltHeader *in1, const ZoltHeader *, const ZoltHeader *,
                       OpCheck &result) {
    if (in1->oltndim == 3) result.refusal.text = "This function cannot run on color images.";
}

// Pcon restores input 1 in place and replicates the border of input 2, the
// observed data, as the button does to its two buffers; a copy of the
// restored estimate is the outcome's image, for the tool to write. A run it
// refuses, or that stops on a flat image, leaves both as they were.
OpOutcome segmentation(const OpCall &c) {
    auto *f = const_cast<ZoltHeader *>(c.in1);
    auto *g = const_cast<ZoltHeader *>(c.in2);
    std::vector<float> keptF, keptG;
    if (flimage::isFloat(f) && flimage::isFloat(g)) {
        keptF.assign(flimage::data(f), flimage::data(f) + flimage::count(f));
        keptG.assign(flimage::data(g), flimage::data(g) + flimage::count(g));
    }
    const auto p = [&](int k) { return static_cast<float>(c.values.number[k]); };
    const int status = Pcon(f, g, p(0), p(1), p(2), p(3), p(4), p(5));
    OpOutcome o = statusOnly(status);
    switch (status) {
    case PCON_OK:
        o.made = fldup(f);
        return o;
    case PCON_SIZES:
        o.message.text = "pcon needs two images of the same size, of at least 2 rows and 2 columns.";
        break;
    case PCON_FLAT:
        o.message.text = "pcon found no gradient to follow: the images are flat.";
        break;
    case PCON_CANCELLED:
        o.message.text = "pcon was cancelled; nothing changed.";
        break;
    case PCON_PARAMS:
        o.message.text = "MFA parameters refused: sigma must not be 0, t2 must be above 0 and "
                         "dlt between 0 and 1 (with t1 finite).";
        break;
    default: return o;
    }
    std::copy(keptF.begin(), keptF.end(), flimage::data(f));
    std::copy(keptG.begin(), keptG.end(), flimage::data(g));
    return o;
}

constexpr const char *Translation = "Translation of second image:";
// The two shifts of the translation form, "0" to start with.
#define SHIFTS \
    {field("dr", OpKind::Real, "rows ", "0", 0), field("dc", OpKind::Real, "cols ", "0", 0), end()}

}  // namespace

// A shift is held where a canvas could still be made.
int opShift(const OpValues &values, int k) {
    double v = values.number[k];
    const std::string &text = values.text[k];
    if (!text.empty()) {
        char *end = nullptr;
        v = std::strtod(text.c_str(), &end);
        while (*end == ' ' || *end == '\t') ++end;
        if (end == text.c_str() || *end != '\0') v = 0;
    }
    if (!(v == v)) return 0;
    return static_cast<int>(std::fmax(std::fmin(v, INT32_MAX - 1.0), -(INT32_MAX - 1.0)));
}

const OpEntry binaryOps[] = {
    {22, "add", 2, "add", 0, "Add", "sum, image 2 shifted by dr rows and dc columns", OpOutput::FloatLike,
     false, Translation, SHIFTS, arithmeticCheck, arithmetic},
    {25, "sub", 2, "sub", 0, "Sub", "difference, image 2 shifted by dr rows and dc columns",
     OpOutput::FloatLike, false, Translation, SHIFTS, arithmeticCheck, arithmetic},
    {26, "mul", 2, "mul", 0, "Mul", "product, image 2 shifted by dr rows and dc columns", OpOutput::FloatLike,
     false, Translation, SHIFTS, arithmeticCheck, arithmetic},
    {27, "div", 2, "div", 0, "Div", "quotient (255 where image 2 is 0 or absent), image 2 shifted",
     OpOutput::FloatLike, false, Translation, SHIFTS, arithmeticCheck, arithmetic},
    {9, "correlate", 2, "correlate", 0, "Correlate", "correlation of image 1 with the template image 2",
     OpOutput::FloatLike, true, nullptr, {end()}, correlationCheck, correlation},
    {0, "pcon", 2, "pcon", 0, "pcon", "mean-field annealing of the estimate (1) towards the data (2)",
     OpOutput::FloatLike, false, "MFA parameters: if not filled in,\n default will be used",
     {field("sigma", OpKind::Real, "sigma [2.0]", "2.0", 3.0),
      field("r", OpKind::Real, "r [.03]", ".03", 0.03),
      field("b", OpKind::Real, "b [4]", "4.0", 4.0),
      field("t1", OpKind::Real, "t1 [1.0]", "1.0", 1.0),
      field("t2", OpKind::Real, "t2 [.005]", "0.005", 0.005),
      field("dlt", OpKind::Real, "dlt [.99]", ".99", 0.99)},
     segmentationCheck, segmentation},
    {0, nullptr, 0, nullptr, 0, nullptr, nullptr, OpOutput::Own, false, nullptr, {}, nullptr, nullptr},
};

#undef SHIFTS
