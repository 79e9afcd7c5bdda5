// Tests of EditorSettings: defaults, clamping on load, unreadable texts and the written formats.
#include "editor/editor-settings.h"

#include <gtest/gtest.h>

#include "tarsklib/test-folder.h"

namespace tarsk {
namespace {

EditorSettings loadFrom(std::initializer_list<std::pair<const char*, const char*>> values) {
    SettingsStore store;
    for (const auto& [name, text] : values) {
        store.set(name, text);
    }
    EditorSettings settings;
    settings.displayScale = 99.0f;  // load must overwrite every field
    settings.fontStyle = 99;
    settings.fontLodBias = 99.0f;
    settings.startPage = 99;
    settings.load(store);
    return settings;
}

TEST(EditorSettings, MissingValuesGiveTheDefaults) {
    EditorSettings settings = loadFrom({});
    EXPECT_FLOAT_EQ(settings.displayScale, 1.0f);
    EXPECT_EQ(settings.fontStyle, 2);
    EXPECT_FLOAT_EQ(settings.fontLodBias, -0.25f);
    EXPECT_EQ(settings.startPage, 0);
    EXPECT_STREQ(kSettingsIdentifier, "com.tarskcode.tarskverb");
}

TEST(EditorSettings, LoadedValuesAreClampedToTheirRanges) {
    EditorSettings high = loadFrom({{"Editor:DisplayScale", "7"},
                                    {"Editor:FontStyle", "9"},
                                    {"Editor:FontLodBias", "3.5"},
                                    {"Editor:StartPage", "5"}});
    EXPECT_FLOAT_EQ(high.displayScale, 5.0f);
    EXPECT_EQ(high.fontStyle, 3);
    EXPECT_FLOAT_EQ(high.fontLodBias, 1.0f);
    EXPECT_EQ(high.startPage, 2);

    EditorSettings low = loadFrom({{"Editor:DisplayScale", "0.01"},
                                   {"Editor:FontStyle", "0"},
                                   {"Editor:FontLodBias", "-3"},
                                   {"Editor:StartPage", "-1"}});
    EXPECT_FLOAT_EQ(low.displayScale, 0.2f);
    EXPECT_EQ(low.fontStyle, 1);
    EXPECT_FLOAT_EQ(low.fontLodBias, -1.0f);
    EXPECT_EQ(low.startPage, 0);

    EditorSettings inside = loadFrom({{"Editor:DisplayScale", "1.200000"},
                                      {"Editor:FontStyle", "1"},
                                      {"Editor:FontLodBias", "-0.25"},
                                      {"Editor:StartPage", "1"}});
    EXPECT_FLOAT_EQ(inside.displayScale, 1.2f);
    EXPECT_EQ(inside.fontStyle, 1);
    EXPECT_FLOAT_EQ(inside.fontLodBias, -0.25f);
    EXPECT_EQ(inside.startPage, 1);

    EditorSettings huge = loadFrom({{"Editor:DisplayScale", "1e300"},
                                    {"Editor:FontStyle", "-99999999999999999999"},
                                    {"Editor:FontLodBias", "-1e-300"},
                                    {"Editor:StartPage", "99999999999999999999"}});
    EXPECT_FLOAT_EQ(huge.displayScale, 5.0f);
    EXPECT_EQ(huge.fontStyle, 1);
    EXPECT_FLOAT_EQ(huge.fontLodBias, 0.0f);
    EXPECT_EQ(huge.startPage, 2);
}

TEST(EditorSettings, TextsAreReadLikeScanf) {
    EditorSettings unreadable = loadFrom({{"Editor:DisplayScale", "large"},
                                          {"Editor:FontStyle", ""},
                                          {"Editor:FontLodBias", "nan"},
                                          {"Editor:StartPage", "+-1"}});
    EXPECT_FLOAT_EQ(unreadable.displayScale, 1.0f);
    EXPECT_EQ(unreadable.fontStyle, 2);
    EXPECT_FLOAT_EQ(unreadable.fontLodBias, -0.25f);
    EXPECT_EQ(unreadable.startPage, 0);

    // Leading white space and a plus sign are accepted; the number ends where the digits do.
    EditorSettings lenient = loadFrom({{"Editor:DisplayScale", "  +1.5x"},
                                       {"Editor:FontStyle", " 3 "},
                                       {"Editor:FontLodBias", "0.5,7"},
                                       {"Editor:StartPage", "2.9"}});
    EXPECT_FLOAT_EQ(lenient.displayScale, 1.5f);
    EXPECT_EQ(lenient.fontStyle, 3);
    EXPECT_FLOAT_EQ(lenient.fontLodBias, 0.5f);
    EXPECT_EQ(lenient.startPage, 2);
}

TEST(EditorSettings, StoreWritesTheFormatsAndRoundTrips) {
    EditorSettings settings;
    settings.displayScale = 1.2f;
    settings.fontStyle = 1;
    settings.fontLodBias = -0.25f;
    settings.startPage = 2;
    SettingsStore store;
    settings.store(store);
    EXPECT_EQ(store.size(), 4u);
    EXPECT_EQ(store.get("Editor:DisplayScale", ""), "1.200000");
    EXPECT_EQ(store.get("Editor:FontStyle", ""), "1");
    EXPECT_EQ(store.get("Editor:FontLodBias", ""), "-0.250000");
    EXPECT_EQ(store.get("Editor:StartPage", ""), "2");

    test::TestFolder folder;
    test::ScopedEnvironment config("XDG_CONFIG_HOME", folder.path().string());
    ASSERT_TRUE(store.save(kSettingsIdentifier));
    SettingsStore reloaded;
    ASSERT_TRUE(reloaded.load(kSettingsIdentifier));
    EditorSettings loaded;
    loaded.load(reloaded);
    EXPECT_FLOAT_EQ(loaded.displayScale, 1.2f);
    EXPECT_EQ(loaded.fontStyle, 1);
    EXPECT_FLOAT_EQ(loaded.fontLodBias, -0.25f);
    EXPECT_EQ(loaded.startPage, 2);
}

}  // namespace
}  // namespace tarsk
