// The undo stack: steps swapped with the buffers, oldest dropped over budget.
#include "undostack.h"

#include <unistd.h>

#include "zolt.h"

std::size_t UndoStack::defaultBudget() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return std::size_t(1) << 30;
    return static_cast<std::size_t>(pages) / 4 * static_cast<std::size_t>(pageSize);
}

UndoStack::UndoStack(std::size_t budget) : limit(budget) {}

UndoStack::~UndoStack() {
    for (UndoStep &s : done) release(s);
    for (UndoStep &s : undone) release(s);
}

std::size_t UndoStack::size(const UndoStep &step) {
    std::size_t n = 0;
    for (const auto &b : step.buffers)
        if (b.second.image) n += Zoltbytes(b.second.image) + sizeof(ZoltHeader);
    return n;
}

void UndoStack::release(UndoStep &step) {
    for (auto &b : step.buffers) {
        if (b.second.image) Zoltfree(b.second.image, 7);
        b.second.image = nullptr;
    }
}

void UndoStack::setBudget(std::size_t bytes) {
    limit = bytes;
    trim();
}

void UndoStack::trim() {
    // Redo steps are the furthest from the present; they go before any undo step.
    while (held > limit && !undone.empty()) {
        held -= size(undone.front());
        release(undone.front());
        undone.erase(undone.begin());
    }
    while (held > limit && !done.empty()) {
        held -= size(done.front());
        release(done.front());
        done.pop_front();
    }
}

bool UndoStack::push(UndoStep step) {
    for (UndoStep &s : undone) {
        held -= size(s);
        release(s);
    }
    undone.clear();
    const std::size_t n = size(step);
    if (n > limit) {
        release(step);
        // What came before can no longer be reached by undoing past this step.
        for (UndoStep &s : done) {
            held -= size(s);
            release(s);
        }
        done.clear();
        return false;
    }
    held += n;
    done.push_back(std::move(step));
    trim();
    return true;
}

UndoStep UndoStack::takeUndo() {
    UndoStep s = std::move(done.back());
    done.pop_back();
    held -= size(s);
    return s;
}

UndoStep UndoStack::takeRedo() {
    UndoStep s = std::move(undone.back());
    undone.pop_back();
    held -= size(s);
    return s;
}

void UndoStack::undid(UndoStep step) {
    held += size(step);
    undone.push_back(std::move(step));
    trim();
}

void UndoStack::redid(UndoStep step) {
    held += size(step);
    done.push_back(std::move(step));
    trim();
}

