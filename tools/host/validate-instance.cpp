// Instances and audio blocks of the validator.
#include "host/validate-instance.h"

#include <dlfcn.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tarskhost::validate {

namespace {

// Output buffers are filled with this quiet NaN before every call: a plug-in that writes its
// outputs replaces it, one that skips a block leaves it (and no computation yields this payload).
constexpr uint32_t kSentinelBits = 0x7FC0DEADu;
// Samples behind the block that are watched for writes past its end.
constexpr int32_t kGuardFrames = 64;
constexpr int32_t kMaxChannels = 64;
constexpr int32_t kHostVstVersion = 2400;
constexpr size_t kHostStringCapacity = 64;
constexpr const char* kHostVendor = "TarskCode Tools";
constexpr const char* kHostProduct = "tarskverb-host validate";

thread_local Instance* constructing = nullptr;

intptr_t hostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    Instance* instance = nullptr;
    if (effect != nullptr && effect->user != nullptr) {
        instance = static_cast<Instance*>(effect->user);
    } else {
        instance = constructing;
    }
    if (instance == nullptr) {
        return opcode == vst2::audioMasterVersion ? kHostVstVersion : 0;
    }
    return instance->answer(opcode, index, value, ptr, opt);
}

void copyString(void* ptr, const char* text) {
    if (ptr != nullptr) {
        std::snprintf(static_cast<char*>(ptr), kHostStringCapacity, "%s", text);
    }
}

int32_t clampChannels(int32_t count) { return std::clamp(count, 0, kMaxChannels); }

}  // namespace

// ---------------------------------------------------------------------------------------------

PluginLibrary::~PluginLibrary() {
    if (handle != nullptr) {
        dlclose(handle);
    }
}

bool PluginLibrary::load(const std::string& path, std::string& error) {
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = "cannot load '" + path + "': " + (why != nullptr ? why : "unknown error");
        return false;
    }
    entryPoint = reinterpret_cast<EntryPoint>(dlsym(handle, "VSTPluginMain"));
    if (entryPoint == nullptr) {
        entryPoint = reinterpret_cast<EntryPoint>(dlsym(handle, "main"));
    }
    if (entryPoint == nullptr) {
        error = "'" + path + "' exports neither VSTPluginMain nor main";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

Instance::Instance(PluginLibrary& owner) : library(owner) {}

Instance::~Instance() { destroy(); }

bool Instance::create(double rate, int32_t blockSize, std::string& error) {
    if (library.entry() == nullptr) {
        error = "no entry point";
        return false;
    }
    sampleRate = rate;
    maxBlock = blockSize;
    constructing = this;
    aeffect = library.entry()(hostCallback);
    constructing = nullptr;
    if (aeffect == nullptr) {
        error = "the entry point returned no effect";
        return false;
    }
    if (aeffect->magic != vst2::kEffectMagic) {
        error = "the entry point returned a record without the VST magic";
        aeffect = nullptr;
        return false;
    }
    if (aeffect->processReplacing == nullptr) {
        error = "the effect has no processReplacing";
        dispatch(vst2::effClose);
        aeffect = nullptr;
        return false;
    }
    aeffect->user = this;
    dispatch(vst2::effOpen);
    dispatch(vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(vst2::effSetBlockSize, 0, blockSize);
    dispatch(vst2::effMainsChanged, 0, 1);
    return true;
}

void Instance::destroy() {
    if (aeffect != nullptr) {
        dispatch(vst2::effMainsChanged, 0, 0);
        dispatch(vst2::effClose);
        aeffect = nullptr;
    }
}

intptr_t Instance::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return aeffect != nullptr ? aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt) : 0;
}

void Instance::restart(double rate, int32_t blockSize) {
    sampleRate = rate;
    maxBlock = blockSize;
    dispatch(vst2::effMainsChanged, 0, 0);
    dispatch(vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(vst2::effSetBlockSize, 0, blockSize);
    dispatch(vst2::effMainsChanged, 0, 1);
}

void Instance::resume() {
    dispatch(vst2::effMainsChanged, 0, 0);
    dispatch(vst2::effMainsChanged, 0, 1);
}

std::vector<uint8_t> Instance::saveChunk(bool isProgram) {
    void* data = nullptr;
    intptr_t size = dispatch(vst2::effGetChunk, isProgram ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) {
        return {};
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

intptr_t Instance::loadChunk(const std::vector<uint8_t>& chunk, bool isProgram) {
    return loadChunk(chunk.data(), chunk.size(), isProgram);
}

intptr_t Instance::loadChunk(const uint8_t* data, size_t size, bool isProgram) {
    // The plug-in may keep the pointer only for the call; hand it a private copy so that a plug-in
    // reading past the end meets the allocator's bounds rather than the caller's other data.
    std::vector<uint8_t> copy(data, data + size);
    return dispatch(vst2::effSetChunk, isProgram ? 1 : 0, static_cast<intptr_t>(size),
                    copy.empty() ? nullptr : copy.data());
}

intptr_t Instance::answer(int32_t opcode, int32_t /*index*/, intptr_t /*value*/, void* ptr, float /*opt*/) {
    using namespace vst2;
    switch (opcode) {
        case audioMasterVersion:
            return kHostVstVersion;
        case audioMasterGetTime: {
            if (time.answerNull) {
                return 0;
            }
            timeInfo.sampleRate = time.sampleRate != 0.0 ? time.sampleRate : sampleRate;
            timeInfo.tempo = time.tempo;
            timeInfo.flags = time.flags;
            timeInfo.timeSigNumerator = 4;
            timeInfo.timeSigDenominator = 4;
            if (std::isfinite(time.tempo) && std::isfinite(timeInfo.sampleRate) && timeInfo.sampleRate > 0.0) {
                timeInfo.ppqPos = timeInfo.samplePos / timeInfo.sampleRate * time.tempo / 60.0;
            }
            return reinterpret_cast<intptr_t>(&timeInfo);
        }
        case audioMasterGetSampleRate:
            return static_cast<intptr_t>(sampleRate);
        case audioMasterGetBlockSize:
            return maxBlock;
        case audioMasterGetVendorString:
            copyString(ptr, kHostVendor);
            return 1;
        case audioMasterGetProductString:
            copyString(ptr, kHostProduct);
            return 1;
        case audioMasterGetVendorVersion:
            return 1;
        case audioMasterUpdateDisplay:
        case audioMasterIOChanged:
            return 1;
        default:
            return 0;
    }
}

// ---------------------------------------------------------------------------------------------

AudioBlock::AudioBlock(const vst2::AEffect& effect, int32_t capacity) : frames(std::max(capacity, 1)) {
    // Channels get at least one block plus the guard; a plug-in with no inputs still gets an array.
    const size_t length = static_cast<size_t>(frames + kGuardFrames);
    inputs.assign(clampChannels(effect.numInputs), std::vector<float>(length, 0.0f));
    outputs.assign(clampChannels(effect.numOutputs), std::vector<float>(length, 0.0f));
    for (auto& channel : inputs) {
        inputPointers.push_back(channel.data());
    }
    for (auto& channel : outputs) {
        outputPointers.push_back(channel.data());
    }
    if (inputPointers.empty()) {
        inputPointers.push_back(nullptr);
    }
    if (outputPointers.empty()) {
        outputPointers.push_back(nullptr);
    }
}

bool AudioBlock::isSentinel(float value) { return std::bit_cast<uint32_t>(value) == kSentinelBits; }

BlockReport AudioBlock::process(Instance& instance, int32_t count) {
    count = std::clamp(count, 0, frames);
    const float sentinel = std::bit_cast<float>(kSentinelBits);
    for (auto& channel : outputs) {
        std::fill(channel.begin(), channel.end(), sentinel);
    }
    for (auto& channel : inputs) {
        std::fill(channel.begin() + count, channel.end(), 0.0f);
    }
    vst2::AEffect* effect = instance.effect();
    effect->processReplacing(effect, inputPointers.data(), outputPointers.data(), count);
    instance.advance(count);
    return inspect(count, false);
}

BlockReport AudioBlock::processInPlace(Instance& instance, int32_t count) {
    count = std::clamp(count, 0, frames);
    const float sentinel = std::bit_cast<float>(kSentinelBits);
    // In place means the outputs are the inputs: the first min(inputs, outputs) channels share
    // buffers; further outputs get the sentinel as usual.
    std::vector<float*> outs = outputPointers;
    for (size_t c = 0; c < outputs.size(); ++c) {
        if (c < inputs.size()) {
            outs[c] = inputs[c].data();
            std::fill(inputs[c].begin() + count, inputs[c].end(), sentinel);
        } else {
            std::fill(outputs[c].begin(), outputs[c].end(), sentinel);
        }
    }
    vst2::AEffect* effect = instance.effect();
    effect->processReplacing(effect, inputPointers.data(), outs.data(), count);
    instance.advance(count);
    // Copy the results where inspect looks for them.
    for (size_t c = 0; c < outputs.size() && c < inputs.size(); ++c) {
        std::copy(inputs[c].begin(), inputs[c].end(), outputs[c].begin());
    }
    BlockReport report = inspect(count, true);
    for (auto& channel : inputs) {
        std::fill(channel.begin() + count, channel.end(), 0.0f);
    }
    return report;
}

BlockReport AudioBlock::inspect(int32_t count, bool inPlace) const {
    BlockReport report;
    for (const auto& channel : outputs) {
        for (int32_t i = 0; i < count; ++i) {
            const float v = channel[i];
            if (isSentinel(v)) {
                if (!inPlace) {
                    ++report.unwritten;
                }
            } else if (!std::isfinite(v)) {
                ++report.nonFinite;
            } else {
                report.peak = std::max(report.peak, std::fabs(v));
            }
        }
        for (size_t i = static_cast<size_t>(count); i < channel.size(); ++i) {
            if (!isSentinel(channel[i])) {
                ++report.overrun;
            }
        }
    }
    return report;
}

void RunTotals::add(const BlockReport& report) {
    ++blocks;
    unwrittenBlocks += report.unwritten > 0 ? 1 : 0;
    overrunBlocks += report.overrun > 0 ? 1 : 0;
    nonFinite += report.nonFinite;
    peak = std::max(peak, report.peak);
}

void RunTotals::merge(const RunTotals& other) {
    blocks += other.blocks;
    unwrittenBlocks += other.unwrittenBlocks;
    overrunBlocks += other.overrunBlocks;
    nonFinite += other.nonFinite;
    peak = std::max(peak, other.peak);
}

std::string RunTotals::describe() const {
    char text[200];
    std::snprintf(text, sizeof(text), "%lld blocks, %lld unwritten, %lld written past the end, %lld non-finite samples",
                  static_cast<long long>(blocks), static_cast<long long>(unwrittenBlocks),
                  static_cast<long long>(overrunBlocks), static_cast<long long>(nonFinite));
    return text;
}

// ---------------------------------------------------------------------------------------------

uint64_t Noise::next() {
    // xorshift64*
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
}

float Noise::sample(float amplitude) {
    const double unit = static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0);  // [0, 1)
    return static_cast<float>((unit * 2.0 - 1.0) * amplitude);
}

void Noise::fill(AudioBlock& block, int32_t count, float amplitude) {
    for (int32_t c = 0; c < block.inputCount(); ++c) {
        float* in = block.input(c);
        for (int32_t i = 0; i < count; ++i) {
            in[i] = sample(amplitude);
        }
    }
}

void fillConstant(AudioBlock& block, int32_t count, float value) {
    for (int32_t c = 0; c < block.inputCount(); ++c) {
        std::fill(block.input(c), block.input(c) + count, value);
    }
}

}  // namespace tarskhost::validate
