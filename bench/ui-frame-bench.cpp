// Building one editor frame with the immediate-mode widgets (CPU only, no GL): the widget gallery, and a
// page-sized screen of 150 widgets. Both record into the draw list and flush it into a renderer that only
// counts batches. Run: cmake --build build --target ui-frame-bench && build/bench/ui-frame-bench
#include <benchmark/benchmark.h>

#include <cstdio>

#include "tarsklib/ui-gallery.h"
#include "tarsklib/ui-number-format.h"
#include "tarsklib/ui-test-support.h"

namespace {

using namespace tarsk;

constexpr int kFaces = 11;  // the editor carries eleven font maps

void moveMouse(test::UiHarness& h, int frame) {
    h.move(static_cast<float>(300 + (frame * 37) % 400), static_cast<float>(40 + (frame * 53) % 500));
}

void galleryFrame(benchmark::State& state) {
    test::UiHarness h;
    h.renderer.keep = false;
    const UiFontmap* fonts[kFaces];
    for (const UiFontmap*& f : fonts) f = &h.font;
    GalleryState gallery;
    int frame = 0;
    for (auto _ : state) {
        moveMouse(h, frame++);
        h.ui.beginFrame();
        drawWidgetGallery(h.ui, gallery, fonts, kFaces, 7, 800.0f, 600.0f);
        h.ui.endFrame();
    }
    state.counters["batches/frame"] =
        benchmark::Counter(static_cast<double>(h.renderer.batchCount) / static_cast<double>(frame));
}
BENCHMARK(galleryFrame)->Unit(benchmark::kMicrosecond);

// A page as the editor's pages are built: rows of a label, a number box and a fader or button, with a
// few step buttons and paragraphs; 150 widgets in all.
void pageFrame(benchmark::State& state) {
    test::UiHarness h;
    h.renderer.keep = false;
    float values[40];
    float faders[20];
    for (int i = 0; i < 40; ++i) values[i] = 100.0f + static_cast<float>(i) * 37.0f;
    for (int i = 0; i < 20; ++i) faders[i] = static_cast<float>(i) / 20.0f;
    char names[40][16];
    for (int i = 0; i < 40; ++i) std::snprintf(names[i], sizeof names[i], "Parameter %d", i);
    int frame = 0;
    int widgets = 0;
    for (auto _ : state) {
        moveMouse(h, frame++);
        widgets = 0;
        h.ui.beginFrame();
        h.ui.pushGroup(0x10000, {0.0f, 600.0f});
        for (int i = 0; i < 40; ++i) {
            const float y = -10.0f - static_cast<float>(i % 20) * 28.0f;
            const float x = i < 20 ? 0.0f : 400.0f;
            const auto id = static_cast<uint32_t>(i * 4);
            h.ui.label(id, {x + 60.0f, y, 58.0f, 8.0f}, names[i], 12.0f, kAlignLeft);
            values[i] = h.ui.valueBox(id + 1, {x + 170.0f, y, 48.0f, 8.0f}, "@Hz", 12.0f, 20.0f, 20000.0f,
                                      values[i], kValueBoxLogarithmic, kAlignRight);
            if (i < 20) {
                faders[i] = h.ui.fader(id + 2, {x + 280.0f, y, 55.0f, 5.0f}, 0.0f, 1.0f, faders[i]);
            } else {
                h.ui.button(id + 2, {x + 280.0f, y, 55.0f, 8.0f}, "Reset", 12.0f, i % 2, kAlignCentre);
            }
            widgets += 3;
        }
        for (int i = 0; i < 25; ++i) {
            h.ui.stepButton(static_cast<uint32_t>(400 + i), {20.0f + static_cast<float>(i) * 30.0f, -570.0f, 12.0f, 8.0f},
                            "&lt;&gt;", 12.0f, 0, kAlignCentre);
            ++widgets;
        }
        for (int i = 0; i < 5; ++i) {
            h.ui.paragraph(static_cast<uint32_t>(500 + i), {80.0f + static_cast<float>(i) * 160.0f, -540.0f, 75.0f, 16.0f},
                           "A short note under the page explains what the controls above do.", 10.0f, i % 4);
            ++widgets;
        }
        h.ui.popGroup();
        h.ui.endFrame();
    }
    state.counters["widgets"] = widgets;
}
BENCHMARK(pageFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
