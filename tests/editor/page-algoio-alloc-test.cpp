// Steady frames of the Algorithm and I/O tabs allocate nothing: every text goes through fixed buffers and
// the draw list keeps its storage from the first frame on. Each tab is drawn in its fullest form.
#include <gtest/gtest.h>

#include "editor/editor-pages.h"
#include "editor/page-algorithm.h"
#include "editor/page-io.h"
#include "editor-test-support.h"
#include "page-frame-support.h"
#include "support/counting-allocator.h"
#include "tarsklib/recording-renderer.h"

namespace tarsk {
namespace {

constexpr int kSteadyFrames = 50;

struct Tab {
    const char* name;
    void (*page)(Editor&);
    ViewWord word;
    int32_t value;
};

TEST(AlgoIoAllocations, SteadyFramesOfEachTabAllocateNothing) {
    if (!TARSK_COUNTS_ALLOCATIONS) {
        GTEST_SKIP() << "the sanitizer owns the allocator";
    }
    test::RecordingRenderer recorder;  // outlives the editor, whose faces give their textures back to it
    recorder.keep = false;
    test::EditorRig rig;
    ASSERT_TRUE(test::loadEditorFaces(rig.editor, recorder));
    // Every option on, so the diagram, the tap boxes and the markers are all drawn.
    ProgramSnapshot snapshot;
    ASSERT_TRUE(rig.effect.snapshot(snapshot));
    snapshot.record.setU(word::flags, flag::multitap | flag::crossMixing | flag::innerFeedback | flag::tapOutputs |
                                          flag::filtersBeforeOutput);
    snapshot.record.setF(word::halfLife, 1.0f);
    const uint8_t mask[kChangeFlagCount] = {1, 0, 0, 0};
    rig.effect.commit(snapshot, mask);
    rig.frame();

    const Tab tabs[] = {
        {"Config", drawAlgorithmPage, kViewAlgorithmTab, kAlgorithmConfigTab},
        {"Delays", drawAlgorithmPage, kViewAlgorithmTab, kAlgorithmDelaysTab},
        {"Input vectors", drawIoPage, kViewIoTab, kIoInputTab},
        {"Output vectors", drawIoPage, kViewIoTab, kIoOutputTab},
    };
    for (const Tab& tab : tabs) {
        rig.editor.viewWord(tab.word) = tab.value;
        for (int i = 0; i < 3; ++i) {
            test::buildPageFrame(rig.editor, tab.page, &recorder);
        }
        const int before = recorder.batchCount;
        tarsktest::allocationCalls = 0;
        tarsktest::counting = true;
        for (int i = 0; i < kSteadyFrames; ++i) {
            test::buildPageFrame(rig.editor, tab.page, &recorder);
        }
        tarsktest::counting = false;
        EXPECT_EQ(tarsktest::allocationCalls.load(), 0) << tab.name;
        EXPECT_GT(recorder.batchCount - before, kSteadyFrames) << tab.name << ": the frames drew";
    }
}

}  // namespace
}  // namespace tarsk
