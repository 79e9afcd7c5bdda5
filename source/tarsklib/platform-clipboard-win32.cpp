// The Windows clipboard: CF_UNICODETEXT, converted to UTF-8.
#include "tarsklib/platform-clipboard-win32.h"

#include <windows.h>

namespace tarsk {

void Win32Clipboard::requestText(UiContext& context) {
    waiting = nullptr;
    text.clear();
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(static_cast<HWND>(window))) {
        return;
    }
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* wide = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (wide != nullptr) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (bytes > 1 && static_cast<size_t>(bytes) <= kWin32ClipboardMaxBytes) {
            text.resize(static_cast<size_t>(bytes));
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), bytes, nullptr, nullptr);
            text.resize(static_cast<size_t>(bytes) - 1);  // without the terminating NUL
            waiting = &context;
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
}

void Win32Clipboard::deliver() {
    if (waiting == nullptr) {
        return;
    }
    UiContext* target = waiting;
    waiting = nullptr;
    target->clipboardArrived(text.data(), text.size());
    text.clear();
}

void Win32Clipboard::forget(const UiContext& context) {
    if (waiting == &context) {
        waiting = nullptr;
        text.clear();
    }
}

}  // namespace tarsk
