// The system clipboard of the Win32 backend: its Unicode text, read at once and handed to the
// context that asked at the next event pump (between frames, as on the other platforms).
#pragma once

#include <string>

#include "tarsklib/ui-context.h"

namespace tarsk {

// Longest clipboard text taken, in bytes of UTF-8.
constexpr size_t kWin32ClipboardMaxBytes = 65536;

class Win32Clipboard final : public ClipboardSource {
public:
    // window: the editor's window, which opens the clipboard.
    explicit Win32Clipboard(void* window) : window(window) {}
    void requestText(UiContext& context) override;
    // Hands a text that arrived to its context (called by the window's event pump).
    void deliver();
    // Drops a request that has not been delivered (the context goes away).
    void forget(const UiContext& context);

private:
    void* window;
    UiContext* waiting = nullptr;
    std::string text;
};

}  // namespace tarsk
