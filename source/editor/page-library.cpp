// The Library page (being built: draws its title only).
#include "editor/editor-pages.h"

#include "editor/editor.h"

namespace tarsk {

void drawLibraryPage(Editor& editor) {
    float u = editor.unit();
    editor.useStyle(kStylePlain);
    editor.label(0, UiRect{6.0f * u, 11.5f * u, 3.0f * u, 0.5f * u}, "Library", 14.0f, kAlignLeft);
}

}  // namespace tarsk
