// Undo and redo of buffer changes within a memory budget. A step keeps, for
// each buffer it changed, the content that buffer held on the other side of
// the change; undoing or redoing a step swaps those contents with the
// buffers' own, so every image exists once. When the images kept pass the
// budget, the oldest steps go first. No Qt here.
#ifndef ZOLTTOOL_UNDOSTACK_H
#define ZOLTTOOL_UNDOSTACK_H

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

struct ZoltHeader;

// What one buffer holds: its image (owned by whoever holds the content), its
// name, whether a viewer showed it and whether it was saved or read from a file.
struct BufferContent {
    ZoltHeader *image = nullptr;
    std::string name;
    bool viewer = false;
    bool unsaved = false;
};

struct UndoStep {
    std::string what;  // "Blur sigma 2.0: buffer 0 -> 1"
    int history = -1;  // the history entry the step belongs to
    std::vector<std::pair<int, BufferContent>> buffers;  // slot, its content on the other side
};

class UndoStack {
public:
    // Images of up to `budget` bytes are kept.
    explicit UndoStack(std::size_t budget = defaultBudget());
    ~UndoStack();
    UndoStack(const UndoStack &) = delete;
    UndoStack &operator=(const UndoStack &) = delete;

    // A quarter of the physical memory (1 GiB when it cannot be told).
    static std::size_t defaultBudget();
    std::size_t budget() const { return limit; }
    void setBudget(std::size_t bytes);
    // Bytes of the images kept by all steps, undone ones included.
    std::size_t bytes() const { return held; }

    // A new step: the redo steps go; old steps go until the budget holds.
    // A step larger than the whole budget is not kept at all (false).
    bool push(UndoStep step);
    bool canUndo() const { return !done.empty(); }
    bool canRedo() const { return !undone.empty(); }
    const UndoStep *nextUndo() const { return done.empty() ? nullptr : &done.back(); }
    const UndoStep *nextRedo() const { return undone.empty() ? nullptr : &undone.back(); }
    std::size_t undoDepth() const { return done.size(); }

    // Takes the step to undo (or redo) off its stack; the caller swaps its
    // contents with the buffers' and hands it back with undid (or redid).
    UndoStep takeUndo();
    UndoStep takeRedo();
    void undid(UndoStep step);
    void redid(UndoStep step);

private:
    static std::size_t size(const UndoStep &step);
    static void release(UndoStep &step);
    void trim();

    std::deque<UndoStep> done;
    std::vector<UndoStep> undone;
    std::size_t limit;
    std::size_t held = 0;
};

#endif
