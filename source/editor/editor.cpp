// Editor: the frame cycle, the header, the page selector with the Editor page's tabs and the page
// icons, the undo buttons, and the fonts, styles and images of the editor.
#include "editor/editor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "editor/editor-library.h"
#include "editor/editor-pages.h"
#include "editor/time-base.h"
#include "tarsklib/gl-root-view.h"
#include "tarsklib/platform-window.h"
#include "tarsklib/resource.h"
#include "tarsklib/settings-store.h"
#include "tarsklib/ui-number-format.h"
#include "tarsklib/ui-root-host.h"

namespace tarsk {

namespace {

constexpr float kGammaEncode = 0.4545f;
float gammaEncoded(float value) { return std::pow(value, kGammaEncode); }
UiColour grey(float level, float alpha) { return UiColour{level, level, level, alpha}; }

UiRect boxOf(float left, float bottom, float right, float top) {
    return UiRect{(left + right) * 0.5f, (bottom + top) * 0.5f, (right - left) * 0.5f, (top - bottom) * 0.5f};
}
UiRect centred(float x, float y, float width, float height) { return UiRect{x, y, width * 0.5f, height * 0.5f}; }

// Header colours.
constexpr float kMetalBottomGrey = 0.66f;
constexpr float kMetalTopGrey = 0.95f;
constexpr UiColour kBevelLight{1.0f, 1.0f, 1.0f, 0.45f};
constexpr UiColour kBevelDark{0.0f, 0.0f, 0.0f, 0.5f};
constexpr UiRect kWholeTexture{0.5f, 0.5f, 0.5f, 0.5f};
constexpr UiColour kNameBottomLinear{0.062f, 0.022f, 0.46f, 1.0f};
constexpr UiColour kNameTopLinear{0.004f, 0.014f, 0.04f, 1.0f};
constexpr float kDividerGrey = 0.625f;
constexpr UiColour kDefaultBackground{0.13f, 0.14f, 0.16f, 1.0f};

UiColour gammaEncoded(const UiColour& c) { return UiColour{gammaEncoded(c.r), gammaEncoded(c.g), gammaEncoded(c.b), c.a}; }

// Page icons: id, code point text, size, centre y in units; the Editor page's icon first.
struct PageIcon {
    uint32_t id;
    const char* glyph;
    float size;
    float y;
};
constexpr PageIcon kPageIcons[] = {
    {1, "&#xfdd6;", 16.0f, 10.5f},  // Editor
    {2, "&#xfdd5;", 16.0f, 8.5f},   // Library
    {3, "&#xfdd0;", 24.0f, 6.5f},   // Calculator
    {4, "&#xfdd1;", 16.0f, 4.5f},   // Info
    {5, "&#xfdd4;", 24.0f, 2.5f},   // Settings
};

constexpr const char* kTabLabels[] = {"ALGO", "MATR", "FILT", "MOD", "I/O"};

// The note lengths of the time base's note mode, as a label list of the value box.
constexpr char kNoteLengthLabels[] =
    "~1/1\0" "3/4\0" "1/2\0" "3/8\0" "1/4\0" "3/16\0" "1/8\0" "3/32\0" "1/16\0" "3/64\0" "1/32\0" "3/128\0" "1/64\0~";
constexpr size_t kTimeBaseUnitBytes = 16;

}  // namespace

Editor::Editor(EditorHost& h, GlRootView* r, const EditorSettings& settings)
    : effectHost(h), root(r), editorSettings(settings) {
    flags = viewflag::kTakesButtons | viewflag::kTakesMoves | viewflag::kTakesHover | viewflag::kTakesWheel;
    holdFrames(true);  // draw() flushes what buildFrame made, so that prepareFrame can compare it first
    if (root != nullptr) {
        uiHost = new RootViewUiHost(*root);
        setHost(uiHost);
    }
    recomputeMetrics();
    resizeTo(windowWidth(), windowHeight());
    for (int32_t i = 0; i < kProgramSlotCount; ++i) {
        histories[i].reset(effectHost.programCopy(i), currentView());
    }
    if (editorSettings.startPage == kPageEditor || editorSettings.startPage == kPageLibrary) {
        currentPage = editorSettings.startPage;
    }
}

Editor::~Editor() {
    libraryShutDown(*this);
    unloadResources();
    delete uiHost;
}

void Editor::recomputeMetrics() {
    scale = std::isfinite(editorSettings.displayScale) && editorSettings.displayScale > 0.0f ? editorSettings.displayScale
                                                                                             : 1.0f;
    u = 20.0f * scale;
}

void Editor::setDisplayScale(float newScale) {
    if (!std::isfinite(newScale)) {
        return;
    }
    editorSettings.displayScale = std::clamp(newScale, kDisplayScaleMin, kDisplayScaleMax);
    recomputeMetrics();
    setupStyles();
    int width = static_cast<int>(std::lround(windowWidth()));
    int height = static_cast<int>(std::lround(windowHeight()));
    if (root == nullptr) {
        resizeTo(static_cast<float>(width), static_cast<float>(height));  // no window to follow
    }
    effectHost.requestEditorSize(width, height);
}

void Editor::setSize(float width, float height) { resizeTo(width, height); }

UndoView Editor::currentView() const {
    UndoView view;
    view.words[0] = currentPage;
    view.words[1] = editorSubPage;
    for (int i = 0; i < kUndoViewWords - 2; ++i) {
        view.words[2 + i] = viewWords[i];
    }
    return view;
}

void Editor::markChanged(uint32_t bits) {
    for (int i = 0; i < kChangeFlagCount; ++i) {
        if ((bits & (1u << i)) != 0) {
            changeFlags[i] = 1;
        }
    }
}

uint32_t Editor::changeBits() const {
    uint32_t bits = 0;
    for (int i = 0; i < kChangeFlagCount; ++i) {
        bits |= changeFlags[i] != 0 ? (1u << i) : 0u;
    }
    return bits;
}

// ---------------------------------------------------------------------------------------------
// Resources

void Editor::contextCreated(int /*openWindows*/) {
    if (root != nullptr) {
        if (PlatformWindow* window = root->platformWindow()) {
            setPlatformInput(window->input());
            setClipboard(window->clipboard());
        }
    }
    loadResources();
    libraryStartUp(*this);
}

void Editor::contextReleased(int /*openWindows*/) {
    unloadResources();
    setRenderer(nullptr);
    setPlatformInput(nullptr);
    setClipboard(nullptr);
}

void Editor::loadResources() {
    unloadResources();  // a rebuild brings the context back without a release in between
    TextureFactory* textures = root != nullptr ? root->renderer() : nullptr;
    if (textures == nullptr) {
        setupStyles();
        return;
    }
    for (int i = 0; i < kEditorFaceCount; ++i) {
        const char* file = editorFontFile(editorSettings.fontStyle, static_cast<EditorFace>(i));
        std::unique_ptr<MemoryStream> stream = file != nullptr ? openResource(file) : nullptr;
        if (stream != nullptr) {
            fonts[i].load(*stream, editorSettings.fontLodBias, textures);  // a refused font stays empty
        }
    }
    if (editorSettings.fontStyle == kFontStyleSans) {
        fonts[kFaceRegular].setWidthScale(kSansWidthScale);
        fonts[kFaceItalic].setWidthScale(kSansWidthScale);
    }
    if (std::unique_ptr<MemoryStream> stream = openResource(kMetalImageFile)) {
        metalImage.load(*stream, textures);
    }
    if (std::unique_ptr<MemoryStream> stream = openResource(kLogoImageFile)) {
        logoImage.load(*stream, textures);
    }
    setupStyles();
}

void Editor::unloadResources() {
    for (UiFontmap& f : fonts) {
        f.unload();
    }
    metalImage.unload();
    logoImage.unload();
}

void Editor::setupStyles() {
    float plain = gammaEncoded(0.75f);
    UiColour clear{0.0f, 0.0f, 0.0f, 0.0f};
    UiColour black{0.0f, 0.0f, 0.0f, 1.0f};
    styles[kStylePlain] = UiStyle{&fonts[kFaceRegular], clear, grey(plain, 1.0f), black, scale};
    styles[kStylePlainMicr] = UiStyle{&fonts[kFaceMicr], clear, grey(plain, 1.0f), black, scale};
    styles[kStyleLcd] =
        UiStyle{&fonts[kFaceLcd], UiColour{0.4f, 1.0f, 0.14f, 0.1f}, UiColour{0.4f, 1.0f, 0.14f, 1.0f}, clear, scale};
    styles[kStyleCaption] = UiStyle{&fonts[kFaceMicr], clear, UiColour{0.0f, 0.0f, 0.0f, 0.5f}, grey(1.0f, 1.0f), scale};
    styles[kStyleHighlight] = UiStyle{&fonts[kFaceMicr], clear, UiColour{1.0f, 0.63f, 0.34f, 1.0f}, black, scale};
}

void Editor::saveSettings() {
    SettingsStore store;
    store.load(kSettingsIdentifier);
    editorSettings.store(store);
    store.save(kSettingsIdentifier);
    dirtySettings = false;
}

// ---------------------------------------------------------------------------------------------
// Frame

bool Editor::prepareFrame() {
    if (fontReloadRequested) {
        return true;  // fonts load with the context, which draw() has: the frame is built there
    }
    buildFrame();
    framePrepared = true;
    uint64_t hash = drawListHash();
    bool changed = hash != lastFrameHash;
    lastFrameHash = hash;
    return changed;
}

void Editor::draw() {
    if (!framePrepared) {
        buildFrame();
    }
    framePrepared = false;
    setRenderer(rendererOverride != nullptr ? rendererOverride : root != nullptr ? root->renderer() : nullptr);
    flushHeldFrame();
}

uint64_t Editor::drawListHash() const {
    // FNV-1a over 64-bit words: every bucket's key and vertices, and the render states (textures, clips,
    // blend modes) the buckets refer to. A few microseconds for a full frame.
    constexpr uint64_t kPrime = 0x100000001B3ull;
    uint64_t h = 0xCBF29CE484222325ull;
    auto mix = [&h](uint64_t word) { h = (h ^ word) * kPrime; };
    auto mixBytes = [&mix](const uint8_t* bytes, size_t n) {
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            mix(word);
        }
        uint64_t tail = 0;
        std::memcpy(&tail, bytes + i, n - i);
        mix(tail ^ (static_cast<uint64_t>(n) << 56));
    };
    const DrawList& list = const_cast<Editor*>(this)->drawList();
    for (const DrawList::Bucket& b : list.buckets()) {
        if (b.bytes.empty()) {
            continue;
        }
        mix((static_cast<uint64_t>(static_cast<uint32_t>(b.layer)) << 32) | static_cast<uint32_t>(b.state));
        mix((static_cast<uint64_t>(b.primitive) << 32) | b.format);
        mixBytes(b.bytes.data(), b.bytes.size());
    }
    const std::vector<RenderState>& states = list.states();
    mixBytes(reinterpret_cast<const uint8_t*>(states.data()), states.size() * sizeof(RenderState));
    return h;
}

void Editor::buildFrame() {
    if (framePrepared) {
        drawList().flush(nullptr);  // a prepared frame that was not drawn: its picture goes
        framePrepared = false;
    }
    if (!effectHost.snapshot(frameSnapshot)) {
        return;  // no program state: the frame is skipped
    }
    editorRecord = frameSnapshot.record;
    std::memset(changeFlags, 0, sizeof(changeFlags));
    currentSlot = std::clamp<int32_t>(frameSnapshot.currentIndex, 0, kProgramSlotCount - 1);
    freeze = frameSnapshot.freeze;
    bypass = frameSnapshot.bypass;
    target = frameSnapshot.editTarget;

    if (fontReloadRequested) {
        // Called from draw(), with the context current; no text of the old fonts waits in the draw list.
        fontReloadRequested = false;
        loadResources();
    }
    if (pageBackground.a == 0.0f) {
        pageBackground = kDefaultBackground;
    }
    beginFrame();
    undoRestoreRequest = false;
    drawList().fillRect(boxOf(0.0f, 0.0f, windowWidth(), windowHeight()), pageBackground);
    const bool questionUp = libraryQuestionUp(*this);
    const bool pointerInside = mouseInside();
    if (questionUp) {
        hoverChanged(false);  // the question is modal: no other widget sees the mouse
    }
    drawHeader();
    drawPageSelector();
    drawUndoButtons();
    if (questionUp) {
        hoverChanged(pointerInside);
    }
    drawLibraryQuestion(*this);
    endFrame();
    ++frames;

    bool restored = false;
    if (undoRestoreRequest) {
        restoreUndoEntry();
        restored = true;
    }

    ProgramSnapshot& edited = frameSnapshot;
    edited.record = editorRecord;
    edited.editTarget = target;
    edited.freeze = freeze;
    edited.bypass = bypass;
    CommitResult result = effectHost.commit(edited, changeFlags);
    if (result == CommitResult::dropped) {
        ++droppedFrames;
        return;
    }
    if (result == CommitResult::written) {
        if (!restored) {
            undoStepPending = true;
        }
        return;
    }
    if (undoStepPending && !leftDown() && !rightDown()) {
        histories[currentSlot].push(editorRecord, currentView());
        undoStepPending = false;
    }
}

void Editor::restoreUndoEntry() {
    UndoHistory& h = histories[currentSlot];
    editorRecord = h.current().program;
    markChanged(kChangeAll);
    const UndoView& view = h.shown().view;
    currentPage = view.words[0];
    editorSubPage = view.words[1];
    for (int i = 0; i < kUndoViewWords - 2; ++i) {
        viewWords[i] = view.words[2 + i];
    }
    target = static_cast<uint32_t>(currentSlot);
}

void Editor::notify(uint32_t code) {
    constexpr uint32_t kProgramsReplaced = 3;
    if (code != kProgramsReplaced) {
        return;
    }
    for (int32_t i = 0; i < kProgramSlotCount; ++i) {
        histories[i].reset(effectHost.programCopy(i), currentView());
    }
    undoStepPending = false;
}

// ---------------------------------------------------------------------------------------------
// Header

void Editor::divider(const UiRect& rect) {
    float edge = std::max(1.0f, std::round(scale));
    drawList().fillRect(boxOf(rect.left(), rect.top() - edge, rect.right(), rect.top()), grey(kDividerGrey, 1.0f));
}

void Editor::bevel(const UiRect& rect) {
    float edge = std::max(1.0f, std::round(scale));
    DrawList& list = drawList();
    list.fillRect(boxOf(rect.left(), rect.top() - edge, rect.right(), rect.top()), kBevelLight);
    list.fillRect(boxOf(rect.left(), rect.bottom(), rect.left() + edge, rect.top()), kBevelLight);
    list.fillRect(boxOf(rect.left(), rect.bottom(), rect.right(), rect.bottom() + edge), kBevelDark);
    list.fillRect(boxOf(rect.right() - edge, rect.bottom(), rect.right(), rect.top()), kBevelDark);
}

void Editor::drawHeader() {
    DrawList& list = drawList();
    float w = windowWidth();
    float header = headerHeight();
    UiColour bottomTint = grey(gammaEncoded(kMetalBottomGrey), 1.0f);
    UiColour topTint = grey(gammaEncoded(kMetalTopGrey), 1.0f);
    UiRect strip = boxOf(0.0f, 0.0f, w, header);
    if (metalImage.loaded()) {
        list.texturedRect(strip, bottomTint, topTint, metalImage.texture(), kWholeTexture);
    } else {
        list.gradientRect(strip, bottomTint, topTint);
    }
    bevel(strip);

    useStyle(kStyleCaption);
    label(0, boxOf(0.25f * u, 3.0f * u, 19.0f * u, 4.0f * u), kEditorTitle, 10.0f,
          kAlignLeft);

    // Program name.
    pushGroup(kGroupProgramName, UiPoint{0.0f, 0.0f});
    char shown[kNameBytes + 8];
    std::snprintf(shown, sizeof(shown), "%.*s%s", kNameBytes, editorRecord.name(),
                  histories[currentSlot].isModified() ? " *" : "");
    gradientBox(0, boxOf(u, 0.75f * u, 13.0f * u, 2.75f * u), gammaEncoded(kNameBottomLinear),
                gammaEncoded(kNameTopLinear));
    useStyle(kStylePlain);
    label(0, boxOf(u, 0.75f * u, 13.0f * u, 2.75f * u), shown, 16.0f, kAlignLeft);
    popGroup();

    // Time base (in its mode, with the unit button that steps the mode) and half life.
    pushGroup(kGroupTiming, UiPoint{0.0f, 0.0f});
    useStyle(kStyleCaption);
    label(0, boxOf(13.25f * u, 2.0f * u, 16.25f * u, 3.0f * u), "time base", 14.0f, kAlignRight);
    label(0, boxOf(13.25f * u, 0.75f * u, 16.25f * u, 1.75f * u), "half life", 14.0f, kAlignRight);
    useStyle(kStylePlain);
    drawTimeBase(boxOf(16.5f * u, 2.0f * u, 18.5f * u, 3.0f * u), boxOf(18.5f * u, 2.0f * u, 19.75f * u, 3.0f * u));
    float halfLife = editorRecord.f(word::halfLife);
    float newHalfLife = valueBox(3, boxOf(16.5f * u, 0.75f * u, 18.5f * u, 1.75f * u), "%1.2f", 14.0f, 0.1f,
                                 1000.0f, halfLife, kValueBoxLogarithmicOff, kAlignRight);
    if (newHalfLife != halfLife) {
        editorRecord.setF(word::halfLife, newHalfLife);
        markChanged(kChangeCook);
    }
    popGroup();

    // Dry, wet, freeze, bypass.
    pushGroup(kGroupLevels, UiPoint{0.0f, 0.0f});
    useStyle(kStyleCaption);
    label(0, boxOf(20.0f * u, 2.0f * u, 22.0f * u, 3.0f * u), "dry", 14.0f, kAlignRight);
    label(0, boxOf(20.0f * u, 0.75f * u, 22.0f * u, 1.75f * u), "wet", 14.0f, kAlignRight);
    useStyle(kStylePlain);
    float dry = editorRecord.f(word::dry);
    float newDry = valueBox(1, boxOf(22.25f * u, 2.0f * u, 24.75f * u, 3.0f * u), "%1.2f", 14.0f, 0.0f, 100.0f, dry,
                            kValueBoxLinear, kAlignRight);
    if (newDry != dry) {
        editorRecord.setF(word::dry, newDry);
        markChanged(kChangeCook);
    }
    float wet = editorRecord.f(word::wet);
    float newWet = valueBox(2, boxOf(22.25f * u, 0.75f * u, 24.75f * u, 1.75f * u), "%1.2f", 14.0f, 0.0f, 100.0f, wet,
                            kValueBoxLinear, kAlignRight);
    if (newWet != wet) {
        editorRecord.setF(word::wet, newWet);
        markChanged(kChangeCook);
    }
    bool freezeAllowed = editorRecord.f(word::halfLife) != 0.0f;
    if (button(freezeAllowed ? 3 : kDisabledId, boxOf(25.5f * u, 2.0f * u, 26.5f * u, 3.0f * u), "F", 14.0f,
               freeze != 0 ? 1 : 0, kAlignCentre)) {
        freeze = freeze != 0 ? 0 : 1;
    }
    if (button(4, boxOf(25.5f * u, 0.75f * u, 26.5f * u, 1.75f * u), "B", 14.0f, bypass != 0 ? 1 : 0, kAlignCentre)) {
        bypass = bypass != 0 ? 0 : 1;
    }
    popGroup();
}

void Editor::drawTimeBase(const UiRect& valueRect, const UiRect& unitRect) {
    char unit[kTimeBaseUnitBytes] = "";
    float stored = editorRecord.f(word::timeBase);
    int32_t mode = timeBaseMode(editorRecord);
    bool changed = false;
    if (mode == kTimeBaseFrequency) {
        float hertz = stored != 0.0f ? 1.0f / stored : 0.0f;
        float edited = valueBox(1, valueRect, "#Hz", 14.0f, 1.0f, 1e6f, hertz, kValueBoxLogarithmic, kAlignRight, unit,
                                sizeof(unit));
        if (edited != hertz && edited > 0.0f) {
            editorRecord.setF(word::timeBase, 1.0f / edited);
            changed = true;
        }
    } else if (mode == kTimeBaseNote) {
        float edited = valueBox(1, valueRect, kNoteLengthLabels, 14.0f, 0.0f, 12.0f, stored, kValueBoxLinear,
                                kAlignRight);
        std::snprintf(unit, sizeof(unit), "note");
        if (edited != stored) {
            editorRecord.setF(word::timeBase, edited);
            changed = true;
        }
    } else {
        float edited = valueBox(1, valueRect, "#s", 14.0f, 1e-6f, 1.0f, stored, kValueBoxLogarithmic, kAlignRight, unit,
                                sizeof(unit));
        if (edited != stored) {
            editorRecord.setF(word::timeBase, edited);
            changed = true;
        }
    }
    int step = stepButton(2, unitRect, unit, 14.0f, 0, kAlignLeft);
    if (step != 0) {
        setTimeBaseMode(editorRecord, (mode + step + kTimeBaseModes) % kTimeBaseModes, effectHost.tempo());
        changed = true;
    }
    if (changed) {
        markChanged(kChangeCook | kChangeLengths);
    }
}

// ---------------------------------------------------------------------------------------------
// Pages, tabs, icons, undo

void Editor::drawSelectedPage() {
    switch (currentPage) {
        case kPageEditor:
            switch (editorSubPage) {
                case kTabMatrix:
                    drawMatrixPage(*this);
                    break;
                case kTabFilter:
                    drawFilterPage(*this);
                    break;
                case kTabModulation:
                    drawModulationPage(*this);
                    break;
                case kTabIo:
                    drawIoPage(*this);
                    break;
                default:
                    drawAlgorithmPage(*this);
                    break;
            }
            break;
        case kPageLibrary:
            drawLibraryPage(*this);
            break;
        case kPageCalculator:
            drawCalculatorPage(*this);
            break;
        case kPageInfo:
            drawInfoPage(*this);
            break;
        case kPageSettings:
            drawSettingsPage(*this);
            break;
        default:
            drawSummaryPage(*this);
            break;
    }
}

void Editor::drawPageSelector() {
    pushGroup(kGroupPage, UiPoint{0.0f, headerHeight()});
    drawSelectedPage();
    popGroup();
    if (currentPage == kPageEditor) {
        drawEditorTabs();
    }
    drawPageIcons();
}

void Editor::drawEditorTabs() {
    pushGroup(kGroupAnalysis, UiPoint{0.0f, headerHeight()});
    analysisStrip.draw(*this);
    popGroup();

    pushGroup(kGroupTabs, UiPoint{0.0f, headerHeight()});
    useStyle(kStylePlainMicr);
    for (int i = 0; i < 5; ++i) {
        uint32_t id = static_cast<uint32_t>(i + 1);
        button(id, centred(1.5f * u, (6.5f - i) * u, 2.0f * u, u), kTabLabels[i], 8.0f, editorSubPage == int32_t(id) ? 1 : 0,
               kAlignCentre);
    }
    uint32_t chosen = popGroup();
    if (chosen != 0) {
        editorSubPage = static_cast<int32_t>(chosen);
    }
}

void Editor::drawPageIcons() {
    pushGroup(kGroupPageIcons, UiPoint{0.0f, headerHeight()});
    setFont(&fonts[kFaceSymbols]);
    for (const PageIcon& icon : kPageIcons) {
        int32_t iconPage = icon.id == 1 ? kPageEditor : static_cast<int32_t>(icon.id);
        button(icon.id, centred(windowWidth() - 1.5f * u, icon.y * u, u, u), icon.glyph, icon.size,
               currentPage == iconPage ? 1 : 0, kAlignCentre);
    }
    uint32_t clicked = popGroup();
    if (clicked != 0) {
        int32_t chosen = clicked == 1 ? kPageEditor : static_cast<int32_t>(clicked);
        currentPage = chosen == currentPage ? kPageSummary : chosen;
    }
}

void Editor::drawUndoButtons() {
    UndoHistory& h = histories[currentSlot];
    pushGroup(kGroupUndo, UiPoint{0.0f, headerHeight()});
    setFont(&fonts[kFaceRegular]);
    if (button(h.canUndo() ? 1 : kDisabledId, centred(1.5f * u, 11.0f * u, 2.0f * u, u), "UNDO", 8.0f, 0,
               kAlignCentre)) {
        h.undo();
        undoRestoreRequest = true;
    }
    if (button(h.canRedo() ? 2 : kDisabledId, centred(1.5f * u, 10.0f * u, 2.0f * u, u), "REDO", 8.0f, 0,
               kAlignCentre)) {
        h.redo();
        undoRestoreRequest = true;
    }
    popGroup();
}

}  // namespace tarsk
