// Tests of SettingsStore: the hash table, key paths, and persistence in a temporary XDG_CONFIG_HOME.
#include "tarsklib/settings-store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tarsklib/settings-file.h"
#include "tarsklib/test-folder.h"

namespace tarsk {
namespace {

using namespace std::string_literals;

constexpr const char* kIdentifier = "com.tarskcode.tarskverb";

// Every case runs with its own configuration folder, never the user's.
class SettingsStoreFile : public ::testing::Test {
protected:
    test::TestFolder folder;
    std::filesystem::path config = folder.path() / "config" / "nested";
    test::ScopedEnvironment environment{"XDG_CONFIG_HOME", config.string()};
    std::filesystem::path settingsFile = config / "Tarskcode" / "Tarskverb";
};

TEST(SettingsStore, GetAndSetThroughTheHashTable) {
    EXPECT_EQ(SettingsStore::hashName(""), 1u);
    EXPECT_EQ(SettingsStore::hashName("a"), 7u + 'a');
    EXPECT_EQ(SettingsStore::hashName("ab"), (7u + 'a') * 7u + 'b');
    EXPECT_EQ(SettingsStore::hashName("\xFF"), 7u + 255u);  // bytes count as unsigned

    SettingsStore store;
    EXPECT_EQ(store.get("Editor:FontStyle", "2"), "2");
    store.set("Editor:FontStyle", "3");
    store.set("Editor:StartPage", "1");
    EXPECT_EQ(store.get("Editor:FontStyle", "2"), "3");
    store.set("Editor:FontStyle", "1");
    EXPECT_EQ(store.get("Editor:FontStyle", "2"), "1");
    EXPECT_EQ(store.size(), 2u);
    EXPECT_EQ(store.get("editor:fontstyle", "none"), "none");  // names keep their case
    store.clear();
    EXPECT_EQ(store.size(), 0u);
    EXPECT_EQ(store.get("Editor:StartPage", "0"), "0");
}

TEST(SettingsStore, ManyEntriesShareFewBuckets) {
    SettingsStore store(7);
    EXPECT_EQ(store.bucketCount(), 7u);
    for (int i = 0; i < 1000; ++i) {
        store.set("name" + std::to_string(i), "value" + std::to_string(i * 3));
    }
    EXPECT_EQ(store.size(), 1000u);
    for (int i = 0; i < 1000; i += 37) {
        store.set("name" + std::to_string(i), "changed" + std::to_string(i));
    }
    EXPECT_EQ(store.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        std::string expected = (i % 37 == 0 ? "changed" + std::to_string(i) : "value" + std::to_string(i * 3));
        ASSERT_EQ(store.get("name" + std::to_string(i), "missing"), expected) << i;
    }
    SettingsStore single(0);  // at least one bucket
    single.set("x", "1");
    single.set("y", "2");
    EXPECT_EQ(single.get("x", ""), "1");
    EXPECT_EQ(single.get("y", ""), "2");
}

TEST(SettingsStore, KeyPathsFromIdentifiers) {
    std::string path;
    EXPECT_TRUE(SettingsStore::keyPath(kIdentifier, path));
    EXPECT_EQ(path, "Software/Tarskcode/Tarskverb");
    EXPECT_TRUE(SettingsStore::keyPath("org.example.Tool.extra", path));
    EXPECT_EQ(path, "Software/Example/Tool");
    for (const char* refused : {"com.tarskcode", "tarskverb", "", "com..tarskverb", "com.tarskcode.",
                                "com.tarsk/code.verb", "com.tarsk\\code.verb"}) {
        EXPECT_FALSE(SettingsStore::keyPath(refused, path)) << refused;
        EXPECT_TRUE(path.empty());
    }
    EXPECT_FALSE(SettingsStore::keyPath(nullptr, path));

    // "Software/" + second + "/" + third: 9 + 239 + 1 + 6 = 255 characters pass, 256 do not.
    std::string longest = "com." + std::string(239, 'a') + ".abcdef";
    EXPECT_TRUE(SettingsStore::keyPath(longest.c_str(), path));
    EXPECT_EQ(path.size(), 255u);
    std::string tooLong = "com." + std::string(240, 'a') + ".abcdef";
    EXPECT_FALSE(SettingsStore::keyPath(tooLong.c_str(), path));
    SettingsStore store;
    store.set("a", "b");
    EXPECT_FALSE(store.save(tooLong.c_str()));
    EXPECT_FALSE(store.load(tooLong.c_str()));
}

TEST_F(SettingsStoreFile, SavedValuesLoadBackWithEscapes) {
    SettingsStore store;
    store.set("Editor:DisplayScale", "1.200000");
    store.set("odd=name\\with\nbreaks\r", "value = with\\back\nslash\r\nand=more");
    store.set("empty", "");
    store.set("", "nameless");
    ASSERT_TRUE(store.save(kIdentifier));

    EXPECT_EQ(settingsKeyLocation("Software/Tarskcode/Tarskverb"), settingsFile.string());
    ASSERT_TRUE(std::filesystem::is_regular_file(settingsFile));
    std::string text = test::readWholeFile(settingsFile.string());
    EXPECT_NE(text.find("Editor:DisplayScale=1.200000\n"), std::string::npos);
    EXPECT_NE(text.find("odd\\=name\\\\with\\nbreaks\\r=value = with\\\\back\\nslash\\r\\nand=more\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);  // one line per entry

    SettingsStore loaded(3);
    ASSERT_TRUE(loaded.load(kIdentifier));
    EXPECT_EQ(loaded.size(), 4u);
    EXPECT_EQ(loaded.get("Editor:DisplayScale", "?"), "1.200000");
    EXPECT_EQ(loaded.get("odd=name\\with\nbreaks\r", "?"), "value = with\\back\nslash\r\nand=more");
    EXPECT_EQ(loaded.get("empty", "?"), "");
    EXPECT_EQ(loaded.get("", "?"), "nameless");
}

TEST_F(SettingsStoreFile, UnreadableLinesAreSkipped) {
    std::filesystem::create_directories(settingsFile.parent_path());
    test::writeWholeFile(settingsFile.string(),
                         "good=1\n"
                         "no separator here\n"
                         "\n"
                         "bad\\qescape=2\n"
                         "trailing=backslash\\\n"
                         "raw\rreturn=3\n"
                         "windows=line\r\n"
                         "equals=a=b=c\n"
                         "nul\0byte=4\n"
                         "good=overridden\n"
                         "last=no line feed"s);
    SettingsStore store;
    store.set("kept", "yes");
    ASSERT_TRUE(store.load(kIdentifier));
    EXPECT_EQ(store.get("good", "?"), "overridden");
    EXPECT_EQ(store.get("windows", "?"), "line");
    EXPECT_EQ(store.get("equals", "?"), "a=b=c");
    EXPECT_EQ(store.get("last", "?"), "no line feed");
    EXPECT_EQ(store.get("kept", "?"), "yes");
    EXPECT_EQ(store.get("bad\\qescape", "?"), "?");
    EXPECT_EQ(store.size(), 5u);
}

TEST_F(SettingsStoreFile, MissingFileIsAnEmptyStore) {
    SettingsStore store;
    EXPECT_FALSE(store.load(kIdentifier));
    EXPECT_EQ(store.size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(settingsFile));
}

TEST_F(SettingsStoreFile, SavingReplacesTheFileAtomically) {
    SettingsStore first;
    first.set("old", "1");
    first.set("both", "old");
    ASSERT_TRUE(first.save(kIdentifier));
    SettingsStore second;
    second.set("both", "new");
    ASSERT_TRUE(second.save(kIdentifier));

    // Only the settings file is left in its folder: the temporary file was renamed over it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(settingsFile.parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "Tarskverb");

    SettingsStore loaded;
    ASSERT_TRUE(loaded.load(kIdentifier));
    EXPECT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded.get("both", "?"), "new");
    EXPECT_EQ(loaded.get("old", "gone"), "gone");
}

TEST_F(SettingsStoreFile, AnUnwritableFolderFailsWithoutDamage) {
    // The configuration folder is a plain file: nothing can be created beneath it.
    std::filesystem::create_directories(config.parent_path());
    test::writeWholeFile(config.string(), "not a folder");
    SettingsStore store;
    store.set("a", "b");
    EXPECT_FALSE(store.save(kIdentifier));
    EXPECT_FALSE(store.load(kIdentifier));
    EXPECT_EQ(test::readWholeFile(config.string()), "not a folder");
}

}  // namespace
}  // namespace tarsk
