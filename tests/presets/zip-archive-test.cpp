// The archive node: exact-case members, read-only opening, folder iteration in archive order, damaged
// archives and members, and the factory archive the plug-in carries.
#include <gtest/gtest.h>

#include <unzip.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "factory-archive.h"
#include "library-fixtures.h"
#include "presets/library-worker.h"
#include "presets/program-file-system.h"
#include "presets/program-list.h"
#include "presets/zip-archive-node.h"
#include "tarsklib/resource.h"

namespace {

using namespace tarsk;
using namespace tarsk::test;

std::vector<uint8_t> bytesOf(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }

// presets/ with two categories, a deeper folder, then a folder outside presets.
std::vector<ArchiveMember> sampleMembers() {
    return {
        {"presets/", {}},
        {"presets/Echoes/", {}},
        {"presets/Echoes/A.fxp", bytesOf("first member")},
        {"presets/Echoes/b.fxp", bytesOf("second")},
        {"presets/Echoes/Sub/", {}},
        {"presets/Echoes/Sub/deep.fxp", bytesOf("deep")},
        {"presets/Rooms/", {}},
        {"presets/Rooms/x.fxp", bytesOf("x"), false},
        {"other/", {}},
        {"other/y.txt", bytesOf("y")},
    };
}

std::vector<std::pair<std::string, uint32_t>> walk(FolderIterator& it) {
    std::vector<std::pair<std::string, uint32_t>> seen;
    for (; it.valid(); it.next()) {
        seen.emplace_back(it.name(), it.type());
    }
    return seen;
}

TEST(ZipArchiveNode, ServesExactCaseMembersForReadingOnly) {
    ZipArchiveNode node(sharedStream(buildArchive(sampleMembers())));
    ASSERT_TRUE(node.isOpen());
    EXPECT_TRUE(node.exists("presets/Echoes/A.fxp"));
    EXPECT_TRUE(node.exists("//presets/Echoes/A.fxp"));  // leading slashes do not count
    EXPECT_TRUE(node.exists("presets/Echoes/"));
    EXPECT_FALSE(node.exists("presets/echoes/A.fxp"));
    EXPECT_FALSE(node.exists("presets/Echoes/a.fxp"));
    EXPECT_FALSE(node.exists("presets/Echoes"));  // the folder's entry carries the '/'
    EXPECT_FALSE(node.exists(""));
    EXPECT_FALSE(node.exists("/"));

    std::unique_ptr<Stream> member = node.open("/presets/Echoes/A.fxp", kOpenRead);
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(readAll(*member), bytesOf("first member"));
    std::unique_ptr<Stream> stored = node.open("presets/Rooms/x.fxp", kOpenRead);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(readAll(*stored), bytesOf("x"));
    EXPECT_EQ(stored->write("z", 1, 1), 0u);  // members are read-only

    EXPECT_EQ(node.open("presets/Echoes/a.fxp", kOpenRead), nullptr);
    for (uint32_t mode : {kOpenWrite, kOpenReadWrite, kOpenAppend, kOpenWriteRead, 0x200u, 0u}) {
        EXPECT_EQ(node.open("presets/Echoes/A.fxp", mode), nullptr) << std::hex << mode;
    }
    EXPECT_FALSE(node.makeFolder("presets/New/"));
    EXPECT_EQ(node.realPath("presets/Echoes/A.fxp"), "");
}

TEST(ZipArchiveNode, FolderReportsEverythingBelowItInArchiveOrder) {
    ZipArchiveNode node(sharedStream(buildArchive(sampleMembers())));
    std::unique_ptr<FolderIterator> presets = node.openFolder("/presets");
    ASSERT_NE(presets, nullptr);
    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"Echoes", kEntryTypeFolder},   {"Echoes/A.fxp", kEntryTypeFile},        {"Echoes/b.fxp", kEntryTypeFile},
        {"Echoes/Sub", kEntryTypeFolder}, {"Echoes/Sub/deep.fxp", kEntryTypeFile}, {"Rooms", kEntryTypeFolder},
        {"Rooms/x.fxp", kEntryTypeFile},
    };
    EXPECT_EQ(walk(*presets), expected);

    std::unique_ptr<FolderIterator> rooms = node.openFolder("presets/Rooms/");
    ASSERT_NE(rooms, nullptr);
    EXPECT_EQ(walk(*rooms), (std::vector<std::pair<std::string, uint32_t>>{{"x.fxp", kEntryTypeFile}}));
    EXPECT_EQ(node.openFolder("presets/Missing"), nullptr);
    EXPECT_EQ(node.openFolder("presets/Echoes/A.fxp"), nullptr);  // a file is no folder

    // Iterators keep their own positions on the shared handle, whatever runs in between.
    std::unique_ptr<FolderIterator> outer = node.openFolder("presets");
    std::unique_ptr<FolderIterator> inner = node.openFolder("presets/Echoes");
    std::vector<std::pair<std::string, uint32_t>> outerSeen;
    std::vector<std::string> innerSeen;
    while (outer->valid()) {
        outerSeen.emplace_back(outer->name(), outer->type());
        EXPECT_NE(node.open("other/y.txt", kOpenRead), nullptr);
        if (inner->valid()) {
            innerSeen.push_back(inner->name());
            inner->next();
        }
        outer->next();
    }
    EXPECT_EQ(outerSeen, expected);
    EXPECT_EQ(innerSeen, (std::vector<std::string>{"A.fxp", "b.fxp", "Sub", "Sub/deep.fxp"}));
}

TEST(ZipArchiveNode, DamagedArchivesGiveANodeWithoutAHandle) {
    const std::vector<uint8_t> good = buildArchive(sampleMembers());
    ASSERT_GT(good.size(), 100u);
    std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    std::vector<uint8_t> noise(good.size());
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    }
    std::vector<uint8_t> withoutEnd(good.begin(), good.end() - 22);  // the end-of-directory record cut off

    for (const std::vector<uint8_t>* bytes : {&truncated, &noise, &withoutEnd}) {
        ZipArchiveNode node(sharedStream(*bytes));
        EXPECT_FALSE(node.isOpen());
        EXPECT_FALSE(node.exists("presets/Echoes/A.fxp"));
        EXPECT_EQ(node.open("presets/Echoes/A.fxp", kOpenRead), nullptr);
        EXPECT_EQ(node.openFolder("presets"), nullptr);
    }
    ZipArchiveNode empty(sharedStream({}));
    EXPECT_FALSE(empty.isOpen());

    // Mounted, such an archive gives an empty factory list.
    ProgramFileSystem files;
    files.mount(kResourceMount, std::make_shared<ZipArchiveNode>(sharedStream(truncated)));
    ProgramList list;
    scanProgramFolder(files, kFactoryProgramsPath, list);
    list.readLock();
    EXPECT_EQ(list.categoryCount(), 0u);
    EXPECT_EQ(list.count(), 0u);
    list.unlock();

    // Damage anywhere in the archive: whatever still opens walks at most the members there are and
    // serves no member above the size limit (a damaged size field is believed up to it).
    for (size_t at = 0; at < good.size(); at += 3) {
        std::vector<uint8_t> damaged = good;
        damaged[at] ^= static_cast<uint8_t>(0x5A + at);
        ZipArchiveNode node(sharedStream(damaged));
        std::unique_ptr<FolderIterator> it = node.openFolder("presets");
        int steps = 0;
        for (; it != nullptr && it->valid() && steps < 20; it->next()) {
            ++steps;
            if (it->type() == kEntryTypeFile) {
                std::unique_ptr<Stream> member = node.open(std::string("presets/") + it->name(), kOpenRead);
                EXPECT_TRUE(member == nullptr || readAll(*member).size() <= kMaxZipMemberBytes) << at;
            }
        }
        EXPECT_LE(steps, 7) << at;
    }
    ZipArchiveNode none(nullptr);
    EXPECT_FALSE(none.isOpen());
    EXPECT_EQ(none.openFolder(""), nullptr);
}

TEST(ZipArchiveNode, DamagedMemberIsRejectedByTheProgramFileChecks) {
    const std::vector<uint8_t> program = programFile(namedRecord("Sound"));
    std::vector<uint8_t> archive =
        buildArchive({{"presets/", {}}, {"presets/C/", {}}, {"presets/C/Sound.fxp", program, false}});
    {
        ZipArchiveNode node(sharedStream(archive));
        std::unique_ptr<Stream> member = node.open("presets/C/Sound.fxp", kOpenRead);
        ProgramRecord record;
        ASSERT_NE(member, nullptr);
        EXPECT_TRUE(readFxpIntoRecord(*member, record));
    }
    // Stored members lie in the archive as they are: damage the "CcnK" of the file's header.
    const std::string bytes(archive.begin(), archive.end());
    const size_t header = bytes.find("CcnK");
    ASSERT_NE(header, std::string::npos);
    archive[header + 3] ^= 0x20;
    ZipArchiveNode node(sharedStream(archive));
    std::unique_ptr<Stream> member = node.open("presets/C/Sound.fxp", kOpenRead);
    ASSERT_NE(member, nullptr);  // the reader hands out what it read, damage and all
    ProgramRecord record = namedRecord("Untouched");
    const ProgramRecord before = record;
    EXPECT_FALSE(readFxpIntoRecord(*member, record));
    EXPECT_EQ(record, before);
}

// The category folders of the factory sources, in byte order.
std::vector<std::string> sourceCategories() {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(TARSK_TEST_SOURCE_DIR) + "/resources/factory")) {
        if (entry.is_directory() && entry.path().filename().string()[0] != '.') {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FactoryArchive, TheEmbeddedArchiveHoldsTheFactoryPrograms) {
    std::unique_ptr<MemoryStream> resource = openResource("presets.zip");
    ASSERT_NE(resource, nullptr);
    ProgramFileSystem files;
    files.mount(kResourceMount, std::make_shared<ZipArchiveNode>(std::shared_ptr<MemoryStream>(std::move(resource))));

    std::unique_ptr<Stream> fifths = files.open("/res/presets/Echoes/Fifths Delay.fxp", kOpenRead);
    ASSERT_NE(fifths, nullptr);
    EXPECT_EQ(files.open("/res/presets/echoes/Fifths Delay.fxp", kOpenRead), nullptr);
    EXPECT_EQ(files.open("/res/presets/Echoes/fifths delay.fxp", kOpenRead), nullptr);
    EXPECT_EQ(files.open("/res/presets/Echoes/Fifths Delay.fxp", kOpenWrite), nullptr);

    std::unique_ptr<FolderIterator> presets = files.openFolder("/res/presets");
    ASSERT_NE(presets, nullptr);
    std::vector<std::string> folders;
    int oldLayouts = 0;
    int oldMagic = 0;
    for (; presets->valid(); presets->next()) {
        const std::string name = presets->name();
        if (presets->type() == kEntryTypeFolder) {
            folders.push_back(name);
            continue;
        }
        EXPECT_EQ(presets->type(), kEntryTypeFile);
        EXPECT_EQ(name.find('/'), name.rfind('/')) << name;  // Category/Program.fxp
        std::unique_ptr<Stream> stream = files.open("/res/presets/" + name, kOpenRead);
        ASSERT_NE(stream, nullptr) << name;
        const std::vector<uint8_t> bytes = readAll(*stream);
        MemoryStream copy(const_cast<uint8_t*>(bytes.data()), bytes.size());
        ProgramRecord record;
        EXPECT_TRUE(readFxpIntoRecord(copy, record)) << name;
        constexpr size_t kVersionAt = 64;  // the chunk's second word, after the 60-byte header
        ASSERT_GT(bytes.size(), kVersionAt + 4) << name;
        const uint32_t version = bytes[kVersionAt] | bytes[kVersionAt + 1] << 8 | bytes[kVersionAt + 2] << 16 |
                                 static_cast<uint32_t>(bytes[kVersionAt + 3]) << 24;
        oldLayouts += version != kCurrentLayout ? 1 : 0;
        oldMagic += record.u(word::magic) == kProgramMagicOld ? 1 : 0;
    }
    EXPECT_EQ(folders, sourceCategories());
    // Some programs are stored the way older versions wrote them, so loading them exercises migration.
    EXPECT_GE(oldLayouts, 3);
    EXPECT_GE(oldMagic, 2);

    // The name with a slash is stored encoded; the old-layout program keeps its old magic.
    std::unique_ptr<Stream> heavenly = files.open("/res/presets/Echoes/Heavenly Echo 1&#47;2.fxp", kOpenRead);
    ASSERT_NE(heavenly, nullptr);
    ProgramRecord record;
    ASSERT_TRUE(readFxpIntoRecord(*heavenly, record));
    EXPECT_STREQ(record.name(), "Heavenly Echo 1/2");
    EXPECT_EQ(record.u(word::magic), kProgramMagicOld);
    EXPECT_EQ(record.u(word::version), kCurrentLayout);
}

// The member names of an archive file, in archive order.
std::vector<std::string> memberNames(const std::string& path) {
    std::vector<std::string> names;
    unzFile zip = unzOpen(path.c_str());
    if (zip == nullptr) {
        return names;
    }
    for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip)) {
        char name[256] = {};
        unz_file_info info;
        unzGetCurrentFileInfo(zip, &info, name, sizeof(name) - 1, nullptr, 0, nullptr, 0);
        names.push_back(name);
    }
    unzClose(zip);
    return names;
}

// A program source with every text a factory program needs.
std::string smallSource(const std::string& name) {
    return "name " + name + "\ndescription A test program that only has to be stored in the right place.\n"
           "tail 1\nmagic 0x5D3B607C\nversion 0xD000\ndry 100\n";
}

TEST(FactoryArchive, IsBuiltReproduciblyInFolderOrder) {
    TestFolder folder;
    const std::string sources = std::string(TARSK_TEST_SOURCE_DIR) + "/resources/factory";
    FactoryArchiveSummary summary;
    std::string error;
    ASSERT_TRUE(makeFactoryArchive(sources, folder.file("one.zip"), summary, error)) << error;
    EXPECT_EQ(summary.categories, sourceCategories().size());
    ASSERT_TRUE(makeFactoryArchive(sources, folder.file("two.zip"), summary, error)) << error;
    const std::string one = readWholeFile(folder.file("one.zip"));
    EXPECT_EQ(one, readWholeFile(folder.file("two.zip")));
    ResourceBytes embedded;
    ASSERT_TRUE(findResource("ZIP", "PRESETS", embedded));
    EXPECT_EQ(one, std::string(reinterpret_cast<const char*>(embedded.data), embedded.size));
    EXPECT_EQ(memberNames(folder.file("one.zip")).size(), 1 + summary.categories + summary.programs);

    // Folders and members in byte order, each folder entry before its members, whatever the source
    // file names; hidden files and folders are left out.
    TestFolder small;
    std::filesystem::create_directories(small.path() / "Rooms");
    std::filesystem::create_directories(small.path() / "Echoes");
    std::filesystem::create_directories(small.path() / ".hidden");
    writeWholeFile(small.file("Rooms/z.program"), smallSource("Attic"));
    writeWholeFile(small.file("Rooms/a.program"), smallSource("Zoo"));
    writeWholeFile(small.file("Echoes/one.program"), smallSource("Half 1/2"));
    writeWholeFile(small.file("Echoes/.skip.program"), smallSource("Hidden"));
    writeWholeFile(small.file(".hidden/x.program"), smallSource("Hidden Too"));
    ASSERT_TRUE(makeFactoryArchive(small.path().string(), small.file("out.zip"), summary, error)) << error;
    const std::vector<std::string> expected = {
        "presets/",        "presets/Echoes/", "presets/Echoes/Half 1&#47;2.fxp", "presets/Rooms/",
        "presets/Rooms/Attic.fxp", "presets/Rooms/Zoo.fxp",
    };
    EXPECT_EQ(memberNames(small.file("out.zip")), expected);

    // A source that does not parse, or lacks what a factory program must say, stops the build, and no
    // archive appears.
    const std::pair<const char*, const char*> refused[] = {
        {"name Bad\nwet fifty\n", "bad.program"},
        {"version 0xD000\nname Quiet\ndescription A program that never says how long its sound lasts.\n", "tail"},
        {"version 0xD000\nname Frozen\ndescription A pad that holds the last chord for as long as you like.\ntail sustain\n",
         "sustain"},
        {"version 0xD000\nname Twenty-five Characters!!!\ndescription Long enough to say what it is for, surely.\ntail 1\n",
         "24"},
        {"version 0xD000\nname Short\ndescription Echo.\ntail 1\n", "description"},
    };
    for (const auto& [text, what] : refused) {
        TestFolder broken;
        std::filesystem::create_directories(broken.path() / "Cat");
        writeWholeFile(broken.file("Cat/bad.program"), text);
        EXPECT_FALSE(makeFactoryArchive(broken.path().string(), broken.file("out.zip"), summary, error)) << text;
        EXPECT_NE(error.find(what), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::exists(broken.file("out.zip")));
    }
}

}  // namespace
