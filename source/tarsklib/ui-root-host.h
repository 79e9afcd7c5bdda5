// Connects an immediate-mode context to the window's root view: capture changes go to the root view as
// its observer, and a focused text area asks the root view for the keyboard focus.
#pragma once

#include "gl-root-view.h"
#include "ui-context.h"

namespace tarsk {

class RootViewUiHost final : public UiHost {
public:
    explicit RootViewUiHost(GlRootView& root) : rootView(root) {}
    void captureChanged(UiContext& context) override { rootView.captureChanged(&context); }
    void requestKeyboardFocus() override { rootView.requestFocus(); }

private:
    GlRootView& rootView;
};

}  // namespace tarsk
