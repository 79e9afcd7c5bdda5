// AnalysisStrip: the Editor page's ambient display of the current program's response, rendered in a
// private engine over three frames and drawn as 256 coloured columns.
#pragma once

namespace tarsk {

class Editor;

class AnalysisStrip {
public:
    // Advances one phase and draws the columns (inside the editor's group 512).
    void draw(Editor& editor);
};

}  // namespace tarsk
