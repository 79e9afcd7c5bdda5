// The "OpenGL" renderer: OpenGL 1.x client vertex arrays, one draw call per bucket, texture upload for
// font maps and images. It saves every piece of GL state it changes and puts it back afterwards, since
// hosts draw with GL too. It makes no context of its own: the window layer's context is made current
// around its work (through the RenderContext it was given, or by the caller).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ui-renderer-gl.h"

namespace tarsk {

namespace {

// Extension tokens (defined here in case the headers predate them).
constexpr GLenum kTextureFilterControlExt = 0x8500;  // GL_TEXTURE_FILTER_CONTROL_EXT
constexpr GLenum kTextureLodBiasExt = 0x8501;        // GL_TEXTURE_LOD_BIAS_EXT
constexpr GLenum kTextureMaxLevelSgis = 0x813D;      // GL_TEXTURE_MAX_LEVEL_SGIS
constexpr GLenum kClampToEdge = 0x812F;              // GL_CLAMP_TO_EDGE (GL 1.2)
constexpr int kMaxGlErrorsDrained = 16;

// The GL mode of a primitive code, or 0 with "not drawn".
bool glModeOf(uint32_t primitive, GLenum& mode) {
    switch (primitive) {
        case kPrimitiveLines: mode = GL_LINES; return true;
        case kPrimitiveTriangles: mode = GL_TRIANGLES; return true;
        case kPrimitiveTriangleStrip: mode = GL_TRIANGLE_STRIP; return true;
        case kPrimitiveQuads: mode = GL_QUADS; return true;
        case kPrimitiveQuadStrip: mode = GL_QUAD_STRIP; return true;
        default: return false;
    }
}

bool hasExtension(const char* extensions, const char* name) {
    if (extensions == nullptr) {
        return false;
    }
    size_t length = std::strlen(name);
    for (const char* p = extensions; (p = std::strstr(p, name)) != nullptr; p += length) {
        bool startOk = p == extensions || p[-1] == ' ';
        bool endOk = p[length] == 0 || p[length] == ' ';
        if (startOk && endOk) {
            return true;
        }
    }
    return false;
}

std::string glText(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

void drainGlErrors() {
    for (int i = 0; i < kMaxGlErrorsDrained && glGetError() != GL_NO_ERROR; ++i) {
    }
}

class GlRenderer final : public Renderer {
public:
    GlRenderer(RenderContext* context, std::string vendor, std::string renderer, std::string version,
               const char* extensions)
        : context(context), vendorText(std::move(vendor)), rendererText(std::move(renderer)),
          versionText(std::move(version)) {
        int major = 1, minor = 0;
        if (std::sscanf(versionText.c_str(), "%d.%d", &major, &minor) != 2) {
            major = 1;
            minor = 0;
        }
        int v = major * 10 + minor;
        hasMultitexture = v >= 13;
        hasBufferObjects = v >= 15;
        hasPixelBuffers = v >= 21;
        hasPrograms = v >= 20;
        hasVertexArrayObjects = v >= 30;
        hasLodBias = hasExtension(extensions, "GL_EXT_texture_lod_bias");
        hasMaxLevel = hasExtension(extensions, "GL_SGIS_texture_lod") || hasExtension(extensions, "GL_EXT_texture_lod") ||
                      v >= 12;
    }
    // Texture names die with the context that made them; deleting them here could hit whatever
    // context the caller has current, so nothing is deleted.
    ~GlRenderer() override = default;

    bool makeCurrent() override { return context == nullptr || context->makeCurrent(); }
    void release() override {
        if (context != nullptr) {
            context->release();
        }
    }
    const char* vendor() const override { return vendorText.c_str(); }
    const char* rendererName() const override { return rendererText.c_str(); }
    const char* version() const override { return versionText.c_str(); }

    // ---- frame
    void beginFrame() override {
        glGetIntegerv(GL_VIEWPORT, frame.viewport);
        glGetIntegerv(GL_MATRIX_MODE, &frame.matrixMode);
        glGetFloatv(GL_PROJECTION_MATRIX, frame.projection);
        glGetFloatv(GL_MODELVIEW_MATRIX, frame.modelview);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, frame.clearColour);
        frame.active = true;
    }
    void setView(int viewportX, int viewportY, int viewportWidth, int viewportHeight, float viewWidth,
                 float viewHeight, float clippedLeft, float clippedBottom) override {
        glViewport(viewportX, viewportY, std::max(viewportWidth, 0), std::max(viewportHeight, 0));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        // One view pixel = one drawable pixel: the viewport box covers view pixels from the clipped-away
        // part on; a viewport as wide as the view gives scale 2 / width, translation -1.
        float w = viewportWidth > 0 ? static_cast<float>(viewportWidth) : std::max(viewWidth, 1.0f);
        float h = viewportHeight > 0 ? static_cast<float>(viewportHeight) : std::max(viewHeight, 1.0f);
        glTranslatef(-1.0f, -1.0f, 0.0f);
        glScalef(2.0f / w, 2.0f / h, 1.0f);
        glTranslatef(-clippedLeft, -clippedBottom, 0.0f);
    }
    void clear() override {
        GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        if (scissor) {
            glEnable(GL_SCISSOR_TEST);
        }
    }
    void endFrame() override {
        if (!frame.active) {
            return;
        }
        glViewport(frame.viewport[0], frame.viewport[1], frame.viewport[2], frame.viewport[3]);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(frame.projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(frame.modelview);
        glMatrixMode(static_cast<GLenum>(frame.matrixMode));
        glClearColor(frame.clearColour[0], frame.clearColour[1], frame.clearColour[2], frame.clearColour[3]);
        frame.active = false;
    }

    // ---- batches
    void beginBatches() override {
        glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_TEXTURE_BIT | GL_TRANSFORM_BIT |
                     GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT);
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        if (hasPrograms) {
            glGetIntegerv(GL_CURRENT_PROGRAM, &batches.program);
            glUseProgram(0);
        }
        if (hasVertexArrayObjects) {
            glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &batches.vertexArray);
            glBindVertexArray(0);
        }
        if (hasBufferObjects) {
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        }
        if (hasMultitexture) {
            glActiveTexture(GL_TEXTURE0);
            glClientActiveTexture(GL_TEXTURE0);
        }
        glGetFloatv(GL_TEXTURE_MATRIX, batches.textureMatrix);

        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_STENCIL_TEST);
        glDisable(GL_FOG);
        glDisable(GL_COLOR_LOGIC_OP);
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        glDisable(GL_TEXTURE_1D);
        glDepthMask(GL_FALSE);
        glShadeModel(GL_SMOOTH);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

        glEnableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_INDEX_ARRAY);
        glDisableClientState(GL_EDGE_FLAG_ARRAY);

        // Texture coordinates are stored as coordinate * 32767.
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glScalef(1.0f / kTexCoordScale, 1.0f / kTexCoordScale, 1.0f);
        glMatrixMode(GL_MODELVIEW);
        batches.active = true;
    }

    bool drawBatch(const DrawBatch& batch) override {
        GLenum mode = 0;
        if (!batches.active || batch.state == nullptr || batch.stride == 0 || !glModeOf(batch.primitive, mode) ||
            !applyState(*batch.state)) {
            return false;
        }
        const uint8_t* base = static_cast<const uint8_t*>(batch.vertices);
        GLsizei stride = static_cast<GLsizei>(batch.stride);
        size_t offset = 0;
        switch (batch.format & kFormatPositionMask) {
            case kFormatPositionShort2: glVertexPointer(2, GL_SHORT, stride, base); offset = 4; break;
            case kFormatPositionFloat2: glVertexPointer(2, GL_FLOAT, stride, base); offset = 8; break;
            case kFormatPositionFloat3: glVertexPointer(3, GL_FLOAT, stride, base); offset = 12; break;
            case kFormatPositionFloat4: glVertexPointer(4, GL_FLOAT, stride, base); offset = 16; break;
            default: return false;
        }
        switch (batch.format & kFormatNormalMask) {
            case kFormatNormalByte:
                glEnableClientState(GL_NORMAL_ARRAY);
                glNormalPointer(GL_BYTE, stride, base + offset);
                offset += 4;
                break;
            case kFormatNormalShort:
                glEnableClientState(GL_NORMAL_ARRAY);
                glNormalPointer(GL_SHORT, stride, base + offset);
                offset += 8;
                break;
            case kFormatNormalFloat:
                glEnableClientState(GL_NORMAL_ARRAY);
                glNormalPointer(GL_FLOAT, stride, base + offset);
                offset += 12;
                break;
            default: glDisableClientState(GL_NORMAL_ARRAY); break;
        }
        if ((batch.format & kFormatColourBytes) != 0) {
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(4, GL_UNSIGNED_BYTE, stride, base + offset);
            offset += 4;
        } else {
            glDisableClientState(GL_COLOR_ARRAY);
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        }
        if ((batch.format & kFormatSecondaryColour) != 0) {
            offset += 4;  // carried in the vertex, not used by the fixed pipeline here
        }
        if ((batch.format & kFormatTexCoordMask) == kFormatTexCoordShort2 && batch.state->texture != 0) {
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_SHORT, stride, base + offset);
        } else {
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        glDrawArrays(mode, 0, static_cast<GLsizei>(batch.bytes / batch.stride));
        return true;
    }

    void endBatches() override {
        if (!batches.active) {
            return;
        }
        glMatrixMode(GL_TEXTURE);
        glLoadMatrixf(batches.textureMatrix);
        if (hasVertexArrayObjects) {
            glBindVertexArray(static_cast<GLuint>(batches.vertexArray));
        }
        glPopClientAttrib();
        glPopAttrib();
        if (hasPrograms) {
            glUseProgram(static_cast<GLuint>(batches.program));
        }
        batches.active = false;
    }

    // ---- textures
    TextureId createAlphaTexture(const TextureLevel* levels, int levelCount, int maxLevel, float lodBias) override {
        if (levels == nullptr || levelCount <= 0) {
            return 0;
        }
        UploadScope scope(*this);
        GLuint name = 0;
        glGenTextures(1, &name);
        if (name == 0) {
            return 0;
        }
        glBindTexture(GL_TEXTURE_2D, name);
        for (int level = 0; level < levelCount; ++level) {
            glTexImage2D(GL_TEXTURE_2D, level, GL_ALPHA, levels[level].width, levels[level].height, 0, GL_ALPHA,
                         GL_UNSIGNED_BYTE, levels[level].pixels);
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, levelCount > 1 ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, kClampToEdge);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, kClampToEdge);
        if (hasMaxLevel) {
            glTexParameteri(GL_TEXTURE_2D, kTextureMaxLevelSgis, std::clamp(maxLevel, 0, levelCount - 1));
        }
        return finishTexture(name, lodBias);
    }

    TextureId createRgbaTexture(const uint8_t* pixels, int width, int height) override {
        if (pixels == nullptr || width <= 0 || height <= 0) {
            return 0;
        }
        UploadScope scope(*this);
        GLuint name = 0;
        glGenTextures(1, &name);
        if (name == 0) {
            return 0;
        }
        glBindTexture(GL_TEXTURE_2D, name);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        // Box-filtered levels down to 1 x 1.
        std::vector<uint8_t> previous(pixels, pixels + static_cast<size_t>(width) * height * 4), next;
        int w = width, h = height, level = 0;
        while (w > 1 || h > 1) {
            int nw = std::max(w / 2, 1), nh = std::max(h / 2, 1);
            next.assign(static_cast<size_t>(nw) * nh * 4, 0);
            for (int y = 0; y < nh; ++y) {
                for (int x = 0; x < nw; ++x) {
                    int x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
                    int y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
                    for (int c = 0; c < 4; ++c) {
                        auto at = [&](int px, int py) { return previous[(static_cast<size_t>(py) * w + px) * 4 + c]; };
                        next[(static_cast<size_t>(y) * nw + x) * 4 + c] =
                            static_cast<uint8_t>((at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1) + 2) / 4);
                    }
                }
            }
            ++level;
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA, nw, nh, 0, GL_RGBA, GL_UNSIGNED_BYTE, next.data());
            previous.swap(next);
            w = nw;
            h = nh;
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        return finishTexture(name, 0.0f);
    }

    void deleteTexture(TextureId texture) override {
        auto known = std::find_if(textures.begin(), textures.end(),
                                  [&](const TextureInfo& info) { return info.name == texture; });
        if (known == textures.end()) {
            return;  // never delete a name this renderer did not make
        }
        GLuint name = known->name;
        glDeleteTextures(1, &name);
        textures.erase(known);
    }

private:
    struct TextureInfo {
        GLuint name;
        float lodBias;
    };

    // Keeps the caller's texture binding and pixel-store state around an upload.
    struct UploadScope {
        explicit UploadScope(GlRenderer& owner) : owner(owner) {
            drainGlErrors();
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
            glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
            if (owner.hasPixelBuffers) {
                glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer);
                glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
            }
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
            glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
            glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
            glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
        }
        ~UploadScope() {
            if (owner.hasPixelBuffers) {
                glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(unpackBuffer));
            }
            glPopClientAttrib();
            glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(binding));
        }
        GlRenderer& owner;
        GLint binding = 0;
        GLint unpackBuffer = 0;
    };

    TextureId finishTexture(GLuint name, float lodBias) {
        if (glGetError() != GL_NO_ERROR) {
            glDeleteTextures(1, &name);
            drainGlErrors();
            return 0;
        }
        textures.push_back(TextureInfo{name, lodBias});
        return name;
    }

    bool applyState(const RenderState& state) {
        if (state.texture != 0) {
            auto known = std::find_if(textures.begin(), textures.end(),
                                      [&](const TextureInfo& info) { return info.name == state.texture; });
            if (known == textures.end()) {
                return false;  // a texture that was deleted or never made here
            }
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, known->name);
            if (hasLodBias) {
                glTexEnvf(kTextureFilterControlExt, kTextureLodBiasExt, known->lodBias);
            }
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        if (state.clipEnabled != 0) {
            glEnable(GL_SCISSOR_TEST);
            const UiRect& c = state.clip;
            glScissor(static_cast<GLint>(c.cx - c.hw), static_cast<GLint>(c.cy - c.hh),
                      std::max(static_cast<GLsizei>(2.0f * c.hw), 0), std::max(static_cast<GLsizei>(2.0f * c.hh), 0));
        } else {
            glDisable(GL_SCISSOR_TEST);
        }
        switch (state.blend) {
            case kBlendOff: glDisable(GL_BLEND); break;
            case kBlendAlpha: glEnable(GL_BLEND); glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
            case kBlendPremultiplied: glEnable(GL_BLEND); glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA); break;
            case kBlendAdd: glEnable(GL_BLEND); glBlendFunc(GL_ONE, GL_ONE); break;
            case kBlendAddAlpha: glEnable(GL_BLEND); glBlendFunc(GL_SRC_ALPHA, GL_ONE); break;
            case kBlendScreen: glEnable(GL_BLEND); glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE); break;
            default: return false;
        }
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
        return true;
    }

    RenderContext* context;
    std::string vendorText, rendererText, versionText;
    bool hasMultitexture = false, hasBufferObjects = false, hasPixelBuffers = false, hasPrograms = false,
         hasVertexArrayObjects = false;
    bool hasLodBias = false, hasMaxLevel = false;
    std::vector<TextureInfo> textures;
    struct {
        GLint viewport[4] = {};
        GLint matrixMode = GL_MODELVIEW;
        GLfloat projection[16] = {};
        GLfloat modelview[16] = {};
        GLfloat clearColour[4] = {};
        bool active = false;
    } frame;
    struct {
        GLfloat textureMatrix[16] = {};
        GLint program = 0;
        GLint vertexArray = 0;
        bool active = false;
    } batches;
};

}  // namespace

std::unique_ptr<Renderer> createOpenGlRenderer(RenderContext* context) {
    if (context != nullptr && !context->makeCurrent()) {
        return nullptr;
    }
    std::string version = glText(GL_VERSION);
    if (version.empty()) {
        return nullptr;  // no context is current
    }
    const GLubyte* extensions = glGetString(GL_EXTENSIONS);
    return std::make_unique<GlRenderer>(context, glText(GL_VENDOR), glText(GL_RENDERER), std::move(version),
                                        reinterpret_cast<const char*>(extensions));
}

}  // namespace tarsk
