// The Algorithm page: the network's structure (Config tab, with the signal-flow diagram and the tap-output
// levels) and the lengths, tap positions and decay scales of the four lines (Delays tab).
#include "editor/page-algorithm.h"

#include <algorithm>
#include <cmath>

#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/page-algorithm-flow.h"
#include "editor/tab-backdrop.h"
#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

// Group ids.
constexpr uint32_t kGroupTabs = 4096;
constexpr uint32_t kGroupBody = 8192;

// Config tab button ids.
constexpr uint32_t kIdFiltersBeforeOutput = 1;
constexpr uint32_t kIdMultitap = 2;
constexpr uint32_t kIdCrossMixing = 3;
constexpr uint32_t kIdInnerFeedback = 4;
constexpr uint32_t kIdTapOutputs = 5;
constexpr uint32_t kIdTapLevel = 6;  // 6, 7, 8

// Delays tab ids, each plus the line index 0..3.
constexpr uint32_t kIdFader = 4;
constexpr uint32_t kIdLength = 8;
constexpr uint32_t kIdTap = 12;  // tap k of line i: 12 + 4k + i
constexpr uint32_t kIdDecayScale = 24;

constexpr int kLineCount = 4;
constexpr int kTapCount = 3;

// Ranges of the controls.
constexpr float kFaderTop = 4.0f;  // the fader shows the square root of lengths 0..16
constexpr float kLengthMax = 16.0f;
constexpr float kTapPercentMin = 0.5f;
constexpr float kTapPercentMax = 99.5f;
constexpr float kDecayScaleMin = 0.25f;
constexpr float kDecayScaleMax = 4.0f;
constexpr float kPercent = 100.0f;

constexpr UiColour kPanel{1.0f, 1.0f, 1.0f, 0.2f};
constexpr UiColour kTapMarker{0.1f, 0.82f, 0.45f, 0.82f};

UiRect centred(float x, float y, float width, float height) { return UiRect{x, y, width * 0.5f, height * 0.5f}; }

bool flagOn(const ProgramRecord& record, uint32_t bit) { return (record.u(word::flags) & bit) != 0; }
void toggleFlag(ProgramRecord& record, uint32_t bit) { record.setU(word::flags, record.u(word::flags) ^ bit); }

void drawTabs(Editor& editor) {
    const float u = editor.unit();
    int32_t& tab = editor.viewWord(kViewAlgorithmTab);
    editor.pushGroup(kGroupTabs, UiPoint{0.0f, 0.0f});
    editor.useStyle(kStylePlain);
    editor.setFont(editor.font(kFaceBold));
    editor.button(1, centred(5.0f * u, 11.0f * u, 4.0f * u, u), "Config", 12.0f, tab == kAlgorithmConfigTab ? 1 : 0,
                  kAlignCentre);
    editor.button(2, centred(9.0f * u, 11.0f * u, 4.0f * u, u), "Delays", 12.0f, tab == kAlgorithmDelaysTab ? 1 : 0,
                  kAlignCentre);
    const UiGroup* g = editor.group();  // the divider takes window coordinates
    editor.divider(UiRect{(g != nullptr ? g->originX : 0.0f) + 13.0f * u,
                          (g != nullptr ? g->originY : 0.0f) + 10.5f * u - 0.5f, 10.0f * u, 0.5f});
    const uint32_t chosen = editor.popGroup();
    if (chosen != 0) {
        tab = static_cast<int32_t>(chosen);
    }
}

// One option: the square toggle at x and its caption to the right. A click is reported through the
// group's changed id, which the tab reads after closing its group.
void option(Editor& editor, uint32_t id, float x, float y, const char* caption, bool on) {
    const float u = editor.unit();
    editor.useStyle(kStylePlain);
    editor.button(id, centred(x, y, u, u), "&bull;", 12.0f, on ? 1 : 0, kAlignCentre);
    editor.label(0, UiRect{x + 0.75f * u + 4.5f * u, y, 4.5f * u, 0.5f * u}, caption, 12.0f, kAlignLeft);
}

// ---- Config tab ----------------------------------------------------------------------------------------

void drawConfigTab(Editor& editor) {
    const float u = editor.unit();
    ProgramRecord& record = editor.program();
    const bool multitap = flagOn(record, flag::multitap);
    const bool halfLifeOn = record.f(word::halfLife) > 0.0f;
    constexpr float kFirstRow = 10.0f;

    editor.pushGroup(kGroupBody, UiPoint{0.0f, 0.0f});
    option(editor, kIdMultitap, 3.5f * u, kFirstRow * u, "Multitap", multitap);
    option(editor, kIdFiltersBeforeOutput, 3.5f * u, (kFirstRow - 1.0f) * u, "Filters before output",
           flagOn(record, flag::filtersBeforeOutput));
    float tapRow = kFirstRow + 1.0f;
    if (multitap) {
        option(editor, kIdCrossMixing, 16.5f * u, kFirstRow * u, "Cross mixing", flagOn(record, flag::crossMixing));
        if (halfLifeOn) {
            option(editor, kIdInnerFeedback, 16.5f * u, (kFirstRow - 1.0f) * u, "Inner feedback",
                   flagOn(record, flag::innerFeedback));
            tapRow = kFirstRow;
        }
        const bool tapOutputs = flagOn(record, flag::tapOutputs);
        option(editor, kIdTapOutputs, 23.5f * u, tapRow * u, "Tap outputs", tapOutputs);
    }

    // The diagram lies under the options; the tap-output boxes are drawn over it.
    drawSignalFlow(editor, UiRect{16.0f * u, (tapRow - 4.0f) * u, 13.0f * u, 2.0f * u});

    if (multitap && flagOn(record, flag::tapOutputs)) {
        const float shift = tapBoxShift(record);
        editor.useStyle(kStylePlain);
        for (int k = 0; k < kTapCount; ++k) {
            const float shown = record.f(word::tapLevel + k) * kPercent;
            const float edited =
                editor.valueBox(kIdTapLevel + static_cast<uint32_t>(k),
                                centred((kTapBoxX[k] + shift) * u, (tapRow - 4.375f) * u, 2.0f * u, 0.75f * u),
                                "%1.1f", 12.0f, 0.0f, kPercent, shown, kValueBoxLinear, kAlignCentre);
            if (edited != shown) {
                record.setF(word::tapLevel + k, edited / kPercent);
            }
        }
    }

    const uint32_t changed = editor.popGroup();
    switch (changed) {
        case kIdFiltersBeforeOutput:
            toggleFlag(record, flag::filtersBeforeOutput);
            break;
        case kIdMultitap:
            toggleFlag(record, flag::multitap);
            break;
        case kIdCrossMixing:
            toggleFlag(record, flag::crossMixing);
            break;
        case kIdInnerFeedback:
            toggleFlag(record, flag::innerFeedback);
            break;
        case kIdTapOutputs:
            toggleFlag(record, flag::tapOutputs);
            break;
        default:
            break;
    }
    if (changed != 0) {
        editor.markChanged(kChangeCook | kChangeLengths);
    }
}

// ---- Delays tab ----------------------------------------------------------------------------------------

void drawDelaysTab(Editor& editor) {
    const float u = editor.unit();
    ProgramRecord& record = editor.program();
    const bool multitap = flagOn(record, flag::multitap);
    const UiGroup* page = editor.group();
    const float originX = page != nullptr ? page->originX : 0.0f;
    const float originY = page != nullptr ? page->originY : 0.0f;

    editor.pushGroup(kGroupBody, UiPoint{0.0f, 0.0f});
    DrawList& list = editor.drawList();
    list.setLayer(list.layer() - 1);  // under the faders
    list.fillRect(UiRect{originX + 9.5f * u, originY + 6.25f * u, 6.25f * u, 3.0f * u}, kPanel);
    list.setLayer(list.nextLayer());
    editor.useStyle(kStylePlain);
    editor.label(0, centred(17.5f * u, 11.0f * u, 3.0f * u, u), "Outer", 12.0f, kAlignCentre);
    editor.label(0, centred(22.375f * u, 11.0f * u, 3.0f * u, u), "Inner", 12.0f, kAlignCentre);
    editor.label(0, centred(27.5f * u, 11.0f * u, 3.0f * u, u), "Half Life", 12.0f, kAlignCentre);

    constexpr float kFaderLeft = 3.5f;
    constexpr float kFaderWidth = 12.0f;
    for (int i = 0; i < kLineCount; ++i) {
        const uint32_t line = static_cast<uint32_t>(i);
        const float y = (static_cast<float>(3 - i) * 1.5f + 4.0f) * u;
        const float length = record.f(word::delayLength + i);

        const float root = std::sqrt(std::max(length, 0.0f));
        const float moved = editor.fader(kIdFader + line, UiRect{(kFaderLeft + kFaderWidth * 0.5f) * u, y,
                                                                   kFaderWidth * 0.5f * u, 0.3f * u},
                                         0.0f, kFaderTop, root);
        if (moved != root) {
            record.setF(word::delayLength + i, moved * moved);
        }

        const float shownLength = record.f(word::delayLength + i);
        // Programs may hold lines longer than the box's range (many factory programs do): the range
        // then reaches up to the stored length, so that a nudge moves it a little instead of cutting
        // it down to the range's end.
        const float lengthMax = std::isfinite(shownLength) ? std::max(kLengthMax, shownLength) : kLengthMax;
        const float typed = editor.valueBox(kIdLength + line, centred(17.5f * u, y, 2.75f * u, u), "%1.4f", 14.0f,
                                            0.0f, lengthMax, shownLength, kValueBoxLinear, kAlignCentre);
        if (typed != shownLength) {
            record.setF(word::delayLength + i, typed);
        }

        if (multitap) {
            const float current = std::max(record.f(word::delayLength + i), 0.0f);
            for (int k = 0; k < kTapCount; ++k) {
                const float position = std::clamp(record.f(word::tap1 + 4 * k + i), 0.0f, 1.0f);
                const float along = std::min(std::sqrt(current * position), kFaderTop);
                const float x = originX + kFaderLeft * u + along / kFaderTop * kFaderWidth * u;
                list.fillRect(UiRect{x, originY + y, 0.1f * u, 0.3f * u}, kTapMarker);
            }
            for (int k = 0; k < kTapCount; ++k) {
                const int index = word::tap1 + 4 * k + i;
                const float shown = record.f(index) * kPercent;
                const float x = (19.75f + 1.75f * static_cast<float>(k) + 0.875f) * u;
                const float edited =
                    editor.valueBox(kIdTap + 4 * static_cast<uint32_t>(k) + line, centred(x, y, 1.75f * u, u), "%1.1f",
                                    12.0f, kTapPercentMin, kTapPercentMax, shown, kValueBoxLinear, kAlignCentre);
                if (edited != shown) {
                    record.setF(index, edited / kPercent);
                }
            }
        }

        const float scale = record.f(word::decayScale + i);
        const float newScale =
            editor.valueBox(kIdDecayScale + line, centred(27.5f * u, y, 2.75f * u, u), "%1.2f &times;", 12.0f,
                            kDecayScaleMin, kDecayScaleMax, scale, kValueBoxLogarithmic, kAlignCentre);
        if (newScale != scale) {
            record.setF(word::decayScale + i, newScale);
        }
    }

    const uint32_t changed = editor.popGroup();
    if (changed >= kIdTap && changed < kIdDecayScale) {
        const uint32_t n = changed - kIdTap;
        keepTapsInOrder(record, static_cast<int>(n % kLineCount), static_cast<int>(n / kLineCount));
    }
    if (changed != 0) {
        editor.markChanged(kChangeCook | kChangeLengths);
    }
}

}  // namespace

void keepTapsInOrder(ProgramRecord& record, int line, int edited) {
    if (line < 0 || line >= kLineCount) {
        return;
    }
    const int i1 = word::tap1 + line;
    const int i2 = word::tap2 + line;
    const int i3 = word::tap3 + line;
    switch (edited) {
        case 0:
            record.setF(i2, std::max(record.f(i2), record.f(i1)));
            record.setF(i3, std::max(record.f(i3), record.f(i2)));
            break;
        case 1:
            record.setF(i3, std::max(record.f(i3), record.f(i2)));
            record.setF(i1, std::min(record.f(i1), record.f(i2)));
            break;
        case 2:
            record.setF(i2, std::min(record.f(i2), record.f(i3)));
            record.setF(i1, std::min(record.f(i1), record.f(i2)));
            break;
        default:
            break;
    }
}

float tapBoxShift(const ProgramRecord& record) {
    const uint32_t flags = record.u(word::flags);
    const bool mixing = (flags & (flag::crossMixing | flag::innerFeedback)) != 0;
    const bool halfLifeOn = record.f(word::halfLife) != 0.0f;
    const bool filtersFirst = (flags & flag::filtersBeforeOutput) != 0;
    if (!halfLifeOn) {
        return mixing ? 0.25f : 0.5f;
    }
    if (mixing) {
        return filtersFirst ? 0.5f : 0.0f;
    }
    return filtersFirst ? 0.75f : 0.25f;
}

void drawAlgorithmPage(Editor& editor) {
    // The background and the panels in the page's layer; lines and widgets one layer up, since a layer
    // draws its lines before its filled shapes.
    DrawList& list = editor.drawList();
    const int32_t base = list.layer();
    drawTabBackdrop(editor);
    list.setLayer(base + 1);
    drawTabs(editor);
    switch (editor.viewWord(kViewAlgorithmTab)) {
        case kAlgorithmConfigTab:
            drawConfigTab(editor);
            break;
        case kAlgorithmDelaysTab:
            drawDelaysTab(editor);
            break;
        default:
            break;
    }
    list.setLayer(base);
}

}  // namespace tarsk
