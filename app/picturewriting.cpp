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
    // Any case of the ZOLT suffixes, ".ZOL" among them: a picture under such
    // a name would be read back as a ZOLT file and refused.
    const QString s = suffix.toLower();
    return s == QLatin1String("zolt") || s == QLatin1String("olt") || s == QLatin1String("zol");
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
