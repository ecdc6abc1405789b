// Saving and the buffer commands: Save As (a ZOLT or TIFF file of a named
// data type, or a picture), Copy and Paste through the one-image clipboard, Delete, and
// the two commands that take no action. A copy never turns into zeros: it is
// exact within a type and refused where no conversion exists.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <memory>

#include "buffertable.h"
#include "imagecopy.h"
#include "mainwindow.h"
#include "prompt.h"
#include "childwindow.h"
#include "displayimage.h"
#include "picturewriting.h"
#include "zolt.h"
#include "zolt_tiff.h"

namespace {

// Writes the display picture of an image (see writePicture for the format).
bool savePicture(const ZoltHeader *img, int frame, const QString &name) {
    std::unique_ptr<QImage> picture(makeDisplayImage(img, 0, frame));
    return picture && writePicture(*picture, name);
}

}  // namespace

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
        appendConsole(QStringLiteral("\nsaving "));
        int frame = 0;
        if (auto *viewer = qobject_cast<ZOlttoolChildWindow *>(table()->viewer(o)))
            frame = viewer->curFrame;
        if (!savePicture(img, frame, name)) prompt().message(this, tr("output of file to disk failed"));
        return true;
    }

    bool ok = false;
    const QString typed = prompt().text(this, tr("QInputDialog::getText()"), tr("ZOLT data type:"),
                                        QStringLiteral("float"), &ok);
    if (!ok) return true;
    const QByteArray type = typed.isEmpty() ? QByteArray("float") : typed.toLocal8Bit();
    ZoltHeader *out = Zoltretype(img, type.constData());
    if (out && tiff && (out->dtype == ZOLT_C32 || out->dtype == ZOLT_C64)) {
        Zoltfree(out, 7);
        prompt().message(this, tr("complex images cannot be saved as TIFF"));
        return true;
    }
    if (out && tiff) ZoltCopyCalibration(img, out);
    const bool written = out && (tiff ? ZoltTiffWrite(out, local.constData())
                                      : Zoltpot(out, local.constData())) == -1;
    if (out) Zoltfree(out, 7);
    if (!written) prompt().message(this, tr("output of file to disk failed"));
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
    table()->install(o, dup);
    updateAccessability();
}

void ZOlttoolMainWindow::delete_() {
    const int o = outputSlot();
    if (table()->hasImage(o)) table()->install(o, nullptr);
    updateAccessability();
}

bool ZOlttoolMainWindow::save() { return true; }

bool ZOlttoolMainWindow::archive() { return true; }
