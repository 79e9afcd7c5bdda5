// The Matrix page: the rotation angles of the feedback matrix and of the multitap network's inner
// matrix, the two vectors spanning the rotation plane, the swap toggle, and the cooked matrix.
#include <cmath>

#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/matrix-vectors.h"
#include "editor/tab-backdrop.h"
#include "engine/engine-state.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupMatrixTitle = 4096;
constexpr uint32_t kGroupMatrixBody = 8192;
constexpr uint32_t kAlphaId = 1;
constexpr uint32_t kBetaId = 2;
constexpr uint32_t kPhiId = 3;
constexpr uint32_t kThetaId = 4;
constexpr uint32_t kSwapId = 5;
constexpr uint32_t kFirstVectorId = 6;  // 6 + 4k + j
constexpr uint32_t kInnerRotation = flag::multitap | flag::innerFeedback;

constexpr UiColour kPositiveCell{1.0f, 1.0f, 1.0f, 1.0f};
constexpr UiColour kNegativeCell{1.0f, 0.0f, 0.0f, 1.0f};
constexpr float kCellFill = 0.86f;  // share of a cell's pitch that is filled

// The matrix display: n x n cells in the 8u square centred at (22.5u, 6.25u), row r from the top.
template <typename Entry>
void drawMatrix(Editor& editor, int n, Entry entry) {
    const float u = editor.unit();
    const float pitch = 8.0f * u / static_cast<float>(n);
    const float half = 0.5f * pitch * kCellFill;
    const UiPoint topLeft = inWindow(editor, UiPoint{22.5f * u - 4.0f * u, 6.25f * u + 4.0f * u});
    DrawList& list = editor.drawList();
    const LayerAbove above(list);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const float m = entry(r, c);
            UiColour colour = m > 0.0f ? kPositiveCell : kNegativeCell;
            colour.a = std::fmin(std::fabs(m), 1.0f);
            if (colour.a > 0.0f) {
                list.fillRect(UiRect{topLeft.x + (static_cast<float>(c) + 0.5f) * pitch,
                                     topLeft.y - (static_cast<float>(r) + 0.5f) * pitch, half, half},
                              colour);
            }
        }
    }
}

void drawCookedMatrix(Editor& editor, const EngineState& s, bool multitap) {
    if (!multitap) {
        drawMatrix(editor, kLines, [&](int r, int c) { return s.mainMatrix.row[r][c]; });
        return;
    }
    // Sixteen rows and columns: line a's segment i (row 4a + i) into line b's segment j (column 4b + j).
    // The weight is the cross matrix's entry for the lines times, within the lines, the main matrix's
    // entry for the first segment column and the inner matrix's for the others.
    drawMatrix(editor, kLines * kSegments, [&](int r, int c) {
        const int a = r / kSegments, i = r % kSegments;
        const int b = c / kSegments, j = c % kSegments;
        const float within = j == 0 ? s.mainMatrix.row[i][j] : s.innerMatrix[b].row[i][j];
        return within * s.crossMatrix.row[a][b];
    });
}

void caption(Editor& editor, float y, const char* text) {
    const float u = editor.unit();
    editor.label(0, centredRect(5.0f * u, y, 2.0f * u, u), text, 12.0f, kAlignRight);
}

float angleRow(Editor& editor, uint32_t id, float y, const char* text, int wordIndex) {
    const float u = editor.unit();
    caption(editor, y, text);
    ProgramRecord& p = editor.program();
    const float value = angleControl(editor, id, 9.0f * u, y, p.f(wordIndex));
    if (value != p.f(wordIndex)) {
        p.setF(wordIndex, value);
    }
    return value;
}

void drawVectorEditor(Editor& editor) {
    const float u = editor.unit();
    ProgramRecord& p = editor.program();
    MatrixVectors vectors = MatrixVectors::of(p);
    bool edited = false;
    editor.pushGroup(0, UiPoint{0.0f, 0.0f});
    constexpr float kRowY = 4.0f;
    constexpr float kFirstX[2] = {5.0f, 11.0f};
    for (int k = 0; k < 2; ++k) {
        for (int j = 0; j < kLines; ++j) {
            const float value = vectors.component(k, j);
            const char* text = value < 0.0f ? "&minus;1" : (value > 0.0f ? "1" : "0");
            const uint32_t id = kFirstVectorId + 4u * static_cast<uint32_t>(k) + static_cast<uint32_t>(j);
            if (editor.button(id, centredRect((kFirstX[k] + static_cast<float>(j)) * u, kRowY * u, u, u), text, 12.0f,
                              value != 0.0f ? 1 : 0, kAlignCentre)) {
                edited = vectors.click(k, j) || edited;
            }
        }
    }
    editor.label(0, centredRect(9.5f * u, kRowY * u, u, 2.0f * u), "|", 32.0f, kAlignCentre);
    // A click that changed nothing (the other vector's last index) leaves the stored values alone.
    if (editor.popGroup() != 0 && edited) {
        vectors.normalise();
        vectors.store(p);
    }
}

}  // namespace

void drawMatrixPage(Editor& editor) {
    const float u = editor.unit();
    ProgramRecord& p = editor.program();
    drawTabBackdrop(editor);

    editor.pushGroup(kGroupMatrixTitle, UiPoint{0.0f, 0.0f});
    editor.setFont(editor.font(kFaceBold));
    editor.label(0, UiRect{3.0f * u + 7.0f * u, 11.0f * u, 7.0f * u, 0.5f * u}, "Matrix", 12.0f, kAlignLeft);
    editor.divider(inWindow(editor, UiRect{10.0f * u, 10.5f * u - 0.5f, 7.0f * u, 0.5f}));
    editor.popGroup();

    editor.pushGroup(kGroupMatrixBody, UiPoint{0.0f, 0.0f});
    const uint32_t flags = p.u(word::flags);
    const float halfLife = p.f(word::halfLife);
    const bool crossMixing = (flags & flag::crossMixing) != 0;
    if (!(halfLife <= 0.0f && !crossMixing)) {
        const bool multitap = (flags & flag::multitap) != 0;
        drawCookedMatrix(editor, editor.analysis().cooked(editor), multitap);

        editor.useStyle(kStylePlain);
        angleRow(editor, kAlphaId, 8.5f * u, "&alpha;", word::alpha);
        angleRow(editor, kBetaId, 7.5f * u, "&beta;", word::beta);
        if ((flags & kInnerRotation) == kInnerRotation && halfLife != 0.0f) {
            angleRow(editor, kPhiId, 6.5f * u, "&phi;", word::phi);
            angleRow(editor, kThetaId, 5.5f * u, "&theta;", word::theta);
            const bool swap = (flags & flag::swapRowsColumns) != 0;
            if (editor.button(kSwapId, centredRect(12.5f * u, 5.5f * u, u, u), "&bull;", 12.0f, swap ? 1 : 0,
                              kAlignCentre)) {
                p.setU(word::flags, flags ^ flag::swapRowsColumns);
            }
            editor.label(0, UiRect{15.5f * u, 5.8f * u, 2.5f * u, 0.3f * u}, "Swap every 2nd", 10.0f, kAlignLeft);
            editor.label(0, UiRect{15.5f * u, 5.2f * u, 2.5f * u, 0.3f * u}, "row and column", 10.0f, kAlignLeft);
        }
        drawVectorEditor(editor);
    }
    if (editor.popGroup() != 0) {
        editor.markChanged(kChangeCook);
    }
}

}  // namespace tarsk
