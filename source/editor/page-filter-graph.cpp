// The Filter page's decay graph and transfer curve.
//
// The decay graph is a height field: 96 frequency columns along x (20 Hz at x = 2, 20 kHz at x = -2),
// time along the depth (z = 0.5 - 1.5 t for t = 0 ... 4) and the level in dB upwards (y = dB / 40).
// It is rotated by the view point, projected in perspective, lit by a point light and drawn back to
// front as shaded quads; the colour of a column follows the inverter's phase at its frequency.
#include "editor/page-filter-graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/analysis-strip.h"
#include "editor/editor.h"
#include "editor/tab-backdrop.h"
#include "engine/coefficients.h"
#include "engine/cook.h"
#include "engine/loop.h"
#include "engine/modulation.h"

namespace tarsk {

namespace {

constexpr double kLog2Thousand = 9.965784;  // log2 1000: 60 dB
constexpr double kLowestHz = 20.0;
constexpr double kFrequencyDecades = 3.0;
constexpr float kTimeUnits = 4.0f;
constexpr float kTimeStep = 1.0f / 7.0f;
constexpr float kFloorDb = -60.0f;
constexpr float kDbPerY = 40.0f;
constexpr float kMaxRate = 1.0e3f;  // a loop without feedback at some frequency: gone at once
constexpr float kPiF = 3.14159265f;

// The scene's centre (moved to the origin before turning) and the camera.
constexpr float kCentreY = -0.75f;
constexpr float kCentreZ = -2.5f;
constexpr float kCameraDistance = 9.0f;
constexpr float kFocal = 2.0f;
constexpr float kLight[3] = {-2.5f, 3.0f, 3.5f};  // point light, world coordinates
constexpr float kAmbient = 0.3f;
constexpr float kDiffuse = 0.7f;

// Column colours by the inverter's phase: in phase, and at half a turn either way.
constexpr float kInPhase[3] = {0.25f, 0.7f, 1.0f};
constexpr float kLagging[3] = {1.0f, 0.45f, 0.12f};
constexpr float kLeading[3] = {1.0f, 0.25f, 0.75f};

constexpr UiColour kGridColour{0.55f, 0.6f, 0.7f, 0.5f};
constexpr UiColour kCurveColour{1.0f, 0.63f, 0.34f, 1.0f};
constexpr UiColour kAxisColour{0.5f, 0.5f, 0.55f, 0.6f};
constexpr UiColour kReferenceColour{0.4f, 0.45f, 0.6f, 0.5f};

constexpr int kGridVertexFloats = kDecayGraphVertexFloats;
constexpr int kColumns = kDecayGraphFrequencies;
constexpr int kRows = kDecayGraphTimeSteps + 1;
constexpr int kQuads = (kColumns - 1) * kDecayGraphTimeSteps;
constexpr size_t kQuadPositionFloats = static_cast<size_t>(kQuads) * 4 * 2;
constexpr size_t kQuadColourFloats = static_cast<size_t>(kQuads) * 4 * 4;
static_assert(kQuadPositionFloats + kQuadColourFloats <= kCurveScratchFloats, "the decay graph fits the curve scratch");

constexpr int kCurvePoints = 129;
constexpr float kCurveInput = 1.5f;  // the transfer curve spans inputs -1.5 ... 1.5

struct Vec3 {
    float x, y, z;
};

Vec3 sub(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 unit(Vec3 a) {
    const float n = std::sqrt(dot(a, a));
    return n > 0.0f ? Vec3{a.x / n, a.y / n, a.z / n} : Vec3{0.0f, 1.0f, 0.0f};
}

// The view: rotations and the projection into a box in window pixels.
struct GraphView {
    float ca, sa, cb, sb;
    UiRect box;

    GraphView(float p, float q, const UiRect& windowBox) : box(windowBox) {
        const float a = p * kPiF * 0.5f;
        const float b = -q * kPiF * 0.5f;
        ca = std::cos(a);
        sa = std::sin(a);
        cb = std::cos(b);
        sb = std::sin(b);
    }
    // GraphView-space point of a world point.
    Vec3 turn(Vec3 w) const {
        const float x = w.x, y = w.y - kCentreY, z = w.z - kCentreZ;
        const float x1 = x * ca + z * sa;
        const float z1 = -x * sa + z * ca;
        return {x1, y * cb - z1 * sb, y * sb + z1 * cb};
    }
    UiPoint project(Vec3 w) const {
        const Vec3 v = turn(w);
        const float depth = std::max(kCameraDistance - v.z, 0.1f);
        return {box.cx + v.x / depth * kFocal * box.hw, box.cy + v.y / depth * kFocal * box.hw};
    }
};

float frequencyX(double hz) { return static_cast<float>(2.0 - 4.0 * std::log10(hz / kLowestHz) / kFrequencyDecades); }
float timeZ(float t) { return 0.5f - 1.5f * t; }
float levelY(float db) { return db / kDbPerY; }

// A thin filled rectangle between two projected points.
void gridLine(DrawList& list, const GraphView& view, Vec3 a, Vec3 b) {
    const UiPoint pa = view.project(a);
    const UiPoint pb = view.project(b);
    float nx = pb.y - pa.y, ny = pa.x - pb.x;
    const float n = std::sqrt(nx * nx + ny * ny);
    if (!(n > 0.0f)) {
        return;
    }
    nx *= 0.5f / n;
    ny *= 0.5f / n;
    const float positions[8] = {pa.x - nx, pa.y - ny, pb.x - nx, pb.y - ny, pb.x + nx, pb.y + ny, pa.x + nx, pa.y + ny};
    float colours[16];
    for (int k = 0; k < 4; ++k) {
        colours[4 * k] = kGridColour.r;
        colours[4 * k + 1] = kGridColour.g;
        colours[4 * k + 2] = kGridColour.b;
        colours[4 * k + 3] = kGridColour.a;
    }
    list.coloredQuads(4, positions, colours);
}

void axisLabel(Editor& editor, const GraphView& view, Vec3 at, const char* text) {
    const float u = editor.unit();
    const UiPoint p = view.project(at);
    const UiPoint origin = inWindow(editor, UiPoint{0.0f, 0.0f});
    editor.label(0, centredRect(p.x - origin.x, p.y - origin.y, 2.0f * u, 0.8f * u), text, 12.0f, kAlignCentre);
}

void drawAxes(Editor& editor, const GraphView& view) {
    DrawList& list = editor.drawList();
    const float floorY = levelY(kFloorDb);
    const float front = timeZ(0.0f), back = timeZ(kTimeUnits);
    static constexpr double kDecadeHz[] = {20.0, 200.0, 2000.0, 20000.0};
    static constexpr const char* kDecadeText[] = {"20", "200", "2k", "20k"};
    for (int d = 0; d < 4; ++d) {
        const float x = frequencyX(kDecadeHz[d]);
        gridLine(list, view, {x, floorY, front}, {x, floorY, back});
    }
    static constexpr float kLevels[] = {20.0f, 0.0f, -20.0f, -40.0f, -60.0f};
    static constexpr const char* kLevelText[] = {"20", "0", "&minus; 20", "&minus; 40", "&minus; 60"};
    for (int t = 0; t <= 4; ++t) {
        const float z = timeZ(static_cast<float>(t));
        gridLine(list, view, {2.0f, floorY, z}, {-2.0f, floorY, z});
    }
    for (float db : kLevels) {
        gridLine(list, view, {2.0f, levelY(db), back}, {-2.0f, levelY(db), back});
    }
    editor.useStyle(kStylePlainMicr);
    for (int d = 0; d < 4; ++d) {
        axisLabel(editor, view, {frequencyX(kDecadeHz[d]), floorY - 0.2f, front + 0.3f}, kDecadeText[d]);
    }
    for (int k = 0; k < 5; ++k) {
        axisLabel(editor, view, {2.45f, levelY(kLevels[k]), back}, kLevelText[k]);
    }
    static constexpr const char* kTimeText[] = {"0", "1", "2", "3", "4"};
    for (int t = 0; t <= 4; ++t) {
        axisLabel(editor, view, {-2.4f, floorY, timeZ(static_cast<float>(t))}, kTimeText[t]);
    }
}

void phaseColour(double phase, float out[3]) {
    const float amount = static_cast<float>(std::min(std::fabs(phase), 1.0));
    const float* far = phase < 0.0 ? kLeading : kLagging;
    for (int c = 0; c < 3; ++c) {
        out[c] = kInPhase[c] + (far[c] - kInPhase[c]) * amount;
    }
}

// The surface's vertices for one view: each column's points from its decay rate, lit by the point
// light through the normal across its neighbours, projected, coloured by the inverter's phase.
void lightGrid(const DecayGraphColumns& columns, const GraphView& v, float* grid) {
    Vec3 world[3][kRows];  // columns i - 1, i, i + 1 for the normals
    auto columnPoints = [&](int i, Vec3* out) {
        const int c = std::clamp(i, 0, kColumns - 1);
        const double rate = columns.rate[c];
        const float x = 2.0f - 4.0f * static_cast<float>(c) / 95.0f;
        for (int r = 0; r < kRows; ++r) {
            const float t = static_cast<float>(r) * kTimeStep;
            const float db = std::max(static_cast<float>(-60.0 * rate) * t, kFloorDb);
            out[r] = Vec3{x, levelY(db), timeZ(t)};
        }
    };
    columnPoints(-1, world[0]);
    columnPoints(0, world[1]);
    const Vec3 light{kLight[0], kLight[1], kLight[2]};
    for (int i = 0; i < kColumns; ++i) {
        columnPoints(i + 1, world[2]);
        float base[3];
        phaseColour(columns.phase[i], base);
        for (int r = 0; r < kRows; ++r) {
            const Vec3 p = world[1][r];
            const Vec3 across = sub(world[2][r], world[0][r]);
            const Vec3 along = sub(world[1][std::min(r + 1, kRows - 1)], world[1][std::max(r - 1, 0)]);
            Vec3 n = unit(cross(along, across));
            if (n.y < 0.0f) {
                n = Vec3{-n.x, -n.y, -n.z};
            }
            const float shade = kAmbient + kDiffuse * std::max(dot(n, unit(sub(light, p))), 0.0f);
            const UiPoint screen = v.project(p);
            float* g = grid + (static_cast<size_t>(i) * kRows + r) * kGridVertexFloats;
            g[0] = screen.x;
            g[1] = screen.y;
            g[2] = std::min(base[0] * shade, 1.0f);
            g[3] = std::min(base[1] * shade, 1.0f);
            g[4] = std::min(base[2] * shade, 1.0f);
        }
        for (int r = 0; r < kRows; ++r) {
            world[0][r] = world[1][r];
            world[1][r] = world[2][r];
        }
    }
}

}  // namespace

double decayGraphFrequency(int i) { return 20000.0 * std::pow(10.0, kFrequencyDecades * i / 95.0 - 3.0); }

double loopDecayRate(const EngineState& s, double hz) {
    if (!s.decayActive || !(s.sampleRate > 0.0f)) {
        return 0.0;
    }
    const double f = hz / s.sampleRate;
    double sum = 0.0;
    for (int i = 0; i < kLines; ++i) {
        double pass = 1.0;
        for (int k = 0; k < (s.multitap ? kSegments : 1); ++k) {
            pass *= s.segmentGainCooked[k][i] * highcutMagnitude(s.highcutBlend[k][i], f) *
                    lowcutMagnitude(s.lowcutCoef[k][i], f) *
                    std::sqrt(std::max(midPowerResponse(s.midC0[k][i], s.midC1[k][i], s.midC2[k][i], f), 0.0));
        }
        const double seconds = std::max(static_cast<double>(s.lengthSamples[i]), 1.0) / s.sampleRate;
        const double rate = pass > 0.0 ? -std::log2(std::fabs(pass)) / seconds / kLog2Thousand : kMaxRate;
        sum += std::clamp(rate, -static_cast<double>(kMaxRate), static_cast<double>(kMaxRate));
    }
    return sum / kLines;
}

double inverterPhase(const EngineState& s, double hz) {
    const double a = inverterCoefficient(s.inverterBase, 0.0f);
    const double w = kTwoPi * hz / (s.sampleRate > 0.0f ? s.sampleRate : 44100.0f);
    return std::atan2((1.0 - a * a) * std::sin(w), 2.0 * a + (1.0 + a * a) * std::cos(w)) / kPi;
}

void drawDecayGraph(Editor& editor, uint32_t id, const UiRect& box) {
    float* view = editor.decayView();
    const UiPoint turned = editor.xyHandle(id, box, UiPoint{view[0], view[1]}, 1.0f, 5.0f, kHandleClampY);
    view[0] = turned.x;
    view[1] = turned.y;

    AnalysisStrip& analysis = editor.analysis();
    const EngineState& s = analysis.cooked(editor);
    DecayGraphColumns& columns = editor.decayColumns();
    if (columns.cook != analysis.cookCount()) {
        for (int i = 0; i < kColumns; ++i) {
            columns.rate[i] = loopDecayRate(s, decayGraphFrequency(i));
            columns.phase[i] = inverterPhase(s, decayGraphFrequency(i));
        }
        columns.cook = analysis.cookCount();
    }
    const UiRect windowBox = inWindow(editor, box);
    const GraphView v(view[0], view[1], windowBox);
    const LayerAbove above(editor.drawList());
    editor.setClip(box);
    drawAxes(editor, v);

    // The surface's vertices: projected positions and lit colours.
    const bool gridCurrent = columns.gridCook == columns.cook && columns.gridView[0] == view[0] &&
                             columns.gridView[1] == view[1] && columns.gridBox.cx == windowBox.cx &&
                             columns.gridBox.cy == windowBox.cy && columns.gridBox.hw == windowBox.hw &&
                             columns.gridBox.hh == windowBox.hh;
    if (!gridCurrent) {
        lightGrid(columns, v, columns.grid);
        columns.gridCook = columns.cook;
        columns.gridView[0] = view[0];
        columns.gridView[1] = view[1];
        columns.gridBox = windowBox;
    }
    const float* grid = columns.grid;
    float* positions = analysis.curveScratch();
    float* colours = positions + kQuadPositionFloats;

    // Back to front: along time and along frequency in the direction that comes nearer the viewer.
    const bool timeComesNearer = v.ca * v.cb > 0.0f;  // the depth grows with t when this holds
    const bool frequencyComesNearer = v.sa * v.cb > 0.0f;
    int quad = 0;
    for (int rr = 0; rr < kDecayGraphTimeSteps; ++rr) {
        const int r = timeComesNearer ? kDecayGraphTimeSteps - 1 - rr : rr;
        for (int ii = 0; ii < kColumns - 1; ++ii) {
            const int i = frequencyComesNearer ? ii : kColumns - 2 - ii;
            const int corners[4][2] = {{i, r}, {i + 1, r}, {i + 1, r + 1}, {i, r + 1}};
            for (int k = 0; k < 4; ++k) {
                const float* g = grid + (static_cast<size_t>(corners[k][0]) * kRows + corners[k][1]) * kGridVertexFloats;
                float* p = positions + (quad * 4 + k) * 2;
                float* c = colours + (quad * 4 + k) * 4;
                p[0] = g[0];
                p[1] = g[1];
                c[0] = g[2];
                c[1] = g[3];
                c[2] = g[4];
                c[3] = 1.0f;
            }
            ++quad;
        }
    }
    editor.drawList().coloredQuads(quad * 4, positions, colours);
    editor.resetClip();
}

float transferCurve(const EngineState& s, float x) {
    return s.saturatorActive ? saturate(x * s.drive[0]) * s.postGain[0] : x;
}

void drawTransferCurve(Editor& editor, const UiRect& box) {
    const EngineState& s = editor.analysis().cooked(editor);
    const UiRect b = inWindow(editor, box);
    DrawList& list = editor.drawList();
    const LayerAbove above(list);
    float peak = kCurveInput;
    for (int k = 0; k < kCurvePoints; ++k) {
        const float x = kCurveInput * (2.0f * static_cast<float>(k) / (kCurvePoints - 1) - 1.0f);
        const float y = std::fabs(transferCurve(s, x));
        peak = std::isfinite(y) ? std::max(peak, y) : peak;
    }
    const float sx = b.hw / kCurveInput;
    const float sy = b.hh / peak;
    list.line(UiPoint{b.left(), b.cy}, UiPoint{b.right(), b.cy}, kAxisColour);
    list.line(UiPoint{b.cx, b.bottom()}, UiPoint{b.cx, b.top()}, kAxisColour);
    list.line(UiPoint{b.cx - kCurveInput * sx, b.cy - kCurveInput * sy},
              UiPoint{b.cx + kCurveInput * sx, b.cy + kCurveInput * sy}, kReferenceColour);
    UiPoint last{};
    for (int k = 0; k < kCurvePoints; ++k) {
        const float x = kCurveInput * (2.0f * static_cast<float>(k) / (kCurvePoints - 1) - 1.0f);
        float y = transferCurve(s, x);
        y = std::isfinite(y) ? y : 0.0f;
        const UiPoint p{b.cx + x * sx, b.cy + y * sy};
        if (k > 0) {
            list.line(last, p, kCurveColour);
        }
        last = p;
    }
}

}  // namespace tarsk
