// The Win32 backend of the editor window: a child window of the host's window in the process-wide
// window class "Tarsklib<thread id>", its WGL surface, the 33 ms frame timer, message translation and
// the keyboard hook that takes keys away from hosts that would swallow them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "tarsklib/gl-event.h"
#include "tarsklib/platform-window.h"

namespace tarsk {

class WglSurface;
class Win32Input;
class Win32Clipboard;

// The key event for a virtual key: its character where the key has one (character: what
// MapVirtualKeyW(MAPVK_VK_TO_CHAR) answered, 0 for none), upper-cased when `upper` (Shift or Caps
// Lock), else lower-cased; Ctrl with a letter gives the letter's control character. Keys without a
// character get the key code of their virtual key.
GlEvent translateVirtualKey(uint32_t virtualKey, uint32_t character, bool upper, bool ctrl);
// The key code for a virtual key without a character (key::kOther for keys without a code).
uint32_t keyCodeOfVirtualKey(uint32_t virtualKey);

class Win32Window final : public PlatformWindow {
public:
    static std::unique_ptr<Win32Window> create(uintptr_t parent, int width, int height, int hostMode,
                                               GlWindowRecord* record);
    ~Win32Window() override;

    void pumpEvents() override;
    bool isViewable() override;
    bool takeExposed() override;
    void takeFocus() override;
    void show() override;
    void resize(int width, int height) override;
    int width() const override { return sizeW; }
    int height() const override { return sizeH; }
    GlSurface& surface() override;
    uintptr_t nativeHandle() const override { return reinterpret_cast<uintptr_t>(window); }
    // The window and its context go with every close on Windows: nothing is kept.
    bool park() override { return false; }
    bool adopt(uintptr_t /*parent*/, int /*width*/, int /*height*/) override { return false; }

    PlatformInput* input() override;
    ClipboardSource* clipboard() override;

    // The window procedure's and the keyboard hook's way in.
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool sendEvent(const GlEvent& event);
    int hostModeOf() const { return hostMode; }

private:
    Win32Window() = default;
    bool mouseEvent(uint32_t type, uint32_t buttonNumber, LPARAM lParam);

    HWND window = nullptr;
    HDC deviceContext = nullptr;
    std::unique_ptr<WglSurface> gl;
    std::unique_ptr<Win32Input> keys;
    std::unique_ptr<Win32Clipboard> text;
    GlWindowRecord* record = nullptr;
    int hostMode = 0;
    int sizeW = 0;
    int sizeH = 0;
    bool exposed = false;
    bool trackingLeave = false;
};

}  // namespace tarsk
