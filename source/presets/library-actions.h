// The program library's actions behind the library page: file names of programs, SAVE, RESCAN and
// REVEAL, and starting and stopping the library (mounts, scans, worker).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/program-record.h"
#include "presets/library-worker.h"
#include "presets/program-file-system.h"
#include "presets/program-list.h"

namespace tarsk {

constexpr int32_t kNoUserCategory = -1;
constexpr const char* kFactoryArchiveResource = "presets.zip";
constexpr const char* kOverwriteTitle = "Tarskverb Confirmation";
constexpr const char* kOverwriteFormat = "The program %s already exists.\nOverwrite?";
constexpr size_t kOverwriteTextBytes = 32768;
constexpr const char* kProgramFileExtension = ".fxp";

// The program name with the characters that file names may not hold written as HTML character
// references ("A/B: test?" becomes "A&#47;B&#58; test&#63;").
std::string encodeFileName(std::string_view programName);
// The other way, for showing names: decimal, hexadecimal and the common named references become
// characters again (UTF-8); text that is not a reference stays as it is.
std::string decodeFileName(std::string_view fileName);

// The yes/no question before a file is overwritten: askYesNo of the platform unless replaced. With
// no function at all every question is answered no, so nothing is overwritten without asking.
using OverwriteQuestion = bool (*)(const char* title, const char* text);
void setOverwriteQuestion(OverwriteQuestion question);
// Shows a disk folder in the file browser: openInFileBrowser of the platform unless replaced.
using FolderRevealer = bool (*)(const std::string& diskPath);
void setFolderRevealer(FolderRevealer revealer);

// The parts the actions work on: the process-wide ones unless a caller (a test) brings its own.
struct Library {
    ProgramFileSystem& files;
    ProgramList& factory;
    ProgramList& user;
    LibraryWorker& worker;
};
Library processLibrary();

// Starts the worker; only when this call started it: mounts "res" over the factory archive among the
// resources and "user" over the user folder (replacing earlier mounts), then queues the scans of the
// factory and the user programs. Answers whether this call started the library.
bool startLibrary(const Library& library = processLibrary());
// For the last editor of the process: stops the worker, empties both lists and releases the mounts.
void stopLibrary(const Library& library = processLibrary());

enum class SaveResult {
    written,     // the program file was written
    declined,    // the file existed and the user kept it
    notWritten,  // the file could not be opened or written (nothing is reported to the user)
    noFolder,    // the chosen user category does not exist: the action ended early
};
// SAVE: writes the record as a program file named after it, into the chosen user category (a sorted
// position in the user list) or, with kNoUserCategory, into "Default Folder" (created with its parents
// on first use); asks before replacing a file; then rescans the user programs. The caller marks the
// current slot's undo history as saved for every result but noFolder, also when the user declined.
SaveResult saveProgram(const ProgramRecord& record, int32_t userCategory, const Library& library = processLibrary());

// RESCAN: queues a new scan of the user programs (the page clears its own selection).
bool rescan(const Library& library = processLibrary());

// REVEAL: shows the user programs folder, or the chosen category's folder, in the file browser.
// Answers whether a file browser was started.
bool reveal(int32_t userCategory, const Library& library = processLibrary());

// The program-file path of a list entry: its folder, a slash, its name and ".fxp".
std::string entryFilePath(const ProgramEntry& entry);

}  // namespace tarsk
