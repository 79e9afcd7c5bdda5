// Tests of the draw list: interning of states and buckets, ordering by layer, clip splits, chunked
// quads, vertex packing and the flush.
#include "tarsklib/ui-draw-list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tarsklib/recording-renderer.h"

namespace tarsk {
namespace {

using test::RecordingRenderer;

const UiColour kRed{1, 0, 0, 1};
const UiColour kGreen{0, 1, 0, 1};
const UiColour kBlue{0, 0, 1, 1};

TEST(DrawListHash, IsTheSevenfoldByteHashStartingAtOne) {
    // h = 1; h = h * 7 + byte, in 32-bit arithmetic.
    EXPECT_EQ(hashString(""), 1u);
    EXPECT_EQ(hashString("A"), 7u + 65u);
    EXPECT_EQ(hashString("AB"), (7u + 65u) * 7u + 66u);
    uint32_t h = 1;
    for (char c : std::string("OpenGL renderer, long enough to overflow")) {
        h = h * 7u + static_cast<uint8_t>(c);
    }
    EXPECT_EQ(hashString("OpenGL renderer, long enough to overflow"), h);
    const uint8_t bytes[] = {0xFF, 0x00, 0x80};
    EXPECT_EQ(hashBytes(bytes, 3), ((7u + 255u) * 7u + 0u) * 7u + 128u);
}

TEST(DrawListHash, TableFindsEveryEntryAcrossGrowth) {
    InternTable table;
    size_t initialSlots = table.slotCount();
    for (int32_t i = 0; i < 1000; ++i) {
        uint32_t key = static_cast<uint32_t>(i) * 2654435761u;
        table.insert(hashBytes(&key, 4), i);
        // Grows when entries * 100 exceed slots * 250.
        EXPECT_LE(table.size() * 100, table.slotCount() * 250);
    }
    EXPECT_GT(table.slotCount(), initialSlots);
    for (int32_t i = 0; i < 1000; ++i) {
        uint32_t key = static_cast<uint32_t>(i) * 2654435761u;
        EXPECT_EQ(table.find(hashBytes(&key, 4), [&](int32_t v) { return v == i; }), i);
    }
    uint32_t missing = 12345u;
    EXPECT_EQ(table.find(hashBytes(&missing, 4), [](int32_t) { return false; }), -1);
}

TEST(DrawListOrder, HigherLayersDrawAfterLowerOnesWhateverTheEmissionOrder) {
    DrawList list;
    RecordingRenderer renderer;
    list.setLayer(1);
    list.fillRect({10, 10, 5, 5}, kRed);
    list.setLayer(0);
    list.fillRect({10, 10, 8, 8}, kGreen);
    list.setLayer(-2);
    list.line({0, 0}, {5, 5}, kBlue);
    list.setLayer(1);
    list.line({1, 1}, {2, 2}, kRed);  // same layer, lower primitive code than triangles
    list.flush(&renderer);

    ASSERT_EQ(renderer.batches.size(), 4u);
    EXPECT_EQ(renderer.batches[0].vertices[0].colour, packColour(kBlue));  // layer -2
    EXPECT_EQ(renderer.batches[1].vertices[0].colour, packColour(kGreen));  // layer 0
    EXPECT_EQ(renderer.batches[2].primitive, kPrimitiveLines);             // layer 1: lines, then triangles
    EXPECT_EQ(renderer.batches[3].primitive, kPrimitiveTriangles);
    EXPECT_EQ(renderer.batches[3].vertices[0].colour, packColour(kRed));
    EXPECT_EQ(renderer.beginCount, 1);
    EXPECT_EQ(renderer.endCount, 1);
    EXPECT_EQ(list.stats().drawCalls, 4u);
}

TEST(DrawListBuckets, EqualStatesShareOneBucketAndAClipChangeSplits) {
    DrawList list;
    RecordingRenderer renderer;
    list.fillRect({10, 10, 5, 5}, kRed);
    list.fillRect({30, 10, 5, 5}, kGreen);  // same layer, state and kind: same bucket
    list.setClip({50, 50, 20, 20});
    list.fillRect({40, 40, 5, 5}, kBlue);
    list.setClip({50, 50, 20, 21});
    list.fillRect({40, 40, 5, 5}, kBlue);
    list.resetClip();
    list.fillRect({60, 10, 5, 5}, kRed);  // back to the first state
    list.setBlend(kBlendAdd);
    list.fillRect({60, 10, 5, 5}, kRed);
    list.setBlend(99);  // not a mode: ignored
    EXPECT_EQ(list.blend(), kBlendAdd);

    EXPECT_EQ(list.states().size(), 4u);
    list.flush(&renderer);
    ASSERT_EQ(renderer.batches.size(), 4u);
    size_t unclippedAlpha = 0;
    for (const auto& b : renderer.batches) {
        if (!b.state.clipEnabled && b.state.blend == kBlendAlpha) {
            ++unclippedAlpha;
            EXPECT_EQ(b.vertices.size(), 18u);  // three rectangles in one bucket
        }
        if (b.state.clipEnabled) {
            EXPECT_EQ(b.vertices.size(), 6u);
            EXPECT_EQ(b.state.clip.cx, 50.0f);
        }
    }
    EXPECT_EQ(unclippedAlpha, 1u);

    // Next frame the same picture reuses the interned states and buckets.
    size_t buckets = list.buckets().size();
    list.setBlend(kBlendAlpha);
    list.fillRect({10, 10, 5, 5}, kRed);
    list.setClip({50, 50, 20, 20});
    list.fillRect({40, 40, 5, 5}, kBlue);
    EXPECT_EQ(list.states().size(), 4u);
    EXPECT_EQ(list.buckets().size(), buckets);
}

TEST(DrawListBuckets, AClipThatIsOffIgnoresTheRectangleItHadBefore) {
    DrawList list;
    list.setClip({1, 2, 3, 4});
    list.resetClip();
    list.fillRect({0, 0, 1, 1}, kRed);
    list.setClip({5, 6, 7, 8});
    list.resetClip();
    list.fillRect({0, 0, 1, 1}, kRed);
    EXPECT_EQ(list.states().size(), 1u);
    EXPECT_EQ(list.states()[0].clip, UiRect{});
}

TEST(DrawListQuads, SixHundredVerticesGoInAsRunsOf256And256And88) {
    DrawList list;
    RecordingRenderer renderer;
    std::vector<float> positions(1200), colours(2400);
    for (int i = 0; i < 600; ++i) {
        positions[2 * i] = static_cast<float>(i);
        positions[2 * i + 1] = static_cast<float>(-i);
        colours[4 * i] = static_cast<float>(i % 256) / 255.0f;
        colours[4 * i + 3] = 1.0f;
    }
    list.coloredQuads(600, positions.data(), colours.data());
    EXPECT_EQ(list.stats().appends, 3u);
    EXPECT_EQ(list.stats().vertices, 600u);
    EXPECT_EQ(list.stats().largestAppend, 256u);
    EXPECT_EQ(list.stats().smallestAppend, 88u);
    list.flush(&renderer);
    ASSERT_EQ(renderer.batches.size(), 1u);
    const auto& quads = renderer.batches[0];
    EXPECT_EQ(quads.primitive, kPrimitiveQuads);
    ASSERT_EQ(quads.vertices.size(), 600u);
    for (int i : {0, 255, 256, 511, 512, 599}) {  // every run lands in order, each vertex its own colour
        EXPECT_EQ(quads.vertices[static_cast<size_t>(i)].x, static_cast<float>(i));
        EXPECT_EQ(quads.vertices[static_cast<size_t>(i)].y, static_cast<float>(-i));
        EXPECT_EQ(quads.vertices[static_cast<size_t>(i)].colour & 0xFF, static_cast<uint32_t>(i % 256));
    }
    list.coloredQuads(0, positions.data(), colours.data());
    list.coloredQuads(4, nullptr, colours.data());
    EXPECT_EQ(list.stats().appends, 0u);
}

TEST(DrawListVertices, ColoursAndTextureCoordinatesArePackedByTheRoundingRule) {
    EXPECT_EQ(packColour({0, 0, 0, 0}), 0u);
    EXPECT_EQ(packColour({1, 1, 1, 1}), 0xFFFFFFFFu);
    // each = clamp(c, 0, 1) * 255 + 0.5, truncated; bytes R, G, B, A
    EXPECT_EQ(packColour({0.5f, -3.0f, 7.0f, 0.2f}), 128u | 0u << 8 | 255u << 16 | 51u << 24);
    EXPECT_EQ(packColour({std::nanf(""), 0, 0, 1}) & 0xFF, 0u);
    EXPECT_EQ(packTexCoord(0.0f), 0);
    EXPECT_EQ(packTexCoord(1.0f), 32767);
    EXPECT_EQ(packTexCoord(0.5f), 16384);  // 16383.5 + 0.5
    EXPECT_EQ(packTexCoord(2.0f), 32767);
    EXPECT_EQ(packTexCoord(-2.0f), -32768);
}

TEST(DrawListPrimitives, GradientsTruncateCornersAndRunFromBottomToTop) {
    DrawList list;
    RecordingRenderer renderer;
    list.gradientRect({10.7f, 20.6f, 4.5f, 3.2f}, kRed, kBlue);
    list.flush(&renderer);
    ASSERT_EQ(renderer.batches.size(), 1u);
    for (const DrawVertex& v : renderer.batches[0].vertices) {
        EXPECT_EQ(v.x, std::trunc(v.x));
        EXPECT_EQ(v.y, std::trunc(v.y));
        EXPECT_TRUE(v.x == 6.0f || v.x == 15.0f) << v.x;  // trunc(6.2), trunc(15.2)
        if (v.y == 17.0f) {  // trunc(17.4): the bottom edge
            EXPECT_EQ(v.colour, packColour(kRed));
        } else {
            EXPECT_EQ(v.y, 23.0f);  // trunc(23.8)
            EXPECT_EQ(v.colour, packColour(kBlue));
        }
    }
}

TEST(DrawListPrimitives, TexturedRectsDrawTheImagesFirstRowAtTheTopAndUseTheTexturesState) {
    DrawList list;
    RecordingRenderer renderer;
    list.texturedRect({50, 50, 10, 20}, kRed, kGreen, 7, {0.5f, 0.5f, 0.5f, 0.5f});
    list.fillRect({0, 0, 1, 1}, kRed);
    list.flush(&renderer);
    ASSERT_EQ(renderer.batches.size(), 2u);
    const auto& textured = renderer.batches[0].state.texture == 7 ? renderer.batches[0] : renderer.batches[1];
    ASSERT_EQ(textured.state.texture, 7u);
    for (const DrawVertex& v : textured.vertices) {
        if (v.y > 50.0f) {
            EXPECT_EQ(v.v, 0);
            EXPECT_EQ(v.colour, packColour(kGreen));
        } else {
            EXPECT_EQ(v.v, 32767);
            EXPECT_EQ(v.colour, packColour(kRed));
        }
        EXPECT_EQ(v.u, v.x < 50.0f ? 0 : 32767);
    }
}

TEST(DrawListPrimitives, LinesAndTrianglesCarryTheirColours) {
    DrawList list;
    RecordingRenderer renderer;
    list.line({0, 0}, {10, 0}, kRed, kBlue);
    list.fillTriangle({0, 0}, {1, 0}, {0, 1}, kGreen);
    list.flush(&renderer);
    ASSERT_EQ(renderer.batches.size(), 2u);
    EXPECT_EQ(renderer.batches[0].primitive, kPrimitiveLines);
    EXPECT_EQ(renderer.batches[0].vertices[0].colour, packColour(kRed));
    EXPECT_EQ(renderer.batches[0].vertices[1].colour, packColour(kBlue));
    EXPECT_EQ(renderer.batches[1].vertices.size(), 3u);
    EXPECT_EQ(renderer.batches[1].format, kDrawListFormat);
}

TEST(DrawListFlush, EmptiesTheBucketsButKeepsTheirStorage) {
    DrawList list;
    RecordingRenderer renderer;
    for (int i = 0; i < 100; ++i) {
        list.fillRect({static_cast<float>(i), 0, 1, 1}, kRed);
    }
    list.flush(&renderer);
    ASSERT_EQ(list.buckets().size(), 1u);
    EXPECT_TRUE(list.buckets()[0].bytes.empty());
    EXPECT_GE(list.buckets()[0].bytes.capacity(), 600 * sizeof(DrawVertex));

    // An empty frame draws nothing and does not even open the batches; no renderer: only empties.
    list.flush(&renderer);
    EXPECT_EQ(renderer.beginCount, 1);
    list.fillRect({0, 0, 1, 1}, kRed);
    list.flush(nullptr);
    EXPECT_TRUE(list.buckets()[0].bytes.empty());
}

TEST(DrawListFlush, AMovingClipDoesNotGrowTheTablesWithoutBound) {
    DrawList list;
    for (int frame = 0; frame < 3000; ++frame) {
        list.setClip({static_cast<float>(frame), 0, 10, 10});
        list.fillRect({0, 0, 1, 1}, kRed);
        list.flush(nullptr);
        ASSERT_LE(list.states().size(), 1025u);
    }
}

}  // namespace
}  // namespace tarsk
