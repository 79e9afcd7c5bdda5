// The list command of tarskverb-host: loads the plug-in as a host would, then scans the factory archive
// inside its file with the plug-in's own archive, file-system and scan code and prints it by category.
#include "host/list-command.h"

#include <cstdint>
#include <cstdio>

#include "host/command-line.h"
#include "host/exit-codes.h"
#include "host/factory-programs.h"
#include "host/plugin-host.h"
#include "presets/library-actions.h"
#include "presets/library-worker.h"
#include "presets/program-file-system.h"
#include "presets/program-list.h"

namespace tarskhost {

const char* const kListUsage =
    "  list PLUGIN.so    print the factory programs the plug-in carries, by category\n";

int runList(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "tarskverb-host list: expected one PLUGIN.so\n(tarskverb-host --help lists the commands)\n");
        return kExitUsage;
    }
    const std::string& pluginPath = args[0];
    std::string error;
    {
        PluginHost host;
        if (!host.load(pluginPath, error)) {
            return reportFailure(error);
        }
        host.unload();
    }

    tarsk::ProgramFileSystem files;
    if (!mountFactoryArchive(pluginPath, files, error)) {
        return reportFailure(error);
    }
    tarsk::ProgramList list;
    tarsk::scanProgramFolder(files, tarsk::kFactoryProgramsPath, list);

    list.readLock();
    const uint32_t categories = list.categoryCount();
    for (uint32_t c = 0; c < categories; ++c) {
        const tarsk::ProgramCategory category = list.category(c);
        std::printf("%s\n", tarsk::decodeFileName(category.name).c_str());
        for (uint32_t e = category.firstEntry; e < category.firstEntry + category.entryCount; ++e) {
            std::printf("  %s\n", tarsk::decodeFileName(list.entry(e).name).c_str());
        }
    }
    const uint32_t programs = list.count();
    list.unlock();
    std::printf("%u program%s in %u categor%s\n", programs, programs == 1 ? "" : "s", categories,
                categories == 1 ? "y" : "ies");
    return kExitOk;
}

}  // namespace tarskhost
