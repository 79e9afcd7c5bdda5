// The Summary, Settings, Calculator and Info pages in the editor window under a private Xvfb: a program
// name typed with real key events reaches the host, the "large" display size resizes the editor's and
// the host's window, and the host tool's screenshot of each page is not blank.
// gtest before the X11 headers: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <png.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "editor/mesa-driver-keeper.h"
#include "host/xvfb-server.h"
#include "plugin/editor-window.h"
#include "plugin/fake-host.h"
#include "plugin/verb-effect.h"
#include "tarsklib/test-folder.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

constexpr int kUnit = 20;  // pixels per unit at display scale 1
constexpr int kWidth = 32 * kUnit;
constexpr int kHeight = 16 * kUnit;

class PagesX11 : public testing::Test {
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

    // Opens the effect's editor in a host window at the screen's top-left corner.
    void openEditor(VerbEffect& effect) {
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, kWidth, kHeight, 0, 0, 0);
        XMapWindow(host, parent);
        XSync(host, False);
        ASSERT_EQ(effect.dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), 0),
                  1);
        idle(effect, 10);
    }
    static void idle(VerbEffect& effect, int times) {
        for (int i = 0; i < times; ++i) {
            effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // A click at editor pixels (origin bottom-left, y up) of an editor `height` pixels high.
    void click(VerbEffect& effect, int x, int y, int height = kHeight) {
        XTestFakeMotionEvent(host, DefaultScreen(host), x, height - y, CurrentTime);
        XSync(host, False);
        idle(effect, 5);
        XTestFakeButtonEvent(host, Button1, True, CurrentTime);
        XSync(host, False);
        idle(effect, 5);
        XTestFakeButtonEvent(host, Button1, False, CurrentTime);
        XSync(host, False);
        idle(effect, 5);
    }
    void typeKey(KeySym symbol) {
        const KeyCode code = XKeysymToKeycode(host, symbol);
        XTestFakeKeyEvent(host, code, True, CurrentTime);
        XTestFakeKeyEvent(host, code, False, CurrentTime);
        XSync(host, False);
    }
    // The size of the editor's own window (the parent's only child).
    bool editorWindowSize(int& width, int& height) {
        Window root = 0;
        Window up = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(host, parent, &root, &up, &children, &count) || count == 0) {
            return false;
        }
        XWindowAttributes attributes{};
        const bool ok = XGetWindowAttributes(host, children[0], &attributes) != 0;
        XFree(children);
        width = attributes.width;
        height = attributes.height;
        return ok;
    }

    static std::unique_ptr<tarskhost::XvfbServer> server;
    static std::string serverError;
    Display* host = nullptr;
    Window parent = 0;
    FakeHost fakeHost;
    FakeHostScope scope{fakeHost};
};

std::unique_ptr<tarskhost::XvfbServer> PagesX11::server;
std::string PagesX11::serverError;

TEST_F(PagesX11, KeysTypedIntoTheProgramNameRenameTheProgramAsTheHostSeesIt) {
    VerbEffect effect(FakeHost::callback);
    openEditor(effect);
    const ProgramRecord before = effect.programCopy(effect.currentProgram());
    ASSERT_GT(std::strlen(before.name()), 2u);
    // The name area of the Summary page (the start page): centre (13.75u, 10.75u) above the 4u header.
    click(effect, static_cast<int>(13.75 * kUnit), static_cast<int>(14.75 * kUnit));
    typeKey(XK_End);
    typeKey(XK_BackSpace);
    typeKey(XK_BackSpace);
    idle(effect, 5);
    const std::string stem = effect.programCopy(effect.currentProgram()).name();
    EXPECT_EQ(stem, std::string(before.name()).substr(0, std::strlen(before.name()) - 2));
    // Short enough for the host's 24 characters.
    for (int i = 0; i < kNameBytes; ++i) {
        typeKey(XK_BackSpace);
    }
    idle(effect, 5);
    const int updates = fakeHost.count(vst2::audioMasterUpdateDisplay);
    typeKey(XK_h);
    typeKey(XK_space);
    typeKey(XK_z);
    idle(effect, 10);
    char name[kNameBytes + 1] = {};
    ASSERT_TRUE(effect.getProgramNameIndexed(name, effect.currentProgram()));
    EXPECT_STREQ(name, "h z");
    EXPECT_GE(fakeHost.count(vst2::audioMasterUpdateDisplay), updates + 1) << "the host was told to refresh the name";
    EXPECT_LE(fakeHost.count(vst2::audioMasterUpdateDisplay), updates + 3) << "at most once per changed frame";
    const ProgramRecord after = effect.programCopy(effect.currentProgram());
    EXPECT_EQ(std::memcmp(after.description(), before.description(), kDescriptionBytes), 0);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}

TEST_F(PagesX11, TheLargeDisplaySizeResizesTheEditorAndTheHostsWindow) {
    test::TestFolder folder;
    test::ScopedEnvironment config("XDG_CONFIG_HOME", folder.path().string());
    VerbEffect effect(FakeHost::callback);
    openEditor(effect);
    int width = 0;
    int height = 0;
    ASSERT_TRUE(editorWindowSize(width, height));
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);
    // The Settings icon (x = 30.5u, 2.5u above the header), then "large" (16.5u, 7.5u).
    click(effect, static_cast<int>(30.5 * kUnit), static_cast<int>(6.5 * kUnit));
    const int sizeRequests = fakeHost.count(vst2::audioMasterSizeWindow);
    click(effect, static_cast<int>(16.5 * kUnit), static_cast<int>(11.5 * kUnit));
    idle(effect, 20);
    ASSERT_TRUE(editorWindowSize(width, height));
    EXPECT_EQ(width, 768);
    EXPECT_EQ(height, 384);
    EXPECT_EQ(fakeHost.count(vst2::audioMasterSizeWindow), sizeRequests + 1) << "the host was asked to follow";
    vst2::ERect* rect = nullptr;
    ASSERT_EQ(effect.dispatch(vst2::effEditGetRect, 0, 0, &rect, 0), 1);
    EXPECT_EQ(rect->right - rect->left, 768);
    EXPECT_EQ(rect->bottom - rect->top, 384);

    // "serif" at the new scale (10.5u, 6u above the header, u = 24): the fonts are loaded again in the
    // other family, and the window keeps its size.
    Editor& editor = effect.editor()->editor();
    const float sansLine = editor.font(kFaceRegular)->lineHeight();
    click(effect, static_cast<int>(10.5 * 24), static_cast<int>(10.0 * 24), 384);
    idle(effect, 10);
    EXPECT_EQ(editor.settings().fontStyle, kFontStyleSerif);
    EXPECT_TRUE(editor.font(kFaceRegular)->loaded());
    EXPECT_TRUE(editor.font(kFaceBold)->loaded());
    EXPECT_NE(editor.font(kFaceRegular)->lineHeight(), sansLine) << "another family";
    ASSERT_TRUE(editorWindowSize(width, height));
    EXPECT_EQ(width, 768);
    EXPECT_EQ(height, 384);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
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

TEST_F(PagesX11, HostEditorCommandShowsEachPageWithText) {
    struct Page {
        int number;
        const char* name;
    };
    const Page pages[] = {{0, "summary"}, {3, "calculator"}, {4, "info"}, {5, "settings"}};
    for (const Page& page : pages) {
        const std::string shot =
            testing::TempDir() + "editor-" + page.name + "-" + std::to_string(getpid()) + ".png";
        std::remove(shot.c_str());
        const std::string command = std::string("ASAN_OPTIONS=detect_leaks=0 ") + TARSK_HOST_TOOL + " editor " +
                                    TARSK_PLUGIN_FILE + " --page " + std::to_string(page.number) + " --screenshot " +
                                    shot + " --frames 4";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> pixels = readRgbPng(shot, width, height);
        ASSERT_FALSE(pixels.empty()) << page.name;
        EXPECT_EQ(width, kWidth);
        EXPECT_EQ(height, kHeight);
        // The content area (above the 4u header, left of the page icons): text is light on the dark
        // page backdrop, with sharp edges between neighbours.
        size_t light = 0;
        size_t edges = 0;
        const int contentBottom = height - 4 * kUnit;
        for (int y = 0; y < contentBottom; ++y) {
            for (int x = 3 * kUnit; x + 1 < width - 3 * kUnit; ++x) {
                const uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
                const int here = p[0] + p[1] + p[2];
                const int next = p[3] + p[4] + p[5];
                light += here > 3 * 150 ? 1 : 0;
                edges += std::abs(here - next) > 150 ? 1 : 0;
            }
        }
        EXPECT_GT(light, 300u) << page.name;
        EXPECT_GT(edges, 300u) << page.name;
        // Kept beside the build for the README's pictures of the pages.
        if (const char* buildDir = std::getenv("TARSK_BUILD_DIR")) {
            std::error_code ignored;
            std::filesystem::copy_file(shot, std::string(buildDir) + "/editor-" + page.name + ".png",
                                       std::filesystem::copy_options::overwrite_existing, ignored);
        }
        std::remove(shot.c_str());
    }
}

}  // namespace
}  // namespace tarsk
