// Font maps: a greyscale PNG atlas of glyphs with an FMAP glyph table appended, loaded into a
// mipmapped alpha texture; measuring strings and emitting glyph quads into the draw list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream.h"
#include "ui-draw-list.h"
#include "ui-renderer.h"
#include "ui-types.h"

namespace tarsk {

constexpr char kFontmapMagic[4] = {'F', 'M', 'A', 'P'};
constexpr uint16_t kFontmapVersion = 1;
constexpr uint32_t kFontmapMaxGlyphs = 4095;
constexpr size_t kFontmapHeaderBytes = 128;
constexpr size_t kFontmapGlyphBytes = 64;
constexpr size_t kFontmapOffsetBytes = 4;  // the trailing little-endian offset of the FMAP block
constexpr float kFontmapDefaultSpaceWidth = 0.2f;
constexpr float kFontmapMarkGap = 0.02f;
constexpr float kDefaultFontLodBias = -0.25f;

constexpr uint32_t kEncodingUtf8 = 0;
constexpr uint32_t kEncodingOneByte = 1;

// Composition word of a glyph record: low 16 bits the base glyph index; high 16 bits the mark glyph
// index (low 12 bits) and its placement (top 4 bits: 0 above, otherwise below).
constexpr uint32_t kCompositionBaseMask = 0xFFFF;
constexpr uint32_t kCompositionMarkShift = 16;
constexpr uint32_t kCompositionMarkMask = 0xFFF;
constexpr uint32_t kCompositionPlacementShift = 28;

// The FMAP header as stored (little-endian).
struct FontmapHeader {
    char magic[4];
    uint16_t version;
    uint16_t mipHint;  // mip levels beyond the base = bit length of this value
    uint32_t glyphCount;
    float ascent;
    float descent;
    float lineHeight;
    float fourthMetric;
    float fifthMetric;
    float spaceWidth;    // 0 means the default
    float markGapAbove;  // replaced on load
    float markGapBelow;  // replaced on load
    uint8_t reserved1[8];
    uint32_t word52;
    uint8_t reserved2[8];
    char fontName[56];
    uint8_t reserved3[8];
};
static_assert(sizeof(FontmapHeader) == kFontmapHeaderBytes, "the FMAP header is 128 bytes");

// One glyph record as stored: sizes in em, texture corners as atlas fractions (v = 0 at the first row).
struct FontmapGlyph {
    uint32_t codePoint;
    uint32_t composition;
    float advance;
    float quadLeft;
    float quadTop;
    float quadWidth;
    float quadHeight;
    float topLeft[2];
    float bottomLeft[2];
    float bottomRight[2];
    float topRight[2];
    uint32_t reserved;
};
static_assert(sizeof(FontmapGlyph) == kFontmapGlyphBytes, "glyph records are 64 bytes");

class UiFontmap;

// Emits the glyph quads of one text run: pen in em, transform from em to pixels, colour as RGBA8.
struct GlyphEmitter {
    const UiFontmap* font = nullptr;
    uint32_t colour = 0;
    float penX = 0.0f;
    float penY = 0.0f;
    float m00 = 1.0f, m01 = 0.0f, m10 = 0.0f, m11 = 1.0f;  // pixels = m * em + t
    float tx = 0.0f, ty = 0.0f;
    DrawVertex* out = nullptr;  // room for at least kMaxVerticesPerCharacter per emitted character
    size_t count = 0;

    static constexpr size_t kMaxVerticesPerCharacter = 12;  // a mark and a base, two triangles each
    void emit(uint32_t codePoint);

private:
    void quad(const FontmapGlyph& glyph, float left, float top);
};

class UiFontmap {
public:
    // (Not named Status: Xlib defines that name as a macro.)
    enum LoadStatus : uint32_t { UNINIT = 0, LOADED = 1 };

    UiFontmap() = default;
    ~UiFontmap();
    UiFontmap(const UiFontmap&) = delete;
    UiFontmap& operator=(const UiFontmap&) = delete;

    // Reads a font map file from the stream (the whole stream is the file) and, with a texture factory,
    // uploads the atlas; the LOD bias applies when the texture is bound. Answers false and stays UNINIT
    // for a font that is already loaded, a damaged or wrong file, or a failed upload.
    bool load(Stream& stream, float lodBias, TextureFactory* textures);
    // Drops the table and the texture (the texture factory must still exist and its context be current;
    // the destructor unloads too).
    void unload();

    LoadStatus status() const { return state; }
    bool loaded() const { return state == LOADED; }
    float ascent() const { return loaded() ? header.ascent : 0.0f; }
    float descent() const { return loaded() ? header.descent : 0.0f; }
    float lineHeight() const { return loaded() ? header.lineHeight : 0.0f; }
    float fourthMetric() const { return loaded() ? header.fourthMetric : 0.0f; }
    float spaceWidth() const { return loaded() ? header.spaceWidth : 0.0f; }
    TextureId texture() const { return textureId; }
    // Mip levels beyond the base that the file asks for (the bit length of its mip hint).
    int mipLevels() const { return loaded() ? mipLevelCount : 0; }
    size_t glyphCount() const { return glyphs.size(); }

    void setEncoding(uint32_t encoding);
    uint32_t encoding() const { return textEncoding; }
    void setEntities(bool enabled);
    bool entities() const { return entitiesOn; }
    void setWidthScale(float scale);
    float widthScale() const { return scaleX; }

    // The glyph record of a code point (bisection), or null.
    const FontmapGlyph* findGlyph(uint32_t codePoint) const;
    const FontmapGlyph* glyphAt(size_t index) const { return index < glyphs.size() ? &glyphs[index] : nullptr; }
    // Width in em of a code point: a special width, else the glyph's advance times the width scale, else 0.
    float advance(uint32_t codePoint) const;
    float textWidth(const char* text) const;
    // Right edge (em) of the quad of the last character with a quad that starts before byteIndex; the left
    // edge of the first quad when there is none before it.
    float caretX(const char* text, int byteIndex) const;
    // Byte index of the last byte of the character whose quad spans x (em), or -1.
    int indexAt(const char* text, float x) const;
    // Appends the string's glyphs at (x, y) pixels, size pixels per em, as one triangle run with the
    // font's texture in the draw list's current layer, blend mode and clip.
    void drawString(DrawList& list, float x, float y, const UiColour& colour, float size, const char* text) const;

    // Decodes one character at text[position] (UTF-8 or one byte, with references when enabled): answers
    // false at the end of the string, else the code point, and moves position past the character.
    bool decode(const char* text, size_t& position, uint32_t& codePoint) const;

    // A special width in em (spaces and zero-width characters that need no glyph), or a negative value.
    float specialWidth(uint32_t codePoint) const;

private:
    friend struct GlyphEmitter;
    bool readTable(Stream& stream, uint32_t offset, uint64_t fileSize);
    bool uploadAtlas(std::vector<uint8_t>& pixels, int width, int height, float lodBias, TextureFactory* textures);
    // The quad of a glyph drawn at the pen (a composed glyph draws its base's quad).
    const FontmapGlyph& quadGlyph(const FontmapGlyph& glyph) const;
    void reset();

    FontmapHeader header{};
    std::vector<FontmapGlyph> glyphs;
    LoadStatus state = UNINIT;
    uint32_t textEncoding = kEncodingUtf8;
    bool entitiesOn = true;
    float scaleX = 1.0f;
    int mipLevelCount = 0;
    TextureId textureId = 0;
    TextureFactory* textureOwner = nullptr;
};

}  // namespace tarsk
