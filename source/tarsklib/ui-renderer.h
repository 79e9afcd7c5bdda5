// The renderer interface the draw list draws through, the texture services the font maps and images
// upload through, and the registry that makes a renderer by name. No graphics header is needed here;
// the OpenGL implementation lives in ui-renderer-gl.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ui-types.h"

namespace tarsk {

// A texture object of the renderer; 0 is "no texture".
using TextureId = uint32_t;

// Primitive codes of vertex buckets.
constexpr uint32_t kPrimitivePoints = 0x101;  // not drawn
constexpr uint32_t kPrimitiveLines = 0x102;
constexpr uint32_t kPrimitiveLineStrip = 0x103;  // not drawn
constexpr uint32_t kPrimitiveTriangles = 0x104;
constexpr uint32_t kPrimitiveTriangleStrip = 0x105;
constexpr uint32_t kPrimitiveQuads = 0x106;
constexpr uint32_t kPrimitiveQuadStrip = 0x107;

// Vertex format flags of a bucket.
constexpr uint32_t kFormatPositionMask = 0x1F;
constexpr uint32_t kFormatPositionShort2 = 0x02;
constexpr uint32_t kFormatPositionFloat2 = 0x04;
constexpr uint32_t kFormatPositionFloat3 = 0x08;
constexpr uint32_t kFormatPositionFloat4 = 0x10;
constexpr uint32_t kFormatNormalMask = 0x700;
constexpr uint32_t kFormatNormalByte = 0x100;
constexpr uint32_t kFormatNormalShort = 0x200;
constexpr uint32_t kFormatNormalFloat = 0x400;
constexpr uint32_t kFormatColourBytes = 0x1000;
constexpr uint32_t kFormatSecondaryColour = 0x4000;
constexpr uint32_t kFormatTexCoordMask = 0x30000;
constexpr uint32_t kFormatTexCoordShort2 = 0x10000;
// What the draw list always uses: two float positions, four-byte colour, two 16-bit texture coordinates.
constexpr uint32_t kDrawListFormat = kFormatPositionFloat2 | kFormatColourBytes | kFormatTexCoordShort2;
// Texture coordinates are stored as coordinate * 32767 and scaled back by the texture matrix.
constexpr float kTexCoordScale = 32767.0f;

// Blend modes of render states.
constexpr uint32_t kBlendOff = 0;
constexpr uint32_t kBlendAlpha = 1;             // src alpha, 1 - src alpha
constexpr uint32_t kBlendPremultiplied = 2;     // 1, 1 - src alpha
constexpr uint32_t kBlendAdd = 3;               // 1, 1
constexpr uint32_t kBlendAddAlpha = 4;          // src alpha, 1
constexpr uint32_t kBlendScreen = 5;            // 1 - dst colour, 1
constexpr uint32_t kBlendModeCount = 6;

// The interned drawing state of a bucket: texture, clip and blend mode. Its bytes are the hash key,
// so it has no padding and a clip that is off always carries a zero rectangle.
struct RenderState {
    TextureId texture = 0;
    uint32_t clipEnabled = 0;
    UiRect clip;
    uint32_t blend = kBlendAlpha;

    bool operator==(const RenderState&) const = default;
};
static_assert(sizeof(RenderState) == 28, "RenderState is hashed as plain bytes");

// One draw call: a bucket's vertices with their state.
struct DrawBatch {
    const RenderState* state = nullptr;
    uint32_t primitive = 0;
    uint32_t format = 0;
    uint32_t stride = 0;
    const void* vertices = nullptr;
    size_t bytes = 0;
};

// One level of a texture's mip chain.
struct TextureLevel {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};

// Texture upload and deletion. Every call needs the renderer's context current.
class TextureFactory {
public:
    virtual ~TextureFactory() = default;
    // An alpha-only texture from a ready mip chain (levels[0] is the base); linear filtering between
    // levels, at most maxLevel levels beyond the base sampled where the driver allows limiting it,
    // and the LOD bias applied whenever the texture is bound. Answers 0 on failure.
    virtual TextureId createAlphaTexture(const TextureLevel* levels, int levelCount, int maxLevel,
                                         float lodBias) = 0;
    // An RGBA texture (4 bytes per texel, rows from the image's top) with a box-filtered mip chain.
    virtual TextureId createRgbaTexture(const uint8_t* pixels, int width, int height) = 0;
    virtual void deleteTexture(TextureId texture) = 0;
};

// Makes a drawing context current on the calling thread and releases it again. The window layer
// implements it over its platform context; a renderer made without one draws into whatever context
// the caller made current.
class RenderContext {
public:
    virtual ~RenderContext() = default;
    virtual bool makeCurrent() = 0;
    virtual void release() = 0;
};

class Renderer : public TextureFactory {
public:
    ~Renderer() override = default;

    // The context of the renderer, made current (false on failure) and released.
    virtual bool makeCurrent() = 0;
    virtual void release() = 0;

    // Driver strings read when the renderer was made (empty when the driver gave none).
    virtual const char* vendor() const = 0;
    virtual const char* rendererName() const = 0;
    virtual const char* version() const = 0;

    // A frame: beginFrame remembers the viewport, matrices and clear colour the caller had; setView
    // maps a view's pixels (origin bottom left, y up) onto a viewport box of the drawable; clear
    // clears the colour buffer to transparent black; endFrame puts everything back.
    virtual void beginFrame() = 0;
    virtual void setView(int viewportX, int viewportY, int viewportWidth, int viewportHeight,
                         float viewWidth, float viewHeight, float clippedLeft, float clippedBottom) = 0;
    virtual void clear() = 0;
    virtual void endFrame() = 0;

    // The draw list's flush: beginBatches saves the state the batches change and prepares the vertex
    // arrays, drawBatch draws one bucket (false when it was skipped: no mode for its primitive, or a
    // state that cannot be applied), endBatches restores what beginBatches saved.
    virtual void beginBatches() = 0;
    virtual bool drawBatch(const DrawBatch& batch) = 0;
    virtual void endBatches() = 0;
};

// The string hash of the interning tables and the registry: h = 1, then h = h * 7 + byte.
uint32_t hashBytes(const void* data, size_t size, uint32_t h = 1);
uint32_t hashString(const char* text);

// Makes the renderer registered under name ("OpenGL"), or answers null for an unknown name or when
// the renderer cannot be made. The context, when given, is made current while the renderer is made
// and stays current afterwards; without one the caller's current context is used.
std::unique_ptr<Renderer> createRenderer(const char* name, RenderContext* context);

}  // namespace tarsk
