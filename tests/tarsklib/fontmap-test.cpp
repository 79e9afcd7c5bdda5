// Tests of the font maps: loading and every refusal, the mip chain, decoding of UTF-8 and references,
// special widths, measuring, caret and hit test, and glyph emission.
#include "tarsklib/ui-fontmap.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tarsklib/font-map-writer.h"
#include "tarsklib/recording-renderer.h"
#include "tarsklib/ui-entities.h"
#include "tarsklib/ui-image.h"

namespace tarsk {
namespace {

using test::FontMapFile;
using test::RecordingRenderer;

bool loadBytes(UiFontmap& font, const std::vector<uint8_t>& bytes, TextureFactory* textures = nullptr,
               float lodBias = kDefaultFontLodBias) {
    MemoryStream stream(bytes.data(), bytes.size());
    stream.setReadOnly(true);
    return font.load(stream, lodBias, textures);
}

struct LoadedFace : testing::Test {
    UiFontmap font;
    void SetUp() override { ASSERT_TRUE(loadBytes(font, test::writeFontMap(test::testFace()))); }
    // Decodes a whole string into code points.
    std::vector<uint32_t> decodeAll(const char* text) {
        std::vector<uint32_t> out;
        uint32_t c = 0;
        for (size_t position = 0; font.decode(text, position, c);) {
            out.push_back(c);
        }
        return out;
    }
};

// ---------------------------------------------------------------------------------------------
// Loading

TEST(FontmapLoad, ReadsTheHeaderAndTableBehindTheImage) {
    UiFontmap font;
    EXPECT_EQ(font.status(), UiFontmap::UNINIT);
    FontMapFile file = test::testFace();
    file.header.spaceWidth = 0.0f;  // 0 means the default width
    ASSERT_TRUE(loadBytes(font, test::writeFontMap(file)));
    EXPECT_EQ(font.status(), UiFontmap::LOADED);
    EXPECT_FLOAT_EQ(font.ascent(), 0.9f);
    EXPECT_FLOAT_EQ(font.descent(), -0.25f);
    EXPECT_FLOAT_EQ(font.lineHeight(), 1.2f);
    EXPECT_FLOAT_EQ(font.fourthMetric(), -0.1426f);
    EXPECT_FLOAT_EQ(font.spaceWidth(), 0.2f);
    EXPECT_EQ(font.glyphCount(), 9u);
    EXPECT_EQ(font.mipLevels(), 3);  // bit length of 6
    ASSERT_NE(font.findGlyph(0x41), nullptr);
    EXPECT_FLOAT_EQ(font.findGlyph(0x41)->advance, 0.6f);
    EXPECT_EQ(font.findGlyph(0x44), nullptr);

    // A second load of a loaded font is refused and leaves it as it was.
    EXPECT_FALSE(loadBytes(font, test::writeFontMap(file)));
    EXPECT_TRUE(font.loaded());

    // Without the repeated IEND chunk the file is read the same way: the trailing offset decides.
    UiFontmap plain;
    file.repeatIend = false;
    EXPECT_TRUE(loadBytes(plain, test::writeFontMap(file)));
}

// Every damaged or wrong file is refused, and the font then measures 0 and draws nothing.
TEST(FontmapLoad, RefusesWrongAndDamagedFiles) {
    const std::vector<uint8_t> good = test::writeFontMap(test::testFace());
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    auto variant = [&](const char* what, auto change) {
        FontMapFile f = test::testFace();
        change(f);
        cases.push_back({what, test::writeFontMap(f)});
    };
    std::vector<uint8_t> rgb(64 * 32 * 3, 90), grey16(64 * 32 * 2, 90), greyAlpha(64 * 32 * 2, 90);
    variant("RGB image", [&](FontMapFile& f) { f.png = test::encodePng(rgb, 64, 32, PNG_COLOR_TYPE_RGB, 8); });
    variant("16-bit grey", [&](FontMapFile& f) { f.png = test::encodePng(grey16, 64, 32, PNG_COLOR_TYPE_GRAY, 16); });
    variant("grey + alpha",
            [&](FontMapFile& f) { f.png = test::encodePng(greyAlpha, 64, 32, PNG_COLOR_TYPE_GRAY_ALPHA, 8); });
    variant("bad magic", [](FontMapFile& f) { std::memcpy(f.header.magic, "FMAQ", 4); });
    variant("version 2", [](FontMapFile& f) { f.header.version = 2; });
    variant("version 0", [](FontMapFile& f) { f.header.version = 0; });
    variant("4096 glyphs", [](FontMapFile& f) { f.header.glyphCount = 4096; });
    variant("count past the table", [](FontMapFile& f) { f.header.glyphCount = 10; });
    variant("unsorted table", [](FontMapFile& f) { std::swap(f.glyphs[1], f.glyphs[2]); });
    variant("composition out of the table", [](FontMapFile& f) { f.glyphs[6].composition = test::composition(1, 40, false); });
    variant("composed base", [](FontMapFile& f) { f.glyphs[6].composition = test::composition(7, 3, false); });
    variant("non-finite advance", [](FontMapFile& f) { f.glyphs[1].advance = std::nanf(""); });
    variant("not a PNG", [](FontMapFile& f) { f.png[1] = 'Q'; });
    variant("damaged image data", [](FontMapFile& f) { f.png[f.png.size() / 2] ^= 0x55; });

    for (size_t cut : {size_t{1}, size_t{4}, size_t{64}, size_t{64 * 9 - 1}, good.size() - 20}) {
        std::vector<uint8_t> truncated(good.begin(), good.end() - static_cast<std::ptrdiff_t>(cut));
        cases.push_back({"truncated", truncated});
    }
    {
        std::vector<uint8_t> pastEnd = good;
        uint32_t offset = static_cast<uint32_t>(good.size() + 10);
        std::memcpy(pastEnd.data() + pastEnd.size() - 4, &offset, 4);
        cases.push_back({"offset past the end", pastEnd});
        std::vector<uint8_t> intoImage = good;
        offset = 100;
        std::memcpy(intoImage.data() + intoImage.size() - 4, &offset, 4);
        cases.push_back({"offset at the image", intoImage});
        cases.push_back({"empty", {}});
        cases.push_back({"three bytes", {1, 2, 3}});
    }

    for (const Case& c : cases) {
        RecordingRenderer textures;
        UiFontmap font;
        EXPECT_FALSE(loadBytes(font, c.bytes, &textures)) << c.what;
        EXPECT_EQ(font.status(), UiFontmap::UNINIT) << c.what;
        EXPECT_EQ(font.texture(), 0u) << c.what;
        EXPECT_EQ(font.textWidth("AB"), 0.0f) << c.what;
        EXPECT_EQ(font.advance('A'), 0.0f) << c.what;
        EXPECT_EQ(font.ascent(), 0.0f) << c.what;
        EXPECT_EQ(font.caretX("AB", 1), 0.0f) << c.what;
        EXPECT_EQ(font.indexAt("AB", 0.3f), -1) << c.what;
        DrawList list;
        font.drawString(list, 0, 0, {1, 1, 1, 1}, 20, "AB");
        EXPECT_EQ(list.stats().vertices, 0u) << c.what;
        // A refused font is still usable for a later good load.
        EXPECT_TRUE(loadBytes(font, good)) << c.what;
    }
}

// Damage anywhere in the file never crashes: the font loads or is refused, and either way measuring
// and drawing stay within the table (the sanitizer builds check the memory accesses).
TEST(FontmapLoad, RandomDamageIsLoadedOrRefusedButNeverCrashes) {
    const std::vector<uint8_t> good = test::writeFontMap(test::testFace());
    const uint32_t seed = 0x5EED1234u;
    std::mt19937 random(seed);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = good;
        int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) {
            // Mostly the block and the trailing offset, sometimes the image.
            size_t at = random() % 4 != 0 ? bytes.size() - 1 - random() % (128 + 9 * 64 + 4) : random() % bytes.size();
            bytes[at] = static_cast<uint8_t>(random());
        }
        RecordingRenderer textures;
        UiFontmap font;
        bool loaded = loadBytes(font, bytes, &textures);
        refused += loaded ? 0 : 1;
        DrawList list;
        const char* text = "AB&Agrave;\xC3\xA7 &#xFDD0;'`";
        font.drawString(list, 0, 0, {1, 1, 1, 1}, 10, text);
        EXPECT_TRUE(std::isfinite(font.textWidth(text))) << "seed " << seed << " round " << round;
        font.caretX(text, 3);
        font.indexAt(text, 0.5f);
        EXPECT_EQ(loaded, list.stats().vertices > 0) << "seed " << seed << " round " << round;
    }
    EXPECT_GT(refused, 0);
}

TEST(FontmapLoad, UploadsTheSquareRootMipChainWithTheLodBias) {
    FontMapFile file = test::testFace();
    std::vector<uint8_t> pixels(5 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(i * 17);
    }
    file.png = test::encodePng(pixels, 5, 3, PNG_COLOR_TYPE_GRAY, 8);
    RecordingRenderer textures;
    UiFontmap font;
    ASSERT_TRUE(loadBytes(font, test::writeFontMap(file), &textures, -0.5f));
    ASSERT_EQ(textures.textures.size(), 1u);
    const auto& t = textures.textures[0];
    EXPECT_EQ(font.texture(), t.id);
    EXPECT_EQ(t.lodBias, -0.5f);
    EXPECT_EQ(t.maxLevel, 3);
    // 5 x 3, 2 x 1, 1 x 1
    ASSERT_EQ(t.levels.size(), 3u);
    EXPECT_EQ(t.widths, (std::vector<int>{5, 2, 1}));
    EXPECT_EQ(t.heights, (std::vector<int>{3, 1, 1}));
    for (size_t i = 0; i < pixels.size(); ++i) {
        EXPECT_EQ(t.levels[0][i], static_cast<uint8_t>(std::floor(std::sqrt(255.0 * pixels[i]) + 0.5))) << i;
    }
    // Level 1 texel 0 is the root mean square of the encoded block (0,0), (1,0), (0,1), (1,1).
    auto rms = [](double p, double q, double r, double s) {
        return static_cast<uint8_t>(std::floor(0.5 * std::sqrt(p * p + q * q + r * r + s * s) + 0.5));
    };
    const auto& base = t.levels[0];
    EXPECT_EQ(t.levels[1][0], rms(base[0], base[1], base[5], base[6]));
    EXPECT_EQ(t.levels[1][1], rms(base[2], base[3], base[7], base[8]));
    // The encoding keeps the plain mean: four texels of 255 and 0 average to half coverage, 255 * sqrt(0.5).
    EXPECT_EQ(rms(255, 0, 255, 0), 180);

    font.unload();
    EXPECT_EQ(textures.deleted, (std::vector<TextureId>{t.id}));
    EXPECT_FALSE(font.loaded());
}

// ---------------------------------------------------------------------------------------------
// Decoding

TEST_F(LoadedFace, DecodesUtf8AndOneByteText) {
    EXPECT_EQ(decodeAll("A\xC3\x80\xE2\x80\x83\xF0\x9F\x8E\xB5"), (std::vector<uint32_t>{0x41, 0xC0, 0x2003, 0x1F3B5}));
    // A sequence cut short by the end of the string stops there.
    EXPECT_EQ(decodeAll("A\xE2\x80"), (std::vector<uint32_t>{0x41, (0x2u << 6) | 0x00u}));
    font.setEncoding(kEncodingOneByte);
    EXPECT_EQ(decodeAll("A\xC3\x80"), (std::vector<uint32_t>{0x41, 0xC3, 0x80}));
    font.setEncoding(7);  // not an encoding: ignored
    EXPECT_EQ(font.encoding(), kEncodingOneByte);
}

TEST_F(LoadedFace, DecodesNamedDecimalAndHexadecimalReferences) {
    EXPECT_EQ(decodeAll("&Agrave;&amp;&#192;&#xC0;&#xc0;"), (std::vector<uint32_t>{0xC0, '&', 0xC0, 0xC0, 0xC0}));
    // A capital X reads the number as decimal: no digits, 0.
    EXPECT_EQ(decodeAll("&#X41;"), (std::vector<uint32_t>{0}));
    // Unresolved names and references without a closing ";" keep the "&" and the rest as text.
    EXPECT_EQ(decodeAll("&bogus;x"), (std::vector<uint32_t>{'&', 'b', 'o', 'g', 'u', 's', ';', 'x'}));
    EXPECT_EQ(decodeAll("A & B"), (std::vector<uint32_t>{'A', ' ', '&', ' ', 'B'}));
    EXPECT_EQ(decodeAll("&amp"), (std::vector<uint32_t>{'&', 'a', 'm', 'p'}));
    // Only whole names match.
    EXPECT_EQ(decodeAll("&am;")[0], static_cast<uint32_t>('&'));
    EXPECT_EQ(decodeAll("&ampx;")[0], static_cast<uint32_t>('&'));
    // The program's own five and two of the HTML 4.01 code points.
    EXPECT_EQ(decodeAll("&circ;&tilde;&hyphen;&ldquor;&sp;&lang;&rang;"),
              (std::vector<uint32_t>{0x5E, 0x7E, 0x2D, 0x84, 0x20, 0x2329, 0x232A}));
    // References off: literal text.
    font.setEntities(false);
    EXPECT_EQ(decodeAll("&sp;").size(), 4u);
}

TEST(FontmapEntities, TheTableIsSortedByByteOrderAndEveryNameResolvesToItself) {
    const UiEntity* table = entityTable();
    for (size_t i = 1; i < kEntityCount; ++i) {
        EXPECT_LT(std::strcmp(table[i - 1].name, table[i].name), 0) << table[i].name;
    }
    for (size_t i = 0; i < kEntityCount; ++i) {
        uint32_t c = 0;
        ASSERT_TRUE(lookupEntity(table[i].name, std::strlen(table[i].name), c)) << table[i].name;
        EXPECT_EQ(c, table[i].codePoint) << table[i].name;
        EXPECT_LE(std::strlen(table[i].name), 11u);
    }
    uint32_t c = 0;
    EXPECT_TRUE(lookupEntity("equals", 6, c));
    EXPECT_EQ(c, 0x3Du);
    EXPECT_TRUE(lookupEntity("lowbar", 6, c));
    EXPECT_EQ(c, 0x5Fu);
    EXPECT_TRUE(lookupEntity("thetasym", 8, c));
    EXPECT_EQ(c, 0x3D1u);
    EXPECT_FALSE(lookupEntity("", 0, c));
    EXPECT_FALSE(lookupEntity("Amp", 3, c));
}

// ---------------------------------------------------------------------------------------------
// Measuring

TEST_F(LoadedFace, SpecialWidthsNeedNoGlyph) {
    EXPECT_FLOAT_EQ(font.advance(0x20), 0.3f);
    EXPECT_FLOAT_EQ(font.advance(0xA0), 0.3f);
    EXPECT_FLOAT_EQ(font.advance(0x2000), 0.5f);
    EXPECT_FLOAT_EQ(font.advance(0x2001), 1.0f);
    EXPECT_FLOAT_EQ(font.advance(0x2002), 0.5f);
    EXPECT_FLOAT_EQ(font.advance(0x2003), 1.0f);
    EXPECT_FLOAT_EQ(font.advance(0x2004), 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(font.advance(0x2005), 0.25f);
    EXPECT_FLOAT_EQ(font.advance(0x2006), 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(font.advance(0x205F), 2.0f / 9.0f);
    EXPECT_EQ(font.advance(0x200B), 0.0f);
    EXPECT_EQ(font.advance(0x2060), 0.0f);
    EXPECT_EQ(font.advance(0x44), 0.0f);  // no glyph

    // The width scale applies to glyphs and the space, not to the fixed widths.
    font.setWidthScale(2.0f);
    EXPECT_FLOAT_EQ(font.advance(0x20), 0.6f);
    EXPECT_FLOAT_EQ(font.advance(0x41), 1.2f);
    EXPECT_FLOAT_EQ(font.advance(0x2001), 1.0f);

    // A string of spaces measures count x space width x scale and draws nothing.
    EXPECT_FLOAT_EQ(font.textWidth("    "), 4 * 0.6f);
    DrawList list;
    font.drawString(list, 0, 0, {1, 1, 1, 1}, 10, "   &sp;&#x2003;");
    EXPECT_EQ(list.stats().vertices, 0u);
}

TEST_F(LoadedFace, MeasuresTextWithReferencesAndUnknownCharacters) {
    EXPECT_FLOAT_EQ(font.textWidth("AB"), 0.6f + 0.55f);
    EXPECT_FLOAT_EQ(font.textWidth("A&amp;B"), 1.15f);  // no glyph for "&": no width
    EXPECT_FLOAT_EQ(font.textWidth("&Agrave; B"), 0.6f + 0.3f + 0.55f);
    EXPECT_EQ(font.textWidth(""), 0.0f);
    EXPECT_EQ(font.textWidth(nullptr), 0.0f);
}

// "AB": A's quad spans 0.05..0.55, B's (pen 0.6) spans 0.7..1.1.
TEST_F(LoadedFace, CaretAndHitTestOnAKnownString) {
    const char* text = "AB";
    EXPECT_FLOAT_EQ(font.caretX(text, 0), 0.05f);  // left edge of the first quad
    EXPECT_FLOAT_EQ(font.caretX(text, 1), 0.55f);  // right edge of "A"
    EXPECT_FLOAT_EQ(font.caretX(text, 2), 1.1f);   // right edge of "B"
    EXPECT_FLOAT_EQ(font.caretX(text, 9), 1.1f);   // past the end: the last quad

    EXPECT_EQ(font.indexAt(text, 0.0f), -1);
    EXPECT_EQ(font.indexAt(text, 0.05f), 0);
    EXPECT_EQ(font.indexAt(text, 0.54f), 0);
    EXPECT_EQ(font.indexAt(text, 0.6f), -1);  // between the quads
    EXPECT_EQ(font.indexAt(text, 0.72f), 1);
    EXPECT_EQ(font.indexAt(text, 1.1f), -1);  // the right edge belongs to no quad

    // Multi-byte characters and references answer their last byte; a space takes no room but moves the pen.
    const char* mixed = "\xC3\x80 &Agrave;B";  // À (2 bytes), space, À by reference (8 bytes), B
    EXPECT_EQ(font.indexAt(mixed, 0.1f), 1);
    EXPECT_EQ(font.indexAt(mixed, 0.6f + 0.3f + 0.1f), 10);
    EXPECT_EQ(font.indexAt(mixed, 0.6f + 0.3f + 0.6f + 0.2f), 11);
    EXPECT_FLOAT_EQ(font.caretX(mixed, 2), 0.55f);  // before the space: right edge of À
    EXPECT_FLOAT_EQ(font.caretX(mixed, 3), 0.55f);  // the space has no quad
    EXPECT_FLOAT_EQ(font.caretX(mixed, 11), 0.9f + 0.55f);
}

// ---------------------------------------------------------------------------------------------
// Emission

TEST_F(LoadedFace, DrawStringEmitsTransformedQuadsWithTheFontsTexture) {
    DrawList list;
    RecordingRenderer renderer;
    list.setLayer(3);
    font.drawString(list, 10.0f, 20.0f, {1, 0, 0, 1}, 100.0f, "AB");
    list.flush(&renderer);
    ASSERT_EQ(renderer.batches.size(), 1u);
    const auto& b = renderer.batches[0];
    EXPECT_EQ(b.state.texture, font.texture());
    ASSERT_EQ(b.vertices.size(), 12u);
    // Triangles (top-left, top-right, bottom-right), (bottom-right, top-left, bottom-left), in pixels.
    const DrawVertex* a = b.vertices.data();
    EXPECT_FLOAT_EQ(a[0].x, 10.0f + 5.0f);
    EXPECT_FLOAT_EQ(a[0].y, 20.0f + 70.0f);
    EXPECT_FLOAT_EQ(a[1].x, 10.0f + 55.0f);
    EXPECT_FLOAT_EQ(a[2].y, 20.0f);
    EXPECT_FLOAT_EQ(a[5].x, 15.0f);
    EXPECT_FLOAT_EQ(a[5].y, 20.0f);
    EXPECT_EQ(a[0].colour, packColour({1, 0, 0, 1}));
    EXPECT_EQ(a[0].u, packTexCoord(0.125f));
    EXPECT_EQ(a[2].u, packTexCoord(0.25f));
    EXPECT_EQ(a[2].v, packTexCoord(0.5f));
    EXPECT_FLOAT_EQ(b.vertices[6].x, 10.0f + 60.0f + 10.0f);  // "B" after A's advance

    // Nothing for a size of 0 or no text.
    font.drawString(list, 0, 0, {1, 1, 1, 1}, 0.0f, "AB");
    font.drawString(list, 0, 0, {1, 1, 1, 1}, 10.0f, nullptr);
    EXPECT_EQ(list.stats().vertices, 0u);
}

TEST_F(LoadedFace, ComposedGlyphsDrawTheMarkCentredOnTheBase) {
    DrawList list;
    RecordingRenderer renderer;
    font.drawString(list, 0, 0, {1, 1, 1, 1}, 1.0f, "&Agrave;\xC3\xA7");
    list.flush(&renderer);
    ASSERT_EQ(renderer.batches.size(), 1u);
    const auto& v = renderer.batches[0].vertices;
    ASSERT_EQ(v.size(), 24u);  // two quads per composed glyph
    // À: mark "`" (width 0.2) centred over A's quad (0.05..0.55), its bottom 0.02 above A's top 0.7.
    EXPECT_FLOAT_EQ(v[0].x, 0.05f + (0.5f - 0.2f) / 2);
    EXPECT_FLOAT_EQ(v[2].y, 0.7f + 0.02f);
    EXPECT_FLOAT_EQ(v[0].y, 0.7f + 0.02f + 0.15f);
    EXPECT_EQ(v[0].u, packTexCoord(0.375f));  // the mark's texture
    EXPECT_FLOAT_EQ(v[6].x, 0.05f);           // then A's own quad
    EXPECT_FLOAT_EQ(v[6].y, 0.7f);
    // ç at pen 0.6: cedilla below, its top at c's bottom (0.5 - 0.5) + 0.02.
    EXPECT_FLOAT_EQ(v[12].x, 0.6f + 0.05f + (0.35f - 0.1f) / 2);
    EXPECT_FLOAT_EQ(v[12].y, 0.02f);
    EXPECT_FLOAT_EQ(v[18].x, 0.6f + 0.05f);

    // Caret and hit test use the base's quad.
    EXPECT_FLOAT_EQ(font.caretX("\xC3\x80", 2), 0.55f);
}

TEST(FontmapDraw, EmptyFontDrawsNothingWhateverTheText) {
    UiFontmap font;
    DrawList list;
    font.drawString(list, 0, 0, {1, 1, 1, 1}, 12, "&Agrave; text \xF0\x9F\x8E");
    font.setWidthScale(3.0f);  // ignored while not loaded
    EXPECT_EQ(font.widthScale(), 1.0f);
    EXPECT_EQ(list.stats().vertices, 0u);
}

// ---------------------------------------------------------------------------------------------
// Images

TEST(UiImageLoad, DecodesAnyPngToRgbaAndRefusesDamagedOnes) {
    std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    std::vector<uint8_t> png = test::encodePng(rgb, 2, 2, PNG_COLOR_TYPE_RGB, 8);
    RecordingRenderer textures;
    UiImage image;
    MemoryStream stream(png.data(), png.size());
    ASSERT_TRUE(image.load(stream, &textures));
    EXPECT_EQ(image.width(), 2);
    EXPECT_EQ(image.height(), 2);
    ASSERT_EQ(textures.textures.size(), 1u);
    EXPECT_EQ(textures.textures[0].levels[0],
              (std::vector<uint8_t>{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 255}));
    EXPECT_EQ(image.texture(), textures.textures[0].id);

    std::vector<uint8_t> grey = {0, 128};
    std::vector<uint8_t> greyPng = test::encodePng(grey, 2, 1, PNG_COLOR_TYPE_GRAY, 8);
    UiImage greyImage;
    MemoryStream greyStream(greyPng.data(), greyPng.size());
    ASSERT_TRUE(greyImage.load(greyStream, &textures));
    EXPECT_EQ(textures.textures[1].levels[0], (std::vector<uint8_t>{0, 0, 0, 255, 128, 128, 128, 255}));

    std::vector<uint8_t> damaged(png.begin(), png.end() - 30);
    UiImage broken;
    MemoryStream brokenStream(damaged.data(), damaged.size());
    EXPECT_FALSE(broken.load(brokenStream, &textures));
    EXPECT_FALSE(broken.loaded());
    EXPECT_EQ(broken.texture(), 0u);
}

}  // namespace
}  // namespace tarsk
