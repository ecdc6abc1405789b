// zolt info FILE...: what each ZOLT or TIFF file holds (type, element size, lengths,
// compression, machine code, header texts) and min, max, mean and standard
// deviation of every frame. A ZOLT file is read a frame at a time, so only one
// frame is held however large the image; a TIFF file is read whole. A file
// that cannot be read gives exit status 1; the others are still listed.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "stats.h"
#include "zolt.h"
#include "zolt_frames.h"
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

void printStatsLine(std::string *out, int f, const ZoltFrameStats &st) {
    char line[256];
    std::snprintf(line, sizeof line, "  frame %d: min %.9g  max %.9g  mean %.9g  sd %.9g\n", f, st.min, st.max,
                  st.mean, st.sd);
    *out += line;
}

void failed(const char *name, bool isTiff) {
    std::fflush(stdout);
    std::fprintf(stderr, "zolt info: %s: not a readable %s image (code %d)\n", name, isTiff ? "TIFF" : "ZOLT",
                 ZoltErrorCode);
}

// Channels side by side in every pixel: a frame's values lie all over the data.
bool interleaved(uint32_t code) { return code != ZOLT_STRUCT && (code & 0x30) != 0; }

// A TIFF file, read whole. 0 when it was read and described, 1 otherwise.
int describeTiff(const char *name) {
    ZoltTiffInfo tiff{};
    ZoltHeader *h = ZoltTiffRead(name, &tiff);
    if (!h) {
        failed(name, true);
        return 1;
    }
    int cols = 0, rows = 0, frames = 0;
    if (Zoltshape(h, &cols, &rows, &frames) != 0) {
        Zoltfree(h, 7);
        std::fprintf(stderr, "zolt info: %s: damaged dimensions\n", name);
        return 1;
    }
    std::printf("%s\n", name);
    std::printf("  TIFF:        %d page%s of %s%s\n", tiff.pages, tiff.pages == 1 ? "" : "s", tiff.sample,
                tiff.channels == 3 ? " colour" : "");
    printHeader(h, cols, rows, frames);
    int status = 0;
    std::string lines;
    if (h->dtype == ZOLT_C32 || h->dtype == ZOLT_C64) std::printf("  statistics of the real parts:\n");
    for (int f = 0; f < frames && status == 0; ++f) {
        ZoltFrameStats st;
        if (Zoltframestats(h, f, &st) != 0)
            status = 1;
        else
            printStatsLine(&lines, f, st);
    }
    std::fputs(lines.c_str(), stdout);
    Zoltfree(h, 7);
    return status;
}

// A ZOLT file, read a frame at a time into one frame's buffer (all frames for
// interleaved channels, whose frames are not runs of bytes). Nothing is
// printed until every frame has been read, so a damaged file reports as it
// did when it was read whole. 0 when it was read and described, 1 otherwise.
int describeZolt(const char *name) {
    ZoltFrameReader *r = ZoltFrameOpen(name);
    if (!r) {
        failed(name, false);
        return 1;
    }
    const ZoltHeader *h = ZoltFrameHeader(r);
    int cols = 0, rows = 0, frames = 0;
    if (Zoltshape(h, &cols, &rows, &frames) != 0) {
        ZoltFrameClose(r);
        std::fprintf(stderr, "zolt info: %s: damaged dimensions\n", name);
        return 1;
    }
    const bool stats = h->dtype != ZOLT_STRUCT;
    const bool whole = interleaved(h->dtype);
    const size_t frameBytes = ZoltFrameBytes(r);
    auto *data = static_cast<unsigned char *>(Zoltalc(whole ? frameBytes * frames : frameBytes));
    if (!data) {
        ZoltFrameClose(r);
        failed(name, false);
        return 1;
    }
    std::string lines;
    int status = 0;  // 1: the statistics failed, after a complete read
    bool read = true;
    for (int f = 0; f < frames; ++f) {
        if (ZoltFrameNext(r, whole ? data + f * frameBytes : data) != 0) {
            read = false;
            break;
        }
        if (!stats || whole || status) continue;
        ZoltHeader view;
        ZoltFrameView(r, data, false, &view);
        ZoltFrameStats st;
        if (Zoltframestats(&view, 0, &st) != 0)
            status = 1;
        else
            printStatsLine(&lines, f, st);
    }
    if (read && stats && whole) {
        ZoltHeader view;
        ZoltFrameView(r, data, true, &view);
        for (int f = 0; f < frames && status == 0; ++f) {
            ZoltFrameStats st;
            if (Zoltframestats(&view, f, &st) != 0)
                status = 1;
            else
                printStatsLine(&lines, f, st);
        }
    }
    if (read) {
        std::printf("%s\n", name);
        printHeader(h, cols, rows, frames);
        if (!stats)
            std::printf("  statistics:  none for user-defined \"struct\" data\n");
        else if (h->dtype == ZOLT_C32 || h->dtype == ZOLT_C64)
            std::printf("  statistics of the real parts:\n");
        std::fputs(lines.c_str(), stdout);
    } else {
        failed(name, false);
        status = 1;
    }
    Zoltcfree(data);
    ZoltFrameClose(r);
    return status;
}

// 0 when the file was read and described, 1 otherwise.
int describe(const char *name) {
    ZoltErrorCode = 0;
    // A TIFF file by its first bytes; anything else is read as a ZOLT file.
    unsigned char magic[4] = {0};
    size_t got = 0;
    if (FILE *fp = std::fopen(name, "rb")) {
        got = std::fread(magic, 1, sizeof magic, fp);
        std::fclose(fp);
    }
    return ZoltIsTiffData(magic, got) ? describeTiff(name) : describeZolt(name);
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
