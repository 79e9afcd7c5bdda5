// HostWindow: a top-level window (X11 on Linux, Win32 on Windows) that plays the host's editor frame for the plug-in's editor,
// with the window manager's close button, resizing, and capture of what it shows as a PNG file.
#pragma once

#include <cstdint>
#include <string>

namespace tarskhost {

class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // True when a display can be reached ($DISPLAY set and the server answers); else a reason.
    static bool displayAvailable(std::string& reason);

    // Connects to the display ($DISPLAY) and creates and maps the window; on failure answers false
    // with a message in error.
    bool open(int width, int height, const std::string& title, std::string& error);
    // The native window handle to hand to effEditOpen (an X11 Window id, or an HWND).
    uintptr_t windowId() const { return window; }
    // Handles waiting events without blocking; answers false once the window was asked to close.
    bool pumpEvents();
    void resize(int width, int height);
    int width() const { return sizeW; }
    int height() const { return sizeH; }
    // Reads the window's picture as the screen shows it (children included) and writes it as an
    // 8-bit RGB PNG file; on failure answers false with a message in error.
    bool capturePng(const std::string& path, std::string& error);
    // Destroys the window (the editor must be closed first), keeping the connection.
    void destroy();

private:
    void* display = nullptr;  // Display*, kept out of this header
    void* previousHandler = nullptr;  // the X error handler that was installed before open
    uintptr_t window = 0;  // an X11 Window id or an HWND
    unsigned long deleteAtom = 0;
    int sizeW = 0;
    int sizeH = 0;
    bool closeAsked = false;
};

// Writes 8-bit RGB rows (width × 3 bytes each, top row first) as a PNG file.
bool writeRgbPng(const std::string& path, const uint8_t* rgb, int width, int height, std::string& error);

}  // namespace tarskhost
