// The Algorithm and I/O tabs through `tarskverb-host editor` under a private Xvfb: each tab draws a picture
// of its own, and a vertical drag (XTest) on a value box of each tab changes exactly that field in the
// program the host reads back with effGetChunk, and with it the rendered impulse response. The screenshots
// of the Config and Input vectors tabs are kept beside the build for the README.
// gtest before the X11 headers: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <initializer_list>
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
#include "editor-test-support.h"
#include "editor/page-algorithm.h"
#include "editor/page-io.h"
#include "host/xvfb-server.h"
#include "mesa-driver-keeper.h"
#include "presets/fxp-file.h"
#include "tarsklib/stream.h"

namespace tarsk {
namespace {

constexpr const char* kWindowTitle = "TarskVerb (tarskverb-host editor)";
constexpr int kWidth = 640;
constexpr int kHeight = 320;
constexpr float kUnit = 20.0f;
constexpr float kContentBottom = 80.0f;
// Pauses that give the host's editor (a frame every 33 ms, slower under llvmpipe on a busy machine) time to
// see each state of the mouse.
constexpr int kStepMs = 120;
constexpr int kHoldMs = 300;
constexpr int kSettleMs = 400;

std::string tempPath(const std::string& name) {
    return testing::TempDir() + "algoio-" + std::to_string(getpid()) + "-" + name;
}

// The start program: the plug-in's own first program made audible and given every structure the tabs edit.
ProgramRecord startProgram() {
    test::FakeHost fakeHost;
    test::FakeHostScope scope{fakeHost};
    VerbEffect effect(test::FakeHost::callback);
    ProgramRecord record = effect.programCopy(0);
    record.setF(word::dry, 0.0f);
    record.setF(word::wet, 100.0f);
    record.setF(word::halfLife, 0.2f);
    record.setF(word::timeBase, 0.01f);
    record.setU(word::flags, flag::multitap | flag::tapOutputs | flag::crossMixing);
    for (int line = 0; line < 4; ++line) {
        record.setF(word::delayLength + line, 1.0f + 0.3f * static_cast<float>(line));
        record.setF(word::tap1 + line, 0.3f);
        record.setF(word::tap2 + line, 0.5f);
        record.setF(word::tap3 + line, 0.7f);
        record.setF(word::decayScale + line, 1.0f);
    }
    for (int k = 0; k < 3; ++k) {
        record.setF(word::tapLevel + k, 0.3f);
    }
    const float unitVectors[4][2] = {{1.0f, 0.0f}, {0.0f, 1.0f}, {-1.0f, 0.0f}, {0.0f, -1.0f}};
    for (int line = 0; line < 4; ++line) {
        for (int side = 0; side < 2; ++side) {
            record.setF(word::inputVectors + 2 * line + side, unitVectors[line][side]);
            record.setF(word::outputVectors + 2 * line + side, unitVectors[line][side]);
        }
    }
    return record;
}

bool writeProgram(const std::string& path, const ProgramRecord& record) {
    FileStream file(path.c_str(), kOpenWrite);
    return file.isOpen() && writeFxp(file, record);
}

bool readProgram(const std::string& path, ProgramRecord& record) {
    FileStream file(path.c_str(), kOpenRead);
    return file.isOpen() && readFxpIntoRecord(file, record);
}

std::vector<char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int runCommand(const std::string& command) {
    const std::string line = "ASAN_OPTIONS=detect_leaks=0 " + command;
    return std::system(line.c_str());
}

// The impulse response of a program, as the bytes of the rendered file.
std::vector<char> renderImpulse(const std::string& program, const std::string& name) {
    const std::string out = tempPath(name + ".wav");
    const std::string command = std::string(TARSK_HOST_TOOL) + " render --impulse 1 --program " + program + " " +
                                TARSK_PLUGIN_FILE + " " + out;
    EXPECT_EQ(runCommand(command), 0) << command;
    std::vector<char> bytes = fileBytes(out);
    std::remove(out.c_str());
    return bytes;
}

// An 8-bit RGB PNG's pixels (empty on failure).
std::vector<uint8_t> readRgbPng(const std::string& path) {
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
    return pixels;
}

// Pixels that differ between two pictures of the window inside the content area (above the header).
int contentDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) {
        return -1;
    }
    int differing = 0;
    const size_t contentBytes = static_cast<size_t>(kWidth) * static_cast<size_t>(kHeight - 80) * 3;
    for (size_t i = 0; i + 2 < contentBytes && i + 2 < a.size(); i += 3) {
        differing += (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2]) ? 1 : 0;
    }
    return differing;
}

class AlgoIoX11 : public testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("LP_NUM_THREADS", "0", 1);
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        std::string error;
        server = std::make_unique<tarskhost::XvfbServer>();
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
        start = startProgram();
        startFile = tempPath("start.fxp");
        ASSERT_TRUE(writeProgram(startFile, start));
    }
    void TearDown() override {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (display != nullptr) {
            XCloseDisplay(display);
        }
        std::remove(startFile.c_str());
    }

    // A still picture of a tab through the host's --screenshot (pixels; the file is kept at `shot`).
    std::vector<uint8_t> screenshot(int tab, const std::string& shot) {
        const std::string command = std::string(TARSK_HOST_TOOL) + " editor " + TARSK_PLUGIN_FILE + " --program " +
                                    startFile + " --page 1 --tab " + std::to_string(tab) +
                                    " --frames 4 --screenshot " + shot;
        EXPECT_EQ(runCommand(command), 0) << command;
        return readRgbPng(shot);
    }

    // Starts the host's editor on a tab with the start program; waits for its window and a few frames.
    bool openInteractive(int tab, const std::string& saved) {
        child = fork();
        if (child == 0) {
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            const std::string tabText = std::to_string(tab);
            execl(TARSK_HOST_TOOL, TARSK_HOST_TOOL, "editor", TARSK_PLUGIN_FILE, "--program", startFile.c_str(),
                  "--page", "1", "--tab", tabText.c_str(), "--save-program", saved.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && window == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            window = findWindow();
        }
        if (window == 0) {
            return false;
        }
        // The first frames under llvmpipe take a while: wait until the page shows (at most 20 s).
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const std::vector<uint8_t> shown = grab();
            int lit = 0;
            for (size_t p = 0; p < shown.size(); p += 3) {
                lit += shown[p] + shown[p + 1] + shown[p + 2] > 60 ? 1 : 0;
            }
            if (lit > kWidth * kHeight / 2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
                return true;
            }
        }
        return false;
    }

    Window findWindow() { return test::findWindowNamed(display, kWindowTitle); }

    // Editor coordinates (units of the content area, y up) to the screen.
    void toScreen(float xUnits, float yUnits, int& sx, int& sy) {
        int wx = 0;
        int wy = 0;
        Window childWindow = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &wx, &wy, &childWindow);
        sx = wx + static_cast<int>(xUnits * kUnit);
        sy = wy + kHeight - static_cast<int>(kContentBottom + yUnits * kUnit);
    }

    void moveTo(int sx, int sy) {
        XTestFakeMotionEvent(display, DefaultScreen(display), sx, sy, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));  // a frame or more
    }

    void click(float xUnits, float yUnits) {
        int sx = 0;
        int sy = 0;
        toScreen(xUnits, yUnits, sx, sy);
        moveTo(sx, sy);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    }

    // Press, move by dy pixels upwards in steps (a frame or more each), release.
    void dragUp(float xUnits, float yUnits, int dy) {
        int sx = 0;
        int sy = 0;
        toScreen(xUnits, yUnits, sx, sy);
        moveTo(sx, sy);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
        constexpr int kSteps = 8;
        for (int i = 1; i <= kSteps; ++i) {
            moveTo(sx, sy - dy * i / kSteps);
        }
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    }

    std::vector<uint8_t> grab() {
        std::vector<uint8_t> pixels;
        XSync(display, False);
        // From the screen, where the editor's own window lies over the host's.
        int x = 0;
        int y = 0;
        Window childWindow = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &childWindow);
        XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, kWidth, kHeight, AllPlanes, ZPixmap);
        if (image == nullptr) {
            return pixels;
        }
        pixels.reserve(static_cast<size_t>(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                pixels.push_back(static_cast<uint8_t>((p >> 16) & 0xFF));
                pixels.push_back(static_cast<uint8_t>((p >> 8) & 0xFF));
                pixels.push_back(static_cast<uint8_t>(p & 0xFF));
            }
        }
        XDestroyImage(image);
        return pixels;
    }

    // Closes the window as a window manager would; the host then saves the program. Answers the exit status.
    int closeInteractive() {
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &close);
        XSync(display, False);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                child = 0;
                window = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    // One session: open on `tab`, optionally click a page tab first (answering whether the picture changed),
    // drag a value box up, close; the saved program must differ from the start in exactly `field`'s words.
    void editAndCheck(int tab, bool clickSubTab, float tabX, float boxX, float boxY, int dy,
                      std::initializer_list<int> fields, const char* name, ProgramRecord& saved) {
        const std::string savedFile = tempPath(std::string(name) + ".fxp");
        std::remove(savedFile.c_str());
        ASSERT_TRUE(openInteractive(tab, savedFile)) << name;
        if (clickSubTab) {
            std::vector<uint8_t> before = grab();
            click(tabX, 11.0f);
            std::vector<uint8_t> after = grab();
            EXPECT_GT(contentDifference(before, after), 500) << name << ": the other tab looks different";
        }
        dragUp(boxX, boxY, dy);
        ASSERT_EQ(closeInteractive(), 0) << name;
        ASSERT_TRUE(readProgram(savedFile, saved)) << name;
        bool anyChanged = false;
        for (int i = 0; i < kRecordWords; ++i) {
            bool allowed = false;
            for (int f : fields) {
                allowed = allowed || f == i;
            }
            if (allowed) {
                anyChanged = anyChanged || saved.words[i] != start.words[i];
            } else {
                EXPECT_EQ(saved.words[i], start.words[i]) << name << ": word " << i;
            }
        }
        EXPECT_TRUE(anyChanged) << name << ": the dragged field changed";
        // The sound follows the edit.
        EXPECT_NE(renderImpulse(savedFile, name), startSound()) << name;
        std::remove(savedFile.c_str());
    }

    const std::vector<char>& startSound() {
        if (startImpulse.empty()) {
            startImpulse = renderImpulse(startFile, "start");
            // Rendering is deterministic: the same program renders the same bytes.
            EXPECT_EQ(renderImpulse(startFile, "start-again"), startImpulse);
        }
        return startImpulse;
    }

    static std::unique_ptr<tarskhost::XvfbServer> server;
    static std::string serverError;
    Display* display = nullptr;
    Window window = 0;
    pid_t child = 0;
    ProgramRecord start;
    std::string startFile;
    static std::vector<char> startImpulse;  // rendered once for all tests (the start program is fixed)
};

std::unique_ptr<tarskhost::XvfbServer> AlgoIoX11::server;
std::string AlgoIoX11::serverError;
std::vector<char> AlgoIoX11::startImpulse;

TEST_F(AlgoIoX11, EachTabDrawsItsOwnPicture) {
    const std::string algoShot = tempPath("algo.png");
    const std::string ioShot = tempPath("io.png");
    std::vector<uint8_t> algo = screenshot(kTabAlgorithm, algoShot);
    std::vector<uint8_t> io = screenshot(kTabIo, ioShot);
    ASSERT_FALSE(algo.empty());
    ASSERT_FALSE(io.empty());
    EXPECT_GT(contentDifference(algo, io), 2000);
    // Kept beside the build for the README's Editor section.
    if (const char* buildDir = std::getenv("TARSK_BUILD_DIR")) {
        std::error_code ignored;
        std::filesystem::copy_file(algoShot, std::string(buildDir) + "/editor-tab-algo.png",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
        std::filesystem::copy_file(ioShot, std::string(buildDir) + "/editor-tab-io.png",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
    std::remove(algoShot.c_str());
    std::remove(ioShot.c_str());
}

TEST_F(AlgoIoX11, ConfigTabTapOutputLevel) {
    // Tap 2's level box: the start program has Cross mixing with a half life and filters after the output,
    // so the boxes stand unshifted 4.375u below the "Tap outputs" row (10u).
    ASSERT_EQ(tapBoxShift(start), 0.0f);
    ProgramRecord saved;
    editAndCheck(kTabAlgorithm, false, 0.0f, kTapBoxX[1], 10.0f - 4.375f, 40, {word::tapLevel + 1}, "config",
                 saved);
    EXPECT_GT(saved.f(word::tapLevel + 1), start.f(word::tapLevel + 1));
}

TEST_F(AlgoIoX11, DelaysTabLineLength) {
    ProgramRecord saved;
    editAndCheck(kTabAlgorithm, true, 9.0f, 17.5f, 8.5f, 24, {word::delayLength}, "delays", saved);
    EXPECT_GT(saved.f(word::delayLength), start.f(word::delayLength));
}

TEST_F(AlgoIoX11, InputVectorsTabLength) {
    // Line 2's length box; the vector keeps its direction and gets shorter.
    ProgramRecord saved;
    editAndCheck(kTabIo, false, 0.0f, 8.75f, 2.0f * 1.5f + 3.5f, -40, {word::inputVectors + 2, word::inputVectors + 3},
                 "input", saved);
    EXPECT_LT(stereoPolar(saved.f(word::inputVectors + 2), saved.f(word::inputVectors + 3)).length, 0.9f);
}

TEST_F(AlgoIoX11, OutputVectorsTabAngle) {
    // Line 1's angle box after switching to the output vectors.
    ProgramRecord saved;
    editAndCheck(kTabIo, true, 11.25f, 5.0f, 3.0f * 1.5f + 3.5f, 30, {word::outputVectors, word::outputVectors + 1},
                 "output", saved);
    const StereoPolar was = stereoPolar(start.f(word::outputVectors), start.f(word::outputVectors + 1));
    const StereoPolar now = stereoPolar(saved.f(word::outputVectors), saved.f(word::outputVectors + 1));
    EXPECT_GT(std::fabs(now.degrees - was.degrees), 5.0f);
    EXPECT_NEAR(now.length, was.length, 1e-3f);
}

}  // namespace
}  // namespace tarsk
