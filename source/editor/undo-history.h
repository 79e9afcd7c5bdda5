// UndoHistory: the snapshots of one program slot, each the whole program record with the editor's
// view words (which page and tabs were shown), and the positions of the current, shown and saved state.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/program-record.h"

namespace tarsk {

// Page, editor sub-page and the first six page view words.
constexpr int kUndoViewWords = 8;

struct UndoView {
    int32_t words[kUndoViewWords] = {0, 1, 1, 1, 1, 1, 1, 1};
};

struct UndoEntry {
    ProgramRecord program;
    UndoView view;
};

class UndoHistory {
public:
    UndoHistory();

    // Forgets everything: one entry, which is current, shown and saved.
    void reset(const ProgramRecord& program, const UndoView& view);
    // Appends an entry after the current one, dropping the redo tail.
    void push(const ProgramRecord& program, const UndoView& view);
    bool canUndo() const { return currentIndex != 0; }
    bool canRedo() const { return currentIndex + 1 < entries.size(); }
    void undo();
    void redo();
    bool isModified() const { return currentIndex != savedIndex; }
    void markSaved() { savedIndex = currentIndex; }

    const UndoEntry& current() const { return entries[currentIndex]; }
    // The entry whose view words an undo or redo shows: the one left (undo) or entered (redo).
    const UndoEntry& shown() const { return entries[viewIndex]; }
    size_t size() const { return entries.size(); }
    size_t currentPosition() const { return currentIndex; }

private:
    std::vector<UndoEntry> entries;  // grows geometrically; never empty
    size_t currentIndex = 0;
    size_t viewIndex = 0;
    size_t savedIndex = 0;
};

}  // namespace tarsk
