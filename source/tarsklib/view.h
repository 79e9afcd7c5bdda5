// View: a node of the editor's view tree. Siblings form a circular list; positions and sizes are
// floats in pixels relative to the parent, y upwards. The tree does not own its views.
#pragma once

#include <cstdint>

namespace tarsk {

class View;

// Told of changes to the views it observes.
class ViewObserver {
public:
    virtual ~ViewObserver() = default;
    virtual void viewChanged(View& view) = 0;
    virtual void captureChanged(void* context) = 0;
};

// View flags.
namespace viewflag {
constexpr uint8_t kTakesButtons = 1 << 0;
constexpr uint8_t kTakesMoves = 1 << 1;
constexpr uint8_t kTakesHover = 1 << 2;
constexpr uint8_t kTakesWheel = 1 << 3;
constexpr uint8_t kAsksMove = 1 << 4;
constexpr uint8_t kAsksResize = 1 << 5;
}  // namespace viewflag

// The notice the root broadcasts on every idle command.
constexpr uint32_t kNotifyIdle = 3;

class View {
public:
    View();
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // ---- virtual operations ----
    virtual void contextCreated(int /*openWindows*/) {}
    virtual void contextReleased(int /*openWindows*/) {}
    virtual void setSize(float /*width*/, float /*height*/) {}
    virtual void draw() {}
    // Builds the view's picture for the coming frame ahead of draw(), without the GL context (nothing
    // may be uploaded here), and answers whether it may differ from the last frame's. A view that cannot tell answers true (the
    // default, which leaves all the work to draw()). When no view of the tree answers true and the
    // window needs no repaint, the root view skips the frame's GL submission and buffer swap.
    virtual bool prepareFrame() { return true; }
    virtual void leftButton(bool /*pressed*/, float /*x*/, float /*y*/) {}
    virtual void middleButton(bool /*pressed*/, float /*x*/, float /*y*/) {}
    virtual void rightButton(bool /*pressed*/, float /*x*/, float /*y*/) {}
    virtual void mouseMove(float /*x*/, float /*y*/) {}
    virtual void hoverChanged(bool /*inside*/) {}
    virtual void wheel(float /*dx*/, float /*dy*/) {}
    // Answers whether the key was taken.
    virtual bool key(bool /*down*/, uint32_t /*code*/) { return false; }
    virtual void notify(uint32_t /*code*/) {}
    virtual void focusChanged(bool /*focused*/) {}
    virtual bool canMove(float /*x*/, float /*y*/) { return true; }
    virtual bool canResize(float /*width*/, float /*height*/) { return true; }

    // ---- tree ----
    // Appends child as the last child (it leaves its old parent first).
    void addChild(View& child);
    // Leaves the parent; the view keeps its own children.
    void detach();
    View* parent() const { return parentView; }
    View* firstChild() const { return firstChildView; }
    View* nextSibling() const { return next; }
    // Calls visit(view) for this view and every view below it: each view before its children,
    // siblings in list order.
    template <typename Visit>
    void walk(Visit&& visit) {
        visit(*this);
        View* child = firstChildView;
        if (child == nullptr) {
            return;
        }
        View* c = child;
        do {
            View* following = c->next;  // read first: a visit may not relink, but stay safe for the walk
            c->walk(visit);
            c = following;
        } while (c != child && c != nullptr);
    }

    // ---- geometry ----
    // Moves the view; a view with kAsksMove asks canMove first. Answers whether it moved.
    bool moveTo(float x, float y);
    // Resizes the view; a view with kAsksResize asks canResize first. Answers whether it resized.
    bool resizeTo(float width, float height);
    float x() const { return posX; }
    float y() const { return posY; }
    float width() const { return sizeW; }
    float height() const { return sizeH; }
    bool contains(float localX, float localY) const {
        return localX >= 0.0f && localY >= 0.0f && localX < sizeW && localY < sizeH;
    }

    void setObserver(ViewObserver* o) { observer = o; }
    uint8_t flags = 0;
    int32_t requestedWidth = 0;
    int32_t requestedHeight = 0;

private:
    ViewObserver* observer = nullptr;
    View* next = this;
    View* previous = this;
    View* parentView = nullptr;
    View* firstChildView = nullptr;
    float posX = 0.0f;
    float posY = 0.0f;
    float sizeW = 0.0f;
    float sizeH = 0.0f;
};

}  // namespace tarsk
