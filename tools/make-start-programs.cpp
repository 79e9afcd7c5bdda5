// make-start-programs SOURCE_DIR OUT_DIR: writes the start programs' .fxp files from their sources.
#include <cstdio>
#include <string>

#include "start-programs.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-start-programs SOURCE_DIR OUT_DIR\n");
        return 2;
    }
    std::string error;
    if (!tarsk::makeStartPrograms(argv[1], argv[2], error)) {
        std::fprintf(stderr, "make-start-programs: %s\n", error.c_str());
        return 1;
    }
    for (const tarsk::StartProgram& program : tarsk::startPrograms()) {
        std::printf("wrote %s/%s\n", argv[2], program.output);
    }
    return 0;
}
