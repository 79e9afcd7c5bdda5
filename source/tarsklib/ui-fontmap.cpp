// Font maps: loading (PNG atlas, square-root mip chain, FMAP glyph table), decoding of UTF-8 and
// character references, measuring, and glyph emission.
#include "ui-fontmap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "png-decode.h"
#include "ui-entities.h"

namespace tarsk {

static_assert(std::endian::native == std::endian::little, "font map records are read as stored (little-endian)");

namespace {

// A PNG needs at least its signature, IHDR, IDAT and IEND.
constexpr uint64_t kSmallestPngBytes = 8 + 25 + 12 + 12;

// Code points with widths of their own.
constexpr uint32_t kSpace = 0x20;
constexpr uint32_t kNoBreakSpace = 0xA0;
constexpr uint32_t kEnQuad = 0x2000;
constexpr uint32_t kEmQuad = 0x2001;
constexpr uint32_t kEnSpace = 0x2002;
constexpr uint32_t kEmSpace = 0x2003;
constexpr uint32_t kThreePerEmSpace = 0x2004;
constexpr uint32_t kFourPerEmSpace = 0x2005;
constexpr uint32_t kSixPerEmSpace = 0x2006;
constexpr uint32_t kZeroWidthSpace = 0x200B;
constexpr uint32_t kMediumMathSpace = 0x205F;
constexpr uint32_t kWordJoiner = 0x2060;

uint8_t encodeCoverage(uint8_t a) {
    return static_cast<uint8_t>(std::floor(std::sqrt(255.0 * a) + 0.5));
}

bool finite(float v) { return std::isfinite(v); }

}  // namespace

UiFontmap::~UiFontmap() { unload(); }

void UiFontmap::reset() {
    header = FontmapHeader{};
    glyphs.clear();
    glyphs.shrink_to_fit();
    state = UNINIT;
    textEncoding = kEncodingUtf8;
    entitiesOn = true;
    scaleX = 1.0f;
    mipLevelCount = 0;
}

void UiFontmap::unload() {
    if (textureId != 0 && textureOwner != nullptr) {
        textureOwner->deleteTexture(textureId);
    }
    textureId = 0;
    textureOwner = nullptr;
    reset();
}

// ---------------------------------------------------------------------------------------------
// Loading

bool UiFontmap::load(Stream& stream, float lodBias, TextureFactory* textures) {
    if (state != UNINIT) {
        return false;
    }
    if (!stream.seek(0, kSeekFromEnd)) {
        return false;
    }
    uint64_t fileSize = stream.tell();
    if (fileSize < kSmallestPngBytes + kFontmapHeaderBytes + kFontmapOffsetBytes ||
        !stream.seek(static_cast<int64_t>(fileSize - kFontmapOffsetBytes), kSeekFromStart)) {
        return false;
    }
    uint8_t offsetBytes[kFontmapOffsetBytes];
    if (!stream.readBytes(offsetBytes, sizeof(offsetBytes))) {
        return false;
    }
    uint32_t offset = static_cast<uint32_t>(offsetBytes[0]) | static_cast<uint32_t>(offsetBytes[1]) << 8 |
                      static_cast<uint32_t>(offsetBytes[2]) << 16 | static_cast<uint32_t>(offsetBytes[3]) << 24;
    if (!readTable(stream, offset, fileSize)) {
        reset();
        return false;
    }

    std::vector<uint8_t> pixels;
    int width = 0, height = 0;
    if (!stream.seek(0, kSeekFromStart) || !decodePng(stream, PngPixels::Grey8, pixels, width, height) ||
        !uploadAtlas(pixels, width, height, lodBias, textures)) {
        reset();
        return false;
    }
    state = LOADED;
    return true;
}

bool UiFontmap::readTable(Stream& stream, uint32_t offset, uint64_t fileSize) {
    // The block lies between the image and the trailing offset.
    if (offset < kSmallestPngBytes || offset + kFontmapHeaderBytes > fileSize - kFontmapOffsetBytes ||
        !stream.seek(offset, kSeekFromStart) || !stream.readBytes(&header, sizeof(header))) {
        return false;
    }
    if (std::memcmp(header.magic, kFontmapMagic, sizeof(kFontmapMagic)) != 0 || header.glyphCount > kFontmapMaxGlyphs ||
        header.version != kFontmapVersion) {
        return false;
    }
    uint64_t tableBytes = static_cast<uint64_t>(header.glyphCount) * kFontmapGlyphBytes;
    if (offset + kFontmapHeaderBytes + tableBytes > fileSize - kFontmapOffsetBytes) {
        return false;  // the table would run into the trailing offset or past the end
    }
    if (header.spaceWidth == 0.0f) {
        header.spaceWidth = kFontmapDefaultSpaceWidth;
    }
    header.markGapAbove = kFontmapMarkGap;
    header.markGapBelow = kFontmapMarkGap;
    if (!finite(header.ascent) || !finite(header.descent) || !finite(header.lineHeight) || !finite(header.spaceWidth)) {
        return false;
    }

    glyphs.resize(header.glyphCount);
    if (!stream.readBytes(glyphs.data(), static_cast<size_t>(tableBytes))) {
        return false;
    }
    // The lookup bisects, and composed glyphs index the table: a table that is out of order, or whose
    // compositions point outside it or at other composed glyphs, is damaged.
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const FontmapGlyph& g = glyphs[i];
        if (i > 0 && g.codePoint <= glyphs[i - 1].codePoint) {
            return false;
        }
        if (!finite(g.advance) || !finite(g.quadLeft) || !finite(g.quadTop) || !finite(g.quadWidth) ||
            !finite(g.quadHeight)) {
            return false;
        }
        if (g.composition != 0) {
            size_t base = g.composition & kCompositionBaseMask;
            size_t mark = (g.composition >> kCompositionMarkShift) & kCompositionMarkMask;
            if (base >= glyphs.size() || mark >= glyphs.size() || glyphs[base].composition != 0 ||
                glyphs[mark].composition != 0) {
                return false;
            }
        }
    }
    mipLevelCount = std::bit_width(static_cast<unsigned>(header.mipHint));
    return true;
}

bool UiFontmap::uploadAtlas(std::vector<uint8_t>& pixels, int width, int height, float lodBias,
                            TextureFactory* textures) {
    // The base level in the square-root encoding, then each level the root mean square of the 2 x 2
    // blocks of the one before (the encoding of the plain mean), down to 1 x 1.
    size_t total = 0;
    int levelCount = 0;
    for (int w = width, h = height;; w = std::max(w / 2, 1), h = std::max(h / 2, 1)) {
        total += static_cast<size_t>(w) * h;
        ++levelCount;
        if (w == 1 && h == 1) break;
    }
    std::vector<uint8_t> chain(total);
    std::vector<TextureLevel> levels(static_cast<size_t>(levelCount));
    uint8_t* level = chain.data();
    for (size_t i = 0; i < pixels.size(); ++i) {
        level[i] = encodeCoverage(pixels[i]);
    }
    levels[0] = TextureLevel{level, width, height};
    for (int n = 1; n < levelCount; ++n) {
        const TextureLevel& before = levels[static_cast<size_t>(n - 1)];
        int w = std::max(before.width / 2, 1), h = std::max(before.height / 2, 1);
        uint8_t* next = const_cast<uint8_t*>(before.pixels) + static_cast<size_t>(before.width) * before.height;
        for (int y = 0; y < h; ++y) {
            int y0 = std::min(2 * y, before.height - 1), y1 = std::min(2 * y + 1, before.height - 1);
            for (int x = 0; x < w; ++x) {
                int x0 = std::min(2 * x, before.width - 1), x1 = std::min(2 * x + 1, before.width - 1);
                double p = before.pixels[static_cast<size_t>(y0) * before.width + x0];
                double q = before.pixels[static_cast<size_t>(y0) * before.width + x1];
                double r = before.pixels[static_cast<size_t>(y1) * before.width + x0];
                double s = before.pixels[static_cast<size_t>(y1) * before.width + x1];
                double value = std::floor(0.5 * std::sqrt(p * p + q * q + r * r + s * s) + 0.5);
                next[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            }
        }
        levels[static_cast<size_t>(n)] = TextureLevel{next, w, h};
    }
    pixels.clear();
    if (textures == nullptr) {
        return true;  // measuring only: no texture
    }
    textureId = textures->createAlphaTexture(levels.data(), levelCount, mipLevelCount, lodBias);
    if (textureId == 0) {
        return false;
    }
    textureOwner = textures;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Settings and lookup

void UiFontmap::setEncoding(uint32_t encoding) {
    if (loaded() && (encoding == kEncodingUtf8 || encoding == kEncodingOneByte)) {
        textEncoding = encoding;
    }
}

void UiFontmap::setEntities(bool enabled) {
    if (loaded()) {
        entitiesOn = enabled;
    }
}

void UiFontmap::setWidthScale(float scale) {
    if (loaded() && std::isfinite(scale)) {
        scaleX = scale;
    }
}

const FontmapGlyph* UiFontmap::findGlyph(uint32_t codePoint) const {
    size_t low = 0, high = glyphs.size();
    while (low < high) {
        size_t mid = (low + high) / 2;
        uint32_t c = glyphs[mid].codePoint;
        if (c == codePoint) {
            return &glyphs[mid];
        }
        if (c < codePoint) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return nullptr;
}

const FontmapGlyph& UiFontmap::quadGlyph(const FontmapGlyph& glyph) const {
    return glyph.composition != 0 ? glyphs[glyph.composition & kCompositionBaseMask] : glyph;
}

float UiFontmap::specialWidth(uint32_t codePoint) const {
    switch (codePoint) {
        case kSpace:
        case kNoBreakSpace: return header.spaceWidth * scaleX;
        case kEnQuad: return 0.5f;
        case kEmQuad: return 1.0f;
        case kEnSpace: return 0.5f;
        case kEmSpace: return 1.0f;
        case kThreePerEmSpace: return 1.0f / 3.0f;
        case kFourPerEmSpace: return 0.25f;
        case kSixPerEmSpace: return 1.0f / 6.0f;
        case kMediumMathSpace: return 2.0f / 9.0f;
        case kZeroWidthSpace:
        case kWordJoiner: return 0.0f;
        default: return -1.0f;
    }
}

float UiFontmap::advance(uint32_t codePoint) const {
    if (!loaded()) {
        return 0.0f;
    }
    float special = specialWidth(codePoint);
    if (special >= 0.0f) {
        return special;
    }
    const FontmapGlyph* glyph = findGlyph(codePoint);
    return glyph != nullptr ? glyph->advance * scaleX : 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Decoding

bool UiFontmap::decode(const char* text, size_t& position, uint32_t& codePoint) const {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
    uint8_t lead = bytes[position];
    if (lead == 0) {
        return false;
    }
    if (lead == '&' && entitiesOn) {
        const char* end = std::strchr(text + position + 1, ';');
        if (end != nullptr) {
            size_t length = static_cast<size_t>(end - (text + position + 1));
            uint32_t resolved = 0;
            if (lookupEntity(text + position + 1, length, resolved)) {
                codePoint = resolved;
                position += length + 2;
                return true;
            }
        }
        codePoint = '&';
        position += 1;
        return true;
    }
    if (textEncoding == kEncodingOneByte || lead < 0x80) {
        codePoint = lead;
        position += 1;
        return true;
    }
    size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t value = lead & (length == 2 ? 0x1Fu : length == 3 ? 0x0Fu : 0x07u);
    size_t i = 1;
    for (; i < length && bytes[position + i] != 0; ++i) {
        value = value << 6 | (bytes[position + i] & 0x3Fu);
    }
    codePoint = value;
    position += i;
    return true;
}

float UiFontmap::textWidth(const char* text) const {
    if (!loaded() || text == nullptr) {
        return 0.0f;
    }
    float width = 0.0f;
    uint32_t c = 0;
    for (size_t position = 0; decode(text, position, c);) {
        width += advance(c);
    }
    return width;
}

float UiFontmap::caretX(const char* text, int byteIndex) const {
    if (!loaded() || text == nullptr) {
        return 0.0f;
    }
    float pen = 0.0f, caret = 0.0f;
    bool haveQuad = false;
    uint32_t c = 0;
    for (size_t position = 0, start = 0; decode(text, position, c); start = position) {
        float special = specialWidth(c);
        if (special >= 0.0f) {
            pen += special;
            continue;
        }
        const FontmapGlyph* glyph = findGlyph(c);
        if (glyph == nullptr) {
            continue;
        }
        const FontmapGlyph& q = quadGlyph(*glyph);
        float left = pen + q.quadLeft;
        if (static_cast<int64_t>(start) < byteIndex) {
            caret = left + q.quadWidth;
        } else if (!haveQuad) {
            caret = left;
        }
        if (static_cast<int64_t>(start) >= byteIndex && haveQuad) {
            break;
        }
        haveQuad = true;
        pen += glyph->advance * scaleX;
    }
    return caret;
}

int UiFontmap::indexAt(const char* text, float x) const {
    if (!loaded() || text == nullptr) {
        return -1;
    }
    float pen = 0.0f;
    uint32_t c = 0;
    for (size_t position = 0; decode(text, position, c);) {
        float special = specialWidth(c);
        if (special >= 0.0f) {
            pen += special;
            continue;
        }
        const FontmapGlyph* glyph = findGlyph(c);
        if (glyph == nullptr) {
            continue;
        }
        const FontmapGlyph& q = quadGlyph(*glyph);
        float left = pen + q.quadLeft;
        if (left <= x && x < left + q.quadWidth) {
            return static_cast<int>(position - 1);
        }
        pen += glyph->advance * scaleX;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Emission

void GlyphEmitter::quad(const FontmapGlyph& g, float left, float top) {
    float right = left + g.quadWidth, bottom = top - g.quadHeight;
    auto at = [&](float ex, float ey, const float* uv) {
        DrawVertex v;
        v.x = m00 * ex + m01 * ey + tx;
        v.y = m10 * ex + m11 * ey + ty;
        v.colour = colour;
        v.u = packTexCoord(uv[0]);
        v.v = packTexCoord(uv[1]);
        return v;
    };
    DrawVertex tl = at(left, top, g.topLeft), tr = at(right, top, g.topRight);
    DrawVertex br = at(right, bottom, g.bottomRight), bl = at(left, bottom, g.bottomLeft);
    DrawVertex* v = out + count;
    v[0] = tl;
    v[1] = tr;
    v[2] = br;
    v[3] = br;
    v[4] = tl;
    v[5] = bl;
    count += 6;
}

void GlyphEmitter::emit(uint32_t codePoint) {
    if (font == nullptr || !font->loaded()) {
        return;
    }
    float special = font->specialWidth(codePoint);
    if (special >= 0.0f) {
        penX += special;
        return;
    }
    const FontmapGlyph* glyph = font->findGlyph(codePoint);
    if (glyph == nullptr) {
        return;
    }
    if (glyph->composition != 0) {
        const FontmapGlyph& base = font->glyphs[glyph->composition & kCompositionBaseMask];
        const FontmapGlyph& mark =
            font->glyphs[(glyph->composition >> kCompositionMarkShift) & kCompositionMarkMask];
        bool below = (glyph->composition >> kCompositionPlacementShift) != 0;
        float baseLeft = penX + base.quadLeft, baseTop = penY + base.quadTop;
        float markLeft = baseLeft + (base.quadWidth - mark.quadWidth) / 2.0f;
        float markTop = below ? baseTop - base.quadHeight + font->header.markGapBelow
                              : baseTop + font->header.markGapAbove + mark.quadHeight;
        if (out != nullptr) {
            quad(mark, markLeft, markTop);
            quad(base, baseLeft, baseTop);
        }
    } else if (out != nullptr) {
        quad(*glyph, penX + glyph->quadLeft, penY + glyph->quadTop);
    }
    penX += glyph->advance * font->scaleX;
}

void UiFontmap::drawString(DrawList& list, float x, float y, const UiColour& colour, float size,
                           const char* text) const {
    if (!loaded() || text == nullptr || !(size > 0.0f) || !std::isfinite(size)) {
        return;
    }
    size_t length = std::strlen(text);
    if (length == 0) {
        return;
    }
    GlyphEmitter emitter;
    emitter.font = this;
    emitter.colour = packColour(colour);
    emitter.penX = x / size;
    emitter.penY = y / size;
    emitter.m00 = size;
    emitter.m11 = size;
    emitter.out = list.textScratch(length * GlyphEmitter::kMaxVerticesPerCharacter);
    uint32_t c = 0;
    for (size_t position = 0; decode(text, position, c);) {
        emitter.emit(c);
    }
    list.appendVertices(textureId, kPrimitiveTriangles, emitter.out, emitter.count);
}

}  // namespace tarsk
