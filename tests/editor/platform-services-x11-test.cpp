// The X11 services the UI core reads through the platform layer, under a private Xvfb: the modifier keys
// (read at the time of use while XTest holds them) and the CLIPBOARD pasted into a focused text area,
// with an owner that answers, with no owner and with an owner that never answers.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstring>
#include <memory>
#include <string>

#include "editor/x11-clipboard-owner.h"
#include "editor/mesa-driver-keeper.h"
#include "host/xvfb-server.h"
#include "tarsklib/platform-window.h"
#include "tarsklib/resource.h"
#include "tarsklib/stream.h"
#include "tarsklib/ui-fontmap.h"
#include "tarsklib/ui-context.h"

namespace tarsk {
namespace {

constexpr int kSize = 200;
constexpr uint32_t kAreaId = 7;
constexpr size_t kCapacity = 100;

class PlatformServicesX11 : public testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("LP_NUM_THREADS", "0", 1);
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        server = std::make_unique<tarskhost::XvfbServer>();
        std::string error;
        serverError = server->start(error) ? "" : error;
        if (serverError.empty()) {
            ::test::keepMesaDriverLoaded();
        }
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        ASSERT_EQ(serverError, "");
        host = XOpenDisplay(nullptr);
        ASSERT_NE(host, nullptr);
        XSetWindowAttributes a{};
        a.event_mask = StructureNotifyMask;
        parent = XCreateWindow(host, DefaultRootWindow(host), 0, 0, kSize, kSize, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWEventMask, &a);
        XMapWindow(host, parent);
        XSync(host, False);
        window = createPlatformWindow(static_cast<uintptr_t>(parent), kSize, kSize, 0, &record);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(window->input(), nullptr);
        ASSERT_NE(window->clipboard(), nullptr);
        // The font's table is enough to lay text out (no textures without a renderer).
        std::unique_ptr<MemoryStream> stream = openResource("hum521n.png");
        ASSERT_NE(stream, nullptr);
        ASSERT_TRUE(font.load(*stream, 0.0f, nullptr));
        ui.setFont(&font);
        ui.setPlatformInput(window->input());
        ui.setClipboard(window->clipboard());
    }
    void TearDown() override {
        window.reset();
        if (host != nullptr) {
            XCloseDisplay(host);
        }
    }

    // One frame: the window's events (as the root view's tick pumps them), then the text area.
    void frame() {
        window->pumpEvents();
        ui.beginFrame();
        ui.textArea(kAreaId, {10, 10, 190, 190}, text, 12.0f, kAlignLeft, caret, static_cast<int>(kCapacity));
        ui.endFrame();
    }
    // Clicks into the text area so that it takes the focus.
    void focusArea() {
        ui.hoverChanged(true);
        ui.mouseMove(50, 50);
        frame();  // the area is hot before the press
        ui.leftButton(true, 50, 50);
        frame();
        ui.leftButton(false, 50, 50);
        frame();
        ASSERT_EQ(ui.focusId(), kAreaId);
    }
    void paste() {
        ui.key(true, kKeyCharacter | kCharPaste);
        frame();
    }

    static std::unique_ptr<tarskhost::XvfbServer> server;
    static std::string serverError;
    Display* host = nullptr;
    Window parent = 0;
    GlWindowRecord record;
    std::unique_ptr<PlatformWindow> window;
    UiFontmap font;
    UiContext ui;
    char text[kCapacity + 1] = "";
    int caret = 0;
};

std::unique_ptr<tarskhost::XvfbServer> PlatformServicesX11::server;
std::string PlatformServicesX11::serverError;

TEST_F(PlatformServicesX11, ModifierKeysAreReadWhenAskedWhileXTestHoldsThem) {
    const KeyCode ctrlLeft = XKeysymToKeycode(host, XK_Control_L);
    const KeyCode ctrlRight = XKeysymToKeycode(host, XK_Control_R);
    const KeyCode shift = XKeysymToKeycode(host, XK_Shift_L);
    EXPECT_FALSE(ui.ctrlHeld());
    EXPECT_FALSE(ui.shiftHeld());

    XTestFakeKeyEvent(host, ctrlLeft, True, CurrentTime);
    XSync(host, False);
    EXPECT_TRUE(ui.ctrlHeld());  // no event pumped: the state is asked of the server
    EXPECT_FALSE(ui.shiftHeld());
    EXPECT_FALSE(ui.altHeld());
    XTestFakeKeyEvent(host, ctrlLeft, False, CurrentTime);
    XSync(host, False);
    EXPECT_FALSE(ui.ctrlHeld());

    if (ctrlRight != 0) {  // the right-hand key counts too
        XTestFakeKeyEvent(host, ctrlRight, True, CurrentTime);
        XSync(host, False);
        EXPECT_TRUE(ui.ctrlHeld());
        XTestFakeKeyEvent(host, ctrlRight, False, CurrentTime);
    }
    XTestFakeKeyEvent(host, shift, True, CurrentTime);
    XSync(host, False);
    EXPECT_TRUE(ui.shiftHeld());
    EXPECT_FALSE(ui.ctrlHeld());
    XTestFakeKeyEvent(host, shift, False, CurrentTime);
    XSync(host, False);
    EXPECT_FALSE(window->input()->keyDown(-5));  // not a modifier
}

TEST_F(PlatformServicesX11, PasteTakesTheClipboardOwnersTextWithinAFewFrames) {
    ClipboardOwner owner("pasted \xC3\xA9 text", true);
    ASSERT_TRUE(owner.owns());
    focusArea();
    paste();
    int frames = 0;
    while (std::strstr(text, "pasted") == nullptr && frames < 50) {
        XSync(host, False);
        owner.serve();
        frame();
        ++frames;
    }
    EXPECT_EQ(owner.requests, 1);
    EXPECT_LT(frames, 50);
    // The two-byte character arrives as one character (a decimal reference in the area's text).
    EXPECT_STREQ(text, "pasted &#233; text");
    EXPECT_EQ(caret, static_cast<int>(std::strlen(text)));
}

TEST_F(PlatformServicesX11, NoOwnerOrASilentOwnerNeverBlocksAFrame) {
    focusArea();
    paste();  // nobody owns CLIPBOARD: the server refuses at once
    for (int i = 0; i < 10; ++i) {
        XSync(host, False);
        frame();
    }
    EXPECT_STREQ(text, "");

    ClipboardOwner silent("never sent", false);
    ASSERT_TRUE(silent.owns());
    paste();
    for (int i = 0; i < 10; ++i) {
        XSync(host, False);
        silent.serve();
        frame();  // returns although the owner never answers
    }
    EXPECT_EQ(silent.requests, 1);
    EXPECT_STREQ(text, "");

    // A later answering owner still gets through after the silent one.
    ClipboardOwner owner("late", true);
    paste();
    for (int i = 0; i < 20 && std::strcmp(text, "late") != 0; ++i) {
        XSync(host, False);
        owner.serve();
        frame();
    }
    EXPECT_STREQ(text, "late");
}

}  // namespace
}  // namespace tarsk
