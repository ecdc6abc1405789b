// Saving and the buffer commands: Save As (a ZOLT or TIFF file of a named
// data type, or a picture), Copy and Paste through the one-image clipboard, Delete, and
// the two commands that take no action. A copy never turns into zeros: it is
// exact within a type and refused where no conversion exists.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cmath>
#include <memory>

#include "buffertable.h"
#include "imagecopy.h"
#include "mainwindow.h"
#include "prompt.h"
#include "childwindow.h"
#include "displayimage.h"
#include "picturewriting.h"
#include "typedsave.h"
#include "typerange.h"
#include "zolt.h"
#include "zolt_tiff.h"

namespace {

// Writes the display picture of an image (see writePicture for the format).
bool savePicture(const ZoltHeader *img, int frame, const QString &name) {
    std::unique_ptr<QImage> picture(makeDisplayImage(img, 0, frame));
    return picture && writePicture(*picture, name);
}

bool isComplex(const ZoltHeader *img) { return (img->dtype & 0x1000) != 0; }

QString tr(const char *text) { return ZOlttoolMainWindow::tr(text); }

}  // namespace

bool saveTypeOf(Prompt &ask, QWidget *parent, const QString &typed, QByteArray *type) {
    *type = typed.isEmpty() ? QByteArray("float") : typed.toLocal8Bit();
    if (type->size() < 24 && Zoltfindtype(type->constData())) return true;
    int rows = 0;
    const ZoltTypeEntry *table = ZoltTypeTable(&rows);
    QStringList names;
    for (int i = 0; i < rows; ++i)
        if (table[i].code != 0 && table[i].code != ZOLT_STRUCT) names << QString::fromLatin1(table[i].name);
    ask.message(parent, tr("%1 is not a data type: choose one of %2, or an alias such as \"float\" or \"complex\".")
                            .arg(typed, names.join(QStringLiteral(", "))));
    return false;
}

bool typeHoldsValues(Prompt &ask, QWidget *parent, const ZoltHeader *img, const QByteArray &type) {
    const bool toComplex = (Zoltfindtype(type.constData())->code & 0x1000) != 0;
    if (isComplex(img) != toComplex) {
        ask.message(parent, isComplex(img) ? tr("A complex image can only be saved as a complex type (\"32cmp\" or \"64cmp\").")
                                           : tr("Only complex images can be saved as a complex type."));
        return false;
    }
    ZoltRangeReport r;
    if (Zoltrangecheck(img, type.constData(), &r) != 1) return true;
    const QString becomes = std::isnan(r.becomes) ? tr("other values") : QString::number(r.becomes, 'g', 10);
    return ask.question(parent, tr("Save As"),
                        tr("%1 of the %2 values lie outside the range of \"%3\" (%4 to %5) and do not keep their "
                           "values: they keep only the low bits of their whole part (%6 becomes %7).\n\n"
                           "Save all the same?")
                            .arg(r.outside)
                            .arg(r.total)
                            .arg(QString::fromLocal8Bit(type))
                            .arg(r.lo, 0, 'f', 0)
                            .arg(r.hi, 0, 'f', 0)
                            .arg(QString::number(r.example, 'g', 7), becomes));
}

void ZOlttoolMainWindow::ImageDeleter::operator()(ZoltHeader *img) const {
    if (img) Zoltfree(img, 7);
}

bool ZOlttoolMainWindow::saveAs() {
    const int o = outputSlot();
    ZoltHeader *img = table()->image(o);
    if (!img) {
        prompt().message(this, tr("No image has been stored in the buffer."));
        return false;
    }
    const QString name = prompt().saveFileName(
        this, tr("SaveAs File"), QDir::homePath(),
        tr("Images (*.png *.xpm *.jpg *.tif *.tiff *.ZOLT *.zolt *.Zolt *.zol *.Zol *.olt *.OLT)"));
    if (name.isEmpty()) return true;  // cancelled: nothing to write
    const QString suffix = QFileInfo(name).suffix();
    const QByteArray local = name.toLocal8Bit();
    const bool tiff = ZoltIsTiffName(local.constData());

    if (!isZoltSaveSuffix(suffix) && !tiff) {
        if (isComplex(img)) {
            prompt().message(this, tr("complex images cannot be saved as a picture"));
            return true;
        }
        appendConsole(QStringLiteral("\nsaving "));
        int frame = 0;
        if (auto *viewer = qobject_cast<ZOlttoolChildWindow *>(table()->viewer(o)))
            frame = viewer->curFrame;
        if (!savePicture(img, frame, name)) {
            prompt().message(this, tr("output of file to disk failed"));
            return true;
        }
        imageFiles << name;
        table()->noteHistory(tr("Saved buffer %1 as the picture %2").arg(o).arg(name));
        return true;
    }

    bool ok = false;
    const QString typed = prompt().text(this, tr("QInputDialog::getText()"), tr("ZOLT data type:"),
                                        QStringLiteral("float"), &ok);
    if (!ok) return true;
    QByteArray type;
    if (!saveTypeOf(prompt(), this, typed, &type) || !typeHoldsValues(prompt(), this, img, type)) return true;
    ZoltHeader *out = Zoltretype(img, type.constData());
    if (out && tiff && (out->dtype == ZOLT_C32 || out->dtype == ZOLT_C64)) {
        Zoltfree(out, 7);
        prompt().message(this, tr("complex images cannot be saved as TIFF"));
        return true;
    }
    if (out && tiff) ZoltCopyCalibration(img, out);
    const bool written = out && (tiff ? ZoltTiffWrite(out, local.constData())
                                      : Zoltpotlit(out, local.constData())) == -1;
    if (out) Zoltfree(out, 7);
    if (!written) {
        prompt().message(this, tr("output of file to disk failed: %1 could not be written.").arg(name));
        return true;
    }
    table()->unsaved[o] = false;
    imageFiles << name;
    table()->noteHistory(tr("Saved buffer %1 as %2 (%3)").arg(o).arg(name, QString::fromLocal8Bit(type)));
    return true;
}

void ZOlttoolMainWindow::copy() {
    const ZoltHeader *img = table()->image(outputSlot());
    if (!img) {
        prompt().message(this, tr("Image Empty"));
        return;
    }
    ZoltHeader *dup = Zoltretype(img, img->oltdt);
    if (!dup) {  // the clipboard keeps what it had
        prompt().message(this, tr("The image could not be copied."));
        return;
    }
    clipboardImage.reset(dup);
    pasteAct->setEnabled(true);
    const int o = outputSlot();
    table()->noteHistory(tr("Copy of buffer %1").arg(o),
                         {QStringLiteral("cp %1 clipboard.zolt").arg(QString::fromStdString(History::bufferFile(o)))});
}

void ZOlttoolMainWindow::paste() {
    const int o = outputSlot();
    if (!clipboardImage) {
        prompt().message(this, tr("Nothing to paste"));
        return;
    }
    if (o < 0) return;
    ZoltHeader *dup = Zoltretype(clipboardImage.get(), clipboardImage->oltdt);
    if (!dup) {  // the buffer keeps what it had
        prompt().message(this, tr("The image could not be pasted."));
        return;
    }
    table()->beginChange(tr("Paste into buffer %1").arg(o),
                         {QStringLiteral("cp clipboard.zolt %1").arg(QString::fromStdString(History::bufferFile(o)))});
    table()->install(o, dup);
    table()->endChange();
    updateAccessability();
}

void ZOlttoolMainWindow::delete_() {
    const int o = outputSlot();
    if (table()->hasImage(o)) {
        table()->beginChange(tr("Delete buffer %1").arg(o),
                             {QStringLiteral("rm -f %1").arg(QString::fromStdString(History::bufferFile(o)))});
        table()->install(o, nullptr);
        table()->endChange();
    }
    updateAccessability();
}

bool ZOlttoolMainWindow::save() { return true; }

bool ZOlttoolMainWindow::archive() { return true; }
