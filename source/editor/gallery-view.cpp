// The gallery view: makes its own renderer over the root view's window when the context is created,
// loads the eleven font maps through the resource opener and draws the gallery every frame.
#include "editor/gallery-view.h"

#include "tarsklib/platform-window.h"
#include "tarsklib/resource.h"
#include "tarsklib/stream.h"

namespace tarsk {

namespace {
constexpr float kFontLodBias = -0.5f;  // a little sharper than the mip level alone gives
constexpr const char* kRendererName = "OpenGL";
}  // namespace

const char* const kGalleryFontFiles[kGalleryFontCount] = {
    "hum521n.png", "hum521i.png", "hum521b.png", "hum521bi.png", "orggaran.png", "orggarai.png",
    "orggarab.png", "orggarbi.png", "micr.png", "lcddot.png", "symbols.png"};

bool GalleryView::SurfaceContext::makeCurrent() {
    PlatformWindow* window = root.platformWindow();
    return window != nullptr && window->surface().makeCurrent();
}

void GalleryView::SurfaceContext::release() {
    PlatformWindow* window = root.platformWindow();
    if (window != nullptr) {
        window->surface().release();
    }
}

GalleryView::GalleryView(GlRootView& r) : root(r), uiHost(r), renderContext(r) {
    flags = viewflag::kTakesButtons | viewflag::kTakesMoves | viewflag::kTakesHover | viewflag::kTakesWheel;
    setHost(&uiHost);
}

GalleryView::~GalleryView() {
    // Normally the context went first (contextReleased); otherwise the textures go with the context.
    if (renderer != nullptr && renderContext.makeCurrent()) {
        unloadFonts();
        renderer.reset();
        renderContext.release();
    }
}

void GalleryView::contextCreated(int /*openWindows*/) {
    PlatformWindow* window = root.platformWindow();
    if (window != nullptr) {
        setPlatformInput(window->input());
        setClipboard(window->clipboard());
    }
    renderer = createRenderer(kRendererName, &renderContext);
    setRenderer(renderer.get());
    for (int i = 0; i < kGalleryFontCount; ++i) {
        fontTable[i] = nullptr;
        std::unique_ptr<MemoryStream> stream = openResource(kGalleryFontFiles[i]);
        if (stream != nullptr && renderer != nullptr && fonts[i].load(*stream, kFontLodBias, renderer.get())) {
            fontTable[i] = &fonts[i];
        }
    }
}

void GalleryView::contextReleased(int /*openWindows*/) {
    unloadFonts();
    setRenderer(nullptr);
    renderer.reset();
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
    if (renderer == nullptr) {
        return;
    }
    const float w = width();
    const float h = height();
    const int pixelsW = static_cast<int>(w);
    const int pixelsH = static_cast<int>(h);
    renderer->beginFrame();
    // The gallery is the root's only child, at the window's origin.
    renderer->setView(static_cast<int>(x()), static_cast<int>(y()), pixelsW, pixelsH, w, h, 0.0f, 0.0f);
    beginFrame();
    drawWidgetGallery(*this, galleryState, fontTable, kGalleryFontCount, 0, w, h);
    endFrame();
    renderer->endFrame();
}

}  // namespace tarsk
