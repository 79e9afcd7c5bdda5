// HeaderPlaceholderView: the editor view until the editor shell and its renderer arrive. It fills the
// editor with the background colour and draws the header strip (a brushed-metal stand-in across the
// bottom 4u with a title block), so that the path from host to pixels can be seen and tested. It
// records the keys it receives for tests and takes character keys, leaving the others to the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tarsklib/view.h"

namespace tarsk {

class GlRootView;

constexpr size_t kKeyLogEntries = 64;

class HeaderPlaceholderView final : public View {
public:
    explicit HeaderPlaceholderView(GlRootView& root);

    // Layout unit in pixels (20 × display scale).
    void setUnit(float pixels) { unit = pixels; }

    void draw() override;
    bool key(bool down, uint32_t code) override;
    void notify(uint32_t code) override;
    void leftButton(bool pressed, float x, float y) override;

    // ---- inspection ----
    // Keys received, oldest first, at most kKeyLogEntries (later ones are dropped).
    size_t keyCount() const { return keysLogged; }
    uint32_t keyAt(size_t i) const { return i < keysLogged ? keyLog[i] : 0; }
    void clearKeys() { keysLogged = 0; }
    uint32_t notices() const { return noticeCount; }
    uint32_t clicks() const { return clickCount; }

private:
    GlRootView& root;
    float unit = 20.0f;
    uint32_t keyLog[kKeyLogEntries] = {};
    size_t keysLogged = 0;
    uint32_t noticeCount = 0;
    uint32_t clickCount = 0;
};

}  // namespace tarsk
