// The pages of the editor: each draws itself and edits the editor record through the immediate-mode
// widgets, inside the group the shell opened for it (offset (0, 4u), the content area).
#pragma once

namespace tarsk {

class Editor;

// Page 0, 2 to 5.
void drawSummaryPage(Editor& editor);
void drawLibraryPage(Editor& editor);
void drawCalculatorPage(Editor& editor);
void drawInfoPage(Editor& editor);
void drawSettingsPage(Editor& editor);
// The Editor page's five tabs.
void drawAlgorithmPage(Editor& editor);
void drawMatrixPage(Editor& editor);
void drawFilterPage(Editor& editor);
void drawModulationPage(Editor& editor);
void drawIoPage(Editor& editor);

}  // namespace tarsk
