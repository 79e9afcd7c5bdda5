// Editor: the editor object. It keeps its own copy of the current program (the editor record), and
// every frame it takes a snapshot of the program from the effect, lets the header and the selected
// page draw and edit the copy through the immediate-mode widgets, and hands the copy back, recording
// an undo step once an edit has come to rest. It owns what all pages share: fonts, text styles,
// images, the layout unit, the undo histories and the pages' view state.
#pragma once

#include <cstdint>

#include "editor/analysis-strip.h"
#include "editor/calculator-state.h"
#include "editor/editor-fonts.h"
#include "editor/editor-host.h"
#include "editor/editor-settings.h"
#include "editor/library-view.h"
#include "editor/page-filter-graph.h"
#include "editor/undo-history.h"
#include "tarsklib/ui-context.h"
#include "tarsklib/ui-fontmap.h"
#include "tarsklib/ui-image.h"

namespace tarsk {

class GlRootView;
class RootViewUiHost;

// Pages (the page selector's values).
constexpr int32_t kPageSummary = 0;
constexpr int32_t kPageEditor = 1;
constexpr int32_t kPageLibrary = 2;
constexpr int32_t kPageCalculator = 3;
constexpr int32_t kPageInfo = 4;
constexpr int32_t kPageSettings = 5;

// The Editor page's tabs.
constexpr int32_t kTabAlgorithm = 1;
constexpr int32_t kTabMatrix = 2;
constexpr int32_t kTabFilter = 3;
constexpr int32_t kTabModulation = 4;
constexpr int32_t kTabIo = 5;

// The pages' view words, in their order; the first six travel with undo entries.
enum ViewWord : int {
    kViewAlgorithmTab = 0,
    kViewFilterTab,
    kViewModulationSourceTab,
    kViewModulationEnvelopeTab,
    kViewIoTab,
    kViewLibraryTab,
    kViewInfoTab,
    kViewWordCount
};

// Group ids of the shell.
constexpr uint32_t kGroupProgramName = 16;
constexpr uint32_t kGroupTiming = 48;
constexpr uint32_t kGroupLevels = 64;
constexpr uint32_t kGroupPage = 256;
constexpr uint32_t kGroupAnalysis = 512;
constexpr uint32_t kGroupTabs = 768;
constexpr uint32_t kGroupUndo = 1024;
constexpr uint32_t kGroupPageIcons = 1280;

// Change-flag bits a page raises (each sets the flag of the same name at write-back).
constexpr uint32_t kChangeCook = 1u << kFlagCook;
constexpr uint32_t kChangeReset = 1u << kFlagReset;
constexpr uint32_t kChangeLengths = 1u << kFlagLengths;
constexpr uint32_t kChangeModulation = 1u << kFlagModulation;
constexpr uint32_t kChangeAll = kChangeCook | kChangeReset | kChangeLengths | kChangeModulation;

// The editor's text styles.
enum EditorStyle : int {
    kStylePlain = 0,
    kStylePlainMicr,
    kStyleLcd,
    kStyleCaption,
    kStyleHighlight,
    kEditorStyleCount
};

constexpr int kAnalysisLengths = 8;
constexpr int kAnalysisChannels = 5;
constexpr int32_t kProgramSlotCount = 4;

class Editor : public UiContext {
public:
    // root: the window's root view, or null for an editor without a window (tests, benchmarks);
    // without one the frames run their whole cycle but draw nowhere.
    Editor(EditorHost& host, GlRootView* root, const EditorSettings& settings);
    ~Editor() override;

    // ---- view operations ----
    // Also joins the program library (libraryStartUp); the destructor leaves it (libraryShutDown).
    void contextCreated(int openWindows) override;
    void contextReleased(int openWindows) override;
    void setSize(float width, float height) override;
    // The per-frame cycle (snapshot, header, page, undo buttons, write-back, undo recording), run ahead
    // of draw() by the window; answers whether the frame's picture differs from the last one's.
    // While the Library page's overwrite question is up (editor-library.h) the header, page, icons
    // and undo buttons see no mouse; the question is drawn last, over them, and takes the answer.
    bool prepareFrame() override;
    // Draws the prepared frame (or runs the cycle first when none was prepared: no window, tests).
    void draw() override;
    // 3 (programs replaced by the host): every slot's history starts afresh from its program.
    void notify(uint32_t code) override;

    // ---- what pages use ----
    EditorHost& host() { return effectHost; }
    ProgramRecord& program() { return editorRecord; }
    const ProgramRecord& program() const { return editorRecord; }
    // Raises change flags (kChange* bits) for this frame's write-back.
    void markChanged(uint32_t bits);
    uint32_t changeBits() const;

    int32_t page() const { return currentPage; }
    void setPage(int32_t value) { currentPage = value; }
    int32_t subPage() const { return editorSubPage; }
    void setSubPage(int32_t value) { editorSubPage = value; }
    int32_t& viewWord(ViewWord which) { return viewWords[which]; }
    int32_t slot() const { return currentSlot; }
    uint32_t editTarget() const { return target; }
    void setEditTarget(uint32_t value) { target = value; }
    bool freezeOn() const { return freeze != 0; }
    bool bypassOn() const { return bypass != 0; }
    void setFreeze(bool on) { freeze = on ? 1 : 0; }
    void setBypass(bool on) { bypass = on ? 1 : 0; }

    // Layout metrics in pixels.
    float unit() const { return u; }
    float displayScale() const { return scale; }
    float windowWidth() const { return 32.0f * u; }
    float windowHeight() const { return 16.0f * u; }
    float headerHeight() const { return 4.0f * u; }
    float contentHeight() const { return 12.0f * u; }

    // Fonts, styles, images (empty until the context exists; an empty font draws nothing).
    const UiFontmap* font(EditorFace face) const { return &fonts[face]; }
    const UiStyle& textStyle(EditorStyle which) const { return styles[which]; }
    void useStyle(EditorStyle which) { setStyle(styles[which]); }
    const UiImage& metal() const { return metalImage; }
    const UiImage& logo() const { return logoImage; }
    // A horizontal rule across the rectangle at its top edge.
    void divider(const UiRect& rect);
    // The raised frame around header sections and page panels.
    void bevel(const UiRect& rect);
    // The page background colour (gamma-encoded), which each page sets at the start of its frame.
    UiColour& background() { return pageBackground; }

    // Undo.
    UndoHistory& history() { return histories[currentSlot]; }
    UndoHistory& history(int32_t slot) { return histories[slot]; }
    UndoView currentView() const;
    void requestUndoRestore() { undoRestoreRequest = true; }

    // Page state.
    int& caret() { return caretPosition; }
    CalculatorState& calculator() { return calculatorState; }
    LibraryView& libraryView(int which) { return libraryViews[which]; }
    // The Library page's state: its overwrite question, its failure line, the library membership.
    LibraryPage& libraryPage() { return libraryPageState; }
    const LibraryPage& libraryPage() const { return libraryPageState; }
    float* decayView() { return decayViewPoint; }
    DecayGraphColumns& decayColumns() { return decayGraphColumns; }
    int32_t& analysisLength() { return analysisLengthIndex; }
    int32_t& analysisChannel() { return analysisChannelIndex; }
    AnalysisStrip& analysis() { return analysisStrip; }

    // Settings.
    EditorSettings& settings() { return editorSettings; }
    bool settingsDirty() const { return dirtySettings; }
    void markSettingsDirty() { dirtySettings = true; }
    // Writes the settings to the settings store and commits it; clears settings dirty.
    void saveSettings();
    // u and the window size from the display scale.
    void recomputeMetrics();
    // A new display scale for the running editor (clamped to the settings' range; the Settings page's
    // display sizes): the settings take it, the metrics and text styles follow at once, and the window is
    // asked for the new size (through the effect: the window's command ring rebuilds the context and
    // resizes the window between frames, then tells the host with audioMasterSizeWindow). Settings dirty
    // is the caller's to set; nothing is saved.
    void setDisplayScale(float scale);
    // Loads the fonts again, of the settings' font style, at the start of the next frame (the Settings
    // page's font style choice).
    void reloadFonts() { fontReloadRequested = true; }
    // The window the editor draws in (null without one).
    GlRootView* rootView() { return root; }
    // Frames go to this renderer instead of the window's (null: the window's again). For tests and
    // benchmarks that measure the editor's own part of a frame without a GL driver.
    void useRenderer(Renderer* renderer) { rendererOverride = renderer; }

    // ---- inspection ----
    uint64_t framesDrawn() const { return frames; }
    uint64_t framesDropped() const { return droppedFrames; }

private:
    void loadResources();
    void unloadResources();
    void setupStyles();
    void drawHeader();
    // The time-base value box in the record's mode and the unit button beside it that steps the mode.
    void drawTimeBase(const UiRect& valueRect, const UiRect& unitRect);
    void drawPageSelector();
    void drawSelectedPage();
    void drawEditorTabs();
    void drawUndoButtons();
    void drawPageIcons();
    void restoreUndoEntry();
    void buildFrame();
    uint64_t drawListHash() const;

    EditorHost& effectHost;
    GlRootView* root;
    Renderer* rendererOverride = nullptr;
    RootViewUiHost* uiHost = nullptr;  // owned; made when there is a root view

    int32_t currentPage = kPageSummary;
    int32_t editorSubPage = kTabAlgorithm;
    int32_t viewWords[kViewWordCount] = {1, 1, 1, 1, 1, 1, 1};
    int32_t analysisLengthIndex = 4;
    int32_t analysisChannelIndex = 0;
    int caretPosition = 0;
    ProgramRecord editorRecord;
    uint8_t changeFlags[kChangeFlagCount] = {};
    uint8_t freeze = 0;
    uint8_t bypass = 0;
    uint32_t target = 0;
    int32_t currentSlot = 0;
    ProgramSnapshot frameSnapshot;

    float scale = 1.0f;
    float u = 20.0f;

    UiFontmap fonts[kEditorFaceCount];
    UiStyle styles[kEditorStyleCount];
    UiImage metalImage;
    UiImage logoImage;

    CalculatorState calculatorState;
    float decayViewPoint[2] = {-0.25f, -0.1f};
    DecayGraphColumns decayGraphColumns;
    bool undoRestoreRequest = false;
    bool undoStepPending = false;
    UndoHistory histories[kProgramSlotCount];
    LibraryView libraryViews[2];
    LibraryPage libraryPageState;
    AnalysisStrip analysisStrip;
    UiColour pageBackground;

    EditorSettings editorSettings;
    bool dirtySettings = false;

    bool fontReloadRequested = false;
    bool framePrepared = false;  // buildFrame ran for the coming draw()
    uint64_t lastFrameHash = 0;

    uint64_t frames = 0;
    uint64_t droppedFrames = 0;
};

}  // namespace tarsk
