// The Library page under a private Xvfb through the host's editor command: a user clicks the
// Library icon, a folder and a program, closes the window, and the host reads the loaded program
// back; and the page's picture, which the README shows (docs/editor-library.png).
// gtest before the X11 headers: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "x11-host-support.h"
#include "host/xvfb-server.h"
#include "mesa-driver-keeper.h"
#include "presets/fxp-file.h"
#include "presets/library-actions.h"
#include "presets/program-list.h"
#include "presets/zip-archive-node.h"
#include "tarsklib/resource.h"
#include "tarsklib/test-folder.h"

namespace {

using namespace tarsk;
using tarsk::test::findWindowNamed;
using tarsk::test::findChild;
using tarsk::test::waitForExit;

constexpr const char* kTitle = "TarskVerb (tarskverb-host editor)";
constexpr int kWidth = 640;
constexpr int kHeight = 320;
constexpr float kUnit = 20.0f;
// How long the host's editor command takes from its window to its first frames (font maps, first
// shaders); the sanitizer builds of the tool are several times slower.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kStartUpMs = 8000;
constexpr int kWindowWaitSteps = 1200;  // of 50 ms
constexpr int kScreenshotFrames[] = {240, 900};
#else
constexpr int kStartUpMs = 2500;
constexpr int kWindowWaitSteps = 300;
constexpr int kScreenshotFrames[] = {60, 240};
#endif

// Ends the host's editor command if a failed check leaves it running.
struct ChildGuard {
    pid_t pid = -1;
    ~ChildGuard() {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

// The first program of the first factory folder, as the Library page lists them (sorted).
std::string firstFactoryProgramName() {
    ProgramFileSystem files;
    std::shared_ptr<MemoryStream> archive(openResource(kFactoryArchiveResource));
    files.mount(kResourceMount, std::make_shared<ZipArchiveNode>(std::move(archive)));
    ProgramList list;
    scanProgramFolder(files, kFactoryProgramsPath, list);
    list.readLock();
    std::string path = list.categoryCount() > 0 && list.category(0).entryCount > 0
                           ? entryFilePath(list.entry(list.category(0).firstEntry))
                           : std::string();
    list.unlock();
    std::unique_ptr<Stream> stream = files.open(path, kOpenRead);
    ProgramRecord record;
    if (stream == nullptr || !readFxpIntoRecord(*stream, record)) {
        return std::string();
    }
    return record.name();
}

class LibraryX11 : public testing::Test {
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
    }
    void TearDown() override {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    // A click at editor coordinates in units (origin bottom left), a few frames apart.
    void clickAt(Window window, float x, float y) {
        int screenX = 0;
        int screenY = 0;
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), static_cast<int>(x * kUnit),
                              kHeight - static_cast<int>(y * kUnit), &screenX, &screenY, &child);
        XTestFakeMotionEvent(display, DefaultScreen(display), screenX, screenY, CurrentTime);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        XTestFakeButtonEvent(display, Button1, True, CurrentTime);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        XTestFakeButtonEvent(display, Button1, False, CurrentTime);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }

    std::string loadFirstProgramByClicks(int startUpMs);

    static inline std::unique_ptr<tarskhost::XvfbServer> server;
    static inline std::string serverError;
    Display* display = nullptr;
};

TEST_F(LibraryX11, TheHostsEditorCommandShowsTheLibraryPage) {
    tarsk::test::TestFolder home;
    const std::string shot = home.file("library.png");
    // The folders appear once the worker has scanned the archive; the picture is taken after a
    // number of frames of wall time, so a slow (busy) machine gets a second, longer run.
    std::vector<uint8_t> pixels;
    png_image png{};
    auto lightPixels = [&](int left, int right) {
        int n = 0;
        for (int y = 2 * static_cast<int>(kUnit) + 4; y < 11 * static_cast<int>(kUnit); ++y) {
            for (int x = left; x < right; ++x) {
                const uint8_t* p = &pixels[(static_cast<size_t>(y) * png.width + static_cast<size_t>(x)) * 3];
                n += p[0] + p[1] + p[2] > 3 * 150 ? 1 : 0;
            }
        }
        return n;
    };
    const int folderColumn[2] = {3 * static_cast<int>(kUnit), 10 * static_cast<int>(kUnit)};
    for (int frames : kScreenshotFrames) {
        const std::string command = "XDG_DATA_HOME=" + home.file("data") + " XDG_CONFIG_HOME=" + home.file("config") +
                                    " ASAN_OPTIONS=detect_leaks=0 " + TARSK_HOST_TOOL + " editor " + TARSK_PLUGIN_FILE +
                                    " --page 2 --frames " + std::to_string(frames) + " --screenshot " + shot;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        png = png_image{};
        png.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&png, shot.c_str()));
        png.format = PNG_FORMAT_RGB;
        pixels.assign(PNG_IMAGE_SIZE(png), 0);
        ASSERT_TRUE(png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr));
        ASSERT_EQ(png.width, static_cast<png_uint_32>(kWidth));
        if (lightPixels(folderColumn[0], folderColumn[1]) > 500) {
            break;
        }
    }
    // The factory folders are listed: light text in the folder column (x 3u..10u, rows from the top
    // of the content area at 4u down to 13u), none in the program column (15u..27u), as no folder
    // is open.
    EXPECT_GT(lightPixels(folderColumn[0], folderColumn[1]), 500);
    EXPECT_EQ(lightPixels(15 * static_cast<int>(kUnit), 27 * static_cast<int>(kUnit)), 0);
    // Kept for the README's Library section (only a picture with the folders in it).
    if (lightPixels(folderColumn[0], folderColumn[1]) <= 500) {
        return;
    }
    std::error_code ignored;
    if (const char* buildDir = std::getenv("TARSK_BUILD_DIR")) {
        std::filesystem::copy_file(shot, std::string(buildDir) + "/editor-library.png",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
    if (const char* sourceDir = std::getenv("TARSK_SOURCE_DIR")) {
        if (std::filesystem::is_directory(std::string(sourceDir) + "/docs")) {
            std::filesystem::copy_file(shot, std::string(sourceDir) + "/docs/editor-library.png",
                                       std::filesystem::copy_options::overwrite_existing, ignored);
        }
    }
}

// One run of the host's editor command: after startUpMs, a click on the Library icon, the first
// folder and its first program; then the window is closed. Answers the name of the program the host
// read back (effGetChunk, --save-program), empty when there was none.
std::string LibraryX11::loadFirstProgramByClicks(int startUpMs) {
    tarsk::test::TestFolder home;
    const std::string saved = home.file("saved.fxp");
    pid_t child = fork();
    if (child == 0) {
        // The user folder and the settings of this run only.
        setenv("XDG_DATA_HOME", home.file("data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl(TARSK_HOST_TOOL, TARSK_HOST_TOOL, "editor", TARSK_PLUGIN_FILE, "--save-program", saved.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    EXPECT_GT(child, 0);
    ChildGuard guard{child};
    Window window = 0;
    for (int i = 0; i < kWindowWaitSteps && window == 0; ++i) {
        window = findWindowNamed(display, kTitle);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The editor's own window inside the host's, viewable; then time for its fonts, first frames and
    // the factory scan (a press and a release that reach the editor before its first frame would
    // fall into one frame and make no click).
    bool viewable = false;
    for (int i = 0; window != 0 && i < kWindowWaitSteps && !viewable; ++i) {
        Window editor = findChild(display, window);
        XWindowAttributes attributes{};
        viewable = editor != 0 && XGetWindowAttributes(display, editor, &attributes) && attributes.map_state == IsViewable;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(viewable);
    if (!viewable) {
        return std::string();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(startUpMs));

    clickAt(window, 30.5f, 12.5f);  // the Library icon
    clickAt(window, 6.5f, 13.5f);   // the first folder
    clickAt(window, 20.5f, 13.5f);  // its first program
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    XSync(display, False);
    EXPECT_EQ(waitForExit(child), 0);
    guard.pid = -1;

    FileStream file(saved.c_str(), kOpenRead);
    ProgramRecord record;
    if (!file.isOpen() || !readFxpIntoRecord(file, record)) {
        ADD_FAILURE() << "the host saved no program";
        return std::string();
    }
    return record.name();
}

TEST_F(LibraryX11, ClickingTheIconAFolderAndAProgramLoadsItIntoTheHost) {
    const std::string expected = firstFactoryProgramName();
    ASSERT_FALSE(expected.empty());
    // A busy machine may not have finished the first frames or the scan in time: one more run, with
    // a longer wait, before the answer counts.
    std::string loaded = loadFirstProgramByClicks(kStartUpMs);
    if (loaded != expected) {
        loaded = loadFirstProgramByClicks(3 * kStartUpMs);
    }
    EXPECT_EQ(loaded, expected);
}

}  // namespace

namespace {

TEST(PluginLibraryZip, MinizipIsInsideThePlugin) {
    // The factory archive is read by minizip linked into the plug-in, so a host's machine does not need
    // it (the exports stay the two entry points, see the host tests). zlib comes with it; the system's
    // shared zlib may still be named, as libpng needs it anyway.
    std::string command = std::string("readelf -d '") + TARSK_PLUGIN_FILE + "' | grep NEEDED";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string needed;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        needed += line;
    }
    pclose(pipe);
    EXPECT_NE(needed.find("libc.so"), std::string::npos) << needed;
    EXPECT_EQ(needed.find("minizip"), std::string::npos) << needed;
}

}  // namespace
