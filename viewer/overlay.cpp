// Overlay drawing and removal, and the two saves of a viewer: the adjusted
// values back into the buffer, and the picture to a file (through the
// toolkit's writers, or as a ZOLT file). Both writers replace a file only by
// a complete write: a failed save leaves the old file as it was.
#include "childwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSlider>
#include <QSpinBox>
#include <cstdio>

#include "adjust.h"
#include "buffertable.h"
#include "displayimage.h"
#include "mainwindow.h"
#include "overlay.h"
#include "picturewriting.h"
#include "prompt.h"
#include "typedsave.h"
#include "imagecopy.h"
#include "zolt.h"

Prompt &ZOlttoolChildWindow::asker() {
    ZOlttoolMainWindow *p = panel ? panel : (buffers ? buffers->controlPanel : nullptr);
    if (p) return p->prompt();
    static QtPrompt dialogs;
    return dialogs;
}

void ZOlttoolChildWindow::reframeWorking(int frames) {
    ZoltHeader *copy = workImage ? ZoltWithFrames(workImage, frames) : nullptr;
    if (!copy) return;  // the old copy stays in use
    Zoltfree(workImage, 7);
    workImage = copy;
}

void ZOlttoolChildWindow::drawOverlay() {
    if (overlayDrawOn) {
        overlayDrawOn = false;
        drawOverlayAct->setText(tr("DrawOverlay OFF"));
        return;
    }
    overlayDrawOn = true;
    drawOverlayAct->setText(tr("DrawOverlay ON"));
    overlayCheck->setChecked(true);
    if (!workImage || workImage->oltndim != 3) {
        asker().message(nullptr, tr("Cannot overlay a 2D image, must be 3D or more"));
        overlayDrawOn = false;
        drawOverlayAct->setText(tr("DrawOverlay OFF"));
        return;
    }
    if (Zoltdimen(workImage, 2) == 3) {
        std::printf("drawOverlay:creating a 4 frame image\n");
        std::fflush(stdout);
        reframeWorking(4);
        frameSpin->setMaximum(3);
    }
}

void ZOlttoolChildWindow::RemoveOverlay() {
    if (!workImage || workImage->oltndim != 3 || Zoltdimen(workImage, 2) != 4 || !overlayDrawOn) return;
    overlayDrawOn = false;
    reframeWorking(3);
    NewImage();
    drawOverlayAct->setText(tr("DrawOverlay OFF"));
    frameSpin->setMaximum(2);
}

void ZOlttoolChildWindow::save() {
    if (!buffers) return;
    const int slot = buffers->viewerSlot(this);
    const ZoltHeader *shown = buffers->image(slot);
    if (!shown || !workImage) return;
    // Written into a copy that replaces the buffer's image, so it can be undone.
    ZoltHeader *img = Zoltretype(shown, shown->oltdt);
    if (!img) return;
    const bool colour = workImage->oltndim == 3;
    const int offsets[3] = {colour ? redCtl.slider->value() : brightCtl.slider->value(),
                            greenCtl.slider->value(), blueCtl.slider->value()};
    ZoltWriteBackAdjusted(workImage, img, colour, offsets, levelWindow(), origMax, origMin);
    buffers->beginChange(tr("Viewer adjustments saved into buffer %1").arg(slot),
                         {QStringLiteral("# buffer %1: adjusted in its viewer, which the tool cannot redo").arg(slot)});
    buffers->install(slot, img, true);
    buffers->endChange();
}

void ZOlttoolChildWindow::saveBuffer() {
    const QString name =
        asker().saveFileName(this, tr("SaveAs File"), QDir::homePath(),
                             tr("Images (*.png *.xpm *.jpg *.ZOLT *.Zolt *.Zol *.zol *.olt *.OLT)"));
    if (name.isEmpty()) return;
    // The names Save As writes as ZOLT files; "zolt" among them, so no
    // picture is written under a name that reads as a ZOLT file.
    if (!isZoltSaveSuffix(QFileInfo(name).suffix())) {
        // Written as Save As writes pictures: whole or not at all.
        if (!writePicture(*initialImage, name)) asker().message(nullptr, tr("output of file to disk failed"));
        return;
    }

    // The file has the data type the user names ("float" when the dialog is cancelled).
    bool ok = false;
    const QString typed = asker().text(this, tr("QInputDialog::getText()"), tr("ZOLT data type:"), "float", &ok);
    QByteArray type;
    if (!saveTypeOf(asker(), this, ok ? typed : QString(), &type)) return;
    int frames = 3;
    if (workImage && workImage->oltndim == 3) frames = std::max(3, static_cast<int>(Zoltdimen(workImage, 2)));
    const bool marks = workImage && workImage->oltndim == 3 && Zoltdimen(workImage, 2) == 4;
    ZoltHeader *planes = ZoltPicturePlanes(pictureRows(*initialImage), frames, marks ? workImage : nullptr);
    if (planes && !typeHoldsValues(asker(), this, planes, type)) {
        Zoltfree(planes, 7);
        return;
    }
    ZoltHeader *out = planes ? Zoltretype(planes, type.constData()) : nullptr;
    if (!out || Zoltpotlit(out, QFile::encodeName(name).constData()) != -1)
        asker().message(nullptr, tr("output of file to disk failed"));
    for (ZoltHeader *h : {planes, out})
        if (h) Zoltfree(h, 7);
}
