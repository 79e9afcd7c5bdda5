// Instances: each effect object lives in a page-aligned block of its own; the process counts them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/vst2-abi.h"

namespace tarsk {

class EffectBase;

constexpr size_t kInstanceBlockBytes = 65536;

// Creates a VerbEffect in a fresh block and answers its record, or null (no host, no SSE, no memory).
vst2::AEffect* createInstance(vst2::HostCallback host);
// Destroys an instance that effClose finished; objects not made by createInstance are deleted.
void destroyInstance(EffectBase* effect);
// Instances alive in this process (an instance being destroyed still counts).
int32_t instanceCount();

}  // namespace tarsk
