// GlRootView: window life, event routing, the frame and the command ring.
//
// Index: process-wide window count | open and close | tick and frame | events | command ring
#include "tarsklib/gl-root-view.h"

#include <algorithm>
#include <cmath>

#include "tarsklib/platform-clock.h"

namespace tarsk {

namespace {

// Windows open in the process and the lock that keeps opening, closing and context rebuilds apart.
struct WindowCount {
    SpinLock lock;
    int open = 0;
};

WindowCount& processWindows() {
    static WindowCount count;
    return count;
}

struct Box {
    float x0, y0, x1, y1;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Process-wide window count

int GlRootView::openWindowCount() {
    WindowCount& windows = processWindows();
    LockGuard guard = LockGuard::locked(windows.lock);
    return windows.open;
}

// ---------------------------------------------------------------------------------------------
// Open and close

bool GlRootView::SurfaceContext::makeCurrent() {
    if (current) {
        return true;
    }
    if (surface == nullptr || !surface->makeCurrent()) {
        return false;
    }
    current = true;
    return true;
}

void GlRootView::SurfaceContext::release() {
    if (!current) {
        return;
    }
    current = false;
    if (surface != nullptr) {
        surface->release();
    }
}

GlRootView::GlRootView() {
    record.handler = &GlRootView::onWindowEvent;
    record.user = this;
    setObserver(this);
}

GlRootView::~GlRootView() { destroyWindow(); }

void GlRootView::destroyWindow() {
    closeWindow();
    WindowCount& windows = processWindows();
    LockGuard guard = LockGuard::locked(windows.lock);
    releaseContext();
    window.reset();
}

void GlRootView::releaseContext() {
    if (!contextLive) {
        return;
    }
    contextLive = false;
    int openNow = processWindows().open;  // (the caller holds the lock)
    // The surface falls back to a drawable of its own when the window has gone with its parent.
    if (context.makeCurrent()) {
        walk([openNow](View& v) { v.contextReleased(openNow); });
        drawer.reset();
        context.release();
    } else {
        drawer.reset();  // its textures go with the context; it deletes nothing
    }
    list.flush(nullptr);  // nothing half-built survives into the next context
}

bool GlRootView::openWindow(uintptr_t parent, int width, int height, int hostMode) {
    if (opened) {
        return true;
    }
    WindowCount& windows = processWindows();
    LockGuard guard = LockGuard::locked(windows.lock);
    if (window != nullptr && !window->adopt(parent, width, height)) {
        releaseContext();
        window.reset();  // the kept window cannot go there: a new one
    }
    if (window == nullptr) {
        window = createPlatformWindow(parent, width, height, hostMode, &record);
        if (window == nullptr) {
            return false;
        }
    }
    opened = true;
    ++windows.open;
    record.timerId = 1;
    rect[0] = 0;
    rect[1] = 0;
    rect[2] = static_cast<int16_t>(width);
    rect[3] = static_cast<int16_t>(height);
    resizeTo(static_cast<float>(width), static_cast<float>(height));
    // A kept window brings its context back with the renderer and everything the views uploaded.
    if (!contextLive) {
        int openNow = windows.open;
        context.attach(&window->surface());
        if (context.makeCurrent()) {
            drawer = createRenderer(kRendererName, &context);
            walk([openNow](View& v) { v.contextCreated(openNow); });
            context.release();
            contextLive = true;
        }
    }
    window->show();
    firstFrameDone = false;
    repaintNeeded = true;
    return true;
}

void GlRootView::closeWindow() {
    if (!opened) {
        return;
    }
    WindowCount& windows = processWindows();
    LockGuard guard = LockGuard::locked(windows.lock);
    record.timerId = 0;
    if (!window->park()) {
        releaseContext();
        window.reset();
    }
    opened = false;
    --windows.open;
    setFocus(nullptr);
    hovered = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Tick and frame

void GlRootView::tick(uint32_t nowMs) {
    if (inTick || !opened) {
        return;
    }
    inTick = true;
    window->pumpEvents();
    if (opened) {
        wantsFocus = false;
        bool exposed = window->takeExposed();
        bool due = !firstFrameDone || nowMs - lastFrameMs >= kFrameIntervalMs || exposed;
        if (exposed || !firstFrameDone || !window->isViewable()) {
            repaintNeeded = true;  // a hidden window shows nothing of the last frame when it comes back
        }
        if (due && window->isViewable() && frame(false)) {
            firstFrameDone = true;
            lastFrameMs = nowMs;
            if (wantsFocus) {
                window->takeFocus();
            }
        }
        drainCommands();
    }
    inTick = false;
}

bool GlRootView::frame(bool force) {
    if (!opened) {
        return false;
    }
    // The views prepare without the context: a frame found identical costs no context switch either.
    bool changed = force || repaintNeeded;
    walk([&changed](View& v) { changed = v.prepareFrame() || changed; });
    if (!changed) {
        ++frameCount;
        return true;
    }
    if (!context.makeCurrent()) {
        return false;
    }
    repaintNeeded = false;
    Renderer* r = drawer.get();
    if (r != nullptr) {
        r->beginFrame();
        r->clear();
    } else {
        window->surface().clear(0.0f, 0.0f, 0.0f, 0.0f);  // no renderer: an empty editor
    }
    // Each view before its children; a child's viewport is its box clipped to its parent's.
    DrawList& views = list;
    auto drawView = [r, &views](auto& self, View& view, float parentX, float parentY, const Box* clip) -> void {
        float ax = parentX + view.x();
        float ay = parentY + view.y();
        Box box{ax, ay, ax + view.width(), ay + view.height()};
        if (clip != nullptr) {
            box.x0 = std::max(box.x0, clip->x0);
            box.y0 = std::max(box.y0, clip->y0);
            box.x1 = std::min(box.x1, clip->x1);
            box.y1 = std::min(box.y1, clip->y1);
        }
        if (r != nullptr && box.x1 > box.x0 && box.y1 > box.y0) {
            // Sizes to the nearest whole pixel (the boxes are never negative in size).
            r->setView(static_cast<int>(std::lround(box.x0)), static_cast<int>(std::lround(box.y0)),
                       static_cast<int>(box.x1 - box.x0 + 0.5f), static_cast<int>(box.y1 - box.y0 + 0.5f),
                       box.x1 - box.x0, box.y1 - box.y0, box.x0 - ax, box.y0 - ay);
            // Every view starts from the list's defaults.
            views.setLayer(0);
            views.setBlend(kBlendAlpha);
            views.resetClip();
            view.draw();
        }
        View* first = view.firstChild();
        if (first == nullptr) {
            return;
        }
        View* c = first;
        do {
            View* following = c->nextSibling();
            self(self, *c, ax, ay, &box);
            c = following;
        } while (c != first);
    };
    drawView(drawView, *this, -static_cast<float>(rect[0]), -static_cast<float>(rect[1]), nullptr);
    if (r != nullptr) {
        r->endFrame();
    }
    window->surface().present();
    context.release();
    ++frameCount;
    ++presentedCount;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Events

bool GlRootView::onWindowEvent(void* /*window*/, const GlEvent* event, void* user) {
    return event != nullptr && user != nullptr && static_cast<GlRootView*>(user)->handleEvent(*event);
}

void GlRootView::setFocus(View* view) {
    if (view == focused) {
        return;
    }
    if (focused != nullptr) {
        focused->focusChanged(false);
    }
    focused = view;
    if (focused != nullptr) {
        focused->focusChanged(true);
    }
}

View* GlRootView::viewAt(float& x, float& y) {
    if (!contains(x, y)) {
        return nullptr;
    }
    View* found = this;
    bool descended = true;
    while (descended) {
        descended = false;
        View* first = found->firstChild();
        if (first == nullptr) {
            break;
        }
        View* c = first;
        do {
            float lx = x - c->x();
            float ly = y - c->y();
            if (c->contains(lx, ly)) {
                found = c;
                x = lx;
                y = ly;
                descended = true;
                break;
            }
            c = c->nextSibling();
        } while (c != first);
    }
    return found;
}

bool GlRootView::handleEvent(const GlEvent& e) {
    switch (e.type) {
        case event::kButtonDown:
        case event::kButtonUp:
        case event::kMouseMove: {
            float x = e.x + 0.5f - static_cast<float>(rect[0]);
            float y = height() - (e.y - static_cast<float>(rect[1])) - 0.5f;
            View* view = viewAt(x, y);
            if (view == nullptr) {
                return false;
            }
            if (e.type == event::kMouseMove) {
                if (view != hovered) {
                    if (hovered != nullptr && (hovered->flags & viewflag::kTakesHover) != 0) {
                        hovered->hoverChanged(false);
                    }
                    hovered = view;
                    if ((view->flags & viewflag::kTakesHover) != 0) {
                        view->hoverChanged(true);
                    }
                }
                if ((view->flags & viewflag::kTakesMoves) != 0) {
                    view->mouseMove(x, y);
                }
                return true;
            }
            bool pressed = e.type == event::kButtonDown;
            if (pressed) {
                setFocus(view);
            }
            if ((view->flags & viewflag::kTakesButtons) == 0) {
                return true;
            }
            switch (eventTopByte(e)) {
                case button::kLeft:
                    view->leftButton(pressed, x, y);
                    break;
                case button::kRight:
                    view->rightButton(pressed, x, y);
                    break;
                case button::kMiddle:
                    view->middleButton(pressed, x, y);
                    break;
                default:
                    break;
            }
            return true;
        }
        case event::kMouseLeave:
            if (hovered != nullptr && (hovered->flags & viewflag::kTakesHover) != 0) {
                hovered->hoverChanged(false);
            }
            hovered = nullptr;
            return true;
        case event::kWheelHorizontal:
        case event::kWheelVertical:
            if (focused != nullptr && (focused->flags & viewflag::kTakesWheel) != 0) {
                float steps = static_cast<float>(eventWheelSteps(e));
                if (e.type == event::kWheelHorizontal) {
                    focused->wheel(steps, 0.0f);
                } else {
                    focused->wheel(0.0f, steps);
                }
                return true;
            }
            return false;
        case event::kFocusLost:
            setFocus(nullptr);
            return true;
        case event::kKey:
            return focused != nullptr && focused->key(true, keyValueOf(e));
        case event::kTimer:
            // A window with a frame timer of its own (Win32) draws from it; tick() keeps to the frame
            // interval and ignores a call from inside itself.
            tick(tickCountMs());
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Command ring

uint32_t GlRootView::pendingCommandWords() const {
    return (writeIndex.load(std::memory_order_acquire) - readIndex.load(std::memory_order_acquire)) %
           kCommandRingWords;
}

bool GlRootView::postCommand(uint32_t kind, uint32_t a, uint32_t b) {
    uint32_t words = kind == command::kIdle ? 1 : 3;
    LockGuard guard = LockGuard::locked(writerLock);
    uint32_t w = writeIndex.load(std::memory_order_relaxed);
    if (pendingCommandWords() + words > kCommandRingWords - 1) {
        return false;
    }
    ring[w % kCommandRingWords] = kind;
    if (words == 3) {
        ring[(w + 1) % kCommandRingWords] = a;
        ring[(w + 2) % kCommandRingWords] = b;
    }
    writeIndex.store((w + words) % kCommandRingWords, std::memory_order_release);
    return true;
}

uint32_t GlRootView::readWord() {
    uint32_t r = readIndex.load(std::memory_order_relaxed);
    uint32_t word = ring[r % kCommandRingWords];
    readIndex.store((r + 1) % kCommandRingWords, std::memory_order_release);
    return word;
}

void GlRootView::drainCommands() {
    while (pendingCommandWords() > 0) {
        uint32_t kind = readWord();
        if (kind == command::kIdle) {
            idle();
            continue;
        }
        if (kind != command::kCall && kind != command::kRebuild) {
            continue;  // an unknown word: skip it alone
        }
        if (pendingCommandWords() < 2) {
            break;
        }
        uint32_t a = readWord();
        uint32_t b = readWord();
        if (kind == command::kRebuild) {
            rebuildContext();
            repaintNeeded = true;
        }
        command(a, b);
    }
}

void GlRootView::rebuildContext() {
    if (!opened) {
        return;
    }
    WindowCount& windows = processWindows();
    LockGuard guard = LockGuard::locked(windows.lock);
    int openNow = windows.open;
    if (context.makeCurrent()) {
        walk([openNow](View& v) { v.contextReleased(openNow); });
        walk([openNow](View& v) { v.contextCreated(openNow); });
        context.release();
    }
}

void GlRootView::idle() {
    walk([](View& v) { v.notify(kNotifyIdle); });
}

}  // namespace tarsk
