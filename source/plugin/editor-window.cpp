// EditorWindow: editor opcodes, the idle-driven frame and the keys hosts hand over.
#include "plugin/editor-window.h"

#include <algorithm>
#include <cmath>

#include "plugin/effect-base.h"
#include "tarsklib/gl-event.h"
#include "tarsklib/platform-clock.h"

namespace tarsk {

namespace {

constexpr int kLargestWindowSide = 8192;

int editorPixels(float units, float scale) { return static_cast<int>(std::lround(units * kUnitPixels * scale)); }

}  // namespace

uint32_t keyValueFromHost(int32_t character, intptr_t virtualKey) {
    using namespace vst2;
    if (character > 0 && static_cast<uint32_t>(character) <= key::kCharacterBits) {
        return key::kCharacterTag | static_cast<uint32_t>(character);
    }
    auto characterKey = [](uint32_t c) { return key::kCharacterTag | c; };
    if (virtualKey >= VKEY_F1 && virtualKey <= VKEY_F12) {
        return key::kF1 + static_cast<uint32_t>(virtualKey - VKEY_F1);
    }
    if (virtualKey >= VKEY_NUMPAD0 && virtualKey <= VKEY_NUMPAD9) {
        return characterKey('0' + static_cast<uint32_t>(virtualKey - VKEY_NUMPAD0));
    }
    switch (virtualKey) {
        case 0:
            return 0;
        case VKEY_BACK:
            return characterKey(key::kBackspace);
        case VKEY_TAB:
            return characterKey(key::kTab);
        case VKEY_RETURN:
        case VKEY_ENTER:
            return characterKey(key::kReturn);
        case VKEY_ESCAPE:
            return characterKey(key::kEscape);
        case VKEY_SPACE:
            return characterKey(' ');
        case VKEY_MULTIPLY:
            return characterKey('*');
        case VKEY_ADD:
            return characterKey('+');
        case VKEY_SUBTRACT:
            return characterKey('-');
        case VKEY_DECIMAL:
            return characterKey('.');
        case VKEY_DIVIDE:
            return characterKey('/');
        case VKEY_EQUALS:
            return characterKey('=');
        case VKEY_END:
            return key::kEnd;
        case VKEY_HOME:
            return key::kHome;
        case VKEY_LEFT:
            return key::kLeft;
        case VKEY_UP:
            return key::kUp;
        case VKEY_RIGHT:
            return key::kRight;
        case VKEY_DOWN:
            return key::kDown;
        case VKEY_PAGEUP:
            return key::kPageUp;
        case VKEY_NEXT:
        case VKEY_PAGEDOWN:
            return key::kPageDown;
        case VKEY_INSERT:
            return key::kInsert;
        case VKEY_DELETE:
            return key::kDelete;
        case VKEY_SHIFT:
            return key::kShift;
        case VKEY_CONTROL:
            return key::kCtrl;
        case VKEY_ALT:
            return key::kAlt;
        default:
            return key::kOther;
    }
}

EditorWindow::EditorWindow(EffectBase& e, EditorHost& host, const EditorSettings& settings)
    : effect(e), root(*this), view(host, &root, settings) {
    float scale = view.displayScale();
    root.addChild(view);
    applySize(editorPixels(kEditorWidthUnits, scale), editorPixels(kEditorHeightUnits, scale));
}

EditorWindow::~EditorWindow() {
    // The editor view (a member destroyed before the root view) gives back its textures first.
    root.destroyWindow();
    if (gallery != nullptr) {
        gallery->detach();
    }
}

void EditorWindow::applySize(int width, int height) {
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<int16_t>(height);
    rect.right = static_cast<int16_t>(width);
    root.resizeTo(static_cast<float>(width), static_cast<float>(height));
    view.setSize(static_cast<float>(width), static_cast<float>(height));
    if (gallery != nullptr) {
        gallery->resizeTo(static_cast<float>(width), static_cast<float>(height));
    }
}

bool EditorWindow::showGallery() {
    if (root.isOpen()) {
        return false;
    }
    if (gallery == nullptr) {
        gallery = std::make_unique<GalleryView>(root);
        view.detach();
        root.addChild(*gallery);
    }
    applySize(std::max<int>(kGalleryWidth, rect.right - rect.left), std::max<int>(kGalleryHeight, rect.bottom - rect.top));
    return true;
}

bool EditorWindow::showPage(int32_t page) {
    if (page < kPageSummary || page > kPageSettings) {
        return false;
    }
    view.setPage(page);
    return true;
}

bool EditorWindow::showTab(int32_t tab) {
    if (tab < kTabAlgorithm || tab > kTabIo) {
        return false;
    }
    view.setSubPage(tab);
    return true;
}

bool EditorWindow::getRect(void* rectOut) {
    if (rectOut == nullptr) {
        return false;
    }
    *static_cast<vst2::ERect**>(rectOut) = &rect;
    return true;
}

bool EditorWindow::open(void* parentWindow) {
    if (parentWindow == nullptr) {
        return false;
    }
    if (root.isOpen()) {
        return true;  // a second open keeps the window that exists
    }
    hostMode = effect.editorHostMode();
    return root.openWindow(reinterpret_cast<uintptr_t>(parentWindow), rect.right - rect.left, rect.bottom - rect.top,
                           hostMode);
}

void EditorWindow::close() { root.closeWindow(); }

bool EditorWindow::postCommand(uint32_t command) { return root.postCommand(command); }

bool EditorWindow::requestSize(int width, int height) {
    if (width <= 0 || height <= 0 || width > kLargestWindowSide || height > kLargestWindowSide) {
        return false;
    }
    return root.postCommand(command::kRebuild, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
}

void EditorWindow::idle() { root.tick(tickCountMs()); }

bool EditorWindow::hostKey(bool down, int32_t character, intptr_t virtualKey, float /*modifiers*/) {
    // Releases stay with the host, as with keys that arrive as window events.
    if (!down || !root.isOpen()) {
        return false;
    }
    uint32_t value = keyValueFromHost(character, virtualKey);
    if (value == 0) {
        return false;
    }
    GlEvent e;
    e.type = event::kKey;
    e.extra = (value & key::kCharacterTag) == key::kCharacterTag ? (value & key::kCharacterBits) : withTopByte(value);
    return root.handleEvent(e);
}

void EditorWindow::Root::command(uint32_t a, uint32_t b) {
    int width = static_cast<int>(a);
    int height = static_cast<int>(b);
    if (width <= 0 || height <= 0 || width > kLargestWindowSide || height > kLargestWindowSide) {
        return;
    }
    owner.applySize(width, height);
    if (platformWindow() != nullptr) {
        platformWindow()->resize(width, height);
    }
    owner.effect.sizeWindow(width, height);
}

}  // namespace tarsk
