// LibraryView: what one column pair of the Library page shows (selected folder, scroll positions).
#pragma once

namespace tarsk {

struct LibraryView {
    // Filled in with the Library page.
};

}  // namespace tarsk
