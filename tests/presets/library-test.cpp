// The library actions and the worker: file names, SAVE with its folders and overwrite question,
// REVEAL, start-up and shut-down, loads into a sink, and the platform's question and opener.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "library-fixtures.h"
#include "presets/library-actions.h"
#include "presets/library-worker.h"
#include "tarsklib/platform-question.h"
#include "tarsklib/platform-shell.h"

namespace {

using namespace tarsk;
using namespace tarsk::test;

constexpr uint32_t kWaitMs = 60000;

TEST(LibraryFileNames, ReservedCharactersBecomeReferencesAndBack) {
    EXPECT_EQ(encodeFileName("A/B: test?"), "A&#47;B&#58; test&#63;");
    EXPECT_EQ(encodeFileName("\"*/:<>?\\|"), "&#34;&#42;&#47;&#58;&lt;&gt;&#63;&#92;&#124;");
    EXPECT_EQ(encodeFileName("Plain & simple #1;"), "Plain & simple #1;");
    EXPECT_EQ(decodeFileName("A&#47;B&#58; test&#63;"), "A/B: test?");
    EXPECT_EQ(decodeFileName(encodeFileName("\"*/:<>?\\|")), "\"*/:<>?\\|");
    EXPECT_EQ(decodeFileName("&#x41;&amp;&#233;"), "A&\xC3\xA9");
    EXPECT_EQ(decodeFileName("&bogus; &#; &#x; &#12a; & ;"), "&bogus; &#; &#x; &#12a; & ;");
}

// A library of its own for each test: its file system, lists and worker, the user folder under a
// temporary application-data folder.
class LibraryActions : public ::testing::Test {
protected:
    LibraryActions() : environment("XDG_DATA_HOME", data.path().string()), worker(files) {}
    ~LibraryActions() override {
        stopLibrary(library);
        setOverwriteQuestion(&askYesNo);
        setFolderRevealer(&openInFileBrowser);
    }

    std::string userDisk(const std::string& relative) const { return data.file("Tarskverb/" + relative); }

    TestFolder data;
    ScopedEnvironment environment;
    ProgramFileSystem files;
    ProgramList factory;
    ProgramList user;
    LibraryWorker worker;
    Library library{files, factory, user, worker};
};

struct QuestionLog {
    static inline int asked = 0;
    static inline std::string title;
    static inline std::string text;
    static bool answer(bool yes, const char* t, const char* x) {
        ++asked;
        title = t;
        text = x;
        return yes;
    }
    static bool yes(const char* t, const char* x) { return answer(true, t, x); }
    static bool no(const char* t, const char* x) { return answer(false, t, x); }
};

TEST_F(LibraryActions, StartMountsAndScansOnceAndStopEmptiesEverything) {
    ASSERT_TRUE(startLibrary(library));
    EXPECT_FALSE(startLibrary(library));  // only the call that started the worker mounts and scans
    ASSERT_TRUE(worker.waitUntilIdle(kWaitMs));
    factory.readLock();
    EXPECT_GE(factory.categoryCount(), 8u);
    EXPECT_GE(factory.count(), 150u);
    ASSERT_STREQ(factory.category(0).name, "Echoes");
    std::string heavenly;
    for (uint32_t e = factory.category(0).firstEntry; e < factory.category(0).firstEntry + factory.category(0).entryCount; ++e) {
        if (std::string(factory.entry(e).name) == "Heavenly Echo 1&#47;2") {
            heavenly = entryFilePath(factory.entry(e));
        }
    }
    EXPECT_EQ(heavenly, "/res/presets/Echoes/Heavenly Echo 1&#47;2.fxp");
    factory.unlock();
    user.readLock();
    EXPECT_EQ(user.categoryCount(), 0u);  // no user folder yet, and scanning creates none
    user.unlock();
    EXPECT_FALSE(std::filesystem::exists(userDisk("")));

    stopLibrary(library);
    EXPECT_FALSE(worker.isRunning());
    factory.readLock();
    EXPECT_EQ(factory.count(), 0u);
    factory.unlock();
    EXPECT_FALSE(files.exists("/res/presets/"));
    EXPECT_TRUE(startLibrary(library));  // a later editor starts it all again
}

TEST_F(LibraryActions, FirstSaveCreatesTheFoldersAndOverwritingAsksFirst) {
    ASSERT_TRUE(startLibrary(library));
    setOverwriteQuestion(&QuestionLog::no);
    QuestionLog::asked = 0;
    const ProgramRecord record = namedRecord("A/B: test?", 30.0f);
    EXPECT_EQ(saveProgram(record, kNoUserCategory, library), SaveResult::written);
    EXPECT_EQ(QuestionLog::asked, 0);
    EXPECT_TRUE(std::filesystem::is_directory(userDisk("programs")));
    const std::string target = userDisk("programs/Default Folder/A&#47;B&#58; test&#63;.fxp");
    const std::string written = readWholeFile(target);
    EXPECT_EQ(written.size(), 940u);
    FileStream stream(target.c_str(), kOpenRead);
    ProgramRecord readBack;
    ASSERT_TRUE(readFxpIntoRecord(stream, readBack));
    EXPECT_EQ(readBack, record);

    ASSERT_TRUE(worker.waitUntilIdle(kWaitMs));  // the save queued a rescan
    user.readLock();
    ASSERT_EQ(user.categoryCount(), 1u);
    EXPECT_STREQ(user.category(0).name, "Default Folder");
    EXPECT_STREQ(user.entry(0).name, "A&#47;B&#58; test&#63;");
    EXPECT_STREQ(user.entry(0).folder, "/user/programs/Default Folder");
    user.unlock();

    // Declined: asked once, the file stays as it was.
    const ProgramRecord changed = namedRecord("A/B: test?", 80.0f);
    EXPECT_EQ(saveProgram(changed, kNoUserCategory, library), SaveResult::declined);
    EXPECT_EQ(QuestionLog::asked, 1);
    EXPECT_EQ(QuestionLog::title, "Tarskverb Confirmation");
    EXPECT_EQ(QuestionLog::text, "The program A&#47;B&#58; test&#63; already exists.\nOverwrite?");
    EXPECT_EQ(readWholeFile(target), written);

    // Without any question function nothing is overwritten either.
    setOverwriteQuestion(nullptr);
    EXPECT_EQ(saveProgram(changed, kNoUserCategory, library), SaveResult::declined);
    EXPECT_EQ(readWholeFile(target), written);

    // Accepted: replaced.
    setOverwriteQuestion(&QuestionLog::yes);
    EXPECT_EQ(saveProgram(changed, 0, library), SaveResult::written);  // category 0: "Default Folder"
    EXPECT_EQ(QuestionLog::asked, 2);
    FileStream replaced(target.c_str(), kOpenRead);
    ASSERT_TRUE(readFxpIntoRecord(replaced, readBack));
    EXPECT_EQ(readBack.f(word::wet), 80.0f);
}

TEST_F(LibraryActions, SaveIntoACategoryAndReveal) {
    ASSERT_TRUE(startLibrary(library));
    std::filesystem::create_directories(userDisk("programs/Mine"));
    std::filesystem::create_directories(userDisk("programs/Ambient"));
    ASSERT_TRUE(rescan(library));
    ASSERT_TRUE(worker.waitUntilIdle(kWaitMs));
    EXPECT_EQ(saveProgram(namedRecord("Pad"), 1, library), SaveResult::written);  // sorted: Ambient, Mine
    EXPECT_TRUE(std::filesystem::exists(userDisk("programs/Mine/Pad.fxp")));
    EXPECT_EQ(saveProgram(namedRecord("Pad"), 2, library), SaveResult::noFolder);
    EXPECT_FALSE(std::filesystem::exists(userDisk("programs/Default Folder")));

    static std::vector<std::string> revealed;
    revealed.clear();
    setFolderRevealer([](const std::string& path) {
        revealed.push_back(path);
        return true;
    });
    EXPECT_TRUE(reveal(kNoUserCategory, library));
    EXPECT_TRUE(reveal(0, library));
    EXPECT_FALSE(reveal(5, library));
    EXPECT_EQ(revealed, (std::vector<std::string>{userDisk("programs"), userDisk("programs/Ambient")}));
}

TEST(LibraryWorker, LoadsHandTheChunkToTheSinkAndStopJoins) {
    TestFolder folder;
    ProgramFileSystem files;
    files.mount("user", std::make_shared<DiskFolderNode>(folder.path().string()));
    const std::vector<uint8_t> good = programFile(namedRecord("Loaded"));
    std::vector<uint8_t> damaged = good;
    damaged[3] ^= 0x01;  // "CcnK" no longer
    writeWholeFile(folder.file("good.fxp"), std::string(good.begin(), good.end()));
    writeWholeFile(folder.file("bad.fxp"), std::string(damaged.begin(), damaged.end()));

    LibraryWorker worker(files);
    ProgramList list;
    // Not running yet: commands queue up until the pipe is full, and posting never waits.
    int queued = 0;
    while (worker.postScan("/user", list) && queued < 100) {
        ++queued;
    }
    EXPECT_EQ(queued, static_cast<int>(kLibraryPipeBytes / (4 + kCommandPathBytes + sizeof(void*))));
    EXPECT_FALSE(worker.postScan(std::string(300, 'x').c_str(), list));  // the path does not fit
    worker.stop();  // drops what was queued

    RecordingSink sink;
    ASSERT_TRUE(worker.start());
    EXPECT_FALSE(worker.start());
    ASSERT_TRUE(worker.postLoad("/user/good.fxp", sink, 2));
    ASSERT_TRUE(worker.postLoad("/user/bad.fxp", sink, 3));
    ASSERT_TRUE(worker.postLoad("/user/missing.fxp", sink, 1));
    ASSERT_TRUE(worker.waitUntilIdle(kWaitMs));
    EXPECT_EQ(sink.chunkCount(), 1);
    EXPECT_EQ(sink.updates.load(), 1);
    EXPECT_EQ(sink.slot(), 2);
    EXPECT_EQ(sink.lastChunk(), std::vector<uint8_t>(good.begin() + kFxpHeaderBytes, good.end()));

    ASSERT_TRUE(worker.postStop());
    worker.join();
    EXPECT_FALSE(worker.isRunning());
    ASSERT_TRUE(worker.start());  // and again
    EXPECT_TRUE(worker.isRunning());
    worker.stop();
    EXPECT_FALSE(worker.isRunning());
}

TEST(LibraryWorker, EffectsTakeLoadsThroughTheAdapterAndTheProcessEndsWithAScanRunning) {
    struct Effect {
        int chunks = 0;
        int displays = 0;
        bool postSetChunk(const void* /*data*/, size_t size, int32_t slot) {
            chunks += size == 880 && slot == 1;
            return true;
        }
        void updateDisplay() { ++displays; }
    } effect;
    EffectProgramSink<Effect> adapter(effect);
    ProgramSink& sink = adapter;
    sink.postSetChunk(nullptr, 880, 1);
    sink.updateDisplay();
    EXPECT_EQ(effect.chunks, 1);
    EXPECT_EQ(effect.displays, 1);

    // A process that ends while the process-wide worker scans must end all the same.
    TestFolder data;
    for (int c = 0; c < 20; ++c) {
        const std::filesystem::path category = data.path() / "Tarskverb/programs" / std::to_string(c);
        std::filesystem::create_directories(category);
        for (int p = 0; p < 20; ++p) {
            writeWholeFile((category / (std::to_string(p) + ".fxp")).string(), "x");
        }
    }
    pid_t child = fork();
    if (child == 0) {
        setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        bool started = startLibrary();
        for (int i = 0; i < 10; ++i) {
            rescan();
        }
        std::exit(started ? 0 : 3);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; waited < 60000 && (done = waitpid(child, &status, WNOHANG)) == 0; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    ASSERT_EQ(done, child) << "the process hung at its end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Fake dialog and opener programs on a search path of their own.
class DesktopPrograms : public ::testing::Test {
protected:
    DesktopPrograms()
        : path("PATH", bin.path().string()), display("DISPLAY", std::string(":77")),
          wayland("WAYLAND_DISPLAY", std::nullopt), log("TARSK_FAKE_LOG", bin.file("log")) {}

    void install(const char* name, const std::string& body) {
        const std::string file = bin.file(name);
        writeWholeFile(file, "#!/bin/sh\n" + body);
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    }

    TestFolder bin;
    ScopedEnvironment path;
    ScopedEnvironment display;
    ScopedEnvironment wayland;
    ScopedEnvironment log;
};

TEST_F(DesktopPrograms, QuestionsGoToZenityElseKdialogElseNo) {
    EXPECT_FALSE(askYesNo("Title", "Text"));  // neither is installed

    install("kdialog", "printf '%s|' \"$@\" > \"$TARSK_FAKE_LOG\"\nexit 0\n");
    EXPECT_TRUE(askYesNo("T", "Line 1\nLine 2"));
    EXPECT_EQ(readWholeFile(bin.file("log")), "--title|T|--yesno|Line 1\nLine 2|");

    install("zenity", "printf '%s|' \"$@\" > \"$TARSK_FAKE_LOG\"\nexit 1\n");
    EXPECT_FALSE(askYesNo("T", "X"));
    EXPECT_EQ(readWholeFile(bin.file("log")), "--question|--title=T|--text=X|--no-markup|");
    install("zenity", "exit 0\n");
    EXPECT_TRUE(askYesNo("T", "X"));

    ScopedEnvironment noDisplay("DISPLAY", std::nullopt);
    EXPECT_FALSE(askYesNo("T", "X"));  // no display: no
}

TEST_F(DesktopPrograms, TheOpenerRunsDetached) {
    EXPECT_FALSE(openInFileBrowser("/tmp"));  // no xdg-open: nothing started, nothing wrong
    install("xdg-open", "printf '%s' \"$1\" > \"$TARSK_FAKE_LOG.tmp\"\nmv \"$TARSK_FAKE_LOG.tmp\" \"$TARSK_FAKE_LOG\"\n");
    ScopedEnvironment shellPath("PATH", bin.path().string() + ":/bin:/usr/bin");
    EXPECT_TRUE(openInFileBrowser("/some folder"));
    for (int i = 0; i < 10000 && !std::filesystem::exists(bin.file("log")); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(readWholeFile(bin.file("log")), "/some folder");
}

}  // namespace
