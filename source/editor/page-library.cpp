// The Library page: the Factory and User tabs with SAVE, RESCAN and REVEAL, and the folder and
// program columns of the chosen program list. Only the rows in sight are drawn, so a folder with
// thousands of programs costs what a folder with nine does.
#include <algorithm>
#include <cmath>

#include "editor/editor-library.h"
#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "presets/program-list.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupLibraryTop = 4096;
constexpr uint32_t kGroupLibraryList = 8192;
constexpr uint32_t kTabFactory = 1;
constexpr uint32_t kTabUser = 2;
constexpr uint32_t kButtonSave = 3;
constexpr uint32_t kButtonRescan = 4;
constexpr uint32_t kButtonReveal = 5;
constexpr uint32_t kFolderBar = 1;
constexpr uint32_t kFirstFolderButton = 2;

constexpr float kListRows = 9.0f;
constexpr float kFullSpan = 4.5f;  // half the rows in sight
constexpr float kFolderX = 6.5f;
constexpr float kFolderWidth = 7.0f;
constexpr float kFolderBarX = 11.5f;
constexpr float kProgramX = 20.5f;
constexpr float kProgramWidth = 13.0f;
constexpr float kProgramBarX = 28.5f;
constexpr float kListY = 5.5f;

constexpr UiColour kPageBottom{0.10f, 0.11f, 0.13f, 1.0f};
constexpr UiColour kPageTop{0.20f, 0.21f, 0.25f, 1.0f};
constexpr UiColour kListBox{0.0f, 0.0f, 0.0f, 0.25f};
constexpr UiColour kDividerColour{0.625f, 0.625f, 0.625f, 1.0f};
constexpr UiColour kStatusText{1.0f, 0.55f, 0.35f, 1.0f};

UiRect centred(float x, float y, float width, float height) { return UiRect{x, y, width * 0.5f, height * 0.5f}; }
UiRect boxOf(float left, float bottom, float right, float top) {
    return UiRect{(left + right) * 0.5f, (bottom + top) * 0.5f, (right - left) * 0.5f, (top - bottom) * 0.5f};
}

// One scrolled column: its box, scroll bar and the rows in sight. A row is a button with id
// firstId + row; answers the row clicked, or -1.
float spanOf(float count) { return count < kListRows ? count * 0.5f : kFullSpan; }

int32_t drawColumn(Editor& editor, float x, float width, float barX, uint32_t barId, uint32_t firstId, uint32_t rows,
                   float& scroll, uint32_t& lastRows, int32_t selected, const ProgramList& list, bool folders,
                   uint32_t firstRecord) {
    const float u = editor.unit();
    const UiRect box = centred(x * u, kListY * u, width * u, kListRows * u);
    const float count = static_cast<float>(rows);
    const float span = spanOf(count);
    // The bar's position counts from the end of the list: when the count changed (a scan is filling
    // the list), move it by as much, so that the same rows stay in sight.
    if (lastRows != 0 && lastRows != rows) {
        const float last = static_cast<float>(lastRows);
        scroll += (count - span) - (last - spanOf(last));
    }
    lastRows = rows;
    editor.gradientBox(0, box, kListBox, kListBox);
    scroll = editor.scrollBar(barId, centred(barX * u, kListY * u, u, kListRows * u), 0.0f, count, scroll, span, box,
                              1.0f);
    // The position is the middle of the rows in sight, counted from the bottom of the list.
    const float topRow = std::max(0.0f, count - span - scroll);
    const uint32_t first = static_cast<uint32_t>(std::floor(topRow));
    const uint32_t last = std::min(rows, first + static_cast<uint32_t>(kListRows) + 1);
    const float top = box.top();
    int32_t clicked = -1;
    editor.setClip(box);
    for (uint32_t row = first; row < last; ++row) {
        const float y = top - (static_cast<float>(row) - topRow + 0.5f) * u;
        const char* name;
        ProgramCategory category;
        ProgramEntry entry;
        if (folders) {
            category = list.category(row);
            name = category.name;
        } else {
            entry = list.entry(firstRecord + row);
            name = entry.name;
        }
        const int paletteRow = static_cast<int32_t>(row) == selected ? 1 : 0;
        if (editor.button(firstId + row, centred(x * u, y, width * u, u), name, 12.0f, paletteRow, kAlignLeft)) {
            clicked = static_cast<int32_t>(row);
        }
    }
    editor.resetClip();
    return clicked;
}

}  // namespace

void drawLibraryList(Editor& editor, LibraryView& view) {
    if (view.list == nullptr) {
        return;
    }
    ProgramList& list = *view.list;
    list.readLock();
    const uint32_t folders = list.categoryCount();
    if (folders == 0) {
        list.unlock();
        return;
    }
    const int32_t clickedFolder = drawColumn(editor, kFolderX, kFolderWidth, kFolderBarX, kFolderBar, kFirstFolderButton,
                                             folders, view.folderScroll, view.folderRows, view.selectedFolder, list,
                                             true, 0);
    if (clickedFolder >= 0) {
        if (clickedFolder == view.selectedFolder) {
            view.selectedFolder = kNoFolderSelected;
        } else {
            view.selectedFolder = clickedFolder;
            view.programScroll = kScrollToTop;
            view.programRows = 0;
        }
    }
    bool load = false;
    ProgramEntry chosen;
    if (view.selectedFolder >= 0 && static_cast<uint32_t>(view.selectedFolder) < folders) {
        const ProgramCategory folder = list.category(static_cast<uint32_t>(view.selectedFolder));
        if (folder.entryCount > 0) {
            const int32_t clickedProgram =
                drawColumn(editor, kProgramX, kProgramWidth, kProgramBarX, folders + 2, folders + 3, folder.entryCount,
                           view.programScroll, view.programRows, -1, list, false, folder.firstEntry);
            if (clickedProgram >= 0) {
                chosen = list.entry(folder.firstEntry + static_cast<uint32_t>(clickedProgram));
                load = true;
            }
        }
    }
    list.unlock();
    if (load) {
        libraryLoad(editor, chosen);  // reads the file with the list free for the worker
    }
}

void drawLibraryPage(Editor& editor) {
    const float u = editor.unit();
    editor.gradientBox(0, boxOf(0.0f, 0.0f, 32.0f * u, 12.0f * u), kPageBottom, kPageTop);
    editor.background() = kPageTop;

    int32_t& tab = editor.viewWord(kViewLibraryTab);
    const bool user = tab == static_cast<int32_t>(kTabUser);
    editor.pushGroup(kGroupLibraryTop, UiPoint{0.0f, 0.0f});
    editor.useStyle(kStylePlain);
    editor.setFont(editor.font(kFaceBold));
    editor.button(kTabFactory, boxOf(3.0f * u, 11.0f * u, 8.0f * u, 12.0f * u), "Factory programs", 12.0f, user ? 0 : 1,
                  kAlignCentre);
    editor.button(kTabUser, boxOf(8.5f * u, 11.0f * u, 13.0f * u, 12.0f * u), "User programs", 12.0f, user ? 1 : 0,
                  kAlignCentre);
    editor.button(user ? kButtonSave : kDisabledId, boxOf(14.5f * u, 11.0f * u, 17.0f * u, 12.0f * u), "SAVE", 10.0f, 0,
                  kAlignCentre);
    editor.button(user ? kButtonRescan : kDisabledId, boxOf(17.5f * u, 11.0f * u, 20.0f * u, 12.0f * u), "RESCAN", 10.0f,
                  0, kAlignCentre);
    editor.button(user ? kButtonReveal : kDisabledId, boxOf(20.5f * u, 11.0f * u, 23.0f * u, 12.0f * u), "REVEAL", 10.0f,
                  0, kAlignCentre);
    editor.gradientBox(0, boxOf(3.0f * u, 10.75f * u - std::max(1.0f, std::round(editor.displayScale())), 29.0f * u, 10.75f * u),
                       kDividerColour, kDividerColour);
    const uint32_t pressed = editor.popGroup();
    switch (pressed) {
        case kTabFactory:
        case kTabUser:
            tab = static_cast<int32_t>(pressed);
            break;
        case kButtonSave:
            librarySave(editor);
            break;
        case kButtonRescan:
            libraryRescan(editor);
            break;
        case kButtonReveal:
            libraryReveal(editor);
            break;
        default:
            break;
    }

    editor.pushGroup(kGroupLibraryList, UiPoint{0.0f, 0.0f});
    editor.useStyle(kStylePlain);
    drawLibraryList(editor, editor.libraryView(tab == static_cast<int32_t>(kTabUser) ? kUserView : kFactoryView));
    editor.popGroup();

    const char* status = editor.libraryPage().status;
    if (status[0] != '\0') {
        editor.useStyle(kStylePlain);
        UiStyle warning = editor.style();
        warning.text = kStatusText;
        editor.setStyle(warning);
        editor.label(0, boxOf(3.0f * u, 0.05f * u, 29.0f * u, 0.95f * u), status, 12.0f, kAlignLeft);
    }
}

}  // namespace tarsk
