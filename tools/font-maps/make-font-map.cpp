// make-font-map: writes one of the editor's font maps (a greyscale PNG atlas with the FMAP glyph table).
//
//   make-font-map text OUT.png --em PX [--atlas N] [--mip-levels N] [--name TEXT] FACE[@EMBOLDEN]...
//       a text face from font files; later faces fill in glyphs the first one lacks; EMBOLDEN grows the
//       outlines by that fraction of the em
//   make-font-map lcddot OUT.png [--name TEXT]   the dot-matrix display face (drawn by the tool)
//   make-font-map symbols OUT.png [--em PX] ICON_FONT
//       the page icons at U+FDD0, U+FDD1, U+FDD3 … U+FDD6 from an icon font, and the signal-flow blocks
//
// The output depends only on the inputs: the same faces give the same bytes on every run.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drawn-glyphs.h"
#include "face-glyphs.h"
#include "font-map-builder.h"
#include "png-writer.h"

namespace tarsk::fontmaps {
namespace {

constexpr double kSymbolPixelsPerEm = 56;

// The page icons: the code point the editor draws, the icon font's code point, and what it shows.
// The editor draws the calculator and the cog at size 24 and the others at 16: those two are drawn at two
// thirds of the em, so that all icons come out the same size on the page selector.
struct PageIcon {
    uint32_t codePoint;
    uint32_t source;
    bool small;
};
const PageIcon kPageIcons[] = {
    {0xFDD0, 0xF1EC, true},   // Calculator page: a pocket calculator
    {0xFDD1, 0xF05A, false},  // Info page: "i" in a circle
    {0xFDD3, 0xF0F6, false},  // Summary page: a written sheet
    {0xFDD4, 0xF013, true},   // Settings page: a cog wheel
    {0xFDD5, 0xF02D, false},  // Library page: a book
    {0xFDD6, 0xF1DE, false},  // Editor page: sliders
};
constexpr double kSmallIconScale = 2.0 / 3.0;

struct Options {
    std::string kind;
    std::string output;
    double pixelsPerEm = 0;
    int atlasSize = 0;
    int mipLevels = 2;
    std::string name;
    std::vector<FaceSource> faces;
};

void usage() {
    std::fprintf(stderr,
                 "usage: make-font-map text OUT.png --em PX [--atlas N] [--mip-levels N] [--name TEXT] "
                 "FACE[@EMBOLDEN]...\n"
                 "       make-font-map lcddot OUT.png\n"
                 "       make-font-map symbols OUT.png [--em PX] ICON_FONT\n");
}

bool parse(int argc, char** argv, Options& options) {
    if (argc < 3) {
        return false;
    }
    options.kind = argv[1];
    options.output = argv[2];
    for (int i = 3; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--em" && hasValue) {
            options.pixelsPerEm = std::atof(argv[++i]);
        } else if (argument == "--atlas" && hasValue) {
            options.atlasSize = std::atoi(argv[++i]);
        } else if (argument == "--mip-levels" && hasValue) {
            options.mipLevels = std::atoi(argv[++i]);
        } else if (argument == "--name" && hasValue) {
            options.name = argv[++i];
        } else if (argument.rfind("--", 0) == 0) {
            return false;
        } else {
            FaceSource source;
            if (!parseFaceSource(argument, source)) {
                return false;
            }
            options.faces.push_back(source);
        }
    }
    if (options.kind == "text") {
        return options.pixelsPerEm > 0 && !options.faces.empty();
    }
    if (options.kind == "symbols") {
        return options.faces.size() == 1 && options.faces[0].embolden == 0;
    }
    return options.kind == "lcddot" && options.faces.empty() && options.pixelsPerEm == 0;  // a fixed size
}

bool collectSymbols(const Options& options, FontMapInput& input, std::string& error) {
    input.pixelsPerEm = options.pixelsPerEm > 0 ? options.pixelsPerEm : kSymbolPixelsPerEm;
    input.name = "Tarsk symbols";
    input.metrics.ascent = static_cast<float>(kSymbolAscent);
    input.metrics.descent = static_cast<float>(kSymbolDescent);
    input.metrics.lineHeight = 1.0f;
    input.metrics.underlinePosition = -0.1f;
    input.metrics.underlineThickness = 0.05f;
    input.metrics.spaceWidth = 0.25f;
    FaceChain icons;
    FaceChain smallIcons;
    if (!icons.open(options.faces, input.pixelsPerEm, error) ||
        !smallIcons.open(options.faces, input.pixelsPerEm * kSmallIconScale, error)) {
        return false;
    }
    for (const PageIcon& icon : kPageIcons) {
        FaceChain& face = icon.small ? smallIcons : icons;
        GlyphImage glyph;
        if (face.faceFor(icon.source) != 0 || !face.render(icon.codePoint, icon.source, 0, glyph, error)) {
            error = "the icon font lacks icon " + std::to_string(icon.source);
            return false;
        }
        if (icon.small) {
            // Raise the smaller icon so that its middle stays where the others' is.
            glyph.top += static_cast<int>(std::lround(kSymbolMiddle * input.pixelsPerEm * (1 - kSmallIconScale)));
        }
        input.glyphs.push_back(std::move(glyph));
    }
    collectSignalFlowBlocks(input);
    return true;
}

int run(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        usage();
        return 2;
    }
    FontMapInput input;
    input.atlasSize = options.atlasSize;
    input.mipLevels = options.mipLevels;
    std::string error;
    bool collected = true;
    FaceChain faces;
    if (options.kind == "text") {
        input.pixelsPerEm = options.pixelsPerEm;
        collected = faces.open(options.faces, options.pixelsPerEm, error) && collectTextFace(faces, input, error);
    } else if (options.kind == "symbols") {
        collected = collectSymbols(options, input, error);
    } else {
        collectDotMatrixFace(input);
    }
    if (!options.name.empty()) {
        input.name = options.name;
    }
    std::vector<uint8_t> file;
    if (!collected || !buildFontMap(input, file, error) || !writeFile(options.output, file, error)) {
        std::fprintf(stderr, "make-font-map: %s: %s\n", options.output.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace tarsk::fontmaps

int main(int argc, char** argv) { return tarsk::fontmaps::run(argc, argv); }
