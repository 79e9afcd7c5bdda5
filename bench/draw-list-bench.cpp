// Draw-list benchmarks (CPU only, no GL): building and flushing a screen of text, and the primitives.
// Run: cmake --build build --target draw-list-bench && build/bench/draw-list-bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tarsklib/font-map-writer.h"
#include "tarsklib/recording-renderer.h"
#include "tarsklib/ui-draw-list.h"
#include "tarsklib/ui-fontmap.h"

namespace {

using namespace tarsk;

// Three faces and 100 lines of 20 characters: 2,000 glyphs per frame, a background per line, clips
// and layers as a page of the editor uses them.
struct TextScreen {
    test::RecordingRenderer renderer;
    UiFontmap faces[3];
    DrawList list;
    std::vector<std::string> lines;

    TextScreen() {
        renderer.keep = false;
        for (UiFontmap& face : faces) {
            std::vector<uint8_t> bytes = test::writeFontMap(test::asciiFace(256));
            MemoryStream stream(bytes.data(), bytes.size());
            face.load(stream, kDefaultFontLodBias, &renderer);
        }
        for (int i = 0; i < 100; ++i) {
            std::string line = "Line " + std::to_string(i) + " &amp; decay ";
            line.resize(20 + 4, '.');  // 20 glyphs: the reference counts as one
            lines.push_back(line);
        }
    }

    void frame() {
        for (int i = 0; i < 100; ++i) {
            float y = 4.0f + static_cast<float>(i % 50) * 12.0f;
            float x = i < 50 ? 4.0f : 324.0f;
            list.setLayer(0);
            list.setClip({x + 150, y + 6, 150, 6});
            list.fillRect({x + 150, y + 6, 150, 6}, {0.08f, 0.02f, 0.88f, 0.5f});
            list.setLayer(1);
            faces[i % 3].drawString(list, x + 1, y - 1, {0, 0, 0, 0.5f}, 11, lines[static_cast<size_t>(i)].c_str());
            faces[i % 3].drawString(list, x, y, {1, 0.78f, 0.4f, 1}, 11, lines[static_cast<size_t>(i)].c_str());
        }
        list.resetClip();
        list.flush(&renderer);
    }
};

void BM_TextScreenBuildAndFlush(benchmark::State& state) {
    TextScreen screen;
    screen.frame();
    for (auto _ : state) {
        screen.frame();
        benchmark::ClobberMemory();
    }
    // Each line is drawn twice (shadow and text).
    state.counters["glyphs/frame"] = 2 * 2000;
    state.counters["draws/frame"] = static_cast<double>(screen.list.stats().drawCalls);
    state.SetItemsProcessed(state.iterations() * 4000);
}
BENCHMARK(BM_TextScreenBuildAndFlush)->Unit(benchmark::kMicrosecond);

void BM_MeasureLine(benchmark::State& state) {
    TextScreen screen;
    float total = 0.0f;
    for (auto _ : state) {
        for (const std::string& line : screen.lines) {
            total += screen.faces[0].textWidth(line.c_str());
        }
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_MeasureLine)->Unit(benchmark::kMicrosecond);

void BM_RectsAcrossLayersAndClips(benchmark::State& state) {
    test::RecordingRenderer renderer;
    renderer.keep = false;
    DrawList list;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            list.setLayer(i % 4);
            if (i % 100 == 0) {
                list.setClip({static_cast<float>(i % 300), 100, 50, 50});
            }
            list.fillRect({static_cast<float>(i % 640), static_cast<float>(i % 320), 4, 4}, {1, 1, 1, 1});
        }
        list.resetClip();
        list.flush(&renderer);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_RectsAcrossLayersAndClips)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
