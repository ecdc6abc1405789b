// Reading a picture through the toolkit into a float image: a grey picture
// gives one 2-D image, a colour one three frames of red, green, blue. Deep
// pictures (more than 8 bits per channel) go through the toolkit's 16-bit
// colour form so no sample is cut to 8 bits; 10-bit formats come out scaled
// to the same 0..65535 range.
#include "picturereading.h"

#include <QImage>

#include "displayimage.h"
#include "overlay.h"
#include "zolt.h"

namespace {

bool deepChannels(QImage::Format f) {
    switch (f) {
        case QImage::Format_Grayscale16:
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
        case QImage::Format_BGR30:
        case QImage::Format_A2BGR30_Premultiplied:
        case QImage::Format_RGB30:
        case QImage::Format_A2RGB30_Premultiplied:
            return true;
        default:
            return false;
    }
}

}  // namespace

ZoltHeader *readPicture(const QString &name) {
    QImage picture(name);
    if (picture.isNull()) return nullptr;
    if (picture.format() == QImage::Format_Grayscale8 || picture.format() == QImage::Format_Grayscale16) {
        const bool deepGrey = picture.format() == QImage::Format_Grayscale16;
        const int w = picture.width(), h = picture.height();
        const int dims[] = {2, w, h};
        ZoltHeader *img = Zoltcreate("float", dims, 11, 0);
        if (!img) return nullptr;
        float *out = static_cast<float *>(img->oltptr);
        for (int y = 0; y < h; ++y, out += w) {
            const uchar *line = picture.constScanLine(y);
            if (deepGrey) {
                const quint16 *grey = reinterpret_cast<const quint16 *>(line);
                for (int x = 0; x < w; ++x) out[x] = static_cast<float>(grey[x]);
            } else {
                for (int x = 0; x < w; ++x) out[x] = static_cast<float>(line[x]);
            }
        }
        return img;
    }
    const bool deep = deepChannels(picture.format());
    picture = picture.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    if (picture.isNull()) return nullptr;
    if (!deep) return ZoltPicturePlanes(pictureRows(picture), 3, nullptr);
    const int w = picture.width(), h = picture.height();
    const int dims[] = {3, w, h, 3};
    ZoltHeader *img = Zoltcreate("float", dims, 11, 0);
    if (!img) return nullptr;
    float *red = static_cast<float *>(img->oltptr);
    const size_t plane = static_cast<size_t>(w) * static_cast<size_t>(h);
    float *green = red + plane, *blue = green + plane;
    for (int y = 0; y < h; ++y) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(w);
        const QRgba64 *line = reinterpret_cast<const QRgba64 *>(picture.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            red[row + x] = static_cast<float>(line[x].red());
            green[row + x] = static_cast<float>(line[x].green());
            blue[row + x] = static_cast<float>(line[x].blue());
        }
    }
    return img;
}
