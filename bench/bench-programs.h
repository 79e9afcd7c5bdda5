// The programs the benchmarks run: one per kind of work the engine does, and all of it at once.
#pragma once

#include <string>
#include <vector>

#include "engine/program-record.h"

namespace tarsk::bench {

struct BenchProgram {
    std::string name;
    ProgramRecord record;
};

// The start programs from the library's resources, then variations built on the default program.
std::vector<BenchProgram> benchPrograms();

}  // namespace tarsk::bench
