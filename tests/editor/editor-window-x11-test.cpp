// The editor window inside a host's window under a private Xvfb: open and close, memory, two
// instances, the host's GL context, a parent that vanishes, keys and focus, and the host's editor
// command with its screenshot.
// gtest before the X11 headers: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <malloc.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "x11-host-support.h"
#include "host/xvfb-server.h"
#include "plugin/editor-window.h"
#include "plugin/fake-host.h"
#include "plugin/verb-effect.h"
#include "presets/fxp-file.h"
#include "tarsklib/gl-root-view.h"

namespace tarsk {
namespace {

using test::findWindowNamed;
using test::waitForExit;

using test::FakeHost;
using test::FakeHostScope;

constexpr int kEditorWidth = 640;  // 32u × 16u at scale 1
constexpr int kEditorHeight = 320;

// Counts the X errors that reach the host's own handler.
int hostErrors = 0;
int hostErrorHandler(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}

size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// The page backdrop behind the Summary page (the start page): a neutral grey running from 0x0F at the
// top of the content area to 0x21 just above the header, within one step of rounding.
bool isEditorBackground(unsigned long pixel) {
    const unsigned r = (pixel >> 16) & 0xFF;
    const unsigned g = (pixel >> 8) & 0xFF;
    const unsigned b = pixel & 0xFF;
    auto near = [](unsigned value, unsigned expected) { return value + 1 >= expected && value <= expected + 1; };
    return near(g, r) && near(b, r) && r + 1 >= 0x0F && r <= 0x21 + 1;
}

unsigned brightness(unsigned long pixel) { return ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF); }

// A view laid over the whole editor that counts clicks and logs the keys it receives, taking character
// keys and leaving the others to the host, as a text field does.
class KeyLogView final : public View {
public:
    KeyLogView() { flags = viewflag::kTakesButtons; }
    bool key(bool /*down*/, uint32_t code) override {
        keys.push_back(code);
        return (code & key::kCharacterTag) == key::kCharacterTag;
    }
    void leftButton(bool pressed, float /*x*/, float /*y*/) override { clicks += pressed ? 1 : 0; }
    std::vector<uint32_t> keys;
    int clicks = 0;
};

class EditorWindowX11 : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // llvmpipe rasterises on the calling thread: its own worker threads synchronise in ways the
        // thread sanitizer cannot see (uninstrumented atomics), and the tests need no speed.
        setenv("LP_NUM_THREADS", "0", 1);
        // No shader cache thread either, and nothing written to the user's cache folder.
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        std::string error;
        server = std::make_unique<tarskhost::XvfbServer>();
        serverError = server->start(error) ? "" : error;
        // One GLX connection for the whole process keeps Mesa's driver loaded: when the last
        // connection closes, the driver is unloaded with allocations of its own that the leak
        // checker can then no longer tell from ours. It is never closed on purpose.
        static Display* driverKeeper = nullptr;
        if (serverError.empty() && driverKeeper == nullptr) {
            driverKeeper = XOpenDisplay(nullptr);
            int count = 0;
            GLXFBConfig* configs = driverKeeper != nullptr ? glXGetFBConfigs(driverKeeper, 0, &count) : nullptr;
            if (configs != nullptr) {
                XFree(configs);
            }
        }
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        ASSERT_EQ(serverError, "");
        host = XOpenDisplay(nullptr);
        ASSERT_NE(host, nullptr);
        hostErrors = 0;
    }
    void TearDown() override {
        if (host != nullptr) {
            XCloseDisplay(host);
        }
    }

    // A mapped top-level window of the host, at (x, 0) on the screen.
    Window makeParent(int x = 0) {
        XSetWindowAttributes a{};
        a.background_pixel = BlackPixel(host, DefaultScreen(host));
        a.event_mask = KeyPressMask | KeyReleaseMask | StructureNotifyMask;
        Window w = XCreateWindow(host, DefaultRootWindow(host), x, 0, kEditorWidth, kEditorHeight, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &a);
        XMapWindow(host, w);
        XSync(host, False);
        return w;
    }

    // Calls effEditIdle about every 10 ms for a while, as a host does.
    static void idleFor(VerbEffect& effect, int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Calls effEditIdle about every 10 ms until the editor has drawn `frames` frames in all (at most 10 s:
    // the first frames under llvmpipe on a busy machine take a while). Answers whether it got there.
    static bool idleUntilFrames(VerbEffect& effect, uint64_t frames) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (effect.editor()->rootView().framesDrawn() < frames) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    static void* parentPointer(Window w) { return reinterpret_cast<void*>(static_cast<uintptr_t>(w)); }

    // Pixels of the editor's background colour inside the screen area of a window.
    int backgroundPixels(Window w) {
        XSync(host, False);
        int x = 0;
        int y = 0;
        Window child = 0;
        XTranslateCoordinates(host, w, DefaultRootWindow(host), 0, 0, &x, &y, &child);
        XImage* image = XGetImage(host, DefaultRootWindow(host), x, y, kEditorWidth, kEditorHeight, AllPlanes, ZPixmap);
        if (image == nullptr) {
            return -1;
        }
        int count = 0;
        for (int row = 0; row < kEditorHeight; ++row) {
            for (int col = 0; col < kEditorWidth; ++col) {
                count += isEditorBackground(XGetPixel(image, col, row)) ? 1 : 0;
            }
        }
        XDestroyImage(image);
        return count;
    }

    static std::unique_ptr<tarskhost::XvfbServer> server;
    static std::string serverError;
    Display* host = nullptr;
    FakeHost fakeHost;
    FakeHostScope scope{fakeHost};
};

std::unique_ptr<tarskhost::XvfbServer> EditorWindowX11::server;
std::string EditorWindowX11::serverError;

TEST_F(EditorWindowX11, OpensDrawsAndClosesFiftyTimesWithoutGrowingMemory) {
    VerbEffect effect(FakeHost::callback);
    Window parent = makeParent();
    auto cycle = [&] {
        ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);  // the first idle call draws the first frame
        effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    };
    // Warm-up: the GL driver keeps caches of its own after the first contexts.
    for (int i = 0; i < 5; ++i) {
        cycle();
    }
    uint64_t framesBefore = effect.editor()->rootView().framesDrawn();
    size_t heapBefore = mallinfo2().uordblks;
    size_t residentBefore = residentBytes();
    for (int i = 0; i < 50; ++i) {
        cycle();
    }
    size_t heapAfter = mallinfo2().uordblks;
    size_t residentAfter = residentBytes();
    EXPECT_EQ(effect.editor()->rootView().framesDrawn(), framesBefore + 50);
    EXPECT_EQ(GlRootView::openWindowCount(), 0);
    // A leaked Display connection or GL context costs tens of kilobytes per cycle.
    EXPECT_LT(heapAfter, heapBefore + 64 * 1024) << "heap grew from " << heapBefore << " to " << heapAfter;
#ifndef __SANITIZE_ADDRESS__
    // (AddressSanitizer keeps freed memory in quarantine, so resident size grows there by design;
    // its leak checker takes over.)
    EXPECT_LT(residentAfter, residentBefore + 4 * 1024 * 1024);
#else
    (void)residentAfter;
    (void)residentBefore;
#endif
    EXPECT_EQ(hostErrors, 0);
    EXPECT_TRUE(effect.editor()->rootView().hasParkedWindow());
}

TEST_F(EditorWindowX11, EffectsWithEditorsComeAndGoWithoutGrowingMemory) {
    // The whole path: a new effect each time, so every editor makes its own connection, window and context.
    Window parent = makeParent();
    auto lifetime = [&] {
        VerbEffect effect(FakeHost::callback);
        ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    };
    for (int i = 0; i < 3; ++i) {
        lifetime();
    }
    size_t heapBefore = mallinfo2().uordblks;
    for (int i = 0; i < 10; ++i) {
        lifetime();
    }
    size_t heapAfter = mallinfo2().uordblks;
    EXPECT_LT(heapAfter, heapBefore + 64 * 1024) << "heap grew from " << heapBefore << " to " << heapAfter;
    EXPECT_EQ(GlRootView::openWindowCount(), 0);
}

TEST_F(EditorWindowX11, TwoInstancesDrawTheirOwnEditorsAtOnce) {
    VerbEffect first(FakeHost::callback);
    VerbEffect second(FakeHost::callback);
    Window parentA = makeParent(0);
    Window parentB = makeParent(kEditorWidth);
    ASSERT_EQ(first.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parentA), 0), 1);
    ASSERT_EQ(second.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parentB), 0), 1);
    EXPECT_EQ(GlRootView::openWindowCount(), 2);
    for (uint64_t n = 1; n <= 3; ++n) {
        EXPECT_TRUE(idleUntilFrames(first, n));
        EXPECT_TRUE(idleUntilFrames(second, n));
    }
    EXPECT_GT(backgroundPixels(parentA), 100000);
    EXPECT_GT(backgroundPixels(parentB), 100000);
    // Each editor has a window and a connection of its own.
    EXPECT_NE(first.editor()->rootView().platformWindow()->nativeHandle(),
              second.editor()->rootView().platformWindow()->nativeHandle());

    first.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    uint64_t before = second.editor()->rootView().framesDrawn();
    EXPECT_TRUE(idleUntilFrames(second, before + 2));
    second.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(GlRootView::openWindowCount(), 0);
}

TEST_F(EditorWindowX11, LeavesTheHostsGlContextCurrent) {
    // The host draws with GL too: a context of its own, current on its own window.
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, None};
    XVisualInfo* visual = glXChooseVisual(host, DefaultScreen(host), attributes);
    ASSERT_NE(visual, nullptr);
    XSetWindowAttributes a{};
    a.colormap = XCreateColormap(host, DefaultRootWindow(host), visual->visual, AllocNone);
    a.border_pixel = 0;
    Window hostCanvas = XCreateWindow(host, DefaultRootWindow(host), 0, 400, 100, 100, 0, visual->depth, InputOutput,
                                      visual->visual, CWColormap | CWBorderPixel, &a);
    XMapWindow(host, hostCanvas);
    GLXContext hostContext = glXCreateContext(host, visual, nullptr, True);
    XFree(visual);
    ASSERT_NE(hostContext, nullptr);
    ASSERT_TRUE(glXMakeCurrent(host, hostCanvas, hostContext));

    auto hostStillCurrent = [&] {
        return glXGetCurrentContext() == hostContext && glXGetCurrentDrawable() == hostCanvas &&
               glXGetCurrentDisplay() == host;
    };
    VerbEffect effect(FakeHost::callback);
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    EXPECT_TRUE(hostStillCurrent()) << "after open";
    EXPECT_TRUE(idleUntilFrames(effect, 3));
    EXPECT_TRUE(hostStillCurrent()) << "after frames";
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    EXPECT_TRUE(hostStillCurrent()) << "after close";

    // Without a host context, nothing of ours stays current.
    glXMakeCurrent(host, None, nullptr);
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    idleFor(effect, 60);
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    glXDestroyContext(host, hostContext);
}

TEST_F(EditorWindowX11, SurvivesParentLossAndOpcodesInAnyOrder) {
    XSetErrorHandler(&hostErrorHandler);
    VerbEffect effect(FakeHost::callback);
    vst2::ERect* rect = nullptr;
    // getRect before open, close without open, open with a window id that does not exist.
    ASSERT_EQ(effect.dispatch(vst2::effEditGetRect, 0, 0, &rect, 0), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kEditorWidth);
    EXPECT_EQ(rect->bottom - rect->top, kEditorHeight);
    EXPECT_EQ(effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(0x3FFFFF0), 0), 0);
    EXPECT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(GlRootView::openWindowCount(), 0);

    // Open twice: one window.
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    uintptr_t child = effect.editor()->rootView().platformWindow()->nativeHandle();
    EXPECT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    EXPECT_EQ(effect.editor()->rootView().platformWindow()->nativeHandle(), child);
    EXPECT_EQ(GlRootView::openWindowCount(), 1);
    rect = nullptr;
    ASSERT_EQ(effect.dispatch(vst2::effEditGetRect, 0, 0, &rect, 0), 1);
    EXPECT_EQ(rect->right, kEditorWidth);
    idleFor(effect, 80);

    // The host destroys its window (and with it ours) before effEditClose.
    XDestroyWindow(host, parent);
    XSync(host, False);
    idleFor(effect, 80);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(GlRootView::openWindowCount(), 0);
    EXPECT_EQ(effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0), 1);

    // Our errors never reached the host's handler, and the host's handler is the one installed again.
    EXPECT_EQ(hostErrors, 0);
    EXPECT_EQ(XSetErrorHandler(nullptr), &hostErrorHandler);

    // And the editor opens again afterwards.
    Window again = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(again), 0), 1);
    EXPECT_TRUE(idleUntilFrames(effect, effect.editor()->rootView().framesDrawn() + 2));
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}

TEST_F(EditorWindowX11, AClickFocusesTheEditorAndKeysArriveAsKeyValues) {
    VerbEffect effect(FakeHost::callback);
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    idleFor(effect, 60);
    KeyLogView view;
    view.resizeTo(static_cast<float>(kEditorWidth), static_cast<float>(kEditorHeight));
    effect.editor()->editor().addChild(view);
    Window editor = static_cast<Window>(effect.editor()->rootView().platformWindow()->nativeHandle());

    // A real click (through XTest) in the middle of the editor.
    XTestFakeMotionEvent(host, DefaultScreen(host), kEditorWidth / 2, kEditorHeight / 2, CurrentTime);
    XTestFakeButtonEvent(host, Button1, True, CurrentTime);
    XTestFakeButtonEvent(host, Button1, False, CurrentTime);
    XSync(host, False);
    idleFor(effect, 80);
    EXPECT_EQ(view.clicks, 1);
    EXPECT_EQ(effect.editor()->rootView().focusedView(), &view);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(host, &focus, &revert);
    EXPECT_EQ(focus, editor);

    auto press = [&](KeySym symbol, bool shift = false) {
        KeyCode shiftCode = XKeysymToKeycode(host, XK_Shift_L);
        if (shift) {
            XTestFakeKeyEvent(host, shiftCode, True, CurrentTime);
        }
        KeyCode code = XKeysymToKeycode(host, symbol);
        XTestFakeKeyEvent(host, code, True, CurrentTime);
        XTestFakeKeyEvent(host, code, False, CurrentTime);
        if (shift) {
            XTestFakeKeyEvent(host, shiftCode, False, CurrentTime);
        }
        XSync(host, False);
    };
    view.keys.clear();
    press(XK_a);
    press(XK_a, true);
    press(XK_Left);
    press(XK_F1);
    press(XK_Return);
    press(XK_Delete);
    idleFor(effect, 80);
    std::vector<uint32_t> expected = {key::kCharacterTag | 'a', key::kShift, key::kCharacterTag | 'A', key::kLeft,
                                      key::kF1, key::kCharacterTag | key::kReturn, key::kDelete};
    EXPECT_EQ(view.keys, expected);

    // Keys the view did not take (Shift, Left, F1, Delete) went on to the host's top-level window;
    // the ones it took did not.
    int forwardedPresses = 0;
    XEvent e;
    while (XCheckTypedWindowEvent(host, parent, KeyPress, &e)) {
        EXPECT_TRUE(e.xkey.send_event);
        KeySym symbol = XLookupKeysym(&e.xkey, 0);
        EXPECT_TRUE(symbol == XK_Shift_L || symbol == XK_Left || symbol == XK_F1 || symbol == XK_Delete) << symbol;
        ++forwardedPresses;
    }
    EXPECT_EQ(forwardedPresses, 4);

    // A key that a host forwards as a synthetic event arrives too, and is never sent back.
    view.keys.clear();
    XEvent synthetic{};
    synthetic.xkey.type = KeyPress;
    synthetic.xkey.display = host;
    synthetic.xkey.window = editor;
    synthetic.xkey.root = DefaultRootWindow(host);
    synthetic.xkey.keycode = XKeysymToKeycode(host, XK_Home);
    synthetic.xkey.same_screen = True;
    XSendEvent(host, editor, False, KeyPressMask, &synthetic);
    XSync(host, False);
    idleFor(effect, 60);
    EXPECT_EQ(view.keys, std::vector<uint32_t>{key::kHome});
    EXPECT_FALSE(XCheckTypedWindowEvent(host, parent, KeyPress, &e));

    // Keys handed over with the opcodes: a character is taken (1), a navigation key is not (0).
    view.keys.clear();
    EXPECT_EQ(effect.dispatch(vst2::effEditKeyDown, 'q', 0, nullptr, 0), 1);
    EXPECT_EQ(effect.dispatch(vst2::effEditKeyDown, 0, vst2::VKEY_LEFT, nullptr, 0), 0);
    EXPECT_EQ(effect.dispatch(vst2::effEditKeyUp, 'q', 0, nullptr, 0), 0);
    EXPECT_EQ(view.keys, (std::vector<uint32_t>{key::kCharacterTag | 'q', key::kLeft}));
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    view.detach();
    // Closed: the opcodes are refused.
    EXPECT_EQ(effect.dispatch(vst2::effEditKeyDown, 'q', 0, nullptr, 0), 0);
}

TEST_F(EditorWindowX11, StopsDrawingWhileHiddenAndRedrawsWhenShown) {
    VerbEffect effect(FakeHost::callback);
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    EXPECT_TRUE(idleUntilFrames(effect, 2));
    GlRootView& root = effect.editor()->rootView();
    // Hosts hide the editor instead of closing it.
    XUnmapWindow(host, parent);
    XSync(host, False);
    idleFor(effect, 40);
    uint64_t hidden = root.framesDrawn();
    idleFor(effect, 150);
    EXPECT_EQ(root.framesDrawn(), hidden);
    XMapWindow(host, parent);
    XSync(host, False);
    EXPECT_TRUE(idleUntilFrames(effect, hidden + 1));
    EXPECT_GT(backgroundPixels(parent), 100000);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}

TEST_F(EditorWindowX11, AnIdleCallFromInsideTheFrameDoesNothing) {
    // Some hosts call effEditIdle again from inside host callbacks that the editor's frame makes.
    struct Reentrant final : View {
        VerbEffect* effect = nullptr;
        int depth = 0;
        int deepest = 0;
        int draws = 0;
        void draw() override {
            ++depth;
            ++draws;
            deepest = std::max(deepest, depth);
            effect->dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
            --depth;
        }
    } inner;
    VerbEffect effect(FakeHost::callback);
    inner.effect = &effect;
    inner.resizeTo(10.0f, 10.0f);
    effect.editor()->rootView().addChild(inner);
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    EXPECT_TRUE(idleUntilFrames(effect, 3));
    EXPECT_EQ(inner.deepest, 1);
    EXPECT_EQ(static_cast<uint64_t>(inner.draws), effect.editor()->rootView().framesDrawn());
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    inner.detach();
}

TEST_F(EditorWindowX11, ChildViewsDrawInTheirOwnCoordinatesClippedToTheirParent) {
    // A view reaching past the editor's bottom-left corner: green in its local square (10..20, 10..20),
    // blue elsewhere. Only the part inside the editor shows, in the view's own coordinates (y up).
    struct Marker final : View {
        GlRootView* root = nullptr;
        void draw() override {
            DrawList& list = root->drawList();
            list.fillRect({width() / 2, height() / 2, width() / 2, height() / 2}, {0.0f, 0.0f, 1.0f, 1.0f});
            list.fillRect({15.0f, 15.0f, 5.0f, 5.0f}, {0.0f, 1.0f, 0.0f, 1.0f});
            list.flush(root->renderer());
        }
    } marker;
    VerbEffect effect(FakeHost::callback);
    marker.root = &effect.editor()->rootView();
    marker.moveTo(-10.0f, -10.0f);
    marker.resizeTo(40.0f, 40.0f);
    effect.editor()->editor().addChild(marker);
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    EXPECT_TRUE(idleUntilFrames(effect, 2));
    XSync(host, False);
    XImage* image = XGetImage(host, DefaultRootWindow(host), 0, 0, kEditorWidth, kEditorHeight, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    auto pixel = [&](int x, int row) { return XGetPixel(image, x, row) & 0xFFFFFF; };
    EXPECT_EQ(pixel(5, 315), 0x00FF00ul);   // local (15, 15)
    EXPECT_EQ(pixel(15, 315), 0x0000FFul);  // local (25, 15)
    EXPECT_EQ(pixel(5, 305), 0x0000FFul);   // local (15, 25)
    EXPECT_EQ(pixel(25, 295), 0x0000FFul);  // local (35, 35): the view's last pixels
    EXPECT_NE(pixel(35, 295), 0x0000FFul);  // past the view
    EXPECT_NE(pixel(25, 285), 0x0000FFul);
    XDestroyImage(image);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    marker.detach();
}

TEST_F(EditorWindowX11, AResizeCommandResizesTheWindowAndAsksTheHost) {
    VerbEffect effect(FakeHost::callback);
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    EXPECT_TRUE(idleUntilFrames(effect, 1));
    // What the settings page posts for the large display size: rebuild, then the new size.
    ASSERT_TRUE(effect.editor()->rootView().postCommand(command::kRebuild, 768, 384));
    uint64_t frames = effect.editor()->rootView().framesDrawn();
    EXPECT_TRUE(idleUntilFrames(effect, frames + 2));
    EXPECT_EQ(fakeHost.count(vst2::audioMasterSizeWindow), 1);
    vst2::ERect* rect = nullptr;
    ASSERT_EQ(effect.dispatch(vst2::effEditGetRect, 0, 0, &rect, 0), 1);
    EXPECT_EQ(rect->right, 768);
    EXPECT_EQ(rect->bottom, 384);
    XWindowAttributes attributes{};
    Window editor = static_cast<Window>(effect.editor()->rootView().platformWindow()->nativeHandle());
    ASSERT_TRUE(XGetWindowAttributes(host, editor, &attributes));
    EXPECT_EQ(attributes.width, 768);
    EXPECT_EQ(attributes.height, 384);
    EXPECT_EQ(effect.editor()->editor().width(), 768.0f);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}

// Starts the host's editor command; answers its process id.
pid_t startEditorCommand() {
    pid_t child = fork();
    if (child == 0) {
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // as for the screenshot run
        execl(TARSK_HOST_TOOL, TARSK_HOST_TOOL, "editor", TARSK_PLUGIN_FILE, static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

TEST_F(EditorWindowX11, HostEditorCommandRunsUntilTheWindowIsClosedOrInterrupted) {
    const char* title = "TarskVerb (tarskverb-host editor)";
    pid_t child = startEditorCommand();
    ASSERT_GT(child, 0);
    Window window = 0;
    for (int i = 0; i < 200 && window == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        window = findWindowNamed(host, title);
    }
    ASSERT_NE(window, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a few frames, audio running
    // The close button of a window manager: WM_DELETE_WINDOW.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(host, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(host, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(host, window, False, NoEventMask, &close);
    XSync(host, False);
    EXPECT_EQ(waitForExit(child), 0);

    // Ctrl-C ends it as well.
    child = startEditorCommand();
    ASSERT_GT(child, 0);
    for (int i = 0; i < 200 && findWindowNamed(host, title) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(child, SIGINT);
    EXPECT_EQ(waitForExit(child), 0);
}

TEST(PluginSymbols, NoUniqueGlobalSymbols) {
    // A "unique global" symbol would be shared with every other copy of the library in a host.
    std::string command = std::string("readelf -W --syms ") + TARSK_PLUGIN_FILE + " | grep -c UNIQUE";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof(line), pipe), nullptr);
    pclose(pipe);
    EXPECT_EQ(std::atoi(line), 0);
}

// Reads an 8-bit RGB PNG; answers the pixels (empty on failure).
std::vector<uint8_t> readRgbPng(const std::string& path, int& width, int& height) {
    std::vector<uint8_t> pixels;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return pixels;
    }
    image.format = PNG_FORMAT_RGB;
    pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        pixels.clear();
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return pixels;
}

TEST_F(EditorWindowX11, HostEditorCommandWritesAScreenshotOfTheEditor) {
    std::string shot = testing::TempDir() + "editor-shot-" + std::to_string(getpid()) + ".png";
    std::remove(shot.c_str());
    // The tool's own exit status is under test; leak checking (sanitizer builds) is for this process,
    // where Mesa's driver stays loaded.
    std::string command = std::string("ASAN_OPTIONS=detect_leaks=0 ") + TARSK_HOST_TOOL + " editor " + TARSK_PLUGIN_FILE + " --screenshot " + shot +
                          " --frames 4";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels = readRgbPng(shot, width, height);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(width, kEditorWidth);
    EXPECT_EQ(height, kEditorHeight);
    auto at = [&](int x, int y) {
        const uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
        return (static_cast<unsigned long>(p[0]) << 16) | (static_cast<unsigned long>(p[1]) << 8) | p[2];
    };
    // Rows of the picture run from the top; the header is the bottom 4u = 80 rows.
    const int headerTop = height - 80;
    EXPECT_TRUE(isEditorBackground(at(width - 4, 4)));
    EXPECT_TRUE(isEditorBackground(at(width - 4, headerTop - 4)));
    // The metal: textured (many different greys along a row and down a column, right of the title)
    // and far brighter than the background above it.
    std::set<unsigned long> alongRow;
    std::set<unsigned long> downColumn;
    unsigned long metalSum = 0;
    for (int x = 400; x < 630; ++x) {
        alongRow.insert(at(x, height - 40));
        metalSum += brightness(at(x, height - 40));
    }
    for (int y = headerTop + 4; y < height - 4; ++y) {
        downColumn.insert(at(width - 20, y));
    }
    EXPECT_GT(alongRow.size(), 10u);
    EXPECT_GT(downColumn.size(), 10u);
    EXPECT_GT(metalSum / 230, 3 * brightness(at(width - 4, headerTop - 4)));
    // The title, near the left of the header's upper line: text darker than any metal of the same rows
    // where no text is. Not upside down: none in the header's lowest line.
    auto textPixels = [&](int top, int bottom) {
        unsigned darkestMetal = 3 * 255;
        for (int y = top; y < bottom; ++y) {
            for (int x = 480; x < 630; ++x) {
                darkestMetal = std::min(darkestMetal, brightness(at(x, y)));
            }
        }
        int n = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = 4; x < 200; ++x) {
                n += brightness(at(x, y)) + 30 < darkestMetal ? 1 : 0;
            }
        }
        return n;
    };
    EXPECT_GT(textPixels(headerTop + 2, headerTop + 20), 100);
    EXPECT_EQ(textPixels(height - 20, height - 2), 0);
    // Above the header: the page icons in the column at the right (light glyphs on the background) and
    // the page with the undo buttons left of them.
    int iconPixels = 0;
    int pagePixels = 0;
    for (int y = 0; y < headerTop; ++y) {
        for (int x = 0; x < width; ++x) {
            bool light = brightness(at(x, y)) > 3 * 150;
            (x >= width - 60 ? iconPixels : pagePixels) += light ? 1 : 0;
        }
    }
    EXPECT_GT(iconPixels, 200);
    EXPECT_GT(pagePixels, 50);
    // Kept beside the build for the README's Editor section.
    if (const char* buildDir = std::getenv("TARSK_BUILD_DIR")) {
        std::error_code ignored;
        std::filesystem::copy_file(shot, std::string(buildDir) + "/editor-screenshot.png",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
    std::remove(shot.c_str());
}

TEST_F(EditorWindowX11, HostEditorCommandOpensAPageAndTabAndSavesTheProgram) {
    std::string base = testing::TempDir() + "editor-page-" + std::to_string(getpid());
    std::string shot = base + ".png";
    std::string saved = base + ".fxp";
    std::remove(saved.c_str());
    std::string command = std::string("ASAN_OPTIONS=detect_leaks=0 ") + TARSK_HOST_TOOL + " editor " + TARSK_PLUGIN_FILE +
                          " --page 1 --tab 3 --frames 3 --screenshot " + shot + " --save-program " + saved;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels = readRgbPng(shot, width, height);
    ASSERT_FALSE(pixels.empty());
    // The Editor page's tabs down the left: the third (FILT, 2u high centred 4.5u above the content's
    // bottom) is the selected one, in the highlight's blue; the first is not.
    auto blueAt = [&](int x, int y) {
        const uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
        return p[2] > p[0] + 60;
    };
    const int contentBottom = height - 80;
    EXPECT_TRUE(blueAt(12, contentBottom - 90 + 8));
    EXPECT_FALSE(blueAt(12, contentBottom - 130 + 8));

    // The program as the host read it with effGetChunk after the editor closed: the start program.
    tarsk::FileStream file(saved.c_str(), tarsk::kOpenRead);
    ASSERT_TRUE(file.isOpen());
    ProgramRecord record;
    ASSERT_TRUE(readFxpIntoRecord(file, record));
    VerbEffect fresh(FakeHost::callback);
    EXPECT_STREQ(record.name(), fresh.programCopy(0).name());
    std::remove(shot.c_str());
    std::remove(saved.c_str());

    // Out of range: a usage error before anything opens.
    std::string bad = std::string("ASAN_OPTIONS=detect_leaks=0 ") + TARSK_HOST_TOOL + " editor " + TARSK_PLUGIN_FILE +
                      " --page 6 2>/dev/null";
    int status = std::system(bad.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}

TEST_F(EditorWindowX11, AnEditorAtRestSkipsTheGlSubmissionUntilItsPictureChanges) {
    VerbEffect effect(FakeHost::callback);
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    GlRootView& root = effect.editor()->rootView();
    ASSERT_TRUE(idleUntilFrames(effect, 4));
    // At rest on the Summary page: frames are built and found identical; nothing goes to GL.
    uint64_t presented = root.framesPresented();
    uint64_t drawn = root.framesDrawn();
    ASSERT_TRUE(idleUntilFrames(effect, drawn + 6));
    EXPECT_EQ(root.framesPresented(), presented);
    EXPECT_GT(backgroundPixels(parent), 100000) << "the last frame stays on the screen";
    EXPECT_GE(effect.editor()->editor().framesDrawn(), drawn + 6) << "the editor's cycle still runs";

    // The host changes the program: the header shows it in the next frame.
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setF(word::dry, 42.0f);
    uint8_t none[kChangeFlagCount] = {};
    ASSERT_EQ(effect.commit(snap, none), CommitResult::written);
    ASSERT_TRUE(idleUntilFrames(effect, root.framesDrawn() + 2));
    EXPECT_EQ(root.framesPresented(), presented + 1);

    // The window system asks for a repaint (exposed): drawn again although nothing changed.
    presented = root.framesPresented();
    Window editor = static_cast<Window>(root.platformWindow()->nativeHandle());
    XClearArea(host, editor, 0, 0, 0, 0, True);
    XSync(host, False);
    ASSERT_TRUE(idleUntilFrames(effect, root.framesDrawn() + 2));
    EXPECT_EQ(root.framesPresented(), presented + 1);

    // The Editor page: its tabs and the page show; a tab change is a changed picture.
    effect.dispatch(vst2::effVendorSpecific, kVendorIndexPage, kPageEditor, nullptr, 0);
    presented = root.framesPresented();
    ASSERT_TRUE(idleUntilFrames(effect, root.framesDrawn() + 2));
    EXPECT_GE(root.framesPresented(), presented + 1);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}

TEST_F(EditorWindowX11, ADisplayScaleChangeResizesTheRunningEditorAndTheHostsWindow) {
    VerbEffect effect(FakeHost::callback);
    Window parent = makeParent();
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, parentPointer(parent), 0), 1);
    ASSERT_TRUE(idleUntilFrames(effect, 2));
    Editor& editor = effect.editor()->editor();
    editor.setDisplayScale(1.2f);  // the Settings page's large display size
    EXPECT_FLOAT_EQ(editor.unit(), 24.0f);
    ASSERT_TRUE(idleUntilFrames(effect, effect.editor()->rootView().framesDrawn() + 2));
    EXPECT_EQ(fakeHost.count(vst2::audioMasterSizeWindow), 1);
    vst2::ERect* rect = nullptr;
    ASSERT_EQ(effect.dispatch(vst2::effEditGetRect, 0, 0, &rect, 0), 1);
    EXPECT_EQ(rect->right - rect->left, 768);
    EXPECT_EQ(rect->bottom - rect->top, 384);
    XWindowAttributes attributes{};
    Window child = static_cast<Window>(effect.editor()->rootView().platformWindow()->nativeHandle());
    ASSERT_TRUE(XGetWindowAttributes(host, child, &attributes));
    EXPECT_EQ(attributes.width, 768);
    EXPECT_EQ(attributes.height, 384);
    EXPECT_EQ(editor.width(), 768.0f);
    EXPECT_TRUE(editor.font(kFaceRegular)->loaded()) << "the rebuilt context has the fonts again";

    // Out of range: the settings' limits hold.
    editor.setDisplayScale(0.01f);
    EXPECT_FLOAT_EQ(editor.displayScale(), 0.2f);
    ASSERT_TRUE(idleUntilFrames(effect, effect.editor()->rootView().framesDrawn() + 2));
    EXPECT_EQ(fakeHost.count(vst2::audioMasterSizeWindow), 2);
    ASSERT_TRUE(XGetWindowAttributes(host, child, &attributes));
    EXPECT_EQ(attributes.width, 128);

    // The font style: the regular face is another family's after the next frame.
    editor.setDisplayScale(1.0f);
    ASSERT_TRUE(idleUntilFrames(effect, effect.editor()->rootView().framesDrawn() + 2));
    float sansWidth = editor.font(kFaceRegular)->textWidth("Feedback");
    editor.settings().fontStyle = kFontStyleSerif;
    editor.reloadFonts();
    ASSERT_TRUE(idleUntilFrames(effect, effect.editor()->rootView().framesDrawn() + 2));
    ASSERT_TRUE(editor.font(kFaceRegular)->loaded());
    EXPECT_NE(editor.font(kFaceRegular)->textWidth("Feedback"), sansWidth);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}

// The pages and the Editor page's tabs as the README shows them: file name, page, tab (0: none).
struct PageShot {
    const char* name;
    int page;
    int tab;
};
constexpr PageShot kPageShots[] = {
    {"editor-summary", 0, 0},     {"editor-editor", 1, 0},      {"editor-library", 2, 0},
    {"editor-calculator", 3, 0},  {"editor-info", 4, 0},        {"editor-settings", 5, 0},
    {"editor-tab-algo", 1, 1},    {"editor-tab-matr", 1, 2},    {"editor-tab-filt", 1, 3},
    {"editor-tab-mod", 1, 4},     {"editor-tab-io", 1, 5},
};

TEST_F(EditorWindowX11, HostEditorCommandWritesAScreenshotOfEveryPageThatIsNotBlank) {
    // Kept in the build folder for the README (tools/run-tests.sh copies them into docs/).
    const char* buildDir = std::getenv("TARSK_BUILD_DIR");
    std::string folder = buildDir != nullptr ? std::string(buildDir) + "/" : testing::TempDir();
    std::set<std::vector<uint8_t>> distinct;
    for (const PageShot& shot : kPageShots) {
        // Written under a name of this process, then renamed: another test may leave a picture of the same
        // page in the build folder at the same time.
        std::string path = folder + shot.name + "-" + std::to_string(getpid()) + ".png";
        std::remove(path.c_str());
        std::string command = std::string("ASAN_OPTIONS=detect_leaks=0 ") + TARSK_HOST_TOOL + " editor " +
                              TARSK_PLUGIN_FILE + " --page " + std::to_string(shot.page) +
                              (shot.tab != 0 ? " --tab " + std::to_string(shot.tab) : std::string()) +
                              " --frames 3 --screenshot " + path;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        int width = 0;
        int height = 0;
        std::vector<uint8_t> pixels = readRgbPng(path, width, height);
        ASSERT_FALSE(pixels.empty()) << shot.name;
        ASSERT_EQ(width, kEditorWidth);
        // The page's own area (above the header, between the undo and tab column and the page icons)
        // shows more than its background.
        std::set<unsigned long> colours;
        int drawn = 0;
        for (int y = 0; y < height - 80; ++y) {
            for (int x = 60; x < width - 60; ++x) {
                const uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
                unsigned long colour = (static_cast<unsigned long>(p[0]) << 16) | (static_cast<unsigned long>(p[1]) << 8) | p[2];
                colours.insert(colour);
                drawn += brightness(colour) > 3 * 120 ? 1 : 0;
            }
        }
        EXPECT_GT(drawn, 20) << shot.name;  // at least the page's title
        EXPECT_GT(colours.size(), 8u) << shot.name;
        distinct.insert(pixels);
        std::error_code ignored;
        if (buildDir != nullptr) {
            std::filesystem::rename(path, folder + shot.name + ".png", ignored);
        }
        std::remove(path.c_str());
    }
    // Every page and tab looks different (the Editor page opens on its first tab).
    EXPECT_GE(distinct.size(), std::size(kPageShots) - 1);
}

// Typing into the Summary page's program name with real key events renames the program as the host
// sees it: the host's editor command saves the program with effGetChunk when its window closes.
// The name's text area is centred at (13.75u, 10.75u) within the page, 20.5u × 1.5u.
TEST_F(EditorWindowX11, TypingIntoTheProgramNameRenamesTheProgramTheHostSaves) {
    std::string saved = testing::TempDir() + "editor-renamed-" + std::to_string(getpid()) + ".fxp";
    std::remove(saved.c_str());
    const char* title = "TarskVerb (tarskverb-host editor)";
    pid_t child = fork();
    if (child == 0) {
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl(TARSK_HOST_TOOL, TARSK_HOST_TOOL, "editor", TARSK_PLUGIN_FILE, "--page", "0", "--save-program",
              saved.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    Window window = 0;
    for (int i = 0; i < 200 && window == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        window = findWindowNamed(host, title);
    }
    ASSERT_NE(window, 0u);
    int left = 0;
    int top = 0;
    Window ignored = 0;
    XTranslateCoordinates(host, window, DefaultRootWindow(host), 0, 0, &left, &top, &ignored);
    // A click near the right end of the name area (x 3.5u ... 24u, rows 14u ... 15.5u from the bottom).
    // (Press and release a few frames apart, as a hand does: the widgets see the button down in a frame.)
    XTestFakeMotionEvent(host, DefaultScreen(host), left + 23 * 20, top + kEditorHeight - 295, CurrentTime);
    XSync(host, False);
    // The window comes before the plug-in's editor inside it: wait until the editor's window is mapped
    // under the pointer, then for its first frames.
    auto editorUnderPointer = [&] {
        Window rootReturn = 0;
        Window childReturn = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(host, window, &rootReturn, &childReturn, &rx, &ry, &wx, &wy, &mask);
        if (childReturn == 0) {
            return false;
        }
        // Drawn: the metal header shows (bright) at the bottom right.
        XImage* image = XGetImage(host, DefaultRootWindow(host), left + kEditorWidth - 10, top + kEditorHeight - 10, 1,
                                  1, AllPlanes, ZPixmap);
        if (image == nullptr) {
            return false;
        }
        bool bright = brightness(XGetPixel(image, 0, 0)) > 3 * 120;
        XDestroyImage(image);
        return bright;
    };
    for (int i = 0; i < 200 && !editorUnderPointer(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(editorUnderPointer());
    // A move inside the editor, which came up under a resting pointer (no motion yet): the widgets learn
    // where the mouse is.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    XTestFakeMotionEvent(host, DefaultScreen(host), left + 23 * 20 + 1, top + kEditorHeight - 295, CurrentTime);
    XSync(host, False);
    XTestFakeButtonEvent(host, Button1, True, CurrentTime);
    XSync(host, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    XTestFakeButtonEvent(host, Button1, False, CurrentTime);
    XSync(host, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto press = [&](KeySym symbol, bool shift = false) {
        KeyCode shiftCode = XKeysymToKeycode(host, XK_Shift_L);
        if (shift) {
            XTestFakeKeyEvent(host, shiftCode, True, CurrentTime);
        }
        KeyCode code = XKeysymToKeycode(host, symbol);
        XTestFakeKeyEvent(host, code, True, CurrentTime);
        XTestFakeKeyEvent(host, code, False, CurrentTime);
        if (shift) {
            XTestFakeKeyEvent(host, shiftCode, False, CurrentTime);
        }
        XSync(host, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    };
    press(XK_End);
    for (int i = 0; i < 30; ++i) {
        press(XK_BackSpace);
    }
    press(XK_t, true);
    for (KeySym k : {XK_e, XK_s, XK_t, XK_e, XK_d}) {
        press(k);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(host, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(host, "WM_DELETE_WINDOW", False));
    XSendEvent(host, window, False, NoEventMask, &close);
    XSync(host, False);
    ASSERT_EQ(waitForExit(child), 0);
    tarsk::FileStream file(saved.c_str(), tarsk::kOpenRead);
    ASSERT_TRUE(file.isOpen());
    ProgramRecord record;
    ASSERT_TRUE(readFxpIntoRecord(file, record));
    EXPECT_STREQ(record.name(), "Tested");
    std::remove(saved.c_str());
}

}  // namespace
}  // namespace tarsk
