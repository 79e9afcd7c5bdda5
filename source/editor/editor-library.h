// The program library inside the editor: joining the process-wide library (worker, mounts, scans)
// when the editor's context is created and leaving it when the editor goes, the Library page's
// actions (load, SAVE, RESCAN, REVEAL), and the overwrite question, which is drawn over the whole
// editor instead of asking through a dialog that would block the host's user interface.
#pragma once

#include <cstdint>

#include "presets/program-list.h"

namespace tarsk {

class Editor;

// From Editor::contextCreated: the first editor of the process starts the library worker, mounts the
// factory archive and the user folder and queues both scans; later editors share them. Each editor
// joins once however often its context comes back. Answers whether this call started the library.
bool libraryStartUp(Editor& editor);
// From the editor's destructor: the last editor of the process stops the worker (a running scan is
// cut short), empties both lists and releases the mounts.
void libraryShutDown(Editor& editor);

// True while the overwrite question waits for an answer: the shell withholds the mouse from every
// other widget, then draws the question last (drawLibraryQuestion) so that it lies over everything.
bool libraryQuestionUp(const Editor& editor);
// Draws the question (window-sized shade, panel, title, text, "Yes" and "No") and acts on the answer.
void drawLibraryQuestion(Editor& editor);

struct LibraryView;

// The Library page's two columns for one view (page-library.cpp): folders, and the programs of the
// selected folder; a click on a program loads it (libraryLoad).
void drawLibraryList(Editor& editor, LibraryView& view);

// The page's actions.
// Reads the program file of a list entry into the editor record: on success all four change flags
// are raised, freeze and bypass are cleared and the current slot becomes the edit target; a file that
// cannot be read changes nothing and shows a line on the page.
bool libraryLoad(Editor& editor, const ProgramEntry& entry);
// SAVE into the user view's selected folder (or "Default Folder"); asks first when the file exists.
void librarySave(Editor& editor);
// The answer to the question: true writes the program, false keeps the file. Both mark the current
// slot's history as saved; a write that failed does not, and shows a line on the page.
void libraryAnswer(Editor& editor, bool overwrite);
void libraryRescan(Editor& editor);
void libraryReveal(Editor& editor);

}  // namespace tarsk
