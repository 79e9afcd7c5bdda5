// The gallery view: when the context is created it loads the eleven font maps through the resource
// opener, their textures made by the root view's renderer; every frame it draws the gallery.
#include "editor/gallery-view.h"

#include <memory>

#include "tarsklib/platform-window.h"
#include "tarsklib/resource.h"
#include "tarsklib/stream.h"

namespace tarsk {

namespace {
constexpr float kFontLodBias = -0.5f;  // a little sharper than the mip level alone gives
}  // namespace

const char* const kGalleryFontFiles[kGalleryFontCount] = {
    "hum521n.png", "hum521i.png", "hum521b.png", "hum521bi.png", "orggaran.png", "orggarai.png",
    "orggarab.png", "orggarbi.png", "micr.png", "lcddot.png", "symbols.png"};

GalleryView::GalleryView(GlRootView& r) : root(r), uiHost(r) {
    flags = viewflag::kTakesButtons | viewflag::kTakesMoves | viewflag::kTakesHover | viewflag::kTakesWheel;
    setHost(&uiHost);
}

// The fonts gave their textures back when the context went (contextReleased).
GalleryView::~GalleryView() = default;

void GalleryView::contextCreated(int /*openWindows*/) {
    PlatformWindow* window = root.platformWindow();
    if (window != nullptr) {
        setPlatformInput(window->input());
        setClipboard(window->clipboard());
    }
    Renderer* renderer = root.renderer();
    for (int i = 0; i < kGalleryFontCount; ++i) {
        fontTable[i] = nullptr;
        std::unique_ptr<MemoryStream> stream = openResource(kGalleryFontFiles[i]);
        if (stream != nullptr && renderer != nullptr && fonts[i].load(*stream, kFontLodBias, renderer)) {
            fontTable[i] = &fonts[i];
        }
    }
}

void GalleryView::contextReleased(int /*openWindows*/) {
    unloadFonts();
    setRenderer(nullptr);
    setPlatformInput(nullptr);
    setClipboard(nullptr);
}

void GalleryView::unloadFonts() {
    for (int i = 0; i < kGalleryFontCount; ++i) {
        fonts[i].unload();
        fontTable[i] = nullptr;
    }
}

int GalleryView::loadedFonts() const {
    int count = 0;
    for (const UiFontmap* font : fontTable) {
        count += font != nullptr ? 1 : 0;
    }
    return count;
}

void GalleryView::draw() {
    // The root view has mapped its renderer onto this view's box.
    Renderer* renderer = root.renderer();
    if (renderer == nullptr) {
        return;
    }
    setRenderer(renderer);
    beginFrame();
    drawWidgetGallery(*this, galleryState, fontTable, kGalleryFontCount, 0, width(), height());
    endFrame();
}

}  // namespace tarsk
