// The immediate-mode user interface: each frame the pages call widget operations in drawing order;
// every call draws its widget into the draw list and reports what the mouse and keyboard did to it.
// Widgets are known only by the ids the pages pass. Platform-free: the window feeds the input
// operations, modifier keys and the clipboard come through the small interfaces below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gl-event.h"
#include "ui-draw-list.h"
#include "ui-renderer.h"
#include "ui-types.h"
#include "view.h"

namespace tarsk {

class UiContext;
class UiFontmap;

// Key values of the key queue: a key code (keys without a character) or kKeyCharacter | character.
constexpr uint32_t kKeyCharacter = key::kCharacterTag;
constexpr uint32_t kKeyCharacterMask = 0xFFFFu;  // the queue's key values carry 16-bit characters
constexpr uint32_t kKeyLeft = key::kLeft;
constexpr uint32_t kKeyRight = key::kRight;
constexpr uint32_t kKeyUp = key::kUp;
constexpr uint32_t kKeyDown = key::kDown;
constexpr uint32_t kKeyHome = key::kHome;
constexpr uint32_t kKeyEnd = key::kEnd;
constexpr uint32_t kKeyDelete = key::kDelete;
constexpr uint32_t kCharBackspace = key::kBackspace;
constexpr uint32_t kCharPaste = 22;  // Ctrl+V
constexpr uint32_t kCharFirstPrintable = 32;
constexpr uint32_t kCharFirstReference = 256;  // from here on inserted as "&#n;"

// Modifier key indices of the platform's asynchronous key state.
constexpr int kModifierShift = static_cast<int>(key::kShift);
constexpr int kModifierCtrl = static_cast<int>(key::kCtrl);
constexpr int kModifierAlt = static_cast<int>(key::kAlt);
constexpr int kModifierWindows = static_cast<int>(key::kWindows);

constexpr uint32_t kDisabledId = 0xFFFFFFFFu;  // local id of a disabled widget
constexpr uint32_t kBlockedId = 0xFFFFFFFFu;   // active id after a press over no widget
constexpr int kGroupStackSize = 16;
constexpr size_t kKeyQueueBytes = 4096;
constexpr size_t kKeyValueBytes = 4;
constexpr int kParagraphMaxWords = 256;
constexpr float kParagraphGap = 0.2f;  // em between words
constexpr int kPaletteRows = 8;
constexpr int kPaletteHot = 2;
constexpr int kPaletteActive = 4;
constexpr int kPaletteDisabled = 6;
constexpr float kPaletteGamma = 1.0f / 2.2f;
constexpr float kDrawTextMargin = 2.0f;  // pixels between the box edge and left or right aligned text

// Alignments of drawText, the labels and the paragraphs.
constexpr int kAlignLeft = 0;
constexpr int kAlignRight = 1;
constexpr int kAlignCentre = 2;
constexpr int kAlignJustify = 3;  // paragraphs; drawText sets any value other than 0..2 flush at the left

// xyHandle modes.
constexpr int kHandleSquare = 0;
constexpr int kHandleArrow = 1;
constexpr int kHandleArea = 2;
constexpr int kHandleClampX = 3;
constexpr int kHandleClampY = 4;
constexpr int kHandleClampBoth = 5;

// The object told of mouse-capture changes and asked for the keyboard focus: the window's root view,
// through RootViewUiHost (ui-root-host.h).
class UiHost {
public:
    virtual ~UiHost() = default;
    virtual void viewChanged() {}
    // A widget took a mouse button, or both buttons went up.
    virtual void captureChanged(UiContext& context) = 0;
    // A text area holds the keyboard focus in this frame: the window should take the keyboard.
    virtual void requestKeyboardFocus() {}
};

// Asynchronous modifier key state, read at the time of use.
class PlatformInput {
public:
    virtual ~PlatformInput() = default;
    // Whether the key of a modifier index (kModifierShift, kModifierCtrl, kModifierAlt, kModifierWindows)
    // is down now.
    virtual bool keyDown(int index) const = 0;
};

// The system clipboard, read without blocking: requestText asks for the text; when (and if) it arrives the
// platform hands it to UiContext::clipboardArrived between frames.
class ClipboardSource {
public:
    virtual ~ClipboardSource() = default;
    virtual void requestText(UiContext& context) = 0;
};

// One entry of the group stack.
struct UiGroup {
    uint32_t id = 0;
    float originX = 0.0f;
    float originY = 0.0f;
    uint32_t changedId = 0;
};

// The gamma-encoded palette: background and text colours by row (palette row + 2 hot + 4 active; 6 disabled).
struct UiPalette {
    UiColour background[kPaletteRows];
    UiColour text[kPaletteRows];
};
const UiPalette& uiPalette();

class UiContext : public View {
public:
    UiContext();
    ~UiContext() override = default;
    UiContext(const UiContext&) = delete;
    UiContext& operator=(const UiContext&) = delete;

    void setHost(UiHost* host) { hostView = host; }
    void setPlatformInput(PlatformInput* input) { platformInput = input; }
    void setClipboard(ClipboardSource* source) { clipboard = source; }
    // The renderer endFrame flushes to (none: the draw list is only emptied).
    void setRenderer(Renderer* renderer) { frameRenderer = renderer; }

    // ---- Input: the view operations, as the view router delivers them (pixels, origin bottom-left, y up;
    // the middle button is ignored) ----
    void mouseMove(float x, float y) override;
    void hoverChanged(bool inside) override;
    void leftButton(bool pressed, float x, float y) override;
    void rightButton(bool pressed, float x, float y) override;
    void wheel(float dx, float dy) override;
    // Queues a key value while a text area held the focus in the last frame; true when queued.
    bool key(bool down, uint32_t value) override;
    void focusChanged(bool focused) override;
    // Clipboard text (UTF-8) that arrived after a paste request: each character is queued as a key
    // value while the queue has room. Call between frames, on the thread that draws.
    void clipboardArrived(const char* text, size_t length);

    // ---- Frame ----
    void beginFrame();
    void endFrame();

    // ---- Groups, style, clip ----
    void pushGroup(uint32_t id, UiPoint offset);
    uint32_t popGroup();
    void setFont(const UiFontmap* font) { currentStyle.font = font; }
    void setStyle(const UiStyle& style) { currentStyle = style; }
    const UiStyle& style() const { return currentStyle; }
    void setClip(const UiRect& rect);
    void resetClip();

    // ---- Widgets ----
    void label(uint32_t id, const UiRect& rect, const char* text, float size, int align);
    bool button(uint32_t id, const UiRect& rect, const char* text, float size, int paletteRow, int align);
    int stepButton(uint32_t id, const UiRect& rect, const char* text, float size, int paletteRow, int align);
    float fader(uint32_t id, const UiRect& rect, float min, float max, float value);
    // The number box; format as formatValueBoxText. unitOut (may be null) receives the unit of a "#" format.
    float valueBox(uint32_t id, const UiRect& rect, const char* format, float size, float min, float max,
                   float value, uint32_t mapping, int align, char* unitOut = nullptr, size_t unitSize = 0);
    float scrollBar(uint32_t id, const UiRect& rect, float min, float max, float position, float span,
                    const UiRect& wheelRect, float step);
    UiPoint xyHandle(uint32_t id, const UiRect& rect, UiPoint point, float radius, float scale, int mode);
    void paragraph(uint32_t id, const UiRect& rect, const char* text, float size, int align);
    // An editable paragraph over buffer (NUL-terminated, room for capacity + 1 bytes); caret is a byte index.
    bool textArea(uint32_t id, const UiRect& rect, char* buffer, float size, int align, int& caret, int capacity);
    void gradientBox(uint32_t id, const UiRect& rect, const UiColour& bottom, const UiColour& top);
    void imageBox(uint32_t id, const UiRect& rect, TextureId texture, const UiColour& bottom, const UiColour& top);
    void drawText(const UiFontmap* font, const char* text, const UiColour& background, const UiColour& textColour,
                  const UiColour& shadow, float left, float bottom, float width, float height, float size,
                  int align);

    // ---- State (for the pages, the window and tests) ----
    DrawList& drawList() { return list; }
    bool mouseInside() const { return inside; }
    bool leftDown() const { return leftIsDown; }
    bool rightDown() const { return rightIsDown; }
    float mouseX() const { return mx; }
    float mouseY() const { return my; }
    float wheelX() const { return wheelDx; }
    float wheelY() const { return wheelDy; }
    uint32_t hotId() const { return hot; }
    uint32_t leftActiveId() const { return leftActive; }
    uint32_t rightActiveId() const { return rightActive; }
    uint32_t focusId() const { return focus; }
    bool suspended() const { return suspendedFlag != 0; }
    bool groupOpen() const { return activeGroup != nullptr; }
    const UiGroup* group() const { return activeGroup; }
    // Whether a text area held the keyboard focus in the frame (the last one, between frames).
    bool wantsFocus() const { return focusWanted; }
    size_t keyQueueUsed() const { return keyUsed; }
    size_t keyQueueFree() const { return kKeyQueueBytes - keyUsed; }
    // Frames that ended with a group still open (a programming error of the pages; the groups are closed).
    uint32_t openGroupErrors() const { return groupErrors; }
    static constexpr const char* kOpenGroupMessage = "m_pActiveGroup == 0";

    bool shiftHeld() const { return modifier(kModifierShift); }
    bool ctrlHeld() const { return modifier(kModifierCtrl); }
    bool altHeld() const { return modifier(kModifierAlt); }

protected:
    // One laid-out word of a paragraph: byte range in the text, width and place in pixels.
    struct Word {
        int start = 0;
        int length = 0;
        int line = 0;
        float width = 0.0f;
        float x = 0.0f;
    };
    struct Layout {
        int wordCount = 0;
        int lineCount = 0;
        float size = 0.0f;
        float lineHeight = 0.0f;
        float top = 0.0f;
    };

private:
    bool modifier(int index) const { return platformInput != nullptr && platformInput->keyDown(index); }
    void notifyCapture();
    // Focus id <- 0; queued keys are dropped.
    void dropFocus();
    uint32_t effectiveId(uint32_t localId) const;
    UiRect absolute(const UiRect& rect) const;
    bool mouseOver(const UiRect& absoluteRect) const;
    void recordChange(uint32_t localId);
    bool pushKey(uint32_t value);
    bool popKey(uint32_t& value);

    // Paragraph layout of text into the words scratch (the text is copied into wordText with every separator
    // made a NUL so that each word is a string of its own).
    void layoutParagraph(const char* text, const UiRect& box, float size, int align, Layout& layout);
    void drawParagraph(const UiRect& box, const Layout& layout);
    float lineBottom(const Layout& layout, int line) const;
    // Caret position: x in pixels and line.
    void caretPlace(const Layout& layout, int caret, float& x, int& line) const;
    int indexOnLine(const Layout& layout, int line, float x, int textLength) const;
    int nextCharacter(const char* text, int position) const;
    int previousCharacter(const char* text, int position) const;

    UiHost* hostView = nullptr;
    PlatformInput* platformInput = nullptr;
    ClipboardSource* clipboard = nullptr;
    Renderer* frameRenderer = nullptr;

    bool inside = false;
    bool leftIsDown = false;
    bool rightIsDown = false;
    bool leftPressUnseen = false;  // pressed since the last frame ended
    bool rightPressUnseen = false;
    bool leftReleaseWaits = false;  // released before any frame saw the press
    bool rightReleaseWaits = false;
    float mx = 0.0f;
    float my = 0.0f;
    float wheelDx = 0.0f;
    float wheelDy = 0.0f;
    uint32_t hot = 0;
    uint32_t leftActive = 0;
    uint32_t rightActive = 0;
    uint32_t focus = 0;
    float dragX = 0.0f;
    float dragY = 0.0f;
    UiGroup groups[kGroupStackSize];
    UiGroup* activeGroup = nullptr;
    uint32_t suspendedFlag = 0;
    UiStyle currentStyle;
    UiRect clipRect;
    bool clipOn = false;
    uint8_t keyQueue[kKeyQueueBytes] = {};
    size_t keyRead = 0;
    size_t keyUsed = 0;
    DrawList list;

    bool focusWanted = false;
    uint32_t groupErrors = 0;
    float scrollGrab = 0.0f;  // mouse y to thumb centre while a scroll bar is dragged

    std::vector<char> wordText;  // grown, never shrunk
    Word words[kParagraphMaxWords];
};

}  // namespace tarsk
