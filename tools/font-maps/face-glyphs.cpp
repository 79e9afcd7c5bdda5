// Glyphs rendered from font files with FreeType, and the glyph set of a text face.
#include "face-glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "reference-code-points.h"

namespace tarsk::fontmaps {

struct FaceChain::State {
    FT_Library library = nullptr;
    std::vector<FT_Face> faces;
    std::vector<FaceSource> sources;
    double pixelsPerEm = 0;
};

bool parseFaceSource(const std::string& text, FaceSource& out) {
    const size_t at = text.rfind('@');
    out = FaceSource{};
    if (at == std::string::npos) {
        out.path = text;
        return !text.empty();
    }
    out.path = text.substr(0, at);
    char* end = nullptr;
    const std::string number = text.substr(at + 1);
    out.embolden = std::strtod(number.c_str(), &end);
    return !out.path.empty() && !number.empty() && *end == '\0' && out.embolden >= 0 && out.embolden < 0.2;
}

FaceChain::FaceChain() : state_(new State) {}

FaceChain::~FaceChain() {
    for (FT_Face face : state_->faces) {
        FT_Done_Face(face);
    }
    if (state_->library != nullptr) {
        FT_Done_FreeType(state_->library);
    }
}

bool FaceChain::open(const std::vector<FaceSource>& sources, double pixelsPerEm, std::string& error) {
    if (sources.empty() || state_->library != nullptr || FT_Init_FreeType(&state_->library) != 0) {
        error = "no face given, or FreeType could not start";
        return false;
    }
    state_->pixelsPerEm = pixelsPerEm;
    for (const FaceSource& source : sources) {
        FT_Face face = nullptr;
        if (FT_New_Face(state_->library, source.path.c_str(), 0, &face) != 0) {
            error = "cannot open the face " + source.path;
            return false;
        }
        state_->faces.push_back(face);
        state_->sources.push_back(source);
        if (!FT_IS_SCALABLE(face) || FT_Set_Char_Size(face, 0, std::lround(pixelsPerEm * 64), 72, 72) != 0) {
            error = "the face " + source.path + " does not scale";
            return false;
        }
    }
    return true;
}

int FaceChain::faceFor(uint32_t codePoint) const {
    for (size_t i = 0; i < state_->faces.size(); ++i) {
        if (FT_Get_Char_Index(state_->faces[i], codePoint) != 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool FaceChain::render(uint32_t codePoint, uint32_t source, int faceIndex, GlyphImage& out, std::string& error) {
    FT_Face face = state_->faces.at(static_cast<size_t>(faceIndex));
    const FT_UInt index = FT_Get_Char_Index(face, source);
    // Unhinted outlines: the atlas is scaled at drawing time, so hinting for one size would only distort.
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) {
        error = "cannot load glyph " + std::to_string(source);
        return false;
    }
    FT_GlyphSlot slot = face->glyph;
    const double strength = state_->sources[static_cast<size_t>(faceIndex)].embolden * state_->pixelsPerEm;
    if (strength > 0 && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        // Grow the strokes (less in height, to keep the x-height), then move the glyph so that its left side
        // bearing and baseline stay where they were; the advance grows by the added width.
        const FT_Pos x = std::lround(strength * 64);
        FT_Outline_EmboldenXY(&slot->outline, x, x / 2);
        FT_Outline_Translate(&slot->outline, x / 2, x / 4);
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0 || slot->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
        error = "cannot render glyph " + std::to_string(source);
        return false;
    }
    const FT_Bitmap& bitmap = slot->bitmap;
    out = GlyphImage{};
    out.codePoint = codePoint;
    out.width = static_cast<int>(bitmap.width);
    out.height = static_cast<int>(bitmap.rows);
    out.left = slot->bitmap_left;
    out.top = slot->bitmap_top;
    out.advance = slot->linearHoriAdvance / 65536.0 + strength;
    out.coverage.resize(static_cast<size_t>(out.width) * out.height);
    for (int row = 0; row < out.height; ++row) {
        const unsigned char* line = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        for (int column = 0; column < out.width; ++column) {
            out.coverage[static_cast<size_t>(row) * out.width + column] = line[column];
        }
    }
    // A glyph without ink keeps only its advance.
    bool ink = false;
    for (uint8_t value : out.coverage) {
        ink = ink || value != 0;
    }
    if (!ink) {
        out.width = out.height = out.left = out.top = 0;
        out.coverage.clear();
    }
    return true;
}

FontMetrics FaceChain::metrics() const {
    FT_Face face = state_->faces.front();
    const double em = face->units_per_EM;
    FontMetrics metrics;
    metrics.ascent = static_cast<float>(face->ascender / em);
    metrics.descent = static_cast<float>(face->descender / em);
    metrics.lineHeight = static_cast<float>(face->height / em);
    metrics.underlinePosition = static_cast<float>(face->underline_position / em);
    metrics.underlineThickness = static_cast<float>(face->underline_thickness / em);
    const FT_UInt space = FT_Get_Char_Index(face, ' ');
    if (space != 0 && FT_Load_Glyph(face, space, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
        metrics.spaceWidth = static_cast<float>(face->glyph->linearHoriAdvance / 65536.0 / state_->pixelsPerEm);
    }
    return metrics;
}

std::string FaceChain::name() const {
    FT_Face face = state_->faces.front();
    std::string name = face->family_name != nullptr ? face->family_name : "";
    if (face->style_name != nullptr) {
        name += std::string(" ") + face->style_name;
    }
    if (state_->sources.front().embolden > 0) {
        name += " emboldened";
    }
    return name;
}

namespace {

// Spacing marks in order of preference: the modifier letters where a face has them, else the ASCII or
// Latin-1 forms.
const std::vector<uint32_t> kGrave = {0x60};
const std::vector<uint32_t> kAcute = {0xB4};
const std::vector<uint32_t> kCircumflex = {0x2C6, 0x5E};
const std::vector<uint32_t> kTilde = {0x2DC, 0x7E};
const std::vector<uint32_t> kDiaeresis = {0xA8};
const std::vector<uint32_t> kRing = {0x2DA, 0xB0};
const std::vector<uint32_t> kCedilla = {0xB8};
const std::vector<uint32_t> kCaron = {0x2C7};
constexpr uint32_t kDotlessI = 0x131;

struct Composition {
    uint32_t codePoint;
    uint32_t base;
    const std::vector<uint32_t>* marks;
    bool below;
};

const Composition kCompositions[] = {
    {0xC0, 'A', &kGrave, false},     {0xC1, 'A', &kAcute, false},     {0xC2, 'A', &kCircumflex, false},
    {0xC3, 'A', &kTilde, false},     {0xC4, 'A', &kDiaeresis, false}, {0xC5, 'A', &kRing, false},
    {0xC7, 'C', &kCedilla, true},    {0xC8, 'E', &kGrave, false},     {0xC9, 'E', &kAcute, false},
    {0xCA, 'E', &kCircumflex, false}, {0xCB, 'E', &kDiaeresis, false}, {0xCC, 'I', &kGrave, false},
    {0xCD, 'I', &kAcute, false},     {0xCE, 'I', &kCircumflex, false}, {0xCF, 'I', &kDiaeresis, false},
    {0xD1, 'N', &kTilde, false},     {0xD2, 'O', &kGrave, false},     {0xD3, 'O', &kAcute, false},
    {0xD4, 'O', &kCircumflex, false}, {0xD5, 'O', &kTilde, false},    {0xD6, 'O', &kDiaeresis, false},
    {0xD9, 'U', &kGrave, false},     {0xDA, 'U', &kAcute, false},     {0xDB, 'U', &kCircumflex, false},
    {0xDC, 'U', &kDiaeresis, false}, {0xDD, 'Y', &kAcute, false},     {0xE0, 'a', &kGrave, false},
    {0xE1, 'a', &kAcute, false},     {0xE2, 'a', &kCircumflex, false}, {0xE3, 'a', &kTilde, false},
    {0xE4, 'a', &kDiaeresis, false}, {0xE5, 'a', &kRing, false},      {0xE7, 'c', &kCedilla, true},
    {0xE8, 'e', &kGrave, false},     {0xE9, 'e', &kAcute, false},     {0xEA, 'e', &kCircumflex, false},
    {0xEB, 'e', &kDiaeresis, false}, {0xEC, kDotlessI, &kGrave, false}, {0xED, kDotlessI, &kAcute, false},
    {0xEE, kDotlessI, &kCircumflex, false}, {0xEF, kDotlessI, &kDiaeresis, false}, {0xF1, 'n', &kTilde, false},
    {0xF2, 'o', &kGrave, false},     {0xF3, 'o', &kAcute, false},     {0xF4, 'o', &kCircumflex, false},
    {0xF5, 'o', &kTilde, false},     {0xF6, 'o', &kDiaeresis, false}, {0xF9, 'u', &kGrave, false},
    {0xFA, 'u', &kAcute, false},     {0xFB, 'u', &kCircumflex, false}, {0xFC, 'u', &kDiaeresis, false},
    {0xFD, 'y', &kAcute, false},     {0xFF, 'y', &kDiaeresis, false}, {0x160, 'S', &kCaron, false},
    {0x161, 's', &kCaron, false},    {0x178, 'Y', &kDiaeresis, false}, {0x17D, 'Z', &kCaron, false},
    {0x17E, 'z', &kCaron, false},
};

// Code points that only advance the pen (the loader gives them their widths): no glyph needed.
bool isSpecialWidth(uint32_t c) {
    return c == 0x20 || c == 0xA0 || (c >= 0x2000 && c <= 0x2006) || c == 0x205F || c == 0x200B || c == 0x2060;
}

// The one-byte code 0x84 (a low double quote in the Windows code page) is drawn with the glyph of U+201E.
constexpr uint32_t kLowDoubleQuoteByte = 0x84;
constexpr uint32_t kLowDoubleQuote = 0x201E;

}  // namespace

bool collectTextFace(FaceChain& faces, FontMapInput& input, std::string& error) {
    std::set<uint32_t> wanted;
    for (uint32_t c = 0x21; c <= 0x7E; ++c) {
        wanted.insert(c);
    }
    for (uint32_t c = 0xA1; c <= 0xFF; ++c) {
        wanted.insert(c);
    }
    for (size_t i = 0; i < kReferenceCodePointCount; ++i) {
        wanted.insert(kReferenceCodePoints[i]);
    }
    for (uint32_t mark : {kDotlessI, 0x2C6u, 0x2C7u, 0x2DAu, 0x2DCu}) {
        wanted.insert(mark);
    }

    std::set<uint32_t> composedCodePoints;
    for (const Composition& composition : kCompositions) {
        if (wanted.count(composition.codePoint) == 0 || faces.faceFor(composition.base) < 0) {
            continue;
        }
        uint32_t mark = 0;
        for (uint32_t candidate : *composition.marks) {
            if (faces.faceFor(candidate) >= 0) {
                mark = candidate;
                break;
            }
        }
        const bool lowerCase = composition.codePoint >= 0xE0 && composition.codePoint != 0x160 &&
                               composition.codePoint != 0x17D && composition.codePoint != 0x178;
        if (mark == 0 || (!lowerCase && faces.faceFor(composition.codePoint) == 0)) {
            continue;  // no mark, or a capital the primary face draws itself
        }
        input.composed.push_back(ComposedGlyph{composition.codePoint, composition.base, mark, composition.below});
        composedCodePoints.insert(composition.codePoint);
    }

    for (uint32_t codePoint : wanted) {
        if (isSpecialWidth(codePoint) || composedCodePoints.count(codePoint) != 0) {
            continue;
        }
        const uint32_t source = codePoint == kLowDoubleQuoteByte ? kLowDoubleQuote : codePoint;
        const int face = faces.faceFor(source);
        if (face < 0) {
            continue;
        }
        GlyphImage glyph;
        if (!faces.render(codePoint, source, face, glyph, error)) {
            return false;
        }
        input.glyphs.push_back(std::move(glyph));
    }
    input.metrics = faces.metrics();
    // Descent is the depth of "p" and ascent lies as far above the middle of "H" as the descent lies below
    // it, with the line height their sum: text centred by (ascent + descent) / 2 then has its capitals in the
    // middle, which the faces' own typographic values do not always give.
    const GlyphImage* capital = nullptr;
    const GlyphImage* descender = nullptr;
    for (const GlyphImage& glyph : input.glyphs) {
        capital = glyph.codePoint == 'H' ? &glyph : capital;
        descender = glyph.codePoint == 'p' ? &glyph : descender;
    }
    if (capital != nullptr && descender != nullptr && capital->height > 0 && descender->height > 0) {
        const double middle = (capital->top - capital->height / 2.0) / input.pixelsPerEm;
        const double depth = std::min(0.0, (descender->top - descender->height) / input.pixelsPerEm);
        input.metrics.ascent = static_cast<float>(2 * middle - depth);
        input.metrics.descent = static_cast<float>(depth);
        input.metrics.lineHeight = static_cast<float>(2 * (middle - depth));
    }
    if (input.name.empty()) {
        input.name = faces.name();
    }
    return true;
}

}  // namespace tarsk::fontmaps
