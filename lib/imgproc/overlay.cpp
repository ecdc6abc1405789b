// The overlay's image changes: a working copy re-made with another frame
// count (plane copies in storage order), and a picture of 0xffRRGGBB words
// split into float planes. Nothing is read outside either image.
#include "overlay.h"

#include <algorithm>
#include <cstring>

#include "adjust.h"

namespace {

ZoltHeader *planes(int cols, int rows, int frames) {
    const int dims[4] = {3, cols, rows, frames};
    return Zoltcreate("float", dims, 11, 0);
}

}  // namespace

ZoltHeader *ZoltWithFrames(const ZoltHeader *img, int frames) {
    ZoltDepthGuard depth;
    int cols, rows, have;
    if (!ZoltFloatShape(img, &cols, &rows, &have) || frames < 1) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltWithFrames: not a float image, or no frames asked for");
        return nullptr;
    }
    ZoltHeader *out = planes(cols, rows, frames);
    if (!out) return nullptr;
    const size_t plane = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    std::memcpy(out->oltptr, img->oltptr, plane * static_cast<size_t>(std::min(frames, have)) * sizeof(float));
    return out;
}

ZoltHeader *ZoltPicturePlanes(const ZoltPictureRows &pic, int frames, const ZoltHeader *marks) {
    ZoltDepthGuard depth;
    int mc = 0, mr = 0, mf = 0;
    const bool withMarks = marks && ZoltFloatShape(marks, &mc, &mr, &mf) && marks->oltndim == 3 && mf >= 4;
    if (pic.width <= 0 || pic.height <= 0 || !pic.row || frames < 3) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltPicturePlanes: empty picture or fewer than 3 frames");
        return nullptr;
    }
    ZoltHeader *out = planes(pic.width, pic.height, frames);
    if (!out) return nullptr;
    const size_t plane = static_cast<size_t>(pic.width) * static_cast<size_t>(pic.height);
    float *red = static_cast<float *>(out->oltptr);
    float *green = red + plane, *blue = green + plane, *mark = blue + plane;
    const float *source = withMarks ? static_cast<const float *>(marks->oltptr) + 3 * size_t(mc) * size_t(mr) : nullptr;
    for (int r = 0; r < pic.height; ++r) {
        const uint32_t *src = pic.row(r);
        if (!src) continue;
        const size_t at = static_cast<size_t>(r) * static_cast<size_t>(pic.width);
        for (int c = 0; c < pic.width; ++c) {
            red[at + c] = static_cast<float>((src[c] >> 16) & 255u);
            green[at + c] = static_cast<float>((src[c] >> 8) & 255u);
            blue[at + c] = static_cast<float>(src[c] & 255u);
        }
        // Columns and rows the marks lack (the picture's padding) stay 0.
        if (source && frames >= 4 && r < mr)
            std::memcpy(mark + at, source + static_cast<size_t>(r) * size_t(mc),
                        static_cast<size_t>(std::min(mc, pic.width)) * sizeof(float));
    }
    return out;
}
