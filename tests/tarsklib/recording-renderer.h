// Test support: a renderer without a graphics API that records the batches a flush draws.
#pragma once

#include <cstring>
#include <vector>

#include "tarsklib/ui-draw-list.h"
#include "tarsklib/ui-renderer.h"

namespace tarsk::test {

class RecordingRenderer final : public Renderer {
public:
    struct Recorded {
        RenderState state;
        uint32_t primitive;
        uint32_t format;
        std::vector<DrawVertex> vertices;
    };
    struct Texture {
        TextureId id;
        std::vector<std::vector<uint8_t>> levels;
        std::vector<int> widths, heights;
        int maxLevel;
        float lodBias;
    };

    // When false, drawBatch only counts (no copies, no allocation).
    bool keep = true;
    int batchCount = 0;
    int beginCount = 0, endCount = 0;
    std::vector<Recorded> batches;
    std::vector<Texture> textures;
    std::vector<TextureId> deleted;

    bool makeCurrent() override { return true; }
    void release() override {}
    const char* vendor() const override { return "test"; }
    const char* rendererName() const override { return "recording"; }
    const char* version() const override { return "0"; }
    void beginFrame() override {}
    void setView(int, int, int, int, float, float, float, float) override {}
    void clear() override {}
    void endFrame() override {}
    void beginBatches() override { ++beginCount; }
    bool drawBatch(const DrawBatch& batch) override {
        ++batchCount;
        if (keep) {
            Recorded r{*batch.state, batch.primitive, batch.format, {}};
            r.vertices.resize(batch.bytes / sizeof(DrawVertex));
            std::memcpy(static_cast<void*>(r.vertices.data()), batch.vertices, batch.bytes);
            batches.push_back(std::move(r));
        }
        return true;
    }
    void endBatches() override { ++endCount; }

    TextureId createAlphaTexture(const TextureLevel* levels, int levelCount, int maxLevel, float lodBias) override {
        Texture t{static_cast<TextureId>(100 + textures.size()), {}, {}, {}, maxLevel, lodBias};
        for (int i = 0; i < levelCount; ++i) {
            t.levels.emplace_back(levels[i].pixels, levels[i].pixels + static_cast<size_t>(levels[i].width) * levels[i].height);
            t.widths.push_back(levels[i].width);
            t.heights.push_back(levels[i].height);
        }
        textures.push_back(std::move(t));
        return textures.back().id;
    }
    TextureId createRgbaTexture(const uint8_t* pixels, int width, int height) override {
        Texture t{static_cast<TextureId>(100 + textures.size()), {}, {width}, {height}, 0, 0.0f};
        t.levels.emplace_back(pixels, pixels + static_cast<size_t>(width) * height * 4);
        textures.push_back(std::move(t));
        return textures.back().id;
    }
    void deleteTexture(TextureId texture) override { deleted.push_back(texture); }
};

}  // namespace tarsk::test
