// A steady editor frame allocates nothing: the editor's header, page and text go through its draw list
// into the renderer, whose storage is kept from the first frames on. This binary counts every
// allocation call (not under sanitizers) while the open editor draws 100 frames under a private Xvfb.
// gtest before the X11 headers: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/xvfb-server.h"
#include "plugin/editor-window.h"
#include "plugin/fake-host.h"
#include "plugin/verb-effect.h"
#include "presets/library-worker.h"
#include "support/counting-allocator.h"

using tarsktest::allocationCalls;
using tarsktest::counting;
#include "tarsklib/gl-root-view.h"
#include "tarsklib/recording-renderer.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

constexpr int kSteadyFrames = 100;

TEST(EditorAllocations, ASteadyFrameOfTheEditorAllocatesNothing) {
    if (!TARSK_COUNTS_ALLOCATIONS) {
        GTEST_SKIP() << "the sanitizer owns the allocator";
    }
    setenv("LP_NUM_THREADS", "0", 1);  // llvmpipe rasterises on this thread
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    tarskhost::XvfbServer server;
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    Display* host = XOpenDisplay(nullptr);
    ASSERT_NE(host, nullptr);
    Window parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 640, 320, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);
    {
        FakeHost fakeHost;
        FakeHostScope scope{fakeHost};
        VerbEffect effect(FakeHost::callback);
        void* parentPointer = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
        ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer, 0), 1);
        GlRootView& root = effect.editor()->rootView();
        ASSERT_NE(root.renderer(), nullptr);
        Editor& editor = effect.editor()->editor();
        ASSERT_TRUE(editor.font(kFaceRegular)->loaded());
        ASSERT_TRUE(editor.font(kFaceSymbols)->loaded());
        ASSERT_TRUE(editor.font(kFaceMicr)->loaded());
        ASSERT_TRUE(editor.metal().loaded());
        // The library worker's first scans (started with the editor) allocate on their own thread.
        ASSERT_TRUE(libraryWorker().waitUntilIdle(60000));
        // Frames through the window, its renderer and the driver.
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(root.drawFrame());
        }
        // The editor's part of a frame on every page: snapshot, widgets into the draw list, flush into a
        // renderer, write-back. (GL drivers allocate as they please: llvmpipe bins every draw call in
        // memory of its own, and making a context current costs the X library small allocations; so the
        // batches go into a renderer that only counts them.)
        test::RecordingRenderer recorder;
        recorder.keep = false;
        editor.useRenderer(&recorder);
        for (int32_t page = kPageSummary; page <= kPageSettings; ++page) {
            editor.setPage(page);
            for (int i = 0; i < 3; ++i) {
                editor.draw();  // the page's first frames may size its buffers
            }
            int before = recorder.batchCount;
            editor.draw();
            int batchesPerFrame = recorder.batchCount - before;
            allocationCalls = 0;
            counting = true;
            for (int i = 0; i < kSteadyFrames; ++i) {
                editor.draw();
            }
            counting = false;
            EXPECT_EQ(allocationCalls.load(), 0) << "page " << page;
            EXPECT_GE(batchesPerFrame, 3) << "page " << page;  // background, metal, text at least
            EXPECT_EQ(recorder.batchCount - before, batchesPerFrame * (kSteadyFrames + 1)) << "page " << page;
        }
        editor.useRenderer(nullptr);
        effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    }
    XCloseDisplay(host);
}

}  // namespace
}  // namespace tarsk
