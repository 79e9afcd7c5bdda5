// The font map writer on small hand-made glyph sets: where quads and texture corners land, how composed
// glyphs are encoded, how the atlas grows, and what it refuses.
#include "font-map-builder.h"

#include <gtest/gtest.h>

#include "font-map-reader.h"

namespace tarsk::fontmaps {
namespace {

using test::FontMap;
using test::Glyph;

GlyphImage solid(uint32_t codePoint, int width, int height, int left, int top, double advance) {
    GlyphImage glyph;
    glyph.codePoint = codePoint;
    glyph.width = width;
    glyph.height = height;
    glyph.left = left;
    glyph.top = top;
    glyph.advance = advance;
    glyph.coverage.assign(static_cast<size_t>(width) * height, 255);
    return glyph;
}

FontMapInput smallFace() {
    FontMapInput input;
    input.name = "Small";
    input.pixelsPerEm = 10;
    input.mipLevels = 2;
    input.metrics = FontMetrics{0.8f, -0.2f, 1.1f, -0.1f, 0.05f, 0.25f};
    input.glyphs.push_back(solid('A', 3, 2, 1, 7, 6));
    input.glyphs.push_back(solid('a', 2, 2, 0, 5, 5));
    input.glyphs.push_back(solid('`', 1, 1, 2, 8, 3));
    GlyphImage thinSpace;
    thinSpace.codePoint = 0x2009;
    thinSpace.advance = 2;
    input.glyphs.push_back(thinSpace);
    input.composed.push_back(ComposedGlyph{0xE0, 'a', '`', false});
    input.composed.push_back(ComposedGlyph{0xE7, 'a', '`', true});
    return input;
}

TEST(FontMapBuilder, QuadsFollowTheBitmapsWithABlankBorderAndComposedGlyphsNameBaseAndMark) {
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(buildFontMap(smallFace(), file, error)) << error;
    FontMap map;
    test::readFontMap(file, map);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    EXPECT_EQ(map.atlas.width, 128);
    EXPECT_EQ(map.mipLevels(), 2);
    EXPECT_FLOAT_EQ(map.ascent, 0.8f);
    EXPECT_FLOAT_EQ(map.spaceWidth, 0.25f);
    EXPECT_FLOAT_EQ(test::f32(&file[map.offset + 36]), 0.02f);
    // The PNG's end chunk is repeated just before the FMAP block.
    EXPECT_EQ(0, std::memcmp(&file[map.offset - 8], "IEND", 4));

    ASSERT_EQ(map.glyphs.size(), 6u);
    const uint32_t order[] = {'A', '`', 'a', 0xE0, 0xE7, 0x2009};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(map.glyphs[i].codePoint, order[i]);
    }

    // "A": a 3 × 2 bitmap 1 px right of the pen, its top 7 px up; the quad adds one texel all round.
    const Glyph& a = *map.find('A');
    EXPECT_FLOAT_EQ(a.advance, 0.6f);
    EXPECT_FLOAT_EQ(a.left, 0.0f);
    EXPECT_FLOAT_EQ(a.top, 0.8f);
    EXPECT_FLOAT_EQ(a.width, 0.5f);
    EXPECT_FLOAT_EQ(a.height, 0.4f);
    const test::TexelRect rect = test::texels(map, a);
    EXPECT_EQ(rect.x1 - rect.x0, 5);
    EXPECT_EQ(rect.y1 - rect.y0, 4);
    EXPECT_EQ(rect.x0 % 4, 0);
    EXPECT_EQ(rect.y0 % 4, 0);
    for (int y = rect.y0; y < rect.y1; ++y) {
        for (int x = rect.x0; x < rect.x1; ++x) {
            const bool ink = x > rect.x0 && x < rect.x1 - 1 && y > rect.y0 && y < rect.y1 - 1;
            EXPECT_EQ(map.atlas.pixels[static_cast<size_t>(y) * map.atlas.width + x], ink ? 255 : 0) << x << "," << y;
        }
    }

    // Composed: base index in the low half, mark index above it, bit 28 for a mark below.
    const Glyph& agrave = *map.find(0xE0);
    EXPECT_EQ(agrave.composition, 2u | 1u << 16);
    EXPECT_EQ(map.find(0xE7)->composition, 2u | 1u << 16 | 1u << 28);
    EXPECT_FLOAT_EQ(agrave.advance, 0.5f);
    EXPECT_EQ(0, std::memcmp(agrave.uv, map.find('a')->uv, sizeof agrave.uv));

    const Glyph& thin = *map.find(0x2009);
    EXPECT_FLOAT_EQ(thin.advance, 0.2f);
    EXPECT_EQ(thin.width, 0.0f);
    EXPECT_EQ(thin.composition, 0u);
}

TEST(FontMapBuilder, TheAtlasGrowsUntilEveryGlyphFits) {
    FontMapInput input = smallFace();
    input.composed.clear();
    input.glyphs.clear();
    // 20 × 20 bitmaps take 24-texel cells and 4-texel gaps: 16 fit into 128, 81 into 256, 324 into 512.
    for (uint32_t c = 0; c < 200; ++c) {
        input.glyphs.push_back(solid(0x100 + c, 20, 20, 0, 20, 22));
    }
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(buildFontMap(input, file, error)) << error;
    FontMap map;
    test::readFontMap(file, map);
    EXPECT_EQ(map.atlas.width, 512);
    EXPECT_EQ(map.atlas.height, 512);

    input.atlasSize = 256;
    EXPECT_FALSE(buildFontMap(input, file, error));
}

TEST(FontMapBuilder, RefusesWhatTheFormatCannotHold) {
    std::vector<uint8_t> file;
    std::string error;
    FontMapInput noMark = smallFace();
    noMark.composed.push_back(ComposedGlyph{0xE1, 'a', 0xB4, false});
    EXPECT_FALSE(buildFontMap(noMark, file, error));

    FontMapInput composedBase = smallFace();
    composedBase.composed.push_back(ComposedGlyph{0x1EA7, 0xE0, '`', false});
    EXPECT_FALSE(buildFontMap(composedBase, file, error));

    FontMapInput twice = smallFace();
    twice.glyphs.push_back(solid('A', 1, 1, 0, 1, 1));
    EXPECT_FALSE(buildFontMap(twice, file, error));

    FontMapInput tooMany = smallFace();
    tooMany.composed.clear();
    for (uint32_t c = 0; tooMany.glyphs.size() < 4096; ++c) {
        GlyphImage blank;
        blank.codePoint = 0x10000 + c;
        blank.advance = 1;
        tooMany.glyphs.push_back(blank);
    }
    EXPECT_FALSE(buildFontMap(tooMany, file, error));
    tooMany.glyphs.pop_back();
    EXPECT_TRUE(buildFontMap(tooMany, file, error)) << "4095 glyphs are allowed";
}

}  // namespace
}  // namespace tarsk::fontmaps
