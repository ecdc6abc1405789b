// The progress bar of the status bar, advanced by the library's progress
// reports (correlation rows, annealing steps) while an operation runs, with
// a Cancel button that asks the routine to stop.
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include "mainwindow.h"
#include "operations.h"
#include "progress.h"

namespace {

const char *const BarName = "operationProgress";
const char *const CancelName = "operationCancel";

}  // namespace

StatusProgress::StatusProgress(ZOlttoolMainWindow *panel) : window(panel) {
    setProgressHook(&StatusProgress::report, this);
}

StatusProgress::~StatusProgress() {
    setProgressHook(nullptr, nullptr);
    if (auto *bar = window->statusBar()->findChild<QProgressBar *>(BarName)) bar->hide();
    if (auto *cancel = window->statusBar()->findChild<QPushButton *>(CancelName)) cancel->hide();
}

void StatusProgress::report(void *self, long done, long total) {
    auto *me = static_cast<StatusProgress *>(self);
    const int percent = total > 0 ? static_cast<int>(qBound(0L, done * 100 / total, 100L)) : 0;
    if (percent == me->shown) return;
    me->shown = percent;
    QStatusBar *status = me->window->statusBar();
    auto *bar = status->findChild<QProgressBar *>(BarName);
    if (!bar) {
        bar = new QProgressBar(status);
        bar->setObjectName(BarName);
        bar->setRange(0, 100);
        bar->setMaximumWidth(200);
        // no taller than a line of the status bar, so the panel keeps its size
        bar->setMaximumHeight(status->fontMetrics().height());
        status->addPermanentWidget(bar);
    }
    auto *cancel = status->findChild<QPushButton *>(CancelName);
    if (!cancel) {
        cancel = new QPushButton(QCoreApplication::translate("Operations", "Cancel"), status);
        cancel->setObjectName(CancelName);
        cancel->setMaximumHeight(status->fontMetrics().height() + 6);
        QObject::connect(cancel, &QPushButton::clicked, [] { cancelProgress(); });
        status->addPermanentWidget(cancel);
    }
    bar->setValue(percent);
    bar->show();
    cancel->show();
    // Let the bar (and any note shown before the run) paint and the Cancel
    // button take its click; the operation buttons are disabled meanwhile.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
