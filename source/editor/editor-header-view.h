// EditorHeaderView: the editor's first view until the editor shell arrives. With the context it loads
// the font maps of the chosen font style and the editor images from the library's resources (a font
// that is missing or refused stays empty and draws nothing); each frame it draws the background, the
// header (the metal texture across the bottom 4u, a bevel and the title in the caption style) and one
// line of sample text in every loaded face. It records the keys it receives for tests and takes
// character keys, leaving the others to the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tarsklib/ui-draw-list.h"
#include "tarsklib/ui-fontmap.h"
#include "tarsklib/ui-image.h"
#include "tarsklib/view.h"
#include "editor/editor-fonts.h"

namespace tarsk {

class GlRootView;

constexpr size_t kKeyLogEntries = 64;

inline constexpr const char* kEditorTitle = "TARSKVERB Feedback Delay Network Processor";

class EditorHeaderView final : public View {
public:
    explicit EditorHeaderView(GlRootView& root);

    // Layout unit in pixels (20 × display scale); the text scale follows it.
    void setUnit(float pixels) { unit = pixels; }
    // Font style (1 serif, 2 sans, 3 no family) and LOD bias used from the next contextCreated on.
    void setFonts(int fontStyle, float lodBias);

    void contextCreated(int openWindows) override;
    void contextReleased(int openWindows) override;
    // Draws into the root view's draw list and renderer.
    void draw() override;
    // The picture of one frame, built into list and flushed into renderer (nothing without one).
    void drawInto(DrawList& list, Renderer* renderer);
    bool key(bool down, uint32_t code) override;
    void notify(uint32_t code) override;
    void leftButton(bool pressed, float x, float y) override;

    // ---- inspection ----
    const UiFontmap& font(EditorFace face) const { return fonts[face]; }
    const UiImage& metal() const { return metalImage; }
    const UiImage& logo() const { return logoImage; }
    // Keys received, oldest first, at most kKeyLogEntries (later ones are dropped).
    size_t keyCount() const { return keysLogged; }
    uint32_t keyAt(size_t i) const { return i < keysLogged ? keyLog[i] : 0; }
    void clearKeys() { keysLogged = 0; }
    uint32_t notices() const { return noticeCount; }
    uint32_t clicks() const { return clickCount; }

private:
    void unloadAll();
    // drawText of the widgets: the text left-aligned in the box, vertically centred on the font's
    // middle, its shadow one pixel right and down first.
    void drawText(DrawList& list, EditorFace face, const char* text, float left, float bottom, float height, float size,
                  const UiColour& colour, const UiColour& shadow);

    GlRootView& root;
    float unit = 20.0f;
    int style = kFontStyleSans;
    float bias = -0.25f;
    UiFontmap fonts[kEditorFaceCount];
    UiImage metalImage;
    UiImage logoImage;
    uint32_t keyLog[kKeyLogEntries] = {};
    size_t keysLogged = 0;
    uint32_t noticeCount = 0;
    uint32_t clickCount = 0;
};

}  // namespace tarsk
