// Tests of the Win32 platform backends (run under Wine): the registry settings store with its
// HKEY_LOCAL_MACHINE fallback, folders and files, pages, threads, clocks and key translation.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "tarsklib/platform-clock.h"
#include "tarsklib/platform-files.h"
#include "tarsklib/platform-folders.h"
#include "tarsklib/platform-memory.h"
#include "tarsklib/platform-thread.h"
#include "tarsklib/platform-window-win32.h"
#include "tarsklib/settings-file.h"
#include "tarsklib/settings-store.h"
#include "tarsklib/test-folder.h"

namespace tarsk {
namespace {

// A registry key of this test process under Software, removed from both roots afterwards.
class TestKey {
public:
    TestKey() : path("Software/TarskverbTest" + std::to_string(GetCurrentProcessId()) + "/Settings") {}
    ~TestKey() {
        const std::string top = "Software\\TarskverbTest" + std::to_string(GetCurrentProcessId());
        RegDeleteTreeA(HKEY_CURRENT_USER, top.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, top.c_str());
    }
    std::string registryPath() const {
        std::string p = path;
        for (char& c : p) {
            c = c == '/' ? '\\' : c;
        }
        return p;
    }
    const std::string path;
};

std::vector<SettingsEntry> sorted(std::vector<SettingsEntry> entries) {
    std::sort(entries.begin(), entries.end(), [](const SettingsEntry& a, const SettingsEntry& b) { return a.name < b.name; });
    return entries;
}

TEST(RegistrySettings, EntriesComeBackAsWrittenAndStaleOnesGo) {
    TestKey key;
    std::vector<SettingsEntry> read;
    EXPECT_FALSE(readSettingsKey(key.path, read));  // nothing stored yet

    std::vector<SettingsEntry> written = {{"Editor:DisplayScale", "1.5"}, {"Editor:StartPage", "3"},
                                          {"Empty", ""}, {"Text with = and spaces", "line\nbreak \xC3\xA9"}};
    ASSERT_TRUE(writeSettingsKey(key.path, written));
    ASSERT_TRUE(readSettingsKey(key.path, read));
    ASSERT_EQ(read.size(), written.size());
    std::vector<SettingsEntry> expected = sorted(written);
    read = sorted(read);
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].name, expected[i].name);
        EXPECT_EQ(read[i].text, expected[i].text);
    }

    // Writing replaces the key's contents: an entry that is gone is no longer read.
    ASSERT_TRUE(writeSettingsKey(key.path, {{"Editor:StartPage", "5"}}));
    ASSERT_TRUE(readSettingsKey(key.path, read));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].name, "Editor:StartPage");
    EXPECT_EQ(read[0].text, "5");
}

TEST(RegistrySettings, TextsWithNulCannotBeStoredAndTheRestIs) {
    TestKey key;
    EXPECT_FALSE(writeSettingsKey(key.path, {{"Good", "yes"}, {"Bad", std::string("a\0b", 3)}}));
    std::vector<SettingsEntry> read;
    ASSERT_TRUE(readSettingsKey(key.path, read));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].name, "Good");
}

TEST(RegistrySettings, WritesGoToTheUserAndTheMachineIsOnlyAFallback) {
    TestKey key;
    EXPECT_EQ(settingsKeyLocation(key.path), "HKEY_CURRENT_USER\\" + key.registryPath());

    // Settings an installer left for the whole machine are read while the user has none.
    HKEY machine = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.registryPath().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &machine, nullptr),
              ERROR_SUCCESS);
    const char value[] = "2";
    RegSetValueExA(machine, "Editor:FontStyle", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value));
    RegCloseKey(machine);
    std::vector<SettingsEntry> read;
    ASSERT_TRUE(readSettingsKey(key.path, read));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].text, "2");

    // Saving writes the user's key and leaves the machine's alone; from then on the user's wins.
    ASSERT_TRUE(writeSettingsKey(key.path, {{"Editor:FontStyle", "0"}}));
    HKEY user = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.registryPath().c_str(), 0, KEY_READ, &user), ERROR_SUCCESS);
    RegCloseKey(user);
    ASSERT_TRUE(readSettingsKey(key.path, read));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].text, "0");
}

TEST(RegistrySettings, TheStoreRoundTripsThroughItsIdentifier) {
    const std::string product = "Tarsktest" + std::to_string(GetCurrentProcessId());
    const std::string identifier = "com.tarskcode." + product;
    SettingsStore store;
    store.set("Editor:DisplayScale", "2");
    ASSERT_TRUE(store.save(identifier.c_str()));
    SettingsStore loaded;
    ASSERT_TRUE(loaded.load(identifier.c_str()));
    EXPECT_EQ(loaded.get("Editor:DisplayScale", "1"), "2");
    EXPECT_EQ(loaded.get("Editor:Missing", "fallback"), "fallback");
    // The key path capitalises the second and third parts of the identifier.
    HKEY key = nullptr;
    const std::string path = "Software\\Tarskcode\\" + product;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
}

TEST(Win32Folders, ApplicationDataIsAnAbsoluteFolder) {
    std::string folder = applicationDataFolder();
    ASSERT_GE(folder.size(), 3u);
    EXPECT_EQ(folder[1], ':');
    EXPECT_TRUE(pathExists(folder));
}

TEST(Win32Folders, FoldersAreMadeWithTheirParentsAndListedWithTheirKinds) {
    test::TestFolder temporary;
    const std::string base = temporary.path().string();
    const std::string nested = base + "\\programs/Default Folder\\Deeper";
    ASSERT_TRUE(createFolders(nested));
    EXPECT_TRUE(createFolders(nested));  // already there
    test::writeWholeFile(base + "/programs/a.fxp", "x");

    std::vector<FolderEntry> entries;
    ASSERT_TRUE(listFolder(base + "/programs", entries));
    ASSERT_EQ(entries.size(), 2u);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    EXPECT_EQ(entries[0].name, "Default Folder");
    EXPECT_EQ(entries[0].type, kFolderEntryFolder);
    EXPECT_EQ(entries[1].name, "a.fxp");
    EXPECT_EQ(entries[1].type, kFolderEntryFile);

    EXPECT_FALSE(listFolder(base + "/missing", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(pathExists(base + "/missing"));
    // A file where a folder should be stops the creation.
    EXPECT_FALSE(createFolders(base + "/programs/a.fxp/below"));
}

TEST(Win32Files, ReplaceFileSwapsTheWholeFileAndLeavesNoTemporaryFile) {
    test::TestFolder temporary;
    const std::string base = temporary.path().string();
    const std::string target = base + "/Program.fxp";
    test::writeWholeFile(target, "old contents that are longer");
    int error = -1;
    ASSERT_TRUE(replaceFile(target, "new", 3, error));
    EXPECT_EQ(error, 0);
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(listFolder(base, entries));
    ASSERT_EQ(entries.size(), 1u);  // the temporary file was renamed, not left behind
    EXPECT_EQ(entries[0].name, "Program.fxp");
    DWORD attributes = GetFileAttributesA(target.c_str());
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(test::readWholeFile(target), "new");

    // A folder that is not there: nothing is written, and the error says so.
    EXPECT_FALSE(replaceFile(base + "/missing/Program.fxp", "x", 1, error));
    EXPECT_EQ(error, ENOENT);
}

TEST(Win32Memory, PagesArePageAlignedAndZeroed) {
    constexpr size_t kBytes = 65536;
    auto* block = static_cast<unsigned char*>(allocatePages(kBytes));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 4096, 0u);
    size_t nonZero = 0;
    for (size_t i = 0; i < kBytes; ++i) {
        nonZero += block[i] != 0;
    }
    EXPECT_EQ(nonZero, 0u);
    block[kBytes - 1] = 1;  // writable to the end
    releasePages(block, kBytes);
}

TEST(Win32Threads, AThreadRunsItsEntryAndHandsBackItsExitCode) {
    struct Shared {
        uint64_t id = 0;
    } shared;
    ThreadHandle thread = startThread(
        [](void* argument) {
            static_cast<Shared*>(argument)->id = currentThreadId();
            return 42;
        },
        &shared);
    ASSERT_TRUE(thread.valid());
    EXPECT_EQ(joinThread(thread), 42);
    EXPECT_FALSE(thread.valid());
    EXPECT_NE(shared.id, 0u);
    EXPECT_NE(shared.id, currentThreadId());
}

TEST(Win32Clock, TheCounterAdvancesAndTheLocalTimeHasItsForm) {
    ASSERT_GT(counterFrequency(), 0u);
    const uint64_t before = counterNow();
    sleepMs(20);
    const uint64_t elapsedUs = (counterNow() - before) * 1000000u / counterFrequency();
    EXPECT_GE(elapsedUs, 15000u);
    char text[64];
    localTimeText(text, sizeof(text));
    EXPECT_TRUE(std::regex_match(text, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] \\d\\d:\\d\\d:\\d\\d \\d{4}")))
        << text;
}

TEST(Win32Keys, CharactersFollowShiftAndCtrlAndOtherKeysGetTheirCodes) {
    EXPECT_EQ(keyValueOf(translateVirtualKey('A', 'A', false, false)), key::kCharacterTag | 'a');
    EXPECT_EQ(keyValueOf(translateVirtualKey('A', 'A', true, false)), key::kCharacterTag | 'A');
    EXPECT_EQ(keyValueOf(translateVirtualKey('V', 'V', false, true)), key::kCharacterTag | 22u);  // Ctrl+V pastes
    EXPECT_EQ(keyValueOf(translateVirtualKey('1', '1', false, true)), key::kCharacterTag | '1');
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_RETURN, '\r', false, false)), key::kCharacterTag | key::kReturn);
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_BACK, '\b', false, false)), key::kCharacterTag | key::kBackspace);
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_F1, 0, false, false)), key::kF1);
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_F12, 0, false, false)), key::kF12);
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_DELETE, 0, false, false)), key::kDelete);
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_PRIOR, 0, false, false)), key::kPageUp);
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_LWIN, 0, false, false)), key::kWindows);
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_VOLUME_MUTE, 0, false, false)), key::kVolumeMute);
    EXPECT_EQ(keyValueOf(translateVirtualKey(VK_SCROLL, 0, false, false)), key::kOther);
}

}  // namespace
}  // namespace tarsk
