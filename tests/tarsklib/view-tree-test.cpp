// The view tree and the root view without a window: links, vetoed moves, event routing, focus and
// the command ring.
#include <gtest/gtest.h>

#include <vector>

#include "tarsklib/gl-root-view.h"

namespace tarsk {
namespace {

struct Probe final : View {
    explicit Probe(uint8_t f = viewflag::kTakesButtons | viewflag::kTakesMoves | viewflag::kTakesHover |
                               viewflag::kTakesWheel) {
        flags = f;
    }
    void leftButton(bool pressed, float x, float y) override { log.push_back({pressed ? 1 : 2, x, y}); }
    void rightButton(bool pressed, float x, float y) override { log.push_back({pressed ? 3 : 4, x, y}); }
    void wheel(float dx, float dy) override { log.push_back({5, dx, dy}); }
    void hoverChanged(bool inside) override { log.push_back({inside ? 6 : 7, 0, 0}); }
    void focusChanged(bool focused) override { log.push_back({focused ? 8 : 9, 0, 0}); }
    bool key(bool, uint32_t code) override {
        keys.push_back(code);
        return takesKeys;
    }
    void notify(uint32_t code) override { notices.push_back(code); }
    bool canMove(float x, float) override { return x >= 0.0f; }
    struct Entry {
        int what;
        float x, y;
    };
    std::vector<Entry> log;
    std::vector<uint32_t> keys;
    std::vector<uint32_t> notices;
    bool takesKeys = true;
};

struct CommandRoot final : GlRootView {
    void command(uint32_t a, uint32_t b) override { calls.push_back({a, b}); }
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    uint32_t idles = 0;
    void idle() override {
        ++idles;
        GlRootView::idle();
    }
};

GlEvent mouse(uint32_t type, float x, float y, uint32_t button = button::kLeft) {
    GlEvent e;
    e.type = type;
    e.x = x;
    e.y = y;
    e.extra = withTopByte(button);
    return e;
}

TEST(ViewTree, LinksWalkOrderAndDetach) {
    View root;
    Probe a, b, c, inner;
    root.addChild(a);
    root.addChild(b);
    root.addChild(c);
    b.addChild(inner);
    std::vector<View*> order;
    root.walk([&](View& v) { order.push_back(&v); });
    EXPECT_EQ(order, (std::vector<View*>{&root, &a, &b, &inner, &c}));
    b.detach();
    order.clear();
    root.walk([&](View& v) { order.push_back(&v); });
    EXPECT_EQ(order, (std::vector<View*>{&root, &a, &c}));
    EXPECT_EQ(b.nextSibling(), &b);
    EXPECT_EQ(inner.parent(), &b);
    a.detach();
    c.detach();
    EXPECT_EQ(root.firstChild(), nullptr);
}

TEST(ViewTree, VetoedMoveAsksOnlyWhenFlagged) {
    Probe v;
    EXPECT_TRUE(v.moveTo(-5.0f, 0.0f));  // not asked
    v.flags |= viewflag::kAsksMove;
    EXPECT_FALSE(v.moveTo(-1.0f, 3.0f));
    EXPECT_EQ(v.x(), -5.0f);
    EXPECT_TRUE(v.moveTo(2.0f, 3.0f));
    EXPECT_EQ(v.y(), 3.0f);
}

TEST(RootView, RoutesMouseToTheDeepestViewWithYUpAndMovesFocus) {
    CommandRoot root;
    root.resizeTo(100.0f, 50.0f);
    Probe left, right, nested;
    left.resizeTo(50.0f, 50.0f);
    right.moveTo(50.0f, 0.0f);
    right.resizeTo(50.0f, 50.0f);
    nested.moveTo(10.0f, 10.0f);
    nested.resizeTo(20.0f, 20.0f);
    root.addChild(left);
    root.addChild(right);
    right.addChild(nested);

    // Window pixel (65, 29) is root point (65.5, 20.5): inside nested at (5.5, 10.5).
    EXPECT_TRUE(root.handleEvent(mouse(event::kButtonDown, 65.0f, 29.0f)));
    ASSERT_EQ(nested.log.size(), 2u);
    EXPECT_EQ(nested.log[0].what, 8);  // focus first
    EXPECT_EQ(nested.log[1].what, 1);
    EXPECT_FLOAT_EQ(nested.log[1].x, 5.5f);
    EXPECT_FLOAT_EQ(nested.log[1].y, 10.5f);
    EXPECT_TRUE(right.log.empty());
    EXPECT_EQ(root.focusedView(), &nested);

    // A press on the left view moves the focus; the right button reaches its own slot.
    root.handleEvent(mouse(event::kButtonDown, 5.0f, 5.0f, button::kRight));
    EXPECT_EQ(nested.log.back().what, 9);
    EXPECT_EQ(left.log[0].what, 8);
    EXPECT_EQ(left.log[1].what, 3);
    EXPECT_FLOAT_EQ(left.log[1].y, 44.5f);

    // Outside every view: nothing changes.
    EXPECT_FALSE(root.handleEvent(mouse(event::kButtonDown, 150.0f, 5.0f)));
    EXPECT_EQ(root.focusedView(), &left);

    // Hover follows the moves; leaving clears it.
    root.handleEvent(mouse(event::kMouseMove, 70.0f, 10.0f));
    EXPECT_EQ(root.hoveredView(), &right);
    root.handleEvent(mouse(event::kMouseMove, 65.0f, 29.0f));
    EXPECT_EQ(right.log.back().what, 7);
    EXPECT_EQ(nested.log.back().what, 6);
    root.handleEvent(mouse(event::kMouseLeave, 0, 0));
    EXPECT_EQ(root.hoveredView(), nullptr);
    EXPECT_EQ(nested.log.back().what, 7);
}

TEST(RootView, WheelAndKeysGoToTheFocusedView) {
    CommandRoot root;
    root.resizeTo(100.0f, 50.0f);
    Probe v;
    v.resizeTo(100.0f, 50.0f);
    root.addChild(v);
    GlEvent key = keyEvent('k', 0);
    EXPECT_FALSE(root.handleEvent(key));  // no focus yet
    root.handleEvent(mouse(event::kButtonDown, 1.0f, 1.0f));
    EXPECT_TRUE(root.handleEvent(key));
    EXPECT_TRUE(root.handleEvent(keyEvent(0, key::kPageUp)));
    v.takesKeys = false;
    EXPECT_FALSE(root.handleEvent(keyEvent(0, key::kF1)));
    EXPECT_EQ(v.keys, (std::vector<uint32_t>{key::kCharacterTag | 'k', key::kPageUp, key::kF1}));

    GlEvent wheel;
    wheel.type = event::kWheelVertical;
    wheel.extra = withTopByte(static_cast<uint8_t>(-1));
    root.handleEvent(wheel);
    EXPECT_EQ(v.log.back().what, 5);
    EXPECT_FLOAT_EQ(v.log.back().y, -1.0f);
    wheel.type = event::kWheelHorizontal;
    wheel.extra = withTopByte(1);
    root.handleEvent(wheel);
    EXPECT_FLOAT_EQ(v.log.back().x, 1.0f);

    GlEvent lost;
    lost.type = event::kFocusLost;
    root.handleEvent(lost);
    EXPECT_EQ(root.focusedView(), nullptr);
    EXPECT_FALSE(root.handleEvent(key));
}

TEST(RootView, CommandRingKeepsOrderAndRefusesWhenFull) {
    CommandRoot root;
    Probe v;
    root.addChild(v);
    EXPECT_TRUE(root.postCommand(command::kCall, 7, 8));
    EXPECT_TRUE(root.postCommand(command::kIdle));
    EXPECT_TRUE(root.postCommand(command::kCall, 9, 10));
    EXPECT_EQ(root.pendingCommandWords(), 7u);
    // Without a window the tick does nothing; the ring waits.
    root.tick(0);
    EXPECT_EQ(root.pendingCommandWords(), 7u);

    // 63 words fit in the 64-word ring: 7 + 18 × 3 = 61, then one 1-word command, then nothing of 3 words.
    for (int i = 0; i < 18; ++i) {
        EXPECT_TRUE(root.postCommand(command::kCall, 100 + i, 0)) << i;
    }
    EXPECT_TRUE(root.postCommand(command::kIdle));
    EXPECT_FALSE(root.postCommand(command::kCall, 1, 1));
    EXPECT_TRUE(root.postCommand(command::kIdle));
    EXPECT_FALSE(root.postCommand(command::kIdle));
    EXPECT_EQ(root.pendingCommandWords(), 63u);
}

}  // namespace
}  // namespace tarsk
