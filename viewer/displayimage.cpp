// Display pictures made from the 8-bit planes of the image library.
#include "displayimage.h"

#include <memory>

#include "zolt_largepages.h"
#include "zolt.h"

namespace {

// The picture of planes made by ZoltDisplayBytes.
QImage *pictureOf(ZoltHeader *bytes) {
    if (!bytes)
        return nullptr;
    const int cols = static_cast<int>(bytes->oltdim[0].dimlen);
    const int rows = bytes->oltndim >= 2 ? static_cast<int>(bytes->oltdim[1].dimlen) : 1;
    auto picture = std::make_unique<QImage>(ZoltDisplayWidth(cols), rows, QImage::Format_RGB32);
    if (!picture->isNull())
        ZoltPreferLargePages(picture->bits(), static_cast<size_t>(picture->sizeInBytes()));
    const bool drawn = !picture->isNull() && ZoltDrawBytes(bytes, pictureRows(*picture)) == 0;
    Zoltfree(bytes, 7);
    return drawn ? picture.release() : nullptr;
}

}  // namespace

ZoltPictureRows pictureRows(QImage &image) {
    ZoltPictureRows rows;
    rows.width = image.width();
    rows.height = image.height();
    rows.row = [&image](int r) { return reinterpret_cast<uint32_t *>(image.scanLine(r)); };
    return rows;
}

QImage *makeDisplayImage(const ZoltHeader *img, int complexMode, int frame) {
    return pictureOf(ZoltDisplayBytes(img, complexMode, frame));
}

QImage *makeColourImage(const ZoltHeader *img) {
    if (!img || img->oltndim != 3 || Zoltdimen(img, 2) != 3)
        return nullptr;
    return pictureOf(ZoltDisplayBytes(img, 0, 0));
}
