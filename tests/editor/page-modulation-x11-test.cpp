// The Modulation tab in tarskverb-host editor under a private Xvfb, driven through XTest as a user
// would: opening the tab and each of its source and envelope tabs changes the picture; a vertical drag
// on the Out Gain box changes exactly that field in the program the host reads back with effGetChunk
// (--save-program); and a render with that program sounds louder.
// gtest before the X11 headers: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "x11-host-support.h"
#include "editor/mesa-driver-keeper.h"
#include "host/xvfb-server.h"
#include "plugin/verb-effect.h"
#include "plugin/fake-host.h"
#include "presets/fxp-file.h"
#include "tarsklib/stream.h"

namespace tarsk {
namespace {

using test::findWindowNamed;
using test::waitForExit;

using test::FakeHost;

constexpr const char* kWindowTitle = "TarskVerb (tarskverb-host editor)";
constexpr int kEditorWidth = 640;
constexpr int kEditorHeight = 320;
constexpr float kU = 20.0f;
constexpr int kStepMs = 300;       // between the events of a click: a frame sees each, even on a busy machine
constexpr int kWaitLimitMs = 20000;  // for the first picture and for a picture to follow an event

// Editor positions (units of u from the bottom-left, content area from 4u) to window pixels.
int windowX(float units) { return static_cast<int>(units * kU); }
int windowY(float unitsFromBottom) { return kEditorHeight - static_cast<int>(unitsFromBottom * kU); }

struct Place {
    int x;
    int y;
};
const Place kModTab{windowX(1.5f), windowY(4.0f + 3.5f)};
const Place kLfo2Tab{windowX(6.0f), windowY(4.0f + 11.0f)};
const Place kEnvTab{windowX(8.0f), windowY(4.0f + 11.0f)};
const Place kDecayTab{windowX(14.0f), windowY(4.0f + 9.5f)};
const Place kOutputTab{windowX(16.5f), windowY(4.0f + 9.5f)};
const Place kOutGainBox{windowX(15.5f), windowY(4.0f + 8.5f)};

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Float samples of a WAV file's data chunk (the host writes 32-bit float by default).
std::vector<float> wavSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[at + 4], 4);
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            const size_t count = std::min<size_t>(size, bytes.size() - at - 8) / sizeof(float);
            samples.resize(count);
            std::memcpy(samples.data(), &bytes[at + 8], count * sizeof(float));
            break;
        }
        at += 8 + size + (size & 1u);
    }
    return samples;
}

class ModulationTabX11 : public testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("LP_NUM_THREADS", "0", 1);
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        server = std::make_unique<tarskhost::XvfbServer>();
        serverError.clear();
        if (!server->start(serverError)) {
            return;
        }
        ::test::keepMesaDriverLoaded();
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        ASSERT_EQ(serverError, "");
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    // Starts the host's editor command with arguments; waits for its window.
    void startEditor(const std::vector<std::string>& args) {
        child = fork();
        if (child == 0) {
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            std::vector<char*> argv;
            std::string editor = "editor";
            std::string plugin = TARSK_PLUGIN_FILE;
            argv.push_back(const_cast<char*>(TARSK_HOST_TOOL));
            argv.push_back(editor.data());
            argv.push_back(plugin.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            execv(TARSK_HOST_TOOL, argv.data());
            _exit(127);
        }
        ASSERT_GT(child, 0);
        for (int i = 0; i < 200 && window == 0; ++i) {
            pause(50);
            window = findWindowNamed(display, kWindowTitle);
        }
        ASSERT_NE(window, 0u);
        Window ignored = 0;
        ASSERT_TRUE(XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &originX, &originY,
                                          &ignored));
        // The first frame (fonts, shaders) can take a while under llvmpipe: wait until something is drawn.
        std::vector<uint32_t> black(static_cast<size_t>(kEditorWidth) * kEditorHeight, 0u);
        waitForChange(black);
        pause(kStepMs);
    }

    // Waits until the picture differs from `from` (or the limit passes); answers the new picture.
    std::vector<uint32_t> waitForChange(const std::vector<uint32_t>& from) {
        std::vector<uint32_t> now = picture();
        for (int waited = 0; waited < kWaitLimitMs && changedPixels(from, now) == 0; waited += 50) {
            pause(50);
            now = picture();
        }
        pause(kStepMs);  // the frames after it settle
        return picture();
    }

    // The editor's picture as the server holds it.
    std::vector<uint32_t> picture() {
        std::vector<uint32_t> pixels;
        XImage* image = XGetImage(display, DefaultRootWindow(display), originX, originY, kEditorWidth,
                                  kEditorHeight, AllPlanes, ZPixmap);
        if (image == nullptr) {
            return pixels;
        }
        pixels.reserve(static_cast<size_t>(kEditorWidth) * kEditorHeight);
        for (int y = 0; y < kEditorHeight; ++y) {
            for (int x = 0; x < kEditorWidth; ++x) {
                pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFFu));
            }
        }
        XDestroyImage(image);
        return pixels;
    }

    // Pixels that differ in the area above the header.
    static int changedPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        if (a.size() != b.size()) {
            return -1;
        }
        int n = 0;
        for (size_t i = 0; i < static_cast<size_t>(kEditorWidth) * (kEditorHeight - 80); ++i) {
            n += a[i] != b[i] ? 1 : 0;
        }
        return n;
    }

    void moveTo(int x, int y) {
        XTestFakeMotionEvent(display, DefaultScreen(display), originX + x, originY + y, CurrentTime);
        XSync(display, False);
    }
    // Moves onto p, waits for the hover to show, then presses and releases; answers the picture taken
    // just before the press.
    std::vector<uint32_t> click(const Place& p) {
        moveTo(p.x, p.y);
        pause(kStepMs);
        std::vector<uint32_t> hovered = picture();
        XTestFakeButtonEvent(display, Button1, True, CurrentTime);
        XSync(display, False);
        pause(kStepMs);
        XTestFakeButtonEvent(display, Button1, False, CurrentTime);
        XSync(display, False);
        return hovered;
    }
    // Press, move upwards by `up` pixels a few at a time (a frame or two each), release.
    void dragUp(const Place& p, int up) {
        moveTo(p.x, p.y);
        pause(kStepMs);
        XTestFakeButtonEvent(display, Button1, True, CurrentTime);
        XSync(display, False);
        pause(kStepMs);
        for (int moved = 2; moved <= up; moved += 2) {
            moveTo(p.x, p.y - moved);
            pause(40);
        }
        pause(kStepMs);
        XTestFakeButtonEvent(display, Button1, False, CurrentTime);
        XSync(display, False);
    }
    void closeWindow() {
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &close);
        XSync(display, False);
    }

    static inline std::unique_ptr<tarskhost::XvfbServer> server;
    static inline std::string serverError;
    Display* display = nullptr;
    pid_t child = -1;
    Window window = 0;
    int originX = 0;
    int originY = 0;
};

TEST_F(ModulationTabX11, TabsChangeThePictureAndADragOnOutGainReachesTheSavedProgramAndTheSound) {
    const std::string base = testing::TempDir() + "mod-tab-" + std::to_string(getpid());
    const std::string saved = base + ".fxp";
    std::remove(saved.c_str());
    startEditor({"--page", "1", "--tab", "1", "--save-program", saved});

    // ALGO -> MOD, then LFO2, ENV, its DECAY and OUTPUT tabs: each changes the picture.
    std::vector<uint32_t> before;
    const Place steps[] = {kModTab, kLfo2Tab, kEnvTab, kDecayTab, kOutputTab};
    const char* names[] = {"MOD", "LFO2", "ENV", "DECAY", "OUTPUT"};
    for (int i = 0; i < 5; ++i) {
        before = click(steps[i]);
        ASSERT_FALSE(before.empty());
        std::vector<uint32_t> after = waitForChange(before);
        EXPECT_GT(changedPixels(before, after), 200) << names[i];
    }

    // 20 pixels up on the linear -60 .. 60 dB Out Gain box: +9.4 dB.
    moveTo(kOutGainBox.x, kOutGainBox.y);
    pause(kStepMs);
    before = picture();
    dragUp(kOutGainBox, 20);
    EXPECT_GT(changedPixels(before, waitForChange(before)), 20) << "the box shows the new gain";
    pause(kStepMs);  // the write-back and the undo step after the release
    closeWindow();
    ASSERT_EQ(waitForExit(child), 0);
    child = -1;

    FileStream file(saved.c_str(), kOpenRead);
    ASSERT_TRUE(file.isOpen());
    ProgramRecord record;
    ASSERT_TRUE(readFxpIntoRecord(file, record));
    VerbEffect fresh(FakeHost::callback);
    const ProgramRecord start = fresh.programCopy(fresh.currentProgram());
    const float gainDb = 20.0f * std::log10(record.f(word::outGain) / start.f(word::outGain));
    EXPECT_NEAR(gainDb, 20.0f * 120.0f / 256.0f, 2.5f);
    for (int w = 0; w < kRecordWords; ++w) {
        if (w != word::outGain && w != word::reserved) {
            EXPECT_EQ(record.u(w), start.u(w)) << "word " << w;
        }
    }

    // The impulse response's reverberant part grows with Out Gain.
    const std::string plain = base + "-plain.wav";
    const std::string louder = base + "-louder.wav";
    const std::string render = std::string("ASAN_OPTIONS=detect_leaks=0 ") + quoted(TARSK_HOST_TOOL) + " render --impulse 0.5 ";
    ASSERT_EQ(std::system((render + quoted(TARSK_PLUGIN_FILE) + " " + quoted(plain) + " 2>/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((render + "--program " + quoted(saved) + " " + quoted(TARSK_PLUGIN_FILE) + " " +
                           quoted(louder) + " 2>/dev/null")
                              .c_str()),
              0);
    const std::vector<float> a = wavSamples(plain);
    const std::vector<float> b = wavSamples(louder);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 4800u);
    double energyA = 0.0;
    double energyB = 0.0;
    for (size_t i = 2 * 480; i < a.size(); ++i) {  // after the first 10 ms (the dry impulse)
        energyA += static_cast<double>(a[i]) * a[i];
        energyB += static_cast<double>(b[i]) * b[i];
    }
    ASSERT_GT(energyA, 0.0) << "the start program has a reverberant part";
    EXPECT_GT(energyB / energyA, 4.0);
    std::remove(saved.c_str());
    std::remove(plain.c_str());
    std::remove(louder.c_str());
}

}  // namespace
}  // namespace tarsk
