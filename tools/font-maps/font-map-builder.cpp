// Packs rendered glyphs into a greyscale atlas and writes the font map file.
#include "font-map-builder.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "png-writer.h"

namespace tarsk::fontmaps {

namespace {

constexpr int kSmallestAtlas = 128;
constexpr int kLargestAtlas = 4096;
// The PNG end chunk, repeated once between the image and the FMAP block.
constexpr uint8_t kIendChunk[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

struct Placement {
    int x = 0;  // top-left texel of the quad (the glyph's ink starts kQuadMargin further in)
    int y = 0;
};

int roundUp(int value, int step) { return (value + step - 1) / step * step; }

bool hasInk(const GlyphImage& glyph) { return glyph.width > 0 && glyph.height > 0; }

// Shelf packing in a fixed order (tallest first). Every cell starts on a multiple of the alignment and
// is followed by a gap of one alignment step, so at the deepest kept mip level each glyph covers whole
// texels and a blank texel separates it from its neighbours and from the atlas edges.
bool pack(const std::vector<GlyphImage>& glyphs, int size, int alignment, std::vector<Placement>& placements) {
    std::vector<size_t> order;
    for (size_t i = 0; i < glyphs.size(); ++i) {
        if (hasInk(glyphs[i])) {
            order.push_back(i);
        }
    }
    auto cellWidth = [&](size_t i) { return roundUp(glyphs[i].width + 2 * fmap::kQuadMargin, alignment); };
    auto cellHeight = [&](size_t i) { return roundUp(glyphs[i].height + 2 * fmap::kQuadMargin, alignment); };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (cellHeight(a) != cellHeight(b)) {
            return cellHeight(a) > cellHeight(b);
        }
        if (cellWidth(a) != cellWidth(b)) {
            return cellWidth(a) > cellWidth(b);
        }
        return glyphs[a].codePoint < glyphs[b].codePoint;
    });
    placements.assign(glyphs.size(), Placement{});
    int x = alignment;
    int y = alignment;
    int rowHeight = 0;
    for (size_t i : order) {
        const int w = cellWidth(i);
        const int h = cellHeight(i);
        if (x + w + alignment > size) {
            y += rowHeight + alignment;
            x = alignment;
            rowHeight = 0;
        }
        if (x + w + alignment > size || y + h + alignment > size) {
            return false;
        }
        placements[i] = Placement{x, y};
        x += w + alignment;
        rowHeight = std::max(rowHeight, h);
    }
    return true;
}

void putU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void putF32(uint8_t* at, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putU32(at, bits);
}

std::vector<uint8_t> header(const FontMapInput& input, uint32_t glyphCount) {
    std::vector<uint8_t> block(fmap::kHeaderSize, 0);
    std::memcpy(block.data(), fmap::kMagic, 4);
    putU16(&block[4], fmap::kVersion);
    // The loader keeps as many levels beyond the base as this value has bits.
    putU16(&block[6], static_cast<uint16_t>((1u << input.mipLevels) - 1));
    putU32(&block[8], glyphCount);
    putF32(&block[12], input.metrics.ascent);
    putF32(&block[16], input.metrics.descent);
    putF32(&block[20], input.metrics.lineHeight);
    putF32(&block[24], input.metrics.underlinePosition);
    putF32(&block[28], input.metrics.underlineThickness);
    putF32(&block[32], input.metrics.spaceWidth);
    putF32(&block[36], fmap::kMarkGap);
    putF32(&block[40], fmap::kMarkGap);
    putU32(&block[52], fmap::kHeaderWord52);
    const size_t nameLength = std::min(input.name.size(), fmap::kNameCapacity - 1);
    std::memcpy(&block[fmap::kNameOffset], input.name.data(), nameLength);
    return block;
}

}  // namespace

bool buildFontMap(const FontMapInput& input, std::vector<uint8_t>& file, std::string& error) {
    if (input.pixelsPerEm <= 0 || input.mipLevels < 0 || input.mipLevels > 8) {
        error = "bad size or mip level count";
        return false;
    }
    const int alignment = 1 << input.mipLevels;
    const size_t glyphCount = input.glyphs.size() + input.composed.size();
    if (glyphCount > fmap::kMaxGlyphs) {
        error = "too many glyphs";
        return false;
    }

    // Atlas size: the one asked for, or the smallest square that holds every glyph.
    std::vector<Placement> placements;
    int size = input.atlasSize != 0 ? input.atlasSize : kSmallestAtlas;
    while (!pack(input.glyphs, size, alignment, placements)) {
        if (input.atlasSize != 0 || size >= kLargestAtlas) {
            error = "the glyphs do not fit into a " + std::to_string(size) + " × " + std::to_string(size) + " atlas";
            return false;
        }
        size *= 2;
    }
    std::vector<uint8_t> atlas(static_cast<size_t>(size) * size, 0);
    for (size_t i = 0; i < input.glyphs.size(); ++i) {
        const GlyphImage& glyph = input.glyphs[i];
        for (int row = 0; row < glyph.height && hasInk(glyph); ++row) {
            const size_t at = static_cast<size_t>(placements[i].y + fmap::kQuadMargin + row) * size +
                              static_cast<size_t>(placements[i].x + fmap::kQuadMargin);
            std::memcpy(&atlas[at], &glyph.coverage[static_cast<size_t>(row) * glyph.width],
                        static_cast<size_t>(glyph.width));
        }
    }

    // Glyph table in code point order: ordinary glyphs first get their indices, then the composed ones refer to them.
    struct Entry {
        bool composed;
        size_t source;
    };
    std::map<uint32_t, Entry> entries;
    for (size_t i = 0; i < input.glyphs.size(); ++i) {
        if (!entries.emplace(input.glyphs[i].codePoint, Entry{false, i}).second) {
            error = "code point " + std::to_string(input.glyphs[i].codePoint) + " given twice";
            return false;
        }
    }
    for (size_t i = 0; i < input.composed.size(); ++i) {
        if (!entries.emplace(input.composed[i].codePoint, Entry{true, i}).second) {
            error = "code point " + std::to_string(input.composed[i].codePoint) + " given twice";
            return false;
        }
    }
    std::map<uint32_t, uint32_t> indexOf;
    for (const auto& [codePoint, entry] : entries) {
        indexOf.emplace(codePoint, static_cast<uint32_t>(indexOf.size()));
    }

    std::vector<uint8_t> table(glyphCount * fmap::kRecordSize, 0);
    const double em = input.pixelsPerEm;
    const double texel = 1.0 / size;
    auto writeOrdinary = [&](uint8_t* record, const GlyphImage& glyph, const Placement& at) {
        putF32(record + 8, static_cast<float>(glyph.advance / em));
        if (!hasInk(glyph)) {
            return;  // advances the pen, draws nothing
        }
        const int quadWidth = glyph.width + 2 * fmap::kQuadMargin;
        const int quadHeight = glyph.height + 2 * fmap::kQuadMargin;
        putF32(record + 12, static_cast<float>((glyph.left - fmap::kQuadMargin) / em));
        putF32(record + 16, static_cast<float>((glyph.top + fmap::kQuadMargin) / em));
        putF32(record + 20, static_cast<float>(quadWidth / em));
        putF32(record + 24, static_cast<float>(quadHeight / em));
        const float u0 = static_cast<float>(at.x * texel);
        const float v0 = static_cast<float>(at.y * texel);
        const float u1 = static_cast<float>((at.x + quadWidth) * texel);
        const float v1 = static_cast<float>((at.y + quadHeight) * texel);
        const float corners[8] = {u0, v0, u0, v1, u1, v1, u1, v0};  // top-left, bottom-left, bottom-right, top-right
        for (int i = 0; i < 8; ++i) {
            putF32(record + 28 + 4 * i, corners[i]);
        }
    };
    for (const auto& [codePoint, entry] : entries) {
        uint8_t* record = &table[indexOf[codePoint] * fmap::kRecordSize];
        putU32(record, codePoint);
        if (!entry.composed) {
            writeOrdinary(record, input.glyphs[entry.source], placements[entry.source]);
            continue;
        }
        const ComposedGlyph& composed = input.composed[entry.source];
        const auto base = entries.find(composed.base);
        const auto mark = entries.find(composed.mark);
        if (base == entries.end() || mark == entries.end() || base->second.composed || mark->second.composed) {
            error = "composed code point " + std::to_string(codePoint) + " needs a base and a mark glyph";
            return false;
        }
        const uint32_t markIndex = indexOf[composed.mark];
        putU32(record + 4, indexOf[composed.base] | ((markIndex & fmap::kMarkIndexMask) << 16) |
                               (composed.below ? fmap::kPlacementBelow : 0));
        // The record's own quad is the base's, so that measuring treats the letter like its base.
        writeOrdinary(record, input.glyphs[base->second.source], placements[base->second.source]);
    }

    if (!encodePng(atlas, size, size, kPngGrey, file, error)) {
        return false;
    }
    file.insert(file.end(), kIendChunk, kIendChunk + sizeof kIendChunk);
    const uint32_t offset = static_cast<uint32_t>(file.size());
    const std::vector<uint8_t> head = header(input, static_cast<uint32_t>(glyphCount));
    file.insert(file.end(), head.begin(), head.end());
    file.insert(file.end(), table.begin(), table.end());
    uint8_t tail[4];
    putU32(tail, offset);
    file.insert(file.end(), tail, tail + 4);
    return true;
}

}  // namespace tarsk::fontmaps
