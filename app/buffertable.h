// The eight image buffers of the program, the work slot, the buffer names, the
// click positions and the registry that ties at most one viewer to each buffer.
// One table exists for the life of the program; everyone reaches it through
// BufferTable::instance().
#ifndef ZOLTTOOL_BUFFERTABLE_H
#define ZOLTTOOL_BUFFERTABLE_H

#include <QMutex>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>

#include "history.h"
#include "undostack.h"

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

    // Puts an image into a slot and deletes the slot's viewer, if any (unless
    // keepViewer). Passing null empties the slot. Indices outside 0..8 do
    // nothing (the image stays with the caller). Every change of a buffer
    // comes here: the old image and name are kept for undo, as part of the
    // change begun last, or as a change of their own when none is open; the
    // work slot's old image is released. The buffer counts as unsaved.
    void install(int slot, ZoltHeader *img, bool keepViewer = false);

    // Groups the installs up to endChange into one undo step and one history
    // entry (`script`: the shell lines that redo it). A change begun inside
    // another joins it, its lines added to the outer entry.
    void beginChange(const QString &what, const QStringList &script = QStringList());
    void endChange();
    // An entry of the history that changes no buffer (a file saved, a copy).
    void noteHistory(const QString &what, const QStringList &script = QStringList());

    // Undoes or redoes the last step: images, names and viewers come back.
    bool undo();
    bool redo();
    UndoStack undoStack;
    History history;
    // Buffers whose image was made here and never saved or read from a file.
    bool unsaved[Buffers] = {};
    // Called with a slot whose viewer should be made again (undo restores it).
    std::function<void(int slot)> reopenViewer;
    // Called after every change, undo and redo of the buffers.
    std::function<void()> changed;
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
    void swapStep(UndoStep &step, bool undoing);
    void deleteViewer(int slot);
    QWidget *viewers[Buffers] = {};
    bool changing = false;  // a change is open
    int depth = 0;          // changes begun inside it
    UndoStep pending;
};

#endif
