// Page frames without a window, for the allocation test and the page benchmark: the editor's faces loaded
// through a texture factory that needs no graphics context, and one frame of a single page built the way
// the shell builds it (inside the page group) and flushed into a given renderer.
#pragma once

#include <memory>

#include "editor/editor-fonts.h"
#include "editor/editor.h"
#include "presets/library-worker.h"
#include "tarsklib/resource.h"

namespace tarsk::test {

// Loads every face of the editor's font style into the windowless editor (whose styles already point at
// its face table), so that the pages lay out and draw real text.
inline bool loadEditorFaces(Editor& editor, TextureFactory& textures) {
    editor.contextCreated(1);  // without a window: the styles only
    // The context also starts the program library, whose first scans allocate on the worker's
    // thread: they are done before any frame is measured.
    libraryWorker().waitUntilIdle(60000);
    bool all = true;
    for (int i = 0; i < kEditorFaceCount; ++i) {
        const char* file = editorFontFile(editor.settings().fontStyle, static_cast<EditorFace>(i));
        std::unique_ptr<MemoryStream> stream = file != nullptr ? openResource(file) : nullptr;
        // The editor hands its faces out read-only; the windowless editor has no context to load them in.
        UiFontmap* face = const_cast<UiFontmap*>(editor.font(static_cast<EditorFace>(i)));
        all = stream != nullptr && face->load(*stream, editor.settings().fontLodBias, &textures) && all;
    }
    return all;
}

// One frame of one page: begin, the page group at the content area, the page, end (flushing into renderer).
inline void buildPageFrame(Editor& editor, void (*page)(Editor&), Renderer* renderer) {
    editor.beginFrame();
    editor.pushGroup(kGroupPage, UiPoint{0.0f, editor.headerHeight()});
    page(editor);
    editor.popGroup();
    editor.setRenderer(renderer);
    editor.endFrame();
    editor.flushHeldFrame();  // the editor holds its frames for draw() (it compares them first)
}

}  // namespace tarsk::test
