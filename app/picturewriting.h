// Pictures written in the toolkit's formats, safely: the old file of that
// name stays whole unless the new picture is written whole; and which names
// are saved as ZOLT files instead.
#ifndef ZOLTTOOL_PICTUREWRITING_H
#define ZOLTTOOL_PICTUREWRITING_H

#include <QString>

class QImage;

// True for the suffixes (the text after the last dot, any case) of names
// that are saved as ZOLT files rather than as pictures.
bool isZoltSaveSuffix(const QString &suffix);

// Writes `picture` under `name` in the format its suffix names (any case); a
// suffix the toolkit does not write gives a PNG picture. The picture is
// encoded in memory and put in the file's place only when complete, so a
// full disk or a file-size limit never leaves a truncated picture. False when
// nothing was written.
bool writePicture(const QImage &picture, const QString &name);

#endif
