// tarskverb-host: a command-line VST 2.x host for inspecting and driving the plug-in.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/command-line.h"
#include "host/editor-command.h"
#include "host/exit-codes.h"
#include "host/list-command.h"
#include "host/measure-command.h"
#include "host/plugin-host.h"
#include "host/render-command.h"
#include "host/validate-command.h"

namespace {

using tarskhost::kExitOk;
using tarskhost::kExitUsage;

const char* const kUsageHead =
    "usage: tarskverb-host COMMAND [OPTIONS] PLUGIN.so ...\n"
    "\n"
    "Commands:\n"
    "  info PLUGIN.so    print what a host sees: names, id, version, flags, channels,\n"
    "                    capabilities, the program names and the size of the current chunk\n";
const char* const kUsageTail =
    "  --help            print this text\n"
    "\n"
    "Exit codes: 0 done, 1 a file or the plug-in could not be read, written or loaded, 2 bad usage.\n";

void printUsage(FILE* to) {
    std::fprintf(to, "%s%s%s%s%s%s%s", kUsageHead, tarskhost::kListUsage, tarskhost::kRenderUsage, tarskhost::kMeasureUsage,
                 tarskhost::kEditorUsage, tarskhost::kValidateUsage, kUsageTail);
}

// The capability texts of VST 2.x that hosts ask plug-ins about.
const char* const kCapabilities[] = {
    "sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents", "receiveVstMidiEvent",
    "receiveVstTimeInfo", "offline", "plugAsChannelInsert", "plugAsSend", "mixDryWet", "noRealTime",
    "multipass", "metapass", "1in1out", "1in2out", "2in1out", "2in2out", "2in4out", "4in2out", "4in4out",
    "4in8out", "8in4out", "8in8out", "midiProgramNames", "bypass", "conformsToWindowRules",
    "LiveWithoutToolbar", "hasCockosExtensions",
};

struct FlagName {
    int32_t bit;
    const char* name;
};
const FlagName kFlagNames[] = {
    {vst2::effFlagsHasEditor, "HasEditor"},         {vst2::effFlagsCanMono, "CanMono"},
    {vst2::effFlagsCanReplacing, "CanReplacing"},   {vst2::effFlagsProgramChunks, "ProgramChunks"},
    {vst2::effFlagsIsSynth, "IsSynth"},             {vst2::effFlagsNoSoundInStop, "NoSoundInStop"},
    {vst2::effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
};

std::string queryString(tarskhost::PluginHost& host, int32_t opcode) {
    char text[256] = {};
    host.dispatch(opcode, 0, 0, text);
    text[sizeof(text) - 1] = 0;
    return text;
}

std::string fourCharacters(int32_t id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned char c = static_cast<unsigned char>(id >> shift);
        if (c >= 32 && c < 127) {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

const char* answerText(intptr_t answer) { return answer > 0 ? "yes" : answer < 0 ? "no" : "don't know"; }

int runInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "tarskverb-host info: expected one PLUGIN.so\n");
        printUsage(stderr);
        return kExitUsage;
    }
    tarskhost::PluginHost host;
    std::string error;
    if (!host.load(args[0], error)) {
        return tarskhost::reportFailure(error);
    }
    host.start();
    vst2::AEffect* e = host.effect();

    std::printf("plug-in:        %s\n", args[0].c_str());
    std::printf("entry point:    %s\n", host.entryPointName());
    std::printf("effect name:    %s\n", queryString(host, vst2::effGetEffectName).c_str());
    std::printf("vendor:         %s\n", queryString(host, vst2::effGetVendorString).c_str());
    std::printf("product:        %s\n", queryString(host, vst2::effGetProductString).c_str());
    std::printf("unique id:      0x%08X '%s'\n", static_cast<uint32_t>(e->uniqueID), fourCharacters(e->uniqueID).c_str());
    std::printf("version:        %d (vendor version %ld, VST version %ld)\n", e->version,
                static_cast<long>(host.dispatch(vst2::effGetVendorVersion)),
                static_cast<long>(host.dispatch(vst2::effGetVstVersion)));
    std::printf("category:       %ld\n", static_cast<long>(host.dispatch(vst2::effGetPlugCategory)));
    std::printf("flags:          0x%X", static_cast<uint32_t>(e->flags));
    for (const FlagName& flag : kFlagNames) {
        if ((e->flags & flag.bit) != 0) {
            std::printf(" %s", flag.name);
        }
    }
    std::printf("\n");
    std::printf("programs:       %d\n", e->numPrograms);
    std::printf("parameters:     %d\n", e->numParams);
    std::printf("inputs:         %d\n", e->numInputs);
    std::printf("outputs:        %d\n", e->numOutputs);
    std::printf("can do:\n");
    for (const char* capability : kCapabilities) {
        char text[64];
        std::snprintf(text, sizeof(text), "%s", capability);
        intptr_t answer = host.dispatch(vst2::effCanDo, 0, 0, text);
        std::printf("  %-24s %2ld  %s\n", capability, static_cast<long>(answer), answerText(answer));
    }
    std::printf("program names:\n");
    for (int32_t i = 0; i < e->numPrograms; ++i) {
        char name[256] = {};
        host.dispatch(vst2::effGetProgramNameIndexed, i, 0, name);
        name[sizeof(name) - 1] = 0;
        std::printf("  %d  %s\n", i, name);
    }
    void* chunk = nullptr;
    intptr_t chunkSize = (e->flags & vst2::effFlagsProgramChunks) != 0 ? host.dispatch(vst2::effGetChunk, 0, 0, &chunk) : 0;
    std::printf("current chunk:  %ld bytes\n", static_cast<long>(chunkSize));
    host.unload();
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return kExitOk;
    }
    if (command == "info") {
        return runInfo(args);
    }
    if (command == "list") {
        return tarskhost::runList(args);
    }
    if (command == "measure") {
        return tarskhost::runMeasure(args);
    }
    if (command == "editor") {
        return tarskhost::runEditor(args);
    }
    if (command == "render") {
        return tarskhost::runRender(args);
    }
    if (command == "validate") {
        return tarskhost::runValidate(args);
    }
    std::fprintf(stderr, "tarskverb-host: unknown command '%s'\n", command.c_str());
    printUsage(stderr);
    return kExitUsage;
}
