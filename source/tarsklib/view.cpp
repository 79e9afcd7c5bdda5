// View tree links and geometry.
#include "tarsklib/view.h"

namespace tarsk {

View::View() = default;

View::~View() {
    // Children stay alive (the tree does not own them) but must not point at a dead parent.
    while (firstChildView != nullptr) {
        firstChildView->detach();
    }
    detach();
}

void View::addChild(View& child) {
    if (&child == this) {
        return;
    }
    child.detach();
    child.parentView = this;
    if (firstChildView == nullptr) {
        firstChildView = &child;
        child.next = &child;
        child.previous = &child;
        return;
    }
    View* last = firstChildView->previous;
    last->next = &child;
    child.previous = last;
    child.next = firstChildView;
    firstChildView->previous = &child;
}

void View::detach() {
    if (parentView != nullptr) {
        if (parentView->firstChildView == this) {
            parentView->firstChildView = next != this ? next : nullptr;
        }
        parentView = nullptr;
    }
    previous->next = next;
    next->previous = previous;
    next = this;
    previous = this;
}

bool View::moveTo(float x, float y) {
    if ((flags & viewflag::kAsksMove) != 0 && !canMove(x, y)) {
        return false;
    }
    posX = x;
    posY = y;
    if (observer != nullptr) {
        observer->viewChanged(*this);
    }
    return true;
}

bool View::resizeTo(float width, float height) {
    if ((flags & viewflag::kAsksResize) != 0 && !canResize(width, height)) {
        return false;
    }
    sizeW = width;
    sizeH = height;
    if (observer != nullptr) {
        observer->viewChanged(*this);
    }
    return true;
}

}  // namespace tarsk
