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
// An editor starts using the library (startLibrary for the first of the process); answers whether
// this call started it.
bool joinLibrary(const Library& library = processLibrary());
// An editor stops using it (stopLibrary for the last); answers whether this call stopped it.
bool leaveLibrary(const Library& library = processLibrary());

enum class SaveResult {
    written,     // the program file was written
    declined,    // the file existed and the user kept it
    notWritten,  // the file could not be opened or written (nothing is reported to the user)
    noFolder,    // the chosen user category does not exist: the action ended early
};
// Where SAVE puts a program.
struct SaveTarget {
    std::string path;      // the program file's absolute path in the file system
    std::string fileName;  // the escaped program name, without ".fxp"
    bool exists = false;   // a file is there already: ask before replacing it
};
// The first half of SAVE: the target for the record in the chosen user category (a sorted position
// in the user list) or, with kNoUserCategory, in "Default Folder", whose folders are made when
// missing. Answers false when the category is not in the list (SaveResult::noFolder).
bool planSave(const ProgramRecord& record, int32_t userCategory, SaveTarget& target,
              const Library& library = processLibrary());
// The second half: writes the record as a program file at the path in one step (a temporary file
// renamed over the target), so that a failed write leaves the old file, or none, and never half a
// file. On failure error holds the system's error number.
bool writeProgramFile(const std::string& path, const ProgramRecord& record, int& error,
                      const Library& library = processLibrary());
// The overwrite question's text for an escaped program name.
std::string overwriteQuestionText(const std::string& fileName);

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
