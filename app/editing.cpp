// The Edit menu's undo, redo and history, the question before quitting over
// unsaved results, and the buffer overview: each chooser shows by a mark and
// a tool tip what its buffer holds.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>

#include "buffertable.h"
#include "mainwindow.h"
#include "prompt.h"
#include "zolt.h"

namespace {

QString megabytes(std::size_t bytes) { return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 0); }

// A small filled square for a buffer that holds an image; nothing for an empty one.
QIcon filledMark(const QColor &colour) {
    QPixmap mark(10, 10);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.fillRect(1, 1, 8, 8, colour);
    return QIcon(mark);
}

QString describe(const BufferTable *table, int slot) {
    const ZoltHeader *img = table->image(slot);
    if (!img) return ZOlttoolMainWindow::tr("Buffer %1: empty").arg(slot);
    QString size = QString::number(Zoltdimen(img, 0)) + QStringLiteral(" x ") + QString::number(Zoltdimen(img, 1));
    if (img->oltndim == 3) size += QStringLiteral(" x ") + QString::number(Zoltdimen(img, 2));
    QString text = ZOlttoolMainWindow::tr("Buffer %1: %2\n%3, %4")
                       .arg(slot)
                       .arg(table->names[slot].isEmpty() ? ZOlttoolMainWindow::tr("(no name)") : table->names[slot])
                       .arg(size, QString::fromLatin1(img->oltdt));
    if (table->unsaved[slot]) text += ZOlttoolMainWindow::tr("\nnot saved");
    return text;
}

}  // namespace

void ZOlttoolMainWindow::buffersChanged() {
    updateAccessability();
    const QIcon full = filledMark(palette().color(QPalette::Highlight));
    for (int slot = 0; slot < BufferTable::Buffers; ++slot) {
        const QString tip = describe(buffers, slot);
        for (auto &row : choosers) {
            row[slot]->setToolTip(tip);
            row[slot]->setIcon(buffers->hasImage(slot) ? full : QIcon());
        }
        // A viewer's title names what its buffer holds now.
        if (QWidget *viewer = buffers->viewer(slot))
            viewer->setWindowTitle(QString::number(slot) + QLatin1Char(':') + buffers->names[slot]);
    }
    const UndoStep *next = buffers->undoStack.nextUndo();
    const UndoStep *again = buffers->undoStack.nextRedo();
    undoAct->setEnabled(next != nullptr);
    redoAct->setEnabled(again != nullptr);
    undoAct->setText(next ? tr("&Undo %1").arg(QString::fromStdString(next->what)) : tr("&Undo"));
    redoAct->setText(again ? tr("&Redo %1").arg(QString::fromStdString(again->what)) : tr("&Redo"));
    const QString budget = tr("Undo keeps up to %1 MB of images (%2 MB now), oldest steps dropped first")
                               .arg(megabytes(buffers->undoStack.budget()), megabytes(buffers->undoStack.bytes()));
    if (QMenu *edit = undoAct->associatedWidgets().isEmpty()
                          ? nullptr
                          : qobject_cast<QMenu *>(undoAct->associatedWidgets().first())) {
        edit->setToolTip(budget);
        edit->setToolTipsVisible(true);
        edit->menuAction()->setToolTip(budget);
    }
    undoAct->setToolTip(budget);
    if (historyView) historyView->setPlainText(QString::fromStdString(buffers->history.listing()));
}

void ZOlttoolMainWindow::undo() {
    if (buffers->undo()) statusBar()->showMessage(tr("Undone"));
}

void ZOlttoolMainWindow::redo() {
    if (buffers->redo()) statusBar()->showMessage(tr("Redone"));
}

void ZOlttoolMainWindow::history() {
    if (!historyView) {
        historyView = new QPlainTextEdit(this);
        historyView->setObjectName("historyView");
        historyView->setWindowFlags(Qt::Window);
        historyView->setWindowTitle(tr("History"));
        historyView->setReadOnly(true);
        historyView->resize(520, 360);
    }
    historyView->setPlainText(QString::fromStdString(buffers->history.listing()));
    historyView->show();
    historyView->raise();
}

bool ZOlttoolMainWindow::exportHistory() {
    const QString name = prompt().saveFileName(this, tr("Export History"), currentPath.isEmpty() ? QString() : currentPath,
                                               tr("Shell scripts (*.sh)"));
    if (name.isEmpty()) return false;
    QFile out(name);
    const QByteArray text = QByteArray::fromStdString(buffers->history.script());
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size()) {
        prompt().message(this, tr("The history could not be written to %1.").arg(name));
        return false;
    }
    out.setPermissions(out.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    buffers->noteHistory(tr("History exported to %1").arg(name));
    return true;
}

bool ZOlttoolMainWindow::confirmQuit() {
    QStringList unsaved;
    for (int slot = 0; slot < BufferTable::Buffers; ++slot)
        if (buffers->hasImage(slot) && buffers->unsaved[slot])
            unsaved << tr("buffer %1: %2").arg(slot).arg(buffers->names[slot]);
    if (unsaved.isEmpty()) return true;
    return prompt().question(this, tr("Quit"),
                             tr("These buffers hold results that were never saved:\n%1\n\nQuit all the same?")
                                 .arg(unsaved.join(QLatin1Char('\n'))));
}
