// EditorWindow: the editor as the effect object's editor view. It holds the root view with its
// platform window and the Editor below it, answers the host's editor opcodes and drives the
// window's frame from effEditIdle.
#pragma once

#include <cstdint>
#include <memory>

#include "editor/editor.h"
#include "editor/editor-settings.h"
#include "editor/gallery-view.h"
#include "plugin/editor-view.h"
#include "plugin/vst2-abi.h"
#include "tarsklib/gl-root-view.h"

namespace tarsk {

class EffectBase;

constexpr float kUnitPixels = 20.0f;  // layout unit u at display scale 1
constexpr float kEditorWidthUnits = 32.0f;
constexpr float kEditorHeightUnits = 16.0f;

// The key value for a key that a host hands over with effEditKeyDown (0 for none).
uint32_t keyValueFromHost(int32_t character, intptr_t virtualKey);

class EditorWindow final : public EditorView {
public:
    // host: what the editor reads and writes of the effect (the effect object itself); the settings
    // give the display scale, the font style and the fonts' LOD bias.
    EditorWindow(EffectBase& effect, EditorHost& host, const EditorSettings& settings);
    ~EditorWindow() override;

    bool getRect(void* rectOut) override;
    bool open(void* parentWindow) override;
    void close() override;
    bool postCommand(uint32_t command) override;
    void idle() override;
    bool hostKey(bool down, int32_t character, intptr_t virtualKey, float modifiers) override;
    // The widget gallery replaces the editor view (only while the window is closed) and the editor
    // rectangle grows to the gallery's size.
    bool showGallery() override;
    bool showPage(int32_t page) override;
    bool showTab(int32_t tab) override;
    // Asks for a new window size (pixels): the window, the views and the host follow between frames.
    bool requestSize(int width, int height);

    // ---- inspection ----
    GlRootView& rootView() { return root; }
    Editor& editor() { return view; }
    bool isOpen() const { return root.isOpen(); }
    GalleryView* galleryView() { return gallery.get(); }

private:
    class Root final : public GlRootView {
    public:
        explicit Root(EditorWindow& owner) : owner(owner) {}
        // A rebuild command carries the new window size: the window, the views and the host follow.
        void command(uint32_t a, uint32_t b) override;

    private:
        EditorWindow& owner;
    };

    void applySize(int width, int height);

    EffectBase& effect;
    Root root;
    Editor view;
    std::unique_ptr<GalleryView> gallery;  // made on request only
    vst2::ERect rect{};
    int hostMode = 0;
};

}  // namespace tarsk
