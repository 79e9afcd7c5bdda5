// tarskverb-host render as a user runs it: exit codes, what is left on disk, the calls a plug-in sees and
// the sound files written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host-paths.h"
#include "host/host-run.h"
#include "plugin/vst2-abi.h"

namespace {

namespace fs = std::filesystem;
using tarsk::test::fixturePath;
using tarsk::test::hostPath;
using tarsk::test::pluginPath;

constexpr double kPassThroughTolerance = 1e-6;
constexpr size_t kFxpHeaderBytes = 60;

// ---------------------------------------------------------------------------------------------
// Running the host

using tarsk::test::RunResult;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

RunResult run(const std::string& arguments, const std::string& environment = "") {
    return tarsk::test::runHost(arguments, environment);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string sourceDir() {
    const char* dir = std::getenv("TARSK_SOURCE_DIR");
    return dir != nullptr ? dir : TARSK_TEST_SOURCE_DIR;
}
std::string initProgramPath() { return sourceDir() + "/resources/programs/Init.fxp"; }
std::string recorderPath() { return fixturePath("fixture-recorder.so"); }

// ---------------------------------------------------------------------------------------------
// Files

// A fresh empty folder for one test, removed with its contents afterwards.
class TempFolder {
public:
    TempFolder() {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::random_device random;
        root = fs::path(::testing::TempDir()) /
               ("render-" + std::string(test->name()) + "-" + std::to_string(random()));
        fs::create_directories(root);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string file(const std::string& name) const { return (root / name).string(); }
    // Every name in the folder, hidden ones included.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

private:
    fs::path root;
};

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Sound {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved
    float at(int64_t frame, int channel) const {
        return samples[static_cast<size_t>(frame * info.channels + channel)];
    }
    int subtype() const { return info.format & SF_FORMAT_SUBMASK; }
    int container() const { return info.format & SF_FORMAT_TYPEMASK; }
};

void writeSound(const std::string& path, int format, int rate, int channels, const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    sf_count_t frames = static_cast<sf_count_t>(samples.size() / channels);
    EXPECT_EQ(sf_writef_float(file, samples.data(), frames), frames);
    sf_close(file);
}

Sound readSound(const std::string& path) {
    Sound sound;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        sound.info = SF_INFO{};
        return sound;
    }
    sound.samples.resize(static_cast<size_t>(sound.info.frames * sound.info.channels));
    EXPECT_EQ(sf_readf_float(file, sound.samples.data(), sound.info.frames), sound.info.frames);
    sf_close(file);
    return sound;
}

// Reproducible noise with a slow sine under it, within ±0.6; each channel different.
std::vector<float> testSignal(int64_t frames, int channels, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            double noise = static_cast<double>(random()) / 4294967296.0 - 0.5;
            samples[static_cast<size_t>(i * channels + c)] =
                static_cast<float>(0.2 * noise + 0.4 * std::sin(0.01 * static_cast<double>(i) * (c + 1)));
        }
    }
    return samples;
}

constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// The largest difference between channel `channel` of the output and `expected(frame)` over frames
// [from, to).
template <typename Expected>
double largestDifference(const Sound& out, int channel, int64_t from, int64_t to, Expected expected) {
    double largest = 0.0;
    for (int64_t i = from; i < to; ++i) {
        largest = std::max(largest, std::abs(static_cast<double>(out.at(i, channel)) - expected(i)));
    }
    return largest;
}

// ---------------------------------------------------------------------------------------------
// The recorder fixture's log

struct Dispatch {
    int opcode;
    int index;
    long value;
    double opt;
};

struct RecorderLog {
    std::vector<Dispatch> dispatches;
    std::vector<int> blockFrames;
    std::vector<double> tempos;
    std::vector<double> rates;
    std::vector<int> timeFlags;
    std::string chunkStart;       // the first four bytes of a chunk handed over, in hex
    int processesOutsideRun = 0;  // audio blocks before effStartProcess or after effStopProcess
};

RecorderLog readRecorderLog(const std::string& path) {
    RecorderLog log;
    std::ifstream in(path);
    std::string line;
    bool running = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "dispatch") {
            Dispatch d{};
            fields >> d.opcode >> d.index >> d.value >> d.opt;
            log.dispatches.push_back(d);
            running = d.opcode == vst2::effStartProcess || (running && d.opcode != vst2::effStopProcess);
        } else if (kind == "process") {
            int frames = 0;
            double tempo = 0.0;
            double rate = 0.0;
            int flags = 0;
            fields >> frames >> tempo >> rate >> flags;
            log.blockFrames.push_back(frames);
            log.tempos.push_back(tempo);
            log.rates.push_back(rate);
            log.timeFlags.push_back(flags);
            log.processesOutsideRun += running ? 0 : 1;
        } else if (kind == "chunk") {
            fields >> log.chunkStart;
        }
    }
    return log;
}

std::vector<int> opcodes(const RecorderLog& log) {
    std::vector<int> list;
    for (const Dispatch& d : log.dispatches) {
        list.push_back(d.opcode);
    }
    return list;
}

const Dispatch* firstDispatch(const RecorderLog& log, int opcode) {
    for (const Dispatch& d : log.dispatches) {
        if (d.opcode == opcode) {
            return &d;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Usage and failures

TEST(RenderCommand, RefusesBadUsageWithExitCodeTwo) {
    TempFolder folder;
    const std::string in = quoted(folder.file("in.wav"));
    const std::string out = quoted(folder.file("out.wav"));
    const std::string plugin = quoted(pluginPath());
    writeSound(folder.file("in.wav"), kWavFloat, 48000, 2, testSignal(480, 2, 1));
    const std::set<std::string> before = folder.entries();

    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"--bogus 1 " + plugin + " " + in + " " + out, "unknown option '--bogus'"},
        {"-x " + plugin + " " + in + " " + out, "unknown option '-x'"},
        {plugin + " " + in + " " + out + " --block", "--block needs a value"},
        {"--block --tail 1 " + plugin + " " + in + " " + out, "--block needs a value"},
        {"--block abc " + plugin + " " + in + " " + out, "--block takes"},
        {"--block 0 " + plugin + " " + in + " " + out, "--block takes"},
        {"--block 8193 " + plugin + " " + in + " " + out, "--block takes"},
        {"--block=2.5 " + plugin + " " + in + " " + out, "--block takes"},
        {"--rate 10 --impulse 1 " + plugin + " " + out, "--rate takes"},
        {"--rate 48k --impulse 1 " + plugin + " " + out, "--rate takes"},
        {"--tempo 0 " + plugin + " " + in + " " + out, "--tempo takes"},
        {"--tempo fast " + plugin + " " + in + " " + out, "--tempo takes"},
        {"--tail -1 " + plugin + " " + in + " " + out, "--tail takes"},
        {"--tail nan " + plugin + " " + in + " " + out, "--tail takes"},
        {"--impulse 0 " + plugin + " " + out, "--impulse takes"},
        {"--format mp3 " + plugin + " " + in + " " + out, "--format takes"},
        {plugin + " " + in, "expects PLUGIN.so IN OUT"},
        {plugin + " " + in + " " + out + " " + quoted(folder.file("more.wav")), "expects PLUGIN.so IN OUT"},
        {"--impulse 1 " + plugin + " " + in + " " + out, "expects PLUGIN.so OUT"},
        {"--impulse 1 --tail 1 " + plugin + " " + out, "--tail does not go with --impulse"},
        {plugin + " " + in + " " + quoted(folder.file("out.mp3")), "must end in .wav, .aif, .aiff or .flac"},
        {plugin + " " + in + " " + quoted(folder.file("out")), "must end in .wav, .aif, .aiff or .flac"},
        {"--format float " + plugin + " " + in + " " + quoted(folder.file("out.flac")), "cannot hold 32-bit float"},
        {"--rate 44100 " + plugin + " " + in + " " + out, "differs from the sample rate"},
    };
    for (const Case& c : cases) {
        RunResult result = run("render " + c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.arguments << "\n" << result.output;
        EXPECT_TRUE(contains(result.output, c.message)) << "expected '" << c.message << "' for " << c.arguments
                                                        << "\n" << result.output;
        EXPECT_EQ(folder.entries(), before) << c.arguments;
    }
    // The rate check names the rate that would have worked.
    EXPECT_TRUE(contains(run("render --rate 44100 " + plugin + " " + in + " " + out).output, "48000"));
    // Repeating the input's own rate is fine.
    EXPECT_EQ(run("render --rate 48000 " + plugin + " " + in + " " + out).exitCode, 0);
}

TEST(RenderCommand, FailsWithExitCodeOneAndLeavesNoFileBehind) {
    TempFolder folder;
    const std::string plugin = quoted(pluginPath());
    const std::string in = quoted(folder.file("in.wav"));
    const std::string out = quoted(folder.file("out.wav"));
    writeSound(folder.file("in.wav"), kWavFloat, 48000, 2, testSignal(480, 2, 2));
    writeSound(folder.file("three.wav"), kWavFloat, 48000, 3, testSignal(480, 3, 3));
    std::ofstream(folder.file("text.wav")) << "not a sound file\n";
    std::ofstream(folder.file("not-a-plugin.so")) << "not a library\n";
    fs::create_directories(folder.file("folder.wav"));

    // Damaged program files, made from the committed Init program.
    const std::vector<uint8_t> init = readBytes(initProgramPath());
    ASSERT_GT(init.size(), kFxpHeaderBytes + 8);
    std::vector<uint8_t> badMagic = init;
    badMagic[0] ^= 0xFF;
    writeBytes(folder.file("bad-magic.fxp"), badMagic);
    writeBytes(folder.file("truncated.fxp"), std::vector<uint8_t>(init.begin(), init.end() - 100));
    std::vector<uint8_t> foreign = init;
    foreign[19] ^= 0x01;  // the plug-in id, bytes 16 to 19
    writeBytes(folder.file("foreign.fxp"), foreign);
    std::vector<uint8_t> unknownLayout = init;
    unknownLayout[kFxpHeaderBytes + 4] = 0x34;  // the chunk's layout word (little-endian) becomes 0x1234
    unknownLayout[kFxpHeaderBytes + 5] = 0x12;
    writeBytes(folder.file("unknown-layout.fxp"), unknownLayout);
    std::vector<uint8_t> foreignChunk = init;
    foreignChunk[kFxpHeaderBytes + 3] ^= 0x40;  // the chunk's magic word: a chunk of some other plug-in
    writeBytes(folder.file("foreign-chunk.fxp"), foreignChunk);
    // Names that are no regular files: reading them must neither block nor pass.
    ASSERT_EQ(mkfifo(folder.file("fifo.fxp").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(folder.file("fifo.wav").c_str(), 0600), 0);
    fs::create_directories(folder.file("folder.fxp"));

    // An earlier render that a failed one must leave alone.
    const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    writeBytes(folder.file("out.wav"), earlier);
    const std::set<std::string> before = folder.entries();

    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {plugin + " " + quoted(folder.file("missing.wav")) + " " + out, "No such file or directory"},
        {plugin + " " + quoted(folder.file("fifo.wav")) + " " + out, "it is a FIFO, not a regular file"},
        {plugin + " " + quoted(folder.file("folder.wav")) + " " + out, "it is a folder, not a regular file"},
        {plugin + " " + quoted(folder.file("text.wav")) + " " + out, "cannot read"},
        {plugin + " " + quoted(folder.file("three.wav")) + " " + out, "has 3 channels"},
        {plugin + " " + in + " " + quoted(folder.file("no-such-folder/out.wav")), "cannot write"},
        {"--impulse 0.1 " + plugin + " " + quoted(folder.file("no-such-folder/out.wav")), "cannot write"},
        {plugin + " " + in + " " + quoted(folder.file("folder.wav")), "it is a folder"},
        {"--program " + quoted(folder.file("missing.fxp")) + " " + plugin + " " + in + " " + out,
         "cannot open the program file '" + folder.file("missing.fxp") + "': No such file or directory"},
        {"--program " + quoted(folder.file("fifo.fxp")) + " " + plugin + " " + in + " " + out,
         "it is a FIFO, not a regular file"},
        {"--program " + quoted(folder.file("folder.fxp")) + " " + plugin + " " + in + " " + out,
         "it is a folder, not a regular file"},
        {"--program " + quoted(folder.file("foreign-chunk.fxp")) + " " + plugin + " " + in + " " + out,
         "holds no readable program: its chunk starts with 0x"},
        {"--program " + quoted(folder.file("bad-magic.fxp")) + " " + plugin + " " + in + " " + out,
         "is not a TarskVerb program file"},
        {"--program " + quoted(folder.file("truncated.fxp")) + " " + plugin + " " + in + " " + out,
         "is not a TarskVerb program file"},
        {"--program " + quoted(folder.file("foreign.fxp")) + " " + plugin + " " + in + " " + out,
         "is not a TarskVerb program file"},
        {"--program " + quoted(folder.file("unknown-layout.fxp")) + " " + plugin + " " + in + " " + out,
         "holds no readable program"},
        {quoted(folder.file("not-a-plugin.so")) + " " + in + " " + out, "cannot load"},
        {quoted(fixturePath("fixture-no-entry.so")) + " " + in + " " + out, "exports neither VSTPluginMain nor main"},
        {quoted(fixturePath("fixture-null-entry.so")) + " " + in + " " + out, "returned no effect"},
    };
    for (const Case& c : cases) {
        RunResult result = run("render " + c.arguments);
        EXPECT_EQ(result.exitCode, 1) << c.arguments << "\n" << result.output;
        EXPECT_TRUE(contains(result.output, c.message)) << "expected '" << c.message << "' for " << c.arguments
                                                        << "\n" << result.output;
        EXPECT_EQ(folder.entries(), before) << c.arguments;
        EXPECT_EQ(readBytes(folder.file("out.wav")), earlier) << c.arguments;
    }
    // The undamaged program loads, and the new render replaces the earlier file.
    RunResult good = run("render --program " + quoted(initProgramPath()) + " " + plugin + " " + in + " " + out);
    EXPECT_EQ(good.exitCode, 0) << good.output;
    EXPECT_EQ(readSound(folder.file("out.wav")).info.channels, 2);
    EXPECT_EQ(folder.entries(), before);
}

TEST(RenderCommand, AnInterruptedRenderLeavesNothingBehind) {
    // Ctrl-C, a kill, and the terminal going away all end a render the same way.
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        TempFolder folder;
        const std::string out = folder.file("long.wav");
        const std::string errors = folder.file("errors.txt");
        const std::set<std::string> before = {"errors.txt"};
        std::ofstream(errors).close();
        // An hour of impulse response in blocks of one frame: it runs until interrupted.
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int fd = open(errors.c_str(), O_WRONLY | O_TRUNC);
            dup2(fd, STDERR_FILENO);
            const std::string host = hostPath();
            const std::string plugin = recorderPath();
            execl(host.c_str(), host.c_str(), "render", "--impulse", "3600", "--block", "1", plugin.c_str(),
                  out.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait for the progress line, which comes once the render has run for two seconds.
        bool progressShown = false;
        for (int i = 0; i < 600 && !progressShown; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::ifstream in(errors);
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            progressShown = contains(text, "\rrendering ");
        }
        EXPECT_TRUE(progressShown) << signalNumber;
        EXPECT_EQ(folder.entries().size(), 2u) << "the temporary file beside OUT";
        kill(child, signalNumber);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << signalNumber << " ended the host before it cleaned up";
        EXPECT_EQ(WEXITSTATUS(status), 1);
        std::ifstream in(errors);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(contains(text, "%\ntarskverb-host: interrupted")) << text;
        EXPECT_EQ(folder.entries(), before) << "signal " << signalNumber;
    }
}

TEST(MeasureCommand, RefusesProgramsItCannotReadWithExitCodeOne) {
    TempFolder folder;
    std::vector<uint8_t> foreignChunk = readBytes(initProgramPath());
    ASSERT_GT(foreignChunk.size(), kFxpHeaderBytes + 8);
    foreignChunk[kFxpHeaderBytes] ^= 0x5A;
    writeBytes(folder.file("foreign-chunk.fxp"), foreignChunk);
    ASSERT_EQ(mkfifo(folder.file("fifo.fxp").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(folder.file("fifo.program").c_str(), 0600), 0);
    const std::string plugin = quoted(pluginPath());

    struct Case {
        std::string program;
        std::string message;
    };
    const std::vector<Case> cases = {
        {folder.file("foreign-chunk.fxp"), "holds no readable program: its chunk starts with 0x"},
        {folder.file("fifo.fxp"), "it is a FIFO, not a regular file"},
        {folder.file("fifo.program"), "it is a FIFO, not a regular file"},
        {folder.file("missing.fxp"), "No such file or directory"},
    };
    for (const Case& c : cases) {
        RunResult result = run("measure " + plugin + " " + quoted(c.program));
        EXPECT_EQ(result.exitCode, 1) << c.program << "\n" << result.output;
        EXPECT_TRUE(contains(result.output, c.message)) << c.program << "\n" << result.output;
        EXPECT_FALSE(contains(result.output, "foreign-chunk.fxp\n")) << "no measurement line for a refused program";
    }
}

// ---------------------------------------------------------------------------------------------
// What the plug-in sees

TEST(RenderCommand, DrivesThePlugInLikeAHost) {
    TempFolder folder;
    const std::vector<float> mono = testSignal(1000, 1, 4);
    writeSound(folder.file("mono.wav"), kWavFloat, 44100, 1, mono);
    const std::string log = folder.file("calls.log");
    RunResult result = run("render --block 300 --tempo 97.5 --tail 0.01 --program " + quoted(initProgramPath()) +
                               " " + quoted(recorderPath()) + " " + quoted(folder.file("mono.wav")) + " " +
                               quoted(folder.file("out.wav")),
                           "TARSK_RECORDER_LOG=" + quoted(log));
    ASSERT_EQ(result.exitCode, 0) << result.output;

    RecorderLog calls = readRecorderLog(log);
    const std::vector<int> expectedOrder = {vst2::effOpen,        vst2::effSetSampleRate, vst2::effSetBlockSize,
                                            vst2::effSetChunk,    vst2::effMainsChanged,  vst2::effStartProcess,
                                            vst2::effStopProcess, vst2::effMainsChanged,  vst2::effClose};
    EXPECT_EQ(opcodes(calls), expectedOrder);
    ASSERT_EQ(calls.dispatches.size(), expectedOrder.size());
    EXPECT_EQ(calls.dispatches[1].opt, 44100.0);
    EXPECT_EQ(calls.dispatches[2].value, 300);
    const std::vector<uint8_t> init = readBytes(initProgramPath());
    EXPECT_EQ(calls.dispatches[3].index, 1);  // a program chunk, not a bank
    EXPECT_EQ(calls.dispatches[3].value, static_cast<long>(init.size() - kFxpHeaderBytes));
    char start[16];
    std::snprintf(start, sizeof(start), "%02x%02x%02x%02x", init[60], init[61], init[62], init[63]);
    EXPECT_EQ(calls.chunkStart, start);
    EXPECT_EQ(calls.dispatches[4].value, 1);
    EXPECT_EQ(calls.dispatches[7].value, 0);

    // 1000 frames of input and 441 of tail, in blocks of 300 with the rest last.
    EXPECT_EQ(calls.blockFrames, (std::vector<int>{300, 300, 300, 300, 241}));
    EXPECT_EQ(calls.processesOutsideRun, 0);
    for (size_t i = 0; i < calls.tempos.size(); ++i) {
        EXPECT_EQ(calls.tempos[i], 97.5);
        EXPECT_EQ(calls.rates[i], 44100.0);
        EXPECT_NE(calls.timeFlags[i] & vst2::kVstTempoValid, 0);
    }

    // What the plug-in produced is written unchanged: left = input, right = −input, then the tail.
    Sound out = readSound(folder.file("out.wav"));
    ASSERT_EQ(out.info.frames, 1441);
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.samplerate, 44100);
    EXPECT_EQ(largestDifference(out, 0, 0, 1000, [&](int64_t i) { return mono[i]; }), 0.0);
    EXPECT_EQ(largestDifference(out, 1, 0, 1000, [&](int64_t i) { return -mono[i]; }), 0.0);
    EXPECT_EQ(largestDifference(out, 0, 1000, 1441, [](int64_t) { return 0.0; }), 0.0);
    EXPECT_EQ(largestDifference(out, 1, 1000, 1441, [](int64_t) { return 0.0; }), 0.0);

    // Offline block size, default tempo, no program: stereo channels stay in their places.
    const std::vector<float> stereo = testSignal(20000, 2, 5);
    writeSound(folder.file("stereo.wav"), kWavFloat, 48000, 2, stereo);
    const std::string log2 = folder.file("calls2.log");
    result = run("render --block 8192 --tail 0 " + quoted(recorderPath()) + " " + quoted(folder.file("stereo.wav")) +
                     " " + quoted(folder.file("out2.wav")),
                 "TARSK_RECORDER_LOG=" + quoted(log2));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    calls = readRecorderLog(log2);
    EXPECT_EQ(firstDispatch(calls, vst2::effSetChunk), nullptr);
    EXPECT_EQ(calls.blockFrames, (std::vector<int>{8192, 8192, 3616}));
    for (double tempo : calls.tempos) {
        EXPECT_EQ(tempo, 120.0);
    }
    out = readSound(folder.file("out2.wav"));
    ASSERT_EQ(out.info.frames, 20000);
    EXPECT_EQ(largestDifference(out, 0, 0, 20000, [&](int64_t i) { return stereo[2 * i]; }), 0.0);
    EXPECT_EQ(largestDifference(out, 1, 0, 20000, [&](int64_t i) { return -stereo[2 * i + 1]; }), 0.0);
}

TEST(RenderCommand, WarnsAndFailsOnSamplesThatAreNotFinite) {
    TempFolder folder;
    writeSound(folder.file("in.wav"), kWavFloat, 48000, 2, testSignal(100, 2, 6));
    RunResult result = run("render --tail 0 " + quoted(recorderPath()) + " " + quoted(folder.file("in.wav")) + " " +
                               quoted(folder.file("out.wav")),
                           "TARSK_RECORDER_NAN=1");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.output, "warning")) << result.output;
    EXPECT_TRUE(contains(result.output, "not finite")) << result.output;
    // The samples are written as they came, the file is complete and no temporary file is left.
    Sound out = readSound(folder.file("out.wav"));
    ASSERT_EQ(out.info.frames, 100);
    EXPECT_TRUE(std::isnan(out.at(0, 0)));
    EXPECT_TRUE(std::isfinite(out.at(0, 1)));
    EXPECT_TRUE(std::isfinite(out.at(1, 0)));
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

// ---------------------------------------------------------------------------------------------
// The files written

TEST(RenderCommand, MonoInputBecomesStereoOfTheInputsLengthPlusTheTail) {
    TempFolder folder;
    writeSound(folder.file("mono.wav"), kWavFloat, 22050, 1, testSignal(2205, 1, 7));
    RunResult result = run("render --tail 0.5 " + quoted(pluginPath()) + " " + quoted(folder.file("mono.wav")) + " " +
                           quoted(folder.file("out.wav")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "");  // a short render prints nothing
    Sound out = readSound(folder.file("out.wav"));
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.samplerate, 22050);
    EXPECT_EQ(out.info.frames, 2205 + 11025);
    EXPECT_EQ(out.info.format, kWavFloat);
    EXPECT_TRUE(std::all_of(out.samples.begin(), out.samples.end(), [](float x) { return std::isfinite(x); }));

    // Two seconds of tail unless told otherwise.
    ASSERT_EQ(run("render " + quoted(pluginPath()) + " " + quoted(folder.file("mono.wav")) + " " +
                  quoted(folder.file("default.wav")))
                  .exitCode,
              0);
    EXPECT_EQ(readSound(folder.file("default.wav")).info.frames, 2205 + 2 * 22050);
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"mono.wav", "out.wav", "default.wav"}));
}

TEST(RenderCommand, ImpulseRendersTheRequestedLength) {
    TempFolder folder;
    ASSERT_EQ(run("render --impulse 0.25 --rate 32000 " + quoted(pluginPath()) + " " + quoted(folder.file("a.wav")))
                  .exitCode,
              0);
    Sound a = readSound(folder.file("a.wav"));
    EXPECT_EQ(a.info.frames, 8000);
    EXPECT_EQ(a.info.samplerate, 32000);
    EXPECT_EQ(a.info.channels, 2);

    ASSERT_EQ(run("render --impulse 0.1 " + quoted(pluginPath()) + " " + quoted(folder.file("b.wav"))).exitCode, 0);
    Sound b = readSound(folder.file("b.wav"));
    EXPECT_EQ(b.info.frames, 4800);
    EXPECT_EQ(b.info.samplerate, 48000);

    // The impulse itself: one sample of 1.0 on both inputs, then silence.
    ASSERT_EQ(run("render --impulse 0.01 --block 7 " + quoted(recorderPath()) + " " + quoted(folder.file("c.wav")))
                  .exitCode,
              0);
    Sound c = readSound(folder.file("c.wav"));
    ASSERT_EQ(c.info.frames, 480);
    EXPECT_EQ(c.at(0, 0), 1.0f);
    EXPECT_EQ(c.at(0, 1), -1.0f);
    EXPECT_EQ(largestDifference(c, 0, 1, 480, [](int64_t) { return 0.0; }), 0.0);
    EXPECT_EQ(largestDifference(c, 1, 1, 480, [](int64_t) { return 0.0; }), 0.0);
}

TEST(RenderCommand, WritesTheContainerAndSampleFormatAskedFor) {
    TempFolder folder;
    writeSound(folder.file("in.wav"), kWavFloat, 48000, 2, testSignal(480, 2, 8));
    struct Case {
        std::string options;
        std::string output;
        int format;
    };
    const std::vector<Case> cases = {
        {"", "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"--format pcm16", "pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"--format pcm24", "pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"--format float", "upper.WAV", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"", "float.aif", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"--format pcm16", "pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"", "default.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"--format pcm16", "pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    };
    for (const Case& c : cases) {
        RunResult result = run("render --tail 0 " + c.options + " " + quoted(pluginPath()) + " " +
                               quoted(folder.file("in.wav")) + " " + quoted(folder.file(c.output)));
        ASSERT_EQ(result.exitCode, 0) << c.output << "\n" << result.output;
        Sound out = readSound(folder.file(c.output));
        EXPECT_EQ(out.info.format, c.format) << c.output << std::hex << " 0x" << out.info.format;
        EXPECT_EQ(out.info.frames, 480) << c.output;
    }

    // Integer formats clip what lies beyond full scale instead of wrapping it round to the other sign.
    writeSound(folder.file("half.wav"), kWavFloat, 48000, 2, std::vector<float>(200, 0.5f));
    ASSERT_EQ(run("render --tail 0 --format pcm16 " + quoted(recorderPath()) + " " + quoted(folder.file("half.wav")) +
                      " " + quoted(folder.file("loud.wav")),
                  "TARSK_RECORDER_GAIN=4")
                  .exitCode,
              0);
    Sound loud = readSound(folder.file("loud.wav"));
    ASSERT_EQ(loud.info.frames, 100);
    for (int64_t i = 0; i < 100; ++i) {
        EXPECT_GT(loud.at(i, 0), 0.99f) << i;
        EXPECT_LT(loud.at(i, 1), -0.99f) << i;
    }
}

TEST(RenderCommand, InitProgramPassesTheInputThrough) {
    TempFolder folder;
    const std::string program = "--program " + quoted(initProgramPath()) + " ";
    const std::vector<float> stereo = testSignal(4800, 2, 9);
    writeSound(folder.file("stereo.wav"), kWavFloat, 48000, 2, stereo);
    RunResult result = run("render --block 8192 --tail 0.1 " + program + quoted(pluginPath()) + " " +
                           quoted(folder.file("stereo.wav")) + " " + quoted(folder.file("out.wav")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    Sound out = readSound(folder.file("out.wav"));
    ASSERT_EQ(out.info.frames, 4800 + 4800);
    EXPECT_LT(largestDifference(out, 0, 0, 4800, [&](int64_t i) { return stereo[2 * i]; }), kPassThroughTolerance);
    EXPECT_LT(largestDifference(out, 1, 0, 4800, [&](int64_t i) { return stereo[2 * i + 1]; }), kPassThroughTolerance);
    EXPECT_LT(largestDifference(out, 0, 4800, 9600, [](int64_t) { return 0.0; }), kPassThroughTolerance);
    EXPECT_LT(largestDifference(out, 1, 4800, 9600, [](int64_t) { return 0.0; }), kPassThroughTolerance);

    // Mono input reaches both outputs.
    const std::vector<float> mono = testSignal(3000, 1, 10);
    writeSound(folder.file("mono.wav"), kWavFloat, 48000, 1, mono);
    result = run("render --block 64 --tail 0 " + program + quoted(pluginPath()) + " " +
                 quoted(folder.file("mono.wav")) + " " + quoted(folder.file("mono-out.wav")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    out = readSound(folder.file("mono-out.wav"));
    ASSERT_EQ(out.info.frames, 3000);
    EXPECT_LT(largestDifference(out, 0, 0, 3000, [&](int64_t i) { return mono[i]; }), kPassThroughTolerance);
    EXPECT_LT(largestDifference(out, 1, 0, 3000, [&](int64_t i) { return mono[i]; }), kPassThroughTolerance);
}

TEST(RenderCommand, ReadsAndWritesAiffAndFlac) {
    TempFolder folder;
    const std::string program = "--program " + quoted(initProgramPath()) + " ";
    constexpr double kHalf24BitStep = 0.5 / 8388608.0;

    // AIFF in, FLAC out.
    const std::vector<float> stereo = testSignal(2000, 2, 11);
    writeSound(folder.file("in.aif"), SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 44100, 2, stereo);
    RunResult result = run("render --tail 0 " + program + quoted(pluginPath()) + " " + quoted(folder.file("in.aif")) +
                           " " + quoted(folder.file("out.flac")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    Sound flac = readSound(folder.file("out.flac"));
    EXPECT_EQ(flac.container(), SF_FORMAT_FLAC);
    EXPECT_EQ(flac.info.samplerate, 44100);
    ASSERT_EQ(flac.info.frames, 2000);
    EXPECT_LT(largestDifference(flac, 0, 0, 2000, [&](int64_t i) { return stereo[2 * i]; }),
              kPassThroughTolerance + kHalf24BitStep);
    EXPECT_LT(largestDifference(flac, 1, 0, 2000, [&](int64_t i) { return stereo[2 * i + 1]; }),
              kPassThroughTolerance + kHalf24BitStep);

    // FLAC in (24-bit mono), AIFF out.
    writeSound(folder.file("in.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 1, testSignal(1500, 1, 12));
    const Sound flacIn = readSound(folder.file("in.flac"));
    result = run("render --tail 0.001 " + program + quoted(pluginPath()) + " " + quoted(folder.file("in.flac")) + " " +
                 quoted(folder.file("out.aiff")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    Sound aiff = readSound(folder.file("out.aiff"));
    EXPECT_EQ(aiff.info.format, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
    EXPECT_EQ(aiff.info.samplerate, 96000);
    EXPECT_EQ(aiff.info.channels, 2);
    ASSERT_EQ(aiff.info.frames, 1500 + 96);
    EXPECT_LT(largestDifference(aiff, 0, 0, 1500, [&](int64_t i) { return flacIn.samples[i]; }),
              kPassThroughTolerance);
    EXPECT_LT(largestDifference(aiff, 1, 0, 1500, [&](int64_t i) { return flacIn.samples[i]; }),
              kPassThroughTolerance);
}

TEST(RenderCommand, RendersTheDemoSignal) {
    TempFolder folder;
    const std::string tool = quoted(TARSK_DEMO_SIGNAL_TOOL);
    ASSERT_EQ(std::system((tool + " " + quoted(folder.file("dry.wav"))).c_str()), 0);
    ASSERT_EQ(std::system((tool + " " + quoted(folder.file("again.wav"))).c_str()), 0);
    EXPECT_EQ(readBytes(folder.file("dry.wav")), readBytes(folder.file("again.wav")));  // the same every time

    Sound dry = readSound(folder.file("dry.wav"));
    EXPECT_EQ(dry.info.format, kWavFloat);
    EXPECT_EQ(dry.info.channels, 2);
    EXPECT_EQ(dry.info.samplerate, 48000);
    EXPECT_GE(dry.info.frames, 4 * 48000);
    EXPECT_LE(dry.info.frames, 6 * 48000);
    float peak = 0.0f;
    for (float x : dry.samples) {
        peak = std::max(peak, std::abs(x));
    }
    EXPECT_NEAR(20.0 * std::log10(peak), -6.0, 0.1);
    // Sound at the start; silence at the end, once the chord has been released.
    EXPECT_GT(largestDifference(dry, 0, 0, 4800, [](int64_t) { return 0.0; }), 0.1);
    EXPECT_LT(largestDifference(dry, 0, dry.info.frames - 24000, dry.info.frames, [](int64_t) { return 0.0; }), 1e-6);
    EXPECT_LT(largestDifference(dry, 1, dry.info.frames - 24000, dry.info.frames, [](int64_t) { return 0.0; }), 1e-6);

    RunResult result = run("render " + quoted(pluginPath()) + " " + quoted(folder.file("dry.wav")) + " " +
                           quoted(folder.file("wet.wav")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    Sound wet = readSound(folder.file("wet.wav"));
    EXPECT_EQ(wet.info.channels, 2);
    EXPECT_EQ(wet.info.frames, dry.info.frames + 2 * 48000);
}

}  // namespace
