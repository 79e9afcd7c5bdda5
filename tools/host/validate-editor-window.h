// A host's top-level window for the validator's editor checks: the plug-in's editor is opened with
// this window's native id as its parent. The X11 backend is validate-editor-x11.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarskhost::validate {

// What runs inside the window's life: parent is the native window id to hand to effEditOpen;
// pumpEvents drains the host side's own event queue without blocking (call it between idles).
using HostWindowBody = std::function<void(uintptr_t parent, const std::function<void()>& pumpEvents)>;

// True when a display can be reached (on X11: DISPLAY is set and the server answers).
bool hostWindowAvailable(std::string& reason);
// Opens a mapped top-level window of the given size, runs body, then destroys the window.
// Answers false (with a reason) when the window cannot be made; body does not run then.
bool runInHostWindow(int width, int height, const HostWindowBody& body, std::string& error);

}  // namespace tarskhost::validate
