// The widget gallery as an editor view: an immediate-mode context that draws every widget with the
// editor's real font maps, shown in place of the editor's pages when a host asks for it (tarskverb-host
// editor --gallery).
#pragma once

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

    // With the window's context current: the font maps (textures through the root's renderer) and the
    // window's platform services.
    void contextCreated(int openWindows) override;
    void contextReleased(int openWindows) override;
    void draw() override;

    int loadedFonts() const;
    GalleryState& state() { return galleryState; }

private:
    void unloadFonts();

    GlRootView& root;
    RootViewUiHost uiHost;
    UiFontmap fonts[kGalleryFontCount];
    const UiFontmap* fontTable[kGalleryFontCount] = {};
    GalleryState galleryState;
};

}  // namespace tarsk
