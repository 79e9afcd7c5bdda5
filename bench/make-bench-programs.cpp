// Writes every benchmark program as a .fxp file into a folder, so that whole renders through the
// plug-in (bench/compare-sox.sh) can play them: make-bench-programs FOLDER
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "bench-programs.h"
#include "presets/fxp-file.h"
#include "tarsklib/stream.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-bench-programs FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    int failures = 0;
    for (const tarsk::bench::BenchProgram& program : tarsk::bench::benchPrograms()) {
        const std::string path = (folder / (program.name + ".fxp")).string();
        tarsk::FileStream stream(path.c_str(), tarsk::kOpenWrite);
        if (!stream.isOpen() || !tarsk::writeFxp(stream, program.record)) {
            std::fprintf(stderr, "make-bench-programs: cannot write '%s'\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
