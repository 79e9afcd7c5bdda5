// The program library inside the editor: start-up and shut-down with the editors of the process, the
// Library page's actions, and the overwrite question drawn inside the editor.
#include "editor/editor-library.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "editor/editor.h"
#include "presets/fxp-file.h"
#include "presets/library-actions.h"
#include "tarsklib/error-text.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupLibraryQuestion = 1536;
constexpr uint32_t kQuestionYes = 1;
constexpr uint32_t kQuestionNo = 2;
constexpr size_t kQuestionLineBytes = 256;
constexpr size_t kErrorTextBytes = 96;
constexpr UiColour kQuestionShade{0.0f, 0.0f, 0.0f, 0.6f};
constexpr UiColour kPanelBottom{0.16f, 0.17f, 0.2f, 1.0f};
constexpr UiColour kPanelTop{0.3f, 0.31f, 0.35f, 1.0f};

UiRect centred(float x, float y, float width, float height) { return UiRect{x, y, width * 0.5f, height * 0.5f}; }

// The page's line of text for a failure: "<what>" or, with a name, "<what> "<name>"<why>".
void report(Editor& editor, const char* what, const char* name = nullptr, const char* why = "") {
    char* status = editor.libraryPage().status;
    if (name == nullptr) {
        std::snprintf(status, kLibraryStatusBytes, "%s%s", what, why);
    } else {
        std::snprintf(status, kLibraryStatusBytes, "%s \"%s\"%s", what, name, why);
    }
}

}  // namespace

bool libraryStartUp(Editor& editor) {
    LibraryPage& page = editor.libraryPage();
    if (page.joined) {
        return false;  // the context came back: the editor is a user already
    }
    page.joined = true;
    editor.libraryView(kFactoryView).list = &factoryList();
    editor.libraryView(kUserView).list = &userList();
    return joinLibrary();
}

void libraryShutDown(Editor& editor) {
    LibraryPage& page = editor.libraryPage();
    if (!page.joined) {
        return;
    }
    page.joined = false;
    page.question.up = false;
    editor.libraryView(kFactoryView).list = nullptr;
    editor.libraryView(kUserView).list = nullptr;
    leaveLibrary();
}

bool libraryLoad(Editor& editor, const ProgramEntry& entry) {
    const std::string path = entryFilePath(entry);
    std::unique_ptr<Stream> stream = fileSystem().open(path, kOpenRead);
    if (stream == nullptr) {
        report(editor, "Could not open", entry.name, ": it may have been moved or deleted (RESCAN)");
        return false;
    }
    ProgramRecord loaded = editor.program();
    if (!readFxpIntoRecord(*stream, loaded)) {
        report(editor, "Nothing was loaded:", entry.name, " is not a program file of this plug-in");
        return false;
    }
    editor.program() = loaded;
    editor.markChanged(kChangeAll);
    editor.setFreeze(false);
    editor.setBypass(false);
    editor.setEditTarget(static_cast<uint32_t>(editor.slot()));
    editor.libraryPage().status[0] = '\0';
    return true;
}

void librarySave(Editor& editor) {
    LibraryPage& page = editor.libraryPage();
    page.status[0] = '\0';
    const int32_t folder = editor.libraryView(kUserView).selectedFolder;
    SaveTarget target;
    if (!planSave(editor.program(), folder, target)) {
        report(editor, "The selected folder is gone; RESCAN, then choose a folder");
        return;
    }
    LibraryQuestion& question = page.question;
    question.record = editor.program();
    question.path = target.path;
    question.defaultFolder = folder == kNoFolderSelected;
    if (target.exists) {
        question.text = overwriteQuestionText(target.fileName);
        question.up = true;
        return;
    }
    libraryAnswer(editor, true);
}

void libraryAnswer(Editor& editor, bool overwrite) {
    LibraryPage& page = editor.libraryPage();
    LibraryQuestion& question = page.question;
    question.up = false;
    bool saved = true;
    if (overwrite) {
        int error = 0;
        if (!writeProgramFile(question.path, question.record, error)) {
            char buffer[kErrorTextBytes];
            char why[kErrorTextBytes + 2];
            std::snprintf(why, sizeof(why), ": %s", errorText(error, buffer, sizeof(buffer)));
            const std::string name = encodeFileName(std::string(question.record.name(),
                                                                strnlen(question.record.name(), kNameBytes)));
            report(editor, "Could not save", name.c_str(), why);
            saved = false;
        }
    }
    // Declining keeps the file on disk, which then holds what the user chose to keep: the program
    // counts as saved. A failed write saved nothing, so the program keeps its unsaved mark.
    if (saved) {
        editor.history().markSaved();
        if (question.defaultFolder) {
            editor.libraryView(kUserView).selectedFolder = 0;
        }
    }
    rescan();
}

void libraryRescan(Editor& editor) {
    LibraryView& view = editor.libraryView(kUserView);
    view.selectedFolder = kNoFolderSelected;
    view.folderScroll = kScrollToTop;
    view.programScroll = kScrollToTop;
    view.folderRows = 0;
    view.programRows = 0;
    editor.libraryPage().status[0] = '\0';
    rescan();
}

void libraryReveal(Editor& editor) {
    editor.libraryPage().status[0] = '\0';
    if (!fileSystem().exists(kUserProgramsPath)) {
        report(editor, "There are no user programs yet: SAVE makes the folder");
        return;
    }
    if (!reveal(editor.libraryView(kUserView).selectedFolder)) {
        report(editor, "No file browser could be started (xdg-open)");
    }
}

bool libraryQuestionUp(const Editor& editor) { return editor.libraryPage().question.up; }

void drawLibraryQuestion(Editor& editor) {
    LibraryQuestion& question = editor.libraryPage().question;
    if (!question.up) {
        return;
    }
    const float u = editor.unit();
    editor.pushGroup(kGroupLibraryQuestion, UiPoint{0.0f, 0.0f});
    editor.drawList().fillRect(centred(editor.windowWidth() * 0.5f, editor.windowHeight() * 0.5f, editor.windowWidth(),
                                       editor.windowHeight()),
                               kQuestionShade);
    const UiRect panel = centred(16.0f * u, 9.0f * u, 18.0f * u, 6.0f * u);
    editor.gradientBox(0, panel, kPanelBottom, kPanelTop);
    editor.bevel(panel);

    editor.useStyle(kStylePlain);
    editor.setFont(editor.font(kFaceBold));
    editor.label(0, UiRect{16.0f * u, 11.25f * u, 8.5f * u, 0.5f * u}, kOverwriteTitle, 14.0f, kAlignLeft);
    editor.divider(UiRect{16.0f * u, 10.5f * u, 8.5f * u, 0.25f * u});
    editor.useStyle(kStylePlain);
    // The text's lines one under the other (a name can be long: each line is cut to the panel).
    const char* text = question.text.c_str();
    float y = 9.9f * u;
    while (*text != '\0') {
        const char* end = std::strchr(text, '\n');
        const size_t length = end != nullptr ? static_cast<size_t>(end - text) : std::strlen(text);
        char line[kQuestionLineBytes];
        std::snprintf(line, sizeof(line), "%.*s", static_cast<int>(length), text);
        editor.label(0, UiRect{16.0f * u, y, 8.5f * u, 0.5f * u}, line, 12.0f, kAlignLeft);
        y -= u;
        text += length + (end != nullptr ? 1 : 0);
    }

    editor.setFont(editor.font(kFaceBold));
    const bool yes = editor.button(kQuestionYes, centred(13.0f * u, 7.0f * u, 3.0f * u, u), "Yes", 12.0f, 0,
                                   kAlignCentre);
    const bool no = editor.button(kQuestionNo, centred(19.0f * u, 7.0f * u, 3.0f * u, u), "No", 12.0f, 0,
                                  kAlignCentre);
    editor.popGroup();
    if (yes) {
        libraryAnswer(editor, true);
    } else if (no) {
        libraryAnswer(editor, false);
    }
}

}  // namespace tarsk
