// EditorHeaderView: fonts and images with the context, the header and the sample lines.
#include "editor/editor-header-view.h"

#include <algorithm>
#include <cmath>

#include "tarsklib/gl-event.h"
#include "tarsklib/gl-root-view.h"
#include "tarsklib/resource.h"

namespace tarsk {

namespace {

// Family faces per font style (serif, sans), in EditorFace order; then the faces every style loads.
constexpr const char* kSerifFiles[4] = {"orggaran.png", "orggarab.png", "orggarai.png", "orggarbi.png"};
constexpr const char* kSansFiles[4] = {"hum521n.png", "hum521b.png", "hum521i.png", "hum521bi.png"};
constexpr const char* kMicrFile = "micr.png";
constexpr const char* kLcdFile = "lcddot.png";
constexpr const char* kSymbolsFile = "symbols.png";

constexpr float kGammaEncode = 0.4545f;
float gammaEncoded(float value) { return std::pow(value, kGammaEncode); }

constexpr UiColour kBackground{0.13f, 0.14f, 0.16f, 1.0f};
constexpr float kHeaderUnits = 4.0f;
constexpr float kMetalBottomGrey = 0.66f;  // linear; the header is tinted from this at its bottom ...
constexpr float kMetalTopGrey = 0.95f;     // ... to this at its top
constexpr UiColour kBevelLight{1.0f, 1.0f, 1.0f, 0.45f};
constexpr UiColour kBevelDark{0.0f, 0.0f, 0.0f, 0.5f};
constexpr UiRect kWholeTexture{0.5f, 0.5f, 0.5f, 0.5f};

// Caption style: translucent black text with a white shadow.
constexpr UiColour kCaptionText{0.0f, 0.0f, 0.0f, 0.5f};
constexpr UiColour kCaptionShadow{1.0f, 1.0f, 1.0f, 1.0f};
constexpr float kTitleSize = 10.0f;
constexpr float kTitleLeftUnits = 0.25f;
constexpr float kTitleLineUnits = 3.0f;  // the header's upper line: y 3u … 4u

// Plain style: light grey text with a black shadow; LCD style: green on a faint green box.
constexpr float kPlainGrey = 0.75f;
constexpr UiColour kOpaqueBlack{0.0f, 0.0f, 0.0f, 1.0f};
constexpr UiColour kLcdText{0.4f, 1.0f, 0.14f, 1.0f};
constexpr UiColour kLcdBackground{0.4f, 1.0f, 0.14f, 0.1f};
constexpr UiColour kNoShadow{0.0f, 0.0f, 0.0f, 0.0f};

// One line of sample text per face, from the top of the content area down.
struct SampleLine {
    EditorFace face;
    const char* text;
    float size;
};
constexpr SampleLine kSamples[] = {
    {kFaceRegular, "Regular: half life 2.50 s, dry 100 %, wet &minus;6 dB &mdash; gr&ouml;&szlig;er Raum", 14.0f},
    {kFaceItalic, "Italic: a room that rings like a cathedral, caf\xC3\xA9 cr\xC3\xA8me", 14.0f},
    {kFaceBold, "Bold: Feedback Delay Network \xC3\x80\xC3\x89\xC3\x8E\xC3\x95\xC3\x9C", 14.0f},
    {kFaceBoldItalic, "Bold italic: freeze &amp; bypass, &frac12; &infin;", 14.0f},
    {kFaceMicr, "micr: 0123456789 &plusmn;12.5 dB 440 Hz &times;2", 14.0f},
    {kFaceLcd, "LCD 12:34.56 -6.0 dB", 14.0f},
    // The six page icons, then the signal-flow blocks: amplifier, filter, branch, sum, delay line.
    {kFaceSymbols, "\xEF\xB7\x90 \xEF\xB7\x91 \xEF\xB7\x93 \xEF\xB7\x94 \xEF\xB7\x95 \xEF\xB7\x96   b A F c zzzz b", 16.0f},
};
constexpr float kSampleLeftUnits = 1.0f;
constexpr float kSampleTopUnits = 15.0f;  // bottom of the first line's box
constexpr float kSampleStepUnits = 1.5f;

// Layers: background, metal, bevel, text.
constexpr int32_t kLayerBackground = 0;
constexpr int32_t kLayerMetal = 1;
constexpr int32_t kLayerBevel = 2;
constexpr int32_t kLayerText = 3;

UiRect boxOf(float left, float bottom, float right, float top) {
    return UiRect{(left + right) * 0.5f, (bottom + top) * 0.5f, (right - left) * 0.5f, (top - bottom) * 0.5f};
}

}  // namespace

const char* editorFontFile(int fontStyle, EditorFace face) {
    switch (face) {
        case kFaceRegular:
        case kFaceBold:
        case kFaceItalic:
        case kFaceBoldItalic:
            if (fontStyle == kFontStyleSerif) {
                return kSerifFiles[face];
            }
            return fontStyle == kFontStyleSans ? kSansFiles[face] : nullptr;
        case kFaceMicr:
            return kMicrFile;
        case kFaceLcd:
            return kLcdFile;
        case kFaceSymbols:
            return kSymbolsFile;
        default:
            return nullptr;
    }
}

EditorHeaderView::EditorHeaderView(GlRootView& r) : root(r) { flags = viewflag::kTakesButtons; }

void EditorHeaderView::setFonts(int fontStyle, float lodBias) {
    style = fontStyle;
    bias = std::isfinite(lodBias) ? lodBias : 0.0f;
}

void EditorHeaderView::contextCreated(int /*openWindows*/) {
    unloadAll();  // a rebuild brings the context back without a release in between
    TextureFactory* textures = root.renderer();
    if (textures == nullptr) {
        return;  // nothing can be drawn: keep nothing
    }
    for (int i = 0; i < kEditorFaceCount; ++i) {
        const char* file = editorFontFile(style, static_cast<EditorFace>(i));
        std::unique_ptr<MemoryStream> stream = file != nullptr ? openResource(file) : nullptr;
        if (stream != nullptr) {
            fonts[i].load(*stream, bias, textures);  // a refused font stays empty and draws nothing
        }
    }
    if (style == kFontStyleSans) {
        fonts[kFaceRegular].setWidthScale(kSansWidthScale);
        fonts[kFaceItalic].setWidthScale(kSansWidthScale);
    }
    if (std::unique_ptr<MemoryStream> stream = openResource(kMetalImageFile)) {
        metalImage.load(*stream, textures);
    }
    if (std::unique_ptr<MemoryStream> stream = openResource(kLogoImageFile)) {
        logoImage.load(*stream, textures);
    }
}

void EditorHeaderView::contextReleased(int /*openWindows*/) { unloadAll(); }

void EditorHeaderView::unloadAll() {
    for (UiFontmap& f : fonts) {
        f.unload();
    }
    metalImage.unload();
    logoImage.unload();
}

void EditorHeaderView::drawText(DrawList& list, EditorFace face, const char* text, float left, float bottom, float height,
                                float size, const UiColour& colour, const UiColour& shadow) {
    const UiFontmap& f = fonts[face];
    if (!f.loaded() || f.texture() == 0) {
        return;
    }
    float y = std::floor(bottom + std::floor(height / 2.0f)) - (f.ascent() + f.descent()) * size / 2.0f;
    float x = left + 2.0f;
    if (shadow.a > 0.0f) {
        f.drawString(list, x + 1.0f, y - 1.0f, shadow, size, text);
    }
    f.drawString(list, x, y, colour, size, text);
}

void EditorHeaderView::draw() { drawInto(root.drawList(), root.renderer()); }

void EditorHeaderView::drawInto(DrawList& list, Renderer* renderer) {
    if (renderer == nullptr) {
        return;
    }
    float w = width();
    float header = kHeaderUnits * unit;
    float scale = unit / 20.0f;

    list.setLayer(kLayerBackground);
    list.fillRect(boxOf(0.0f, 0.0f, w, height()), kBackground);

    list.setLayer(kLayerMetal);
    float bottomGrey = gammaEncoded(kMetalBottomGrey);
    float topGrey = gammaEncoded(kMetalTopGrey);
    UiColour bottomTint{bottomGrey, bottomGrey, bottomGrey, 1.0f};
    UiColour topTint{topGrey, topGrey, topGrey, 1.0f};
    if (metalImage.loaded()) {
        list.texturedRect(boxOf(0.0f, 0.0f, w, header), bottomTint, topTint, metalImage.texture(), kWholeTexture);
    } else {
        list.gradientRect(boxOf(0.0f, 0.0f, w, header), bottomTint, topTint);
    }
    list.setLayer(kLayerBevel);
    float edge = std::max(1.0f, std::round(scale));
    list.fillRect(boxOf(0.0f, header - edge, w, header), kBevelLight);
    list.fillRect(boxOf(0.0f, 0.0f, w, edge), kBevelDark);

    list.setLayer(kLayerText);
    drawText(list, kFaceMicr, kEditorTitle, kTitleLeftUnits * unit, kTitleLineUnits * unit, unit, kTitleSize * scale,
             kCaptionText, kCaptionShadow);

    float plain = gammaEncoded(kPlainGrey);
    UiColour plainText{plain, plain, plain, 1.0f};
    float bottom = kSampleTopUnits * unit;
    for (const SampleLine& line : kSamples) {
        if (line.face == kFaceLcd && fonts[kFaceLcd].loaded()) {
            float size = line.size * scale;
            float right = kSampleLeftUnits * unit + 4.0f + fonts[kFaceLcd].textWidth(line.text) * size;
            list.setLayer(kLayerText - 1);
            list.fillRect(boxOf(kSampleLeftUnits * unit, bottom, right, bottom + unit), kLcdBackground);
            list.setLayer(kLayerText);
            drawText(list, line.face, line.text, kSampleLeftUnits * unit, bottom, unit, size, kLcdText, kNoShadow);
        } else {
            drawText(list, line.face, line.text, kSampleLeftUnits * unit, bottom, unit, line.size * scale, plainText,
                     kOpaqueBlack);
        }
        bottom -= kSampleStepUnits * unit;
    }
    list.flush(renderer);
}

bool EditorHeaderView::key(bool /*down*/, uint32_t code) {
    if (keysLogged < kKeyLogEntries) {
        keyLog[keysLogged++] = code;
    }
    return (code & key::kCharacterTag) == key::kCharacterTag;
}

void EditorHeaderView::notify(uint32_t /*code*/) { ++noticeCount; }

void EditorHeaderView::leftButton(bool pressed, float /*x*/, float /*y*/) {
    if (pressed) {
        ++clickCount;
    }
}

}  // namespace tarsk
