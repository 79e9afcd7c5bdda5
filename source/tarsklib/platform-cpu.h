// Processor features read with CPUID, kept in one process-wide record that tests may replace.
#pragma once

#include <cstdint>

namespace tarsk {

struct CpuFeatures {
    char vendor[13] = {};
    uint32_t leaf1Edx = 0;
    uint32_t leaf1Ecx = 0;
    uint32_t extendedEdx = 0;  // leaf 0x80000001, 0 where not available

    bool hasSse() const { return (leaf1Edx >> 25) & 1; }
    bool hasSse2() const { return (leaf1Edx >> 26) & 1; }
};

// Reads the processor's features.
CpuFeatures readCpuFeatures();

// The process-wide record: filled by the entry point; an override (tests) replaces what CPUID says.
const CpuFeatures& cpuFeatures();
void refreshCpuFeatures();
void overrideCpuFeatures(const CpuFeatures* features);  // null restores the real ones

}  // namespace tarsk
