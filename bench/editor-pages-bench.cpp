// Frame build of the Algorithm and I/O tabs, CPU only: one frame of the page alone (its widgets, the
// signal-flow diagram or the stereo field, the text of every label and box) built into the editor's draw
// list and flushed into a renderer that discards the batches. The faces are loaded for real, so text
// layout is included; no GL driver time is counted. Each tab is drawn in its fullest form (every
// structural option on, Multitap markers and boxes shown).
// Run: cmake --build build --target editor-pages-bench && build/bench/editor-pages-bench
#include <benchmark/benchmark.h>

#include <cstdio>

#include "editor/editor-pages.h"
#include "editor/page-algorithm.h"
#include "editor/page-io.h"
#include "editor/page-frame-support.h"  // tests/editor
#include "plugin/verb-effect.h"

namespace {

intptr_t quietHost(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

class DiscardingRenderer final : public tarsk::Renderer {
public:
    bool makeCurrent() override { return true; }
    void release() override {}
    const char* vendor() const override { return ""; }
    const char* rendererName() const override { return "discard"; }
    const char* version() const override { return ""; }
    void beginFrame() override {}
    void setView(int, int, int, int, float, float, float, float) override {}
    void clear() override {}
    void endFrame() override {}
    void beginBatches() override {}
    bool drawBatch(const tarsk::DrawBatch& batch) override {
        benchmark::DoNotOptimize(batch.vertices);
        ++batches;
        return true;
    }
    void endBatches() override {}
    tarsk::TextureId createAlphaTexture(const tarsk::TextureLevel*, int, int, float) override { return 1; }
    tarsk::TextureId createRgbaTexture(const uint8_t*, int, int) override { return 1; }
    void deleteTexture(tarsk::TextureId) override {}
    long batches = 0;
};

void pageFrame(benchmark::State& state, void (*page)(tarsk::Editor&), tarsk::ViewWord word, int32_t tab) {
    DiscardingRenderer renderer;  // outlives the editor, whose faces give their textures back to it
    tarsk::VerbEffect effect(quietHost);
    tarsk::EditorSettings settings;
    tarsk::Editor editor(effect, nullptr, settings);
    if (!tarsk::test::loadEditorFaces(editor, renderer)) {
        state.SkipWithError("the editor's faces did not load");
        return;
    }
    tarsk::ProgramSnapshot snapshot;
    effect.snapshot(snapshot);
    snapshot.record.setU(tarsk::word::flags, tarsk::flag::multitap | tarsk::flag::crossMixing |
                                                 tarsk::flag::innerFeedback | tarsk::flag::tapOutputs);
    snapshot.record.setF(tarsk::word::halfLife, 1.0f);
    const uint8_t mask[tarsk::kChangeFlagCount] = {1, 0, 0, 0};
    effect.commit(snapshot, mask);
    editor.draw();  // takes the program
    editor.viewWord(word) = tab;
    for (int i = 0; i < 3; ++i) {
        tarsk::test::buildPageFrame(editor, page, &renderer);
    }
    const long before = renderer.batches;
    for (auto _ : state) {
        tarsk::test::buildPageFrame(editor, page, &renderer);
    }
    state.counters["batches"] =
        static_cast<double>(renderer.batches - before) / static_cast<double>(state.iterations());
}

void AlgorithmConfigFrame(benchmark::State& state) {
    pageFrame(state, tarsk::drawAlgorithmPage, tarsk::kViewAlgorithmTab, tarsk::kAlgorithmConfigTab);
}
void AlgorithmDelaysFrame(benchmark::State& state) {
    pageFrame(state, tarsk::drawAlgorithmPage, tarsk::kViewAlgorithmTab, tarsk::kAlgorithmDelaysTab);
}
void IoInputFrame(benchmark::State& state) {
    pageFrame(state, tarsk::drawIoPage, tarsk::kViewIoTab, tarsk::kIoInputTab);
}
void IoOutputFrame(benchmark::State& state) {
    pageFrame(state, tarsk::drawIoPage, tarsk::kViewIoTab, tarsk::kIoOutputTab);
}
BENCHMARK(AlgorithmConfigFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(AlgorithmDelaysFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(IoInputFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(IoOutputFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
