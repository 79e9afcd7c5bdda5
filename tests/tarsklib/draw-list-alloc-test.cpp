// A steady picture allocates nothing after its first frame: the draw list's states, buckets and
// scratch keep their storage. This binary counts every allocation call by replacing malloc, free and
// the C++ allocation operators (not under sanitizers, which replace them themselves).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tarsklib/font-map-writer.h"
#include "tarsklib/recording-renderer.h"
#include "tarsklib/ui-draw-list.h"
#include "tarsklib/ui-fontmap.h"

#include "support/counting-allocator.h"

using tarsktest::allocationCalls;
using tarsktest::counting;

namespace tarsk {
namespace {

using test::RecordingRenderer;

struct SteadyPicture {
    RecordingRenderer renderer;  // outlives the faces, which give their textures back to it
    UiFontmap faces[3];
    DrawList list;
    std::vector<float> quadPositions = std::vector<float>(2 * 600);
    std::vector<float> quadColours = std::vector<float>(4 * 600, 0.5f);

    SteadyPicture() {
        renderer.keep = false;  // count batches only
        for (UiFontmap& face : faces) {
            std::vector<uint8_t> bytes = test::writeFontMap(test::asciiFace(64));
            MemoryStream stream(bytes.data(), bytes.size());
            EXPECT_TRUE(face.load(stream, kDefaultFontLodBias, &renderer));
        }
    }

    void frame(int n) {
        list.setLayer(0);
        list.setBlend(kBlendAlpha);
        list.resetClip();
        list.gradientRect({320, 160, 320, 160}, {0.1f, 0.1f, 0.1f, 1}, {0.3f, 0.3f, 0.3f, 1});
        list.texturedRect({320, 300, 320, 20}, {0.66f, 0.66f, 0.66f, 1}, {0.95f, 0.95f, 0.95f, 1},
                          renderer.textures[0].id, {0.5f, 0.5f, 0.5f, 0.5f});
        for (int row = 0; row < 20; ++row) {
            list.setClip({320, 160, 300, 150});
            list.fillRect({100, 10.0f + row * 14, 90, 6}, {0, 0, 0, 0.5f});
            list.setLayer(1);
            faces[row % 3].drawString(list, 12, 6.0f + row * 14, {1, 0.78f, 0.4f, 1}, 12,
                                      "Half life &amp; decay: 1.25 s &mdash; Tarsk");
            list.setLayer(0);
            list.resetClip();
            list.line({0, static_cast<float>(row)}, {640, static_cast<float>(row)}, {1, 1, 1, 0.2f});
        }
        list.setBlend(kBlendAdd);
        list.coloredQuads(600, quadPositions.data(), quadColours.data());
        list.setBlend(kBlendAlpha);
        list.fillTriangle({0, 0}, {10, static_cast<float>(n % 7)}, {0, 10}, {1, 0, 0, 1});
        list.flush(&renderer);
    }
};

TEST(DrawListAllocations, ASteadyFrameAllocatesNothingAfterTheFirst) {
    if (!TARSK_COUNTS_ALLOCATIONS) {
        GTEST_SKIP() << "the sanitizer owns the allocator";
    }
    SteadyPicture picture;
    picture.frame(0);
    int batchesPerFrame = picture.renderer.batchCount;
    ASSERT_GT(batchesPerFrame, 5);

    allocationCalls = 0;
    counting = true;
    for (int n = 1; n <= 100; ++n) {
        picture.frame(n);
    }
    counting = false;
    EXPECT_EQ(allocationCalls.load(), 0);
    EXPECT_EQ(picture.renderer.batchCount, 101 * batchesPerFrame);

    // The counter does count: a frame with a new state and a longer string than before allocates.
    allocationCalls = 0;
    counting = true;
    picture.list.setClip({1, 2, 3, 4});
    picture.faces[0].drawString(picture.list, 0, 0, {1, 1, 1, 1}, 10, std::string(4000, 'x').c_str());
    picture.list.flush(&picture.renderer);
    counting = false;
    EXPECT_GT(allocationCalls.load(), 0);
}

}  // namespace
}  // namespace tarsk
