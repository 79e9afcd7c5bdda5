// The Summary, Info, Settings and Calculator pages through the effect object: the program name typed
// through the editor's key path reaches the host, the settings page resizes the editor and saves only
// while dirty, and the calculator's keys compute what they show.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "editor-test-support.h"
#include "tarsklib/settings-store.h"
#include "tarsklib/test-folder.h"

namespace tarsk {
namespace {

using test::EditorRig;

constexpr float kHeader = 4.0f;    // the content area starts 4u above the window's bottom edge

// The effect behind the editor, with the size requests recorded.
struct RecordingHost final : EditorHost {
    VerbEffect& effect;
    std::vector<std::pair<int, int>> sizes;
    explicit RecordingHost(VerbEffect& e) : effect(e) { sizes.reserve(16); }
    bool snapshot(ProgramSnapshot& out) override { return effect.snapshot(out); }
    CommitResult commit(const ProgramSnapshot& edited, const uint8_t mask[kChangeFlagCount]) override {
        return effect.commit(edited, mask);
    }
    ProgramRecord programCopy(int32_t slot) override { return effect.programCopy(slot); }
    float tempo() const override { return effect.tempo(); }
    float rate() const override { return effect.rate(); }
    LoadFigures loadFigures() const override { return effect.loadFigures(); }
    HostFacts hostFacts() const override { return effect.hostFacts(); }
    void requestEditorSize(int width, int height) override { sizes.emplace_back(width, height); }
};

// An editor over the rig's effect whose size requests are recorded; clicks in content units.
struct PageRig {
    EditorRig rig;
    RecordingHost host{rig.effect};
    Editor editor{host, nullptr, rig.settings};

    explicit PageRig(int32_t page) {
        editor.hoverChanged(true);
        editor.setPage(page);
        editor.draw();
    }
    float u() const { return editor.unit(); }
    void frame() { editor.draw(); }
    // A click at a point of the content area given in units of the current scale.
    void clickContent(float xUnits, float yUnits) {
        const float x = xUnits * u();
        const float y = (yUnits + kHeader) * u();
        editor.mouseMove(x, y);
        frame();
        editor.leftButton(true, x, y);
        frame();
        editor.leftButton(false, x, y);
        frame();
    }
    void type(const char* text) {
        for (const char* c = text; *c != '\0'; ++c) {
            editor.key(true, kKeyCharacter | static_cast<uint8_t>(*c));
        }
        frame();
    }
};

// ---- Summary ----

constexpr float kNameX = 13.75f;
constexpr float kNameY = 10.75f;
constexpr float kDescriptionX = 13.75f;
constexpr float kDescriptionY = 6.25f;

TEST(SummaryPage, TypingIntoTheNameRenamesTheProgramAsTheHostSeesIt) {
    PageRig page(kPageSummary);
    const ProgramRecord before = page.rig.hostProgram();
    const std::string oldName = before.name();
    page.clickContent(kNameX, kNameY);
    page.editor.key(true, kKeyEnd);
    const int updatesBefore = page.rig.host.count(vst2::audioMasterUpdateDisplay);
    ASSERT_TRUE(page.editor.key(true, kKeyCharacter | 'x')) << "the name area holds the keyboard";
    page.frame();
    const ProgramRecord after = page.rig.hostProgram();
    EXPECT_EQ(std::string(after.name()), oldName + "x");
    EXPECT_EQ(page.rig.host.count(vst2::audioMasterUpdateDisplay), updatesBefore + 1)
        << "the host refreshes the name once for the changed frame";
    // Only the name changed.
    for (int i = 0; i < kRecordWords; ++i) {
        if (i < word::name || i >= word::name + kNameBytes / 4) {
            EXPECT_EQ(after.words[i], before.words[i]) << "word " << i;
        }
    }
    page.frame();
    EXPECT_EQ(page.rig.host.count(vst2::audioMasterUpdateDisplay), updatesBefore + 1) << "no change, no refresh";
    char name[kNameBytes + 1] = {};
    ASSERT_TRUE(page.rig.effect.getProgramNameIndexed(name, page.rig.effect.currentProgram()));
    EXPECT_EQ(std::string(name), (oldName + "x").substr(0, 24)) << "the host's program name (24 characters)";
}

TEST(SummaryPage, TheNameTakesAtMostTwentySevenCharactersAndTheDescriptionItsOwnKeys) {
    PageRig page(kPageSummary);
    page.clickContent(kNameX, kNameY);
    page.editor.key(true, kKeyEnd);
    for (int i = 0; i < 40; ++i) {
        page.editor.key(true, kCharBackspace | kKeyCharacter);
    }
    page.frame();
    EXPECT_STREQ(page.rig.hostProgram().name(), "");
    page.type("abcdefghijklmnopqrstuvwxyz0");  // 27 characters
    EXPECT_STREQ(page.rig.hostProgram().name(), "abcdefghijklmnopqrstuvwxyz0");
    page.type("Z");
    EXPECT_STREQ(page.rig.hostProgram().name(), "abcdefghijklmnopqrstuvwxyz0") << "a 28th character is refused";

    // The description area takes the keyboard from the name.
    const std::string description = page.rig.hostProgram().description();
    page.clickContent(kDescriptionX, kDescriptionY);
    page.editor.key(true, kKeyEnd);
    page.type("!");
    EXPECT_EQ(std::string(page.rig.hostProgram().description()), description + "!");
    EXPECT_STREQ(page.rig.hostProgram().name(), "abcdefghijklmnopqrstuvwxyz0");
}

TEST(SummaryPage, ANameFillingItsWholeFieldIsNeverReadPastItsEnd) {
    PageRig page(kPageSummary);
    ProgramSnapshot snap;
    ASSERT_TRUE(page.rig.effect.snapshot(snap));
    std::memset(snap.record.name(), 'N', kNameBytes);  // no terminating NUL, as a foreign chunk may bring it
    std::strcpy(snap.record.description(), "desc");
    const uint8_t mask[kChangeFlagCount] = {1, 0, 0, 0};
    ASSERT_EQ(page.rig.effect.commit(snap, mask), CommitResult::written);
    page.frame();
    page.clickContent(kNameX, kNameY);
    page.editor.key(true, kKeyEnd);
    page.type("x");
    const ProgramRecord after = page.rig.hostProgram();
    EXPECT_EQ(std::string(after.name(), kNameBytes), std::string(kNameBytes, 'N'));
    EXPECT_STREQ(after.description(), "desc") << "the description was not touched";
    page.editor.key(true, kCharBackspace | kKeyCharacter);
    page.frame();
    EXPECT_EQ(std::string(page.rig.hostProgram().name()), std::string(kNameBytes - 1, 'N'));
}

// ---- Settings ----

constexpr float kSizeRow = 7.5f;
constexpr float kStyleRow = 6.0f;
constexpr float kStartRow = 4.5f;
constexpr float kFirstChoice = 10.5f;
constexpr float kSecondChoice = 13.5f;
constexpr float kThirdChoice = 16.5f;

void clickSave(PageRig& page) { page.clickContent(32.0f - 4.5f, 11.0f); }

TEST(SettingsPage, ADisplaySizeChoiceResizesTheEditorAndSaveWorksOnlyWhileDirty) {
    test::TestFolder folder;
    test::ScopedEnvironment config("XDG_CONFIG_HOME", folder.path().string());
    PageRig page(kPageSettings);
    SettingsStore store;
    clickSave(page);
    EXPECT_FALSE(store.load(kSettingsIdentifier)) << "SAVE is disabled while nothing changed";

    page.clickContent(kThirdChoice, kSizeRow);  // "large"
    EXPECT_FLOAT_EQ(page.editor.settings().displayScale, 1.2f);
    EXPECT_FLOAT_EQ(page.editor.unit(), 24.0f);
    ASSERT_EQ(page.host.sizes.size(), 1u);
    EXPECT_EQ(page.host.sizes[0], std::make_pair(768, 384));
    EXPECT_TRUE(page.editor.settingsDirty());

    clickSave(page);  // at the new scale
    EXPECT_FALSE(page.editor.settingsDirty());
    ASSERT_TRUE(store.load(kSettingsIdentifier));
    EXPECT_EQ(store.get("Editor:DisplayScale", ""), "1.200000");
    EXPECT_EQ(store.get("Editor:FontStyle", ""), "2");
    EXPECT_EQ(store.get("Editor:FontLodBias", ""), "-0.250000");
    EXPECT_EQ(store.get("Editor:StartPage", ""), "0");

    // Disabled again: a click writes nothing.
    std::filesystem::remove_all(folder.path());
    std::filesystem::create_directory(folder.path());
    clickSave(page);
    SettingsStore after;
    EXPECT_FALSE(after.load(kSettingsIdentifier));

    page.clickContent(kFirstChoice, kSizeRow);  // "small"
    EXPECT_FLOAT_EQ(page.editor.unit(), 16.0f);
    ASSERT_EQ(page.host.sizes.size(), 2u);
    EXPECT_EQ(page.host.sizes[1], std::make_pair(512, 256));
}

TEST(SettingsPage, FontStyleAndStartPageAreStoredAndSaved) {
    test::TestFolder folder;
    test::ScopedEnvironment config("XDG_CONFIG_HOME", folder.path().string());
    PageRig page(kPageSettings);
    page.clickContent(kFirstChoice, kStyleRow);  // "serif"
    EXPECT_EQ(page.editor.settings().fontStyle, kFontStyleSerif);
    EXPECT_TRUE(page.editor.settingsDirty());
    ASSERT_EQ(page.host.sizes.size(), 1u) << "a font style change asks for the window size again";
    EXPECT_EQ(page.host.sizes[0], std::make_pair(640, 320));
    page.clickContent(kSecondChoice, kStartRow);  // "Editor"
    EXPECT_EQ(page.editor.settings().startPage, kPageEditor);
    clickSave(page);
    SettingsStore store;
    ASSERT_TRUE(store.load(kSettingsIdentifier));
    EXPECT_EQ(store.get("Editor:FontStyle", ""), "1");
    EXPECT_EQ(store.get("Editor:StartPage", ""), "1");

    // A new editor made with these settings starts on the Editor page.
    EditorSettings loaded;
    loaded.load(store);
    Editor next{page.host, nullptr, loaded};
    EXPECT_EQ(next.page(), kPageEditor);
}

// ---- Info ----

TEST(InfoPage, TheTabsSetTheInfoViewWordWithoutTouchingTheProgram) {
    PageRig page(kPageInfo);
    const ProgramRecord before = page.rig.hostProgram();
    EXPECT_EQ(page.editor.viewWord(kViewInfoTab), 1);
    page.clickContent(4.5f + 3.25f, 11.0f);  // "Host"
    EXPECT_EQ(page.editor.viewWord(kViewInfoTab), 2);
    page.clickContent(4.5f + 6.5f, 11.0f);  // "System"
    EXPECT_EQ(page.editor.viewWord(kViewInfoTab), 3);
    page.frame();
    const ProgramRecord afterFrame = page.rig.hostProgram();
    EXPECT_EQ(std::memcmp(&before, &afterFrame, sizeof before), 0);
    EXPECT_FALSE(page.editor.history().canUndo());

    const HostFacts facts = page.rig.effect.hostFacts();
    EXPECT_STREQ(facts.effectName, "TarskVerb FDN Processor 0.7.6");
    EXPECT_STREQ(facts.hostVendor, "Test Vendor");
    EXPECT_STREQ(facts.hostProduct, "Test Product");
    EXPECT_EQ(facts.hostVstVersion, 2400);
    EXPECT_EQ(facts.hostVendorVersion, 7);
}

// ---- Calculator ----

struct KeyPlace {
    const char* name;
    float x, y;  // content units
};

constexpr float kRowTop = 7.75f;
constexpr float kRowPitch = 1.25f;
constexpr float kPitch = 1.5f;
constexpr float row(int r) { return kRowTop - kRowPitch * static_cast<float>(r); }

constexpr KeyPlace kKeys[] = {
    {"7", 9.0f, row(0)},   {"8", 10.5f, row(0)},  {"9", 12.0f, row(0)},
    {"4", 9.0f, row(1)},   {"5", 10.5f, row(1)},  {"6", 12.0f, row(1)},
    {"1", 9.0f, row(2)},   {"2", 10.5f, row(2)},  {"3", 12.0f, row(2)},
    {"0", 9.0f, row(3)},   {".", 10.5f, row(3)},  {"+/-", 12.0f, row(3)},
    {"E", 9.0f, row(4)},   {"<<", 10.5f, row(4)}, {"pi", 12.0f, row(4)},
    {"C", 13.75f, row(0)}, {"sqrt", 13.75f + kPitch, row(0)},
    {"/", 13.75f, row(1)}, {"*", 13.75f + kPitch, row(1)},
    {"-", 13.75f, row(2)}, {"+", 13.75f + kPitch, row(2)},
    {"^", 13.75f, row(3)}, {"=", 13.75f + kPitch, (row(3) + row(4)) * 0.5f},
    {"INV", 18.25f, row(0)}, {"dB", 18.25f, row(1)}, {"ft", 18.25f, row(2)}, {"BPM", 18.25f, row(3)},
};

// Presses the keys of a space-separated sequence and answers the display.
std::string press(PageRig& page, const std::string& keys) {
    size_t at = 0;
    while (at < keys.size()) {
        size_t end = keys.find(' ', at);
        if (end == std::string::npos) end = keys.size();
        const std::string key = keys.substr(at, end - at);
        at = end + 1;
        bool found = false;
        for (const KeyPlace& place : kKeys) {
            if (key == place.name) {
                page.clickContent(place.x, place.y);
                found = true;
            }
        }
        EXPECT_TRUE(found) << key;
    }
    char text[64];
    page.editor.calculator().display(text, sizeof text);
    return text;
}

TEST(CalculatorPage, TheKeysComputeWhatThePocketCalculatorShows) {
    PageRig page(kPageCalculator);
    EXPECT_EQ(press(page, "2 + 3 ="), "5");
    EXPECT_EQ(press(page, "C 7 - 2 ="), "5") << "y - x";
    EXPECT_EQ(press(page, "C 2 ^ 1 0 ="), "1024");
    EXPECT_EQ(press(page, "C 1 / 0 ="), "inf");
    EXPECT_EQ(press(page, "C 5 +/- sqrt"), "err");
    EXPECT_EQ(press(page, "C 1 6 sqrt"), "4");
    EXPECT_EQ(press(page, "C 6 * 7 ="), "42");
    EXPECT_EQ(press(page, "C 2 + 3 * 4 ="), "20") << "operators act from left to right";
    EXPECT_EQ(press(page, "C 0"), "0");
    EXPECT_EQ(press(page, "C ."), "0.");
    EXPECT_EQ(press(page, "C 1 . 5 E 3 ="), "1500");
    EXPECT_EQ(press(page, "C 1 2 3 <<"), "12");
    EXPECT_EQ(press(page, "C pi"), "3.1415926536");
}

TEST(CalculatorPage, ConversionsOfDecibelsFeetAndTempo) {
    PageRig page(kPageCalculator);
    EXPECT_EQ(press(page, "1 2 0 BPM"), "0.5");
    EXPECT_EQ(press(page, "BPM"), "120") << "seconds per beat back to beats per minute";
    const std::string gain = press(page, "C 6 dB");
    EXPECT_EQ(gain.substr(0, 8), "1.995262");
    EXPECT_NEAR(page.editor.calculator().x, 1.995262, 1e-6);
    press(page, "INV dB");
    EXPECT_NEAR(page.editor.calculator().x, 6.0, 1e-9) << "gain back to decibels";
    EXPECT_TRUE(page.editor.calculator().inv) << "INV stays on after a conversion";
    EXPECT_EQ(press(page, "C 1 0 ft"), "3.048") << "clear turns INV off";
    EXPECT_EQ(press(page, "INV ft"), "10");
    const ProgramRecord before = page.rig.hostProgram();
    page.frame();
    const ProgramRecord afterFrame = page.rig.hostProgram();
    EXPECT_EQ(std::memcmp(&before, &afterFrame, sizeof before), 0) << "the calculator edits no program";
    EXPECT_FALSE(page.editor.history().canUndo());
}

}  // namespace
}  // namespace tarsk
