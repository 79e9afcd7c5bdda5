// The Summary page: the program's name and description as two text areas sharing one caret. A renamed
// program reaches the host through the shell's write-back, which tells the host to refresh its display.
#include <cstring>

#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/page-frame.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupSummary = 4096;
constexpr uint32_t kNameArea = 1;
constexpr uint32_t kDescriptionArea = 2;
constexpr float kNameSize = 20.0f;
constexpr float kDescriptionSize = 14.0f;

// Edits a fixed-size text field of the record through a text area. The area works on a NUL-terminated
// copy, so that a field filled to its last byte (as a chunk may bring it) is never read past its end;
// the field changes only when the text did.
template <size_t FieldBytes>
void editField(Editor& editor, uint32_t id, const UiRect& box, char* field, float size, int align) {
    char text[FieldBytes + 1];
    std::memcpy(text, field, FieldBytes);
    text[FieldBytes] = '\0';
    if (editor.textArea(id, box, text, size, align, editor.caret(), static_cast<int>(FieldBytes) - 1)) {
        const size_t length = std::strlen(text);
        std::memset(field, 0, FieldBytes);
        std::memcpy(field, text, length < FieldBytes ? length : FieldBytes);
    }
}

}  // namespace

void drawSummaryPage(Editor& editor) {
    const float u = editor.unit();
    drawPageBackdrop(editor);
    ProgramRecord& program = editor.program();
    editor.pushGroup(kGroupSummary, UiPoint{0.0f, 0.0f});
    editor.useStyle(kStylePlain);
    editor.setFont(editor.font(kFaceBold));
    editField<kNameBytes>(editor, kNameArea, centredBox(13.75f * u, 10.75f * u, 20.5f * u, 1.5f * u), program.name(),
                          kNameSize, kAlignLeft);
    editor.setFont(editor.font(kFaceRegular));
    editField<kDescriptionBytes>(editor, kDescriptionArea, centredBox(13.75f * u, 6.25f * u, 20.5f * u, 6.5f * u),
                                 program.description(), kDescriptionSize, kAlignJustify);
    editor.popGroup();
}

}  // namespace tarsk
