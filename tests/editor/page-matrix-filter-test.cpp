// The Matrix and Filter tabs and the analysis strip, driven through a real effect object: each
// scripted edit changes only its own fields of the program and raises only the cook flag; the angle
// arrows, the vector clicks, the emphasis buttons, the filters' "off" texts, and the strip's colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "editor-test-support.h"
#include "engine/cook-test-support.h"
#include "editor/analysis-strip.h"
#include "editor/filter-rows.h"
#include "editor/matrix-vectors.h"
#include "editor/page-filter-graph.h"
#include "editor/tab-backdrop.h"

namespace tarsk {
namespace {

using test::EditorRig;

constexpr float kU = 20.0f;         // the unit at display scale 1
constexpr float kPageY = 4.0f * kU;  // the content area's bottom

// A program written into the effect's current slot, as another writer would.
void putProgram(EditorRig& rig, const ProgramRecord& record) {
    ProgramSnapshot snap;
    ASSERT_TRUE(rig.effect.snapshot(snap));
    snap.record = record;
    const uint8_t mask[kChangeFlagCount] = {1, 1, 1, 1};
    ASSERT_EQ(rig.effect.commit(snap, mask), CommitResult::written);
    rig.frame();
}

void clearFlags(EditorRig& rig) {
    ChangeFlags& f = rig.effect.changeFlags();
    f.cookPending = 0;
    f.resetPending = 0;
    f.lengthsChanged = 0;
    f.modulationChanged = 0;
}

// Only the cook flag was raised since clearFlags.
void expectOnlyCook(EditorRig& rig) {
    ChangeFlags& f = rig.effect.changeFlags();
    EXPECT_EQ(f.cookPending.load(), 1);
    EXPECT_EQ(f.resetPending.load(), 0);
    EXPECT_EQ(f.lengthsChanged.load(), 0);
    EXPECT_EQ(f.modulationChanged.load(), 0);
}

// The words in which two records differ, as a bit set over the first 128 words (the rest must match).
std::vector<int> changedWords(const ProgramRecord& a, const ProgramRecord& b) {
    std::vector<int> out;
    for (int w = 0; w < kRecordWords; ++w) {
        if (a.words[w] != b.words[w]) {
            out.push_back(w);
        }
    }
    return out;
}

EditorRig& onTab(EditorRig& rig, int32_t tab) {
    rig.editor.setPage(kPageEditor);
    rig.editor.setSubPage(tab);
    rig.frames(2);
    return rig;
}

void setVectors(ProgramRecord& r, const float (&u)[4], const float (&v)[4]) {
    for (int j = 0; j < 4; ++j) {
        r.setF(word::vectorU + j, u[j]);
        r.setF(word::vectorV + j, v[j]);
    }
}

// ---- Matrix page ----

TEST(AngleControl, ArrowsStepToTheNextMultipleOf15AndWrap) {
    EXPECT_EQ(angleStepUp(170.0f), -180.0f);
    EXPECT_EQ(angleStepDown(-180.0f), 165.0f);
    EXPECT_EQ(angleStepUp(179.99f), -150.0f);
    EXPECT_EQ(angleStepDown(45.02f), 30.0f);  // 45 lies within 0.05 and is passed over
    EXPECT_EQ(angleStepDown(45.1f), 45.0f);
    EXPECT_EQ(angleStepUp(44.97f), 60.0f);
    EXPECT_EQ(angleStepUp(-180.0f), -165.0f);
    EXPECT_EQ(angleStepDown(-179.96f), 165.0f);
    EXPECT_EQ(angleStepDown(0.0f), -15.0f);
    EXPECT_EQ(angleStepUp(164.9f), 165.0f);
    char text[64];
    formatAngle(text, sizeof text, -37.5f);
    EXPECT_STREQ(text, "&minus;37.5&deg;");
    formatAngle(text, sizeof text, 120.0f);
    EXPECT_STREQ(text, "120.0&deg;");
}

TEST(MatrixPage, TheRightArrowOfAlphaChangesOnlyAlphaAndRaisesTheCookFlag) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 2.0f);
    r.setF(word::alpha, 170.0f);
    putProgram(rig, r);
    onTab(rig, kTabMatrix);
    const ProgramRecord before = rig.hostProgram();
    clearFlags(rig);
    rig.click(11.0f * kU, kPageY + 8.5f * kU);
    const ProgramRecord after = rig.hostProgram();
    EXPECT_EQ(after.f(word::alpha), -180.0f);
    EXPECT_EQ(changedWords(before, after), std::vector<int>{word::alpha});
    expectOnlyCook(rig);
    // The left arrow of beta.
    rig.click(7.0f * kU, kPageY + 7.5f * kU);
    EXPECT_EQ(rig.hostProgram().f(word::beta), angleStepDown(before.f(word::beta)));
}

TEST(MatrixPage, AVectorClickMovesSignsAndRenormalises) {
    MatrixVectors m;
    const float u[4] = {0.7071f, 0.0f, 0.0f, -0.7071f};
    const float v[4] = {0.0f, 0.7071f, -0.7071f, 0.0f};
    std::memcpy(m.v[0], u, sizeof u);
    std::memcpy(m.v[1], v, sizeof v);
    m.click(1, 2);  // negative, two non-zero: becomes 0
    m.normalise();
    EXPECT_EQ(m.v[1][0], 0.0f);
    EXPECT_EQ(m.v[1][1], 1.0f);
    EXPECT_EQ(m.v[1][2], 0.0f);
    EXPECT_EQ(m.v[1][3], 0.0f);
    // u's second index is v's last non-zero one: nothing changes.
    const MatrixVectors kept = m;
    EXPECT_FALSE(m.click(0, 1));
    EXPECT_EQ(std::memcmp(&m, &kept, sizeof m), 0);
    // u's first index is not v's: positive -> negative; a lone negative becomes positive again.
    m.click(0, 0);
    EXPECT_LT(m.v[0][0], 0.0f);
    m.click(1, 1);  // v's only component, positive -> negative
    m.click(1, 1);  // negative and alone -> positive, never empty
    EXPECT_GT(m.v[1][1], 0.0f);
    // v takes u's third index over while u keeps two others.
    m.v[0][2] = 0.5f;
    m.click(1, 2);
    EXPECT_EQ(m.v[0][2], 0.0f);
    EXPECT_GT(m.v[1][2], 0.0f);
    m.normalise();
    for (int k = 0; k < 2; ++k) {
        float sum = 0.0f;
        for (int j = 0; j < 4; ++j) {
            sum += m.v[k][j] * m.v[k][j];
            EXPECT_FALSE(m.v[0][j] != 0.0f && m.v[1][j] != 0.0f) << "shared index " << j;
        }
        EXPECT_NEAR(sum, 1.0f, 1e-6f);
    }
}

TEST(MatrixPage, ClickingTheButtonsOfTheVectorEditorChangesOnlyTheVectors) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 2.0f);
    setVectors(r, {0.7071f, 0.0f, 0.0f, -0.7071f}, {0.0f, 0.7071f, -0.7071f, 0.0f});
    putProgram(rig, r);
    onTab(rig, kTabMatrix);
    const ProgramRecord before = rig.hostProgram();
    clearFlags(rig);
    rig.click(13.0f * kU, kPageY + 4.0f * kU);  // v's third button
    const ProgramRecord after = rig.hostProgram();
    EXPECT_EQ(after.f(word::vectorV + 0), 0.0f);
    EXPECT_EQ(after.f(word::vectorV + 1), 1.0f);
    EXPECT_EQ(after.f(word::vectorV + 2), 0.0f);
    EXPECT_EQ(after.f(word::vectorV + 3), 0.0f);
    for (int w : changedWords(before, after)) {
        EXPECT_TRUE(w >= word::vectorU && w < word::vectorV + 4) << "word " << w;
    }
    expectOnlyCook(rig);
    // u's second button while v's second component is its only one: nothing at all, not even a
    // renormalisation of the stored values.
    r = rig.hostProgram();
    setVectors(r, {0.7071f, 0.0f, 0.0f, -0.7071f}, {0.0f, 0.5f, 0.0f, 0.0f});
    putProgram(rig, r);
    const ProgramRecord steady = rig.hostProgram();
    rig.click(6.0f * kU, kPageY + 4.0f * kU);
    EXPECT_TRUE(rig.hostProgram() == steady);
}

TEST(MatrixPage, WithoutDecayOrCrossMixingOnlyTheTitleIsDrawnAndNothingEdits) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 0.0f);
    r.setU(word::flags, r.u(word::flags) & ~flag::crossMixing);
    r.setF(word::alpha, 170.0f);
    putProgram(rig, r);
    onTab(rig, kTabMatrix);
    const ProgramRecord before = rig.hostProgram();
    rig.click(11.0f * kU, kPageY + 8.5f * kU);
    rig.click(13.0f * kU, kPageY + 4.0f * kU);
    EXPECT_TRUE(rig.hostProgram() == before);
}

TEST(MatrixPage, TheSwapToggleFlipsOneBitAndShowsOnlyWithTheInnerRotation) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 2.0f);
    r.setU(word::flags, r.u(word::flags) | flag::multitap | flag::innerFeedback);
    putProgram(rig, r);
    onTab(rig, kTabMatrix);
    const ProgramRecord before = rig.hostProgram();
    rig.click(12.5f * kU, kPageY + 5.5f * kU);
    const ProgramRecord after = rig.hostProgram();
    EXPECT_EQ(after.u(word::flags), before.u(word::flags) ^ flag::swapRowsColumns);
    EXPECT_EQ(changedWords(before, after), std::vector<int>{word::flags});
    // Without inner feedback the toggle is not there.
    r = after;
    r.setU(word::flags, r.u(word::flags) & ~flag::innerFeedback);
    putProgram(rig, r);
    const ProgramRecord without = rig.hostProgram();
    rig.click(12.5f * kU, kPageY + 5.5f * kU);
    EXPECT_TRUE(rig.hostProgram() == without);
}

// ---- Filter page ----

TEST(FilterPage, OffTextsAtTheirBoundaries) {
    char text[kFilterTextSize];
    formatLowcutText(text, sizeof text, 2.0f);
    EXPECT_STREQ(text, "&mdash;");
    formatLowcutText(text, sizeof text, 2.5f);
    EXPECT_STREQ(text, "2 Hz");
    formatLowcutText(text, sizeof text, 1.0f);
    EXPECT_STREQ(text, "&mdash;");
    formatOffAboveText(text, sizeof text, 50001.0f);
    EXPECT_STREQ(text, "&mdash;");
    formatOffAboveText(text, sizeof text, 50000.0f);
    EXPECT_STREQ(text, "&mdash;");
    formatOffAboveText(text, sizeof text, 49999.0f);
    EXPECT_STREQ(text, "49999 Hz");
}

TEST(FilterPage, EmphasisHighSetsBits8To9To2Only) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 2.0f);
    r.setU(word::flags, (r.u(word::flags) & ~flag::emphasisMask) | 0x0100u | flag::crossMixing);
    putProgram(rig, r);
    rig.editor.viewWord(kViewFilterTab) = 2;
    onTab(rig, kTabFilter);
    const ProgramRecord before = rig.hostProgram();
    clearFlags(rig);
    rig.click(10.5f * kU, kPageY + 8.0f * kU);  // "H"
    const ProgramRecord after = rig.hostProgram();
    EXPECT_EQ(after.u(word::flags), (before.u(word::flags) & ~flag::emphasisMask) | 0x0200u);
    EXPECT_EQ(changedWords(before, after), std::vector<int>{word::flags});
    expectOnlyCook(rig);
    rig.click(8.5f * kU, kPageY + 8.0f * kU);  // "L"
    EXPECT_EQ(rig.hostProgram().u(word::flags), before.u(word::flags) & ~flag::emphasisMask);
}

TEST(FilterPage, DraggingAValueBoxOfEachTabChangesOnlyItsField) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 2.0f);
    r.setF(word::lowcut, 100.0f);
    r.setF(word::drive, 5.0f);
    r.setF(word::overunity, 1.0f);
    putProgram(rig, r);
    onTab(rig, kTabFilter);
    struct Case {
        int32_t tab;
        float y;
        int field;
    };
    const Case cases[] = {
        {1, 8.5f, word::lowcut},  {1, 7.5f, word::midCenter}, {1, 6.5f, word::midQ},
        {1, 5.5f, word::midStretch}, {1, 4.5f, word::highcut}, {1, 3.5f, word::inverter},
        {2, 6.5f, word::drive},   {2, 5.0f, word::overunity},
    };
    for (const Case& c : cases) {
        rig.editor.viewWord(kViewFilterTab) = c.tab;
        rig.frames(2);
        const ProgramRecord before = rig.hostProgram();
        clearFlags(rig);
        rig.drag(9.5f * kU, kPageY + c.y * kU, -30.0f, 6);
        const ProgramRecord after = rig.hostProgram();
        EXPECT_EQ(changedWords(before, after), std::vector<int>{c.field}) << "field " << c.field;
        expectOnlyCook(rig);
    }
}

TEST(FilterPage, WithoutDecayTheLinearTabShowsOnlyTheInverterAndOnlyWithFiltersBeforeOutput) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 0.0f);
    r.setU(word::flags, r.u(word::flags) | flag::filtersBeforeOutput);
    putProgram(rig, r);
    onTab(rig, kTabFilter);
    // The Inverter is the second row now; the Lowcut row is not there.
    ProgramRecord before = rig.hostProgram();
    rig.drag(9.5f * kU, kPageY + 8.5f * kU, -30.0f, 6);
    EXPECT_TRUE(rig.hostProgram() == before);
    rig.drag(9.5f * kU, kPageY + 7.5f * kU, -30.0f, 6);
    EXPECT_EQ(changedWords(before, rig.hostProgram()), std::vector<int>{word::inverter});
    // Filters after the output: the tab is empty.
    r = rig.hostProgram();
    r.setU(word::flags, r.u(word::flags) & ~flag::filtersBeforeOutput);
    putProgram(rig, r);
    before = rig.hostProgram();
    rig.drag(9.5f * kU, kPageY + 7.5f * kU, -30.0f, 6);
    EXPECT_EQ(changedWords(before, rig.hostProgram()), std::vector<int>{});
}

TEST(FilterPage, DraggingTheDecayGraphTurnsTheViewAndLeavesTheProgram) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 2.0f);
    putProgram(rig, r);
    onTab(rig, kTabFilter);
    const ProgramRecord before = rig.hostProgram();
    const float p = rig.editor.decayView()[0];
    const float q = rig.editor.decayView()[1];
    rig.editor.mouseMove(21.5f * kU, kPageY + 6.5f * kU);
    rig.frame();
    rig.editor.leftButton(true, 21.5f * kU, kPageY + 6.5f * kU);
    rig.frame();
    rig.editor.mouseMove(23.5f * kU, kPageY + 5.5f * kU);
    rig.frame();
    rig.editor.leftButton(false, 23.5f * kU, kPageY + 5.5f * kU);
    rig.frame();
    EXPECT_GT(rig.editor.decayView()[0], p);
    EXPECT_LT(rig.editor.decayView()[1], q);
    EXPECT_TRUE(rig.hostProgram() == before);
}

// The graph's columns are worked out once per cook and its lit surface once per cook and view: a
// program change (from the host here) shows in the next frame, at every frequency, and so does a turn.
TEST(DecayGraph, TheColumnsAndTheSurfaceFollowEveryCookAndTurn) {
    EditorRig rig;
    ProgramRecord r = rig.hostProgram();
    r.setF(word::halfLife, 400.0f);  // time-base units: 0.4 s
    putProgram(rig, r);
    onTab(rig, kTabFilter);
    rig.frame();
    const DecayGraphColumns first = rig.editor.decayColumns();
    ASSERT_NE(first.cook, DecayGraphColumns::kNoCook);
    rig.frame();
    EXPECT_EQ(rig.editor.decayColumns().cook, first.cook);

    r.setF(word::halfLife, 100.0f);
    putProgram(rig, r);
    rig.frame();
    const DecayGraphColumns& second = rig.editor.decayColumns();
    EXPECT_NE(second.cook, first.cook);
    const EngineState& s = rig.editor.analysis().cooked(rig.editor);
    double before = 0.0, after = 0.0;
    for (int i = 0; i < kDecayGraphFrequencies; ++i) {
        EXPECT_EQ(second.rate[i], loopDecayRate(s, decayGraphFrequency(i))) << i;
        EXPECT_EQ(second.phase[i], inverterPhase(s, decayGraphFrequency(i))) << i;
        before += first.rate[i];
        after += second.rate[i];
    }
    EXPECT_GT(after, before * 2.0);  // a quarter of the half life decays four times as fast
    auto sameGrid = [](const DecayGraphColumns& a, const DecayGraphColumns& b) {
        return std::equal(a.grid, a.grid + kDecayGraphGridFloats, b.grid);
    };
    EXPECT_FALSE(sameGrid(second, first));

    const DecayGraphColumns unturned = second;
    rig.editor.decayView()[0] += 0.25f;
    rig.frame();
    EXPECT_EQ(rig.editor.decayColumns().cook, unturned.cook);
    EXPECT_FALSE(sameGrid(rig.editor.decayColumns(), unturned));
    rig.editor.decayView()[0] -= 0.25f;
    rig.frame();
    EXPECT_TRUE(sameGrid(rig.editor.decayColumns(), unturned));
}

TEST(DecayGraph, TheLoopDecaysFasterAboveTheHighcutAndTheInverterTurnsThePhase) {
    ProgramRecord r;
    {
        EditorRig rig;
        r = rig.hostProgram();
    }
    r.setF(word::halfLife, 1000.0f);  // time-base units of 1 ms: one second
    r.setF(word::highcut, 2000.0f);
    r.setF(word::lowcut, 2.0f);
    r.setF(word::midStretch, 1.0f);
    r.setF(word::inverter, 50001.0f);
    AnalysisStrip strip;
    const EngineState& s = strip.cooked(r, 48000.0f, 120.0f);
    const double low = loopDecayRate(s, 100.0);
    const double high = loopDecayRate(s, 10000.0);
    EXPECT_GT(low, 0.0);
    EXPECT_GT(high, 2.0 * low);
    EXPECT_NEAR(inverterPhase(s, 1000.0), 0.0, 1e-9);  // off: no phase turn
    r.setF(word::inverter, 1000.0f);
    const EngineState& turned = strip.cooked(r, 48000.0f, 120.0f);
    EXPECT_NEAR(std::fabs(inverterPhase(turned, 1000.0)), 0.5, 0.01);  // a quarter turn at its frequency
    EXPECT_GT(std::fabs(inverterPhase(turned, 15000.0)), 0.8);
    EXPECT_NEAR(decayGraphFrequency(0), 20.0, 1e-9);
    EXPECT_NEAR(decayGraphFrequency(95), 20000.0, 1e-6);
    // Cooking is cached: the same record, rate and tempo cook nothing.
    const uint64_t cooks = strip.cookCount();
    strip.cooked(r, 48000.0f, 120.0f);
    EXPECT_EQ(strip.cookCount(), cooks);
}

TEST(TransferCurve, FollowsTheSaturatorAndIsTheIdentityWithoutDrive) {
    ProgramRecord r;
    {
        EditorRig rig;
        r = rig.hostProgram();
    }
    r.setF(word::halfLife, 0.0f);
    r.setU(word::flags, r.u(word::flags) | flag::filtersBeforeOutput);
    r.setF(word::drive, 0.0f);
    AnalysisStrip strip;
    EXPECT_EQ(transferCurve(strip.cooked(r, 48000.0f, 120.0f), 0.7f), 0.7f);
    r.setF(word::drive, 10.0f);
    r.setF(word::overunity, 0.0f);
    const EngineState& s = strip.cooked(r, 48000.0f, 120.0f);
    // Small signals pass at unity (the post gain undoes the drive), large ones are held at 1/drive.
    EXPECT_NEAR(transferCurve(s, 0.001f), 0.001f, 1e-5f);
    EXPECT_NEAR(transferCurve(s, 1.0f), 0.1f, 1e-6f);
    EXPECT_NEAR(transferCurve(s, -1.0f), -0.1f, 1e-6f);
}

// ---- Analysis strip ----

TEST(AnalysisColours, KnownStereoEnergiesGiveTheirColours) {
    // Left only: red with some blue.
    BandColumn left = bandColumn(1.0f, 0.0f, 0.0f);
    EXPECT_NEAR(left.a, 0.8818f, 1e-3f);
    EXPECT_NEAR(left.b, 1.0f / 60.0f, 1e-4f);
    EXPECT_NEAR(left.c, 1.0f / 3.0f, 1e-4f);
    // Right only: the mirror image in green.
    BandColumn right = bandColumn(0.0f, 1.0f, 0.0f);
    EXPECT_NEAR(right.b, 0.8818f, 1e-3f);
    EXPECT_NEAR(right.a, 1.0f / 60.0f, 1e-3f);
    // Mono (fully correlated): blue, top = sqrt(2).
    BandColumn mono = bandColumn(1.0f, 1.0f, 1.0f);
    EXPECT_NEAR(mono.c, std::sqrt(2.0f), 1e-4f);
    EXPECT_NEAR(mono.a, 0.05f * std::sqrt(2.0f), 1e-3f);
    EXPECT_NEAR(mono.b, 0.05f * std::sqrt(2.0f), 1e-3f);
    // Uncorrelated equal channels: grey at sqrt(2p).
    BandColumn grey = bandColumn(0.5f, 0.5f, 0.0f);
    EXPECT_NEAR(grey.a, 1.0f, 1e-3f);
    EXPECT_NEAR(grey.b, 1.0f, 1e-3f);
    EXPECT_NEAR(grey.c, 1.0f, 1e-3f);
    // Silence stays finite and dark.
    BandColumn none = bandColumn(0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(std::isfinite(none.a) && std::isfinite(none.b) && std::isfinite(none.c));
    EXPECT_LT(none.a + none.b + none.c, 1e-6f);
    // Additive light over the background: nothing for 0, 1 - 2^-1 for 1/64 over black.
    EXPECT_NEAR(additiveColumnComponent(0.0f, 0.3f), 0.0f, 1e-4f);
    EXPECT_NEAR(additiveColumnComponent(1.0f / 64.0f, 0.0f), std::pow(0.5f, 0.4545f), 1e-4f);
    EXPECT_NEAR(additiveColumnComponent(10.0f, 0.3f), 0.7316f, 1e-3f);  // (1 + 0.3^2.2)^0.4545 - 0.3
}

TEST(AnalysisStrip, ThreePhasesGiveTheBandsOfTheResponseAndTheChannelMatters) {
    ProgramRecord r;
    {
        EditorRig rig;
        r = rig.hostProgram();
    }
    r.setF(word::halfLife, 1.0f);
    AnalysisStrip strip;
    EXPECT_EQ(strip.phase(), 0);
    for (int k = 0; k < 3; ++k) {
        strip.step(r, 44100.0f, 120.0f, 3, 0);
    }
    EXPECT_EQ(strip.phase(), 0);
    const float* e = strip.bandEnergies();
    ASSERT_NE(e, nullptr);
    int lit = 0;
    for (int b = 0; b < kAnalysisBands; ++b) {
        EXPECT_GE(e[3 * b], 0.0f);
        EXPECT_GE(e[3 * b + 1], 0.0f);
        EXPECT_LE(std::fabs(e[3 * b + 2]), std::sqrt(e[3 * b] * e[3 * b + 1]) * 1.001f + 1e-30f);  // |r| <= sqrt(pq)
        lit += e[3 * b] + e[3 * b + 1] > 0.0f ? 1 : 0;
    }
    EXPECT_GT(lit, 200);
    float unweighted[kAnalysisBands * 3];
    std::memcpy(unweighted, e, sizeof unweighted);
    for (int k = 0; k < 3; ++k) {
        strip.step(r, 44100.0f, 120.0f, 3, 4);  // "L"
    }
    EXPECT_NE(std::memcmp(unweighted, strip.bandEnergies(), sizeof unweighted), 0);
    // The same again gives the same bands: the render starts from a reset engine.
    for (int k = 0; k < 3; ++k) {
        strip.step(r, 44100.0f, 120.0f, 3, 0);
    }
    EXPECT_EQ(std::memcmp(unweighted, strip.bandEnergies(), sizeof unweighted), 0);
}

// A cycle that would render the response the columns show is not run; anything that can change the
// response starts one: the channel, the record, and modulation, whose random values differ every time.
TEST(AnalysisStrip, RendersAgainOnlyWhenTheResponseCanDiffer) {
    ProgramRecord r = test::initRecord();  // no modulation
    r.setF(word::halfLife, 100.0f);
    AnalysisStrip strip;
    for (int k = 0; k < 3; ++k) {
        strip.step(r, 44100.0f, 120.0f, 3, 0);
    }
    ASSERT_EQ(strip.phase(), 0);
    ASSERT_FALSE(strip.cooked(r, 44100.0f, 120.0f).modulated);
    strip.step(r, 44100.0f, 120.0f, 3, 0);
    EXPECT_EQ(strip.phase(), 0);  // the same response: resting

    strip.step(r, 44100.0f, 120.0f, 3, 1);
    EXPECT_EQ(strip.phase(), 1);  // another channel
    strip.step(r, 44100.0f, 120.0f, 3, 1);
    strip.step(r, 44100.0f, 120.0f, 3, 1);
    strip.step(r, 44100.0f, 120.0f, 3, 1);
    EXPECT_EQ(strip.phase(), 0);
    strip.step(r, 44100.0f, 120.0f, 4, 1);
    EXPECT_EQ(strip.phase(), 1);  // another length
    strip.step(r, 44100.0f, 120.0f, 4, 1);
    strip.step(r, 44100.0f, 120.0f, 4, 1);
    r.setF(word::halfLife, 200.0f);
    strip.step(r, 44100.0f, 120.0f, 4, 1);
    EXPECT_EQ(strip.phase(), 1);  // another record

    ProgramRecord modulated = r;
    modulated.setF(word::envDelayDepth, 0.5f);
    ASSERT_TRUE(strip.cooked(modulated, 44100.0f, 120.0f).modulated);
    while (strip.phase() != 0) {
        strip.step(modulated, 44100.0f, 120.0f, 4, 1);
    }
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (int k = 0; k < 3; ++k) {
            strip.step(modulated, 44100.0f, 120.0f, 4, 1);
        }
        EXPECT_EQ(strip.phase(), 0);
        strip.step(modulated, 44100.0f, 120.0f, 4, 1);
        EXPECT_EQ(strip.phase(), 1) << cycle;  // always again
        strip.step(modulated, 44100.0f, 120.0f, 4, 1);
        strip.step(modulated, 44100.0f, 120.0f, 4, 1);
    }
}

TEST(AnalysisStrip, TheStepButtonsCycleLengthAndChannel) {
    EditorRig rig;
    onTab(rig, kTabMatrix);
    EXPECT_EQ(rig.editor.analysisLength(), 4);
    const float right = 32.0f * kU;
    for (int k = 0; k < 4; ++k) {
        rig.click(right - 5.0f * kU, kPageY + kU);
    }
    EXPECT_EQ(rig.editor.analysisLength(), 0);  // 4 + 4 modulo 8
    rig.click(right - 3.0f * kU, kPageY + kU);
    EXPECT_EQ(rig.editor.analysisChannel(), 1);
    EXPECT_STREQ(analysisLengthLabel(rig.editor.analysisLength()), "0.01 s");
}

}  // namespace
}  // namespace tarsk
