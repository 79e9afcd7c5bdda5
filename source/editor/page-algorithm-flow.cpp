// The signal-flow diagram: the structure of the delay network drawn from six facts of the record (filters
// before the output, multitap, tap outputs, half life non-zero, cross mixing, inner feedback). The blocks are
// glyphs of the symbols face ("A" decay gain, "F" filter, "b" branch point, "c" summing point, "z" one delay
// segment), joined by lines with arrow heads. The taps sit at the x positions of the tap-output boxes.
#include "editor/page-algorithm-flow.h"

#include "editor/editor.h"
#include "editor/page-algorithm.h"

namespace tarsk {

namespace {

constexpr float kGlyphSize = 12.0f;
constexpr float kSegmentUnits = 3.875f;  // tap to tap, the spacing of the tap-output boxes
constexpr int kLineSegments = 4;
constexpr int kShadowLines = 3;  // copies behind the first line stand for lines 2 to 4
constexpr float kShadowStep = 2.0f;

constexpr UiColour kSignal{0.78f, 0.80f, 0.82f, 1.0f};
constexpr UiColour kFeedback{1.0f, 0.63f, 0.34f, 1.0f};
constexpr UiColour kCross{0.35f, 0.75f, 1.0f, 1.0f};
constexpr UiColour kInner{0.1f, 0.82f, 0.45f, 1.0f};
constexpr UiColour kMatrixFill{0.35f, 0.75f, 1.0f, 0.18f};
constexpr UiColour kShadowText{0.0f, 0.0f, 0.0f, 1.0f};
constexpr UiColour kClear{0.0f, 0.0f, 0.0f, 0.0f};

// Drawing in the diagram's coordinates: units relative to the open group, turned into pixels here.
class Diagram {
public:
    explicit Diagram(Editor& e) : editor(e), list(e.drawList()), u(e.unit()) {
        const UiGroup* g = e.group();
        ox = g != nullptr ? g->originX : 0.0f;
        oy = g != nullptr ? g->originY : 0.0f;
    }

    UiPoint at(float x, float y) const { return UiPoint{ox + x * u, oy + y * u}; }

    void line(float x0, float y0, float x1, float y1, const UiColour& colour) {
        list.line(at(x0, y0), at(x1, y1), colour);
    }

    // A line from (x0, y0) to (x1, y1) with an arrow head at its end.
    void arrow(float x0, float y0, float x1, float y1, const UiColour& colour) {
        line(x0, y0, x1, y1, colour);
        head(x0, y0, x1, y1, colour);
    }

    // An arrow head at (x1, y1) pointing away from (x0, y0) (horizontal or vertical runs only).
    void head(float x0, float y0, float x1, float y1, const UiColour& colour) {
        const float dx = x1 > x0 ? 1.0f : (x1 < x0 ? -1.0f : 0.0f);
        const float dy = y1 > y0 ? 1.0f : (y1 < y0 ? -1.0f : 0.0f);
        constexpr float kLength = 0.28f;
        constexpr float kHalfWidth = 0.14f;
        const float bx = x1 - dx * kLength;
        const float by = y1 - dy * kLength;
        list.fillTriangle(at(x1, y1), at(bx - dy * kHalfWidth, by + dx * kHalfWidth),
                          at(bx + dy * kHalfWidth, by - dx * kHalfWidth), colour);
    }

    // Glyphs of the symbols face centred on (x, y); width in units for the centring box.
    void glyphs(float x, float y, float width, const char* text, const UiColour& colour) {
        editor.drawText(editor.font(kFaceSymbols), text, kClear, colour, kShadowText, ox + (x - width * 0.5f) * u,
                        oy + (y - 0.5f) * u, width * u, u, kGlyphSize * editor.displayScale(), kAlignCentre);
    }

    // A caption in the micr face, centred on (x, y).
    void caption(float x, float y, float width, const char* text, const UiColour& colour, int align) {
        editor.drawText(editor.font(kFaceMicr), text, kClear, colour, kShadowText, ox + (x - width * 0.5f) * u,
                        oy + (y - 0.5f) * u, width * u, u, 10.0f * editor.displayScale(), align);
    }

    void box(float x, float y, float halfWidth, float halfHeight, const UiColour& fill, const UiColour& edge) {
        // The fill one layer down, under the lines that cross it.
        list.setLayer(list.layer() - 1);
        list.fillRect(UiRect{ox + x * u, oy + y * u, halfWidth * u, halfHeight * u}, fill);
        list.setLayer(list.nextLayer());
        line(x - halfWidth, y - halfHeight, x + halfWidth, y - halfHeight, edge);
        line(x + halfWidth, y - halfHeight, x + halfWidth, y + halfHeight, edge);
        line(x + halfWidth, y + halfHeight, x - halfWidth, y + halfHeight, edge);
        line(x - halfWidth, y + halfHeight, x - halfWidth, y - halfHeight, edge);
    }

    float shadowUnits() const { return kShadowStep / u; }

private:
    Editor& editor;
    DrawList& list;
    float u;
    float ox = 0.0f;
    float oy = 0.0f;
};

UiColour faded(const UiColour& c, float alpha) { return UiColour{c.r, c.g, c.b, c.a * alpha}; }

}  // namespace

void drawSignalFlow(Editor& editor, const UiRect& box) {
    const ProgramRecord& record = editor.program();
    const uint32_t flags = record.u(word::flags);
    const bool multitap = (flags & flag::multitap) != 0;
    const bool filtersFirst = (flags & flag::filtersBeforeOutput) != 0;
    const bool feedback = record.f(word::halfLife) != 0.0f;
    const bool crossMixing = multitap && (flags & flag::crossMixing) != 0;
    const bool innerFeedback = multitap && feedback && (flags & flag::innerFeedback) != 0;
    const bool tapOutputs = multitap && (flags & flag::tapOutputs) != 0;

    const float u = editor.unit();
    Diagram d(editor);
    const float left = box.left() / u;
    const float right = box.right() / u;
    const float cy = box.cy / u;
    const float lineY = cy + 0.6f;   // the delay line
    const float innerY = cy + 1.2f;  // inner feedback loops
    const float topY = cy + 1.6f;    // the matrix and the feedback return
    const float outY = cy - 1.2f;    // the output bus
    const float shift = tapBoxShift(record);

    float boundary[kLineSegments + 1];
    for (int j = 0; j <= kLineSegments; ++j) {
        boundary[j] = kTapBoxX[0] + shift + kSegmentUnits * static_cast<float>(j - 1);
    }
    const float lineStart = boundary[0];
    const float lineEnd = boundary[kLineSegments];
    const float sumX = lineStart - 0.9f;

    // Input.
    d.caption(left + 0.6f, lineY, 1.2f, "in", kSignal, kAlignLeft);
    if (feedback) {
        d.arrow(left + 1.2f, lineY, sumX - 0.2f, lineY, kSignal);
        d.glyphs(sumX, lineY, 0.6f, "c", kSignal);
        d.arrow(sumX + 0.2f, lineY, lineStart, lineY, kSignal);
    } else {
        d.arrow(left + 1.2f, lineY, lineStart, lineY, kSignal);
    }

    // The four lines: the first in front, the other three as shadows behind it.
    for (int s = kShadowLines; s >= 0; --s) {
        const float offset = d.shadowUnits() * static_cast<float>(s);
        const UiColour colour = s == 0 ? kSignal : faded(kSignal, 0.35f);
        for (int j = 0; j < kLineSegments; ++j) {
            const float mid = (boundary[j] + boundary[j + 1]) * 0.5f + offset;
            d.line(boundary[j] + offset, lineY + offset, mid - 0.9f, lineY + offset, colour);
            d.glyphs(mid, lineY + offset, 1.8f, "zzz", colour);
            d.line(mid + 0.9f, lineY + offset, boundary[j + 1] + offset, lineY + offset, colour);
        }
    }
    d.caption(lineStart + 1.0f, lineY - 0.55f, 2.0f, "4 lines", faded(kSignal, 0.8f), kAlignCentre);

    // Taps, inner feedback loops, cross mixing and tap outputs.
    if (multitap) {
        for (int j = 1; j < kLineSegments; ++j) {
            d.glyphs(boundary[j], lineY, 0.4f, "b", kSignal);
        }
    }
    if (innerFeedback) {
        for (int j = 0; j < kLineSegments; ++j) {
            const float from = boundary[j + 1] - 0.25f;
            const float to = boundary[j] + 0.35f;
            d.line(from, lineY, from, innerY, kInner);
            d.line(from, innerY, to, innerY, kInner);
            d.arrow(to, innerY, to, lineY + 0.2f, kInner);
        }
        d.caption((boundary[2] + boundary[3]) * 0.5f, lineY - 0.55f, 3.0f, "inner feedback", kInner, kAlignCentre);
    }

    // The matrix on the top path.
    const float matrixX = (lineStart + lineEnd) * 0.5f;
    if (feedback || crossMixing) {
        d.box(matrixX, topY, 1.6f, 0.3f, kMatrixFill, kCross);
        d.caption(matrixX, topY, 3.2f, "matrix", kSignal, kAlignCentre);
    }
    if (crossMixing) {
        for (int j = 1; j < kLineSegments; ++j) {
            const float x = boundary[j] + 0.12f;
            const float top = x > matrixX - 1.6f && x < matrixX + 1.6f ? topY - 0.3f : topY;
            d.arrow(x, lineY + 0.15f, x, top, kCross);
        }
    }
    if (tapOutputs) {
        // Down to the level boxes, and from them onto the output bus.
        for (int j = 1; j < kLineSegments; ++j) {
            d.arrow(boundary[j], lineY - 0.15f, boundary[j], cy + 0.05f, kSignal);
            d.line(boundary[j], cy - 0.8f, boundary[j], outY, kSignal);
        }
    }

    // After the line: the filters before or after the output tap, the decay only with feedback.
    float x = lineEnd;
    float outX = 0.0f;
    auto block = [&](const char* glyph) {
        d.line(x, lineY, x + 0.2f, lineY, kSignal);
        d.glyphs(x + 0.45f, lineY, 0.7f, glyph, kSignal);
        x += 0.7f;
    };
    auto outputTap = [&]() {
        d.line(x, lineY, x + 0.3f, lineY, kSignal);
        d.glyphs(x + 0.3f, lineY, 0.4f, "b", kSignal);
        outX = x + 0.3f;
        x += 0.5f;
    };
    if (filtersFirst) {
        block("F");
        if (feedback) {
            block("A");
        }
        outputTap();
    } else {
        outputTap();
        if (feedback) {
            block("F");
            block("A");
        }
    }

    // Output bus and label.
    const float outLabel = right - 1.2f;
    d.line(outX, lineY - 0.15f, outX, outY, kSignal);
    const float busStart = tapOutputs ? boundary[1] : outX;
    d.arrow(busStart, outY, outLabel, outY, kSignal);
    d.caption(outLabel + 0.6f, outY, 1.2f, "out", kSignal, kAlignLeft);

    // Feedback: back over the matrix into the summing point.
    if (feedback) {
        const float turn = x + 0.4f;
        d.line(x, lineY, turn, lineY, kFeedback);
        d.line(turn, lineY, turn, topY, kFeedback);
        d.arrow(turn, topY, matrixX + 1.6f, topY, kFeedback);
        d.line(matrixX - 1.6f, topY, sumX, topY, kFeedback);
        d.arrow(sumX, topY, sumX, lineY + 0.2f, kFeedback);
    }
}

}  // namespace tarsk
