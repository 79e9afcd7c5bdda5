// The built plug-in as a host sees it: loaded with dlopen, driven only through its entry point.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host-paths.h"
#include "host/plugin-host.h"

namespace {

using tarskhost::HostOptions;
using tarskhost::PluginHost;
using tarsk::test::pluginPath;

constexpr size_t kChunkNameOffset = 12;  // the name field in a stored program chunk

std::string programName(PluginHost& host, int32_t index) {
    char name[256] = {};
    host.dispatch(vst2::effGetProgramNameIndexed, index, 0, name);
    return name;
}

std::vector<uint8_t> currentChunk(PluginHost& host) {
    void* data = nullptr;
    intptr_t size = host.dispatch(vst2::effGetChunk, 0, 0, &data);
    if (size <= 0 || data == nullptr) {
        return {};
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

struct Loaded {
    PluginHost host;
    explicit Loaded(HostOptions options = {}) : host(std::move(options)) {
        std::string error;
        ok = host.load(pluginPath(), error);
        EXPECT_TRUE(ok) << error;
    }
    bool ok = false;
};

TEST(PluginLibrary, ReportsWhatAHostSees) {
    Loaded loaded;
    ASSERT_TRUE(loaded.ok);
    PluginHost& host = loaded.host;
    host.start();
    vst2::AEffect* e = host.effect();
    EXPECT_EQ(e->magic, vst2::kEffectMagic);
    EXPECT_EQ(e->uniqueID, 0x5D3B6001);
    EXPECT_EQ(e->version, 760);
    EXPECT_EQ(e->flags, 0x39);
    EXPECT_EQ(e->numPrograms, 4);
    EXPECT_EQ(e->numParams, 0);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    char text[256] = {};
    host.dispatch(vst2::effGetEffectName, 0, 0, text);
    EXPECT_STREQ(text, "TarskVerb 0.7.6");
    host.dispatch(vst2::effGetProductString, 0, 0, text);
    EXPECT_STREQ(text, "TarskVerb FDN Processor 0.7.6");
    host.dispatch(vst2::effGetVendorString, 0, 0, text);
    EXPECT_STREQ(text, "TarskCode");
    struct Capability {
        const char* text;
        intptr_t answer;
    };
    for (Capability c : {Capability{"2in2out", 1}, {"receiveVstEvents", -1}, {"bypass", -1}, {"plugAsSend", 1},
                         {"multipass", 0}, {"2In2Out", 0}, {"not a capability", 0}}) {
        char capability[64];
        std::snprintf(capability, sizeof(capability), "%s", c.text);
        EXPECT_EQ(host.dispatch(vst2::effCanDo, 0, 0, capability), c.answer) << c.text;
    }
    EXPECT_EQ(programName(host, 0), "Ridiva ra dez Urerozidu");
    for (int32_t i = 1; i < 4; ++i) {
        EXPECT_EQ(programName(host, i), "Init");
    }
    EXPECT_EQ(currentChunk(host).size(), 880u);
    EXPECT_GT(host.callCount(vst2::audioMasterGetSampleRate), 0);
}

TEST(PluginLibrary, ExportsOnlyItsEntryPoints) {
    std::string command = "nm -D --defined-only '" + pluginPath() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        std::string text(line);
        size_t last = text.find_last_of(' ');
        std::string symbol = text.substr(last + 1);
        symbol.erase(symbol.find_last_not_of("\r\n") + 1);
        symbols.insert(symbol);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(symbols, (std::set<std::string>{"VSTPluginMain", "main"}));

    void* library = dlopen(pluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    using Entry = vst2::AEffect* (*)(vst2::HostCallback);
    auto entry = reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain"));
    auto alias = reinterpret_cast<Entry>(dlsym(library, "main"));
    ASSERT_NE(entry, nullptr);
    ASSERT_NE(alias, nullptr);
    EXPECT_EQ(entry(nullptr), nullptr);
    EXPECT_EQ(alias(nullptr), nullptr);
    dlclose(library);
}

TEST(PluginLibrary, SurvivesAScannerThatAnswersRateZero) {
    HostOptions options;
    options.sampleRate = 0.0;
    options.blockSize = 0;
    Loaded loaded(options);
    ASSERT_TRUE(loaded.ok);
    PluginHost& host = loaded.host;
    host.dispatch(vst2::effOpen);
    char text[256];
    host.dispatch(vst2::effGetEffectName, 0, 0, text);
    host.dispatch(vst2::effGetVendorString, 0, 0, text);
    host.dispatch(vst2::effGetProductString, 0, 0, text);
    host.dispatch(vst2::effMainsChanged, 0, 0);
    std::vector<float> buffer(16, 0.5f);
    float* channels[2] = {buffer.data(), buffer.data()};
    host.processReplacing(channels, channels, 16);
    for (float v : buffer) {
        EXPECT_TRUE(std::isfinite(v));
    }
    EXPECT_NEAR(buffer[15], 0.5f, 1e-6f);  // the reverb has not answered yet: the dry signal
    host.unload();
}

TEST(PluginLibrary, RefusesForeignRecordsAndBadRequests) {
    Loaded loaded;
    ASSERT_TRUE(loaded.ok);
    PluginHost& host = loaded.host;
    host.start();
    vst2::AEffect* e = host.effect();
    for (int32_t opcode = 78; opcode < 200; ++opcode) {
        EXPECT_EQ(host.dispatch(opcode, 0, 0, nullptr), 0);
    }
    EXPECT_EQ(host.dispatch(vst2::effCanDo, 0, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(vst2::effGetProgramNameIndexed, 9, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(vst2::effGetProgramName, 0, 0, nullptr), 0);

    std::vector<uint8_t> chunk = currentChunk(host);
    ASSERT_EQ(chunk.size(), 880u);
    std::vector<uint8_t> noise(4096);
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    }
    std::memcpy(noise.data(), chunk.data(), 8);  // a plausible magic and version, then garbage
    for (intptr_t size : {intptr_t{0}, intptr_t{1}, intptr_t{16}, intptr_t{17}, intptr_t{879}, intptr_t{-5}}) {
        host.dispatch(vst2::effSetChunk, 0, size, noise.data());
    }
    EXPECT_EQ(currentChunk(host), chunk);  // every one of them was too short to load
    host.dispatch(vst2::effSetChunk, 0, 4096, noise.data());
    EXPECT_EQ(currentChunk(host).size(), 880u);

    int32_t id = e->uniqueID;
    e->uniqueID = 0;
    EXPECT_EQ(host.dispatch(vst2::effGetVendorVersion), 0);
    std::vector<float> buffer(8, 0.25f), out(8, 7.0f);
    float* in[2] = {buffer.data(), buffer.data()};
    float* outs[2] = {out.data(), out.data()};
    host.processReplacing(in, outs, 8);
    EXPECT_EQ(out[0], 7.0f);
    e->uniqueID = id;
    EXPECT_EQ(host.dispatch(vst2::effGetVendorVersion), 760);
}

TEST(PluginLibrary, ProgramsTravelBetweenInstancesAsChunks) {
    Loaded first, second;
    ASSERT_TRUE(first.ok && second.ok);
    first.host.start();
    second.host.start();
    std::vector<uint8_t> chunk = currentChunk(first.host);
    ASSERT_EQ(chunk.size(), 880u);
    const char renamed[] = "Saved by the host";
    std::memset(chunk.data() + kChunkNameOffset, 0, 28);
    std::memcpy(chunk.data() + kChunkNameOffset, renamed, sizeof(renamed));
    second.host.dispatch(vst2::effSetProgram, 0, 3);
    second.host.dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data());
    EXPECT_EQ(programName(second.host, 3), renamed);
    EXPECT_EQ(programName(second.host, 0), "Ridiva ra dez Urerozidu");
    EXPECT_EQ(currentChunk(second.host), chunk);
    second.host.dispatch(vst2::effSetProgram, 0, 0);
    EXPECT_EQ(programName(second.host, 3), renamed);  // written back into its slot
}

TEST(PluginLibrary, InitPassesAudioThroughAndTheDefaultStaysFiniteAtEveryBlockSize) {
    Loaded loaded;
    ASSERT_TRUE(loaded.ok);
    loaded.host.start();
    constexpr int32_t kInitSlot = 1;
    constexpr int32_t kDefaultSlot = 0;
    for (int32_t program : {kInitSlot, kDefaultSlot}) {
        loaded.host.dispatch(vst2::effSetProgram, 0, program);
        for (int32_t frames : {1, 2, 7, 31, 64, 100, 512, 4096, 8192}) {
            std::vector<float> left(frames), right(frames), outLeft(frames, 9.0f), outRight(frames, 9.0f);
            for (int32_t i = 0; i < frames; ++i) {
                left[i] = static_cast<float>(i % 97) / 97.0f;
                right[i] = -left[i];
            }
            float* in[2] = {left.data(), right.data()};
            float* out[2] = {outLeft.data(), outRight.data()};
            loaded.host.processReplacing(in, out, frames);
            for (int32_t i = 0; i < frames; ++i) {
                ASSERT_TRUE(std::isfinite(outLeft[i]) && std::isfinite(outRight[i])) << program << " " << frames;
                if (program == kInitSlot) {
                    // Only the denormal guard (below 1e-11) is added; rounding toward minus infinity
                    // may take one unit in the last place off the sum.
                    ASSERT_NEAR(outLeft[i], left[i], 1e-11 + std::fabs(left[i]) * 0x1p-23) << frames << " " << i;
                    ASSERT_NEAR(outRight[i], right[i], 1e-11 + std::fabs(right[i]) * 0x1p-23) << frames << " " << i;
                }
            }
        }
    }
}

TEST(PluginLibrary, SavesWhileTheAudioThreadRuns) {
    HostOptions options;
    options.tempo = 128.0;
    Loaded loaded(options);
    ASSERT_TRUE(loaded.ok);
    PluginHost& host = loaded.host;
    host.start();
    std::atomic<bool> running{true};
    std::thread audio([&] {
        std::vector<float> left(256, 0.1f), right(256, 0.2f);
        float* channels[2] = {left.data(), right.data()};
        while (running.load()) {
            host.processReplacing(channels, channels, 256);
        }
    });
    std::vector<uint8_t> initChunk;
    host.dispatch(vst2::effSetProgram, 0, 1);
    initChunk = currentChunk(host);
    int unanswered = 0;
    for (int i = 0; i < 3000; ++i) {
        if (currentChunk(host).size() != 880) {
            ++unanswered;
        }
        if (i % 10 == 0) {
            host.dispatch(vst2::effSetProgram, 0, i % 4);
            host.dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(initChunk.size()), initChunk.data());
            host.dispatch(vst2::effMainsChanged, 0, 1);
        }
    }
    running = false;
    audio.join();
    EXPECT_EQ(unanswered, 0);
}

}  // namespace
