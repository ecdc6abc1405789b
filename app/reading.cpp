// Reading images into the buffers: Read, ReRead with the log file that keeps
// the last path read across runs, and openImageFile, which reads a ZOLT file,
// a boundary file, a TIFF file or a picture, installs it and prints its statistics. A file
// that cannot be read leaves the buffer as it was and says so.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <cmath>

#include "buffertable.h"
#include "imagecopy.h"
#include "mainwindow.h"
#include "ops.h"
#include "picturereading.h"
#include "plotcontour.h"
#include "prompt.h"
#include "stats.h"
#include "zolt.h"
#include "zolt_safefile.h"
#include "zolt_tiff.h"

namespace {

// What a file name says about the file, by how it ends (case-sensitive).
enum class FileKind { Boundary, Zolt, Tiff, Picture };

FileKind kindOf(const QByteArray &name) {
    if (name.endsWith("ZOltb")) return FileKind::Boundary;
    for (const char *end : {"Zolt", "ZOLT", "olt", "OLT", "zol", "Zol", "ZOL"})
        if (name.endsWith(end)) return FileKind::Zolt;
    if (ZoltIsTiffName(name.constData())) return FileKind::Tiff;
    // A TIFF under another name is known by its first bytes.
    QFile file(QString::fromLocal8Bit(name));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(4);
        if (ZoltIsTiffData(head.constData(), static_cast<size_t>(head.size()))) return FileKind::Tiff;
    }
    return FileKind::Picture;
}

QString logFilePath() { return QDir::homePath() + QStringLiteral("/com_ZOLT_ZOlttool.txt"); }

QString num(double v) { return QString::number(v, 'g', 6); }

// A ZOLT file as the buffers hold it: complex data keeps its complex type in
// single precision, everything else becomes float. `type` receives the file's
// own data type name.
ZoltHeader *readZolt(const QByteArray &name, QString *type) {
    ZoltHeader *r = Zoltpinlit(name.constData());
    if (!r) return nullptr;
    *type = QString::fromLatin1(r->oltdt);
    if (r->dtype == ZOLT_C32 || r->dtype == ZOLT_F32) return r;
    ZoltHeader *img = Zoltretype(r, r->dtype == ZOLT_C64 ? "32cmp" : "float");
    Zoltfree(r, 7);
    return img;
}

// A TIFF file as the buffers hold it: "float", calibration kept. `line`
// receives the console line that says what the file held, `why` what is
// wrong with a file that cannot be read.
ZoltHeader *readTiff(const QByteArray &name, QString *line, QString *why) {
    ZoltTiffInfo info{};
    ZoltHeader *r = ZoltTiffRead(name.constData(), &info);
    if (!r) {
        *why = QString::fromLocal8Bit(info.message);
        return nullptr;
    }
    ZoltHeader *img = Zoltretype(r, "float");
    if (img) ZoltCopyCalibration(r, img);
    Zoltfree(r, 7);
    *line = QStringLiteral("\nTIFF: %1 %2 of %3%4")
                .arg(info.pages)
                .arg(info.pages == 1 ? QStringLiteral("page") : QStringLiteral("pages"))
                .arg(QString::fromLatin1(info.sample))
                .arg(info.channels == 3 ? QStringLiteral(" colour") : QString());
    return img;
}

}  // namespace

void ZOlttoolMainWindow::open() {
    const QString start = currentPath.isEmpty() ? QDir::homePath() : currentPath;
    const QString name = prompt().openFileName(this, tr("Open File"), start);
    if (name.isEmpty()) {
        prompt().message(this, tr("cannot open file"));
        return;
    }
    appendConsole(QStringLiteral("\nOpening ") + name);
    openImageFile(name, outputSlot());

    // The old log stays whole unless the new one is written whole.
    const QByteArray path = name.toLocal8Bit();
    if (!ZoltSafeWrite(QFile::encodeName(logFilePath()).constData(), path.constData(),
                       static_cast<size_t>(path.size()))) {
        showNote(tr("Cannot open log file. ReRead will not work."));
        return;
    }
    updateAccessability();
}

void ZOlttoolMainWindow::reopen() {
    const int o = outputSlot();
    if (!lastOpenedPath.isEmpty()) {
        appendConsole(QStringLiteral("\nOpening ") + lastOpenedPath);
        openImageFile(lastOpenedPath, o);
    } else {
        QFile log(logFilePath());
        QByteArray first;
        if (log.open(QIODevice::ReadOnly)) {
            first = log.readAll();
            const int end = first.indexOf('\n');
            if (end >= 0) first.truncate(end);
        }
        // An empty log names no file: there is nothing to read again.
        if (first.isEmpty()) {
            showNote(tr("Cannot open log file. ReRead will not work."));
            return;
        }
        const QString name = QString::fromLocal8Bit(first);
        appendConsole(QStringLiteral("\nOpening ") + name);
        openImageFile(name, o);
    }
    updateAccessability();
}

bool ZOlttoolMainWindow::isSessionImageFile(const QString &name) const {
    const std::string given = name.toLocal8Bit().toStdString();
    return std::any_of(imageFiles.begin(), imageFiles.end(), [&](const QString &file) {
        return opSameFile(given, file.toLocal8Bit().toStdString());
    });
}

void ZOlttoolMainWindow::openImageFile(const QString &fileName, int slot) {
    const QByteArray local = fileName.toLocal8Bit();
    currentFileName = QFileInfo(fileName).fileName();
    currentPath = fileName;
    lastOpenedPath = fileName;
    imageFiles << fileName;
    if (slot < 0 || slot >= BufferTable::Buffers) return;

    const FileKind kind = kindOf(local);
    QString zoltType, tiffLine, why;
    ZoltHeader *img = nullptr;
    QString note, incomplete;
    switch (kind) {
        case FileKind::Boundary:
            if (ZoltHeader *r = plotcontour(local.constData(), 1.0f, 0, 0, 0)) {
                img = Zoltretype(r, "float");
                Zoltfree(r, 7);
            }
            note = tr("Boundary file");
            break;
        case FileKind::Zolt:
            img = readZolt(local, &zoltType);
            note = tr("Zolt image");
            break;
        case FileKind::Tiff:
            img = readTiff(local, &tiffLine, &why);
            note = tr("TIFF image");
            break;
        case FileKind::Picture:
            showNote(tr("non ZOLT"));
            img = readPicture(fileName, &incomplete);
            break;
    }
    if (!img) {
        if (!why.isEmpty())
            prompt().message(this, tr("Could not read the image file %1: %2. The buffer is unchanged.")
                                       .arg(fileName, why));
        else
            prompt().message(this, tr("Could not read the image file %1. The buffer is unchanged.")
                                       .arg(fileName));
        return;
    }
    if (!note.isEmpty()) showNote(note);

    const QString path = QFileInfo(fileName).absoluteFilePath();
    const QString target = QString::fromStdString(History::bufferFile(slot));
    QStringList script;
    if (kind == FileKind::Zolt)
        script << QStringLiteral("\"$ZOLT\" convert %1 %2 --type %3")
                      .arg(QString::fromStdString(History::quote(path.toStdString())), target,
                           QString::fromLatin1(img->oltdt));
    else
        script << QStringLiteral("# %1 is no ZOLT file, which is all the tool reads: make %2 from it first")
                      .arg(path, target);
    table()->beginChange(tr("Read %1 into buffer %2").arg(path).arg(slot), script);
    table()->install(slot, img);
    table()->names[slot] = currentFileName;
    table()->unsaved[slot] = false;  // the file holds it
    if (!tiffLine.isEmpty()) appendConsole(tiffLine);
    table()->endChange();
    printStatistics(img, kind == FileKind::Zolt ? zoltType : QString());
    if (!incomplete.isEmpty())
        appendConsole(tr("\nThe picture is incomplete (%1); the missing part is filled in.").arg(incomplete));
    updateAccessability();
}

void ZOlttoolMainWindow::printStatistics(const ZoltHeader *img, const QString &zoltType) {
    int cols = 0, rows = 0, frames = 0;
    if (Zoltshape(img, &cols, &rows, &frames) != 0) return;
    const bool threeD = img->oltndim == 3;
    const int shown = threeD ? std::min(frames, 3) : 1;
    ZoltFrameStats s[3];
    for (int k = 0; k < shown; ++k)
        if (Zoltframestats(img, k, &s[k]) != 0) return;

    // A frame of nothing but NaN has no largest value: count it as 0.
    const double top = std::isnan(s[0].max) ? 0.0 : std::trunc(s[0].max);
    table()->maxValue = top >= INT_MAX ? INT_MAX : top <= INT_MIN ? INT_MIN : static_cast<int>(top);

    if (!threeD) {
        appendConsole(QStringLiteral("\n\nImage has 1 frame and %1 rows and %2 Columns\n")
                          .arg(rows)
                          .arg(cols));
        appendConsole(QStringLiteral("max = ") + num(s[0].max) + QStringLiteral(" min = ") +
                      num(s[0].min));
        appendConsole(QStringLiteral(" Mean = ") + num(s[0].mean) + QStringLiteral(" StdDev = ") +
                      num(s[0].sd));
        return;
    }
    if (!zoltType.isNull()) appendConsole(QStringLiteral(" --- ") + zoltType + QStringLiteral("\n"));
    appendConsole(QStringLiteral("\nImage has %1%2%3 rows and %4 Columns\n")
                      .arg(frames)
                      .arg(frames == 1 ? QStringLiteral(" frame and ") : QStringLiteral(" frames and "))
                      .arg(rows)
                      .arg(cols));
    auto triple = [&](const QString &label, double ZoltFrameStats::*field, const QString &after) {
        QStringList parts;
        for (int k = 0; k < shown; ++k) parts << num(s[k].*field);
        appendConsole(label + QStringLiteral(" = [") + parts.join(QLatin1Char(' ')) +
                      QStringLiteral("]") + after);
    };
    triple(QStringLiteral("max"), &ZoltFrameStats::max, QStringLiteral(", "));
    triple(QStringLiteral("min"), &ZoltFrameStats::min, QStringLiteral(", "));
    triple(QStringLiteral("Mean"), &ZoltFrameStats::mean, QStringLiteral(", "));
    triple(QStringLiteral("StdDev"), &ZoltFrameStats::sd, QString());
}
