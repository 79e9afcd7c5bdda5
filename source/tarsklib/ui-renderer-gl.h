// The OpenGL 1.x renderer's factory (registered as "OpenGL"); the implementation includes the GL headers.
#pragma once

#include <memory>

#include "ui-renderer.h"

namespace tarsk {

std::unique_ptr<Renderer> createOpenGlRenderer(RenderContext* context);

}  // namespace tarsk
