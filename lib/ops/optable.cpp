// The one-input operations of the table and the look-ups over the whole table
// (these entries followed by the two-input ones). Texts are the program's own
// and stay as they are, misspellings included.
#include <cmath>
#include <cstring>
#include <limits>

#include "opfuncs.h"

namespace {

using namespace opfuncs;

constexpr double NoDefault = std::numeric_limits<double>::quiet_NaN();

// A parameter asked in a dialog for a double.
constexpr OpParam real(const char *name, const char *title, const char *label, double def, double min,
                       double max, int decimals) {
    return OpParam{name, OpKind::Real, title, label, def, min, max, decimals, nullptr, false};
}
// A parameter asked in a dialog for an integer (step 1).
constexpr OpParam integer(const char *name, const char *title, const char *label, int def, int min, int max,
                          bool only3d = false) {
    return OpParam{name, OpKind::Integer, title, label, double(def), double(min), double(max), 0, nullptr, only3d};
}
// A value never asked in a dialog; the command line must give it. The
// label only describes it in the tool's help.
constexpr OpParam given(const char *name, const char *label) {
    return OpParam{name, OpKind::Integer, nullptr, label, NoDefault, 1, 0, 0, nullptr, false};
}

constexpr const char *Sigma = "Sigma of blur";
constexpr const char *AllSigma = "Sigma for all Gaussian derivatives:";
constexpr const char *GradSigma = "Sigma of Gaussian derivative:";

const OpEntry unaryOps[] = {
    {1, "dx", 1, "dx", 0, "DX", "first derivative along columns", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "Dx", Sigma, 1.0, 1.0, 255.0, 1), end()}, nullptr, derivative, gaussHalo},
    {2, "dxx", 1, "dxx", 0, "DXX", "second derivative along columns", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "Dxx", Sigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, derivative, gaussHalo},
    {3, "dy", 1, "dy", 0, "DY", "first derivative along rows", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "Dy", Sigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, derivative, gaussHalo},
    {4, "dyy", 1, "dyy", 0, "DYY", "second derivative along rows", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "Dyy", Sigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, derivative, gaussHalo},
    {5, "dxy", 1, "dxdy", 0, "DXY", "mixed second derivative", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "Dxy", Sigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, derivative, gaussHalo},
    {6, "curv", 1, "curvature", 0, "Curv", "curvature of the level sets", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "gDir", AllSigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, sigmaFilter, gaussHalo},
    {7, "harris", 1, "curvature", 1, "HarrisOp", "Harris corner measure", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "Harris", AllSigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, sigmaFilter, harrisHalo},
    {8, "exp", 1, "exponent", 0, "Exp", "exponential of value / scale, clipped at 255", OpOutput::FloatLike,
     false, nullptr, {real("scale", "Exp", "Scale for exp", 50.0, 0.0, 1000.0, 1), end()}, nullptr, pointOp,
     pointHalo},
    {10, "inv", 1, "inverse", 0, "Inv", "largest value minus each value", OpOutput::FloatLike, false, nullptr,
     {end()}, nullptr, pointOp},
    {11, "lap", 1, "laplacian", 0, "Lap", "Laplacian (negative sigma: sum of squared second derivatives)",
     OpOutput::FloatLike, true, nullptr,
     {real("sigma", "Laplacian", "sigma (-neg. means squared)", 1.0, -255.0, 255.0, 2), end()}, nullptr,
     sigmaFilter, gaussHalo},
    {12, "qvar", 1, "laplacian", 1, "Qvar", "quadratic variation", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "QuadVar", "sigma", 1.0, 0.0, 20.0, 2), end()}, nullptr, sigmaFilter, gaussHalo},
    {13, "ccl", 1, "ccl", 0, "CCL", "connected-component labelling", OpOutput::FloatLike, false,
     "Parameters for CCL.",
     {field("thresh", OpKind::Real, "Thresh ", "2.0", 0), field("minval", OpKind::Real, "minval ", "10.0", 0),
      field("maxval", OpKind::Real, "maxval ", "255.0", 0),
      field("erase-small", OpKind::Integer, "EraseSmall ", "1", 0),
      field("erase-large", OpKind::Integer, "EraseLarge ", "0", 0),
      field("areas", OpKind::Text, "filename of areas", nullptr, 0)},
     labellingCheck, labelling},
    {14, "abs", 1, "ccl", 1, "ABS", "absolute value", OpOutput::FloatLike, false, nullptr, {end()}, nullptr,
     pointOp, pointHalo},
    {15, "histeq", 1, "histeq", 0, "Histeq", "histogram equalisation over the whole image", OpOutput::FloatLike,
     false, nullptr, {end()}, equaliseCheck, equalise},
    {16, "markmax", 1, "histeq", 1, "MarkMax", "local maxima marked in red", OpOutput::ColourFrames, false,
     nullptr, {real("sigma", "MarkMax", "sigma of preblur.", 0.5, -255.0, 255.0, 2), end()}, nullptr,
     sigmaFilter},
    {17, "ln", 1, "natlog", 0, "Ln", "natural logarithm (0 where the value is not positive)",
     OpOutput::FloatLike, false, nullptr, {end()}, nullptr, pointOp, pointHalo},
    {18, "cmap", 1, "pseudo", 0, "CMap", "pseudo-colour through map 0 to 6 (6: random colours per label)",
     OpOutput::ThreeFrames, true, nullptr,
     {integer("map", "Pseudocolor", "Color map number", 0, 0, 6),
      integer("frame", "Pseudocolor", "Input Frame No", 0, 0, 2, true), end()},
     nullptr, pseudoColour},
    {19, "blur", 1, "blur", 0, "Blur", "Gaussian blur", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "Blur", Sigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, derivative, gaussHalo},
    {20, "clr2gray", 1, "dxdy", 1, "Clr2Gray", "grey value of a colour image", OpOutput::Grey2D, false, nullptr,
     {end()}, nullptr, colourToGrey},
    {21, "hog", 1, "dx", 1, "HoG", "histograms of oriented gradients of 8 x 8 cells (9 frames)", OpOutput::Own,
     false, nullptr, {end()}, nullptr, hog},
    {23, "gmag", 1, "dxx", 1, "gMag", "gradient magnitude", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "gMag", GradSigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, sigmaFilter, gaussHalo},
    {24, "gdir", 1, "dyy", 1, "gDir", "gradient direction", OpOutput::FloatLike, false, nullptr,
     {real("sigma", "gDir", GradSigma, 1.0, 0.0, 255.0, 1), end()}, nullptr, sigmaFilter, gaussHalo},
    {29, "c2mag", 1, "c2mag", -1, nullptr, "magnitude of a complex image", OpOutput::FloatLike, true, nullptr,
     {end()}, magnitudeCheck, complexPart},
    {30, "c2phase", 1, "c2phase", -1, nullptr, "phase of a complex image", OpOutput::FloatLike, true, nullptr,
     {end()}, complexCheck, complexPart},
    {31, "c2real", 1, "c2real", -1, nullptr, "real part of a complex image", OpOutput::FloatLike, true, nullptr,
     {end()}, complexCheck, complexPart},
    {32, "c2imag", 1, "c2imag", -1, nullptr, "imaginary part of a complex image", OpOutput::FloatLike, true,
     nullptr, {end()}, complexCheck, complexPart},
    {33, "fft", 1, "fft", -1, nullptr, "forward 2-D Fourier transform (square, side a power of 2)",
     OpOutput::ComplexLike, true, nullptr, {end()}, fourierCheck, fourier},
    {34, "ifft", 1, "ifft", -1, nullptr, "inverse 2-D Fourier transform of a complex image",
     OpOutput::ComplexLike, true, nullptr, {end()}, inverseFourierCheck, fourier},
    {35, "copy", 1, nullptr, -1, nullptr, "pixel copy of the first frame", OpOutput::FloatLike, false, nullptr,
     {end()}, nullptr, pixelCopy},
    // Run by the mode-1 slots themselves, without a dispatcher code.
    {0, "showhog", 1, "dy", 1, "ShowHoG", "picture of a 9-frame HoG image", OpOutput::Own, false, nullptr,
     {end()}, showHogCheck, showHog},
    {0, "crop", 1, "exponent", 1, "Crop", "the rectangle between two corners (x column, y row)",
     OpOutput::Own, false, nullptr, {given("x1", "column of one corner"), given("y1", "row of one corner"),
      given("x2", "column of the other corner"), given("y2", "row of the other corner"), end()}, nullptr, crop},
    {0, "resize", 1, "inverse", 1, "Resize", "resampled to rows x cols (mode 0 bilinear, 1 replicate, 2 average)",
     OpOutput::Own, false, "rows and cols of target imge.",
     {field("rows", OpKind::Integer, "rows ", nullptr, NoDefault),
      field("cols", OpKind::Integer, "columns ", nullptr, NoDefault),
      field("mode", OpKind::Integer, "Intermp mode ", nullptr, 0), end()},
     nullptr, resize},
    {0, "to3d", 1, "pseudo", 1, "2D 2 3D", "the image copied into three frames", OpOutput::ThreeFrames, true,
     nullptr, {end()}, nullptr, threeFrames},
};

struct Table {
    std::vector<OpEntry> entries;
    Table() {
        entries.assign(std::begin(unaryOps), std::end(unaryOps));
        for (const OpEntry *e = binaryOps; e->name; ++e) entries.push_back(*e);
    }
};

const Table &table() {
    static const Table t;
    return t;
}

}  // namespace

bool OpParam::defaultValue(double *value) const {
    if (preset) {
        *value = std::strtod(preset, nullptr);
        return true;
    }
    if (std::isnan(def)) return false;
    *value = def;
    return true;
}

int OpEntry::paramCount() const {
    int n = 0;
    while (n < 6 && params[n].name) ++n;
    return n;
}

int OpEntry::paramIndex(const char *p) const {
    for (int i = 0; i < paramCount(); ++i)
        if (std::strcmp(params[i].name, p) == 0) return i;
    return -1;
}

const OpEntry *opTable(int *count) {
    const Table &t = table();
    if (count) *count = static_cast<int>(t.entries.size());
    return t.entries.data();
}

const OpEntry *opByName(const std::string &name) {
    for (const OpEntry &e : table().entries)
        if (name == e.name) return &e;
    return nullptr;
}

const OpEntry *opByCode(int code, int inputs) {
    if (code == 0) return nullptr;
    for (const OpEntry &e : table().entries)
        if (e.code == code && e.inputs == inputs) return &e;
    return nullptr;
}

const OpEntry *opBySlot(const char *slot, int mode) {
    for (const OpEntry &e : table().entries)
        if (e.slot && slot && std::strcmp(e.slot, slot) == 0 && (e.mode == mode || e.mode == -1)) return &e;
    return nullptr;
}

int opHalo(const OpEntry &op, const OpValues &values) { return op.halo ? op.halo(values) : -1; }

const char *opButtonLabel(const char *slot, int mode) {
    const OpEntry *e = opBySlot(slot, mode);
    return e && e->label ? e->label : "N/A";
}
