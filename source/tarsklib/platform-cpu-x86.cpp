// CPU features through the CPUID instruction.
#include "platform-cpu.h"

#include <cpuid.h>

#include <atomic>
#include <cstring>

namespace tarsk {

namespace {
std::atomic<const CpuFeatures*> overridden{nullptr};

const CpuFeatures& realFeatures() {
    static const CpuFeatures features = readCpuFeatures();  // read once, thread-safe
    return features;
}
}  // namespace

CpuFeatures readCpuFeatures() {
    CpuFeatures features;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d) == 0) {
        return features;
    }
    std::memcpy(features.vendor + 0, &b, 4);
    std::memcpy(features.vendor + 4, &d, 4);
    std::memcpy(features.vendor + 8, &c, 4);
    if (a >= 1 && __get_cpuid(1, &a, &b, &c, &d) != 0) {
        features.leaf1Edx = d;
        features.leaf1Ecx = c;
    }
    if (__get_cpuid_max(0x80000000u, nullptr) >= 0x80000001u && __get_cpuid(0x80000001u, &a, &b, &c, &d) != 0) {
        features.extendedEdx = d;
    }
    return features;
}

void refreshCpuFeatures() { (void)realFeatures(); }

const CpuFeatures& cpuFeatures() {
    const CpuFeatures* features = overridden.load(std::memory_order_acquire);
    if (features != nullptr) {
        return *features;
    }
    return realFeatures();
}

void overrideCpuFeatures(const CpuFeatures* features) { overridden.store(features, std::memory_order_release); }

}  // namespace tarsk
