// CalculatorState: the pocket calculator of the Calculator page.
#pragma once

namespace tarsk {

struct CalculatorState {
    // Filled in with the Calculator page.
};

}  // namespace tarsk
