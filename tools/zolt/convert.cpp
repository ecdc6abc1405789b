// zolt convert IN OUT [--type NAME]: reads a ZOLT or TIFF image of any type and
// writes it as type NAME (default: its own), as TIFF when OUT ends in .tif or
// .tiff, else as ZOLT; picture names are refused. Same-type copies are byte for byte, so
// complex and "struct" images copy exactly; other pairs go through Zoltconvert.
// A refused conversion or an unknown type name writes nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "zolt.h"
#include "zolt_tiff.h"

namespace {

// A header of `like`'s type code that shares `data` (released without its data).
ZoltHeader *planeView(const ZoltHeader *like, void *data, int cols) {
    const int dims[] = {2, cols, 1};
    const ZoltTypeEntry *type = Zoltfindcode(like->dtype);
    ZoltHeader *v = type ? Zoltcreate(type->name, dims, 0, like->oltesize) : nullptr;
    if (v) v->oltptr = data;
    return v;
}

void releaseView(ZoltHeader *v) {
    if (!v) return;
    v->oltptr = nullptr;
    Zoltfree(v, 7);
}

// Converts src into dst; a single line goes through 2-D views of one row, so
// its values are converted like those of any other image.
int convertPixels(const ZoltHeader *src, ZoltHeader *dst) {
    if (src->oltndim != 1) return Zoltconvert(src, dst);
    const int cols = src->oltdim[0].dimlen;
    ZoltHeader *sv = planeView(src, src->oltptr, cols);
    ZoltHeader *dv = planeView(dst, dst->oltptr, cols);
    const int result = sv && dv ? Zoltconvert(sv, dv) : -1;
    releaseView(sv);
    releaseView(dv);
    return result;
}

// The descriptive fields that survive a change of type.
void copyDescription(const ZoltHeader *src, ZoltHeader *dst) {
    std::memcpy(dst->oltunits, src->oltunits, sizeof dst->oltunits);
    dst->oltscale = src->oltscale;
    dst->oltoffset = src->oltoffset;
    dst->oltcomp = src->oltcomp;
    for (int k = 0; k < src->oltndim; ++k) {
        ZoltDimHeader &d = dst->oltdim[k];
        const ZoltDimHeader &s = src->oltdim[k];
        std::memcpy(d.dimdir, s.dimdir, sizeof d.dimdir);
        std::memcpy(d.dimunits, s.dimunits, sizeof d.dimunits);
        d.dimscale = s.dimscale;
        d.dimoffset = s.dimoffset;
    }
}

}  // namespace

int zoltConvert(const ZoltToolArgs &args) {
    const std::string &in = args.operands[0];
    const std::string &out = args.operands[1];
    const auto opt = args.options.find("type");

    if (ZoltIsPictureName(out.c_str())) {
        std::fprintf(stderr, "zolt convert: '%s': pictures are not written by zolt; name the output .zol, .tif "
                     "or .tiff; nothing written\n", out.c_str());
        return 1;
    }
    ZoltHeader *src = ZoltReadImage(in.c_str(), nullptr, nullptr);
    if (!src) {
        std::fprintf(stderr, "zolt convert: cannot read '%s' (code %d); nothing written\n",
                     in.c_str(), ZoltErrorCode);
        return 1;
    }
    const std::string name = opt != args.options.end() ? opt->second : std::string(src->oltdt);
    const ZoltTypeEntry *type = Zoltfindtype(name.c_str());
    if (!type) {
        std::fprintf(stderr, "zolt convert: unknown data type '%s'; nothing written\n",
                     name.c_str());
        Zoltfree(src, 7);
        return 1;
    }
    if (type->code == ZOLT_STRUCT && src->dtype != ZOLT_STRUCT) {
        std::fprintf(stderr, "zolt convert: cannot convert \"%s\" to \"struct\"; nothing written\n",
                     src->oltdt);
        Zoltfree(src, 7);
        return 1;
    }

    // Lengths ordered columns, rows, frames, as Zoltcreate wants them.
    int *dims = Zoltsiz(src);
    ZoltHeader *dst = dims ? Zoltcreate(type->name, dims, 11, src->oltesize) : nullptr;
    Zoltcfree(dims);
    if (!dst) {
        std::fprintf(stderr, "zolt convert: cannot make a \"%s\" image; nothing written\n",
                     type->name);
        Zoltfree(src, 7);
        return 1;
    }
    copyDescription(src, dst);

    int result = 0;
    if (type->code == src->dtype) {
        std::memcpy(dst->oltptr, src->oltptr, Zoltbytes(src));
    } else {
        result = convertPixels(src, dst);
    }
    int status = 0;
    if (result != 0) {
        std::fprintf(stderr, "zolt convert: conversion from \"%s\" to \"%s\" refused (%s); "
                     "nothing written\n", src->oltdt, type->name,
                     result == -2 ? "complex or unconvertible type" : "dimensions differ");
        status = 1;
    } else if (ZoltWriteImage(dst, out.c_str()) == 0) {
        std::fprintf(stderr, "zolt convert: writing '%s' failed (code %d)\n", out.c_str(),
                     ZoltErrorCode);
        status = 1;
    }
    Zoltfree(dst, 7);
    Zoltfree(src, 7);
    return status;
}
