// Glyphs drawn by the tool itself: the dot-matrix display face and the signal-flow blocks.
#include "drawn-glyphs.h"

#include <algorithm>
#include <cmath>

namespace tarsk::fontmaps {

// ---------------------------------------------------------------------------------------------------------
// Shapes

Shape& Shape::rect(double x0, double y0, double x1, double y1, double radius, bool cut) {
    primitives_.push_back({Kind::Rect, {x0, y0, x1, y1, radius, 0}, cut});
    if (!cut) {
        grow(x0, y0, x1, y1);
    }
    return *this;
}

Shape& Shape::circle(double cx, double cy, double radius, bool cut) {
    primitives_.push_back({Kind::Circle, {cx, cy, radius, 0, 0, 0}, cut});
    if (!cut) {
        grow(cx - radius, cy - radius, cx + radius, cy + radius);
    }
    return *this;
}

Shape& Shape::segment(double ax, double ay, double bx, double by, double halfWidth, bool cut) {
    primitives_.push_back({Kind::Segment, {ax, ay, bx, by, halfWidth, 0}, cut});
    if (!cut) {
        grow(std::min(ax, bx) - halfWidth, std::min(ay, by) - halfWidth, std::max(ax, bx) + halfWidth,
             std::max(ay, by) + halfWidth);
    }
    return *this;
}

Shape& Shape::triangle(double ax, double ay, double bx, double by, double cx, double cy, bool cut) {
    primitives_.push_back({Kind::Triangle, {ax, ay, bx, by, cx, cy}, cut});
    if (!cut) {
        grow(std::min({ax, bx, cx}), std::min({ay, by, cy}), std::max({ax, bx, cx}), std::max({ay, by, cy}));
    }
    return *this;
}

void Shape::grow(double x0, double y0, double x1, double y1) {
    left_ = std::min(left_, x0);
    bottom_ = std::min(bottom_, y0);
    right_ = std::max(right_, x1);
    top_ = std::max(top_, y1);
}

namespace {

double cross(double ax, double ay, double bx, double by, double px, double py) {
    return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}

}  // namespace

bool Shape::contains(double x, double y) const {
    bool inside = false;
    for (const Primitive& primitive : primitives_) {
        const double* p = primitive.p;
        bool hit = false;
        switch (primitive.kind) {
            case Kind::Rect: {
                // A rounded rectangle: the distance to the rectangle shrunk by the radius is at most the radius.
                const double r = p[4];
                const double dx = std::max({p[0] + r - x, 0.0, x - (p[2] - r)});
                const double dy = std::max({p[1] + r - y, 0.0, y - (p[3] - r)});
                hit = x >= p[0] && x <= p[2] && y >= p[1] && y <= p[3] && dx * dx + dy * dy <= r * r;
                break;
            }
            case Kind::Circle:
                hit = (x - p[0]) * (x - p[0]) + (y - p[1]) * (y - p[1]) <= p[2] * p[2];
                break;
            case Kind::Segment: {
                const double vx = p[2] - p[0], vy = p[3] - p[1];
                const double length2 = vx * vx + vy * vy;
                double t = length2 > 0 ? ((x - p[0]) * vx + (y - p[1]) * vy) / length2 : 0;
                t = std::clamp(t, 0.0, 1.0);
                const double dx = x - (p[0] + t * vx), dy = y - (p[1] + t * vy);
                hit = dx * dx + dy * dy <= p[4] * p[4];
                break;
            }
            case Kind::Triangle: {
                const double d1 = cross(p[0], p[1], p[2], p[3], x, y);
                const double d2 = cross(p[2], p[3], p[4], p[5], x, y);
                const double d3 = cross(p[4], p[5], p[0], p[1], x, y);
                hit = (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
                break;
            }
        }
        if (hit) {
            inside = !primitive.cut;
        }
    }
    return inside;
}

GlyphImage rasterise(const Shape& shape, uint32_t codePoint, double advanceEm, double pixelsPerEm) {
    constexpr int kSamples = 4;
    GlyphImage glyph;
    glyph.codePoint = codePoint;
    glyph.advance = advanceEm * pixelsPerEm;
    if (shape.right() < shape.left()) {
        return glyph;
    }
    glyph.left = static_cast<int>(std::floor(shape.left() * pixelsPerEm));
    glyph.top = static_cast<int>(std::ceil(shape.top() * pixelsPerEm));
    glyph.width = static_cast<int>(std::ceil(shape.right() * pixelsPerEm)) - glyph.left;
    glyph.height = glyph.top - static_cast<int>(std::floor(shape.bottom() * pixelsPerEm));
    glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.height, 0);
    for (int row = 0; row < glyph.height; ++row) {
        for (int column = 0; column < glyph.width; ++column) {
            int hits = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double x = (glyph.left + column + (sx + 0.5) / kSamples) / pixelsPerEm;
                    const double y = (glyph.top - row - (sy + 0.5) / kSamples) / pixelsPerEm;
                    hits += shape.contains(x, y) ? 1 : 0;
                }
            }
            glyph.coverage[static_cast<size_t>(row) * glyph.width + column] =
                static_cast<uint8_t>((hits * 255 + kSamples * kSamples / 2) / (kSamples * kSamples));
        }
    }
    return glyph;
}

// ---------------------------------------------------------------------------------------------------------
// Dot-matrix face

namespace {

struct DotGlyph {
    char character;
    bool descends;  // drawn one row lower: the bottom row hangs below the baseline
    const char* rows[7];
};

// Seven rows of five dots per character, top row first.
const DotGlyph kDotGlyphs[] = {
    {'!', false, {"..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."}},
    {'"', false, {".#.#.", ".#.#.", ".#.#.", ".....", ".....", ".....", "....."}},
    {'#', false, {".#.#.", ".#.#.", "#####", ".#.#.", "#####", ".#.#.", ".#.#."}},
    {'$', false, {"..#..", ".####", "#.#..", ".###.", "..#.#", "####.", "..#.."}},
    {'%', false, {"##...", "##..#", "...#.", "..#..", ".#...", "#..##", "...##"}},
    {'&', false, {".##..", "#..#.", "#.#..", ".#...", "#.#.#", "#..#.", ".##.#"}},
    {'\'', false, {"..#..", "..#..", ".#...", ".....", ".....", ".....", "....."}},
    {'(', false, {"...#.", "..#..", ".#...", ".#...", ".#...", "..#..", "...#."}},
    {')', false, {".#...", "..#..", "...#.", "...#.", "...#.", "..#..", ".#..."}},
    {'*', false, {".....", "..#..", "#.#.#", ".###.", "#.#.#", "..#..", "....."}},
    {'+', false, {".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."}},
    {',', true, {".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."}},
    {'-', false, {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'.', false, {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'/', false, {".....", "....#", "...#.", "..#..", ".#...", "#....", "....."}},
    {'0', false, {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', false, {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', false, {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', false, {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', false, {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', false, {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', false, {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', false, {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', false, {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', false, {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {':', false, {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {';', true, {".....", ".##..", ".##..", ".....", ".##..", "..#..", ".#..."}},
    {'<', false, {"...#.", "..#..", ".#...", "#....", ".#...", "..#..", "...#."}},
    {'=', false, {".....", ".....", "#####", ".....", "#####", ".....", "....."}},
    {'>', false, {".#...", "..#..", "...#.", "....#", "...#.", "..#..", ".#..."}},
    {'?', false, {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."}},
    {'@', false, {".###.", "#...#", "....#", ".##.#", "#.#.#", "#.#.#", ".###."}},
    {'A', false, {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', false, {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', false, {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', false, {"###..", "#..#.", "#...#", "#...#", "#...#", "#..#.", "###.."}},
    {'E', false, {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', false, {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', false, {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', false, {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', false, {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'J', false, {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', false, {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', false, {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', false, {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', false, {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {'O', false, {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', false, {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', false, {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', false, {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', false, {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', false, {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', false, {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', false, {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', false, {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {'X', false, {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', false, {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', false, {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'[', false, {".###.", ".#...", ".#...", ".#...", ".#...", ".#...", ".###."}},
    {'\\', false, {".....", "#....", ".#...", "..#..", "...#.", "....#", "....."}},
    {']', false, {".###.", "...#.", "...#.", "...#.", "...#.", "...#.", ".###."}},
    {'^', false, {"..#..", ".#.#.", "#...#", ".....", ".....", ".....", "....."}},
    {'_', true, {".....", ".....", ".....", ".....", ".....", ".....", "#####"}},
    {'`', false, {".#...", "..#..", "...#.", ".....", ".....", ".....", "....."}},
    {'a', false, {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'b', false, {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "####."}},
    {'c', false, {".....", ".....", ".###.", "#....", "#....", "#...#", ".###."}},
    {'d', false, {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####"}},
    {'e', false, {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'f', false, {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#..."}},
    {'g', true, {".....", ".####", "#...#", "#...#", ".####", "....#", ".###."}},
    {'h', false, {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'i', false, {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {'j', true, {"...#.", ".....", "..##.", "...#.", "...#.", "#..#.", ".##.."}},
    {'k', false, {"#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#."}},
    {'l', false, {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'m', false, {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#...#", "#...#"}},
    {'n', false, {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'o', false, {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {'p', true, {".....", "####.", "#...#", "#...#", "####.", "#....", "#...."}},
    {'q', true, {".....", ".####", "#...#", "#...#", ".####", "....#", "....#"}},
    {'r', false, {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'s', false, {".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
    {'t', false, {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##."}},
    {'u', false, {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
    {'v', false, {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'w', false, {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."}},
    {'x', false, {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"}},
    {'y', true, {".....", "#...#", "#...#", "#...#", ".####", "....#", ".###."}},
    {'z', false, {".....", ".....", "#####", "...#.", "..#..", ".#...", "#####"}},
    {'{', false, {"...#.", "..#..", "..#..", ".#...", "..#..", "..#..", "...#."}},
    {'|', false, {"..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'}', false, {".#...", "..#..", "..#..", "...#.", "..#..", "..#..", ".#..."}},
    {'~', false, {".....", ".....", ".#...", "#.#.#", "...#.", ".....", "....."}},
};

// One dot pitch is an eighth of the em: seven rows above the baseline, one below for descenders.
constexpr double kDotPitch = 1.0 / 8;
constexpr double kDotSize = 0.8 * kDotPitch;
constexpr double kDotRadius = 0.25 * kDotPitch;
constexpr int kDotColumns = 5;
constexpr int kDotRows = 7;
constexpr double kDotAdvance = 6 * kDotPitch;  // five dots and one blank column
constexpr double kDotPixelsPerEm = 24;

}  // namespace

void collectDotMatrixFace(FontMapInput& input) {
    input.pixelsPerEm = kDotPixelsPerEm;
    input.name = "Tarsk dot matrix 5x7";
    // (ascent + descent) / 2 is the middle of the seven rows above the baseline, so centred text is centred.
    input.metrics.ascent = static_cast<float>(9 * kDotPitch);
    input.metrics.descent = static_cast<float>(-2 * kDotPitch);
    input.metrics.lineHeight = static_cast<float>(11 * kDotPitch);
    input.metrics.underlinePosition = static_cast<float>(-kDotPitch);
    input.metrics.underlineThickness = static_cast<float>(kDotSize);
    input.metrics.spaceWidth = static_cast<float>(kDotAdvance);  // monospaced: a space is one cell
    for (const DotGlyph& dots : kDotGlyphs) {
        Shape shape;
        for (int row = 0; row < kDotRows; ++row) {
            const int gridRow = row + (dots.descends ? 1 : 0);  // 0 top … 7 below the baseline
            for (int column = 0; column < kDotColumns; ++column) {
                if (dots.rows[row][column] != '#') {
                    continue;
                }
                const double cx = (column + 0.5) * kDotPitch + 0.5 * kDotPitch;
                const double cy = (kDotRows - gridRow - 0.5) * kDotPitch;
                shape.rect(cx - kDotSize / 2, cy - kDotSize / 2, cx + kDotSize / 2, cy + kDotSize / 2, kDotRadius);
            }
        }
        input.glyphs.push_back(
            rasterise(shape, static_cast<uint8_t>(dots.character), kDotAdvance, input.pixelsPerEm));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Signal-flow blocks

void collectSignalFlowBlocks(FontMapInput& input) {
    // All blocks are centred on the same height, so that a line drawn there runs through each of them.
    constexpr double kAxis = kSymbolMiddle;
    constexpr double kStroke = 0.035;  // half the stroke width
    const double em = input.pixelsPerEm;

    // "A": the decay gain, an amplifier triangle pointing in the direction of the signal.
    Shape gain;
    gain.triangle(0.08, kAxis - 0.3, 0.08, kAxis + 0.3, 0.62, kAxis);
    input.glyphs.push_back(rasterise(gain, 'A', 0.7, em));

    // "F": a filter, a box with a low-pass response inside.
    Shape filter;
    filter.rect(0.05, kAxis - 0.3, 0.65, kAxis + 0.3, 0.06).rect(0.12, kAxis - 0.23, 0.58, kAxis + 0.23, 0.02, true);
    filter.segment(0.16, kAxis + 0.1, 0.34, kAxis + 0.1, kStroke * 0.8)
        .segment(0.34, kAxis + 0.1, 0.52, kAxis - 0.14, kStroke * 0.8);
    input.glyphs.push_back(rasterise(filter, 'F', 0.7, em));

    // "b": a branch point where a signal splits, a filled dot.
    Shape branch;
    branch.circle(0.12, kAxis, 0.09);
    input.glyphs.push_back(rasterise(branch, 'b', 0.24, em));

    // "c": a summing point, a ring with a plus sign.
    Shape sum;
    sum.circle(0.3, kAxis, 0.25).circle(0.3, kAxis, 0.25 - 2 * kStroke, true);
    sum.segment(0.16, kAxis, 0.44, kAxis, kStroke).segment(0.3, kAxis - 0.14, 0.3, kAxis + 0.14, kStroke);
    input.glyphs.push_back(rasterise(sum, 'c', 0.6, em));

    // "z": one delay segment, a box of three cells; consecutive segments join into a delay line.
    Shape delay;
    delay.rect(0.0, kAxis - 0.2, 1.0, kAxis + 0.2).rect(2 * kStroke, kAxis - 0.2 + 2 * kStroke, 1.0 - 2 * kStroke,
                                                        kAxis + 0.2 - 2 * kStroke, 0, true);
    delay.rect(1.0 / 3 - kStroke * 0.6, kAxis - 0.2, 1.0 / 3 + kStroke * 0.6, kAxis + 0.2)
        .rect(2.0 / 3 - kStroke * 0.6, kAxis - 0.2, 2.0 / 3 + kStroke * 0.6, kAxis + 0.2);
    input.glyphs.push_back(rasterise(delay, 'z', 1.0, em));
}

}  // namespace tarsk::fontmaps
