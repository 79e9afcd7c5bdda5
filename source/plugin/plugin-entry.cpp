// The library's exported entry points. Hosts look for VSTPluginMain, some for main first.
#include "plugin/instance.h"
#include "plugin/vst2-abi.h"

#define TARSK_EXPORT __attribute__((visibility("default")))

extern "C" {

TARSK_EXPORT vst2::AEffect* VSTPluginMain(vst2::HostCallback host) {
    try {
        return tarsk::createInstance(host);
    } catch (...) {
        return nullptr;
    }
}

// Exported under the plain name "main"; C++ does not allow a function of that name otherwise.
TARSK_EXPORT vst2::AEffect* pluginMainAlias(vst2::HostCallback host) asm("main");
TARSK_EXPORT vst2::AEffect* pluginMainAlias(vst2::HostCallback host) { return VSTPluginMain(host); }

}
