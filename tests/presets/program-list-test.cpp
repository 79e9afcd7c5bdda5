// Program lists and the folder scan: lock discipline, sorted orders, cut names, the scan's naming rules
// on disk and in archives, and scans running while the list is read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "library-fixtures.h"
#include "presets/library-worker.h"
#include "presets/program-file-system.h"
#include "presets/program-list.h"
#include "presets/zip-archive-node.h"

namespace {

using namespace tarsk;
using namespace tarsk::test;

struct Listed {
    std::string category;
    std::vector<std::string> names;
    bool operator==(const Listed&) const = default;
};

// The whole list in sorted order, read under the read lock.
std::vector<Listed> contents(ProgramList& list) {
    std::vector<Listed> result;
    list.readLock();
    for (uint32_t c = 0; c < list.categoryCount(); ++c) {
        ProgramCategory category = list.category(c);
        Listed listed{category.name, {}};
        for (uint32_t e = category.firstEntry; e < category.firstEntry + category.entryCount; ++e) {
            listed.names.push_back(list.entry(e).name);
        }
        result.push_back(listed);
    }
    list.unlock();
    return result;
}

TEST(ProgramList, ChangesNeedTheWriterAndReadsNeedAReader) {
    ProgramList list;
    list.addCategory("Ignored");
    list.addEntry("ignored", "/x");
    list.readLock();
    EXPECT_EQ(list.categoryCount(), 0u);  // nothing was added without the write lock
    EXPECT_EQ(list.count(), 0u);
    list.clear();  // ignored as well
    list.unlock();

    ASSERT_TRUE(list.writeLock());
    list.addCategory("b");
    list.addEntry("zeta", "/p/b");
    list.addEntry("Alpha", "/p/b");
    list.addCategory("B");
    list.addEntry("beta", "/p/B");
    list.addCategory("a");
    list.addEntry("only", "/p/a");
    EXPECT_EQ(list.count(), 0u);  // a writer is no reader
    list.unlock();
    EXPECT_EQ(list.count(), 0u);

    // strcmp order: upper case first; entries grouped by the category they were added under.
    EXPECT_EQ(contents(list), (std::vector<Listed>{{"B", {"beta"}}, {"a", {"only"}}, {"b", {"Alpha", "zeta"}}}));
    list.readLock();
    list.readLock();  // readers share the list
    EXPECT_EQ(list.count(), 4u);
    EXPECT_EQ(list.entry(0).category, 0u);  // the first category added
    EXPECT_STREQ(list.entry(0).folder, "/p/b");
    EXPECT_STREQ(list.entry(4).name, "");  // out of range: an empty record
    EXPECT_EQ(list.category(3).entryCount, 0u);
    list.unlock();
    list.unlock();

    ASSERT_TRUE(list.writeLock());
    list.clear();
    list.unlock();
    EXPECT_TRUE(contents(list).empty());
}

TEST(ProgramList, GrowsAndCutsNamesToTheirFields) {
    ProgramList list;
    const std::string longName(60, 'n');
    std::string longPath = "/";
    longPath.append(300, 'p');
    ASSERT_TRUE(list.writeLock());
    list.addCategory(std::string(70, 'c').c_str());
    for (int i = 999; i >= 0; --i) {
        char name[16];
        std::snprintf(name, sizeof(name), "p%04d", i);
        list.addEntry(name, "/f");
    }
    list.addEntry(longName.c_str(), longPath.c_str());
    list.unlock();

    list.readLock();
    ASSERT_EQ(list.count(), 1001u);
    EXPECT_EQ(std::string(list.category(0).name), std::string(47, 'c'));
    EXPECT_EQ(list.category(0).entryCount, 1001u);
    EXPECT_EQ(std::string(list.entry(0).name), std::string(47, 'n'));  // 'n' sorts before 'p'
    EXPECT_EQ(std::string(list.entry(0).folder), longPath.substr(0, 191));
    EXPECT_STREQ(list.entry(1).name, "p0000");
    EXPECT_STREQ(list.entry(1000).name, "p0999");
    list.unlock();
}

TEST(ProgramScan, ListsProgramFilesOfFirstLevelFoldersOnly) {
    TestFolder folder;
    const std::filesystem::path root = folder.path() / "programs";
    for (const char* sub : {"Echoes", "Echoes/sub", ".Hidden", "Rooms", "Empty"}) {
        std::filesystem::create_directories(root / sub);
    }
    for (const char* file : {"Echoes/b.fxp", "Echoes/a.fxp", "Echoes/x.FXP", "Echoes/x.fxp.bak", "Echoes/.dot.fxp",
                             "Echoes/fxp", "Echoes/y.fx", "Echoes/sub/deep.fxp", ".Hidden/c.fxp", "Rooms/Hall.fxp",
                             "top.fxp"}) {
        writeWholeFile((root / file).string(), "x");
    }
    ProgramFileSystem files;
    files.mount("user", std::make_shared<DiskFolderNode>(folder.path().string()));
    ProgramList list;
    scanProgramFolder(files, "/user/programs", list);
    EXPECT_EQ(contents(list), (std::vector<Listed>{{"Echoes", {"a", "b"}}, {"Empty", {}}, {"Rooms", {"Hall"}}}));
    list.readLock();
    // Entries are ordered by the category's adding order (the folder's order on disk), so the
    // category record leads to them.
    EXPECT_STREQ(list.entry(list.category(2).firstEntry).folder, "/user/programs/Rooms");
    list.unlock();

    // The same rules hold inside an archive, whose folders also report deeper members.
    ZipArchiveNode* zip = nullptr;
    files.mount("res", std::shared_ptr<ZipArchiveNode>(
                           zip = new ZipArchiveNode(sharedStream(buildArchive({
                               {"presets/", {}}, {"presets/Echoes/", {}}, {"presets/Echoes/a.fxp", {1}},
                               {"presets/Echoes/x.FXP", {1}}, {"presets/Echoes/Deep/", {}},
                               {"presets/Echoes/Deep/d.fxp", {1}}, {"presets/.Dot/", {}}, {"presets/.Dot/e.fxp", {1}},
                           })))));
    ASSERT_TRUE(zip->isOpen());
    scanProgramFolder(files, "/res/presets", list);
    EXPECT_EQ(contents(list), (std::vector<Listed>{{"Echoes", {"a"}}}));

    // A folder that is missing leaves the list empty.
    scanProgramFolder(files, "/user/missing", list);
    EXPECT_TRUE(contents(list).empty());

    EXPECT_TRUE(isProgramFileName("Heavenly Echo 1&#47;2.fxp"));
    for (const char* name : {"x.FXP", "x.fxp.bak", ".x.fxp", ".fxp", "x.fxpx", "xfxp", "x.Fxp"}) {
        EXPECT_FALSE(isProgramFileName(name)) << name;
    }
}

TEST(ProgramScan, ReadersSeeWholeCategoriesWhileScansRun) {
    TestFolder folder;
    for (char c = '0'; c < '6'; ++c) {
        const std::filesystem::path category = folder.path() / "programs" / std::string{'C', c};
        std::filesystem::create_directories(category);
        for (char p = '0'; p < '8'; ++p) {
            writeWholeFile((category / std::string{'p', p, '.', 'f', 'x', 'p'}).string(), "x");
        }
    }
    ProgramFileSystem files;
    files.mount("user", std::make_shared<DiskFolderNode>(folder.path().string()));
    ProgramList list;
    LibraryWorker worker(files);
    ASSERT_TRUE(worker.start());
    constexpr int kScans = 12;
    int posted = 0;
    for (int reads = 0; reads < 400 || posted < kScans; ++reads) {
        if (posted < kScans && worker.postScan("/user/programs", list)) {
            ++posted;
        }
        list.readLock();
        const uint32_t categories = list.categoryCount();
        const uint32_t count = list.count();
        EXPECT_LE(categories, 6u);
        EXPECT_LE(count, 48u);
        uint32_t covered = 0;
        for (uint32_t c = 0; c < categories; ++c) {
            ProgramCategory category = list.category(c);
            covered += category.entryCount;
            for (uint32_t e = category.firstEntry; e < category.firstEntry + category.entryCount; ++e) {
                ProgramEntry entry = list.entry(e);
                EXPECT_EQ(std::string(entry.folder), std::string("/user/programs/") + category.name);
            }
        }
        EXPECT_EQ(covered, count);
        list.unlock();
        std::this_thread::yield();
    }
    ASSERT_TRUE(worker.waitUntilIdle(60000));
    worker.stop();
    std::vector<Listed> final = contents(list);
    ASSERT_EQ(final.size(), 6u);
    EXPECT_EQ(final[5].names, (std::vector<std::string>{"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7"}));
}

}  // namespace
