// Frame build of the Modulation tab under a private Xvfb (the editor open, so its fonts and images are
// loaded), at display scale 1, for each of its five views (LFO1, LFO2, ENV GENERAL, DECAY, OUTPUT):
//   ModulationPageBuild/view  the page alone: beginFrame, the page in its group, endFrame flushing the
//                   draw list into a renderer that discards the batches (no GL driver time).
//   ModulationFrameBuild/view the editor's whole frame on that view: snapshot, header, page, analysis strip,
//                   tabs, icons, flush, write-back.
// Run: cmake --build build --target page-modulation-bench && build/bench/page-modulation-bench
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include <cstdio>
#include <string>

#include "editor-bench-support.h"
#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "engine/modulation.h"
#include "host/xvfb-server.h"
#include "plugin/verb-effect.h"

namespace {

using benchsupport::DiscardingRenderer;
using benchsupport::quietHost;
using benchsupport::Screen;

Screen& screen() {
    static Screen s{"page-modulation-bench"};
    return s;
}

// View n: 0 LFO1, 1 LFO2, 2 ENV GENERAL, 3 ENV DECAY, 4 ENV OUTPUT; a program with every section in use.
void showView(tarsk::VerbEffect& effect, tarsk::Editor& editor, int64_t n) {
    tarsk::ProgramSnapshot snap;
    if (effect.snapshot(snap)) {
        snap.record.setF(tarsk::word::decaySlope, 0.5f);
        snap.record.setF(tarsk::word::decayThreshold, -30.0f);
        snap.record.setF(tarsk::word::support, 0.2f);
        snap.record.setF(tarsk::word::outputRatio, 3.0f);
        snap.record.setF(tarsk::word::outputThreshold, -20.0f);
        snap.record.setF(tarsk::word::lfo1 + tarsk::lfo::spread, 100.0f);
        snap.record.setU(tarsk::word::lfo2 + tarsk::lfo::shape, tarsk::lfoShape::triangle);
        const uint8_t mask[tarsk::kChangeFlagCount] = {1, 1, 1, 1};
        effect.commit(snap, mask);
    }
    editor.setPage(tarsk::kPageEditor);
    editor.setSubPage(tarsk::kTabModulation);
    editor.viewWord(tarsk::kViewModulationSourceTab) = n < 2 ? static_cast<int32_t>(n + 1) : 3;
    editor.viewWord(tarsk::kViewModulationEnvelopeTab) = n < 2 ? 1 : static_cast<int32_t>(n - 1);
}

template <bool kPageOnly>
void modulationBuild(benchmark::State& state) {
    if (!screen().ok) {
        state.SkipWithError("no Xvfb");
        return;
    }
    tarsk::VerbEffect effect(quietHost);
    effect.dispatch(vst2::effEditOpen, 0, 0, screen().parentPointer(), 0);
    effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
    DiscardingRenderer renderer;
    tarsk::Editor& editor = effect.editor()->editor();
    if (!editor.font(tarsk::kFaceRegular)->loaded()) {
        state.SkipWithError("the editor's fonts did not load");
    }
    editor.useRenderer(&renderer);
    showView(effect, editor, state.range(0));
    editor.draw();
    editor.draw();
    editor.setRenderer(&renderer);
    for (auto _ : state) {
        if (kPageOnly) {
            editor.beginFrame();
            editor.pushGroup(tarsk::kGroupPage, tarsk::UiPoint{0.0f, editor.headerHeight()});
            tarsk::drawModulationPage(editor);
            editor.popGroup();
            editor.endFrame();
            editor.flushHeldFrame();
        } else {
            editor.draw();
        }
    }
    // The page's own vertices, counted before the flush empties the list.
    editor.beginFrame();
    editor.pushGroup(tarsk::kGroupPage, tarsk::UiPoint{0.0f, editor.headerHeight()});
    tarsk::drawModulationPage(editor);
    editor.popGroup();
    state.counters["page_vertices"] = editor.drawList().stats().vertices;
    editor.endFrame();
    editor.flushHeldFrame();
    editor.useRenderer(nullptr);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}

void ModulationPageBuild(benchmark::State& state) { modulationBuild<true>(state); }
void ModulationFrameBuild(benchmark::State& state) { modulationBuild<false>(state); }
BENCHMARK(ModulationPageBuild)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(ModulationFrameBuild)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
