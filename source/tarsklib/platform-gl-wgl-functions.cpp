// The GL entry points beyond OpenGL 1.1 that the renderer calls, for Windows: opengl32.dll exports
// only GL 1.1, the rest belongs to the driver of the current context and is found with
// wglGetProcAddress. The renderer calls these only after it has seen the GL version or extension
// that provides them, with its context current.
#define GL_GLEXT_PROTOTYPES 1
#include <windows.h>
#include <GL/gl.h>
#include <GL/glext.h>

namespace {

// The current driver's function of that name, or null (then the call does nothing).
template <typename Function>
Function driverFunction(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(wglGetProcAddress(name)));
}

}  // namespace

extern "C" {

void APIENTRY glActiveTexture(GLenum texture) {
    if (auto f = driverFunction<PFNGLACTIVETEXTUREPROC>("glActiveTexture")) {
        f(texture);
    }
}

void APIENTRY glClientActiveTexture(GLenum texture) {
    if (auto f = driverFunction<PFNGLCLIENTACTIVETEXTUREPROC>("glClientActiveTexture")) {
        f(texture);
    }
}

void APIENTRY glBindBuffer(GLenum target, GLuint buffer) {
    if (auto f = driverFunction<PFNGLBINDBUFFERPROC>("glBindBuffer")) {
        f(target, buffer);
    }
}

void APIENTRY glUseProgram(GLuint program) {
    if (auto f = driverFunction<PFNGLUSEPROGRAMPROC>("glUseProgram")) {
        f(program);
    }
}

void APIENTRY glBindVertexArray(GLuint array) {
    if (auto f = driverFunction<PFNGLBINDVERTEXARRAYPROC>("glBindVertexArray")) {
        f(array);
    }
}

}  // extern "C"
