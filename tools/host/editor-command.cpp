// tarskverb-host editor: effEditGetRect, effEditOpen with a top-level window's id, effEditIdle every
// 20 ms, audioMasterSizeWindow honoured, noise through processReplacing on an audio thread.
#include "host/editor-command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <thread>

#include "host/command-line.h"
#include "host/exit-codes.h"
#include "host/host-window.h"
#include "host/plugin-host.h"
#include "host/program-file.h"
#include "plugin/editor-view.h"

namespace tarskhost {

const char* const kEditorUsage =
    "  editor PLUGIN.so [--program FILE.fxp] [--gallery] [--page N] [--tab N]\n"
    "                    [--screenshot OUT.png] [--frames N] [--save-program OUT.fxp]\n"
    "                    open the plug-in's editor in a window, with noise playing through the\n"
    "                    plug-in, until the window is closed or Ctrl-C; --screenshot writes the\n"
    "                    editor's picture as PNG after N frames of 33 ms (default 5) and exits;\n"
    "                    --gallery shows the plug-in's widget gallery instead of its pages;\n"
    "                    --page shows page N (0 Summary, 1 Editor, 2 Library, 3 Calculator,\n"
    "                    4 Info, 5 Settings), --tab the Editor page's tab N (1 to 5);\n"
    "                    --save-program writes the current program as .fxp once the editor closed\n";

namespace {

constexpr int kIdleIntervalMs = 20;
constexpr int kFrameMs = 33;
constexpr int kDefaultScreenshotFrames = 5;
constexpr int kMaxFrames = 100000;
constexpr int kFallbackWidth = 640;
constexpr int kFallbackHeight = 320;
constexpr int32_t kChunkIsProgram = 1;
constexpr float kNoiseLevel = 0.1f;
constexpr int kChannels = 2;
constexpr int kFirstPage = 0;
constexpr int kLastPage = 5;
constexpr int kFirstTab = 1;
constexpr int kLastTab = 5;

// Set by SIGINT; the only state a signal handler may touch.
volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

struct EditorOptions {
    std::string pluginPath;
    std::string programPath;
    std::string screenshotPath;
    std::string saveProgramPath;
    int frames = kDefaultScreenshotFrames;
    int page = -1;  // -1: the editor's own choice
    int tab = -1;
    bool gallery = false;
};

const OptionSpec kEditorOptions[] = {
    {"--program", true}, {"--screenshot", true}, {"--frames", true},       {"--page", true},
    {"--tab", true},     {"--gallery", false},   {"--save-program", true},
};

// A whole number from low to high into out, or false.
bool wholeNumber(const std::string& text, long low, long high, int& out) {
    long number = 0;
    if (!readWholeNumber(text, low, high, number)) {
        return false;
    }
    out = static_cast<int>(number);
    return true;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "tarskverb-host editor: %s\n", message.c_str());
    std::fprintf(stderr, "usage:\n%s", kEditorUsage);
    return kExitUsage;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "tarskverb-host editor: %s\n", message.c_str());
    return kExitFailure;
}

int parseOptions(const std::vector<std::string>& args, EditorOptions& options) {
    CommandLine line(args, kEditorOptions);
    for (CommandLine::Item item = line.next(); item != CommandLine::Item::end; item = line.next()) {
        if (item == CommandLine::Item::error) {
            return usageError(line.error());
        }
        const std::string& value = line.value();
        if (item == CommandLine::Item::positional) {
            if (!options.pluginPath.empty()) {
                return usageError("expected one PLUGIN.so, got '" + value + "' as well");
            }
            options.pluginPath = value;
        } else if (line.is("--program")) {
            options.programPath = value;
        } else if (line.is("--screenshot")) {
            options.screenshotPath = value;
        } else if (line.is("--save-program")) {
            options.saveProgramPath = value;
        } else if (line.is("--gallery")) {
            options.gallery = true;
        } else if (line.is("--page")) {
            if (!wholeNumber(value, kFirstPage, kLastPage, options.page)) {
                return usageError("--page needs a whole number from 0 to 5");
            }
        } else if (line.is("--tab")) {
            if (!wholeNumber(value, kFirstTab, kLastTab, options.tab)) {
                return usageError("--tab needs a whole number from 1 to 5");
            }
        } else if (!wholeNumber(value, 1, kMaxFrames, options.frames)) {
            return usageError("--frames needs a whole number from 1 to " + std::to_string(kMaxFrames));
        }
    }
    if (options.pluginPath.empty()) {
        return usageError("expected a PLUGIN.so");
    }
    return kExitOk;
}

// Runs white noise through the plug-in in real time, block by block, until told to stop.
class AudioThread {
public:
    AudioThread(PluginHost& host, int32_t blockSize, double sampleRate)
        : host(host), block(blockSize), rate(sampleRate) {}
    ~AudioThread() { stop(); }
    void start() {
        thread = std::thread([this] { run(); });
    }
    void stop() {
        running.store(false);
        if (thread.joinable()) {
            thread.join();
        }
    }

private:
    void run() {
        vst2::AEffect* effect = host.effect();
        ChannelBuffers buffers(std::max(effect->numInputs, kChannels), std::max(effect->numOutputs, kChannels), block);
        std::minstd_rand random(1);
        std::uniform_real_distribution<float> noise(-kNoiseLevel, kNoiseLevel);
        auto blockTime = std::chrono::duration<double>(static_cast<double>(block) / rate);
        auto next = std::chrono::steady_clock::now();
        while (running.load()) {
            for (auto& channel : buffers.inputs) {
                for (float& s : channel) {
                    s = noise(random);
                }
            }
            host.processReplacing(buffers.inputPointers.data(), buffers.outputPointers.data(), block);
            next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(blockTime);
            std::this_thread::sleep_until(next);
        }
    }

    PluginHost& host;
    int32_t block;
    double rate;
    std::atomic<bool> running{true};
    std::thread thread;
};

// The editor's size from effEditGetRect, or none.
bool editorRect(PluginHost& host, int& width, int& height) {
    vst2::ERect* rect = nullptr;
    if (host.dispatch(vst2::effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr) {
        return false;
    }
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
    return width > 0 && height > 0;
}

}  // namespace

int runEditor(const std::vector<std::string>& args) {
    EditorOptions options;
    int parsed = parseOptions(args, options);
    if (parsed != kExitOk) {
        return parsed;
    }
    std::vector<uint8_t> chunk;
    std::string error;
    if (!options.programPath.empty() && !readProgramFile(options.programPath, chunk, error)) {
        return failure(error);
    }

    // Ctrl-C from here on ends the run in order: editor closed, audio stopped, plug-in unloaded.
    interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    HostWindow window;
    HostOptions hostOptions;
    hostOptions.canSizeWindow = true;
    hostOptions.sizeWindow = [&window](int32_t width, int32_t height) {
        window.resize(width, height);
        return true;
    };
    PluginHost host(hostOptions);
    if (!host.load(options.pluginPath, error)) {
        return failure(error);
    }
    vst2::AEffect* effect = host.effect();
    if ((effect->flags & vst2::effFlagsHasEditor) == 0) {
        host.unload();
        return failure("'" + options.pluginPath + "' has no editor");
    }
    host.start();
    if (!chunk.empty()) {
        host.dispatch(vst2::effSetChunk, kChunkIsProgram, static_cast<intptr_t>(chunk.size()), chunk.data());
    }
    host.dispatch(vst2::effStartProcess);

    // The gallery is asked for before the size: the editor rectangle then has the gallery's size.
    if (options.gallery && host.dispatch(vst2::effVendorSpecific, tarsk::kVendorIndexGallery) != 1) {
        host.unload();
        return failure("the plug-in has no widget gallery");
    }
    if (options.page >= 0 && host.dispatch(vst2::effVendorSpecific, tarsk::kVendorIndexPage, options.page) != 1) {
        host.unload();
        return failure("the plug-in did not show page " + std::to_string(options.page));
    }
    if (options.tab >= 0 && host.dispatch(vst2::effVendorSpecific, tarsk::kVendorIndexTab, options.tab) != 1) {
        host.unload();
        return failure("the plug-in did not show tab " + std::to_string(options.tab));
    }
    // Like the hosts that ask before opening; asked again after opening, like the others.
    int width = kFallbackWidth;
    int height = kFallbackHeight;
    editorRect(host, width, height);
    if (!window.open(width, height, "TarskVerb (tarskverb-host editor)", error)) {
        host.unload();
        return failure(error);
    }
    AudioThread audio(host, host.options().blockSize, host.options().sampleRate);
    audio.start();

    int result = kExitOk;
    if (host.dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(window.windowId())) == 0) {
        result = failure("the plug-in did not open its editor");
    } else {
        if (editorRect(host, width, height) && (width != window.width() || height != window.height())) {
            window.resize(width, height);
        }
        auto opened = std::chrono::steady_clock::now();
        auto next = opened;
        while (window.pumpEvents() && interrupted == 0) {
            host.dispatch(vst2::effEditIdle);
            if (!options.screenshotPath.empty()) {
                auto elapsed =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - opened);
                // The first frame comes with the first idle call, then one every 33 ms.
                if (elapsed.count() >= static_cast<long>(options.frames - 1) * kFrameMs + kIdleIntervalMs) {
                    if (!window.capturePng(options.screenshotPath, error)) {
                        result = failure(error);
                    }
                    break;
                }
            }
            next += std::chrono::milliseconds(kIdleIntervalMs);
            std::this_thread::sleep_until(next);
        }
        host.dispatch(vst2::effEditClose);
        if (!options.saveProgramPath.empty() && result == kExitOk) {
            void* data = nullptr;
            intptr_t size = host.dispatch(vst2::effGetChunk, kChunkIsProgram, 0, &data);
            if (size <= 0 || data == nullptr) {
                result = failure("the plug-in answered no program chunk");
            } else if (!writeProgramFile(options.saveProgramPath, static_cast<const uint8_t*>(data),
                                         static_cast<size_t>(size), error)) {
                result = failure(error);
            }
        }
    }
    audio.stop();
    window.destroy();
    host.dispatch(vst2::effStopProcess);
    host.unload();
    std::signal(SIGINT, SIG_DFL);
    return result;
}

}  // namespace tarskhost
