// Files dropped on the control panel: the first goes into the Output buffer,
// each further one into the next buffer, wrapping from 7 to 0. Every file is
// read and reported as Read does it; one that cannot be read says so and
// leaves its buffer as it was. The log file of Read is not touched.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "buffertable.h"
#include "mainwindow.h"
#include "prompt.h"

namespace {

bool carriesLocalFiles(const QMimeData *data) {
    if (!data || !data->hasUrls()) return false;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile()) return true;
    return false;
}

}  // namespace

void ZOlttoolMainWindow::dragEnterEvent(QDragEnterEvent *event) {
    if (carriesLocalFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ZOlttoolMainWindow::dropEvent(QDropEvent *event) {
    if (!carriesLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const int first = outputSlot();
    if (first < 0) return;
    int slot = first;
    // The files of one drop are one change: one undo brings every buffer back.
    table()->beginChange(tr("Drop of %n file(s) from buffer %1 on", nullptr, event->mimeData()->urls().size())
                             .arg(first));
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            const QString name = url.toLocalFile();
            appendConsole(QStringLiteral("\nOpening ") + name);
            openImageFile(name, slot);
        } else {
            prompt().message(this, tr("Only files on this computer can be read: %1")
                                       .arg(url.toDisplayString()));
        }
        slot = (slot + 1) % BufferTable::Buffers;
    }
    table()->endChange();
    updateAccessability();
}
