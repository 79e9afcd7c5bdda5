// The editor's generated font maps and images: each file read back by a reader written here from the file
// format (not the generator's code), checked for a sound atlas and glyph table, for the glyphs its faces can
// give, for the same bytes on every run, and found by name in the library's resources.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "reference-code-points.h"
#include "font-map-reader.h"
#include "tarsklib/resource.h"

namespace tarsk {
namespace {

using namespace test;

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string editorFile(const std::string& name) { return std::string(TARSK_EDITOR_RESOURCE_DIR) + "/" + name; }

const char* const kAllMaps[] = {"hum521n", "hum521i", "hum521b",  "hum521bi", "orggaran", "orggarai",
                                "orggarab", "orggarbi", "micr",    "lcddot",   "symbols"};

// Every map: texture corners form an axis-aligned rectangle inside the atlas, the ink stays inside its quad
// with a blank border, nothing lies outside the quads, and at the deepest mip level the loader keeps, every
// quad still has a blank texel between it and any other quad.
TEST(FontMaps, EveryMapIsAConsistentAtlasWithItsGlyphTable) {
    for (const char* name : kAllMaps) {
        SCOPED_TRACE(name);
        FontMap map;
        readFontMap(readBytes(editorFile(std::string(name) + ".png")), map);
        if (HasFatalFailure()) {
            return;
        }
        EXPECT_GT(map.ascent, 0.5f);
        EXPECT_LT(map.descent, 0.0f);
        EXPECT_GE(map.lineHeight, map.ascent - map.descent - 0.01f);
        EXPECT_GT(map.spaceWidth, 0.1f);
        const int levels = map.mipLevels();
        EXPECT_GE(levels, 2);
        const int step = 1 << levels;
        std::vector<uint8_t> covered(map.atlas.pixels.size(), 0);
        std::vector<TexelRect> deepest;
        for (size_t i = 0; i < map.glyphs.size(); ++i) {
            const Glyph& glyph = map.glyphs[i];
            SCOPED_TRACE(glyph.codePoint);
            if (i > 0) {
                EXPECT_LT(map.glyphs[i - 1].codePoint, glyph.codePoint) << "sorted, no repeats";
            }
            EXPECT_GE(glyph.advance, 0.0f);  // the zero-width joiners take no room
            if (isComposed(glyph) || !hasQuad(glyph)) {
                continue;
            }
            EXPECT_GT(glyph.advance, 0.0f);
            const float* uv = glyph.uv;
            EXPECT_EQ(uv[0], uv[2]);  // left edge
            EXPECT_EQ(uv[4], uv[6]);  // right edge
            EXPECT_EQ(uv[1], uv[7]);  // top edge
            EXPECT_EQ(uv[3], uv[5]);  // bottom edge
            const TexelRect rect = texels(map, glyph);
            ASSERT_TRUE(rect.x0 >= 0 && rect.y0 >= 0 && rect.x1 <= map.atlas.width && rect.y1 <= map.atlas.height &&
                        rect.x0 < rect.x1 && rect.y0 < rect.y1);
            // The quad's size in em and in texels give the same scale both ways.
            EXPECT_NEAR(glyph.width / (rect.x1 - rect.x0), glyph.height / (rect.y1 - rect.y0), 1e-5);
            int ink = 0;
            for (int y = rect.y0; y < rect.y1; ++y) {
                for (int x = rect.x0; x < rect.x1; ++x) {
                    const uint8_t value = map.atlas.pixels[static_cast<size_t>(y) * map.atlas.width + x];
                    covered[static_cast<size_t>(y) * map.atlas.width + x] = 1;
                    ink += value != 0;
                    const bool border = x == rect.x0 || y == rect.y0 || x == rect.x1 - 1 || y == rect.y1 - 1;
                    if (border && value != 0) {
                        ADD_FAILURE() << "ink on the quad's border: the glyph is clipped";
                        y = rect.y1;
                        break;
                    }
                }
            }
            EXPECT_GT(ink, 0) << "blank glyph";
            deepest.push_back(TexelRect{rect.x0 / step, rect.y0 / step, (rect.x1 + step - 1) / step,
                                        (rect.y1 + step - 1) / step});
        }
        size_t stray = 0;
        for (size_t i = 0; i < covered.size(); ++i) {
            stray += covered[i] == 0 && map.atlas.pixels[i] != 0;
        }
        EXPECT_EQ(stray, 0u) << "texels with ink outside every quad";
        for (size_t a = 0; a < deepest.size(); ++a) {
            const TexelRect& r = deepest[a];
            EXPECT_TRUE(r.x0 >= 1 && r.y0 >= 1 && r.x1 < map.atlas.width / step && r.y1 < map.atlas.height / step)
                << "no blank texel between a quad and the atlas edge at mip level " << levels;
            for (size_t b = a + 1; b < deepest.size(); ++b) {
                const TexelRect& s = deepest[b];
                const bool apart = r.x1 < s.x0 || s.x1 < r.x0 || r.y1 < s.y0 || s.y1 < r.y0;
                EXPECT_TRUE(apart) << "quads " << a << " and " << b << " bleed together at mip level " << levels;
            }
        }
        for (const Glyph& glyph : map.glyphs) {
            if (!isComposed(glyph)) {
                continue;
            }
            SCOPED_TRACE(glyph.codePoint);
            const uint32_t base = glyph.composition & kCompositionBaseMask;
            const uint32_t mark = (glyph.composition >> 16) & kCompositionMarkMask;
            ASSERT_LT(base, map.glyphs.size());
            ASSERT_LT(mark, map.glyphs.size());
            EXPECT_FALSE(isComposed(map.glyphs[base]));
            EXPECT_FALSE(isComposed(map.glyphs[mark]));
            EXPECT_TRUE(hasQuad(map.glyphs[base]) && hasQuad(map.glyphs[mark]));
            EXPECT_EQ(0, std::memcmp(glyph.uv, map.glyphs[base].uv, sizeof glyph.uv)) << "quad of the base";
            EXPECT_EQ(glyph.advance, map.glyphs[base].advance);
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Coverage of the text faces

struct TextMap {
    const char* name;
    std::vector<std::string> faces;  // the first face, then its fallbacks
};

std::vector<TextMap> textMaps() {
    const std::string sans = std::string(TARSK_ADF_FONTS) + "/GilliusADF-";
    const std::string serif = std::string(TARSK_GARAMOND_FONTS) + "/EBGaramond12-";
    return {
        {"hum521n", {sans + "Regular.otf", serif + "Regular.otf"}},
        {"hum521i", {sans + "Italic.otf", serif + "Italic.otf"}},
        {"hum521b", {sans + "Bold.otf", serif + "Regular.otf"}},
        {"hum521bi", {sans + "BoldItalic.otf", serif + "Italic.otf"}},
        {"orggaran", {serif + "Regular.otf"}},
        {"orggarai", {serif + "Italic.otf"}},
        {"orggarab", {serif + "Bold.otf", serif + "Regular.otf"}},
        {"orggarbi", {serif + "Italic.otf"}},
        {"micr", {std::string(TARSK_OCRB_FONTS) + "/OCRB.otf", sans + "Regular.otf"}},
    };
}

class FaceSet {
public:
    explicit FaceSet(const std::vector<std::string>& paths) {
        FT_Init_FreeType(&library_);
        for (const std::string& path : paths) {
            FT_Face face = nullptr;
            if (FT_New_Face(library_, path.c_str(), 0, &face) == 0) {
                faces_.push_back(face);
            }
        }
        complete_ = faces_.size() == paths.size();
    }
    ~FaceSet() {
        for (FT_Face face : faces_) {
            FT_Done_Face(face);
        }
        FT_Done_FreeType(library_);
    }
    bool complete() const { return complete_; }
    bool has(uint32_t codePoint) const {
        for (FT_Face face : faces_) {
            if (FT_Get_Char_Index(face, codePoint) != 0) {
                return true;
            }
        }
        return false;
    }

private:
    FT_Library library_ = nullptr;
    std::vector<FT_Face> faces_;
    bool complete_ = false;
};

bool needsNoGlyph(uint32_t c) {  // the widths the loader gives by itself
    return c == 0x20 || c == 0xA0 || (c >= 0x2000 && c <= 0x2006) || c == 0x205F || c == 0x200B || c == 0x2060;
}

TEST(FontMaps, TextFacesCarryAsciiLatin1AndTheReferencedCodePointsTheirFacesHave) {
    for (const TextMap& text : textMaps()) {
        SCOPED_TRACE(text.name);
        FontMap map;
        readFontMap(readBytes(editorFile(std::string(text.name) + ".png")), map);
        FaceSet faces(text.faces);
        ASSERT_TRUE(faces.complete());
        std::vector<uint32_t> wanted;
        for (uint32_t c = 0x21; c <= 0x7E; ++c) {
            EXPECT_NE(map.find(c), nullptr) << "ASCII " << c;
        }
        for (uint32_t c = 0xA1; c <= 0xFF; ++c) {
            wanted.push_back(c);
        }
        wanted.insert(wanted.end(), fontmaps::kReferenceCodePoints,
                      fontmaps::kReferenceCodePoints + fontmaps::kReferenceCodePointCount);
        size_t missing = 0;
        for (uint32_t c : wanted) {
            if (!needsNoGlyph(c) && faces.has(c) && map.find(c) == nullptr) {
                ADD_FAILURE() << "the face has U+" << std::hex << c << " but the map does not";
                ++missing;
            }
        }
        EXPECT_EQ(missing, 0u);
        // Text centred on (ascent + descent) / 2 has its capitals in the middle; descenders fit below.
        const Glyph* capital = map.find('H');
        const Glyph* descender = map.find('p');
        ASSERT_TRUE(capital != nullptr && descender != nullptr);
        EXPECT_NEAR((map.ascent + map.descent) / 2, capital->top - capital->height / 2, 0.03f);
        EXPECT_LE(map.descent, descender->top - descender->height + 0.03f);
        // The one-byte low double quote takes the face's U+201E.
        EXPECT_EQ(map.find(0x84) != nullptr, faces.has(0x201E));
        EXPECT_EQ(map.find(0x20), nullptr);
        EXPECT_EQ(map.find(0xA0), nullptr);
    }
}

TEST(FontMaps, AccentedLettersAreComposedOfBaseAndMark) {
    for (const TextMap& text : textMaps()) {
        SCOPED_TRACE(text.name);
        FontMap map;
        readFontMap(readBytes(editorFile(std::string(text.name) + ".png")), map);
        auto codeAt = [&](uint32_t index) { return map.glyphs.at(index).codePoint; };
        const Glyph* agrave = map.find(0xE0);
        ASSERT_NE(agrave, nullptr);
        ASSERT_TRUE(isComposed(*agrave));
        EXPECT_EQ(codeAt(agrave->composition & kCompositionBaseMask), uint32_t{'a'});
        EXPECT_EQ(codeAt((agrave->composition >> 16) & kCompositionMarkMask), uint32_t{'`'});
        EXPECT_EQ(agrave->composition >> kCompositionBelowShift, 0u) << "grave above";
        const Glyph* ccedil = map.find(0xE7);
        ASSERT_NE(ccedil, nullptr);
        ASSERT_TRUE(isComposed(*ccedil));
        EXPECT_EQ(codeAt(ccedil->composition & kCompositionBaseMask), uint32_t{'c'});
        EXPECT_EQ(codeAt((ccedil->composition >> 16) & kCompositionMarkMask), 0xB8u);
        EXPECT_NE(ccedil->composition >> kCompositionBelowShift, 0u) << "cedilla below";
        // The dotted i would keep its dot under an accent: the dotless one is the base.
        const Glyph* iacute = map.find(0xED);
        ASSERT_NE(iacute, nullptr);
        if (isComposed(*iacute)) {
            EXPECT_EQ(codeAt(iacute->composition & kCompositionBaseMask), 0x131u);
        }
        size_t composed = 0;
        for (const Glyph& glyph : map.glyphs) {
            composed += isComposed(glyph);
        }
        EXPECT_GE(composed, 25u);
    }
}

TEST(FontMaps, DotMatrixFaceIsMonospacedPrintableAscii) {
    FontMap map;
    readFontMap(readBytes(editorFile("lcddot.png")), map);
    ASSERT_EQ(map.glyphs.size(), 0x7Eu - 0x21u + 1);
    for (uint32_t c = 0x21; c <= 0x7E; ++c) {
        const Glyph* glyph = map.find(c);
        ASSERT_NE(glyph, nullptr) << c;
        EXPECT_FLOAT_EQ(glyph->advance, map.spaceWidth) << c;
        EXPECT_TRUE(hasQuad(*glyph));
        EXPECT_LE(glyph->left + glyph->width, glyph->advance + 0.01f) << "dots stay inside the cell";
    }
    // Descenders reach below the baseline, capitals do not.
    EXPECT_GT(map.find('g')->height - map.find('g')->top, 0.05f);
    EXPECT_LT(map.find('H')->height - map.find('H')->top, 0.05f);
}

TEST(FontMaps, SymbolFontHoldsThePageIconsAndTheSignalFlowBlocks) {
    FontMap map;
    readFontMap(readBytes(editorFile("symbols.png")), map);
    const uint32_t expected[] = {'A', 'F', 'b', 'c', 'z', 0xFDD0, 0xFDD1, 0xFDD3, 0xFDD4, 0xFDD5, 0xFDD6};
    ASSERT_EQ(map.glyphs.size(), std::size(expected));
    for (uint32_t c : expected) {
        const Glyph* glyph = map.find(c);
        ASSERT_NE(glyph, nullptr) << c;
        EXPECT_TRUE(hasQuad(*glyph)) << c;
    }
    // Icons and blocks sit on one middle line, and the two icons the page selector draws at size 24 come out
    // as large as the others at size 16.
    const float middle = (map.ascent + map.descent) / 2;
    for (uint32_t c : expected) {
        const Glyph* glyph = map.find(c);
        EXPECT_NEAR(glyph->top - glyph->height / 2, middle, 0.05f) << c;
    }
    for (uint32_t large : {0xFDD0u, 0xFDD4u}) {
        const float drawn = map.find(large)->height * 24;
        EXPECT_NEAR(drawn, map.find(0xFDD1)->height * 16, 0.25f * drawn) << large;
    }
    // Delay segments join into a line: the block is as wide as its advance.
    const Glyph* delay = map.find('z');
    EXPECT_NEAR(delay->advance, 1.0f, 1e-6);
    EXPECT_GE(delay->width, delay->advance);
}

// ---------------------------------------------------------------------------------------------------------
// The generators

int runTool(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Generators : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarsk-font-maps-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& file : files_) {
            std::remove(file.c_str());
        }
        rmdir(dir_.c_str());
    }
    std::string out(const std::string& name) {
        files_.push_back(dir_ + "/" + name);
        return files_.back();
    }

    std::string dir_;
    std::vector<std::string> files_;
};

TEST_F(Generators, SameInputsGiveTheSameBytes) {
    const std::string serif = std::string(TARSK_GARAMOND_FONTS) + "/EBGaramond12-";
    const std::string first = out("first.png");
    const std::string second = out("second.png");
    for (const std::string& path : {first, second}) {
        ASSERT_EQ(runTool({TARSK_FONT_MAP_TOOL, "text", path, "--em", "36", serif + "Bold.otf",
                           serif + "Regular.otf@0.03"}),
                  0);
    }
    const std::vector<uint8_t> bytes = readBytes(first);
    EXPECT_GT(bytes.size(), 10000u);
    EXPECT_EQ(bytes, readBytes(second));
    EXPECT_EQ(bytes, readBytes(editorFile("orggarab.png"))) << "the build made the same file";

    const std::string dots = out("lcddot.png");
    ASSERT_EQ(runTool({TARSK_FONT_MAP_TOOL, "lcddot", dots}), 0);
    EXPECT_EQ(readBytes(dots), readBytes(editorFile("lcddot.png")));
    const std::string metal = out("metal.png");
    ASSERT_EQ(runTool({TARSK_EDITOR_IMAGE_TOOL, "metal", metal}), 0);
    EXPECT_EQ(readBytes(metal), readBytes(editorFile("metal.png")));
}

TEST_F(Generators, BadInputsWriteNothing) {
    const std::string map = out("map.png");
    EXPECT_NE(runTool({TARSK_FONT_MAP_TOOL, "text", map, "--em", "36", dir_ + "/no-such-face.otf"}), 0);
    // A size too large for the atlas asked for.
    EXPECT_NE(runTool({TARSK_FONT_MAP_TOOL, "text", map, "--em", "200", "--atlas", "128",
                       std::string(TARSK_OCRB_FONTS) + "/OCRB.otf"}),
              0);
    EXPECT_NE(runTool({TARSK_FONT_MAP_TOOL, "text", map, std::string(TARSK_OCRB_FONTS) + "/OCRB.otf"}), 0)
        << "no size";
    EXPECT_NE(runTool({TARSK_EDITOR_IMAGE_TOOL, "marble", map}), 0);
    EXPECT_TRUE(readBytes(map).empty());
    EXPECT_TRUE(readBytes(map + ".part").empty());
}

TEST(EditorImages, MetalAndLogoAreRgbaImagesOfTheirSizes) {
    Image metal;
    ASSERT_TRUE(decodePng(readBytes(editorFile("metal.png")), metal));
    EXPECT_EQ(metal.colourType, PNG_COLOR_TYPE_RGB_ALPHA);
    EXPECT_EQ(metal.width, 512);
    EXPECT_EQ(metal.height, 128);
    // Opaque grey with streaks: the grey varies along a column far more than along a row.
    double rowChange = 0, columnChange = 0;
    for (int y = 1; y < metal.height; ++y) {
        for (int x = 1; x < metal.width; ++x) {
            const uint8_t* p = &metal.pixels[(static_cast<size_t>(y) * metal.width + x) * 4];
            EXPECT_EQ(p[3], 255);
            rowChange += std::abs(p[1] - p[1 - 4]);
            columnChange += std::abs(p[1] - p[1 - 4 * metal.width]);
        }
    }
    EXPECT_GT(columnChange, 3 * rowChange);

    Image logo;
    ASSERT_TRUE(decodePng(readBytes(editorFile("tarsk_orange_32.png")), logo));
    EXPECT_EQ(logo.colourType, PNG_COLOR_TYPE_RGB_ALPHA);
    ASSERT_EQ(logo.width, 32);
    ASSERT_EQ(logo.height, 32);
    EXPECT_EQ(logo.pixels[3], 0) << "transparent corner";
    size_t orange = 0;
    for (size_t i = 0; i < logo.pixels.size(); i += 4) {
        const uint8_t* p = &logo.pixels[i];
        orange += p[3] == 255 && p[0] > 200 && p[1] > 100 && p[1] < 170 && p[2] < 80;
    }
    EXPECT_GT(orange, 32u * 32u / 3);
}

// ---------------------------------------------------------------------------------------------------------
// The resource table

TEST(EditorResources, TheLibraryCarriesEveryFontMapAndImageByFileName) {
    std::vector<std::string> names;
    for (const char* name : kAllMaps) {
        names.push_back(std::string(name) + ".png");
    }
    names.push_back("metal.png");
    names.push_back("tarsk_orange_32.png");
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::unique_ptr<MemoryStream> stream = openResource(name.c_str());
        ASSERT_NE(stream, nullptr);
        const std::vector<uint8_t> file = readBytes(editorFile(name));
        ASSERT_EQ(stream->length(), file.size());
        EXPECT_EQ(0, std::memcmp(stream->data(), file.data(), file.size()));
    }
    EXPECT_NE(openResource("HUM521BI.PNG"), nullptr);
    EXPECT_EQ(openResource("hum521.png"), nullptr);
}

}  // namespace
}  // namespace tarsk
