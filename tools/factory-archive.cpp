// The factory archive: collecting the program sources by category, building and checking each program
// file, and writing them in a fixed order through ArchiveWriter.
#include "factory-archive.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "archive-writer.h"
#include "presets/fxp-file.h"
#include "presets/library-actions.h"
#include "program-source.h"
#include "tarsklib/stream.h"

namespace tarsk {

namespace {

constexpr size_t kMaxMemberNameChars = 255;  // what the archive reader of the plug-in takes
constexpr size_t kMinDescriptionChars = 40;             // a sentence, not a word

struct Member {
    std::string name;  // full member name
    std::vector<uint8_t> bytes;
    std::string source;
};

struct Category {
    std::string name;
    std::vector<Member> members;
};

bool hidden(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    return name.empty() || name[0] == '.';
}

// Sorted names of the entries of a folder that pass the filter.
template <typename Filter>
bool sortedEntries(const std::filesystem::path& folder, Filter keep, std::vector<std::filesystem::path>& paths,
                   std::string& error) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        error = "cannot read the folder '" + folder.string() + "': " + ec.message();
        return false;
    }
    for (const std::filesystem::directory_entry& entry : it) {
        if (!hidden(entry.path()) && keep(entry)) {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end(),
              [](const auto& a, const auto& b) { return a.filename().string() < b.filename().string(); });
    return true;
}

// A factory program shows its whole name in the program lists, tells a musician what it is for and
// says how its sound ends; a program that holds its sound says so in its description as well.
bool checkFactoryTexts(const ProgramSource& source, std::string& error) {
    const std::string name(source.record.name());
    if (name.size() > static_cast<size_t>(kShownNameChars)) {
        error = "the name '" + name + "' is longer than the " + std::to_string(kShownNameChars) + " characters shown";
        return false;
    }
    const std::string description(source.record.description());
    if (description.size() < kMinDescriptionChars) {
        error = "the description is missing or too short to tell what the program is for";
        return false;
    }
    if (source.tail == TailPromise::none) {
        error = "no 'tail' line: give the seconds the sound needs to die away, or 'tail sustain'";
        return false;
    }
    if (source.tail == TailPromise::sustain && description.find("sustain") == std::string::npos) {
        error = "the program is marked 'tail sustain' but its description does not say that it sustains";
        return false;
    }
    return true;
}

// Builds one program's file and checks that the plug-in reads back exactly the source's record.
bool buildMember(const std::string& category, const std::filesystem::path& sourcePath, Member& member,
                 std::string& error) {
    ProgramSource source;
    if (!readProgramSourceFile(sourcePath.string(), source, error)) {
        return false;
    }
    const std::string programName(source.record.name());
    if (programName.empty()) {
        error = sourcePath.string() + ": the program has no name";
        return false;
    }
    if (!checkFactoryTexts(source, error)) {
        error = sourcePath.string() + ": " + error;
        return false;
    }
    if (!buildProgramFile(source, member.bytes, error)) {
        error = sourcePath.string() + ": " + error;
        return false;
    }
    MemoryStream stream(member.bytes.data(), member.bytes.size());
    ProgramRecord readBack;
    if (!readFxpIntoRecord(stream, readBack) || !(readBack == source.record)) {
        error = sourcePath.string() + ": the program file does not read back as its source";
        return false;
    }
    member.name = std::string(kFactoryArchiveRoot) + category + "/" + encodeFileName(programName) + ".fxp";
    member.source = sourcePath.string();
    if (member.name.size() > kMaxMemberNameChars) {
        error = sourcePath.string() + ": the member name '" + member.name + "' is too long";
        return false;
    }
    return true;
}

bool collect(const std::string& factoryFolder, std::vector<Category>& categories, std::string& error) {
    std::vector<std::filesystem::path> folders;
    auto isFolder = [](const std::filesystem::directory_entry& entry) {
        std::error_code ec;
        return entry.is_directory(ec);
    };
    if (!sortedEntries(factoryFolder, isFolder, folders, error)) {
        return false;
    }
    for (const std::filesystem::path& folder : folders) {
        Category category{folder.filename().string(), {}};
        std::vector<std::filesystem::path> sources;
        auto isSource = [](const std::filesystem::directory_entry& entry) {
            std::error_code ec;
            return entry.is_regular_file(ec) && entry.path().extension() == kProgramSourceExtension;
        };
        if (!sortedEntries(folder, isSource, sources, error)) {
            return false;
        }
        for (const std::filesystem::path& source : sources) {
            Member member;
            if (!buildMember(category.name, source, member, error)) {
                return false;
            }
            category.members.push_back(std::move(member));
        }
        std::sort(category.members.begin(), category.members.end(),
                  [](const Member& a, const Member& b) { return a.name < b.name; });
        for (size_t i = 1; i < category.members.size(); ++i) {
            if (category.members[i].name == category.members[i - 1].name) {
                error = category.members[i].source + " and " + category.members[i - 1].source + " both give '" +
                        category.members[i].name + "'";
                return false;
            }
        }
        categories.push_back(std::move(category));
    }
    return true;
}

}  // namespace

bool makeFactoryArchive(const std::string& factoryFolder, const std::string& archivePath,
                        FactoryArchiveSummary& summary, std::string& error) {
    std::vector<Category> categories;
    if (!collect(factoryFolder, categories, error)) {
        return false;
    }
    const std::string temporary = archivePath + ".tmp";
    ArchiveWriter writer;
    bool written = writer.open(temporary, error) && writer.addFolder(kFactoryArchiveRoot, error);
    FactoryArchiveSummary counted;
    for (const Category& category : categories) {
        written = written && writer.addFolder(kFactoryArchiveRoot + category.name, error);
        for (const Member& member : category.members) {
            written = written && writer.addFile(member.name, member.bytes, true, error);
        }
        counted.programs += category.members.size();
        ++counted.categories;
    }
    written = written && writer.close(error);
    std::error_code ec;
    if (written) {
        std::filesystem::rename(temporary, archivePath, ec);
        if (ec) {
            error = "cannot write '" + archivePath + "': " + ec.message();
            written = false;
        }
    }
    if (!written) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    summary = counted;
    return true;
}

}  // namespace tarsk
