// An editor without a window over a real effect object, driven like a window drives it: mouse
// events between frames, one draw() per frame. Positions are in editor pixels (origin bottom left).
#pragma once

#include "../plugin/fake-host.h"
#include "editor/editor.h"
#include "plugin/verb-effect.h"

namespace tarsk::test {

struct EditorRig {
    FakeHost host;
    FakeHostScope scope{host};
    VerbEffect effect{FakeHost::callback};
    EditorSettings settings;
    Editor editor{effect, nullptr, settings};

    EditorRig() {
        editor.hoverChanged(true);
        frame();
    }

    void frame() { editor.draw(); }
    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            frame();
        }
    }
    // A click: move, press, frame, release, frame.
    void click(float x, float y) {
        editor.mouseMove(x, y);
        frame();
        editor.leftButton(true, x, y);
        frame();
        editor.leftButton(false, x, y);
        frame();
    }
    // Press at (x, y), move by dy in steps (a frame each), release, frame.
    void drag(float x, float y, float dy, int steps) {
        editor.mouseMove(x, y);
        frame();
        editor.leftButton(true, x, y);
        frame();
        for (int i = 1; i <= steps; ++i) {
            editor.mouseMove(x, y + dy * static_cast<float>(i) / static_cast<float>(steps));
            frame();
        }
        editor.leftButton(false, x, y + dy);
        frame();
    }
    // The program as the host reads it (the current slot's working record).
    ProgramRecord hostProgram() { return effect.programCopy(effect.currentProgram()); }
};

}  // namespace tarsk::test
