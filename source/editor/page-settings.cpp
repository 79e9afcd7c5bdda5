// The Settings page: display size, font style and start page of the editor, kept in the settings store
// when SAVE is pressed. A display-size or font-style choice takes effect in the running editor at once.
#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/page-frame.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupSettingsRows = 8192;
constexpr uint32_t kSaveButton = 1;
constexpr float kSaveSize = 10.0f;
constexpr float kRowSize = 12.0f;
constexpr float kCaptionRight = 8.0f;
constexpr float kChoiceWidth = 2.9f;
constexpr float kChoiceHeight = 0.9f;
constexpr float kChoiceColumns[] = {10.5f, 13.5f, 16.5f};

struct Choice {
    uint32_t id;
    const char* label;
};

constexpr Choice kSizeChoices[] = {{3, "small"}, {4, "normal"}, {5, "large"}};
constexpr float kScales[] = {0.8f, 1.0f, 1.2f};
constexpr Choice kStyleChoices[] = {{6, "serif"}, {7, "sans"}};
constexpr int kStyles[] = {kFontStyleSerif, kFontStyleSans};
constexpr Choice kStartChoices[] = {{8, "Summary"}, {9, "Editor"}, {10, "Library"}};
constexpr int kStartPages[] = {kPageSummary, kPageEditor, kPageLibrary};

constexpr float kSizeRow = 7.5f;
constexpr float kStyleRow = 6.0f;
constexpr float kStartRow = 4.5f;

// A caption and a row of choice buttons; answers the index of the clicked choice, or -1.
template <size_t Count>
int choiceRow(Editor& editor, float y, const char* caption, const Choice (&choices)[Count], int selected) {
    const float u = editor.unit();
    editor.useStyle(kStylePlain);
    editor.label(0, edgeBox(2.0f * u, (y - 0.5f) * u, kCaptionRight * u, (y + 0.5f) * u), caption, kRowSize,
                 kAlignRight);
    int clicked = -1;
    for (size_t i = 0; i < Count; ++i) {
        if (editor.button(choices[i].id, centredBox(kChoiceColumns[i] * u, y * u, kChoiceWidth * u, kChoiceHeight * u),
                          choices[i].label, kRowSize, static_cast<int>(i) == selected ? 1 : 0, kAlignCentre)) {
            clicked = static_cast<int>(i);
        }
    }
    return clicked;
}

// The index of the value in the table that equals it exactly, or -1.
template <typename T, size_t Count>
int indexOf(const T (&table)[Count], T value) {
    for (size_t i = 0; i < Count; ++i) {
        if (table[i] == value) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

void drawSettingsPage(Editor& editor) {
    const float u = editor.unit();
    drawPageBackdrop(editor);
    drawPageTitle(editor, "Settings");

    editor.setFont(editor.font(kFaceBold));
    if (editor.button(editor.settingsDirty() ? kSaveButton : kDisabledId,
                      centredBox(editor.windowWidth() - 4.5f * u, 11.0f * u, 3.0f * u, 0.9f * u), "SAVE", kSaveSize, 0,
                      kAlignCentre)) {
        editor.saveSettings();
    }

    EditorSettings& settings = editor.settings();
    editor.pushGroup(kGroupSettingsRows, UiPoint{0.0f, 0.0f});
    const int size = choiceRow(editor, kSizeRow, "Display Size", kSizeChoices, indexOf(kScales, settings.displayScale));
    const int style = choiceRow(editor, kStyleRow, "Font Style", kStyleChoices, indexOf(kStyles, settings.fontStyle));
    const int start = choiceRow(editor, kStartRow, "Start Page", kStartChoices, indexOf(kStartPages, settings.startPage));
    if (editor.popGroup() != 0) {
        editor.markSettingsDirty();
    }

    // The choices act after the page's widgets: a new scale changes every position from the next frame on.
    if (start >= 0) {
        settings.startPage = kStartPages[start];
    }
    if (style >= 0) {
        settings.fontStyle = kStyles[style];
        editor.reloadFonts();
        editor.setDisplayScale(settings.displayScale);
    }
    if (size >= 0) {
        editor.setDisplayScale(kScales[size]);
    }
}

}  // namespace tarsk
