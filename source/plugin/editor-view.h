// What the effect object needs of its editor window: the view that the host's editor opcodes reach.
#pragma once

#include <cstdint>

namespace tarsk {

// Commands the effect object posts to the editor window's command ring.
constexpr uint32_t kEditorCommandProgramsReplaced = 3;

// effVendorSpecific index of our own: show the widget gallery instead of the pages (answered 1 when taken;
// only before effEditOpen).
constexpr int32_t kVendorIndexGallery = ('T' << 24) | ('k' << 16) | ('G' << 8) | 'y';

// effVendorSpecific indices of our own: show a page (value: 0 Summary ... 5 Settings) or an Editor-page
// tab (value: 1 ... 5); answered 1 when taken, 0 for a value out of range.
constexpr int32_t kVendorIndexPage = ('T' << 24) | ('k' << 16) | ('P' << 8) | 'g';
constexpr int32_t kVendorIndexTab = ('T' << 24) | ('k' << 16) | ('T' << 8) | 'b';

class EditorView {
public:
    virtual ~EditorView() = default;
    // effEditGetRect: stores a pointer to the editor rectangle in *rectOut (an ERect**); answers success.
    virtual bool getRect(void* rectOut) = 0;
    // effEditOpen: opens the window inside the host's parent window.
    virtual bool open(void* parentWindow) = 0;
    // effEditClose.
    virtual void close() = 0;
    // Appends a one-word command to the window's command ring; answers false when the ring is full.
    virtual bool postCommand(uint32_t command) = 0;
    // effEditIdle: the window's events, its frame and its command ring.
    virtual void idle() {}
    // effEditKeyDown / effEditKeyUp: character in index, virtual key in value, modifiers in opt.
    // Answers whether the editor took the key (a key not taken stays with the host).
    // Shows the widget gallery in place of the pages from the next open; answers whether it did.
    virtual bool showGallery() { return false; }
    // Shows a page or an Editor-page tab; answers whether the value was one.
    virtual bool showPage(int32_t /*page*/) { return false; }
    virtual bool showTab(int32_t /*tab*/) { return false; }
    virtual bool hostKey(bool /*down*/, int32_t /*character*/, intptr_t /*virtualKey*/, float /*modifiers*/) {
        return false;
    }
};

}  // namespace tarsk
