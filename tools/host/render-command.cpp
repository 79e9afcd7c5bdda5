// The render command of tarskverb-host: its options, the host's start and end of an instance around an
// offline block loop, and an output file that appears only once the whole render has succeeded.
#include "host/render-command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "engine/program-record.h"
#include "host/command-line.h"
#include "host/exit-codes.h"
#include "host/factory-programs.h"
#include "host/plugin-host.h"
#include "host/program-file.h"
#include "host/sound-file.h"

namespace tarskhost {

const char* const kRenderUsage =
    "  render [OPTIONS] PLUGIN.so IN OUT\n"
    "                    process the sound file IN (WAV, AIFF or FLAC, mono or stereo) through the\n"
    "                    plug-in into the stereo file OUT, whose extension (.wav, .aif, .aiff, .flac)\n"
    "                    chooses the container; OUT keeps IN's sample rate\n"
    "  render --impulse SECONDS [OPTIONS] PLUGIN.so OUT\n"
    "                    render the impulse response: one sample of 1.0, then silence, SECONDS long\n"
    "    --program FILE.fxp   load this program into the current slot (default: the plug-in's own)\n"
    "    --factory \"CATEGORY/NAME\"\n"
    "                         load one of the plug-in's factory programs instead (list shows them)\n"
    "    --rate HZ            sample rate of an impulse render (default 48000); with IN it may only\n"
    "                         repeat IN's rate\n"
    "    --block N            frames per processing call, 1 to 8192 (default 512)\n"
    "    --tempo BPM          tempo the host reports, 1 to 999 (default 120)\n"
    "    --tail SECONDS       silence processed after IN so the effect rings out (default 2)\n"
    "    --format float|pcm16|pcm24\n"
    "                         output samples (default float; pcm24 for FLAC, which holds no float)\n";

namespace {

constexpr long kDefaultRate = 48000;
constexpr long kMinRate = 1000;
constexpr long kMaxRate = 768000;
constexpr long kDefaultBlock = 512;
constexpr long kMaxBlock = 8192;  // what hosts use for offline renders
constexpr double kDefaultTempo = 120.0;
constexpr double kMinTempo = 1.0;
constexpr double kMaxTempo = 999.0;
constexpr double kDefaultTailSeconds = 2.0;
constexpr double kMaxSeconds = 3600.0;  // for the tail and the impulse
constexpr int kMaxInputChannels = 2;
constexpr int kOutputChannels = 2;
constexpr int32_t kMaxPluginChannels = 64;
constexpr int32_t kMinPluginChannels = 2;  // buffers handed over even when a plug-in declares fewer
constexpr int32_t kChunkIsProgram = 1;     // effSetChunk index: a program, not a bank
constexpr int64_t kFileChunkFrames = 16384;  // frames per read and write of the sound files
constexpr double kProgressAfterSeconds = 2.0;
constexpr float kImpulseValue = 1.0f;

// Process-wide: set by SIGINT, SIGTERM and SIGHUP (the terminal went away), polled by the block
// loop, which then fails cleanly.
volatile std::sig_atomic_t interruptRequested = 0;

void requestInterrupt(int /*signal*/) { interruptRequested = 1; }

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM,
#ifdef SIGHUP  // (not on Windows)
                                  SIGHUP
#endif
};
constexpr size_t kCaughtSignalCount = sizeof(kCaughtSignals) / sizeof(kCaughtSignals[0]);

// Catches the signals that end a render while it lives, so that an interrupted render still cleans up.
class InterruptCatcher {
public:
    InterruptCatcher() {
        interruptRequested = 0;
        for (size_t i = 0; i < kCaughtSignalCount; ++i) {
            previous[i] = std::signal(kCaughtSignals[i], requestInterrupt);
        }
    }
    ~InterruptCatcher() {
        for (size_t i = 0; i < kCaughtSignalCount; ++i) {
            std::signal(kCaughtSignals[i], previous[i]);
        }
    }
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    void (*previous[kCaughtSignalCount])(int) = {};
};

// ---------------------------------------------------------------------------------------------
// Options

struct RenderOptions {
    std::string programPath;
    std::string factoryProgram;  // "Category/Name"
    bool rateGiven = false;
    long rate = kDefaultRate;
    long block = kDefaultBlock;
    double tempo = kDefaultTempo;
    bool tailGiven = false;
    double tailSeconds = kDefaultTailSeconds;
    bool impulse = false;
    double impulseSeconds = 0.0;
    bool formatGiven = false;
    SampleFormat format = SampleFormat::float32;
    std::string pluginPath;
    std::string inputPath;
    std::string outputPath;
    Container container = Container::unknown;
};

int usageError(const std::string& message) { return reportUsageError("render", message); }

int failure(const std::string& message) { return reportFailure(message); }

const OptionSpec kRenderOptions[] = {
    {"--program", true}, {"--factory", true}, {"--rate", true},    {"--block", true},
    {"--tempo", true},   {"--tail", true},    {"--impulse", true}, {"--format", true},
};

constexpr OptionSyntax kRenderSyntax{.optionStart = "-",
                                     .loneDashIsPositional = true,
                                     .doubleDashEndsOptions = true,
                                     .attachedValues = true,
                                     .valueMayStartWithDoubleDash = false};

// Answers kExitOk with the options filled in, or the exit code of a usage error after reporting it.
int parseOptions(const std::vector<std::string>& args, RenderOptions& options) {
    std::vector<std::string> positional;
    CommandLine line(args, kRenderOptions, kRenderSyntax);
    for (CommandLine::Item item = line.next(); item != CommandLine::Item::end; item = line.next()) {
        if (item == CommandLine::Item::error) {
            return usageError(line.error());
        }
        if (item == CommandLine::Item::positional) {
            positional.push_back(line.value());
            continue;
        }
        const std::string& value = line.value();
        if (line.is("--factory")) {
            if (value.find('/') == std::string::npos) {
                return usageError("--factory takes \"CATEGORY/NAME\", not '" + value + "'");
            }
            options.factoryProgram = value;
        } else if (line.is("--program")) {
            if (value.empty()) {
                return usageError("--program needs a file name");
            }
            options.programPath = value;
        } else if (line.is("--rate")) {
            if (!readWholeNumber(value, kMinRate, kMaxRate, options.rate)) {
                return usageError("--rate takes a whole number of hertz from " + std::to_string(kMinRate) + " to " +
                                  std::to_string(kMaxRate) + ", not '" + value + "'");
            }
            options.rateGiven = true;
        } else if (line.is("--block")) {
            if (!readWholeNumber(value, 1, kMaxBlock, options.block)) {
                return usageError("--block takes a whole number of frames from 1 to " + std::to_string(kMaxBlock) +
                                  ", not '" + value + "'");
            }
        } else if (line.is("--tempo")) {
            if (!readDecimal(value, kMinTempo, kMaxTempo, options.tempo)) {
                return usageError("--tempo takes beats per minute from " + limitText(kMinTempo) + " to " +
                                  limitText(kMaxTempo) + ", not '" + value + "'");
            }
        } else if (line.is("--tail")) {
            if (!readDecimal(value, 0.0, kMaxSeconds, options.tailSeconds)) {
                return usageError("--tail takes seconds from 0 to " + limitText(kMaxSeconds) + ", not '" + value +
                                  "'");
            }
            options.tailGiven = true;
        } else if (line.is("--impulse")) {
            double seconds = 0.0;
            if (!readDecimal(value, 0.0, kMaxSeconds, seconds) || seconds <= 0.0) {
                return usageError("--impulse takes seconds above 0, up to " + limitText(kMaxSeconds) + ", not '" +
                                  value + "'");
            }
            options.impulseSeconds = seconds;
            options.impulse = true;
        } else if (line.is("--format")) {
            if (!parseSampleFormat(value, options.format)) {
                return usageError("--format takes float, pcm16 or pcm24, not '" + value + "'");
            }
            options.formatGiven = true;
        }
    }

    if (!options.programPath.empty() && !options.factoryProgram.empty()) {
        return usageError("--program and --factory both choose the program: give one of them");
    }
    if (options.impulse) {
        if (positional.size() != 2) {
            return usageError("render --impulse SECONDS expects PLUGIN.so OUT, got " +
                              std::to_string(positional.size()) + " file argument(s)");
        }
        if (options.tailGiven) {
            return usageError("--tail does not go with --impulse: the impulse's SECONDS are the whole length");
        }
        options.pluginPath = positional[0];
        options.outputPath = positional[1];
    } else {
        if (positional.size() != 3) {
            return usageError("render expects PLUGIN.so IN OUT, got " + std::to_string(positional.size()) +
                              " file argument(s)");
        }
        options.pluginPath = positional[0];
        options.inputPath = positional[1];
        options.outputPath = positional[2];
    }

    options.container = containerForPath(options.outputPath);
    if (options.container == Container::unknown) {
        return usageError("cannot tell the file type of '" + options.outputPath +
                          "': OUT must end in .wav, .aif, .aiff or .flac");
    }
    if (!options.formatGiven) {
        options.format = defaultSampleFormat(options.container);
    } else if (!containerHolds(options.container, options.format)) {
        return usageError(std::string(containerName(options.container)) +
                          " cannot hold 32-bit float samples: use --format pcm24 or pcm16");
    }
    return kExitOk;
}

// ---------------------------------------------------------------------------------------------
// The output file

// A temporary file beside OUT that becomes OUT by a rename when the render succeeded, and is removed
// otherwise (also when the render returns early: the destructor removes whatever was not committed).
class TemporaryOutput {
public:
    explicit TemporaryOutput(const std::string& finalPath) : target(finalPath) {
        std::filesystem::path out(finalPath);
        std::filesystem::path folder = out.parent_path();
        if (folder.empty()) {
            folder = ".";
        }
        // Only needs to differ from names already there; the clock and this object's address suffice.
        std::minstd_rand random(static_cast<std::minstd_rand::result_type>(
            std::chrono::steady_clock::now().time_since_epoch().count() ^ reinterpret_cast<uintptr_t>(this)));
        std::error_code ec;
        for (int attempt = 0; attempt < 16; ++attempt) {
            char suffix[32];
            std::snprintf(suffix, sizeof(suffix), ".render-%08x.tmp", static_cast<unsigned>(random()));
            std::string name = out.filename().string();
            name.insert(name.begin(), '.');
            name.append(suffix);
            std::filesystem::path candidate = folder / name;
            if (!std::filesystem::exists(candidate, ec)) {
                temporary = candidate.string();
                break;
            }
        }
    }
    ~TemporaryOutput() { discard(); }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const std::string& path() const { return temporary; }

    bool commit(std::string& error) {
        std::error_code ec;
        std::filesystem::rename(temporary, target, ec);
        if (ec) {
            error = ec.message();
            discard();
            return false;
        }
        temporary.clear();
        return true;
    }

    void discard() {
        if (!temporary.empty()) {
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
            temporary.clear();
        }
    }

private:
    std::string target;
    std::string temporary;
};

// "\rrendering  42%" on stderr, but only once a render has run for a while; finished with a newline.
class ProgressLine {
public:
    void update(int64_t done, int64_t total) {
        if (!shown) {
            std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            if (elapsed.count() < kProgressAfterSeconds) {
                return;
            }
            shown = true;
        }
        int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (percent != lastPercent) {
            std::fprintf(stderr, "\rrendering %3d%%", percent);
            std::fflush(stderr);
            lastPercent = percent;
        }
    }
    void finish() {
        if (shown) {
            std::fprintf(stderr, "\n");
            shown = false;
        }
    }

private:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    bool shown = false;
    int lastPercent = -1;
};

// ---------------------------------------------------------------------------------------------
// The render

int64_t framesFor(double seconds, long rate) { return static_cast<int64_t>(std::llround(seconds * rate)); }

int render(const RenderOptions& options) {
    // From the start: a signal while the plug-in loads still ends in the loop's clean-up.
    InterruptCatcher interrupts;
    std::vector<uint8_t> chunk;
    std::string error;
    if (!options.programPath.empty() && !readProgramFile(options.programPath, chunk, error)) {
        return failure(error);
    }
    if (!options.factoryProgram.empty() &&
        !loadFactoryProgram(options.pluginPath, options.factoryProgram, chunk, error)) {
        return failure(error);
    }

    SoundFileReader reader;
    long rate = options.rate;
    int fileChannels = 0;
    int64_t inputFrames = 0;
    if (!options.impulse) {
        if (!reader.open(options.inputPath, error)) {
            return failure("cannot read '" + options.inputPath + "': " + error);
        }
        fileChannels = reader.channels();
        inputFrames = reader.frames();
        if (fileChannels < 1 || fileChannels > kMaxInputChannels) {
            return failure("'" + options.inputPath + "' has " + std::to_string(fileChannels) +
                           " channels: render takes mono or stereo input");
        }
        if (options.rateGiven && options.rate != reader.sampleRate()) {
            return usageError("--rate " + std::to_string(options.rate) + " differs from the sample rate of '" +
                              options.inputPath + "' (" + std::to_string(reader.sampleRate()) +
                              " Hz): the output keeps the input's rate, so leave --rate out or give " +
                              std::to_string(reader.sampleRate()));
        }
        rate = reader.sampleRate();
    }

    HostOptions hostOptions;
    hostOptions.sampleRate = static_cast<double>(rate);
    hostOptions.blockSize = static_cast<int32_t>(options.block);
    hostOptions.tempo = options.tempo;
    PluginHost host(hostOptions);
    if (!host.load(options.pluginPath, error)) {
        return failure(error);
    }
    vst2::AEffect* effect = host.effect();
    if (effect->processReplacing == nullptr || (effect->flags & vst2::effFlagsCanReplacing) == 0) {
        return failure("'" + options.pluginPath + "' has no replacing audio callback");
    }
    if (effect->numOutputs < 1 || effect->numOutputs > kMaxPluginChannels || effect->numInputs < 0 ||
        effect->numInputs > kMaxPluginChannels) {
        return failure("'" + options.pluginPath + "' declares " + std::to_string(effect->numInputs) +
                       " inputs and " + std::to_string(effect->numOutputs) + " outputs: render needs 1 to " +
                       std::to_string(kMaxPluginChannels) + " outputs");
    }
    if (!chunk.empty() && (effect->flags & vst2::effFlagsProgramChunks) == 0) {
        return failure("'" + options.pluginPath + "' does not take program chunks, so --program cannot load");
    }

    std::error_code ec;
    if (std::filesystem::is_directory(options.outputPath, ec)) {
        return failure("cannot write '" + options.outputPath + "': it is a folder");
    }
    TemporaryOutput temporary(options.outputPath);
    SoundFileWriter writer;  // declared after temporary: closed before the temporary file is removed
    if (temporary.path().empty()) {
        return failure("cannot write '" + options.outputPath + "': no free temporary name beside it");
    }
    if (!writer.open(temporary.path(), options.container, options.format, static_cast<int>(rate), kOutputChannels,
                     error)) {
        return failure("cannot write '" + options.outputPath + "': " + error);
    }

    // The start of an instance in a host: open, rate, block size, the program, then the audio on.
    host.dispatch(vst2::effOpen);
    host.dispatch(vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    host.dispatch(vst2::effSetBlockSize, 0, static_cast<intptr_t>(options.block));
    if (!chunk.empty()) {
        host.dispatch(vst2::effSetChunk, kChunkIsProgram, static_cast<intptr_t>(chunk.size()), chunk.data());
    }
    host.dispatch(vst2::effMainsChanged, 0, 1);
    host.dispatch(vst2::effStartProcess);

    const int32_t block = static_cast<int32_t>(options.block);
    const int32_t inputCount = std::max(effect->numInputs, kMinPluginChannels);
    const int32_t outputCount = std::max(effect->numOutputs, kMinPluginChannels);
    ChannelBuffers buffers(inputCount, outputCount, block);
    std::vector<std::vector<float>>& inputs = buffers.inputs;
    std::vector<std::vector<float>>& outputs = buffers.outputs;
    const float* outRight = effect->numOutputs >= 2 ? outputs[1].data() : outputs[0].data();
    // The files are read and written in chunks of whole blocks, far fewer calls than one per block.
    const int64_t chunkFrames = std::max<int64_t>(block, kFileChunkFrames / block * block);
    std::vector<float> fileChunk(static_cast<size_t>(chunkFrames) * std::max(fileChannels, 1));
    std::vector<float> outChunk(static_cast<size_t>(chunkFrames) * kOutputChannels);
    int64_t fileFrames = 0;  // frames of input in fileChunk, and how many of them were played
    int64_t filePlayed = 0;
    int64_t outFrames = 0;  // frames in outChunk

    int64_t total = options.impulse ? std::max<int64_t>(1, framesFor(options.impulseSeconds, rate))
                                    : inputFrames + framesFor(options.tailSeconds, rate);
    int64_t inputLeft = inputFrames;
    int64_t done = 0;
    int64_t nonFinite = 0;
    ProgressLine progress;

    auto writeOut = [&]() {
        const bool written = outFrames == 0 || writer.write(outChunk.data(), outFrames, error);
        outFrames = 0;
        return written;
    };

    while (done < total) {
        if (interruptRequested != 0) {
            progress.finish();
            return failure("interrupted; nothing written to '" + options.outputPath + "'");
        }
        int32_t frames = static_cast<int32_t>(std::min<int64_t>(block, total - done));
        if (filePlayed == fileFrames && inputLeft > 0) {
            const int64_t wanted = std::min<int64_t>(chunkFrames, inputLeft);
            const int64_t got = reader.read(fileChunk.data(), wanted, error);
            if (got < 0) {
                progress.finish();
                return failure("cannot read '" + options.inputPath + "': " + error);
            }
            if (got < wanted) {
                // The file held fewer frames than its header announced: the tail starts where it ends.
                total -= wanted - got;
                inputLeft = 0;
                frames = static_cast<int32_t>(std::min<int64_t>(frames, total - done));
            } else {
                inputLeft -= got;
            }
            fileFrames = got;
            filePlayed = 0;
        }
        if (frames == 0) {
            break;
        }
        const int64_t got = std::min<int64_t>(frames, fileFrames - filePlayed);
        float* left = inputs[0].data();
        float* right = inputs[1].data();
        spreadFrames(fileChunk.data() + filePlayed * fileChannels, fileChannels, effect->numInputs == 1, got, left,
                     right);
        filePlayed += got;
        std::fill(left + got, left + block, 0.0f);
        std::fill(right + got, right + block, 0.0f);
        for (int32_t c = kMaxInputChannels; c < inputCount; ++c) {
            std::fill(inputs[c].begin(), inputs[c].end(), 0.0f);
        }
        if (options.impulse && done == 0) {
            left[0] = kImpulseValue;
            right[0] = kImpulseValue;
        }
        for (auto& channel : outputs) {
            std::fill(channel.begin(), channel.end(), 0.0f);
        }

        host.processReplacing(buffers.inputPointers.data(), buffers.outputPointers.data(), frames);

        float* out = outChunk.data() + outFrames * kOutputChannels;
        nonFinite += interleaveFrames(outputs[0].data(), outRight, frames, out);
        outFrames += frames;
        done += frames;
        if ((outFrames + block > chunkFrames || done == total) && !writeOut()) {
            progress.finish();
            return failure("cannot write '" + options.outputPath + "': " + error);
        }
        progress.update(done, total);
    }
    if (!writeOut()) {
        progress.finish();
        return failure("cannot write '" + options.outputPath + "': " + error);
    }
    progress.finish();

    host.dispatch(vst2::effStopProcess);
    host.unload();  // effMainsChanged(0), effClose, and the library goes

    if (!writer.close(error)) {
        return failure("cannot write '" + options.outputPath + "': " + error);
    }
    if (!temporary.commit(error)) {
        return failure("cannot write '" + options.outputPath + "': " + error);
    }
    if (nonFinite > 0) {
        std::fprintf(stderr,
                     "tarskverb-host: warning: the plug-in produced %lld samples that are not finite (NaN or "
                     "infinity); they are written to '%s' as they are\n",
                     static_cast<long long>(nonFinite), options.outputPath.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int runRender(const std::vector<std::string>& args) {
    RenderOptions options;
    int parsed = parseOptions(args, options);
    if (parsed != kExitOk) {
        return parsed;
    }
    return render(options);
}

}  // namespace tarskhost
