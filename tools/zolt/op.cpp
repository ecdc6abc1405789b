// zolt op NAME INPUT [INPUT2] -o OUTPUT [--PARAM VALUE ...] [--type NAME]:
// runs one operation of the operation table on ZOLT files, read as the
// control panel reads them, with the defaults and ranges of its dialogs. A
// failure leaves no output file behind.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "imagecopy.h"
#include "ops.h"
#include "stats.h"
#include "zolt_tiff.h"

namespace {

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

std::string trimmed(const char *text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == ' ' || s.back() == ':')) s.pop_back();
    return s;
}

// Releases the images it holds when the command ends, however it ends.
struct Images {
    ZoltHeader *in1 = nullptr, *in2 = nullptr, *out = nullptr, *made = nullptr, *typed = nullptr;
    ~Images() {
        for (ZoltHeader *h : {typed, made, out, in2, in1})
            if (h) Zoltfree(h, 7);
    }
};

// Reads an option's text as the parameter's kind; false when it is no number.
bool parseValue(const OpParam &p, const std::string &text, OpValues &values, int index) {
    values.text[index] = text;
    if (p.kind == OpKind::Text) return true;
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    const double v = p.kind == OpKind::Integer ? double(std::strtol(text.c_str(), &end, 10))
                                               : std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
    values.number[index] = v;
    return true;
}

// A ZOLT or TIFF file as the control panel's buffers hold it: complex data stays
// complex in single precision, everything else becomes "float".
ZoltHeader *readInput(const std::string &name) {
    ZoltHeader *r = ZoltReadImage(name.c_str(), nullptr, nullptr);
    if (!r || r->dtype == ZOLT_C32 || r->dtype == ZOLT_F32) return r;
    ZoltHeader *img = Zoltretype(r, r->dtype == ZOLT_C64 ? "32cmp" : "float");
    Zoltfree(r, 7);
    return img;
}

// The largest value of the first frame, as opening an image records it for
// the random colour map.
int largestValue(const ZoltHeader *img) {
    ZoltFrameStats s;
    if (Zoltframestats(img, 0, &s) != 0 || std::isnan(s.max)) return 0;
    const double top = std::trunc(s.max);
    return top >= 2147483647.0 ? 2147483647 : top <= -2147483648.0 ? -2147483647 - 1 : static_cast<int>(top);
}

}  // namespace

int zoltOpHelp(FILE *out) {
    std::fprintf(out, "usage: zolt op NAME INPUT [INPUT2] -o OUTPUT [--PARAMETER VALUE ...] [--type NAME]\n\n"
                      "The output is \"float\" (complex results stay \"32cmp\") unless --type names a type.\n\n"
                      "operations:\n");
    int count = 0;
    const OpEntry *table = opTable(&count);
    for (int i = 0; i < count; ++i) {
        const OpEntry &op = table[i];
        std::fprintf(out, "  %s %s\n      %s\n", op.name, op.inputs == 2 ? "INPUT INPUT2" : "INPUT", op.summary);
        for (int k = 0; k < op.paramCount(); ++k) {
            const OpParam &p = op.params[k];
            std::string line = std::string("      --") + p.name + " " +
                               (p.kind == OpKind::Text ? "TEXT" : p.kind == OpKind::Integer ? "N" : "X");
            if (p.label) line += "  " + trimmed(p.label);
            double def = 0;
            if (p.defaultValue(&def))
                line += p.kind == OpKind::Text ? "; default none" : "; default " + number(def);
            else
                line += "; required";
            if (p.bounded()) line += "; " + number(p.min) + " to " + number(p.max);
            if (p.only3d) line += "; for 3-D inputs";
            std::fprintf(out, "%s\n", line.c_str());
        }
    }
    return 0;
}

int zoltOp(const ZoltToolArgs &args) {
    // Operands: NAME, the inputs and "-o OUTPUT" in any order after NAME.
    std::vector<std::string> words;
    std::string output;
    for (size_t i = 0; i < args.operands.size(); ++i) {
        if (args.operands[i] == "-o" && i + 1 < args.operands.size()) {
            output = args.operands[++i];
            continue;
        }
        words.push_back(args.operands[i]);
    }
    if (words.empty()) return zoltOpHelp(stderr), 2;
    const std::string &name = words[0];
    const OpEntry *op = opByName(name);
    if (!op) {
        std::fprintf(stderr, "zolt op: unknown operation '%s' (zolt op --help lists them)\n", name.c_str());
        return 2;
    }
    const char *who = op->name;
    if (static_cast<int>(words.size()) != 1 + op->inputs || output.empty()) {
        std::fprintf(stderr, "usage: zolt op %s %s -o OUTPUT%s\n", who, op->inputs == 2 ? "INPUT INPUT2" : "INPUT",
                     op->paramCount() ? " [--PARAMETER VALUE ...]" : "");
        return 2;
    }
    if (ZoltIsPictureName(output.c_str())) {
        std::fprintf(stderr, "zolt op %s: '%s': pictures are not written by zolt; name the output .zol, .tif or "
                     ".tiff; nothing written\n", who, output.c_str());
        return 1;
    }

    // Parameters: the given value, else the dialog's default, within the dialog's range.
    OpValues values;
    for (const auto &opt : args.options)
        if (opt.first != "type" && op->paramIndex(opt.first.c_str()) < 0) {
            std::fprintf(stderr, "zolt op %s: unknown parameter --%s\n", who, opt.first.c_str());
            return 2;
        }
    for (int k = 0; k < op->paramCount(); ++k) {
        const OpParam &p = op->params[k];
        const auto given = args.options.find(p.name);
        if (given == args.options.end()) {
            double def = 0;
            if (!p.defaultValue(&def)) {
                std::fprintf(stderr, "zolt op %s: --%s is required\n", who, p.name);
                return 2;
            }
            values.number[k] = def;
            continue;
        }
        if (!parseValue(p, given->second, values, k)) {
            std::fprintf(stderr, "zolt op %s: --%s '%s' is not %s\n", who, p.name, given->second.c_str(),
                         p.kind == OpKind::Integer ? "a whole number" : "a number");
            return 2;
        }
        double lo = p.min, hi = p.max;
        const bool limited = opIntegerRange(p, &lo, &hi) || p.bounded();
        if (limited && !(values.number[k] >= lo && values.number[k] <= hi)) {
            std::fprintf(stderr, "zolt op %s: --%s %s is outside %s to %s\n", who, p.name, given->second.c_str(),
                         number(lo).c_str(), number(hi).c_str());
            return 2;
        }
    }
    // The areas text file must not take the place of an image of this run.
    const int areas = op->paramIndex("areas");
    if (areas >= 0 && !values.text[areas].empty()) {
        for (size_t w = 1; w <= static_cast<size_t>(op->inputs) + 1; ++w) {
            const std::string &file = w <= static_cast<size_t>(op->inputs) ? words[w] : output;
            if (opSameFile(values.text[areas], file)) {
                std::fprintf(stderr, "zolt op %s: the areas file '%s' is the %s file '%s'; nothing written\n", who,
                             values.text[areas].c_str(), w <= static_cast<size_t>(op->inputs) ? "input" : "output",
                             file.c_str());
                return 2;
            }
        }
    }
    const auto type = args.options.find("type");
    if (type != args.options.end() && !Zoltfindtype(type->second.c_str())) {
        std::fprintf(stderr, "zolt op %s: unknown data type '%s'\n", who, type->second.c_str());
        return 2;
    }

    Images img;
    img.in1 = readInput(words[1]);
    if (!img.in1) {
        std::fprintf(stderr, "zolt op %s: cannot read '%s' (code %d); nothing written\n", who, words[1].c_str(),
                     ZoltErrorCode);
        return 1;
    }
    if (op->inputs == 2) {
        img.in2 = readInput(words[2]);
        if (!img.in2) {
            std::fprintf(stderr, "zolt op %s: cannot read '%s' (code %d); nothing written\n", who,
                         words[2].c_str(), ZoltErrorCode);
            return 1;
        }
    }
    OpContext context;
    context.maxValue = largestValue(img.in1);
    if (op->output != OpOutput::Own) {
        img.out = opMakeOutput(*op, img.in1);
        if (!img.out) {
            std::fprintf(stderr, "zolt op %s: cannot make the output image; nothing written\n", who);
            return 1;
        }
    }
    const OpOutcome outcome = opRun(OpCall{*op, img.in1, img.in2, img.out, values, context});
    img.made = outcome.made;
    if (!outcome.done) {
        const std::string why = outcome.message.empty() ? "failed with status " + std::to_string(outcome.status)
                                                         : outcome.message.formatted();
        std::fprintf(stderr, "zolt op %s: %s; nothing written\n", who, why.c_str());
        return 1;
    }
    if (!outcome.message.empty()) std::printf("%s\n", outcome.message.formatted().c_str());

    ZoltHeader *result = img.made ? img.made : img.out;
    // The inputs are done with: let the result's conversion and write have their memory.
    for (ZoltHeader **in : {&img.in1, &img.in2})
        if (*in && *in != img.made && *in != img.out) {
            Zoltfree(*in, 7);
            *in = nullptr;
        }
    const bool complex = result->dtype == ZOLT_C32 || std::strcmp(result->oltdt, "64cmp") == 0;
    const std::string wanted = type != args.options.end() ? type->second : complex ? "" : "float";
    if (!wanted.empty() && Zoltfindtype(wanted.c_str())->code != result->dtype) {
        img.typed = Zoltretype(result, wanted.c_str());
        if (!img.typed) {
            std::fprintf(stderr, "zolt op %s: the result cannot be written as \"%s\"; nothing written\n", who,
                         wanted.c_str());
            return 1;
        }
        result = img.typed;
    }
    // The writer puts a file in the output's place only once it is complete,
    // so a failed write leaves nothing behind (and an older file as it was).
    if (ZoltWriteImage(result, output.c_str()) == 0) {
        std::fprintf(stderr, "zolt op %s: writing '%s' failed (code %d%s%s); nothing written\n", who,
                     output.c_str(), ZoltErrorCode, errno ? ": " : "", errno ? std::strerror(errno) : "");
        return 1;
    }
    return 0;
}
