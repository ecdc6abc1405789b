// zolt op NAME INPUT [INPUT2] -o OUTPUT [--PARAM VALUE ...] [--type NAME]:
// runs one operation of the operation table on ZOLT files, read as the
// control panel reads them, with the defaults and ranges of its dialogs. A
// failure leaves no output file behind.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <csignal>

#include "commands.h"
#include "opfiles.h"
#include "progress.h"
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

// Ctrl-C asks the running operation to stop (those that report progress stop
// at once; the others finish); a second one ends the tool at once.
extern "C" void interrupted(int) {
    cancelProgress();
    std::signal(SIGINT, SIG_DFL);
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
    std::map<std::string, std::string> given = args.options;
    given.erase("type");
    OpValues values;
    std::string error;
    if (!opValuesFromText(*op, given, values, &error)) {
        std::fprintf(stderr, "zolt op %s: %s\n", who, error.c_str());
        return 2;
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

    ZoltHeader *second = nullptr;
    if (op->inputs == 2) {
        second = opReadImage(words[2]);
        if (!second) {
            std::fprintf(stderr, "zolt op %s: cannot read '%s' (code %d); nothing written\n", who,
                         words[2].c_str(), ZoltErrorCode);
            return 1;
        }
    }
    std::signal(SIGINT, interrupted);
    const OpFileResult r =
        opRunFile(*op, values, words[1], second, output, type != args.options.end() ? type->second : "");
    std::signal(SIGINT, SIG_DFL);
    if (second) Zoltfree(second, 7);
    if (progressCancelled()) {
        // a stop that came while the output was being written leaves it whole
        std::fprintf(stderr, r.ok ? "zolt op %s: interrupted; the output was already written in full\n"
                                  : "zolt op %s: interrupted; nothing written\n", who);
        return 130;
    }
    if (!r.ok) {
        std::fprintf(stderr, "zolt op %s: %s; nothing written\n", who, r.message.c_str());
        return 1;
    }
    if (!r.message.empty()) std::printf("%s\n", r.message.c_str());
    return 0;
}
