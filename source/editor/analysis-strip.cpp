// AnalysisStrip (being built: draws nothing yet).
#include "editor/analysis-strip.h"

#include "editor/editor.h"

namespace tarsk {

void AnalysisStrip::draw(Editor& /*editor*/) {}

}  // namespace tarsk
