// The faces and images the editor loads from the plug-in's resources, by font style.
#pragma once

namespace tarsk {

// The faces the editor loads, in their order in the editor's font table.
enum EditorFace : int {
    kFaceRegular = 0,
    kFaceBold,
    kFaceItalic,
    kFaceBoldItalic,
    kFaceMicr,
    kFaceLcd,
    kFaceSymbols,
    kEditorFaceCount
};

// Font styles of the editor settings.
constexpr int kFontStyleSerif = 1;
constexpr int kFontStyleSans = 2;
constexpr int kFontStyleNone = 3;

// The resource file of a face in a font style, or null when the style loads no such face.
const char* editorFontFile(int fontStyle, EditorFace face);
// Width scale the sans family gives its regular and italic faces.
constexpr float kSansWidthScale = 1.075f;
inline constexpr const char* kMetalImageFile = "metal.png";
inline constexpr const char* kLogoImageFile = "tarsk_orange_32.png";

// The title the header shows.
inline constexpr const char* kEditorTitle = "TARSKVERB Feedback Delay Network Processor";

}  // namespace tarsk
