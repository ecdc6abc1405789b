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

void BufferTable::install(int slot, ZoltHeader *img) {
    if (!isSlot(slot))
        return;
    if (images[slot] && images[slot] != img)
        Zoltfree(images[slot], 7);
    images[slot] = nullptr;
    if (isBuffer(slot) && viewers[slot]) {
        QWidget *old = viewers[slot];
        delete old;
        // A viewer deregisters itself when it goes; clear the entries anyway so
        // that no entry can outlive its window.
        removeViewer(old);
    }
    images[slot] = img;
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
