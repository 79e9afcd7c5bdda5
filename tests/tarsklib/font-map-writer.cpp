// Test support: PNG encoding with libpng and synthetic font map files.
#include "font-map-writer.h"

#include <png.h>

#include <cstring>

namespace tarsk::test {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void noFlush(png_structp) {}

int channelsOf(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY: return 1;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
        default: return 1;
    }
}

void put(std::vector<uint8_t>& out, const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}

}  // namespace

std::vector<uint8_t> encodePng(const std::vector<uint8_t>& pixels, int width, int height, int colourType,
                               int bitDepth) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    size_t rowBytes = static_cast<size_t>(width) * channelsOf(colourType) * (bitDepth == 16 ? 2 : 1);
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, &appendBytes, &noFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    for (int y = 0; y < height; ++y) {
        rows[static_cast<size_t>(y)] = const_cast<png_bytep>(pixels.data()) + rowBytes * static_cast<size_t>(y);
    }
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> writeFontMap(const FontMapFile& file) {
    std::vector<uint8_t> out = file.png;
    if (file.repeatIend && out.size() >= 12) {
        std::vector<uint8_t> iend(out.end() - 12, out.end());
        put(out, iend.data(), iend.size());
    }
    uint32_t offset = static_cast<uint32_t>(out.size());
    put(out, &file.header, sizeof(file.header));
    put(out, file.glyphs.data(), file.glyphs.size() * sizeof(FontmapGlyph));
    uint8_t trailer[4] = {static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8),
                          static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 24)};
    put(out, trailer, sizeof(trailer));
    return out;
}

FontmapGlyph glyphRecord(uint32_t codePoint, float advance, float left, float top, float width, float height,
                         float u0, float v0, float u1, float v1) {
    FontmapGlyph g{};
    g.codePoint = codePoint;
    g.advance = advance;
    g.quadLeft = left;
    g.quadTop = top;
    g.quadWidth = width;
    g.quadHeight = height;
    g.topLeft[0] = u0;
    g.topLeft[1] = v0;
    g.bottomLeft[0] = u0;
    g.bottomLeft[1] = v1;
    g.bottomRight[0] = u1;
    g.bottomRight[1] = v1;
    g.topRight[0] = u1;
    g.topRight[1] = v0;
    return g;
}

uint32_t composition(uint32_t baseIndex, uint32_t markIndex, bool below) {
    return baseIndex | (markIndex | (below ? 0x1000u : 0u)) << 16;
}

namespace {

FontmapHeader testHeader(uint32_t glyphCount) {
    FontmapHeader h{};
    std::memcpy(h.magic, "FMAP", 4);
    h.version = 1;
    h.mipHint = 6;
    h.glyphCount = glyphCount;
    h.ascent = 0.9f;
    h.descent = -0.25f;
    h.lineHeight = 1.2f;
    h.fourthMetric = -0.1426f;
    h.fifthMetric = 0.0601f;
    h.spaceWidth = 0.3f;
    h.markGapAbove = 0.5f;  // replaced on load
    h.markGapBelow = 0.5f;
    h.word52 = 8;
    std::strcpy(h.fontName, "Test Face");
    return h;
}

}  // namespace

FontMapFile testFace() {
    FontMapFile f;
    f.glyphs = {
        glyphRecord(0x27, 0.25f, 0.05f, 0.7f, 0.1f, 0.3f, 0.0f, 0.0f, 0.125f, 0.5f),
        glyphRecord(0x41, 0.6f, 0.05f, 0.7f, 0.5f, 0.7f, 0.125f, 0.0f, 0.25f, 0.5f),
        glyphRecord(0x42, 0.55f, 0.1f, 0.7f, 0.4f, 0.7f, 0.25f, 0.0f, 0.375f, 0.5f),
        glyphRecord(0x60, 0.3f, 0.05f, 0.9f, 0.2f, 0.15f, 0.375f, 0.0f, 0.5f, 0.5f),
        glyphRecord(0x63, 0.45f, 0.05f, 0.5f, 0.35f, 0.5f, 0.5f, 0.0f, 0.625f, 0.5f),
        glyphRecord(0xB8, 0.3f, 0.1f, 0.0f, 0.1f, 0.2f, 0.625f, 0.0f, 0.75f, 0.5f),
        glyphRecord(0xC0, 0.6f, 0.0f, 0.0f, 0.0f, 0.0f),
        glyphRecord(0xE7, 0.45f, 0.0f, 0.0f, 0.0f, 0.0f),
        glyphRecord(0xFDD0, 1.0f, 0.0f, 0.8f, 1.0f, 0.8f, 0.75f, 0.5f, 1.0f, 1.0f),
    };
    f.glyphs[6].composition = composition(1, 3, false);
    f.glyphs[7].composition = composition(4, 5, true);
    f.header = testHeader(static_cast<uint32_t>(f.glyphs.size()));
    const int width = 64, height = 32;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>((x * 4 + y * 3) & 0xFF);
        }
    }
    f.png = encodePng(pixels, width, height, PNG_COLOR_TYPE_GRAY, 8);
    return f;
}

FontMapFile asciiFace(int atlasSide) {
    FontMapFile f;
    const int cells = 16;
    float cell = 1.0f / cells;
    for (uint32_t c = 0x21; c < 0x7F; ++c) {
        int i = static_cast<int>(c - 0x21);
        float u0 = static_cast<float>(i % cells) * cell, v0 = static_cast<float>(i / cells) * cell;
        float advance = 0.5f + static_cast<float>(c % 7) * 0.05f;
        f.glyphs.push_back(glyphRecord(c, advance, 0.02f, 0.72f, advance - 0.04f, 0.9f, u0, v0, u0 + cell, v0 + cell));
    }
    f.header = testHeader(static_cast<uint32_t>(f.glyphs.size()));
    std::vector<uint8_t> pixels(static_cast<size_t>(atlasSide) * atlasSide);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>((i * 37) >> 3);
    }
    f.png = encodePng(pixels, atlasSide, atlasSide, PNG_COLOR_TYPE_GRAY, 8);
    return f;
}

}  // namespace tarsk::test
