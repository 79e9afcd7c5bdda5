// Frame build of the Algorithm and I/O tabs, CPU only: one frame of the page alone (its widgets, the
// signal-flow diagram or the stereo field, the text of every label and box) built into the editor's draw
// list and flushed into a renderer that discards the batches. The faces are loaded for real, so text
// layout is included; no GL driver time is counted. Each tab is drawn in its fullest form (every
// structural option on, Multitap markers and boxes shown).
// Run: cmake --build build --target editor-pages-bench && build/bench/editor-pages-bench
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench-editor-quiet.h"
#include "editor/editor-pages.h"
#include "editor/page-algorithm.h"
#include "editor/page-io.h"
#include "editor/page-frame-support.h"  // tests/editor
#include "plugin/verb-effect.h"

namespace {

using benchsupport::DiscardingRenderer;
using benchsupport::quietHost;

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
