// A steady editor frame allocates nothing: the editor view's text and header go through the root view's
// draw list and renderer, whose storage is kept from the first frames on. This binary counts every
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
        const EditorHeaderView& view = effect.editor()->editorView();
        ASSERT_TRUE(view.font(kFaceRegular).loaded());
        ASSERT_TRUE(view.font(kFaceSymbols).loaded());
        ASSERT_TRUE(view.font(kFaceMicr).loaded());
        ASSERT_TRUE(view.metal().loaded());
        // Frames through the window, its renderer and the driver.
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(root.drawFrame());
        }
        size_t vertices = 0;
        for (const DrawList::Bucket& bucket : root.drawList().buckets()) {
            vertices += bucket.bytes.capacity() / sizeof(DrawVertex);
        }
        EXPECT_GT(vertices, 1000u) << "the text of every face is drawn";
        // The editor's part of a frame: the view builds its picture in a draw list and flushes it into
        // a renderer. (GL drivers allocate as they please: llvmpipe bins every draw call in memory of its
        // own, and making a context current costs the X library small allocations; so the batches go
        // into a renderer that only counts them.)
        test::RecordingRenderer recorder;
        recorder.keep = false;
        DrawList list;
        EditorHeaderView& drawn = effect.editor()->editorView();
        drawn.drawInto(list, &recorder);
        int batchesPerFrame = recorder.batchCount;
        allocationCalls = 0;
        counting = true;
        for (int i = 0; i < kSteadyFrames; ++i) {
            drawn.drawInto(list, &recorder);
        }
        counting = false;
        EXPECT_EQ(allocationCalls.load(), 0);
        EXPECT_GE(batchesPerFrame, 8);  // background, metal, bevels and a batch per face at least
        EXPECT_EQ(recorder.batchCount, batchesPerFrame * (kSteadyFrames + 1));
        effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    }
    XCloseDisplay(host);
}

}  // namespace
}  // namespace tarsk
