// Pictures written through the toolkit's encoders and the library's safe
// file: encoded whole in memory first, then put in the target's place.
#include "picturewriting.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include "zolt_safefile.h"

bool isZoltSaveSuffix(const QString &suffix) {
    for (const char *s : {"ZOLT", "Zolt", "zolt", "olt", "OLT", "Zol", "zol"})
        if (suffix == QLatin1String(s)) return true;
    return false;
}

bool writePicture(const QImage &picture, const QString &name) {
    if (picture.isNull() || name.isEmpty()) return false;
    const QByteArray suffix = QFileInfo(name).suffix().toLower().toLatin1();
    const char *format = QImageWriter::supportedImageFormats().contains(suffix) ? suffix.constData() : "PNG";
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, format) &&
           ZoltSafeWrite(QFile::encodeName(name).constData(), bytes.constData(),
                         static_cast<size_t>(bytes.size()));
}
