// zolt info FILE...: what each ZOLT or TIFF file holds (type, element size, lengths,
// compression, machine code, header texts) and min, max, mean and standard
// deviation of every frame. A file that cannot be read gives exit status 1;
// the others are still listed.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "stats.h"
#include "zolt.h"
#include "zolt_tiff.h"

namespace {

// A header text without its trailing newline (the date keeps ctime's).
std::string text(const char *field, size_t width) {
    std::string s(field, strnlen(field, width));
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

#define TEXT(field) text(field, sizeof(field)).c_str()

void printHeader(const ZoltHeader *h, int cols, int rows, int frames) {
    std::printf("  type:        %s (code 0x%x = %u)\n", TEXT(h->oltdt), h->dtype, h->dtype);
    std::printf("  element:     %d bytes\n", h->oltesize);
    std::printf("  size:        %d columns x %d rows x %d frames (%d dimensions)\n", cols, rows,
                frames, h->oltndim);
    std::printf("  compressed:  %d\n", h->oltcomp);
    std::printf("  machine:     %d\n", h->oltmach);
    std::printf("  notes:       %s %s\n", TEXT(h->oltnote1), TEXT(h->oltnote2));
    std::printf("  author:      %s\n", TEXT(h->oltauthor));
    std::printf("  date:        %s\n", TEXT(h->oltdate));
    std::printf("  program:     %s\n", TEXT(h->oltprog));
    std::printf("  version:     %s\n", TEXT(h->oltver));
    std::printf("  units:       %s (scale %g, offset %g)\n", TEXT(h->oltunits),
                static_cast<double>(h->oltscale), static_cast<double>(h->oltoffset));
    for (int k = 0; k < h->oltndim; ++k) {
        const ZoltDimHeader &d = h->oltdim[k];
        std::printf("  dimension %d: %d long, %s, %s (scale %g, offset %g)\n", d.dimnum, d.dimlen,
                    TEXT(d.dimdir), TEXT(d.dimunits), static_cast<double>(d.dimscale),
                    static_cast<double>(d.dimoffset));
    }
}

// 0 when the file was read and described, 1 otherwise.
int describe(const char *name) {
    ZoltErrorCode = 0;
    ZoltTiffInfo tiff{};
    bool isTiff = false;
    ZoltHeader *h = ZoltReadImage(name, &tiff, &isTiff);
    if (!h) {
        std::fflush(stdout);
        std::fprintf(stderr, "zolt info: %s: not a readable %s image (code %d)\n", name, isTiff ? "TIFF" : "ZOLT",
                     ZoltErrorCode);
        return 1;
    }
    int cols = 0, rows = 0, frames = 0;
    if (Zoltshape(h, &cols, &rows, &frames) != 0) {
        Zoltfree(h, 7);
        std::fprintf(stderr, "zolt info: %s: damaged dimensions\n", name);
        return 1;
    }
    std::printf("%s\n", name);
    if (isTiff)
        std::printf("  TIFF:        %d page%s of %s%s\n", tiff.pages, tiff.pages == 1 ? "" : "s", tiff.sample,
                    tiff.channels == 3 ? " colour" : "");
    printHeader(h, cols, rows, frames);
    int status = 0;
    if (h->dtype == ZOLT_STRUCT) {
        std::printf("  statistics:  none for user-defined \"struct\" data\n");
    } else {
        if (h->dtype == ZOLT_C32 || h->dtype == ZOLT_C64)
            std::printf("  statistics of the real parts:\n");
        for (int f = 0; f < frames; ++f) {
            ZoltFrameStats st;
            if (Zoltframestats(h, f, &st) != 0) {
                status = 1;
                break;
            }
            std::printf("  frame %d: min %.9g  max %.9g  mean %.9g  sd %.9g\n", f, st.min, st.max,
                        st.mean, st.sd);
        }
    }
    Zoltfree(h, 7);
    return status;
}

}  // namespace

int zoltInfo(const ZoltToolArgs &args) {
    int status = 0;
    for (const std::string &name : args.operands) {
        if (describe(name.c_str()) != 0) status = 1;
        std::fflush(stdout);
    }
    return status;
}
