// The modifier keys of the Win32 backend, read from the thread's key state at the time of use.
#pragma once

#include "tarsklib/ui-context.h"

namespace tarsk {

class Win32Input final : public PlatformInput {
public:
    bool keyDown(int index) const override;
};

}  // namespace tarsk
