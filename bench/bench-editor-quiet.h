// What every editor benchmark shares, with or without a window: a host callback that answers only its
// version, and a renderer that takes the batches, counts them and draws nothing.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "plugin/vst2-abi.h"
#include "tarsklib/ui-renderer.h"

namespace benchsupport {

inline intptr_t quietHost(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

// A renderer that takes the batches and draws nothing.
class DiscardingRenderer final : public tarsk::Renderer {
public:
    bool makeCurrent() override { return true; }
    void release() override {}
    const char* vendor() const override { return ""; }
    const char* rendererName() const override { return "discard"; }
    const char* version() const override { return ""; }
    void beginFrame() override {}
    void setView(int, int, int, int, float, float, float, float) override {}
    void clear() override {}
    void endFrame() override {}
    void beginBatches() override {}
    bool drawBatch(const tarsk::DrawBatch& batch) override {
        benchmark::DoNotOptimize(batch.vertices);
        ++batches;
        return true;
    }
    void endBatches() override {}
    tarsk::TextureId createAlphaTexture(const tarsk::TextureLevel*, int, int, float) override { return 1; }  // any id but 0, which means "failed"
    tarsk::TextureId createRgbaTexture(const uint8_t*, int, int) override { return 1; }
    void deleteTexture(tarsk::TextureId) override {}
    long batches = 0;  // batches taken so far
};

}  // namespace benchsupport
