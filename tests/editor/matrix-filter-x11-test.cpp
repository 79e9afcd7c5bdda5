// The Matrix and Filter tabs in the host's editor command under a private Xvfb: switching to them
// changes the picture (the screenshots are kept for the README), and a vertical mouse drag made with
// XTest on a value box of each tab changes that field in the program the host reads back with
// effGetChunk, and with it the rendered sound.
// gtest before the X11 headers: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "x11-host-support.h"
#include "host/xvfb-server.h"
#include "mesa-driver-keeper.h"
#include "plugin/fake-host.h"
#include "plugin/verb-effect.h"
#include "presets/fxp-file.h"

namespace tarsk {
namespace {

using test::findWindowNamed;
using test::waitForExit;

constexpr int kWidth = 640;
constexpr int kHeight = 320;
constexpr int kUnit = 20;
constexpr int kContentBottom = 4 * kUnit;  // pixels above the window's bottom edge
constexpr const char* kTitle = "TarskVerb (tarskverb-host editor)";

std::string hostCommand(const std::string& arguments) {
    return std::string("ASAN_OPTIONS=detect_leaks=0 ") + TARSK_HOST_TOOL + " " + arguments;
}

std::vector<uint8_t> readRgbPng(const std::string& path) {
    std::vector<uint8_t> pixels;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return pixels;
    }
    image.format = PNG_FORMAT_RGB;
    pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) || image.width != kWidth ||
        image.height != kHeight) {
        pixels.clear();
    }
    return pixels;
}

std::vector<char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pixels of the content area (above the header, left of the page icons) that differ clearly.
int contentDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int n = 0;
    for (int y = 0; y < kHeight - kContentBottom; ++y) {
        for (int x = 3 * kUnit; x < kWidth - 3 * kUnit; ++x) {
            const size_t i = (static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 3;
            const int d = std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]);
            n += d > 30 ? 1 : 0;
        }
    }
    return n;
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class MatrixFilterX11 : public testing::Test {
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
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        base = testing::TempDir() + "matrix-filter-" + std::to_string(getpid());
    }
    void TearDown() override {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    // A screenshot of the Editor page's tab after a few frames.
    std::vector<uint8_t> shotOfTab(int tab, const std::string& path) {
        const std::string command = hostCommand("editor " + std::string(TARSK_PLUGIN_FILE) + " --page 1 --tab " +
                                                std::to_string(tab) + " --frames 4 --screenshot " + path);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return readRgbPng(path);
    }

    // Runs the editor on a tab; presses at (x, y) (pixels from the window's top left), moves up by
    // `rise` pixels in steps and releases, then closes the window. Answers the saved program.
    bool dragInEditor(int tab, const std::vector<std::pair<int, int>>& clicksFirst, int x, int y, int rise,
                      ProgramRecord& saved) {
        const std::string fxp = base + "-tab" + std::to_string(tab) + ".fxp";
        std::remove(fxp.c_str());
        pid_t child = fork();
        if (child == 0) {
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            const std::string tabText = std::to_string(tab);
            execl(TARSK_HOST_TOOL, TARSK_HOST_TOOL, "editor", TARSK_PLUGIN_FILE, "--page", "1", "--tab",
                  tabText.c_str(), "--save-program", fxp.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        Window window = 0;
        for (int i = 0; i < 200 && window == 0; ++i) {
            pause(50);
            window = findWindowNamed(display, kTitle);
        }
        if (window == 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            return false;
        }
        pause(2500);  // the editor opens and draws its first frames (llvmpipe on a busy machine is slow)
        int ox = 0, oy = 0;
        Window unused = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &ox, &oy, &unused);
        auto move = [&](int px, int py) {
            XTestFakeMotionEvent(display, -1, ox + px, oy + py, CurrentTime);
            XFlush(display);
            pause(200);
        };
        auto button = [&](bool down) {
            XTestFakeButtonEvent(display, 1, down ? True : False, CurrentTime);
            XFlush(display);
            pause(400);
        };
        for (const auto& [cx, cy] : clicksFirst) {
            move(cx, cy);
            button(true);
            button(false);
        }
        move(x, y);
        button(true);
        constexpr int kSteps = 8;
        for (int i = 1; i <= kSteps; ++i) {
            move(x, y - rise * i / kSteps);
        }
        button(false);
        pause(1000);  // the edit reaches the effect at the end of a frame
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &close);
        XSync(display, False);
        if (waitForExit(child) != 0) {
            return false;
        }
        FileStream file(fxp.c_str(), kOpenRead);
        return file.isOpen() && readFxpIntoRecord(file, saved);
    }

    // The impulse response of a program (or of the plug-in's own when the path is empty).
    std::vector<char> render(const std::string& program, const std::string& name) {
        const std::string out = base + "-" + name + ".wav";
        std::string args = "render --impulse 1 ";
        if (!program.empty()) {
            args += "--program " + program + " ";
        }
        const std::string command = hostCommand(args + TARSK_PLUGIN_FILE + " " + out + " 2>/dev/null");
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<char> bytes = fileBytes(out);
        std::remove(out.c_str());
        return bytes;
    }

    static std::unique_ptr<tarskhost::XvfbServer> server;
    static std::string serverError;
    Display* display = nullptr;
    std::string base;
};

std::unique_ptr<tarskhost::XvfbServer> MatrixFilterX11::server;
std::string MatrixFilterX11::serverError;

// Window pixel (from the top left) of a page position in units.
int pageX(float units) { return static_cast<int>(units * kUnit); }
int pageY(float units) { return kHeight - kContentBottom - static_cast<int>(units * kUnit); }

TEST_F(MatrixFilterX11, SwitchingToTheMatrixAndFilterTabsChangesThePicture) {
    const std::vector<uint8_t> algorithm = shotOfTab(1, base + "-algo.png");
    const std::string matrixPath = base + "-matr.png";
    const std::string filterPath = base + "-filt.png";
    const std::vector<uint8_t> matrix = shotOfTab(2, matrixPath);
    const std::vector<uint8_t> filter = shotOfTab(3, filterPath);
    ASSERT_FALSE(algorithm.empty());
    ASSERT_FALSE(matrix.empty());
    ASSERT_FALSE(filter.empty());
    EXPECT_GT(contentDifference(algorithm, matrix), 2000);
    EXPECT_GT(contentDifference(matrix, filter), 2000);
    EXPECT_GT(contentDifference(algorithm, filter), 2000);
    // Kept beside the build for the README.
    if (const char* buildDir = std::getenv("TARSK_BUILD_DIR")) {
        std::error_code ignored;
        std::filesystem::copy_file(matrixPath, std::string(buildDir) + "/editor-tab-matr.png",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
        std::filesystem::copy_file(filterPath, std::string(buildDir) + "/editor-tab-filt.png",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
    for (const char* name : {"-algo.png", "-matr.png", "-filt.png"}) {
        std::remove((base + name).c_str());
    }
}

TEST_F(MatrixFilterX11, ADragOnAValueBoxOfEachTabChangesItsFieldAndTheSound) {
    test::FakeHost fakeHost;
    test::FakeHostScope scope{fakeHost};
    const ProgramRecord start = VerbEffect(test::FakeHost::callback).programCopy(0);
    ASSERT_NE(start.f(word::halfLife), 0.0f) << "the start program decays";
    const std::vector<char> startSound = render("", "start");
    ASSERT_FALSE(startSound.empty());

    struct Case {
        const char* what;
        int tab;
        std::vector<std::pair<int, int>> clicksFirst;
        float x, y;  // the value box, page units
        int field;
    };
    const Case cases[] = {
        {"Matrix: alpha", 2, {}, 9.0f, 8.5f, word::alpha},
        {"Filter, Linear: Lowcut", 3, {{pageX(5.0f), pageY(11.0f)}}, 9.5f, 8.5f, word::lowcut},
        {"Filter, Nonlinear: Drive", 3, {{pageX(9.0f), pageY(11.0f)}}, 9.5f, 6.5f, word::drive},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramRecord saved;
        ASSERT_TRUE(dragInEditor(c.tab, c.clicksFirst, pageX(c.x), pageY(c.y), 40, saved));
        EXPECT_NE(saved.f(c.field), start.f(c.field));
        for (int w = 0; w < kRecordWords; ++w) {
            if (w != c.field) {
                EXPECT_EQ(saved.words[w], start.words[w]) << "word " << w;
            }
        }
        const std::string fxp = base + "-tab" + std::to_string(c.tab) + ".fxp";
        const std::vector<char> sound = render(fxp, "edited");
        ASSERT_FALSE(sound.empty());
        EXPECT_NE(sound, startSound);
        std::remove(fxp.c_str());
    }
}

}  // namespace
}  // namespace tarsk
