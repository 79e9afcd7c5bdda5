// The renderer registry: renderers made by name, found through the string hash.
#include <cstring>

#include "ui-renderer-gl.h"
#include "ui-renderer.h"

namespace tarsk {

namespace {

using RendererFactory = std::unique_ptr<Renderer> (*)(RenderContext* context);

struct RegisteredRenderer {
    const char* name;
    RendererFactory factory;
};

constexpr RegisteredRenderer kRenderers[] = {
    {"OpenGL", &createOpenGlRenderer},
};

}  // namespace

std::unique_ptr<Renderer> createRenderer(const char* name, RenderContext* context) {
    if (name == nullptr) {
        return nullptr;
    }
    uint32_t h = hashString(name);
    for (const RegisteredRenderer& entry : kRenderers) {
        if (hashString(entry.name) == h && std::strcmp(entry.name, name) == 0) {
            return entry.factory(context);
        }
    }
    return nullptr;
}

}  // namespace tarsk
