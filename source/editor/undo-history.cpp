// UndoHistory: entries kept in a vector whose capacity grows geometrically, so a long session of
// edits costs amortised constant time per step and never copies the whole history per push.
#include "editor/undo-history.h"

namespace tarsk {

namespace {
constexpr size_t kInitialEntries = 16;
}  // namespace

UndoHistory::UndoHistory() {
    entries.reserve(kInitialEntries);
    entries.emplace_back();
}

void UndoHistory::reset(const ProgramRecord& program, const UndoView& view) {
    entries.clear();
    entries.push_back(UndoEntry{program, view});
    currentIndex = 0;
    viewIndex = 0;
    savedIndex = 0;
}

void UndoHistory::push(const ProgramRecord& program, const UndoView& view) {
    ++currentIndex;
    entries.resize(currentIndex);
    entries.push_back(UndoEntry{program, view});
    viewIndex = currentIndex;
}

void UndoHistory::undo() {
    if (currentIndex != 0) {
        viewIndex = currentIndex;
        --currentIndex;
    }
}

void UndoHistory::redo() {
    if (currentIndex + 1 < entries.size()) {
        ++currentIndex;
        viewIndex = currentIndex;
    }
}

}  // namespace tarsk
