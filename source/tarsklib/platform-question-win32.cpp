// Yes/no questions on Windows: a modal message box with Yes and No buttons.
#include "platform-question.h"

#include <windows.h>

namespace tarsk {

bool askYesNo(const char* title, const char* text) {
    if (text == nullptr) {
        return false;
    }
    return MessageBoxA(nullptr, text, title != nullptr ? title : "", MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) ==
           IDYES;
}

}  // namespace tarsk
