// A reader of font map files written from the file format alone, for the tests of the generated maps.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tarsk::test {

constexpr uint32_t kCompositionBaseMask = 0xFFFF;
constexpr uint32_t kCompositionMarkMask = 0xFFF;
constexpr uint32_t kCompositionBelowShift = 28;
constexpr size_t kHeaderBytes = 128;
constexpr size_t kRecordBytes = 64;

inline uint32_t u32(const uint8_t* at) { return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24; }
inline float f32(const uint8_t* at) {
    const uint32_t bits = u32(at);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// ---------------------------------------------------------------------------------------------------------
// PNG decoding

struct Image {
    int width = 0;
    int height = 0;
    int colourType = -1;
    int bitDepth = 0;
    std::vector<uint8_t> pixels;  // rows of width × channels bytes
};

struct ReadCursor {
    const std::vector<uint8_t>* bytes;
    size_t at;
};

inline void readFromCursor(png_structp png, png_bytep out, png_size_t length) {
    auto* cursor = static_cast<ReadCursor*>(png_get_io_ptr(png));
    if (cursor->at + length > cursor->bytes->size()) {
        png_error(png, "short");
    }
    std::memcpy(out, cursor->bytes->data() + cursor->at, length);
    cursor->at += length;
}

inline bool decodePng(const std::vector<uint8_t>& bytes, Image& image) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    ReadCursor cursor{&bytes, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &cursor, readFromCursor);
    png_read_info(png, info);
    image.width = static_cast<int>(png_get_image_width(png, info));
    image.height = static_cast<int>(png_get_image_height(png, info));
    image.colourType = png_get_color_type(png, info);
    image.bitDepth = png_get_bit_depth(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    image.pixels.resize(rowBytes * static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        png_read_row(png, image.pixels.data() + rowBytes * y, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Font map reading

struct Glyph {
    uint32_t codePoint;
    uint32_t composition;
    float advance, left, top, width, height;
    float uv[8];  // top-left, bottom-left, bottom-right, top-right
};

struct FontMap {
    Image atlas;
    uint32_t offset = 0;
    uint16_t version = 0;
    uint16_t mipHint = 0;
    float ascent = 0, descent = 0, lineHeight = 0, spaceWidth = 0;
    std::vector<Glyph> glyphs;

    int mipLevels() const {
        int bits = 0;
        for (uint32_t v = mipHint; v != 0; v >>= 1) {
            ++bits;
        }
        return bits;
    }
    const Glyph* find(uint32_t codePoint) const {
        auto it = std::lower_bound(glyphs.begin(), glyphs.end(), codePoint,
                                   [](const Glyph& g, uint32_t c) { return g.codePoint < c; });
        return it != glyphs.end() && it->codePoint == codePoint ? &*it : nullptr;
    }
};

// Reads a font map the way the file format describes it; fails the calling test on any inconsistency.
inline void readFontMap(const std::vector<uint8_t>& bytes, FontMap& map) {
    ASSERT_GT(bytes.size(), kHeaderBytes + 4);
    map.offset = u32(&bytes[bytes.size() - 4]);
    ASSERT_LE(map.offset + kHeaderBytes + 4, bytes.size());
    ASSERT_TRUE(decodePng(bytes, map.atlas));
    ASSERT_EQ(map.atlas.colourType, PNG_COLOR_TYPE_GRAY);
    ASSERT_EQ(map.atlas.bitDepth, 8);
    const uint8_t* head = &bytes[map.offset];
    ASSERT_EQ(0, std::memcmp(head, "FMAP", 4));
    map.version = static_cast<uint16_t>(head[4] | head[5] << 8);
    map.mipHint = static_cast<uint16_t>(head[6] | head[7] << 8);
    const uint32_t count = u32(head + 8);
    map.ascent = f32(head + 12);
    map.descent = f32(head + 16);
    map.lineHeight = f32(head + 20);
    map.spaceWidth = f32(head + 32);
    ASSERT_EQ(map.version, 1);
    ASSERT_LE(count, 4095u);
    // Header, table and the trailing offset fill the file to its end exactly.
    ASSERT_EQ(map.offset + kHeaderBytes + count * kRecordBytes + 4, bytes.size());
    EXPECT_NE(head[64], 0) << "font name";
    EXPECT_EQ(u32(head + 52), 8u);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* record = head + kHeaderBytes + i * kRecordBytes;
        Glyph glyph;
        glyph.codePoint = u32(record);
        glyph.composition = u32(record + 4);
        glyph.advance = f32(record + 8);
        glyph.left = f32(record + 12);
        glyph.top = f32(record + 16);
        glyph.width = f32(record + 20);
        glyph.height = f32(record + 24);
        for (int k = 0; k < 8; ++k) {
            glyph.uv[k] = f32(record + 28 + 4 * k);
        }
        EXPECT_EQ(u32(record + 60), 0u);
        map.glyphs.push_back(glyph);
    }
}

inline bool isComposed(const Glyph& glyph) { return glyph.composition != 0; }
inline bool hasQuad(const Glyph& glyph) { return glyph.width > 0 && glyph.height > 0; }

struct TexelRect {
    int x0, y0, x1, y1;  // half-open
};

inline TexelRect texels(const FontMap& map, const Glyph& glyph) {
    return TexelRect{static_cast<int>(std::lround(glyph.uv[0] * map.atlas.width)),
                     static_cast<int>(std::lround(glyph.uv[1] * map.atlas.height)),
                     static_cast<int>(std::lround(glyph.uv[4] * map.atlas.width)),
                     static_cast<int>(std::lround(glyph.uv[5] * map.atlas.height))};
}

}  // namespace tarsk::test
