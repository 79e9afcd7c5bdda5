#include "ui-gallery.h"

#include <cstdio>

#include "ui-fontmap.h"
#include "ui-number-format.h"

namespace tarsk {

namespace {

constexpr float kSizes[] = {9.0f, 12.0f, 16.0f};
constexpr const char* kSample = "Quick fox &amp; caf&eacute; 0123";
constexpr UiColour kPanel{0.05f, 0.05f, 0.12f, 1.0f};
constexpr UiColour kPanelTop{0.2f, 0.2f, 0.35f, 1.0f};
constexpr UiColour kWhite{1.0f, 1.0f, 1.0f, 1.0f};
constexpr UiColour kShadow{0.0f, 0.0f, 0.0f, 0.8f};

// Group ids: each section gets its own block of local ids.
constexpr uint32_t kFontsGroup = 0x1000;
constexpr uint32_t kButtonsGroup = 0x2000;
constexpr uint32_t kValuesGroup = 0x3000;
constexpr uint32_t kTextGroup = 0x4000;

constexpr int kBackdropLayer = 0;
constexpr int kWidgetLayer = 1;

const char* const kValueFormats[kGalleryValueBoxes] = {"@s", "@Hz", "$&times;", "%5.2f", "~off\0low\0mid\0high~"};
constexpr float kValueMin[kGalleryValueBoxes] = {0.001f, 20.0f, 0.5f, 0.0f, 0.0f};
constexpr float kValueMax[kGalleryValueBoxes] = {2.0f, 20000.0f, 8.0f, 1.0f, 3.0f};
constexpr uint32_t kValueMapping[kGalleryValueBoxes] = {kValueBoxLogarithmic, kValueBoxLogarithmic, kValueBoxLinear,
                                                        kValueBoxCyclic, kValueBoxLinear};

const UiFontmap* firstFont(const UiFontmap* const* fonts, int count) {
    for (int i = 0; i < count; ++i) {
        if (fonts[i] != nullptr) return fonts[i];
    }
    return nullptr;
}

// The right-hand column starts here; the text section's group origin lies this far below the top.
float rightColumn(float width) { return width * 0.38f + 8.0f; }
constexpr float kTextSectionDepth = 290.0f;
constexpr UiRect kTextAreaBox{130.0f, -150.0f, 126.0f, 30.0f};

}  // namespace

UiRect galleryTextAreaRect(float width, float height) {
    return {rightColumn(width) + kTextAreaBox.cx, height - kTextSectionDepth + kTextAreaBox.cy, kTextAreaBox.hw,
            kTextAreaBox.hh};
}

void drawWidgetGallery(UiContext& ui, GalleryState& state, const UiFontmap* const* fonts, int fontCount,
                       TextureId image, float width, float height) {
    const UiFontmap* main = firstFont(fonts, fontCount);
    UiStyle style = ui.style();
    style.font = main;
    style.shadow = kShadow;
    style.scale = 1.0f;
    ui.setStyle(style);
    // Backdrops in layer 0, widgets from layer 1 up: within a layer the draw list draws lines before
    // triangles, so a fader's lines must lie above the panel they are drawn on.
    DrawList& list = ui.drawList();
    list.setLayer(kBackdropLayer);
    ui.gradientBox(1, {width / 2, height / 2, width / 2, height / 2}, kPanel, kPanelTop);
    list.setLayer(kWidgetLayer);

    // Every face at every size, in the left column.
    const float column = width * 0.38f;
    ui.pushGroup(kFontsGroup, {0.0f, height});
    float y = -12.0f;
    for (int f = 0; f < fontCount; ++f) {
        if (fonts[f] == nullptr) continue;
        UiStyle faceStyle = style;
        faceStyle.font = fonts[f];
        ui.setStyle(faceStyle);
        for (float size : kSizes) {
            const float hh = size * 0.6f + 1.0f;
            y -= hh;
            ui.label(0, {column / 2, y, column / 2 - 4.0f, hh}, kSample, size, kAlignLeft);
            y -= hh;
        }
    }
    ui.setStyle(style);
    ui.popGroup();

    // Buttons: normal and highlighted rows, a disabled one, alignments; step buttons.
    const float right = rightColumn(width);
    const float cellW = 70.0f;
    ui.pushGroup(kButtonsGroup, {right, height - 20.0f});
    const char* const names[] = {"Left", "Right", "Centre"};
    for (int i = 0; i < 3; ++i) {
        for (int row = 0; row < 2; ++row) {
            const uint32_t id = static_cast<uint32_t>(1 + i * 2 + row);
            if (ui.button(id, {cellW / 2 + static_cast<float>(i) * (cellW + 4.0f), -static_cast<float>(row) * 22.0f,
                               cellW / 2, 10.0f},
                          names[i], 13.0f, row, i)) {
                ++state.clicks;
            }
        }
    }
    ui.button(kDisabledId, {cellW / 2 + 3.0f * (cellW + 4.0f), 0.0f, cellW / 2, 10.0f}, "Disabled", 13.0f, 0,
              kAlignCentre);
    state.steps += ui.stepButton(10, {cellW / 2 + 3.0f * (cellW + 4.0f), -22.0f, cellW / 2, 10.0f}, "&lt; Step &gt;",
                                 13.0f, 1, kAlignCentre);
    char count[32];
    std::snprintf(count, sizeof count, "clicks %d steps %d", state.clicks, state.steps);
    ui.label(11, {2.0f * cellW, -44.0f, 2.0f * cellW, 10.0f}, count, 12.0f, kAlignLeft);
    ui.popGroup();

    // Value controls: faders (one disabled), number boxes of every format kind, a scroll bar, handles.
    ui.pushGroup(kValuesGroup, {right, height - 90.0f});
    for (int i = 0; i < kGalleryFaders; ++i) {
        state.faders[i] = ui.fader(static_cast<uint32_t>(1 + i), {60.0f, -static_cast<float>(i) * 16.0f, 60.0f, 6.0f},
                                   0.0f, 1.0f, state.faders[i]);
    }
    ui.fader(kDisabledId, {60.0f, -48.0f, 60.0f, 6.0f}, 0.0f, 1.0f, 0.4f);
    char unit[16] = "";
    for (int i = 0; i < kGalleryValueBoxes; ++i) {
        state.values[i] = ui.valueBox(static_cast<uint32_t>(10 + i),
                                      {190.0f, -static_cast<float>(i) * 18.0f, 55.0f, 8.0f}, kValueFormats[i], 13.0f,
                                      kValueMin[i], kValueMax[i], state.values[i], kValueMapping[i], kAlignRight);
    }
    ui.valueBox(kDisabledId, {190.0f, -90.0f, 55.0f, 8.0f}, "#Hz", 13.0f, 20.0f, 20000.0f, 440.0f,
                kValueBoxLogarithmic, kAlignRight, unit, sizeof unit);
    ui.label(20, {270.0f, -90.0f, 20.0f, 8.0f}, unit, 13.0f, kAlignLeft);
    const UiRect bar{300.0f, -45.0f, 6.0f, 55.0f};
    state.scroll = ui.scrollBar(30, bar, 0.0f, 100.0f, state.scroll, 10.0f, {150.0f, -45.0f, 160.0f, 60.0f}, 1.0f);
    for (int mode = 0; mode < kGalleryHandles; ++mode) {
        const UiRect box{30.0f + static_cast<float>(mode) * 52.0f, -150.0f, 24.0f, 24.0f};
        list.setLayer(kBackdropLayer);
        ui.gradientBox(40, box, kPanelTop, kPanel);
        list.setLayer(kWidgetLayer);
        state.handles[mode] = ui.xyHandle(static_cast<uint32_t>(41 + mode), box, state.handles[mode], 4.0f, 1.0f, mode);
    }
    ui.popGroup();

    // Text: a paragraph in each alignment, an editable text area, an image.
    ui.pushGroup(kTextGroup, {right, height - kTextSectionDepth});
    static constexpr const char* kParagraph =
        "Words fill each line greedily; a justified paragraph spreads the spare width between its words, "
        "all but the last line.";
    for (int align = 0; align < 4; ++align) {
        ui.paragraph(static_cast<uint32_t>(1 + align),
                     {60.0f + static_cast<float>(align) * 122.0f, -50.0f, 58.0f, 50.0f}, kParagraph, 10.0f, align);
    }
    ui.textArea(10, kTextAreaBox, state.text, 13.0f, kAlignLeft, state.caret,
                static_cast<int>(kGalleryTextCapacity));
    if (image != 0) {
        ui.imageBox(11, {320.0f, -150.0f, 30.0f, 30.0f}, image, kWhite, kWhite);
    }
    ui.popGroup();
    ui.setStyle(style);
}

}  // namespace tarsk
