// Tests of the OpenGL renderer under a private Xvfb: a known draw list lands on the right pixels of a
// single-sample window, textures are uploaded as asked, and every piece of GL state the renderer
// touches is back as the host left it.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "tarsklib/font-map-writer.h"
#include "tarsklib/ui-draw-list.h"
#include "tarsklib/ui-fontmap.h"
#include "tarsklib/ui-image.h"
#include "tarsklib/ui-renderer.h"
#include "tarsklib/xvfb-server.h"

// Last: Xlib's macros (None, Status, Bool) collide with names in the headers above.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

// Under AddressSanitizer: the GL driver and Xlib keep allocations until the process ends, which are not
// ours to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libGLX_mesa.so\nleak:libGL.so\nleak:libGLdispatch.so\nleak:swrast_dri.so\nleak:libLLVM\n"
           "leak:libX11.so\nleak:libxcb.so\nleak:libglapi.so\n";
}

namespace tarsk {
namespace {

constexpr int kSide = 64;

// A small unmapped single-sample GLX window with a context, current while the object lives. Drawing
// goes to its back buffer, which glReadPixels reads. (A pbuffer would do, but Mesa's software path under
// Xvfb fails to present into one.)
class TestDrawable {
public:
    explicit TestDrawable(Display* display) : display(display) {
        const int attributes[] = {GLX_X_RENDERABLE, True, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT, GLX_RENDER_TYPE,
                                  GLX_RGBA_BIT, GLX_DOUBLEBUFFER, True, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8,
                                  GLX_BLUE_SIZE, 8, GLX_ALPHA_SIZE, 8, None};
        int count = 0;
        GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
        if (configs == nullptr || count == 0) {
            return;
        }
        // A single-sample config, so that read-back pixels are the drawn ones.
        GLXFBConfig chosen = nullptr;
        for (int i = 0; i < count && chosen == nullptr; ++i) {
            int samples = 0, sampleBuffers = 0;
            glXGetFBConfigAttrib(display, configs[i], GLX_SAMPLES, &samples);
            glXGetFBConfigAttrib(display, configs[i], GLX_SAMPLE_BUFFERS, &sampleBuffers);
            if (samples <= 1 && sampleBuffers == 0) {
                chosen = configs[i];
            }
        }
        XVisualInfo* visual = chosen != nullptr ? glXGetVisualFromFBConfig(display, chosen) : nullptr;
        if (visual != nullptr) {
            Window root = RootWindow(display, visual->screen);
            XSetWindowAttributes set{};
            colormap = XCreateColormap(display, root, visual->visual, AllocNone);
            set.colormap = colormap;
            set.border_pixel = 0;
            window = XCreateWindow(display, root, 0, 0, kSide, kSide, 0, visual->depth, InputOutput, visual->visual,
                                   CWColormap | CWBorderPixel, &set);
            context = glXCreateNewContext(display, chosen, GLX_RGBA_TYPE, nullptr, True);
            XFree(visual);
        }
        XFree(configs);
        current = window != 0 && context != nullptr && makeCurrent();
    }
    ~TestDrawable() {
        glXMakeContextCurrent(display, None, None, nullptr);
        if (context != nullptr) glXDestroyContext(display, context);
        if (window != 0) XDestroyWindow(display, window);
        if (colormap != 0) XFreeColormap(display, colormap);
    }
    bool makeCurrent() { return glXMakeContextCurrent(display, window, window, context); }
    bool ok() const { return current; }

private:
    Display* display;
    Window window = 0;
    Colormap colormap = 0;
    GLXContext context = nullptr;
    bool current = false;
};

// A render context as the window layer provides it: counts the calls, can be made to fail.
class CountingContext final : public RenderContext {
public:
    explicit CountingContext(TestDrawable& target) : target(target) {}
    bool makeCurrent() override {
        ++made;
        return !fail && target.makeCurrent();
    }
    void release() override { ++released; }
    TestDrawable& target;
    bool fail = false;
    int made = 0, released = 0;
};

// Every piece of GL state the renderer may touch, as glGet reports it.
struct GlState {
    std::array<GLint, 4> viewport{}, scissorBox{};
    std::array<GLfloat, 16> projection{}, modelview{}, texture{};
    std::array<GLfloat, 4> currentColour{}, clearColour{};
    GLint matrixMode = 0, textureBinding = 0, blendSrc = 0, blendDst = 0, unpackAlignment = 0, activeTexture = 0,
          envMode = 0, shadeModel = 0, arrayBuffer = 0;
    GLboolean blend = 0, scissor = 0, texture2d = 0, depthTest = 0, depthMask = 0, alphaTest = 0, cullFace = 0;
    GLboolean vertexArray = 0, colourArray = 0, normalArray = 0, texCoordArray = 0;
    void* colourPointer = nullptr;

    static GlState read() {
        GlState s;
        glGetIntegerv(GL_VIEWPORT, s.viewport.data());
        glGetIntegerv(GL_SCISSOR_BOX, s.scissorBox.data());
        glGetFloatv(GL_PROJECTION_MATRIX, s.projection.data());
        glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview.data());
        glGetFloatv(GL_TEXTURE_MATRIX, s.texture.data());
        glGetFloatv(GL_CURRENT_COLOR, s.currentColour.data());
        glGetFloatv(GL_COLOR_CLEAR_VALUE, s.clearColour.data());
        glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.textureBinding);
        glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
        glGetIntegerv(GL_BLEND_DST, &s.blendDst);
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &s.unpackAlignment);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &s.envMode);
        glGetIntegerv(GL_SHADE_MODEL, &s.shadeModel);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s.arrayBuffer);
        s.blend = glIsEnabled(GL_BLEND);
        s.scissor = glIsEnabled(GL_SCISSOR_TEST);
        s.texture2d = glIsEnabled(GL_TEXTURE_2D);
        s.depthTest = glIsEnabled(GL_DEPTH_TEST);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
        s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
        s.cullFace = glIsEnabled(GL_CULL_FACE);
        s.vertexArray = glIsEnabled(GL_VERTEX_ARRAY);
        s.colourArray = glIsEnabled(GL_COLOR_ARRAY);
        s.normalArray = glIsEnabled(GL_NORMAL_ARRAY);
        s.texCoordArray = glIsEnabled(GL_TEXTURE_COORD_ARRAY);
        glGetPointerv(GL_COLOR_ARRAY_POINTER, &s.colourPointer);
        return s;
    }
};

void expectSameState(const GlState& a, const GlState& b, const char* when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(a.viewport, b.viewport);
    EXPECT_EQ(a.scissorBox, b.scissorBox);
    EXPECT_EQ(a.projection, b.projection);
    EXPECT_EQ(a.modelview, b.modelview);
    EXPECT_EQ(a.texture, b.texture);
    EXPECT_EQ(a.currentColour, b.currentColour);
    EXPECT_EQ(a.clearColour, b.clearColour);
    EXPECT_EQ(a.matrixMode, b.matrixMode);
    EXPECT_EQ(a.textureBinding, b.textureBinding);
    EXPECT_EQ(a.blendSrc, b.blendSrc);
    EXPECT_EQ(a.blendDst, b.blendDst);
    EXPECT_EQ(a.unpackAlignment, b.unpackAlignment);
    EXPECT_EQ(a.activeTexture, b.activeTexture);
    EXPECT_EQ(a.envMode, b.envMode);
    EXPECT_EQ(a.shadeModel, b.shadeModel);
    EXPECT_EQ(a.arrayBuffer, b.arrayBuffer);
    EXPECT_EQ(a.blend, b.blend);
    EXPECT_EQ(a.scissor, b.scissor);
    EXPECT_EQ(a.texture2d, b.texture2d);
    EXPECT_EQ(a.depthTest, b.depthTest);
    EXPECT_EQ(a.depthMask, b.depthMask);
    EXPECT_EQ(a.alphaTest, b.alphaTest);
    EXPECT_EQ(a.cullFace, b.cullFace);
    EXPECT_EQ(a.vertexArray, b.vertexArray);
    EXPECT_EQ(a.colourArray, b.colourArray);
    EXPECT_EQ(a.normalArray, b.normalArray);
    EXPECT_EQ(a.texCoordArray, b.texCoordArray);
    EXPECT_EQ(a.colourPointer, b.colourPointer);
}

class RendererGl : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // llvmpipe rasterises on the calling thread (no driver threads for the thread checker to see),
        // and writes no shader cache into the home folder.
        setenv("LP_NUM_THREADS", "0", 1);
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        server = new test::XvfbServer("160x120x24");
        if (server->running()) {
            display = XOpenDisplay(server->name().c_str());
        }
    }
    static void TearDownTestSuite() {
        // The display stays open: closing the last GLX connection unloads Mesa's driver together with
        // allocations of its own, which the leak checker could then no longer tell from ours.
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server->running()) << "Xvfb did not start";
        ASSERT_NE(display, nullptr);
        drawable = std::make_unique<TestDrawable>(display);
        ASSERT_TRUE(drawable->ok()) << "no single-sample GLX window";
    }
    void TearDown() override { drawable.reset(); }

    // Leaves GL in a state a host might: odd matrices and viewport, its own texture bound and enabled,
    // blending, scissor and depth test on, client arrays of its own enabled.
    void hostState() {
        glGenTextures(1, &hostTexture);
        glBindTexture(GL_TEXTURE_2D, hostTexture);
        glEnable(GL_TEXTURE_2D);
        glViewport(3, 5, 17, 19);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glTranslatef(0.25f, 0.5f, 0.0f);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatef(30.0f, 0, 0, 1);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-2, 3, -4, 5, -1, 1);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ZERO);
        glEnable(GL_SCISSOR_TEST);
        glScissor(1, 2, 3, 4);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
        glClearColor(0.5f, 0.25f, 0.125f, 1.0f);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glShadeModel(GL_FLAT);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, hostColours);
    }

    std::array<uint8_t, 4> pixel(const std::vector<uint8_t>& image, int x, int y) {
        const uint8_t* p = image.data() + (static_cast<size_t>(y) * kSide + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }

    static test::XvfbServer* server;
    static Display* display;
    std::unique_ptr<TestDrawable> drawable;
    GLuint hostTexture = 0;
    uint8_t hostColours[16] = {};
};

test::XvfbServer* RendererGl::server = nullptr;
Display* RendererGl::display = nullptr;

TEST_F(RendererGl, IsMadeByNameAndReportsTheDriverStrings) {
    std::unique_ptr<Renderer> renderer = createRenderer("OpenGL", nullptr);
    ASSERT_NE(renderer, nullptr);
    EXPECT_GT(std::strlen(renderer->vendor()), 0u);
    EXPECT_GT(std::strlen(renderer->rendererName()), 0u);
    EXPECT_STREQ(renderer->version(), reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    EXPECT_EQ(createRenderer("Direct3D", nullptr), nullptr);
    EXPECT_EQ(createRenderer("opengl", nullptr), nullptr);
    EXPECT_EQ(createRenderer(nullptr, nullptr), nullptr);

    // With a context of the window layer: made current for the strings, and through makeCurrent/release.
    CountingContext context(*drawable);
    std::unique_ptr<Renderer> withContext = createRenderer("OpenGL", &context);
    ASSERT_NE(withContext, nullptr);
    EXPECT_EQ(context.made, 1);
    EXPECT_TRUE(withContext->makeCurrent());
    withContext->release();
    EXPECT_EQ(context.made, 2);
    EXPECT_EQ(context.released, 1);
    context.fail = true;
    EXPECT_FALSE(withContext->makeCurrent());
    EXPECT_EQ(createRenderer("OpenGL", &context), nullptr);

    // No context current at all: no renderer.
    glXMakeContextCurrent(display, None, None, nullptr);
    EXPECT_EQ(createRenderer("OpenGL", nullptr), nullptr);
}

TEST_F(RendererGl, DrawsAKnownListAndPutsBackEveryStateItTouched) {
    std::unique_ptr<Renderer> renderer = createRenderer("OpenGL", nullptr);
    ASSERT_NE(renderer, nullptr);
    hostState();
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const GlState before = GlState::read();

    // A font whose atlas is transparent on the left half and opaque on the right, and a 2 x 2 image.
    test::FontMapFile face = test::testFace();
    std::vector<uint8_t> atlas(8 * 8);
    for (int i = 0; i < 64; ++i) atlas[static_cast<size_t>(i)] = (i % 8) < 4 ? 0 : 255;
    face.png = test::encodePng(atlas, 8, 8, 0, 8);
    std::vector<uint8_t> fontBytes = test::writeFontMap(face);
    UiFontmap font;
    MemoryStream fontStream(fontBytes.data(), fontBytes.size());
    ASSERT_TRUE(font.load(fontStream, kDefaultFontLodBias, renderer.get()));
    ASSERT_NE(font.texture(), 0u);
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    std::vector<uint8_t> imageBytes = test::encodePng(rgba, 2, 2, 6, 8);
    UiImage image;
    MemoryStream imageStream(imageBytes.data(), imageBytes.size());
    ASSERT_TRUE(image.load(imageStream, renderer.get()));
    expectSameState(before, GlState::read(), "after the uploads");

    // The font texture: a full mip chain, trilinear, sampled down to the level the mip hint asks for.
    glBindTexture(GL_TEXTURE_2D, font.texture());
    GLint minFilter = 0, maxLevel = 0, lastWidth = 0, alphaSize = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &maxLevel);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH, &lastWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaSize);
    glBindTexture(GL_TEXTURE_2D, hostTexture);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(maxLevel, 3);
    EXPECT_EQ(lastWidth, 1);  // 8, 4, 2, 1
    EXPECT_GT(alphaSize, 0);

    DrawList list;
    const UiColour blue{0, 0, 1, 1}, green{0, 1, 0, 1}, red{1, 0, 0, 1}, yellow{1, 1, 0, 1};
    // Top left: a green box in layer 1 emitted before the blue box of layer 0 it lies on.
    list.setLayer(1);
    list.fillRect({16, 48, 8, 8}, green);
    list.setLayer(0);
    list.fillRect({16, 48, 16, 16}, blue);
    // Top right: a red box clipped to x 40..56, y 40..56.
    list.setClip({48, 48, 8, 8});
    list.fillRect({48, 48, 16, 16}, red);
    list.resetClip();
    // Bottom left: the font atlas in yellow (only its opaque right half shows).
    list.texturedRect({16, 16, 16, 16}, yellow, yellow, font.texture(), {0.5f, 0.5f, 0.5f, 0.5f});
    // Bottom right: the image, its first row at the top.
    list.texturedRect({48, 16, 16, 16}, {1, 1, 1, 1}, {1, 1, 1, 1}, image.texture(), {0.5f, 0.5f, 0.5f, 0.5f});
    // A texture this renderer never made is skipped.
    list.texturedRect({32, 32, 2, 2}, red, red, 4242, {0.5f, 0.5f, 0.5f, 0.5f});

    renderer->beginFrame();
    renderer->setView(0, 0, kSide, kSide, kSide, kSide, 0, 0);
    renderer->clear();
    list.flush(renderer.get());
    renderer->endFrame();
    EXPECT_EQ(list.stats().drawCalls, 5u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    expectSameState(before, GlState::read(), "after the frame");

    std::vector<uint8_t> image2(static_cast<size_t>(kSide) * kSide * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kSide, kSide, GL_RGBA, GL_UNSIGNED_BYTE, image2.data());
    using Px = std::array<uint8_t, 4>;
    EXPECT_EQ(pixel(image2, 16, 48), (Px{0, 255, 0, 255}));  // green on top of blue
    EXPECT_EQ(pixel(image2, 4, 60), (Px{0, 0, 255, 255}));
    EXPECT_EQ(pixel(image2, 48, 48), (Px{255, 0, 0, 255}));  // inside the clip
    EXPECT_EQ(pixel(image2, 36, 60), (Px{0, 0, 0, 0}));      // clipped away
    EXPECT_EQ(pixel(image2, 60, 44), (Px{0, 0, 0, 0}));
    EXPECT_EQ(pixel(image2, 32, 32), (Px{0, 0, 0, 0}));      // the unknown texture drew nothing
    EXPECT_EQ(pixel(image2, 24, 16), (Px{255, 255, 0, 255}));  // opaque half of the atlas
    EXPECT_EQ(pixel(image2, 8, 16)[3], 0);                     // transparent half
    auto near = [](Px got, Px want) {
        for (int c = 0; c < 4; ++c) {
            if (std::abs(got[static_cast<size_t>(c)] - want[static_cast<size_t>(c)]) > 24) return false;
        }
        return true;
    };
    EXPECT_TRUE(near(pixel(image2, 40, 24), Px{255, 0, 0, 255}));   // first row, left: red
    EXPECT_TRUE(near(pixel(image2, 56, 24), Px{0, 255, 0, 255}));   // first row, right: green
    EXPECT_TRUE(near(pixel(image2, 40, 8), Px{0, 0, 255, 255}));    // second row, left: blue
    EXPECT_TRUE(near(pixel(image2, 56, 8), Px{255, 255, 255, 255}));

    // Deleting gives the names back; a name the renderer did not make is left alone.
    GLuint fontTexture = font.texture();
    font.unload();
    EXPECT_FALSE(glIsTexture(fontTexture));
    renderer->deleteTexture(hostTexture);
    EXPECT_TRUE(glIsTexture(hostTexture));
}

TEST_F(RendererGl, BlendModesCombineWithWhatIsAlreadyDrawn) {
    std::unique_ptr<Renderer> renderer = createRenderer("OpenGL", nullptr);
    ASSERT_NE(renderer, nullptr);
    DrawList list;
    const UiColour grey{0.5f, 0.5f, 0.5f, 1.0f}, halfRed{1, 0, 0, 0.5f};
    list.setBlend(kBlendOff);
    list.fillRect({32, 32, 32, 32}, grey);
    list.setLayer(1);
    list.setBlend(kBlendAlpha);
    list.fillRect({8, 32, 8, 32}, halfRed);   // x 0..16: half red over grey
    list.setBlend(kBlendAdd);
    list.fillRect({24, 32, 8, 32}, halfRed);  // x 16..32: grey + red
    list.setBlend(kBlendOff);
    list.fillRect({40, 32, 8, 32}, halfRed);  // x 32..48: replaced, alpha too
    renderer->beginFrame();
    renderer->setView(0, 0, kSide, kSide, kSide, kSide, 0, 0);
    renderer->clear();
    list.flush(renderer.get());
    renderer->endFrame();
    std::vector<uint8_t> image(static_cast<size_t>(kSide) * kSide * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kSide, kSide, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
    auto at = [&](int x) { return pixel(image, x, 32); };
    EXPECT_NEAR(at(8)[0], 192, 2);   // 0.5 * 255 + 0.5 * 128
    EXPECT_NEAR(at(8)[1], 64, 2);
    EXPECT_EQ(at(24)[0], 255);       // 128 + 255, saturated
    EXPECT_EQ(at(24)[1], 128);
    EXPECT_EQ(at(40)[0], 255);
    EXPECT_EQ(at(40)[3], 128);
    EXPECT_EQ(at(56)[0], 128);       // grey only
}

}  // namespace
}  // namespace tarsk
