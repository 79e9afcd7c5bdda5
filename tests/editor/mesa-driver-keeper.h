// Keeps Mesa's GL driver loaded for the rest of the test process: when the last GLX connection
// closes, the driver is unloaded with allocations of its own that the leak checker can then no
// longer tell from ours. The connection is never closed on purpose.
#pragma once

#include <GL/glx.h>
#include <X11/Xlib.h>

namespace test {

inline void keepMesaDriverLoaded() {
    static Display* driverKeeper = nullptr;
    if (driverKeeper != nullptr) {
        return;
    }
    driverKeeper = XOpenDisplay(nullptr);
    int count = 0;
    GLXFBConfig* configs = driverKeeper != nullptr ? glXGetFBConfigs(driverKeeper, 0, &count) : nullptr;
    if (configs != nullptr) {
        XFree(configs);
    }
}

}  // namespace test
