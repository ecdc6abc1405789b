// The eight image buffers of the program, the work slot, the buffer names, the
// click positions and the registry that ties at most one viewer to each buffer.
// One table exists for the life of the program; everyone reaches it through
// BufferTable::instance().
#ifndef ZOLTTOOL_BUFFERTABLE_H
#define ZOLTTOOL_BUFFERTABLE_H

#include <QMutex>
#include <QPoint>
#include <QString>

struct ZoltHeader;
class QWidget;
class ZOlttoolMainWindow;

class BufferTable {
public:
    static constexpr int Buffers = 8;   // slots 0 to 7
    static constexpr int WorkSlot = 8;  // index of the work slot in images

    // Makes, shows and records the control panel unless told not to (tests
    // build their own panel and record it in controlPanel; the table deletes it).
    explicit BufferTable(bool makePanel = true);
    ~BufferTable();
    BufferTable(const BufferTable &) = delete;
    BufferTable &operator=(const BufferTable &) = delete;

    // The table made last and not yet destroyed, or null.
    static BufferTable *instance();

    // The buffers 0 to 7, then the work slot; null means empty. The table owns them.
    ZoltHeader *images[Buffers + 1] = {};
    // File name (without directory) of what was read into each buffer.
    QString names[Buffers];
    // Pixels clicked last and before that in any viewer: x is the column, y the row.
    QPoint previousClick;
    QPoint lastClick;
    // Pixels clicked so far, so Crop can tell one click from two.
    int clickCount = 0;
    // Largest pixel value of the image read last, or the label count of the
    // last labelling.
    int maxValue = 0;
    ZOlttoolMainWindow *controlPanel = nullptr;

    // The image in a slot (0 to 8); null for an empty slot and for any index
    // outside the table, -1 (no choice) included.
    ZoltHeader *image(int slot) const;
    bool hasImage(int slot) const { return image(slot) != nullptr; }

    // Puts an image into a slot: the old image is released and the slot's
    // viewer, if any, is deleted. Passing null empties the slot. Indices
    // outside 0..8 do nothing (the image stays with the caller).
    void install(int slot, ZoltHeader *img);
    // Takes the image out of a slot without releasing it; the caller owns it.
    ZoltHeader *take(int slot);

    // Viewer registry. Entering and removal hold viewerLock; lookups take no lock.
    void enterViewer(int slot, QWidget *viewer);
    // Clears every entry that holds this viewer; viewers call it when they go.
    void removeViewer(const QWidget *viewer);
    // The slot a viewer is entered under (the lowest, if several), or -1.
    int viewerSlot(const QWidget *viewer) const;
    QWidget *viewer(int slot) const;

    QMutex viewerLock;

private:
    QWidget *viewers[Buffers] = {};
};

#endif
