// The runner shared by the control panel and the zolt tool: the output an
// operation is given, the checks before its dialogs, the reading of form
// fields and the call itself.
#include <cmath>
#include <cstdlib>

#include "flimage.h"
#include "imagecopy.h"
#include "opfuncs.h"
#include "stats.h"

std::string OpMessage::formatted() const {
    std::string s = text;
    const size_t at = s.find("%1");
    if (at != std::string::npos) s.replace(at, 2, arg);
    return s;
}

namespace {

ZoltHeader *makeFloat(int ndim, int cols, int rows, int frames) {
    const int dims[4] = {ndim, cols, rows, frames};
    return Zoltcreate("float", dims, 11, 0);
}

}  // namespace

ZoltHeader *opMakeOutput(const OpEntry &op, const ZoltHeader *in1) {
    flimage::Shape s;
    if (!flimage::shapeOf(in1, &s) || op.output == OpOutput::Own) return nullptr;
    const int dims[4] = {s.ndim, s.cols, s.rows, s.frames};
    switch (op.output) {
    case OpOutput::FloatLike: return Zoltcreate("float", dims, 11, 0);
    case OpOutput::ComplexLike: return Zoltcreate("32cmp", dims, 11, 0);
    case OpOutput::Grey2D: return makeFloat(2, s.cols, s.rows, 1);
    case OpOutput::ThreeFrames:
        // A 3-D input of fewer than three frames would leave no room for blue.
        return s.ndim == 3 && s.frames >= 3 ? Zoltcreate("float", dims, 11, 0) : makeFloat(3, s.cols, s.rows, 3);
    case OpOutput::ColourFrames:
        return s.ndim == 3 && (s.frames == 3 || s.frames == 4) ? Zoltcreate("float", dims, 11, 0)
                                                              : makeFloat(3, s.cols, s.rows, 3);
    case OpOutput::Own: break;
    }
    return nullptr;
}

OpCheck opCheck(const OpEntry &op, const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out) {
    OpCheck result;
    if (op.inputs == 1 && !in1) {
        result.refusal.text = "Input empty";
        return result;
    }
    if (op.inputs == 2 && (!in1 || !in2)) {
        result.refusal.text = !in1 ? "Input1 empty" : "Input2 empty";
        return result;
    }
    if (op.check) op.check(in1, in2, out, result);
    return result;
}

bool opAsks(const OpEntry &op, int index, const ZoltHeader *in1) {
    const OpParam &p = op.params[index];
    if (p.only3d && !(in1 && in1->oltndim == 3)) return false;
    return p.title != nullptr || op.form != nullptr;
}

void opReadField(const OpParam &p, const std::string &text, OpValues &values, int index) {
    values.text[index] = text;
    const bool blank = text.find_first_not_of(" \t") == std::string::npos;
    if (blank) {
        values.number[index] = std::isnan(p.def) ? 0.0 : p.def;
        return;
    }
    values.number[index] = p.kind == OpKind::Integer ? double(std::strtol(text.c_str(), nullptr, 10))
                                                     : double(std::strtof(text.c_str(), nullptr));
}

OpOutcome opRun(const OpCall &call) {
    const OpCheck first = opCheck(call.op, call.in1, call.in2, call.out);
    if (!first.refusal.empty()) {
        OpOutcome o;
        o.message = first.refusal;
        return o;
    }
    return call.op.run(call);
}

ZoltHeader *opBufferImage(ZoltHeader *read) {
    if (!read || read->dtype == ZOLT_C32 || read->dtype == ZOLT_F32) return read;
    ZoltHeader *img = Zoltretype(read, read->dtype == ZOLT_C64 ? "32cmp" : "float");
    Zoltfree(read, 7);
    return img;
}

int opLargestValue(const ZoltHeader *img) {
    ZoltFrameStats s;
    if (Zoltframestats(img, 0, &s) != 0 || std::isnan(s.max)) return 0;
    const double top = std::trunc(s.max);
    return top >= 2147483647.0 ? 2147483647 : top <= -2147483648.0 ? -2147483647 - 1 : static_cast<int>(top);
}

// ------------------------------------------------------------ random colours

double Rand48::next() {
    state = (0x5DEECE66DULL * state + 0xBULL) & ((1ULL << 48) - 1);
    return static_cast<double>(state) / static_cast<double>(1ULL << 48);
}

Rand48 &opRandom() {
    static Rand48 generator;
    return generator;
}
