// Glyphs rendered from font files with FreeType: a primary face with fallbacks, each optionally emboldened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "font-map-builder.h"

namespace tarsk::fontmaps {

struct FaceSource {
    std::string path;
    double embolden = 0;  // outline growth as a fraction of the em (0: the face as it is)
};

// Parses "PATH" or "PATH@EMBOLDEN". Answers false for a malformed strength.
bool parseFaceSource(const std::string& text, FaceSource& out);

class FaceChain {
public:
    FaceChain();
    ~FaceChain();
    FaceChain(const FaceChain&) = delete;
    FaceChain& operator=(const FaceChain&) = delete;

    bool open(const std::vector<FaceSource>& sources, double pixelsPerEm, std::string& error);

    // Index of the first face that has a glyph for the code point, or -1.
    int faceFor(uint32_t codePoint) const;
    // Renders the glyph of `source` in the given face and files it under `codePoint`.
    bool render(uint32_t codePoint, uint32_t source, int face, GlyphImage& out, std::string& error);
    // Line metrics of the primary face, in em; the space width from its space glyph.
    FontMetrics metrics() const;
    // Family and style of the primary face ("emboldened" when it is).
    std::string name() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The glyphs of a text face: printable ASCII, Latin-1, the referenced code points the faces have, and the
// accented letters built from a base letter and a spacing mark (all lower-case ones, and the capitals the
// primary face lacks).
bool collectTextFace(FaceChain& faces, FontMapInput& input, std::string& error);

}  // namespace tarsk::fontmaps
