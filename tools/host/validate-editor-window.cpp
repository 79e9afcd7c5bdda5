// The validator's host window: tarskverb-host's own top-level window, handed to the editor checks.
#include "host/validate-editor-window.h"

#include "host/host-window.h"

namespace tarskhost::validate {

namespace {
constexpr int kDefaultSize = 400;
constexpr const char* kWindowTitle = "tarskverb-host validate";
}  // namespace

bool hostWindowAvailable(std::string& reason) { return HostWindow::displayAvailable(reason); }

bool runInHostWindow(int width, int height, const HostWindowBody& body, std::string& error) {
    HostWindow window;
    if (!window.open(width > 0 ? width : kDefaultSize, height > 0 ? height : kDefaultSize, kWindowTitle, error)) {
        return false;
    }
    body(window.windowId(), [&window] { window.pumpEvents(); });
    window.destroy();
    return true;
}

}  // namespace tarskhost::validate
