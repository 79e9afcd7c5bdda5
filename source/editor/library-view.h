// LibraryView: what one column pair of the Library page shows (selected folder, scroll positions);
// LibraryPage: the page's state besides its two views: the overwrite question while it is up, the
// line that reports a failed SAVE or load, and whether the editor has joined the program library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/program-record.h"

namespace tarsk {

class ProgramList;

constexpr int32_t kNoFolderSelected = -1;
// A scroll position beyond every list: the scroll bar clamps it to the top of the list.
constexpr float kScrollToTop = 16777216.0f;
constexpr int kFactoryView = 0;
constexpr int kUserView = 1;
constexpr size_t kLibraryStatusBytes = 160;

struct LibraryView {
    ProgramList* list = nullptr;  // the program list shown; null until the editor joins the library
    float folderScroll = kScrollToTop;   // rows
    float programScroll = kScrollToTop;  // rows
    int32_t selectedFolder = kNoFolderSelected;
    // The row counts the scroll positions were last drawn with (0: not drawn yet). A scan fills a list
    // while it is shown; the positions then follow the growing counts so that the rows in sight stay.
    uint32_t folderRows = 0;
    uint32_t programRows = 0;
};

// A SAVE that waits for the user's answer before it replaces a file.
struct LibraryQuestion {
    bool up = false;
    ProgramRecord record;      // the program as it was when SAVE was pressed
    std::string path;          // the file that would be replaced
    std::string text;          // "The program ... already exists.\nOverwrite?"
    bool defaultFolder = false;  // saved without a chosen folder: select the first folder afterwards
};

struct LibraryPage {
    LibraryQuestion question;
    // A failed SAVE or load, shown on the page until the next action (empty: nothing to report).
    char status[kLibraryStatusBytes] = {};
    bool joined = false;  // this editor counts as a user of the process-wide library
};

}  // namespace tarsk
