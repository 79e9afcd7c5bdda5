// The library's exported entry points. Hosts look for VSTPluginMain, some for main first.
#include "plugin/instance.h"
#include "plugin/vst2-abi.h"

#define TARSK_EXPORT __attribute__((visibility("default")))
// The assembler name of a C function: with the platform's label prefix ("_" for 32-bit Windows).
#define TARSK_STRINGIFY_LABEL(prefix) #prefix
#define TARSK_LABEL_PREFIX(prefix) TARSK_STRINGIFY_LABEL(prefix)
#define TARSK_C_SYMBOL(name) TARSK_LABEL_PREFIX(__USER_LABEL_PREFIX__) name

extern "C" {

TARSK_EXPORT vst2::AEffect* VSTPluginMain(vst2::HostCallback host) {
    try {
        return tarsk::createInstance(host);
    } catch (...) {
        return nullptr;
    }
}

// Exported under the plain name "main"; C++ does not allow a function of that name otherwise.
TARSK_EXPORT vst2::AEffect* pluginMainAlias(vst2::HostCallback host) asm(TARSK_C_SYMBOL("main"));
TARSK_EXPORT vst2::AEffect* pluginMainAlias(vst2::HostCallback host) { return VSTPluginMain(host); }

}
