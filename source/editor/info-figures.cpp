// Version text and the processing-power figure of the Info page.
#include "editor/info-figures.h"

#include <cstdio>

namespace tarsk {

namespace {

constexpr int32_t kLargestBareMajor = 99;
constexpr int32_t kMajorUnit = 1000;
constexpr int32_t kLargestBareMinor = 99;
constexpr int32_t kMinorUnit = 100;

// Operations per sample of the network's stages.
constexpr uint32_t kBaseOperations = 172;
constexpr uint32_t kMultitapOperations = 196;
constexpr uint32_t kSaturatorOperations = 124;
constexpr uint32_t kSaturatedSegmentsOperations = 240;  // the saturator in every segment of a multitap line
constexpr uint32_t kFeedbackOperations = 8;
constexpr uint32_t kModulatedOutputOperations = 60;
constexpr double kGiga = 1e-9;

}  // namespace

int formatVersion(int32_t version, char* buffer, size_t capacity) {
    int64_t v = version;
    if (v <= kLargestBareMajor) {
        v *= kMajorUnit;
    }
    const int64_t major = v / kMajorUnit;
    int64_t rest = v % kMajorUnit;
    if (rest <= kLargestBareMinor) {
        rest *= kMinorUnit;
    }
    const int64_t minor = rest / kMinorUnit;
    const int64_t patch = rest % kMinorUnit;
    if (patch == 0) {
        return std::snprintf(buffer, capacity, "%lld.%lld", static_cast<long long>(major), static_cast<long long>(minor));
    }
    return std::snprintf(buffer, capacity, "%lld.%lld.%lld", static_cast<long long>(major),
                         static_cast<long long>(minor), static_cast<long long>(patch));
}

uint32_t operationsPerSample(uint32_t structureWord) {
    const bool multitap = (structureWord & structure::multitap) != 0;
    const bool saturator = (structureWord & structure::saturator) != 0;
    uint32_t operations = kBaseOperations;
    operations += multitap ? kMultitapOperations : 0u;
    operations += saturator ? kSaturatorOperations : 0u;
    operations += multitap && saturator ? kSaturatedSegmentsOperations : 0u;
    operations -= (structureWord & structure::feedback) == 0 ? kFeedbackOperations : 0u;
    if ((structureWord & structure::modulated) != 0 &&
        (structureWord & (structure::saturator | structure::filtersBeforeOutput)) != 0) {
        operations += kModulatedOutputOperations;
    }
    return operations;
}

double gigaflopsPerSecond(const LoadFigures& figures, double meterSeconds) {
    const double busySeconds = static_cast<double>(figures.load) * meterSeconds;
    if (!(busySeconds > 0.0)) {
        return 0.0;
    }
    const double operations =
        static_cast<double>(operationsPerSample(figures.structure)) * static_cast<double>(figures.samples);
    return operations / busySeconds * kGiga;
}

}  // namespace tarsk
