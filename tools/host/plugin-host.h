// PluginHost: loads a VST 2.x plug-in library with dlopen and drives it through its entry point and
// record the way a digital audio workstation does. Used by tarskverb-host and the host-level tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugin/vst2-abi.h"

namespace tarskhost {

struct HostOptions {
    double sampleRate = 48000.0;
    int32_t blockSize = 512;
    double tempo = 0.0;  // beats per minute; 0 = the host reports no tempo
    int32_t vstVersion = 2400;
    std::string vendor = "TarskCode Tools";
    std::string product = "tarskverb-host";
    int32_t vendorVersion = 1;
    bool canSizeWindow = false;
    // Called for audioMasterSizeWindow (width, height); answers whether the window was resized.
    std::function<bool(int32_t, int32_t)> sizeWindow;
};

// One block of audio for every channel a plug-in has, and the pointer arrays its audio callback takes.
struct ChannelBuffers {
    ChannelBuffers(int32_t inputCount, int32_t outputCount, int32_t frames)
        : inputs(inputCount, std::vector<float>(frames)), outputs(outputCount, std::vector<float>(frames)) {
        for (auto& channel : inputs) {
            inputPointers.push_back(channel.data());
        }
        for (auto& channel : outputs) {
            outputPointers.push_back(channel.data());
        }
    }
    std::vector<std::vector<float>> inputs;
    std::vector<std::vector<float>> outputs;
    std::vector<float*> inputPointers;
    std::vector<float*> outputPointers;
};

class PluginHost {
public:
    explicit PluginHost(HostOptions options = {});
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the library and creates one instance; on failure answers false with a message in error.
    bool load(const std::string& path, std::string& error);
    // The usual start of a host: effOpen, sample rate, block size, effMainsChanged(1).
    void start();
    // effMainsChanged(0), effClose, then the library is unloaded.
    void unload();

    vst2::AEffect* effect() const { return aeffect; }
    const char* entryPointName() const { return entryName; }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    void processReplacing(float** inputs, float** outputs, int32_t frames);

    HostOptions& options() { return settings; }
    // How often the plug-in called the host with an opcode (0 to 63).
    int callCount(int32_t opcode) const;

    // The answer the host gives the plug-in for one host opcode.
    intptr_t answer(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

private:
    HostOptions settings;
    void* library = nullptr;
    vst2::AEffect* aeffect = nullptr;
    const char* entryName = "";
    vst2::VstTimeInfo timeInfo{};
    std::atomic<int> calls[64] = {};
};

}  // namespace tarskhost
