// The editor's font maps and images as the plug-in carries them: every one of them opens through the
// resource opener and loads, and each font style names the files it should.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "editor/editor-fonts.h"
#include "tarsklib/resource.h"
#include "tarsklib/ui-fontmap.h"
#include "tarsklib/ui-image.h"

namespace tarsk {
namespace {

constexpr const char* kFontFiles[] = {"hum521n.png",  "hum521i.png",  "hum521b.png",  "hum521bi.png",
                                      "orggaran.png", "orggarai.png", "orggarab.png", "orggarbi.png",
                                      "micr.png",     "lcddot.png",   "symbols.png"};

TEST(EditorResources, EveryFontMapLoadsWithItsGlyphsAndMetrics) {
    for (const char* file : kFontFiles) {
        SCOPED_TRACE(file);
        std::unique_ptr<MemoryStream> stream = openResource(file);
        ASSERT_NE(stream, nullptr);
        UiFontmap font;
        ASSERT_TRUE(font.load(*stream, -0.25f, nullptr));
        EXPECT_GT(font.glyphCount(), 10u);
        EXPECT_GT(font.lineHeight(), 0.0f);
        EXPECT_EQ(font.texture(), 0u);  // no texture factory: the table only
    }
    // The text faces cover what the sample lines and the title ask of them.
    for (const char* file : {"hum521n.png", "orggarbi.png", "micr.png"}) {
        SCOPED_TRACE(file);
        std::unique_ptr<MemoryStream> stream = openResource(file);
        ASSERT_NE(stream, nullptr);
        UiFontmap font;
        ASSERT_TRUE(font.load(*stream, 0.0f, nullptr));
        for (uint32_t c : {uint32_t{'T'}, uint32_t{'z'}, uint32_t{'9'}, 0xE9u, 0xB1u}) {
            EXPECT_NE(font.findGlyph(c), nullptr) << std::hex << c;
        }
        EXPECT_GT(font.textWidth(kEditorTitle), 10.0f);
    }
    std::unique_ptr<MemoryStream> symbols = openResource("symbols.png");
    ASSERT_NE(symbols, nullptr);
    UiFontmap icons;
    ASSERT_TRUE(icons.load(*symbols, 0.0f, nullptr));
    for (uint32_t c : {0xFDD0u, 0xFDD1u, 0xFDD3u, 0xFDD4u, 0xFDD5u, 0xFDD6u, uint32_t{'A'}, uint32_t{'z'}}) {
        EXPECT_NE(icons.findGlyph(c), nullptr) << std::hex << c;
    }
}

TEST(EditorResources, BothImagesDecode) {
    // UiImage keeps its size only with a texture: check the PNG through a loader that answers ids.
    struct Textures final : TextureFactory {
        int width = 0;
        int height = 0;
        TextureId createAlphaTexture(const TextureLevel*, int, int, float) override { return 0; }
        TextureId createRgbaTexture(const uint8_t* pixels, int w, int h) override {
            width = w;
            height = h;
            return pixels != nullptr ? 7 : 0;
        }
        void deleteTexture(TextureId) override {}
    } textures;
    std::unique_ptr<MemoryStream> metal = openResource(kMetalImageFile);
    ASSERT_NE(metal, nullptr);
    UiImage metalImage;
    ASSERT_TRUE(metalImage.load(*metal, &textures));
    EXPECT_EQ(textures.width, 512);
    EXPECT_EQ(textures.height, 128);
    std::unique_ptr<MemoryStream> logo = openResource(kLogoImageFile);
    ASSERT_NE(logo, nullptr);
    UiImage logoImage;
    ASSERT_TRUE(logoImage.load(*logo, &textures));
    EXPECT_EQ(textures.width, 32);
    EXPECT_EQ(textures.height, 32);
}

TEST(EditorResources, FontStylesNameTheirFamilies) {
    EXPECT_STREQ(editorFontFile(kFontStyleSans, kFaceRegular), "hum521n.png");
    EXPECT_STREQ(editorFontFile(kFontStyleSans, kFaceBoldItalic), "hum521bi.png");
    EXPECT_STREQ(editorFontFile(kFontStyleSerif, kFaceBold), "orggarab.png");
    EXPECT_STREQ(editorFontFile(kFontStyleSerif, kFaceItalic), "orggarai.png");
    EXPECT_EQ(editorFontFile(kFontStyleNone, kFaceRegular), nullptr);
    EXPECT_STREQ(editorFontFile(kFontStyleNone, kFaceMicr), "micr.png");
    // Every file a style names exists among the plug-in's resources, and the two families together
    // with the three shared faces are the eleven font maps.
    std::set<std::string> named;
    for (int style : {kFontStyleSerif, kFontStyleSans, kFontStyleNone}) {
        for (int face = 0; face < kEditorFaceCount; ++face) {
            if (const char* file = editorFontFile(style, static_cast<EditorFace>(face))) {
                named.insert(file);
                EXPECT_NE(openResource(file), nullptr) << file;
            }
        }
    }
    EXPECT_EQ(named.size(), std::size(kFontFiles));
}

}  // namespace
}  // namespace tarsk
