// One image file through an operation of the table: the parameter values
// from option texts (the dialogs' defaults and ranges), the input read as the
// control panel's buffers hold it, the result converted and written whole.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imagecopy.h"
#include "opfiles.h"
#include "progress.h"
#include "stats.h"
#include "zolt_tiff.h"

namespace {

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

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

// Releases the images it holds when the run ends, however it ends.
struct Images {
    ZoltHeader *in = nullptr, *out = nullptr, *made = nullptr, *typed = nullptr;
    Images() = default;
    Images(const Images &) = delete;
    Images &operator=(const Images &) = delete;
    ~Images() {
        for (ZoltHeader *h : {typed, made, out, in})
            if (h) Zoltfree(h, 7);
    }
};

// What the library's last error code says, for a reader of the record.
std::string codeWords(int code) {
    const char *why = nullptr;
    switch (code) {
    case ZOLT_EOPEN: why = "cannot open the file"; break;
    case ZOLT_EFILENAME: why = "bad file name"; break;
    case ZOLT_EIO: why = "read error or early end of the file"; break;
    case ZOLT_EHEADER: why = "not an image file of a known layout"; break;
    case ZOLT_ENOMEM: case ZOLT_ECOMPMEM: why = "out of memory"; break;
    case ZOLT_ETYPE: why = "unknown data type"; break;
    case ZOLT_EDIM: why = "unusable dimensions"; break;
    default: break;
    }
    return (why ? std::string(": ") + why : std::string()) + " (code " + std::to_string(code) + ")";
}

OpFileResult failed(const std::string &why) {
    OpFileResult r;
    r.message = why;
    return r;
}

}  // namespace

bool opValuesFromText(const OpEntry &op, const std::map<std::string, std::string> &given, OpValues &values,
                      std::string *error) {
    for (const auto &opt : given)
        if (op.paramIndex(opt.first.c_str()) < 0) {
            *error = "unknown parameter --" + opt.first;
            return false;
        }
    for (int k = 0; k < op.paramCount(); ++k) {
        const OpParam &p = op.params[k];
        const auto text = given.find(p.name);
        if (text == given.end()) {
            double def = 0;
            if (!p.defaultValue(&def)) {
                *error = std::string("--") + p.name + " is required";
                return false;
            }
            values.number[k] = def;
            continue;
        }
        if (!parseValue(p, text->second, values, k)) {
            *error = std::string("--") + p.name + " '" + text->second + "' is not " +
                     (p.kind == OpKind::Integer ? "a whole number" : "a number");
            return false;
        }
        // Whole numbers are checked against the int range too, before
        // anything converts them.
        double lo = p.min, hi = p.max;
        const bool limited = opIntegerRange(p, &lo, &hi) || p.bounded();
        if (limited && !(values.number[k] >= lo && values.number[k] <= hi)) {
            *error = std::string("--") + p.name + " " + text->second + " is outside " + number(lo) + " to " +
                     number(hi);
            return false;
        }
    }
    return true;
}

ZoltHeader *opReadImage(const std::string &name, std::string *why) {
    ZoltTiffInfo info{};
    bool tiff = false;
    ZoltErrorCode = 0;
    ZoltHeader *r = ZoltReadImage(name.c_str(), &info, &tiff);
    if (!r && why)
        *why = "cannot read '" + name + "'" +
               (tiff && info.message[0] ? std::string(": ") + info.message : codeWords(ZoltErrorCode));
    return opBufferImage(r);
}

OpFileResult opRunFile(const OpEntry &op, const OpValues &values, const std::string &input,
                       const ZoltHeader *second, const std::string &output, const std::string &type) {
    Images img;
    std::string why;
    img.in = opReadImage(input, &why);
    if (!img.in) return failed(why);
    Rand48 colours;
    OpContext context;
    context.largestOf = img.in;
    context.random = &colours;
    if (op.output != OpOutput::Own) {
        img.out = opMakeOutput(op, img.in);
        if (!img.out) return failed("cannot make the output image");
    }
    const OpOutcome outcome = opRun(OpCall{op, img.in, second, img.out, values, context});
    img.made = outcome.made;
    // A run stopped through the progress hook writes nothing, finished or not.
    if (progressCancelled()) return failed("interrupted");
    if (!outcome.done)
        return failed(outcome.message.empty() ? "failed with status " + std::to_string(outcome.status)
                                              : outcome.message.formatted());

    ZoltHeader *result = img.made ? img.made : img.out;
    // Nothing reads the input after the run: its memory goes before the
    // result is converted and written (unless the result is the input).
    if (result != img.in) {
        Zoltfree(img.in, 7);
        img.in = nullptr;
    }
    const bool complex = result->dtype == ZOLT_C32 || std::strcmp(result->oltdt, "64cmp") == 0;
    const std::string wanted = !type.empty() ? type : complex ? "" : "float";
    const ZoltTypeEntry *entry = wanted.empty() ? nullptr : Zoltfindtype(wanted.c_str());
    if (!wanted.empty() && !entry) return failed("unknown data type '" + wanted + "'");
    if (entry && entry->code != result->dtype) {
        img.typed = Zoltretype(result, wanted.c_str());
        if (!img.typed) return failed("the result cannot be written as \"" + wanted + "\"");
        result = img.typed;
    }
    if (progressCancelled()) return failed("interrupted");
    // The writer puts a file in the output's place only once it is complete,
    // so a failed write leaves nothing behind (and an older file as it was).
    ZoltErrorCode = 0;
    errno = 0;
    if (ZoltWriteImage(result, output.c_str()) == 0) {
        const int system = errno;
        return failed("writing '" + output + "' failed" + codeWords(ZoltErrorCode) +
                      (system ? std::string(": ") + std::strerror(system) : std::string()));
    }
    OpFileResult done;
    done.ok = true;
    if (!outcome.message.empty()) done.message = outcome.message.formatted();
    return done;
}
