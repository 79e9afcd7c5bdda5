// The program library's actions: file-name encoding, saving with the overwrite question, rescanning,
// revealing folders, and the start-up and shut-down of mounts, scans and worker.
#include "presets/library-actions.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "presets/fxp-file.h"
#include "presets/program-chunk.h"
#include "presets/zip-archive-node.h"
#include "tarsklib/platform-question.h"
#include "tarsklib/platform-shell.h"
#include "tarsklib/resource.h"

namespace tarsk {

namespace {

struct Replacement {
    char character;
    const char* text;
};
constexpr Replacement kFileNameReplacements[] = {
    {'"', "&#34;"}, {'*', "&#42;"}, {'/', "&#47;"},  {':', "&#58;"},  {'<', "&lt;"},
    {'>', "&gt;"},  {'?', "&#63;"}, {'\\', "&#92;"}, {'|', "&#124;"},
};

struct NamedReference {
    const char* name;
    char character;
};
constexpr NamedReference kNamedReferences[] = {
    {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''},
};
constexpr size_t kLongestReference = 10;  // "&#1114111;"
constexpr uint32_t kLastCodePoint = 0x10FFFF;

std::atomic<OverwriteQuestion> overwriteQuestion{&askYesNo};
std::atomic<FolderRevealer> folderRevealer{&openInFileBrowser};

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes the reference between '&' and ';' (body); answers false when it is not one.
bool decodeReference(std::string_view body, std::string& out) {
    if (body.size() >= 2 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) {
            return false;
        }
        uint32_t value = 0;
        for (char d : digits) {
            uint32_t digit = 0;
            if (d >= '0' && d <= '9') {
                digit = static_cast<uint32_t>(d - '0');
            } else if (hex && d >= 'a' && d <= 'f') {
                digit = static_cast<uint32_t>(d - 'a' + 10);
            } else if (hex && d >= 'A' && d <= 'F') {
                digit = static_cast<uint32_t>(d - 'A' + 10);
            } else {
                return false;
            }
            value = value * (hex ? 16 : 10) + digit;
            if (value > kLastCodePoint) {
                return false;
            }
        }
        if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        appendUtf8(out, value);
        return true;
    }
    for (const NamedReference& named : kNamedReferences) {
        if (body == named.name) {
            out += named.character;
            return true;
        }
    }
    return false;
}

std::string recordName(const ProgramRecord& record) {
    const char* name = record.name();
    size_t length = 0;
    while (length < static_cast<size_t>(kNameBytes) && name[length] != '\0') {
        ++length;
    }
    return std::string(name, length);
}

// The name of the user category at a sorted position, read under the list's lock; false when the
// list has no categories or none at that position.
bool userCategoryName(ProgramList& list, int32_t position, std::string& name) {
    list.readLock();
    const bool found = position >= 0 && static_cast<uint32_t>(position) < list.categoryCount();
    if (found) {
        name = list.category(static_cast<uint32_t>(position)).name;
    }
    list.unlock();
    return found;
}

}  // namespace

std::string encodeFileName(std::string_view programName) {
    std::string out;
    out.reserve(programName.size());
    for (char c : programName) {
        const char* replaced = nullptr;
        for (const Replacement& replacement : kFileNameReplacements) {
            if (replacement.character == c) {
                replaced = replacement.text;
                break;
            }
        }
        if (replaced != nullptr) {
            out += replaced;
        } else {
            out += c;
        }
    }
    return out;
}

std::string decodeFileName(std::string_view fileName) {
    std::string out;
    out.reserve(fileName.size());
    size_t i = 0;
    while (i < fileName.size()) {
        if (fileName[i] == '&') {
            size_t end = fileName.find(';', i + 1);
            if (end != std::string_view::npos && end - i <= kLongestReference &&
                decodeReference(fileName.substr(i + 1, end - i - 1), out)) {
                i = end + 1;
                continue;
            }
        }
        out += fileName[i++];
    }
    return out;
}

void setOverwriteQuestion(OverwriteQuestion question) { overwriteQuestion.store(question); }

void setFolderRevealer(FolderRevealer revealer) { folderRevealer.store(revealer); }

Library processLibrary() { return Library{fileSystem(), factoryList(), userList(), libraryWorker()}; }

std::string entryFilePath(const ProgramEntry& entry) {
    return std::string(entry.folder) + "/" + entry.name + kProgramFileExtension;
}

bool startLibrary(const Library& library) {
    if (!library.worker.start()) {
        return false;
    }
    library.files.unmountAll();
    std::shared_ptr<MemoryStream> archive(openResource(kFactoryArchiveResource));
    library.files.mount(kResourceMount, std::make_shared<ZipArchiveNode>(std::move(archive)));
    const std::string userRoot = userFolderRoot();
    if (!userRoot.empty()) {
        library.files.mount(kUserMount, std::make_shared<DiskFolderNode>(userRoot));
    }
    library.worker.postScan(kFactoryProgramsPath, library.factory);
    library.worker.postScan(kUserProgramsPath, library.user);
    return true;
}

void stopLibrary(const Library& library) {
    library.worker.stop();
    for (ProgramList* list : {&library.factory, &library.user}) {
        list->writeLock();
        list->clear();
        list->unlock();
    }
    library.files.unmountAll();
}

bool planSave(const ProgramRecord& record, int32_t userCategory, SaveTarget& target, const Library& library) {
    target.fileName = encodeFileName(recordName(record));
    if (userCategory == kNoUserCategory) {
        const std::string defaultFolder = std::string(kUserProgramsPath) + kDefaultFolderSuffix;
        for (const std::string& folder : {std::string(kUserRootPath), std::string(kUserProgramsPath), defaultFolder}) {
            if (!library.files.exists(folder)) {
                library.files.makeFolder(folder);
            }
        }
        target.path = defaultFolder + target.fileName + kProgramFileExtension;
    } else {
        // The category's name is copied under the list's lock, so that a scan may run while the
        // question waits for the user.
        std::string category;
        if (!userCategoryName(library.user, userCategory, category)) {
            return false;
        }
        target.path = std::string(kUserProgramsPath) + "/" + category + "/" + target.fileName + kProgramFileExtension;
    }
    target.exists = library.files.exists(target.path);
    return true;
}

bool writeProgramFile(const std::string& path, const ProgramRecord& record, int& error, const Library& library) {
    uint8_t bytes[kFxpHeaderBytes + kMaxChunkBytes] = {};
    MemoryStream stream(bytes, sizeof(bytes));
    if (!writeFxp(stream, record)) {
        error = EOVERFLOW;
        return false;
    }
    return library.files.replaceFile(path, bytes, static_cast<size_t>(stream.tell()), error);
}

std::string overwriteQuestionText(const std::string& fileName) {
    std::vector<char> text(kOverwriteTextBytes, '\0');
    std::snprintf(text.data(), text.size(), kOverwriteFormat, fileName.c_str());
    return std::string(text.data());
}

bool joinLibrary(const Library& library) {
    return library.worker.users().join([&library] { startLibrary(library); });
}

bool leaveLibrary(const Library& library) {
    return library.worker.users().leave([&library] { stopLibrary(library); });
}

SaveResult saveProgram(const ProgramRecord& record, int32_t userCategory, const Library& library) {
    SaveTarget target;
    if (!planSave(record, userCategory, target, library)) {
        return SaveResult::noFolder;
    }
    SaveResult result = SaveResult::notWritten;
    bool write = true;
    if (target.exists) {
        OverwriteQuestion question = overwriteQuestion.load();
        write = question != nullptr && question(kOverwriteTitle, overwriteQuestionText(target.fileName).c_str());
        if (!write) {
            result = SaveResult::declined;
        }
    }
    int error = 0;
    if (write && writeProgramFile(target.path, record, error, library)) {
        result = SaveResult::written;
    }
    // Here the editor marks the current slot's undo history as saved (for every result but noFolder).
    library.worker.postScan(kUserProgramsPath, library.user);
    return result;
}

bool rescan(const Library& library) { return library.worker.postScan(kUserProgramsPath, library.user); }

bool reveal(int32_t userCategory, const Library& library) {
    std::string path = kUserProgramsPath;
    if (userCategory != kNoUserCategory) {
        std::string category;
        if (!userCategoryName(library.user, userCategory, category)) {
            return false;
        }
        path += "/" + category;
    }
    const std::string diskPath = library.files.realPath(path);
    FolderRevealer revealer = folderRevealer.load();
    return !diskPath.empty() && revealer != nullptr && revealer(diskPath);
}

}  // namespace tarsk
