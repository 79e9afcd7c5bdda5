// The resource files of the editor's faces by font style.
#include "editor/editor-fonts.h"

namespace tarsk {

namespace {

// Family faces per font style (serif, sans), in EditorFace order; then the faces every style loads.
constexpr const char* kSerifFiles[4] = {"orggaran.png", "orggarab.png", "orggarai.png", "orggarbi.png"};
constexpr const char* kSansFiles[4] = {"hum521n.png", "hum521b.png", "hum521i.png", "hum521bi.png"};
constexpr const char* kMicrFile = "micr.png";
constexpr const char* kLcdFile = "lcddot.png";
constexpr const char* kSymbolsFile = "symbols.png";

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

}  // namespace tarsk
