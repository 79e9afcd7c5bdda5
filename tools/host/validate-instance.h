// The validator's side of a VST 2.x plug-in: one loaded library, any number of instances made from
// its entry point, each with a host callback whose time information a check can make hostile, and
// audio blocks that notice unwritten, overrun and non-finite output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/vst2-abi.h"

namespace tarskhost::validate {

// The library, loaded once; instances are created from its entry point.
class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool load(const std::string& path, std::string& error);
    using EntryPoint = vst2::AEffect* (*)(vst2::HostCallback);
    EntryPoint entry() const { return entryPoint; }

private:
    void* handle = nullptr;
    EntryPoint entryPoint = nullptr;
};

// What the host answers to audioMasterGetTime.
struct HostTime {
    bool answerNull = false;  // no time information at all
    double tempo = 120.0;
    double sampleRate = 0.0;  // 0: the instance's rate
    int32_t flags = vst2::kVstTempoValid | vst2::kVstTransportPlaying | vst2::kVstPpqPosValid;
};

class Instance {
public:
    explicit Instance(PluginLibrary& library);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Calls the entry point, then effOpen, the rate, the block size and effMainsChanged(1).
    bool create(double rate, int32_t blockSize, std::string& error);
    // effMainsChanged(0), effClose; the record is gone afterwards.
    void destroy();

    vst2::AEffect* effect() const { return aeffect; }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    // Mains off, new rate and block size, mains on: how hosts change them.
    void restart(double rate, int32_t blockSize);
    // effMainsChanged(0) then (1), which hosts send before an offline render.
    void resume();

    // The current state through effGetChunk (bank chunk unless isProgram), copied at once; empty when
    // the plug-in answers 0.
    std::vector<uint8_t> saveChunk(bool isProgram = false);
    intptr_t loadChunk(const std::vector<uint8_t>& chunk, bool isProgram = false);
    intptr_t loadChunk(const uint8_t* data, size_t size, bool isProgram = false);

    // Moves the host's song position on after a block.
    void advance(int32_t frames) { timeInfo.samplePos += frames; }
    double rate() const { return sampleRate; }
    int32_t blockSize() const { return maxBlock; }
    HostTime time;  // read on the audio thread when the plug-in asks; change it only from there

    intptr_t answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

private:
    PluginLibrary& library;
    vst2::AEffect* aeffect = nullptr;
    vst2::VstTimeInfo timeInfo{};
    double sampleRate = 48000.0;
    int32_t maxBlock = 512;
};

// What one call of the audio callback did to its output buffers.
struct BlockReport {
    int64_t unwritten = 0;   // samples inside the block still holding the sentinel
    int64_t overrun = 0;     // samples behind the block that were written
    int64_t nonFinite = 0;   // NaN or infinite samples inside the block
    float peak = 0.0f;       // largest finite magnitude inside the block
};

// Buffers for every channel of an instance, with room behind the block to notice writes past it.
class AudioBlock {
public:
    AudioBlock(const vst2::AEffect& effect, int32_t capacity);

    int32_t inputCount() const { return static_cast<int32_t>(inputs.size()); }
    int32_t outputCount() const { return static_cast<int32_t>(outputs.size()); }
    float* input(int32_t channel) { return inputs[channel].data(); }
    const float* output(int32_t channel) const { return outputs[channel].data(); }
    int32_t capacity() const { return frames; }

    // Fills the outputs (and the guard behind them) with the sentinel, calls processReplacing with
    // separate buffers and checks the outputs.
    BlockReport process(Instance& instance, int32_t count);
    // The same with the outputs being the input buffers (in-place processing); only finiteness and
    // overrun are checked, as the inputs are not sentinels.
    BlockReport processInPlace(Instance& instance, int32_t count);

    static bool isSentinel(float value);

private:
    BlockReport inspect(int32_t count, bool inPlace) const;

    int32_t frames;
    std::vector<std::vector<float>> inputs;
    std::vector<std::vector<float>> outputs;
    std::vector<float*> inputPointers;
    std::vector<float*> outputPointers;
};

// Sums of block reports over a run.
struct RunTotals {
    int64_t blocks = 0;
    int64_t unwrittenBlocks = 0;
    int64_t overrunBlocks = 0;
    int64_t nonFinite = 0;
    float peak = 0.0f;
    void add(const BlockReport& report);
    void merge(const RunTotals& other);
    bool clean() const { return unwrittenBlocks == 0 && overrunBlocks == 0 && nonFinite == 0; }
    std::string describe() const;
};

// A reproducible source of test signals.
class Noise {
public:
    explicit Noise(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next();
    // Uniform in [-amplitude, amplitude].
    float sample(float amplitude);
    void fill(AudioBlock& block, int32_t count, float amplitude);

private:
    uint64_t state;
};

void fillConstant(AudioBlock& block, int32_t count, float value);

}  // namespace tarskhost::validate
