// PluginHost: loading the library, the entry point, the host callback and the usual start and end of an instance.
#include "host/plugin-host.h"

#include <algorithm>
#include <cstring>

#include "host/plugin-library.h"

namespace tarskhost {

namespace {

using EntryPoint = vst2::AEffect* (*)(vst2::HostCallback);

// The instance being created: its record cannot carry the host pointer until the entry point returns.
thread_local PluginHost* constructingHost = nullptr;

intptr_t hostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    PluginHost* host = nullptr;
    if (effect != nullptr && effect->user != nullptr) {
        host = static_cast<PluginHost*>(effect->user);
    } else {
        host = constructingHost;
    }
    if (host == nullptr) {
        return opcode == vst2::audioMasterVersion ? 2400 : 0;
    }
    return host->answer(effect, opcode, index, value, ptr, opt);
}

void copyString(void* ptr, const std::string& text, size_t capacity) {
    if (ptr == nullptr) {
        return;
    }
    size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(ptr, text.data(), n);
    static_cast<char*>(ptr)[n] = 0;
}

constexpr size_t kHostStringCapacity = 64;

}  // namespace

PluginHost::PluginHost(HostOptions options) : settings(std::move(options)) {}

PluginHost::~PluginHost() { unload(); }

bool PluginHost::load(const std::string& path, std::string& error) {
    unload();
    std::string why;
    library = openPluginLibrary(path, why);
    if (library == nullptr) {
        error = "cannot load '" + path + "' as a plug-in library: " + why;
        return false;
    }
    auto entry = reinterpret_cast<EntryPoint>(findPluginSymbol(library, "VSTPluginMain"));
    entryName = "VSTPluginMain";
    if (entry == nullptr) {
        entry = reinterpret_cast<EntryPoint>(findPluginSymbol(library, "main"));
        entryName = "main";
    }
    if (entry == nullptr) {
        error = "'" + path + "' exports neither VSTPluginMain nor main: it is not a VST 2.x plug-in";
        closePluginLibrary(library);
        library = nullptr;
        return false;
    }
    constructingHost = this;
    aeffect = entry(hostCallback);
    constructingHost = nullptr;
    if (aeffect == nullptr) {
        error = "the entry point " + std::string(entryName) + " of '" + path + "' returned no effect";
        closePluginLibrary(library);
        library = nullptr;
        return false;
    }
    if (aeffect->magic != vst2::kEffectMagic) {
        error = "the entry point of '" + path + "' returned a record without the VST magic";
        aeffect = nullptr;
        closePluginLibrary(library);
        library = nullptr;
        return false;
    }
    aeffect->user = this;
    return true;
}

void PluginHost::start() {
    dispatch(vst2::effOpen);
    dispatch(vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(settings.sampleRate));
    dispatch(vst2::effSetBlockSize, 0, settings.blockSize);
    dispatch(vst2::effMainsChanged, 0, 1);
}

void PluginHost::unload() {
    if (aeffect != nullptr) {
        dispatch(vst2::effMainsChanged, 0, 0);
        dispatch(vst2::effClose);
        aeffect = nullptr;
    }
    if (library != nullptr) {
        closePluginLibrary(library);
        library = nullptr;
    }
}

intptr_t PluginHost::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (aeffect == nullptr) {
        return 0;
    }
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

void PluginHost::processReplacing(float** inputs, float** outputs, int32_t frames) {
    if (aeffect == nullptr || aeffect->processReplacing == nullptr) {
        return;
    }
    aeffect->processReplacing(aeffect, inputs, outputs, frames);
    timeInfo.samplePos += frames;
}

int PluginHost::callCount(int32_t opcode) const {
    return opcode >= 0 && opcode < 64 ? calls[opcode].load() : 0;
}

intptr_t PluginHost::answer(vst2::AEffect* /*effect*/, int32_t opcode, int32_t index, intptr_t value,
                            void* ptr, float /*opt*/) {
    using namespace vst2;
    if (opcode >= 0 && opcode < 64) {
        calls[opcode].fetch_add(1);
    }
    switch (opcode) {
        case audioMasterVersion:
            return settings.vstVersion;
        case audioMasterGetTime:
            timeInfo.sampleRate = settings.sampleRate;
            timeInfo.tempo = settings.tempo;
            timeInfo.flags = settings.tempo > 0.0 ? kVstTempoValid : 0;
            return reinterpret_cast<intptr_t>(&timeInfo);
        case audioMasterGetSampleRate:
            return static_cast<intptr_t>(settings.sampleRate);
        case audioMasterGetBlockSize:
            return settings.blockSize;
        case audioMasterGetVendorString:
            copyString(ptr, settings.vendor, kHostStringCapacity);
            return 1;
        case audioMasterGetProductString:
            copyString(ptr, settings.product, kHostStringCapacity);
            return 1;
        case audioMasterGetVendorVersion:
            return settings.vendorVersion;
        case audioMasterCanDo:
            return ptr != nullptr && std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0 &&
                           settings.canSizeWindow
                       ? 1
                       : 0;
        case audioMasterUpdateDisplay:
            return 1;
        case audioMasterSizeWindow:
            if (settings.sizeWindow) {
                return settings.sizeWindow(index, value) ? 1 : 0;
            }
            return 1;
        default:
            return 0;
    }
}

}  // namespace tarskhost
