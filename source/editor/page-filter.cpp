// The Filter page: the Linear tab (loop filters and inverter with the decay graph) and the Nonlinear
// tab (the saturator's emphasis, drive and overunity with its transfer curve).
#include <cstdio>

#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/filter-rows.h"
#include "editor/page-filter-graph.h"
#include "editor/tab-backdrop.h"
#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupFilterTabs = 4096;
constexpr uint32_t kGroupFilterBody = 8192;
constexpr int32_t kLinearTab = 1;
constexpr int32_t kNonlinearTab = 2;

constexpr uint32_t kLowcutId = 1;
constexpr uint32_t kMidCenterId = 2;
constexpr uint32_t kMidQId = 3;
constexpr uint32_t kMidStretchId = 4;
constexpr uint32_t kHighcutId = 5;
constexpr uint32_t kInverterId = 6;
constexpr uint32_t kGraphId = 100;

constexpr uint32_t kEmphasisLowId = 1;
constexpr uint32_t kDriveId = 4;
constexpr uint32_t kOverunityId = 5;

// One row of the Linear tab: caption right-aligned up to 7u, value box 3u wide at 9.5u.
float filterRow(Editor& editor, float y, const char* caption, uint32_t id, const char* text, float min, float max,
                float value, uint32_t mapping) {
    const float u = editor.unit();
    editor.useStyle(kStylePlain);
    editor.label(0, centredRect(4.5f * u, y, 5.0f * u, u), caption, 12.0f, kAlignRight);
    return editor.valueBox(id, centredRect(9.5f * u, y, 3.0f * u, u), text, 12.0f, min, max, value, mapping,
                           kAlignCentre);
}

void setIfChanged(ProgramRecord& p, int w, float value) {
    if (value != p.f(w)) {
        p.setF(w, value);
    }
}

void drawLinearTab(Editor& editor) {
    const float u = editor.unit();
    ProgramRecord& p = editor.program();
    const float halfLife = p.f(word::halfLife);
    const bool beforeOutput = (p.u(word::flags) & flag::filtersBeforeOutput) != 0;
    if (halfLife == 0.0f && !beforeOutput) {
        return;  // the loop filters have no effect
    }
    drawDecayGraph(editor, kGraphId, centredRect(21.5f * u, 6.5f * u, 15.0f * u, 9.0f * u));

    char text[kFilterTextSize];
    float y = 8.5f * u;
    if (halfLife != 0.0f) {
        formatLowcutText(text, sizeof text, p.f(word::lowcut));
        setIfChanged(p, word::lowcut,
                     filterRow(editor, y, "Lowcut", kLowcutId, text, 2.0f, 2000.0f, p.f(word::lowcut),
                               kValueBoxLogarithmic));
        y -= u;
        formatHertzText(text, sizeof text, p.f(word::midCenter));
        setIfChanged(p, word::midCenter,
                     filterRow(editor, y, "Mid Center", kMidCenterId, text, 24.0f, 16000.0f, p.f(word::midCenter),
                               kValueBoxLogarithmic));
        char realised[kFilterTextSize];
        std::snprintf(realised, sizeof realised, "(%.0f Hz)",
                      static_cast<double>(editor.analysis().cooked(editor).midCenterRealised));
        editor.label(0, centredRect(12.0f * u, y, 4.0f * u, u), realised, 12.0f, kAlignRight);
        y -= u;
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(p.f(word::midQ)));
        setIfChanged(p, word::midQ,
                     filterRow(editor, y, "Mid Q", kMidQId, text, 0.2f, 3.0f, p.f(word::midQ), kValueBoxLinear));
        y -= u;
        std::snprintf(text, sizeof text, "%.2f &times;", static_cast<double>(p.f(word::midStretch)));
        setIfChanged(p, word::midStretch,
                     filterRow(editor, y, "Mid Stretch", kMidStretchId, text, 0.1f, 16.0f, p.f(word::midStretch),
                               kValueBoxLogarithmic));
        y -= u;
        formatOffAboveText(text, sizeof text, p.f(word::highcut));
        setIfChanged(p, word::highcut,
                     filterRow(editor, y, "Highcut", kHighcutId, text, 50.0f, 50001.0f, p.f(word::highcut),
                               kValueBoxLogarithmic));
        y -= u;
    } else {
        y -= u;  // the Inverter keeps its place as the second row
    }
    formatOffAboveText(text, sizeof text, p.f(word::inverter));
    setIfChanged(p, word::inverter,
                 filterRow(editor, y, "Inverter", kInverterId, text, 0.25f, 50001.0f, p.f(word::inverter),
                           kValueBoxLogarithmic));
}

void drawNonlinearTab(Editor& editor) {
    const float u = editor.unit();
    ProgramRecord& p = editor.program();
    drawTransferCurve(editor, centredRect(21.5f * u, 6.5f * u, 14.0f * u, 9.0f * u));

    editor.useStyle(kStylePlain);
    editor.label(0, centredRect(4.5f * u, 8.0f * u, 5.0f * u, u), "Emphasis", 14.0f, kAlignRight);
    const uint32_t flags = p.u(word::flags);
    const uint32_t emphasis = (flags & flag::emphasisMask) >> flag::emphasisShift;
    static constexpr const char* kEmphasisText[] = {"L", "N", "H"};
    for (uint32_t k = 0; k < 3; ++k) {
        if (editor.button(kEmphasisLowId + k, centredRect((8.5f + static_cast<float>(k)) * u, 8.0f * u, u, u),
                          kEmphasisText[k], 14.0f, emphasis == k ? 1 : 0, kAlignCentre)) {
            p.setU(word::flags, (flags & ~flag::emphasisMask) | (k << flag::emphasisShift));
        }
    }

    char text[kFilterTextSize];
    editor.label(0, centredRect(4.5f * u, 6.5f * u, 5.0f * u, u), "Drive", 14.0f, kAlignRight);
    std::snprintf(text, sizeof text, "%.1f &times;", static_cast<double>(p.f(word::drive)));
    setIfChanged(p, word::drive,
                 editor.valueBox(kDriveId, centredRect(9.5f * u, 6.5f * u, 3.0f * u, u), text, 14.0f, 0.0f, 50.0f,
                                 p.f(word::drive), kValueBoxLinear, kAlignCentre));
    editor.label(0, centredRect(4.5f * u, 5.0f * u, 5.0f * u, u), "Overunity", 14.0f, kAlignRight);
    std::snprintf(text, sizeof text, "%.1f &times;", static_cast<double>(p.f(word::overunity)));
    setIfChanged(p, word::overunity,
                 editor.valueBox(kOverunityId, centredRect(9.5f * u, 5.0f * u, 3.0f * u, u), text, 14.0f, 0.0f,
                                 15.0f, p.f(word::overunity), kValueBoxLinear, kAlignCentre));
}

}  // namespace

void drawFilterPage(Editor& editor) {
    const float u = editor.unit();
    drawTabBackdrop(editor);

    int32_t& tab = editor.viewWord(kViewFilterTab);
    editor.pushGroup(kGroupFilterTabs, UiPoint{0.0f, 0.0f});
    editor.setFont(editor.font(kFaceBold));
    editor.button(static_cast<uint32_t>(kLinearTab), centredRect(5.0f * u, 11.0f * u, 4.0f * u, u), "Linear", 12.0f,
                  tab == kLinearTab ? 1 : 0, kAlignCentre);
    editor.button(static_cast<uint32_t>(kNonlinearTab), centredRect(9.0f * u, 11.0f * u, 4.0f * u, u), "Nonlinear",
                  12.0f, tab == kNonlinearTab ? 1 : 0, kAlignCentre);
    editor.divider(inWindow(editor, UiRect{10.0f * u, 10.5f * u - 0.5f, 7.0f * u, 0.5f}));
    const uint32_t chosen = editor.popGroup();
    if (chosen != 0) {
        tab = static_cast<int32_t>(chosen);
    }

    editor.pushGroup(kGroupFilterBody, UiPoint{0.0f, 0.0f});
    if (tab == kNonlinearTab) {
        drawNonlinearTab(editor);
    } else if (tab == kLinearTab) {
        drawLinearTab(editor);
    }
    if (editor.popGroup() != 0) {
        editor.markChanged(kChangeCook);
    }
}

}  // namespace tarsk
