// The start programs and their generation from the readable sources.
#include "start-programs.h"

#include <vector>

#include "program-source.h"

namespace tarsk {

namespace {

constexpr StartProgram kStartPrograms[] = {
    {"resources/programs/init.program", "Init.fxp"},
    {"resources/programs/ridiva.program", "Ridiva ra dez Urerozidu.fxp"},
};

}  // namespace

std::span<const StartProgram> startPrograms() { return kStartPrograms; }

bool makeStartPrograms(const std::string& sourceDir, const std::string& outDir, std::string& error) {
    for (const StartProgram& program : kStartPrograms) {
        ProgramSource source;
        if (!readProgramSourceFile(sourceDir + "/" + program.source, source, error)) {
            return false;
        }
        std::vector<uint8_t> bytes;
        if (!buildProgramFile(source, bytes, error)) {
            error = std::string(program.source) + ": " + error;
            return false;
        }
        const std::string path = outDir + "/" + program.output;
        if (!writeWholeFile(path, bytes)) {
            error = path + ": cannot be written";
            return false;
        }
    }
    return true;
}

}  // namespace tarsk
