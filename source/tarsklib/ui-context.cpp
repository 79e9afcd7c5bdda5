#include "ui-context.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ui-fontmap.h"
#include "ui-number-format.h"

namespace tarsk {

namespace {

struct LinearRow {
    float r, g, b, a;
};

// Background and text rows before gamma encoding.
constexpr LinearRow kBackgroundRows[kPaletteRows] = {
    {0.0f, 0.0f, 0.0f, 0.0f},   {0.08f, 0.02f, 0.88f, 0.5f}, {0.0f, 0.0f, 0.0f, 0.0f},
    {0.08f, 0.02f, 0.88f, 0.5f}, {0.08f, 0.02f, 0.88f, 0.2f}, {0.08f, 0.02f, 0.88f, 0.6f},
    {0.0f, 0.0f, 0.0f, 0.0f},   {0.0f, 0.0f, 0.0f, 0.0f},
};
constexpr LinearRow kTextRows[kPaletteRows] = {
    {1.0f, 0.78f, 0.4f, 1.0f},  {1.0f, 0.78f, 0.4f, 1.0f},  {1.0f, 0.02f, 0.19f, 1.0f},
    {1.0f, 0.02f, 0.19f, 1.0f}, {1.0f, 0.02f, 0.19f, 1.0f}, {1.0f, 0.02f, 0.19f, 1.0f},
    {0.75f, 0.75f, 0.75f, 1.0f}, {0.75f, 0.75f, 0.75f, 1.0f},
};

float encodeGamma(float c) { return c <= 0.0f ? 0.0f : std::pow(c, kPaletteGamma); }

UiColour encodeRow(const LinearRow& row) {
    return {encodeGamma(row.r), encodeGamma(row.g), encodeGamma(row.b), encodeGamma(row.a)};
}

UiPalette buildPalette() {
    UiPalette palette;
    for (int i = 0; i < kPaletteRows; ++i) {
        palette.background[i] = encodeRow(kBackgroundRows[i]);
        palette.text[i] = encodeRow(kTextRows[i]);
    }
    return palette;
}

constexpr uint32_t kReplacementCharacter = 0xFFFD;

constexpr UiColour kOpaqueBlack{0.0f, 0.0f, 0.0f, 1.0f};
constexpr UiColour kOpaqueWhite{1.0f, 1.0f, 1.0f, 1.0f};

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

int clampRow(int row) { return std::clamp(row, 0, kPaletteRows - 1); }

}  // namespace

const UiPalette& uiPalette() {
    static const UiPalette palette = buildPalette();
    return palette;
}

UiContext::UiContext() {
    flags = viewflag::kTakesButtons | viewflag::kTakesMoves | viewflag::kTakesHover | viewflag::kTakesWheel;
    const UiPalette& palette = uiPalette();
    currentStyle.background = palette.background[0];
    currentStyle.text = palette.text[0];
}

// ---- Input ----------------------------------------------------------------------------------------------

void UiContext::mouseMove(float x, float y) {
    mx = x;
    my = y;
}

void UiContext::hoverChanged(bool isInside) { inside = isInside; }

// A press and its release that both arrive between two frames would never be seen by a widget: the
// release then waits until a frame has seen the button down (endFrame applies it).
void UiContext::leftButton(bool pressed, float x, float y) {
    if (pressed) {
        leftIsDown = true;
        leftPressUnseen = true;
        leftReleaseWaits = false;
    } else if (leftPressUnseen) {
        leftReleaseWaits = true;
    } else {
        leftIsDown = false;
    }
    mx = x;
    my = y;
}

void UiContext::rightButton(bool pressed, float x, float y) {
    if (pressed) {
        rightIsDown = true;
        rightPressUnseen = true;
        rightReleaseWaits = false;
    } else if (rightPressUnseen) {
        rightReleaseWaits = true;
    } else {
        rightIsDown = false;
    }
    mx = x;
    my = y;
}

void UiContext::wheel(float dx, float dy) {
    wheelDx += dx;
    wheelDy += dy;
}

bool UiContext::key(bool down, uint32_t value) {
    if (!down || !focusWanted) {
        return false;
    }
    return pushKey(value);
}

void UiContext::focusChanged(bool focused) {
    if (!focused) {
        dropFocus();
    }
}

void UiContext::dropFocus() {
    // Keys typed for one text area must not reach the next one that takes the focus.
    focus = 0;
    keyRead = 0;
    keyUsed = 0;
}

void UiContext::clipboardArrived(const char* text, size_t length) {
    if (text == nullptr || focus == 0) {
        return;
    }
    size_t i = 0;
    while (i < length && text[i] != 0 && keyQueueFree() >= kKeyValueBytes) {
        // UTF-8 to code points; a damaged sequence gives its lead byte alone.
        const uint8_t lead = static_cast<uint8_t>(text[i]);
        int count = lead < 0x80 ? 1 : lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t cp = count == 1 ? lead : count == 2 ? (lead & 0x1Fu) : count == 3 ? (lead & 0x0Fu) : (lead & 0x07u);
        bool whole = i + static_cast<size_t>(count) <= length;
        for (int k = 1; whole && k < count; ++k) {
            const uint8_t next = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
            whole = (next & 0xC0u) == 0x80u;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if (!whole) {
            count = 1;
            cp = lead;
        }
        i += static_cast<size_t>(count);
        if (cp == '\r' || cp == '\n' || cp == '\t') {
            cp = ' ';  // a line break is a word break to the paragraph
        }
        // Key values carry 16 bits: characters beyond them become the replacement character.
        pushKey(kKeyCharacter | (cp > kKeyCharacterMask ? kReplacementCharacter : cp));
    }
}

bool UiContext::pushKey(uint32_t value) {
    if (keyQueueFree() < kKeyValueBytes) {
        return false;
    }
    const size_t at = (keyRead + keyUsed) % kKeyQueueBytes;
    std::memcpy(keyQueue + at, &value, kKeyValueBytes);
    keyUsed += kKeyValueBytes;
    return true;
}

bool UiContext::popKey(uint32_t& value) {
    if (keyUsed < kKeyValueBytes) {
        return false;
    }
    std::memcpy(&value, keyQueue + keyRead, kKeyValueBytes);
    keyRead = (keyRead + kKeyValueBytes) % kKeyQueueBytes;
    keyUsed -= kKeyValueBytes;
    return true;
}

// ---- Frame ------------------------------------------------------------------------------------------------

void UiContext::beginFrame() {
    hot = 0;
    activeGroup = nullptr;
    suspendedFlag = 0;
    focusWanted = false;
    if (leftActive == 0 && leftIsDown) {
        dropFocus();
    }
}

void UiContext::endFrame() {
    list.flush(frameRenderer);
    if (activeGroup != nullptr) {
        // A page left a group open: count it and close the groups rather than stop the host.
        ++groupErrors;
        activeGroup = nullptr;
    }
    if (!leftIsDown) {
        leftActive = 0;
        if (rightActive == 0) {
            notifyCapture();
        }
    } else if (leftActive == 0) {
        leftActive = kBlockedId;
    }
    if (!rightIsDown) {
        rightActive = 0;
    } else if (rightActive == 0) {
        rightActive = kBlockedId;
    }
    wheelDx = 0.0f;
    wheelDy = 0.0f;
    // This frame saw the buttons as they were pressed; a release that waited for it comes now.
    leftPressUnseen = false;
    rightPressUnseen = false;
    if (leftReleaseWaits) {
        leftReleaseWaits = false;
        leftIsDown = false;
    }
    if (rightReleaseWaits) {
        rightReleaseWaits = false;
        rightIsDown = false;
    }
}

void UiContext::notifyCapture() {
    if (hostView != nullptr) {
        hostView->captureChanged(*this);
    }
}

// ---- Groups, clip ---------------------------------------------------------------------------------------

void UiContext::pushGroup(uint32_t id, UiPoint offset) {
    if (activeGroup == nullptr) {
        activeGroup = &groups[0];
        activeGroup->id = id;
        activeGroup->originX = offset.x;
        activeGroup->originY = offset.y;
    } else {
        const UiGroup parent = *activeGroup;
        if (activeGroup < groups + kGroupStackSize - 1) {
            ++activeGroup;
        } else {
            suspendedFlag = 1;
        }
        activeGroup->id = parent.id + id;
        activeGroup->originX = parent.originX + offset.x;
        activeGroup->originY = parent.originY + offset.y;
    }
    activeGroup->changedId = 0;
}

uint32_t UiContext::popGroup() {
    if (activeGroup == nullptr) {
        return 0;
    }
    const UiGroup popped = *activeGroup;
    if (activeGroup == groups) {
        activeGroup = nullptr;
    } else {
        --activeGroup;
        if (popped.changedId != 0) {
            activeGroup->changedId = popped.id + popped.changedId;
        }
    }
    return popped.changedId;
}

void UiContext::setClip(const UiRect& rect) {
    clipRect = absolute(rect);
    clipOn = true;
    list.setClip(clipRect);
}

void UiContext::resetClip() {
    clipOn = false;
    list.resetClip();
}

uint32_t UiContext::effectiveId(uint32_t localId) const {
    return activeGroup != nullptr ? (localId | activeGroup->id) : localId;
}

UiRect UiContext::absolute(const UiRect& rect) const {
    if (activeGroup == nullptr) {
        return rect;
    }
    return {rect.cx + activeGroup->originX, rect.cy + activeGroup->originY, rect.hw, rect.hh};
}

bool UiContext::mouseOver(const UiRect& r) const {
    if (!inside || std::fabs(mx - r.cx) >= r.hw || std::fabs(my - r.cy) >= r.hh) {
        return false;
    }
    return !clipOn || (std::fabs(mx - clipRect.cx) < clipRect.hw && std::fabs(my - clipRect.cy) < clipRect.hh);
}

void UiContext::recordChange(uint32_t localId) {
    if (activeGroup != nullptr) {
        activeGroup->changedId = localId;
    }
}

// ---- Text -------------------------------------------------------------------------------------------------

void UiContext::drawText(const UiFontmap* font, const char* text, const UiColour& background,
                         const UiColour& textColour, const UiColour& shadow, float left, float bottom, float width,
                         float height, float size, int align) {
    if (font == nullptr || text == nullptr) {
        return;
    }
    if (background.a > 0.0f) {
        list.fillRect({left + width * 0.5f, bottom + height * 0.5f, width * 0.5f, height * 0.5f}, background);
    }
    const float y = std::floor(bottom + std::floor(height / 2.0f)) - (font->ascent() + font->descent()) * size / 2.0f;
    float x = left;
    if (align == kAlignLeft) {
        x = left + kDrawTextMargin;
    } else if (align == kAlignRight) {
        x = left + width - kDrawTextMargin - font->textWidth(text) * size;
    } else if (align == kAlignCentre) {
        x = left + (width - font->textWidth(text) * size) / 2.0f;
    }
    const int layer = list.layer();
    list.setLayer(list.nextLayer());
    if (shadow.a > 0.0f) {
        font->drawString(list, x + 1.0f, y - 1.0f, shadow, size, text);
    }
    font->drawString(list, x, y, textColour, size, text);
    list.setLayer(layer);
}

// ---- Widgets ----------------------------------------------------------------------------------------------

void UiContext::label(uint32_t, const UiRect& rect, const char* text, float size, int align) {
    if (suspendedFlag != 0) {
        return;
    }
    const UiRect r = absolute(rect);
    drawText(currentStyle.font, text, currentStyle.background, currentStyle.text, currentStyle.shadow, r.left(),
             r.bottom(), 2.0f * r.hw, 2.0f * r.hh, size * currentStyle.scale, align);
}

bool UiContext::button(uint32_t localId, const UiRect& rect, const char* text, float size, int paletteRow,
                       int align) {
    if (suspendedFlag != 0) {
        return false;
    }
    const UiRect r = absolute(rect);
    int row = kPaletteDisabled;
    bool clicked = false;
    if (localId != kDisabledId) {
        const uint32_t id = effectiveId(localId);
        const bool over = mouseOver(r);
        if (over) {
            hot = id;
            if (leftActive == 0 && leftIsDown) {
                leftActive = id;
                notifyCapture();
            }
        }
        const bool active = leftActive == id;
        row = paletteRow + (over && leftActive == 0 ? kPaletteHot : 0) + (active && over ? kPaletteActive : 0);
        clicked = active && over && !leftIsDown;
        if (clicked) {
            recordChange(localId);
        }
    }
    const UiPalette& palette = uiPalette();
    row = clampRow(row);
    drawText(currentStyle.font, text, palette.background[row], palette.text[row], kOpaqueBlack, r.left(), r.bottom(),
             2.0f * r.hw, 2.0f * r.hh, size * currentStyle.scale, align);
    return clicked;
}

int UiContext::stepButton(uint32_t localId, const UiRect& rect, const char* text, float size, int paletteRow,
                          int align) {
    if (suspendedFlag != 0) {
        return 0;
    }
    const UiRect r = absolute(rect);
    int row = kPaletteDisabled;
    int step = 0;
    if (localId != kDisabledId) {
        const uint32_t id = effectiveId(localId);
        const bool over = mouseOver(r);
        if (over) {
            hot = id;
            if (leftActive == 0 && leftIsDown) {
                leftActive = id;
                notifyCapture();
            } else if (rightActive == 0 && rightIsDown) {
                rightActive = id;
                notifyCapture();
            }
        }
        const bool holds = leftActive == id || rightActive == id;
        const bool nothingActive = leftActive == 0 && rightActive == 0;
        row = paletteRow + (over && nothingActive ? kPaletteHot : 0) + (holds ? kPaletteActive : 0);
        const bool up = (over && leftActive == id && !leftIsDown) || (over && wheelDy > 0.0f);
        const bool down = (over && rightActive == id && !rightIsDown) || (over && wheelDy < 0.0f);
        step = (up ? 1 : 0) - (down ? 1 : 0);
        if (up || down) {
            recordChange(localId);
        }
    }
    const UiPalette& palette = uiPalette();
    row = clampRow(row);
    drawText(currentStyle.font, text, palette.background[row], palette.text[row], kOpaqueBlack, r.left(), r.bottom(),
             2.0f * r.hw, 2.0f * r.hh, size * currentStyle.scale, align);
    return step;
}

float UiContext::fader(uint32_t localId, const UiRect& rect, float min, float max, float value) {
    if (suspendedFlag != 0) {
        return 0.0f;
    }
    const UiRect r = absolute(rect);
    int row = kPaletteDisabled;
    const float range = max - min;
    const float width = 2.0f * r.hw;
    float position = range != 0.0f ? (value - min) / range * width : 0.0f;
    if (localId != kDisabledId) {
        const uint32_t id = effectiveId(localId);
        const bool over = mouseOver(r);
        if (over) {
            hot = id;
            if (leftActive == 0 && leftIsDown) {
                leftActive = id;
                dragX = mx;
                dragY = my;
                notifyCapture();
            }
        }
        const bool active = leftActive == id;
        row = active ? kPaletteActive : (over && leftActive == 0 ? kPaletteHot : 0);
        if (active) {
            float dx = mx - dragX;
            if (ctrlHeld()) {
                dx /= static_cast<float>(kValueBoxFineDivisor);
            } else if (altHeld()) {
                dx /= static_cast<float>(kValueBoxFinestDivisor);
            }
            dragX = mx;
            dragY = my;
            if (dx != 0.0f && range != 0.0f && width > 0.0f) {
                position = std::clamp(position + dx, 0.0f, width);
                const float next = min + position / width * range;
                if (next != value) {
                    value = next;
                    recordChange(localId);
                }
            }
        }
    }
    const UiColour& colour = uiPalette().text[row];
    const float x = r.left() + std::clamp(position, 0.0f, width);
    list.line({r.left(), r.cy}, {r.right(), r.cy}, colour);
    list.line({x, r.bottom()}, {x, r.top()}, colour);
    return value;
}

float UiContext::valueBox(uint32_t localId, const UiRect& rect, const char* format, float size, float min, float max,
                          float value, uint32_t mapping, int align, char* unitOut, size_t unitSize) {
    if (suspendedFlag != 0) {
        return 0.0f;
    }
    const UiRect r = absolute(rect);
    int row = kPaletteDisabled;
    if (localId != kDisabledId) {
        const uint32_t id = effectiveId(localId);
        const bool over = mouseOver(r);
        if (over) {
            hot = id;
            if (leftActive == 0 && leftIsDown) {
                leftActive = id;
                dragX = mx;
                dragY = my;
                notifyCapture();
            }
        }
        const bool active = leftActive == id;
        row = active ? kPaletteActive : (over && leftActive == 0 ? kPaletteHot : 0);
        double delta = 0.0;
        if (over && wheelDy != 0.0f) {
            delta += valueBoxDelta(wheelDy, ctrlHeld(), altHeld());
            wheelDy = 0.0f;
        }
        if (active) {
            delta += valueBoxDelta(my - dragY, ctrlHeld(), altHeld());
            dragX = mx;
            dragY = my;
        }
        const ValueBoxChange change = valueBoxApply(value, min, max, mapping, delta);
        if (change.changed) {
            value = change.value;
            recordChange(localId);
        }
    }
    char text[kValueBoxTextSize];
    formatValueBoxText(format != nullptr ? format : "", value, text, sizeof text, unitOut, unitSize);
    const UiPalette& palette = uiPalette();
    drawText(currentStyle.font, text, palette.background[row], palette.text[row], kOpaqueBlack, r.left(), r.bottom(),
             2.0f * r.hw, 2.0f * r.hh, size * currentStyle.scale, align);
    return value;
}

float UiContext::scrollBar(uint32_t localId, const UiRect& rect, float min, float max, float position, float span,
                           const UiRect& wheelRect, float step) {
    if (suspendedFlag != 0) {
        return 0.0f;
    }
    const UiRect r = absolute(rect);
    position = std::max(position, min + span);
    position = std::min(position, max - span);
    const float range = max - min;
    if (!(range > 0.0f)) {
        list.fillRect(r, uiPalette().background[localId == kDisabledId ? kPaletteDisabled : 1]);
        return position;
    }
    const float thumbHalf = std::min(2.0f * span / range * r.hh, r.hh);
    const float lowest = r.cy - r.hh + thumbHalf;
    const float highest = r.cy + r.hh - thumbHalf;
    float thumbY = r.cy + ((2.0f * (position - min) / range) - 1.0f) * r.hh;
    const float startY = thumbY;
    int row = kPaletteDisabled;
    if (localId != kDisabledId) {
        const uint32_t id = effectiveId(localId);
        if (wheelDy != 0.0f && mouseOver(absolute(wheelRect))) {
            thumbY = std::clamp(thumbY + 2.0f * wheelDy * step / range * r.hh, lowest, highest);
            wheelDy = 0.0f;
        }
        const UiRect thumb{r.cx, thumbY, r.hw, thumbHalf};
        const bool over = mouseOver(thumb);
        if (over) {
            hot = id;
            if (leftActive == 0 && leftIsDown) {
                leftActive = id;
                scrollGrab = thumbY - my;
                notifyCapture();
            }
        }
        const bool active = leftActive == id;
        if (active) {
            thumbY = std::clamp(my + scrollGrab, lowest, highest);
        }
        row = active ? kPaletteActive : (over && leftActive == 0 ? kPaletteHot : 0);
    }
    const UiPalette& palette = uiPalette();
    list.fillRect(r, palette.background[row == kPaletteDisabled ? kPaletteDisabled : 1]);
    list.fillRect({r.cx, thumbY, r.hw, thumbHalf}, palette.text[row]);
    if (thumbY != startY) {
        recordChange(localId);
        return ((thumbY - r.cy) / r.hh + 1.0f) * range / 2.0f + min;
    }
    return position;
}

UiPoint UiContext::xyHandle(uint32_t localId, const UiRect& rect, UiPoint point, float radius, float scale,
                            int mode) {
    if (suspendedFlag != 0) {
        return {0.0f, 0.0f};
    }
    const UiRect r = absolute(rect);
    const float safeScale = scale != 0.0f ? scale : 1.0f;
    float hx = r.cx + point.x * r.hw / safeScale;
    float hy = r.cy + point.y * r.hh / safeScale;
    int row = kPaletteDisabled;
    if (localId != kDisabledId) {
        const uint32_t id = effectiveId(localId);
        const bool over = mode <= kHandleArrow
                              ? mouseOver({hx, hy, std::fabs(radius), std::fabs(radius)})
                              : mouseOver(r);
        if (over) {
            hot = id;
            if (leftActive == 0 && leftIsDown) {
                leftActive = id;
                dragX = mx;
                dragY = my;
                notifyCapture();
            }
        }
        const bool active = leftActive == id;
        row = active ? kPaletteActive : (over && leftActive == 0 ? kPaletteHot : 0);
        if (active) {
            const float dx = mx - dragX;
            const float dy = my - dragY;
            dragX = mx;
            dragY = my;
            if ((dx != 0.0f || dy != 0.0f) && r.hw > 0.0f && r.hh > 0.0f) {
                UiPoint next{point.x + dx * scale / r.hw, point.y + dy * scale / r.hh};
                const float limit = std::fabs(scale);
                if (mode <= kHandleArea) {
                    const float length = std::sqrt(next.x * next.x + next.y * next.y);
                    if (length >= limit && length > 0.0f) {
                        next.x *= limit / length;
                        next.y *= limit / length;
                    }
                }
                if (mode == kHandleClampX || mode == kHandleClampBoth) {
                    next.x = std::clamp(next.x, -limit, limit);
                }
                if (mode == kHandleClampY || mode == kHandleClampBoth) {
                    next.y = std::clamp(next.y, -limit, limit);
                }
                if (next.x != point.x || next.y != point.y) {
                    point = next;
                    recordChange(localId);
                    hx = r.cx + point.x * r.hw / safeScale;
                    hy = r.cy + point.y * r.hh / safeScale;
                }
            }
        }
    }
    const UiColour& colour = uiPalette().text[row];
    const float half = std::fabs(radius);
    if (mode == kHandleSquare) {
        list.fillRect({hx, hy, half, half}, colour);
    } else if (mode == kHandleArrow) {
        list.line({r.cx, r.cy}, {hx, hy}, colour);
        const float vx = hx - r.cx, vy = hy - r.cy;
        const float length = std::sqrt(vx * vx + vy * vy);
        if (length > 0.0f) {
            const float ux = vx / length, uy = vy / length;
            // A negative radius turns the head round: its base lies at the handle and its tip points inwards.
            const float back = radius < 0.0f ? 0.0f : 2.0f * half;
            const float tip = radius < 0.0f ? 2.0f * half : 0.0f;
            const float baseX = hx - ux * back, baseY = hy - uy * back;
            list.fillTriangle({hx - ux * tip, hy - uy * tip}, {baseX - uy * half, baseY + ux * half},
                              {baseX + uy * half, baseY - ux * half}, colour);
        }
    }
    return point;
}

void UiContext::gradientBox(uint32_t, const UiRect& rect, const UiColour& bottom, const UiColour& top) {
    if (suspendedFlag != 0) {
        return;
    }
    list.gradientRect(absolute(rect), bottom, top);
}

void UiContext::imageBox(uint32_t, const UiRect& rect, TextureId texture, const UiColour& bottom,
                         const UiColour& top) {
    if (suspendedFlag != 0) {
        return;
    }
    list.texturedRect(absolute(rect), bottom, top, texture, {0.5f, 0.5f, 0.5f, 0.5f});
}

// ---- Paragraphs and the text area -------------------------------------------------------------------------

void UiContext::layoutParagraph(const char* text, const UiRect& box, float size, int align, Layout& layout) {
    const UiFontmap* font = currentStyle.font;
    const size_t length = std::strlen(text);
    if (wordText.size() < length + 1) {
        wordText.resize(length + 1);
    }
    std::memcpy(wordText.data(), text, length + 1);
    layout = Layout{};
    layout.size = size;
    layout.lineHeight = font->lineHeight() * size;
    layout.top = box.top();
    const float boxWidth = 2.0f * box.hw;
    const float gap = kParagraphGap * size;

    int count = 0;
    for (size_t i = 0; i < length && count < kParagraphMaxWords;) {
        if (isSeparator(wordText[i])) {
            wordText[i] = 0;
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < length && !isSeparator(wordText[i])) {
            ++i;
        }
        if (i < length) {
            wordText[i] = 0;
        }
        Word& w = words[count++];
        w.start = static_cast<int>(start);
        w.length = static_cast<int>(i - start);
        w.width = font->textWidth(wordText.data() + start) * size;
        ++i;
    }
    layout.wordCount = count;

    // Greedy filling, then placement line by line.
    int line = 0;
    int first = 0;
    while (first < count) {
        float lineWidth = 0.0f;
        int end = first;
        while (end < count) {
            const int onLine = end - first;
            if (onLine > 0 && static_cast<float>(onLine - 1) * gap + lineWidth + words[end].width > boxWidth) {
                break;
            }
            lineWidth += words[end].width;
            words[end].line = line;
            ++end;
        }
        const int n = end - first;
        const float natural = lineWidth + static_cast<float>(n - 1) * gap;
        float x = box.left();
        float step = gap;
        const bool last = end >= count;
        if (align == kAlignRight) {
            x = box.right() - natural;
        } else if (align == kAlignCentre) {
            x = box.left() + (boxWidth - natural) / 2.0f;
        } else if (align == kAlignJustify && !last && n > 1) {
            step = (boxWidth - lineWidth) / static_cast<float>(n - 1);
        }
        for (int k = first; k < end; ++k) {
            words[k].x = x;
            x += words[k].width + step;
        }
        first = end;
        ++line;
    }
    layout.lineCount = line;
}

float UiContext::lineBottom(const Layout& layout, int line) const {
    return layout.top - static_cast<float>(line + 1) * layout.lineHeight;
}

void UiContext::drawParagraph(const UiRect&, const Layout& layout) {
    for (int k = 0; k < layout.wordCount; ++k) {
        const Word& w = words[k];
        drawText(currentStyle.font, wordText.data() + w.start, currentStyle.background, currentStyle.text,
                 currentStyle.shadow, w.x, lineBottom(layout, w.line), w.width, layout.lineHeight, layout.size,
                 kAlignLeft);
    }
}

void UiContext::paragraph(uint32_t, const UiRect& rect, const char* text, float size, int align) {
    if (suspendedFlag != 0 || currentStyle.font == nullptr || text == nullptr) {
        return;
    }
    const UiRect r = absolute(rect);
    Layout layout;
    layoutParagraph(text, r, size * currentStyle.scale, align, layout);
    drawParagraph(r, layout);
}

int UiContext::nextCharacter(const char* text, int position) const {
    size_t p = static_cast<size_t>(position);
    uint32_t cp = 0;
    if (currentStyle.font != nullptr && currentStyle.font->decode(text, p, cp)) {
        return static_cast<int>(p);
    }
    return text[position] != 0 ? position + 1 : position;
}

int UiContext::previousCharacter(const char* text, int position) const {
    int at = 0;
    while (true) {
        const int next = nextCharacter(text, at);
        if (next >= position || next == at) {
            return at;
        }
        at = next;
    }
}

void UiContext::caretPlace(const Layout& layout, int caret, float& x, int& line) const {
    const UiFontmap* font = currentStyle.font;
    x = 0.0f;
    line = 0;
    if (layout.wordCount == 0) {
        return;
    }
    // The word that holds the caret, else the last word that ends before it.
    int k = 0;
    for (int i = 0; i < layout.wordCount; ++i) {
        if (words[i].start <= caret) {
            k = i;
        }
    }
    const Word& w = words[k];
    line = w.line;
    if (caret < w.start) {
        x = w.x;
    } else if (caret >= w.start + w.length) {
        x = w.x + w.width;
    } else {
        x = w.x + font->caretX(wordText.data() + w.start, caret - w.start) * layout.size;
    }
}

int UiContext::indexOnLine(const Layout& layout, int line, float x, int textLength) const {
    const UiFontmap* font = currentStyle.font;
    int firstOnLine = -1, lastOnLine = -1;
    for (int i = 0; i < layout.wordCount; ++i) {
        if (words[i].line == line) {
            if (firstOnLine < 0) firstOnLine = i;
            lastOnLine = i;
        }
    }
    if (firstOnLine < 0) {
        return textLength;
    }
    for (int i = firstOnLine; i <= lastOnLine; ++i) {
        const Word& w = words[i];
        if (x < w.x) {
            return w.start;
        }
        if (x < w.x + w.width) {
            const char* s = wordText.data() + w.start;
            const int last = font->indexAt(s, (x - w.x) / layout.size);
            if (last < 0) {
                return w.start;
            }
            return w.start + previousCharacter(s, last + 1);
        }
    }
    const Word& w = words[lastOnLine];
    return w.start + w.length;
}

bool UiContext::textArea(uint32_t localId, const UiRect& rect, char* buffer, float size, int align, int& caret,
                         int capacity) {
    if (suspendedFlag != 0 || buffer == nullptr) {
        return false;
    }
    const UiFontmap* font = currentStyle.font;
    const UiRect r = absolute(rect);
    int length = static_cast<int>(std::strlen(buffer));
    if (capacity < 0) capacity = 0;
    int at = std::clamp(caret, 0, length);
    const float textSize = size * currentStyle.scale;
    if (font == nullptr) {
        return false;
    }
    Layout layout;
    layoutParagraph(buffer, r, textSize, align, layout);
    bool changed = false;

    if (localId != kDisabledId) {
        const uint32_t id = effectiveId(localId);
        if (mouseOver(r)) {
            hot = id;
            if (leftActive == 0 && leftIsDown) {
                leftActive = id;
                focus = id;
                notifyCapture();
                int line = static_cast<int>(std::floor((layout.top - my) / std::max(layout.lineHeight, 1e-6f)));
                line = std::clamp(line, 0, std::max(layout.lineCount - 1, 0));
                at = std::clamp(indexOnLine(layout, line, mx, length), 0, length);
            }
        }
        if (focus == id) {
            focusWanted = true;
            if (hostView != nullptr) {
                hostView->requestKeyboardFocus();
            }
            uint32_t value = 0;
            while (popKey(value)) {
                bool edited = false;
                if ((value & ~kKeyCharacterMask) == kKeyCharacter) {
                    const uint32_t ch = value & kKeyCharacterMask;
                    if (ch == kCharBackspace) {
                        if (at > 0) {
                            const int from = previousCharacter(buffer, at);
                            std::memmove(buffer + from, buffer + at, static_cast<size_t>(length - at + 1));
                            length -= at - from;
                            at = from;
                            edited = true;
                        }
                    } else if (ch == kCharPaste) {
                        if (clipboard != nullptr) {
                            clipboard->requestText(*this);
                        }
                    } else if (ch >= kCharFirstPrintable) {
                        char piece[16];
                        int n = 0;
                        if (ch < 0x80 || (ch < kCharFirstReference && font->encoding() == kEncodingOneByte)) {
                            piece[0] = static_cast<char>(ch);
                            n = 1;
                        } else {
                            // A UTF-8 text keeps valid sequences: characters beyond ASCII go in as references.
                            n = std::snprintf(piece, sizeof piece, "&#%u;", static_cast<unsigned>(ch));
                        }
                        if (n > 0 && length + n <= capacity) {
                            std::memmove(buffer + at + n, buffer + at, static_cast<size_t>(length - at + 1));
                            std::memcpy(buffer + at, piece, static_cast<size_t>(n));
                            length += n;
                            at += n;
                            edited = true;
                        }
                    }
                } else if (value == kKeyLeft) {
                    at = previousCharacter(buffer, at);
                } else if (value == kKeyRight) {
                    at = nextCharacter(buffer, at);
                } else if (value == kKeyDelete) {
                    if (at < length) {
                        const int to = nextCharacter(buffer, at);
                        std::memmove(buffer + at, buffer + to, static_cast<size_t>(length - to + 1));
                        length -= to - at;
                        edited = true;
                    }
                } else if (value == kKeyUp || value == kKeyDown || value == kKeyHome || value == kKeyEnd) {
                    float x = 0.0f;
                    int line = 0;
                    caretPlace(layout, at, x, line);
                    if (value == kKeyHome || value == kKeyEnd) {
                        int firstOnLine = -1, lastOnLine = -1;
                        for (int i = 0; i < layout.wordCount; ++i) {
                            if (words[i].line == line) {
                                if (firstOnLine < 0) firstOnLine = i;
                                lastOnLine = i;
                            }
                        }
                        if (firstOnLine >= 0) {
                            at = value == kKeyHome ? words[firstOnLine].start
                                                   : words[lastOnLine].start + words[lastOnLine].length;
                        } else {
                            at = value == kKeyHome ? 0 : length;
                        }
                    } else {
                        const int target = value == kKeyUp ? line - 1 : line + 1;
                        if (target >= 0 && target < layout.lineCount) {
                            size_t p = static_cast<size_t>(at);
                            uint32_t cp = 0;
                            const float half = font->decode(buffer, p, cp) ? font->advance(cp) * textSize / 2.0f : 0.0f;
                            at = std::clamp(indexOnLine(layout, target, x + half, length), 0, length);
                        }
                    }
                }
                at = std::clamp(at, 0, length);
                if (edited) {
                    changed = true;
                    layoutParagraph(buffer, r, textSize, align, layout);
                }
            }
            float x = 0.0f;
            int line = 0;
            caretPlace(layout, at, x, line);
            if (layout.wordCount == 0) {
                x = align == kAlignRight ? r.right() : align == kAlignCentre ? r.cx : r.left();
            }
            const float lh = layout.lineHeight;
            const float baseline = std::floor(lineBottom(layout, line) + std::floor(lh / 2.0f)) -
                                   (font->ascent() + font->descent()) * textSize / 2.0f;
            const float cx = x + kDrawTextMargin;
            const int layer = list.layer();
            list.setLayer(list.nextLayer() + 1);
            list.line({cx, baseline + font->descent() * textSize}, {cx, baseline + font->ascent() * textSize},
                      kOpaqueWhite);
            list.setLayer(layer);
        }
        if (changed) {
            recordChange(localId);
        }
    }
    drawParagraph(r, layout);
    caret = at;
    return changed;
}

}  // namespace tarsk
