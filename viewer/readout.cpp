// Pointer presses, drags and releases over a viewer's picture: the pixel
// readout on the console, the click positions in the buffer table, the path
// recorded while dragging (red dots, overlay marks) and the Shift-press that
// removes an overlay. Nothing happens while the zoom factor is not positive.
#include "childwindow.h"

#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <cmath>
#include <cstdio>

#include "adjust.h"
#include "buffertable.h"
#include "mainwindow.h"
#include "stats.h"
#include "zolt.h"

namespace {

bool isPlanes(const ZoltHeader *h, int frames) { return h && h->oltndim == 3 && Zoltdimen(h, 2) == unsigned(frames); }

}  // namespace

QPoint ZOlttoolChildWindow::labelPosition(const QMouseEvent *event) const {
    return imageLabel->mapFromGlobal(event->globalPos());
}

bool ZOlttoolChildWindow::imagePosition(const QPoint &label, int *col, int *row) const {
    const double f = currentZoom();
    if (!(f > 0.0)) return false;
    const ZoltHeader *img = buffers ? buffers->image(buffers->viewerSlot(this)) : nullptr;
    int cols, rows, frames, wc, wr, wf;
    if (!ZoltQuietShape(img, &cols, &rows, &frames) || !ZoltQuietShape(workImage, &wc, &wr, &wf)) return false;
    *col = static_cast<int>(std::trunc(label.x() / f));
    *row = static_cast<int>(std::trunc(label.y() / f));
    // The working copy has the buffer's shape unless the buffer was refilled
    // behind the viewer; it is read here too, so the position must be in both.
    return *col >= 0 && *row >= 0 && *col < std::min(cols, wc) && *row < std::min(rows, wr);
}

// The middle button drags the picture within the scroll area and does nothing else.
void ZOlttoolChildWindow::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::MiddleButton) {
        panning = true;
        panFrom = event->globalPos();
        panStart = QPoint(scrollArea->horizontalScrollBar()->value(), scrollArea->verticalScrollBar()->value());
        return;
    }
    if (!(currentZoom() > 0.0)) return;
    if ((event->modifiers() & Qt::ShiftModifier) && isPlanes(workImage, 4) && overlayDrawOn)
        RemoveOverlay();
    if (profileOn) {
        pathCols.clear();
        pathRows.clear();
    }
}

void ZOlttoolChildWindow::mouseMoveEvent(QMouseEvent *event) {
    if (panning) {
        const QPoint moved = event->globalPos() - panFrom;
        scrollArea->horizontalScrollBar()->setValue(panStart.x() - moved.x());
        scrollArea->verticalScrollBar()->setValue(panStart.y() - moved.y());
        return;
    }
    if (!buffers || buffers->viewerSlot(this) < 0) return;
    const QPoint at = labelPosition(event);
    int col, row;
    if (!imagePosition(at, &col, &row)) return;
    if (!profileOn && !histogramOn && !overlayDrawOn) return;

    // The dot goes where the label was touched, in picture pixels.
    if (initialImage->valid(at)) {
        pictureToDraw().setPixel(at, qRgb(255, 0, 0));
        showPicture();
    }
    pathCols.push_back(col);
    pathRows.push_back(row);

    // Marks are kept at label positions; those outside the working copy, or
    // on an image without a frame 3, are dropped.
    int wc, wr, wf;
    if (overlayDrawOn && workImage && workImage->oltndim == 3 && ZoltQuietShape(workImage, &wc, &wr, &wf) &&
        wf >= 4 && at.x() >= 0 && at.y() >= 0 && at.x() < wc && at.y() < wr)
        Zoltfpp3d(workImage, 3, at.y(), at.x(), 255.0);
}

void ZOlttoolChildWindow::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::MiddleButton || panning) {
        panning = panning && event->button() != Qt::MiddleButton;
        return;
    }
    if (!buffers || buffers->viewerSlot(this) < 0) return;
    const double f = currentZoom();
    if (!(f > 0.0)) return;
    std::printf("%f ", f);
    std::fflush(stdout);
    int col, row;
    if (!imagePosition(labelPosition(event), &col, &row)) return;
    buffers->previousClick = buffers->lastClick;
    buffers->lastClick = QPoint(col, row);
    ++buffers->clickCount;

    if ((profileOn || histogramOn) && !pathCols.empty() && !pathRows.empty()) {
        plotPath();
        return;
    }
    printReadout(col, row);
}

void ZOlttoolChildWindow::printReadout(int col, int row) {
    const ZoltHeader *img = buffers->image(buffers->viewerSlot(this));
    ZOlttoolMainWindow *console = panel ? panel : buffers->controlPanel;
    if (!img || !console) return;
    const ZoltLevelWindow lw = levelWindow();
    int wc = 0, wr = 0, wf = 0;
    ZoltQuietShape(workImage, &wc, &wr, &wf);
    // A working frame the copy lacks reads as 0 (never outside the copy).
    const auto work = [&](int frame) {
        return frame < wf ? Zoltfgp3d(workImage, frame, row, col) : 0.0;
    };

    if (isPlanes(img, 3) || isPlanes(img, 4)) {
        const double rm = ZoltMapValue(work(0) + redCtl.slider->value(), lw);
        const double gm = ZoltMapValue(work(1) + greenCtl.slider->value(), lw);
        const double bm = ZoltMapValue(work(2) + blueCtl.slider->value(), lw);
        const float s = (origMax - origMin) / 255;
        const float r = static_cast<float>(rm * s + origMin);
        const float g = static_cast<float>(gm * s + origMin);
        const float b = static_cast<float>(bm * s + origMin);
        const float bright = static_cast<float>(std::sqrt(static_cast<double>((g * g + r * r + b * b) / 3)));
        console->appendConsole(QString::asprintf(
            "\nModified: [%d , %d] \t  [Bright = %6.3f]\t  [R = %6.2f , G = %6.2f , B = %6.2f]", row, col,
            bright, r, g, b));

        const float R = static_cast<float>(Zoltfgp3d(img, 0, row, col));
        const float G = static_cast<float>(Zoltfgp3d(img, 1, row, col));
        const float B = static_cast<float>(Zoltfgp3d(img, 2, row, col));
        const float o = isPlanes(workImage, 4) ? static_cast<float>(work(3)) : 0.0f;
        const float original = static_cast<float>(std::sqrt(static_cast<double>((G * G + R * R + B * B) / 3)));
        console->appendConsole(QString::asprintf(
            "\nOriginal: [%d , %d] \t  [Bright = %6.3f]\t  [R = %6.2f , G = %6.2f , B = %6.2f o=%6.2f]", row,
            col, original, R, G, B, o));
        return;
    }

    // Grey: only Bright reaches the value.
    const double m = ZoltMapValue(work(0) + brightCtl.slider->value(), lw);
    const float modified = static_cast<float>((origMax - origMin) * m / 255 + origMin);
    console->appendConsole(QString("\nModified: [%1 , %2] \t  [Bright = %3]").arg(row).arg(col).arg(modified));
    const float original = static_cast<float>(Zoltfgp(img, row, col));
    console->appendConsole(QString("\nOriginal: [%1 , %2] \t  [Bright = %3]").arg(row).arg(col).arg(original));
}
