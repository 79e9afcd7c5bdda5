// The Info page: facts about the plug-in, the host it runs in, and the system (the engine's load and
// processing power, the GL driver of the editor's window), on three tabs.
#include <cstdio>

#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/info-figures.h"
#include "editor/page-frame.h"
#include "tarsklib/gl-root-view.h"
#include "tarsklib/ui-renderer.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupInfoTabs = 4096;
constexpr uint32_t kGroupInfoRows = 8192;
constexpr int32_t kInfoPlugin = 1;
constexpr int32_t kInfoHost = 2;
constexpr int32_t kInfoSystem = 3;
constexpr const char* kTabLabels[] = {"Plugin", "Host", "System"};
constexpr const char* kVersionLine = "version 0.7.6 (beta)";

constexpr float kTabSize = 12.0f;
constexpr float kRowSize = 10.0f;
constexpr float kNameSize = 16.0f;
constexpr float kVersionSize = 14.0f;
// Rows: captions end at x = 11u, values start at 11.5u; the first row at y = 9u, 1u apart.
constexpr float kCaptionRight = 11.0f;
constexpr float kValueLeft = 11.5f;
constexpr float kValueRight = 28.5f;
constexpr float kFirstRow = 9.0f;
constexpr double kPercent = 100.0;

struct Rows {
    Editor& editor;
    float u;
    int index = 0;

    void row(const char* caption, const char* value) {
        const float y = (kFirstRow - static_cast<float>(index)) * u;
        editor.useStyle(kStyleCaption);
        editor.label(0, edgeBox(3.0f * u, y - 0.5f * u, kCaptionRight * u, y + 0.5f * u), caption, kRowSize,
                     kAlignRight);
        editor.useStyle(kStylePlain);
        editor.label(0, edgeBox(kValueLeft * u, y - 0.5f * u, kValueRight * u, y + 0.5f * u), value, kRowSize,
                     kAlignLeft);
        ++index;
    }
};

void drawPluginRows(Editor& editor, float u) {
    const HostFacts facts = editor.host().hostFacts();
    editor.useStyle(kStylePlain);
    editor.setFont(editor.font(kFaceBoldItalic));
    editor.label(0, centredBox(16.0f * u, 7.5f * u, 20.0f * u, 1.2f * u), facts.effectName, kNameSize, kAlignCentre);
    editor.setFont(editor.font(kFaceItalic));
    editor.label(0, centredBox(16.0f * u, 6.25f * u, 20.0f * u, u), kVersionLine, kVersionSize, kAlignCentre);
    editor.useStyle(kStylePlain);
}

void drawHostRows(Editor& editor, float u) {
    const HostFacts facts = editor.host().hostFacts();
    Rows rows{editor, u};
    char text[64];
    rows.row("Product", facts.hostProduct);
    formatVersion(facts.hostVendorVersion, text, sizeof text);
    rows.row("Version", text);
    rows.row("Vendor", facts.hostVendor);
    formatVersion(facts.hostVstVersion, text, sizeof text);
    rows.row("VST Version", text);
    std::snprintf(text, sizeof text, "%1.0f Hz", static_cast<double>(editor.host().rate()));
    rows.row("Sample Rate", text);
    std::snprintf(text, sizeof text, "%1.1f BPM", static_cast<double>(editor.host().tempo()));
    rows.row("Tempo", text);
}

void drawSystemRows(Editor& editor, float u) {
    const LoadFigures figures = editor.host().loadFigures();
    const HostFacts facts = editor.host().hostFacts();
    Rows rows{editor, u};
    char text[64];
    std::snprintf(text, sizeof text, "%1.2f %%", static_cast<double>(figures.load) * kPercent);
    rows.row("Core Load", text);
    std::snprintf(text, sizeof text, "%1.2f Gflop/s", gigaflopsPerSecond(figures, facts.meterSeconds));
    rows.row("PP", text);
    GlRootView* root = editor.rootView();
    Renderer* renderer = root != nullptr ? root->renderer() : nullptr;
    rows.row("OpenGL Renderer", renderer != nullptr ? renderer->rendererName() : "");
    rows.row("OpenGL Vendor", renderer != nullptr ? renderer->vendor() : "");
    rows.row("OpenGL Version", renderer != nullptr ? renderer->version() : "");
    std::snprintf(text, sizeof text, "%d &times;", root != nullptr ? root->sampleCount() : 0);
    rows.row("MSAA Quality", text);
}

}  // namespace

void drawInfoPage(Editor& editor) {
    const float u = editor.unit();
    drawPageBackdrop(editor);

    int32_t& shown = editor.viewWord(kViewInfoTab);
    editor.pushGroup(kGroupInfoTabs, UiPoint{0.0f, 0.0f});
    editor.useStyle(kStylePlain);
    editor.setFont(editor.font(kFaceBold));
    for (int i = 0; i < 3; ++i) {
        const uint32_t id = static_cast<uint32_t>(i + 1);
        editor.button(id, centredBox((4.5f + 3.25f * static_cast<float>(i)) * u, 11.0f * u, 3.0f * u, u), kTabLabels[i],
                      kTabSize, shown == static_cast<int32_t>(id) ? 1 : 0, kAlignCentre);
    }
    const uint32_t chosen = editor.popGroup();
    if (chosen != 0) {
        shown = static_cast<int32_t>(chosen);
    }
    drawPageDivider(editor, edgeBox(3.0f * u, 10.25f * u, editor.windowWidth() - 3.0f * u, 10.3f * u));

    editor.pushGroup(kGroupInfoRows, UiPoint{0.0f, 0.0f});
    switch (shown) {
        case kInfoHost: drawHostRows(editor, u); break;
        case kInfoSystem: drawSystemRows(editor, u); break;
        case kInfoPlugin:
        default: drawPluginRows(editor, u); break;
    }
    editor.popGroup();
}

}  // namespace tarsk
