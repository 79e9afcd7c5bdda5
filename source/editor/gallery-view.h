// The widget gallery as an editor view: an immediate-mode context that draws every widget with the
// editor's real font maps, shown in place of the editor's pages when a host asks for it (tarskverb-host
// editor --gallery).
#pragma once

#include <memory>

#include "tarsklib/gl-root-view.h"
#include "tarsklib/ui-context.h"
#include "tarsklib/ui-fontmap.h"
#include "tarsklib/ui-gallery.h"
#include "tarsklib/ui-renderer.h"
#include "tarsklib/ui-root-host.h"

namespace tarsk {

// The gallery's window size at display scale 1 (its sections need more room than the editor's pages).
constexpr int kGalleryWidth = 900;
constexpr int kGalleryHeight = 620;
constexpr int kGalleryFontCount = 11;
// The font maps of the editor's resources, in the order the gallery shows them.
extern const char* const kGalleryFontFiles[kGalleryFontCount];

class GalleryView final : public UiContext {
public:
    explicit GalleryView(GlRootView& root);
    ~GalleryView() override;

    // With the window's context current: the renderer, the font maps and the window's platform services.
    void contextCreated(int openWindows) override;
    void contextReleased(int openWindows) override;
    void draw() override;

    int loadedFonts() const;
    GalleryState& state() { return galleryState; }

private:
    // The renderer's context: the root view's window surface.
    class SurfaceContext final : public RenderContext {
    public:
        explicit SurfaceContext(GlRootView& root) : root(root) {}
        bool makeCurrent() override;
        void release() override;

    private:
        GlRootView& root;
    };

    void unloadFonts();

    GlRootView& root;
    RootViewUiHost uiHost;
    SurfaceContext renderContext;
    std::unique_ptr<Renderer> renderer;
    UiFontmap fonts[kGalleryFontCount];
    const UiFontmap* fontTable[kGalleryFontCount] = {};
    GalleryState galleryState;
};

}  // namespace tarsk
