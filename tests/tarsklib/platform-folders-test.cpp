// Tests of the per-user folders (XDG variables, home fallback) and of creating folders with parents.
#include "tarsklib/platform-folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tarsklib/test-folder.h"

namespace tarsk {
namespace {

TEST(PlatformFolders, XdgVariablesWinWhenAbsolute) {
    test::ScopedEnvironment home("HOME", "/home/someone");
    {
        test::ScopedEnvironment data("XDG_DATA_HOME", "/data/here");
        test::ScopedEnvironment config("XDG_CONFIG_HOME", "/config/here");
        EXPECT_EQ(applicationDataFolder(), "/data/here");
        EXPECT_EQ(configurationFolder(), "/config/here");
    }
    {
        test::ScopedEnvironment data("XDG_DATA_HOME", "");
        test::ScopedEnvironment config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(applicationDataFolder(), "/home/someone/.local/share");
        EXPECT_EQ(configurationFolder(), "/home/someone/.config");
    }
    {
        test::ScopedEnvironment data("XDG_DATA_HOME", std::nullopt);
        test::ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
        test::ScopedEnvironment slashHome("HOME", "/home/other/");
        EXPECT_EQ(applicationDataFolder(), "/home/other/.local/share");
        EXPECT_EQ(configurationFolder(), "/home/other/.config");
    }
}

TEST(PlatformFolders, WithoutHomeThePasswordEntryIsUsed) {
    test::ScopedEnvironment data("XDG_DATA_HOME", std::nullopt);
    test::ScopedEnvironment home("HOME", std::nullopt);
    std::string folder = applicationDataFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_TRUE(folder.ends_with("/.local/share")) << folder;
}

TEST(PlatformFolders, CreateFoldersMakesEveryParent) {
    test::TestFolder folder;
    std::filesystem::path deep = folder.path() / "a" / "b c" / "d";
    EXPECT_TRUE(createFolders(deep.string()));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(createFolders(deep.string()));  // already there
    EXPECT_TRUE(createFolders(deep.string() + "/"));
    EXPECT_EQ(std::filesystem::status(deep).permissions() & std::filesystem::perms::owner_all,
              std::filesystem::perms::owner_all);

    std::filesystem::path file = folder.path() / "plain";
    test::writeWholeFile(file.string(), "x");
    EXPECT_FALSE(createFolders(file.string()));
    EXPECT_FALSE(createFolders((file / "below").string()));
    EXPECT_FALSE(createFolders(""));
}

}  // namespace
}  // namespace tarsk
