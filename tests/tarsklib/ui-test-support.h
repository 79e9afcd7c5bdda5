// Test support for the immediate-mode UI: a context driven frame by frame with scripted input, fake
// platform pieces, and a synthetic font, recording what each frame draws.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tarsklib/font-map-writer.h"
#include "tarsklib/recording-renderer.h"
#include "tarsklib/stream.h"
#include "tarsklib/ui-context.h"
#include "tarsklib/ui-fontmap.h"

namespace tarsk::test {

class FakeInput final : public PlatformInput {
public:
    bool down[16] = {};
    bool keyDown(int index) const override { return index >= 0 && index < 16 && down[index]; }
};

class FakeHost final : public UiHost {
public:
    int captures = 0;
    int focusRequests = 0;
    void captureChanged(UiContext&) override { ++captures; }
    void requestKeyboardFocus() override { ++focusRequests; }
};

class FakeClipboard final : public ClipboardSource {
public:
    int requests = 0;
    void requestText(UiContext&) override { ++requests; }
};

// Printable ASCII (advance 0.5 + (c % 7) * 0.05 em) plus "é" (U+00E9, advance 0.5) and "Ω" (U+03A9, 0.7);
// ascent 0.9, descent -0.25, line height 1.2, space width 0.3.
inline FontMapFile textFace() {
    FontMapFile f = asciiFace(64);
    f.glyphs.push_back(glyphRecord(0xE9, 0.5f, 0.02f, 0.72f, 0.46f, 0.9f));
    f.glyphs.push_back(glyphRecord(0x3A9, 0.7f, 0.02f, 0.72f, 0.66f, 0.9f));
    f.header.glyphCount = static_cast<uint32_t>(f.glyphs.size());
    return f;
}

// A headless context with a loaded face, fake host, modifiers and clipboard.
struct UiHarness {
    RecordingRenderer renderer;  // outlives the face, which gives its texture back to it
    UiFontmap font;
    FakeInput input;
    FakeHost host;
    FakeClipboard clipboard;
    UiContext ui;

    UiHarness() {
        const std::vector<uint8_t> bytes = writeFontMap(textFace());
        MemoryStream stream(bytes.data(), bytes.size());
        font.load(stream, kDefaultFontLodBias, &renderer);
        ui.setHost(&host);
        ui.setPlatformInput(&input);
        ui.setClipboard(&clipboard);
        ui.setRenderer(&renderer);
        ui.setFont(&font);
        ui.hoverChanged(true);
    }

    // One frame: the batches of the frame before are dropped, body runs between beginFrame and endFrame.
    template <typename Body>
    void frame(Body&& body) {
        renderer.batches.clear();
        ui.beginFrame();
        body();
        ui.endFrame();
    }
    void move(float x, float y) { ui.mouseMove(x, y); }
    void press(float x, float y) { ui.leftButton(true, x, y); }
    void release(float x, float y) { ui.leftButton(false, x, y); }
    void rightPress(float x, float y) { ui.rightButton(true, x, y); }
    void rightRelease(float x, float y) { ui.rightButton(false, x, y); }

    // Rectangles of solid colour (untextured triangle pairs of one colour) that the last frame drew.
    std::vector<UiRect> solidRects(const UiColour& colour) const {
        const uint32_t c = packColour(colour);
        std::vector<UiRect> rects;
        for (const auto& batch : renderer.batches) {
            if (batch.state.texture != 0 || batch.primitive != kPrimitiveTriangles) continue;
            for (size_t i = 0; i + 6 <= batch.vertices.size(); i += 6) {
                float l = 1e9f, r = -1e9f, b = 1e9f, t = -1e9f;
                bool same = true;
                for (size_t k = i; k < i + 6; ++k) {
                    const DrawVertex& v = batch.vertices[k];
                    same = same && v.colour == c;
                    l = std::min(l, v.x);
                    r = std::max(r, v.x);
                    b = std::min(b, v.y);
                    t = std::max(t, v.y);
                }
                if (same) rects.push_back({(l + r) / 2, (b + t) / 2, (r - l) / 2, (t - b) / 2});
            }
        }
        return rects;
    }
    // Vertices of the last frame in a colour (any batch).
    int verticesOfColour(const UiColour& colour) const {
        const uint32_t c = packColour(colour);
        int n = 0;
        for (const auto& batch : renderer.batches) {
            for (const DrawVertex& v : batch.vertices) n += v.colour == c ? 1 : 0;
        }
        return n;
    }
    int vertexCount() const {
        int n = 0;
        for (const auto& batch : renderer.batches) n += static_cast<int>(batch.vertices.size());
        return n;
    }
};

}  // namespace tarsk::test
