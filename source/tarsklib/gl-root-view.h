// GlRootView: the root of the editor's view tree. It owns the platform window and its GL surface, the
// renderer made by name over that surface and the draw list the views draw into; it routes the window's
// events to the views, draws the frame on the window's 33 ms cadence and drains the 64-word command ring
// through which other threads reach the editor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "tarsklib/gl-event.h"
#include "tarsklib/platform-window.h"
#include "tarsklib/spin-lock.h"
#include "tarsklib/ui-draw-list.h"
#include "tarsklib/ui-renderer.h"
#include "tarsklib/view.h"

namespace tarsk {

constexpr uint32_t kCommandRingWords = 64;
constexpr uint32_t kFrameIntervalMs = 33;
// The renderer the root view makes when its window opens.
inline constexpr const char* kRendererName = "OpenGL";

// Command kinds of the ring.
namespace command {
constexpr uint32_t kCall = 1;     // two more words: command(a, b)
constexpr uint32_t kRebuild = 2;  // two more words: GL resources rebuilt, then command(a, b)
constexpr uint32_t kIdle = 3;     // one word: idle()
}  // namespace command

class GlRootView : public View, public ViewObserver {
public:
    GlRootView();
    ~GlRootView() override;

    // Creates the child window in parent (a native window handle) with the given size, makes the
    // renderer over its context, tells every view that the context exists and shows the window. A
    // window kept from the last close is moved into the new parent instead, with its context, its
    // renderer and what the views uploaded (no second contextCreated). Only the first call of an open root does anything.
    // Answers false when the window or its context cannot be made.
    bool openWindow(uintptr_t parent, int width, int height, int hostMode);
    // Takes the window out of the host's window. The window and its context are kept (hidden) with the
    // renderer and the views' textures for a quick reopen when the window system allows; when it does
    // not, or when the root view goes, every view is told that the context goes (contextReleased) and
    // the renderer is dropped. Harmless when the window is not open or when its parent is already gone.
    void closeWindow();
    bool isOpen() const { return opened; }
    // Closes the window and destroys a kept one: every view is told that the context goes. An owner
    // whose views go before the root view calls this first, so they give back their textures while
    // the context still exists.
    void destroyWindow();

    // The timer tick, called by whoever drives the editor (effEditIdle): drains the window's events,
    // draws a frame when at least 33 ms passed since the last one (or the window was exposed) and the
    // window is viewable, then drains the command ring. A call from inside a tick does nothing.
    void tick(uint32_t nowMs);
    // Appends a command (1 word for kIdle, 3 otherwise); answers false when the ring has no room.
    bool postCommand(uint32_t kind, uint32_t a = 0, uint32_t b = 0);
    // Words waiting in the ring.
    uint32_t pendingCommandWords() const;

    // Routes one event through the tree; answers whether a view handled it.
    bool handleEvent(const GlEvent& e);
    // Draws the whole tree now (context made current and released around it); answers false when
    // the context could not be made current. Every view's prepareFrame() runs first, then each view's
    // draw() with the renderer mapped onto its box (view pixels, origin bottom left, y up); a view draws
    // by filling drawList() and flushing it into renderer().
    bool drawFrame() { return frame(true); }

    // The renderer of the open window (null while closed, or when none could be made: views then
    // draw nothing) and the draw list shared by the views of this tree.
    Renderer* renderer() const { return opened ? drawer.get() : nullptr; }
    DrawList& drawList() { return list; }

    // The root view draws nothing of its own: only its children's pictures decide a frame.
    bool prepareFrame() override { return false; }

    // ---- root operations ----
    virtual void command(uint32_t /*a*/, uint32_t /*b*/) {}
    // Broadcasts notify(kNotifyIdle) to every view of the tree.
    virtual void idle();

    // Asks for the keyboard focus at the end of the current frame.
    void requestFocus() { wantsFocus = true; }
    View* focusedView() const { return focused; }
    View* hoveredView() const { return hovered; }
    // The open window (null while closed).
    PlatformWindow* platformWindow() const { return opened ? window.get() : nullptr; }
    // Frames done: drawn, or found identical to the last one and left on the screen.
    uint64_t framesDrawn() const { return frameCount; }
    // Frames that went to the GL driver and the screen (the rest were identical to the last).
    uint64_t framesPresented() const { return presentedCount; }
    int sampleCount() const { return window != nullptr ? window->surface().sampleCount() : 0; }
    // Whether a closed window is kept for the next open.
    bool hasParkedWindow() const { return !opened && window != nullptr; }

    // ViewObserver
    void viewChanged(View& /*view*/) override {}
    void captureChanged(void* /*context*/) override {}

    // Windows open in this process.
    static int openWindowCount();

private:
    // The window's GL surface as the renderer's context. A request while the context is already
    // current (the renderer asks while the root view holds it) changes nothing, so the context the
    // host had current is remembered once and brought back once.
    class SurfaceContext final : public RenderContext {
    public:
        void attach(GlSurface* s) { surface = s; }
        bool makeCurrent() override;
        void release() override;

    private:
        GlSurface* surface = nullptr;
        bool current = false;
    };

    static bool onWindowEvent(void* window, const GlEvent* event, void* user);
    void setFocus(View* view);
    // The deepest view under a root-view point; local coordinates come back in x, y.
    View* viewAt(float& x, float& y);
    // A frame: the views prepare their pictures; unless force, a repaint is due or a view's picture
    // changed, the GL submission and the buffer swap are skipped. Answers false without a context.
    bool frame(bool force);
    void drainCommands();
    void rebuildContext();
    // contextReleased to every view and the renderer dropped, when the views have a context.
    void releaseContext();
    uint32_t readWord();

    std::unique_ptr<PlatformWindow> window;
    SurfaceContext context;
    std::unique_ptr<Renderer> drawer;
    DrawList list;
    GlWindowRecord record;
    int16_t rect[4] = {};  // left, top, right, bottom in the window
    View* focused = nullptr;
    View* hovered = nullptr;
    bool wantsFocus = false;
    uint32_t ring[kCommandRingWords] = {};
    std::atomic<uint32_t> readIndex{0};
    std::atomic<uint32_t> writeIndex{0};
    SpinLock writerLock;
    bool opened = false;
    bool contextLive = false;  // contextCreated went out and its contextReleased not yet
    bool inTick = false;
    bool firstFrameDone = false;
    uint32_t lastFrameMs = 0;
    uint64_t frameCount = 0;
    uint64_t presentedCount = 0;
    bool repaintNeeded = true;  // the window's contents are not known to show the last frame
};

}  // namespace tarsk
