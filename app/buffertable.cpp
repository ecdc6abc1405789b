// The buffer table: image ownership per slot and the viewer registry.
#include "buffertable.h"

#include <QMutexLocker>
#include <QWidget>

#include "mainwindow.h"
#include "zolt.h"

namespace {
BufferTable *current = nullptr;

bool isSlot(int slot) { return slot >= 0 && slot <= BufferTable::WorkSlot; }
bool isBuffer(int slot) { return slot >= 0 && slot < BufferTable::Buffers; }
}  // namespace

BufferTable::BufferTable(bool makePanel) {
    current = this;
    if (makePanel) {
        controlPanel = new ZOlttoolMainWindow(this);
        controlPanel->show();
    }
}

BufferTable::~BufferTable() {
    // The viewers are children of the panel and deregister here as they go,
    // so the panel goes first, then the images.
    changed = nullptr;
    reopenViewer = nullptr;
    delete controlPanel;
    controlPanel = nullptr;
    for (ZoltHeader *&img : images) {
        if (img)
            Zoltfree(img, 7);
        img = nullptr;
    }
    if (current == this)
        current = nullptr;
}

BufferTable *BufferTable::instance() { return current; }

ZoltHeader *BufferTable::image(int slot) const { return isSlot(slot) ? images[slot] : nullptr; }

void BufferTable::deleteViewer(int slot) {
    if (!isBuffer(slot) || !viewers[slot])
        return;
    QWidget *old = viewers[slot];
    delete old;
    // A viewer deregisters itself when it goes; clear the entries anyway so
    // that no entry can outlive its window.
    removeViewer(old);
}

void BufferTable::install(int slot, ZoltHeader *img, bool keepViewer) {
    if (!isSlot(slot))
        return;
    if (!isBuffer(slot)) {
        if (images[slot] && images[slot] != img)
            Zoltfree(images[slot], 7);
        images[slot] = img;
        return;
    }
    const bool own = !changing;
    if (own)
        beginChange(QStringLiteral("Change of buffer %1").arg(slot));
    bool recorded = false;
    for (const auto &b : pending.buffers)
        recorded = recorded || b.first == slot;
    ZoltHeader *old = images[slot] == img ? nullptr : images[slot];
    if (recorded) {
        // The content before the change is kept already; this one was passing.
        if (old)
            Zoltfree(old, 7);
    } else {
        BufferContent before;
        before.image = old;
        before.name = names[slot].toStdString();
        before.viewer = viewers[slot] != nullptr;
        before.unsaved = unsaved[slot];
        pending.buffers.emplace_back(slot, before);
    }
    images[slot] = nullptr;
    if (!keepViewer)
        deleteViewer(slot);
    images[slot] = img;
    unsaved[slot] = img != nullptr;
    if (own)
        endChange();
}

void BufferTable::beginChange(const QString &what, const QStringList &script) {
    std::vector<std::string> lines;
    for (const QString &line : script)
        lines.push_back(line.toStdString());
    if (changing) {
        // A change inside another (a file of a drop) is part of it.
        ++depth;
        history.append(pending.history, "# " + what.toStdString(), lines);
        return;
    }
    changing = true;
    depth = 0;
    pending = UndoStep();
    pending.what = what.toStdString();
    pending.history = history.add(pending.what, lines);
}

void BufferTable::endChange() {
    if (!changing)
        return;
    if (depth > 0) {
        --depth;
        return;
    }
    changing = false;
    if (pending.buffers.empty()) {
        // Nothing changed after all: no step, and the entry redoes nothing.
        history.setUndone(pending.history, true);
    } else {
        undoStack.push(std::move(pending));
    }
    pending = UndoStep();
    if (changed)
        changed();
}

void BufferTable::noteHistory(const QString &what, const QStringList &script) {
    std::vector<std::string> lines;
    for (const QString &line : script)
        lines.push_back(line.toStdString());
    history.add(what.toStdString(), lines);
    if (changed)
        changed();
}

// Swaps the step's contents with the buffers': undoing goes backwards
// through the step, redoing forwards.
void BufferTable::swapStep(UndoStep &step, bool undoing) {
    const int n = static_cast<int>(step.buffers.size());
    for (int k = 0; k < n; ++k) {
        auto &entry = step.buffers[static_cast<size_t>(undoing ? n - 1 - k : k)];
        const int slot = entry.first;
        BufferContent now;
        now.image = images[slot];
        now.name = names[slot].toStdString();
        now.viewer = viewers[slot] != nullptr;
        now.unsaved = unsaved[slot];
        images[slot] = nullptr;
        deleteViewer(slot);
        images[slot] = entry.second.image;
        names[slot] = QString::fromStdString(entry.second.name);
        unsaved[slot] = entry.second.unsaved;
        const bool reopen = entry.second.viewer && images[slot];
        entry.second = now;
        if (reopen && reopenViewer)
            reopenViewer(slot);
    }
    history.setUndone(step.history, undoing);
}

bool BufferTable::undo() {
    depth = 0;
    endChange();
    if (!undoStack.canUndo())
        return false;
    UndoStep step = undoStack.takeUndo();
    swapStep(step, true);
    undoStack.undid(std::move(step));
    if (changed)
        changed();
    return true;
}

bool BufferTable::redo() {
    depth = 0;
    endChange();
    if (!undoStack.canRedo())
        return false;
    UndoStep step = undoStack.takeRedo();
    swapStep(step, false);
    undoStack.redid(std::move(step));
    if (changed)
        changed();
    return true;
}

ZoltHeader *BufferTable::take(int slot) {
    if (!isSlot(slot))
        return nullptr;
    ZoltHeader *img = images[slot];
    images[slot] = nullptr;
    return img;
}

void BufferTable::enterViewer(int slot, QWidget *viewer) {
    if (!isBuffer(slot))
        return;
    QMutexLocker lock(&viewerLock);
    viewers[slot] = viewer;
}

void BufferTable::removeViewer(const QWidget *viewer) {
    if (!viewer)
        return;
    QMutexLocker lock(&viewerLock);
    for (QWidget *&entry : viewers)
        if (entry == viewer)
            entry = nullptr;
}

int BufferTable::viewerSlot(const QWidget *viewer) const {
    if (!viewer)
        return -1;
    for (int i = 0; i < Buffers; ++i)
        if (viewers[i] == viewer)
            return i;
    return -1;
}

QWidget *BufferTable::viewer(int slot) const { return isBuffer(slot) ? viewers[slot] : nullptr; }
