// The profile and histogram of a viewer: the two switches, and on release of
// a drag the red, green and blue values along the recorded path, plotted point
// by point and counted into 52 bands of 5 values, each in a window of its own.
#include "childwindow.h"

#include <QAction>
#include <QScreen>
#include <QSlider>
#include <QVector>

#include "adjust.h"
#include "plotwindow.h"
#include "zolt.h"

namespace {

constexpr int kBins = 52;

// Both plot windows open at one place; the second goes beside the first where
// the screen has room, else down and to the right, so neither hides the other.
void placeBeside(QWidget *second, const QWidget *first) {
    const QRect at = first->geometry();
    QRect next(at.topLeft() + QPoint(at.width() + 16, 0), second->size());
    const QScreen *screen = first->screen();
    if (screen && !screen->availableGeometry().contains(next)) next.moveTopLeft(at.topLeft() + QPoint(40, 40));
    second->move(next.topLeft());
}

}  // namespace

void ZOlttoolChildWindow::profile() {
    profileOn = !profileOn;
    profileAct->setText(profileOn ? tr("Profiler ON") : tr("Profiler OFF"));
}

void ZOlttoolChildWindow::histogram() {
    histogramOn = !histogramOn;
    histogramAct->setText(histogramOn ? tr("Histogram ON") : tr("Histogram OFF"));
}

void ZOlttoolChildWindow::plotPath() {
    int cols = 0, rows = 0, frames = 0;
    if (!ZoltFloatShape(workImage, &cols, &rows, &frames)) return;
    // Green and blue come from frames 1 and 2 where the working copy has
    // them, from frame 0 otherwise (a 2-D image).
    const bool planes = workImage->oltndim == 3;
    const int frameOf[3] = {0, planes && frames > 1 ? 1 : 0, planes && frames > 2 ? 2 : 0};
    const int slider[3] = {redCtl.slider->value(), greenCtl.slider->value(), blueCtl.slider->value()};
    const ZoltLevelWindow lw = levelWindow();
    const double span = origMax - origMin;

    QVector<double> profileSeries[3];
    QVector<double> histogramSeries[3];
    for (auto &h : histogramSeries) h.fill(0.0, kBins);
    const size_t n = std::min(pathCols.size(), pathRows.size());
    for (size_t i = 0; i < n; ++i) {
        const int c = pathCols[i], r = pathRows[i];
        if (c < 0 || r < 0 || c >= cols || r >= rows) continue;  // recorded before the copy changed
        for (int k = 0; k < 3; ++k) {
            const double m = ZoltMapValue(Zoltfgp3d(workImage, frameOf[k], r, c) + slider[k], lw);
            profileSeries[k].append(span * m / 255);
            histogramSeries[k][static_cast<int>(m / 5)] += 1.0;
        }
    }

    MainWindow *first = nullptr;
    if (profileOn) {
        first = new MainWindow(this);
        first->setAttribute(Qt::WA_DeleteOnClose);
        first->setupPlot(profileSeries[0], profileSeries[1], profileSeries[2], 0);
        first->show();
    }
    if (histogramOn) {
        auto *plot = new MainWindow(this);
        plot->setAttribute(Qt::WA_DeleteOnClose);
        plot->setupPlot(histogramSeries[0], histogramSeries[1], histogramSeries[2], 1);
        if (first) placeBeside(plot, first);
        plot->show();
    }
}
