// Overlay drawing and removal, and the two saves of a viewer: the adjusted
// values back into the buffer, and the picture to a file (through the
// toolkit's writers, or as a ZOLT file). A file is replaced only by a
// complete write: a failed save leaves the old file as it was.
#include "childwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryFile>
#include <cstdio>
#include <sys/stat.h>

#include "adjust.h"
#include "buffertable.h"
#include "displayimage.h"
#include "mainwindow.h"
#include "overlay.h"
#include "prompt.h"
#include "zolt.h"

namespace {

// What a newly made file would get: read and write as the umask allows.
QFile::Permissions newFilePermissions() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = 0666 & ~mask;
    QFile::Permissions p;
    if (mode & S_IRUSR) p |= QFile::ReadOwner | QFile::ReadUser;
    if (mode & S_IWUSR) p |= QFile::WriteOwner | QFile::WriteUser;
    if (mode & S_IRGRP) p |= QFile::ReadGroup;
    if (mode & S_IWGRP) p |= QFile::WriteGroup;
    if (mode & S_IROTH) p |= QFile::ReadOther;
    if (mode & S_IWOTH) p |= QFile::WriteOther;
    return p;
}

// Writes a ZOLT file to a fresh name beside `name` and renames it over `name`
// only when the write succeeded. True on success.
bool putZoltReplacing(ZoltHeader *img, const QString &name) {
    const QFileInfo target(name);
    QTemporaryFile part(target.absolutePath() + "/." + target.fileName() + ".XXXXXX");
    part.setAutoRemove(true);
    if (!part.open()) return false;
    part.close();
    const QByteArray partName = QFile::encodeName(part.fileName());
    if (ZoltPutImg(img, partName.constData(), nullptr, 0) != -1) return false;
    // The saved file keeps the permissions of the one it replaces.
    part.setPermissions(target.exists() ? QFile::permissions(target.absoluteFilePath()) : newFilePermissions());
    if (std::rename(partName.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return false;
    part.setAutoRemove(false);  // the name now belongs to the saved file
    return true;
}

}  // namespace

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
    ZoltHeader *img = buffers->image(buffers->viewerSlot(this));
    if (!img || !workImage) return;
    const bool colour = workImage->oltndim == 3;
    const int offsets[3] = {colour ? redCtl.slider->value() : brightCtl.slider->value(),
                            greenCtl.slider->value(), blueCtl.slider->value()};
    ZoltWriteBackAdjusted(workImage, img, colour, offsets, levelWindow(), origMax, origMin);
}

void ZOlttoolChildWindow::saveBuffer() {
    const QString name =
        asker().saveFileName(this, tr("SaveAs File"), QDir::homePath(),
                             tr("Images (*.png *.xpm *.jpg *.ZOLT *.Zolt *.Zol *.zol *.olt *.OLT)"));
    if (name.isEmpty()) return;
    const QString suffix = QFileInfo(name).suffix();
    const QStringList zolt{"ZOLT", "Zolt", "OLT", "olt", "zol", "Zol"};
    if (!zolt.contains(suffix)) {
        // The toolkit's writer by suffix; a failed write reports nothing.
        QSaveFile file(name);
        if (file.open(QIODevice::WriteOnly) && initialImage->save(&file, suffix.toLatin1().constData()))
            file.commit();
        else
            file.cancelWriting();
        return;
    }

    // The file is "float" whatever type the user names.
    asker().text(this, tr("QInputDialog::getText()"), tr("ZOLT data type:"), "float");
    int frames = 3;
    if (workImage && workImage->oltndim == 3) frames = std::max(3, static_cast<int>(Zoltdimen(workImage, 2)));
    const bool marks = workImage && workImage->oltndim == 3 && Zoltdimen(workImage, 2) == 4;
    ZoltHeader *out = ZoltPicturePlanes(pictureRows(*initialImage), frames, marks ? workImage : nullptr);
    if (!out || !putZoltReplacing(out, name))
        asker().message(nullptr, tr("output of file to disk failed"));
    if (out) Zoltfree(out, 7);
}
