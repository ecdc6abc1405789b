// The runner shared by the control panel and the zolt tool: the output an
// operation is given, the checks before its dialogs, the reading of form
// fields and the call itself.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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

bool opIntegerRange(const OpParam &p, double *lo, double *hi) {
    if (p.kind != OpKind::Integer) return false;
    *lo = p.bounded() ? p.min : -2147483648.0;
    *hi = p.bounded() ? p.max : 2147483647.0;
    return true;
}

OpOutcome opRun(const OpCall &call) {
    // An integer parameter outside its range (or outside int) would make the
    // conversion to int undefined: refuse it before anything runs.
    for (int k = 0; k < call.op.paramCount(); ++k) {
        const OpParam &p = call.op.params[k];
        double lo = 0, hi = 0;
        const double v = call.values.number[k];
        if (!opIntegerRange(p, &lo, &hi) || (v >= lo && v <= hi)) continue;
        char range[96];
        std::snprintf(range, sizeof range, " %.17g is outside %.17g to %.17g", v, lo, hi);
        std::string who = p.label ? p.label : p.name;
        while (!who.empty() && (who.back() == ' ' || who.back() == ':')) who.pop_back();
        OpOutcome o;
        o.message.text = "%1";
        o.message.arg = who + range;
        return o;
    }
    const OpCheck first = opCheck(call.op, call.in1, call.in2, call.out);
    if (!first.refusal.empty()) {
        OpOutcome o;
        o.message = first.refusal;
        return o;
    }
    return call.op.run(call);
}

namespace {

// A name with its folder resolved (links followed), for a file that may not
// exist yet; the name itself when its folder does not resolve either.
std::string resolvedName(const std::string &name, int depth = 0) {
    if (char *real = realpath(name.c_str(), nullptr)) {
        std::string r(real);
        std::free(real);
        return r;
    }
    size_t slash = name.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    // a dangling link: the name it points to
    char link[4096];
    const ssize_t n = readlink(name.c_str(), link, sizeof link - 1);
    if (n > 0 && depth < 40) {
        link[n] = '\0';
        return resolvedName(link[0] == '/' ? std::string(link) : dir + "/" + link, depth + 1);
    }
    if (char *real = realpath(dir.c_str(), nullptr)) {
        std::string r = std::string(real) + "/" + base;
        std::free(real);
        return r;
    }
    return name;
}

}  // namespace

bool opSameFile(const std::string &a, const std::string &b) {
    if (a.empty() || b.empty()) return false;
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return resolvedName(a) == resolvedName(b);
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
