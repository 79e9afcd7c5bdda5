// The editor window's own event records and key values: what the platform backend makes of the
// window system's messages before the root view routes them.
#pragma once

#include <cstdint>

namespace tarsk {

// GlEvent types.
namespace event {
constexpr uint32_t kButtonDown = 1;
constexpr uint32_t kButtonUp = 2;
constexpr uint32_t kMouseMove = 3;
constexpr uint32_t kMouseLeave = 4;
constexpr uint32_t kWheelHorizontal = 5;
constexpr uint32_t kWheelVertical = 6;
constexpr uint32_t kFocusLost = 7;
constexpr uint32_t kKey = 8;
constexpr uint32_t kTimer = 9;
}  // namespace event

// Button numbers (top byte of a button event).
namespace button {
constexpr uint32_t kLeft = 2;
constexpr uint32_t kRight = 3;
constexpr uint32_t kMiddle = 4;
}  // namespace button

// Key codes for keys that yield no character (top byte of a key event; the code views receive).
namespace key {
constexpr uint32_t kOther = 1;
constexpr uint32_t kShift = 5;
constexpr uint32_t kCapsLock = 6;
constexpr uint32_t kCtrl = 7;
constexpr uint32_t kAlt = 8;
constexpr uint32_t kWindows = 9;
constexpr uint32_t kLeft = 10;
constexpr uint32_t kRight = 11;
constexpr uint32_t kUp = 12;
constexpr uint32_t kDown = 13;
constexpr uint32_t kHome = 14;
constexpr uint32_t kEnd = 15;
constexpr uint32_t kPageUp = 16;
constexpr uint32_t kPageDown = 17;
constexpr uint32_t kInsert = 18;
constexpr uint32_t kDelete = 19;
constexpr uint32_t kF1 = 20;
constexpr uint32_t kF12 = 31;
constexpr uint32_t kVolumeUp = 32;
constexpr uint32_t kVolumeDown = 33;
constexpr uint32_t kVolumeMute = 34;
// A key with a character reaches views as kCharacterTag | character.
constexpr uint32_t kCharacterTag = 0xC0DE0000u;
constexpr uint32_t kCharacterBits = 0xFFFFFu;  // the low 20 bits of a key event's extra word
constexpr uint32_t kBackspace = 8;             // characters of the control keys
constexpr uint32_t kTab = 9;
constexpr uint32_t kReturn = 13;
constexpr uint32_t kEscape = 27;
}  // namespace key

constexpr int kEventTopShift = 24;

struct GlEvent {
    uint32_t type = 0;
    float x = 0.0f;
    float y = 0.0f;
    // Low 20 bits: a character; top byte: a button number, a key code or signed wheel steps.
    uint32_t extra = 0;
};

inline uint32_t eventTopByte(const GlEvent& e) { return e.extra >> kEventTopShift; }
inline int32_t eventWheelSteps(const GlEvent& e) { return static_cast<int8_t>(e.extra >> kEventTopShift); }
inline uint32_t eventCharacter(const GlEvent& e) { return e.extra & key::kCharacterBits; }
inline uint32_t withTopByte(uint32_t value) { return (value & 0xFFu) << kEventTopShift; }

// A key event for a character or, when character is 0, for a key code.
inline GlEvent keyEvent(uint32_t character, uint32_t code) {
    GlEvent e;
    e.type = event::kKey;
    e.extra = character != 0 ? (character & key::kCharacterBits) : withTopByte(code);
    return e;
}

// The value a view's key operation receives for a key event.
inline uint32_t keyValueOf(const GlEvent& e) {
    uint32_t character = eventCharacter(e);
    return character != 0 ? (key::kCharacterTag | character) : eventTopByte(e);
}

// What the platform window reports to its owner; answers whether the event was handled.
using GlEventHandler = bool (*)(void* window, const GlEvent* event, void* user);

// Per window: the handler, its user data (the owning view) and the frame timer's id.
struct GlWindowRecord {
    GlEventHandler handler = nullptr;
    void* user = nullptr;
    uint32_t timerId = 0;
};

}  // namespace tarsk
