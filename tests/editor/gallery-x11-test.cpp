// The widget gallery in the editor window under a private Xvfb: asked for through the vendor-specific
// opcode, pasting a real Ctrl+V (XTest) from a clipboard owner into its text area, and the host tool's
// gallery screenshot.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <png.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "editor/x11-clipboard-owner.h"
#include "editor/mesa-driver-keeper.h"
#include "host/xvfb-server.h"
#include "plugin/editor-window.h"
#include "plugin/fake-host.h"
#include "plugin/verb-effect.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

class GalleryX11 : public testing::Test {
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
    }
    void TearDown() override {
        if (host != nullptr) {
            XCloseDisplay(host);
        }
    }
    Window makeParent(int width, int height) {
        Window w = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, static_cast<unsigned>(width),
                                       static_cast<unsigned>(height), 0, 0, 0);
        XMapWindow(host, w);
        XSync(host, False);
        return w;
    }
    static void idleOnce(VerbEffect& effect) {
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    static std::unique_ptr<tarskhost::XvfbServer> server;
    static std::string serverError;
    Display* host = nullptr;
    FakeHost fakeHost;
    FakeHostScope scope{fakeHost};
};

std::unique_ptr<tarskhost::XvfbServer> GalleryX11::server;
std::string GalleryX11::serverError;

TEST_F(GalleryX11, CtrlVPastesTheClipboardIntoTheGallerysTextArea) {
    VerbEffect effect(FakeHost::callback);
    ASSERT_EQ(effect.dispatch(vst2::effVendorSpecific, kVendorIndexGallery, 0, nullptr, 0), 1);
    EXPECT_EQ(effect.dispatch(vst2::effVendorSpecific, kVendorIndexGallery + 1, 0, nullptr, 0), 0);
    vst2::ERect* rect = nullptr;
    ASSERT_EQ(effect.dispatch(vst2::effEditGetRect, 0, 0, &rect, 0), 1);
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    EXPECT_GE(width, kGalleryWidth);
    EXPECT_GE(height, kGalleryHeight);
    Window parent = makeParent(width, height);
    ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), 0), 1);
    // Once open, the choice is made.
    EXPECT_EQ(effect.dispatch(vst2::effVendorSpecific, kVendorIndexGallery, 0, nullptr, 0), 0);
    GalleryView* gallery = effect.editor()->galleryView();
    ASSERT_NE(gallery, nullptr);
    for (int i = 0; i < 10; ++i) {
        idleOnce(effect);
    }
    EXPECT_EQ(gallery->loadedFonts(), kGalleryFontCount);

    // Click into the text area (view y is upwards, X's downwards).
    UiRect area = galleryTextAreaRect(static_cast<float>(width), static_cast<float>(height));
    const int clickX = static_cast<int>(area.cx);
    const int clickY = height - static_cast<int>(area.cy);
    XTestFakeMotionEvent(host, DefaultScreen(host), clickX, clickY, CurrentTime);
    XSync(host, False);
    for (int i = 0; i < 10; ++i) {
        idleOnce(effect);  // the area is hot before the press
    }
    XTestFakeButtonEvent(host, Button1, True, CurrentTime);
    XSync(host, False);
    for (int i = 0; i < 10; ++i) {
        idleOnce(effect);
    }
    XTestFakeButtonEvent(host, Button1, False, CurrentTime);
    XSync(host, False);
    for (int i = 0; i < 10; ++i) {
        idleOnce(effect);
    }
    ASSERT_NE(gallery->focusId(), 0u);

    ClipboardOwner owner("<pasted>", true);
    ASSERT_TRUE(owner.owns());
    const KeyCode ctrl = XKeysymToKeycode(host, XK_Control_L);
    const KeyCode v = XKeysymToKeycode(host, XK_v);
    XTestFakeKeyEvent(host, ctrl, True, CurrentTime);
    XTestFakeKeyEvent(host, v, True, CurrentTime);
    XTestFakeKeyEvent(host, v, False, CurrentTime);
    XTestFakeKeyEvent(host, ctrl, False, CurrentTime);
    XSync(host, False);
    for (int i = 0; i < 100 && std::strstr(gallery->state().text, "<pasted>") == nullptr; ++i) {
        owner.serve();
        idleOnce(effect);
    }
    EXPECT_EQ(owner.requests, 1);
    EXPECT_NE(std::strstr(gallery->state().text, "<pasted>"), nullptr) << gallery->state().text;
    EXPECT_EQ(std::strchr(gallery->state().text, 'v' - 'a' + 1), nullptr);  // no control character typed
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}

TEST_F(GalleryX11, HostEditorCommandWritesAGalleryScreenshotThatIsNotBlank) {
    std::string shot = testing::TempDir() + "gallery-shot-" + std::to_string(getpid()) + ".png";
    std::remove(shot.c_str());
    std::string command = std::string("ASAN_OPTIONS=detect_leaks=0 ") + TARSK_HOST_TOOL + " editor " +
                          TARSK_PLUGIN_FILE + " --gallery --screenshot " + shot + " --frames 4";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, shot.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    EXPECT_GE(static_cast<int>(image.width), kGalleryWidth);
    EXPECT_GE(static_cast<int>(image.height), kGalleryHeight);
    std::set<uint32_t> colours;
    // Text-like pixels: sharp changes of brightness between horizontal neighbours.
    size_t edges = 0;
    for (size_t i = 0; i + 5 < pixels.size(); i += 3) {
        colours.insert((uint32_t{pixels[i]} << 16) | (uint32_t{pixels[i + 1]} << 8) | pixels[i + 2]);
        const int here = pixels[i] + pixels[i + 1] + pixels[i + 2];
        const int next = pixels[i + 3] + pixels[i + 4] + pixels[i + 5];
        edges += std::abs(here - next) > 200 ? 1 : 0;
    }
    EXPECT_GT(colours.size(), 200u);
    EXPECT_GT(edges, 5000u);
    if (const char* buildDir = std::getenv("TARSK_BUILD_DIR")) {
        std::error_code ignored;
        std::filesystem::copy_file(shot, std::string(buildDir) + "/gallery-screenshot.png",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
    std::remove(shot.c_str());
}

}  // namespace
}  // namespace tarsk
