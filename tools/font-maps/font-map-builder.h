// Packs rendered glyphs into a greyscale atlas and writes a font map: the PNG image, a copy of its IEND chunk,
// the FMAP header, the glyph table and, as the last four bytes, the offset of the FMAP header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarsk::fontmaps {

// One rendered glyph: coverage bitmap (0..255, rows top to bottom) and its placement in pixels.
struct GlyphImage {
    uint32_t codePoint = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;
    int left = 0;        // pixels from the pen to the bitmap's left edge
    int top = 0;         // pixels from the baseline up to the bitmap's top edge
    double advance = 0;  // pixels
};

// A glyph drawn as a base glyph with a mark above or below it; base and mark must be glyphs of the same map.
struct ComposedGlyph {
    uint32_t codePoint = 0;
    uint32_t base = 0;
    uint32_t mark = 0;
    bool below = false;
};

// Line metrics in em units, as the header carries them.
struct FontMetrics {
    float ascent = 0;
    float descent = 0;
    float lineHeight = 0;
    float underlinePosition = 0;
    float underlineThickness = 0;
    float spaceWidth = 0;
};

struct FontMapInput {
    std::string name;
    double pixelsPerEm = 0;
    int mipLevels = 2;  // mip levels beyond the base that stay free of bleeding between glyphs
    int atlasSize = 0;  // 0: the smallest power of two from 128 on that holds every glyph
    FontMetrics metrics;
    std::vector<GlyphImage> glyphs;
    std::vector<ComposedGlyph> composed;
};

namespace fmap {
constexpr char kMagic[4] = {'F', 'M', 'A', 'P'};
constexpr uint16_t kVersion = 1;
constexpr size_t kHeaderSize = 128;
constexpr size_t kRecordSize = 64;
constexpr uint32_t kMaxGlyphs = 4095;
constexpr float kMarkGap = 0.02f;
constexpr uint32_t kHeaderWord52 = 8;
constexpr size_t kNameOffset = 64;
constexpr size_t kNameCapacity = 56;
constexpr uint32_t kMarkIndexMask = 0xFFF;
constexpr uint32_t kPlacementBelow = 1u << 28;
constexpr int kQuadMargin = 1;  // zero texels inside every quad around the glyph's ink
}  // namespace fmap

// Builds the whole font map file. Answers false with a message when the glyphs do not fit, a composed
// glyph names a glyph the map lacks, or there are too many glyphs.
bool buildFontMap(const FontMapInput& input, std::vector<uint8_t>& file, std::string& error);

}  // namespace tarsk::fontmaps
