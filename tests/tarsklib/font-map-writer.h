// Test support: PNG encoding with libpng and small synthetic font map files built in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarsklib/ui-fontmap.h"

namespace tarsk::test {

// Encodes an image (rows from the top; channels from the colour type; 8 or 16 bits) as PNG bytes.
std::vector<uint8_t> encodePng(const std::vector<uint8_t>& pixels, int width, int height, int colourType,
                               int bitDepth);

struct FontMapFile {
    FontmapHeader header{};
    std::vector<FontmapGlyph> glyphs;
    std::vector<uint8_t> png;  // the image part
    bool repeatIend = true;    // repeat the 12-byte IEND chunk between the image and the block
};

// Image + (IEND again) + FMAP header + records + the trailing little-endian offset of the header.
std::vector<uint8_t> writeFontMap(const FontMapFile& file);

// A glyph record with its quad in em and its atlas box (u0, v0 top-left, u1, v1 bottom-right).
FontmapGlyph glyphRecord(uint32_t codePoint, float advance, float left, float top, float width, float height,
                         float u0 = 0.0f, float v0 = 0.0f, float u1 = 0.0f, float v1 = 0.0f);
uint32_t composition(uint32_t baseIndex, uint32_t markIndex, bool below);

// A small face with known metrics:
//   0 "'"  (U+0027)  advance 0.25  quad left 0.05 width 0.1
//   1 "A"  (U+0041)  advance 0.6   quad left 0.05 width 0.5, top 0.7, height 0.7
//   2 "B"  (U+0042)  advance 0.55  quad left 0.1  width 0.4, top 0.7, height 0.7
//   3 "`"  (U+0060)  advance 0.3   quad left 0.05 width 0.2, top 0.9, height 0.15
//   4 "c"  (U+0063)  advance 0.45  quad left 0.05 width 0.35, top 0.5, height 0.5
//   5 "¸"  (U+00B8)  advance 0.3   quad left 0.1  width 0.1, top 0.0, height 0.2
//   6 "À"  (U+00C0)  composed: base "A", mark "`" above, advance 0.6
//   7 "ç"  (U+00E7)  composed: base "c", mark "¸" below, advance 0.45
//   8 U+FDD0          an icon, advance 1.0, quad left 0 width 1
// ascent 0.9, descent -0.25, line height 1.2, space width 0.3, mip hint 6, a 64 x 32 greyscale atlas.
FontMapFile testFace();
// A face of printable ASCII with advances 0.5 + (c % 7) * 0.05, for measurements.
FontMapFile asciiFace(int atlasSide);

}  // namespace tarsk::test
