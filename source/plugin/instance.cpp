// Creation and destruction of instances, the process-wide instance count and the no-SSE refusal.
#include "plugin/instance.h"

#include <atomic>
#include <new>

#include "plugin/verb-effect.h"
#include "tarsklib/platform-cpu.h"
#include "tarsklib/platform-memory.h"
#include "tarsklib/platform-message.h"
#include "tarsklib/spin-lock.h"

namespace tarsk {

namespace {

constexpr const char* kNoSseMessage =
    "TarskVerb cannot run on this machine.\nThe processor does not support the SSE instruction set.";

std::atomic<int32_t> liveInstances{0};
SpinLock destructionLock;  // process-wide: one instance is torn down at a time

}  // namespace

static_assert(sizeof(VerbEffect) <= kInstanceBlockBytes, "an instance must fit its block");
static_assert(alignof(VerbEffect) <= 4096, "blocks are page-aligned");

vst2::AEffect* createInstance(vst2::HostCallback host) {
    refreshCpuFeatures();
    if (host == nullptr) {
        return nullptr;
    }
    if (!cpuFeatures().hasSse()) {
        showFatalMessage(kNoSseMessage);
        return nullptr;
    }
    void* block = allocatePages(kInstanceBlockBytes);
    if (block == nullptr) {
        return nullptr;
    }
    VerbEffect* effect = nullptr;
    try {
        effect = new (block) VerbEffect(host);
    } catch (...) {
        releasePages(block, kInstanceBlockBytes);
        return nullptr;
    }
    effect->markPlacedInBlock();
    liveInstances.fetch_add(1, std::memory_order_acq_rel);
    return effect->record();
}

void destroyInstance(EffectBase* effect) {
    if (effect == nullptr) {
        return;
    }
    LockGuard guard = LockGuard::locked(destructionLock);
    if (effect->isPlacedInBlock()) {
        effect->~EffectBase();
        releasePages(effect, kInstanceBlockBytes);
        liveInstances.fetch_sub(1, std::memory_order_acq_rel);
    } else {
        delete effect;
    }
}

int32_t instanceCount() { return liveInstances.load(std::memory_order_acquire); }

}  // namespace tarsk
