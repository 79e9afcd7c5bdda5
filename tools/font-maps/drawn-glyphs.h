// Glyphs drawn by the tool itself: the dot-matrix display face and the signal-flow blocks of the symbol font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "font-map-builder.h"

namespace tarsk::fontmaps {

// A shape in em units (y up) made of primitives, each adding to or cutting from what came before.
class Shape {
public:
    Shape& rect(double x0, double y0, double x1, double y1, double radius = 0, bool cut = false);
    Shape& circle(double cx, double cy, double radius, bool cut = false);
    Shape& segment(double ax, double ay, double bx, double by, double halfWidth, bool cut = false);
    Shape& triangle(double ax, double ay, double bx, double by, double cx, double cy, bool cut = false);

    bool contains(double x, double y) const;
    // Bounds of everything added, in em.
    double left() const { return left_; }
    double right() const { return right_; }
    double bottom() const { return bottom_; }
    double top() const { return top_; }

private:
    enum class Kind { Rect, Circle, Segment, Triangle };
    struct Primitive {
        Kind kind;
        double p[6];
        bool cut;
    };
    void grow(double x0, double y0, double x1, double y1);

    std::vector<Primitive> primitives_;
    double left_ = 1e9, right_ = -1e9, bottom_ = 1e9, top_ = -1e9;
};

// Rasterises a shape with 4 × 4 samples per pixel at the given size.
GlyphImage rasterise(const Shape& shape, uint32_t codePoint, double advanceEm, double pixelsPerEm);

// The dot-matrix face: printable ASCII as 5 × 7 dots (descenders one row lower), monospaced.
void collectDotMatrixFace(FontMapInput& input);

// The middle line of the symbol font in em above the baseline, (ascent + descent) / 2: the icons' middle,
// and the height at which the signal-flow blocks are centred.
constexpr double kSymbolMiddle = 0.357;
constexpr double kSymbolAscent = 0.857;
constexpr double kSymbolDescent = -0.143;

// The signal-flow blocks of the symbol font: "A" gain, "F" filter, "b" branch point, "c" summing point,
// "z" delay segment.
void collectSignalFlowBlocks(FontMapInput& input);

}  // namespace tarsk::fontmaps
