// The Library page through the effect object: loading factory and user programs, SAVE with its file
// names, the overwrite question and its answers, RESCAN and REVEAL, damaged files, failed writes, and
// the library worker shared by the editors of the process. The user folder lives in a temporary
// application-data folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor-test-support.h"
#include "editor/editor-library.h"
#include "presets/fxp-file.h"
#include "presets/library-actions.h"
#include "presets/program-chunk.h"
#include "tarsklib/platform-shell.h"
#include "tarsklib/test-folder.h"

namespace {

using namespace tarsk;
using namespace tarsk::test;

constexpr float kUnit = 20.0f;
constexpr uint32_t kWaitMs = 60000;

ProgramRecord readProgramFile(const std::string& path) {
    ProgramRecord record;
    FileStream stream(path.c_str(), kOpenRead);
    EXPECT_TRUE(stream.isOpen()) << path;
    if (stream.isOpen()) {
        EXPECT_TRUE(readFxpIntoRecord(stream, record)) << path;
    }
    return record;
}

void writeProgramFileTo(const std::string& path, const ProgramRecord& record) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FileStream stream(path.c_str(), kOpenWrite);
    ASSERT_TRUE(writeFxp(stream, record));
}

ProgramRecord namedProgram(const char* name, float wet) {
    ProgramRecord record;
    record.setU(word::magic, kProgramMagic);
    record.setU(word::version, kCurrentLayout);
    record.setName(name);
    record.setF(word::wet, wet);
    return record;
}

class LibraryPageTest : public ::testing::Test {
protected:
    LibraryPageTest()
        : dataHome("XDG_DATA_HOME", data.path().string()), configHome("XDG_CONFIG_HOME", config.path().string()) {}
    ~LibraryPageTest() override {
        rigs.clear();
        setFolderRevealer(&openInFileBrowser);
    }

    // An editor whose context exists: it has joined the library.
    EditorRig& openEditor() {
        rigs.push_back(std::make_unique<EditorRig>());
        rigs.back()->editor.contextCreated(1);
        return *rigs.back();
    }
    void waitForScans() { ASSERT_TRUE(libraryWorker().waitUntilIdle(kWaitMs)); }

    std::string userDisk(const std::string& relative) const { return data.file("Tarskverb/" + relative); }

    // Clicks in units: inside the content area (above the header) or anywhere in the window.
    static void clickContent(EditorRig& rig, float x, float y) { rig.click(x * kUnit, (y + 4.0f) * kUnit); }
    static void clickWindow(EditorRig& rig, float x, float y) { rig.click(x * kUnit, y * kUnit); }
    static void openLibraryPage(EditorRig& rig) { clickContent(rig, 30.5f, 8.5f); }
    static void clickFactoryTab(EditorRig& rig) { clickContent(rig, 5.5f, 11.5f); }
    static void clickUserTab(EditorRig& rig) { clickContent(rig, 10.75f, 11.5f); }
    static void clickSave(EditorRig& rig) { clickContent(rig, 15.75f, 11.5f); }
    static void clickRescan(EditorRig& rig) { clickContent(rig, 18.75f, 11.5f); }
    static void clickReveal(EditorRig& rig) { clickContent(rig, 21.75f, 11.5f); }
    static void clickFolder(EditorRig& rig, int row) { clickContent(rig, 6.5f, 9.5f - static_cast<float>(row)); }
    static void clickProgram(EditorRig& rig, int row) { clickContent(rig, 20.5f, 9.5f - static_cast<float>(row)); }
    static void answerYes(EditorRig& rig) { clickWindow(rig, 13.0f, 7.0f); }
    static void answerNo(EditorRig& rig) { clickWindow(rig, 19.0f, 7.0f); }

    // The sorted position of a folder of a list, -1 when missing.
    static int folderIndex(ProgramList& list, const char* name) {
        list.readLock();
        int found = -1;
        for (uint32_t i = 0; i < list.categoryCount(); ++i) {
            if (std::strcmp(list.category(i).name, name) == 0) {
                found = static_cast<int>(i);
            }
        }
        list.unlock();
        return found;
    }
    static ProgramEntry entryOf(ProgramList& list, int folder, int row) {
        list.readLock();
        ProgramEntry entry = list.entry(list.category(static_cast<uint32_t>(folder)).firstEntry + static_cast<uint32_t>(row));
        list.unlock();
        return entry;
    }

    TestFolder data;
    TestFolder config;
    ScopedEnvironment dataHome;
    ScopedEnvironment configHome;
    std::vector<std::unique_ptr<EditorRig>> rigs;
};

TEST_F(LibraryPageTest, AFactoryProgramLoadsExactlyIntoTheEffectAndItsChunk) {
    EditorRig& rig = openEditor();
    waitForScans();
    clickContent(rig, 26.0f, -2.75f);  // "B": bypass on, which a load clears
    ASSERT_TRUE(rig.effect.bypassOn());
    const ProgramRecord before = rig.hostProgram();

    openLibraryPage(rig);
    ASSERT_EQ(rig.editor.page(), kPageLibrary);
    const int echoes = folderIndex(factoryList(), "Echoes");
    ASSERT_GE(echoes, 0);
    clickFolder(rig, echoes);
    EXPECT_EQ(rig.editor.libraryView(kFactoryView).selectedFolder, echoes);
    const ProgramEntry entry = entryOf(factoryList(), echoes, 2);
    ChangeFlags& flags = rig.effect.changeFlags();
    for (std::atomic<uint8_t>* flag : {&flags.cookPending, &flags.resetPending, &flags.lengthsChanged, &flags.modulationChanged}) {
        flag->store(0);
    }
    clickProgram(rig, 2);
    // All four change flags (no audio runs here to take them).
    EXPECT_EQ(flags.cookPending.load(), 1);
    EXPECT_EQ(flags.resetPending.load(), 1);
    EXPECT_EQ(flags.lengthsChanged.load(), 1);
    EXPECT_EQ(flags.modulationChanged.load(), 1);
    rig.frames(2);

    // The program as the archive holds it.
    std::unique_ptr<Stream> stream = fileSystem().open(entryFilePath(entry), kOpenRead);
    ASSERT_NE(stream, nullptr);
    ProgramRecord expected;
    ASSERT_TRUE(readFxpIntoRecord(*stream, expected));
    ASSERT_FALSE(expected == before);
    EXPECT_TRUE(rig.hostProgram() == expected);
    void* chunk = nullptr;
    const size_t size = rig.effect.getChunk(&chunk);
    ProgramRecord fromChunk;
    ASSERT_TRUE(readChunk(fromChunk, static_cast<const uint8_t*>(chunk), size));
    EXPECT_TRUE(fromChunk == expected);
    EXPECT_FALSE(rig.effect.bypassOn());
    EXPECT_EQ(rig.effect.editTarget(), static_cast<uint32_t>(rig.effect.currentProgram()));
    // One undo step: undo brings the earlier program back.
    ASSERT_TRUE(rig.editor.history().canUndo());
    clickContent(rig, 1.5f, 11.0f);
    EXPECT_TRUE(rig.hostProgram() == before);

    // Clicking the open folder again closes it: the program column is gone.
    clickFolder(rig, echoes);
    EXPECT_EQ(rig.editor.libraryView(kFactoryView).selectedFolder, kNoFolderSelected);
    clickProgram(rig, 2);
    EXPECT_TRUE(rig.hostProgram() == before);
}

TEST_F(LibraryPageTest, SaveEscapesTheNameAndTheQuestionGuardsTheFile) {
    EditorRig& rig = openEditor();
    waitForScans();
    rig.effect.setProgramName("A/B: test?");
    openLibraryPage(rig);
    clickUserTab(rig);
    EXPECT_EQ(rig.editor.viewWord(kViewLibraryTab), 2);
    clickSave(rig);
    const std::string target = userDisk("programs/Default Folder/A&#47;B&#58; test&#63;.fxp");
    ASSERT_TRUE(std::filesystem::exists(target));
    EXPECT_TRUE(readProgramFile(target) == rig.hostProgram());
    EXPECT_EQ(rig.editor.libraryView(kUserView).selectedFolder, 0);  // the first folder after a first SAVE
    const std::string written = readWholeFile(target);

    // An edit (dragging "wet" in the header) marks the program as changed.
    rig.drag(23.5f * kUnit, 1.25f * kUnit, -40.0f, 4);
    rig.frames(2);
    ASSERT_TRUE(rig.editor.history().isModified());
    const ProgramRecord edited = rig.hostProgram();
    ASSERT_NE(edited.f(word::wet), readProgramFile(target).f(word::wet));

    // SAVE again: the question is up and nothing else takes the mouse.
    waitForScans();
    clickSave(rig);
    ASSERT_TRUE(libraryQuestionUp(rig.editor));
    EXPECT_NE(rig.editor.libraryPage().question.text.find("The program A&#47;B&#58; test&#63; already exists.\nOverwrite?"),
              std::string::npos);
    clickFactoryTab(rig);
    clickContent(rig, 30.5f, 10.5f);  // the Editor page's icon
    clickContent(rig, 1.5f, 11.0f);   // UNDO
    EXPECT_EQ(rig.editor.viewWord(kViewLibraryTab), 2);
    EXPECT_EQ(rig.editor.page(), kPageLibrary);
    EXPECT_TRUE(rig.hostProgram() == edited);
    EXPECT_TRUE(libraryQuestionUp(rig.editor));

    // No: the file stays byte for byte, and the program counts as saved.
    answerNo(rig);
    EXPECT_FALSE(libraryQuestionUp(rig.editor));
    EXPECT_EQ(readWholeFile(target), written);
    EXPECT_FALSE(rig.editor.history().isModified());

    // Yes: replaced.
    clickSave(rig);
    ASSERT_TRUE(libraryQuestionUp(rig.editor));
    answerYes(rig);
    EXPECT_FALSE(libraryQuestionUp(rig.editor));
    EXPECT_TRUE(readProgramFile(target) == edited);
    EXPECT_EQ(rig.editor.libraryPage().status[0], '\0');
}

TEST_F(LibraryPageTest, SaveRescanAndRevealActOnlyOnTheUserTab) {
    static std::vector<std::string> revealed;
    revealed.clear();
    setFolderRevealer([](const std::string& path) {
        revealed.push_back(path);
        return true;
    });
    writeProgramFileTo(userDisk("programs/Mine/Pad.fxp"), namedProgram("Pad", 10.0f));
    for (int i = 0; i < 11; ++i) {
        std::filesystem::create_directories(userDisk("programs/F" + std::to_string(10 + i)));
    }
    EditorRig& rig = openEditor();
    waitForScans();
    openLibraryPage(rig);
    clickSave(rig);
    clickRescan(rig);
    clickReveal(rig);
    EXPECT_FALSE(std::filesystem::exists(userDisk("programs/Default Folder")));
    EXPECT_FALSE(libraryQuestionUp(rig.editor));
    EXPECT_TRUE(revealed.empty());

    clickUserTab(rig);
    clickReveal(rig);
    EXPECT_EQ(revealed, std::vector<std::string>{userDisk("programs")});
    clickFolder(rig, 0);
    ASSERT_EQ(rig.editor.libraryView(kUserView).selectedFolder, 0);
    clickReveal(rig);
    EXPECT_EQ(revealed.back(), userDisk("programs/F10"));

    // RESCAN forgets the selection and brings the folder column back to its top (12 folders, 9 in
    // sight: the position of the top is 12 - 4.5).
    rig.editor.mouseMove(6.5f * kUnit, 9.0f * kUnit);
    rig.editor.wheel(0.0f, -2.0f);
    rig.frames(2);
    EXPECT_FLOAT_EQ(rig.editor.libraryView(kUserView).folderScroll, 5.5f);
    clickRescan(rig);
    EXPECT_EQ(rig.editor.libraryView(kUserView).selectedFolder, kNoFolderSelected);
    EXPECT_EQ(rig.editor.libraryView(kUserView).programScroll, kScrollToTop);
    EXPECT_FLOAT_EQ(rig.editor.libraryView(kUserView).folderScroll, 7.5f);
}

TEST_F(LibraryPageTest, ADamagedUserFileLoadsNothing) {
    const ProgramRecord good = namedProgram("Good", 12.0f);
    writeProgramFileTo(userDisk("programs/Mixed/Good.fxp"), good);
    const std::string whole = readWholeFile(userDisk("programs/Mixed/Good.fxp"));
    writeWholeFile(userDisk("programs/Mixed/Cut.fxp"), whole.substr(0, whole.size() - 100));
    std::string foreign = whole;
    foreign[16] ^= 0x5A;  // another plug-in's id
    writeWholeFile(userDisk("programs/Mixed/Foreign.fxp"), foreign);
    writeWholeFile(userDisk("programs/Mixed/Empty.fxp"), "");

    EditorRig& rig = openEditor();
    waitForScans();
    openLibraryPage(rig);
    clickUserTab(rig);
    clickFolder(rig, 0);
    const ProgramRecord before = rig.hostProgram();
    // Sorted: Cut, Empty, Foreign, Good.
    for (int row = 0; row < 3; ++row) {
        rig.editor.libraryPage().status[0] = '\0';
        clickProgram(rig, row);
        rig.frames(2);
        EXPECT_TRUE(rig.hostProgram() == before) << row;
        EXPECT_NE(rig.editor.libraryPage().status[0], '\0') << row;
    }
    EXPECT_FALSE(rig.editor.history().canUndo());
    clickProgram(rig, 3);
    rig.frames(2);
    EXPECT_TRUE(rig.hostProgram() == good);
    EXPECT_EQ(rig.editor.libraryPage().status[0], '\0');
}

TEST_F(LibraryPageTest, FailedWritesLeaveNoHalfFileAndSayso) {
    EditorRig& rig = openEditor();
    waitForScans();
    rig.effect.setProgramName("Keeper");
    openLibraryPage(rig);
    clickUserTab(rig);
    clickSave(rig);
    const std::string kept = userDisk("programs/Default Folder/Keeper.fxp");
    const std::string before = readWholeFile(kept);
    ASSERT_EQ(before.size(), 940u);
    rig.drag(23.5f * kUnit, 1.25f * kUnit, -40.0f, 4);
    rig.frames(2);
    ASSERT_TRUE(rig.editor.history().isModified());

    // A full disk (the file size limit stands in for it): the old file stays whole, no temporary
    // file is left, the page says so and the program keeps its unsaved mark.
    waitForScans();
    clickSave(rig);
    ASSERT_TRUE(libraryQuestionUp(rig.editor));
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    answerYes(rig);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(readWholeFile(kept), before);
    EXPECT_NE(std::string(rig.editor.libraryPage().status).find("Could not save"), std::string::npos);
    EXPECT_TRUE(rig.editor.history().isModified());
    size_t files = 0;
    for (const auto& item : std::filesystem::directory_iterator(userDisk("programs/Default Folder"))) {
        (void)item;
        ++files;
    }
    EXPECT_EQ(files, 1u);

    // The chosen folder disappeared after the scan: nothing written, a line on the page.
    waitForScans();
    std::filesystem::create_directories(userDisk("programs/Gone"));
    clickRescan(rig);
    waitForScans();
    rig.frame();
    const int gone = folderIndex(userList(), "Gone");
    ASSERT_GE(gone, 0);
    clickFolder(rig, gone);
    std::filesystem::remove_all(userDisk("programs/Gone"));
    clickSave(rig);
    EXPECT_FALSE(libraryQuestionUp(rig.editor));
    EXPECT_FALSE(std::filesystem::exists(userDisk("programs/Gone")));
    EXPECT_NE(std::string(rig.editor.libraryPage().status).find("Could not save"), std::string::npos);

    // The user folder is a file, not a folder: no crash, no file, a line on the page.
    std::filesystem::remove_all(userDisk(""));
    writeWholeFile(userDisk("").substr(0, userDisk("").size() - 1), "not a folder");
    clickRescan(rig);
    waitForScans();
    rig.editor.libraryPage().status[0] = '\0';
    clickSave(rig);
    EXPECT_FALSE(libraryQuestionUp(rig.editor));
    EXPECT_NE(std::string(rig.editor.libraryPage().status).find("Could not save"), std::string::npos);
}

TEST_F(LibraryPageTest, ThousandsOfProgramsScrollToTheEnd) {
    constexpr int kPrograms = 2000;
    for (int i = 0; i < kPrograms; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "P%04d", i);
        writeProgramFileTo(userDisk(std::string("programs/Many/") + name + ".fxp"), namedProgram(name, 5.0f));
    }
    EditorRig& rig = openEditor();
    waitForScans();
    openLibraryPage(rig);
    clickUserTab(rig);
    clickFolder(rig, 0);
    // The wheel over the program column: far past the end, which the bar clamps.
    rig.editor.mouseMove(20.5f * kUnit, 9.0f * kUnit);
    rig.editor.wheel(0.0f, -3.0f * kPrograms);
    rig.frames(2);
    EXPECT_FLOAT_EQ(rig.editor.libraryView(kUserView).programScroll, 4.5f);
    // The lowest row in sight is the last program.
    clickProgram(rig, 8);
    rig.frames(2);
    EXPECT_STREQ(rig.hostProgram().name(), "P1999");
    EXPECT_TRUE(rig.editor.history().canUndo());
}

TEST_F(LibraryPageTest, TheRowsInSightStayWhileAScanRefillsTheList) {
    for (int i = 0; i < 20; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "B%02d", i);
        writeProgramFileTo(userDisk(std::string("programs/Band/") + name + ".fxp"), namedProgram(name, 5.0f));
    }
    EditorRig& rig = openEditor();
    waitForScans();
    openLibraryPage(rig);
    clickUserTab(rig);
    clickFolder(rig, 0);
    LibraryView& view = rig.editor.libraryView(kUserView);
    EXPECT_FLOAT_EQ(view.programScroll, 15.5f);  // the top of 20 rows
    // SAVE into the open folder rescans it; frames are drawn while the worker refills the list.
    rig.effect.setProgramName("A00");
    clickSave(rig);
    for (int i = 0; i < 400 && !libraryWorker().waitUntilIdle(0); ++i) {
        rig.frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    waitForScans();
    rig.frames(2);
    EXPECT_FLOAT_EQ(view.programScroll, 16.5f);  // still the top, now of 21 rows
    clickProgram(rig, 0);
    rig.frames(2);
    EXPECT_STREQ(rig.hostProgram().name(), "A00");
}

TEST_F(LibraryPageTest, TwoEditorsShareOneWorkerAndOneScanAndTheLastStopsIt) {
    const uint64_t scansBefore = libraryWorker().scansCarriedOut();
    EditorRig& first = openEditor();
    EditorRig& second = openEditor();
    second.editor.contextCreated(1);  // a context that comes back does not join twice
    EXPECT_EQ(libraryWorker().users().count(), 2);
    waitForScans();
    EXPECT_EQ(libraryWorker().scansCarriedOut() - scansBefore, 2u);  // factory and user, once
    EXPECT_EQ(first.editor.libraryView(kFactoryView).list, second.editor.libraryView(kFactoryView).list);

    rigs.erase(rigs.begin());
    EXPECT_TRUE(libraryWorker().isRunning());
    factoryList().readLock();
    EXPECT_GT(factoryList().count(), 100u);
    factoryList().unlock();
    rigs.clear();
    EXPECT_FALSE(libraryWorker().isRunning());
    factoryList().readLock();
    EXPECT_EQ(factoryList().count(), 0u);
    factoryList().unlock();
}

TEST_F(LibraryPageTest, ClosingTheLastEditorWhileAScanRunsStopsCleanly) {
    std::filesystem::create_directories(userDisk("programs/Big"));
    for (int i = 0; i < 600; ++i) {
        writeWholeFile(userDisk("programs/Big/P" + std::to_string(i) + ".fxp"), "x");
    }
    for (int round = 0; round < 3; ++round) {
        EditorRig& rig = openEditor();
        openLibraryPage(rig);
        clickUserTab(rig);
        rig.frames(3);  // the page reads the lists while the worker writes them
        rigs.clear();
        EXPECT_FALSE(libraryWorker().isRunning());
        EXPECT_EQ(libraryWorker().users().count(), 0);
        userList().readLock();
        EXPECT_EQ(userList().count(), 0u);
        userList().unlock();
    }
}

}  // namespace
