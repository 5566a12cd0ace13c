#include "core/print.h"
#include "gl/gl_bind.h"
#include "host/host_gl.h"

namespace {

const char* error_text(GLenum error)
{
    switch (error) {
    case GL_INVALID_ENUM:
        return "Invalid enum";
    case GL_INVALID_VALUE:
        return "Invalid value";
    case GL_INVALID_OPERATION:
        return "Invalid operation";
    case GL_STACK_OVERFLOW:
        return "Stack overflow";
    case GL_STACK_UNDERFLOW:
        return "Stack underflow";
    case GL_OUT_OF_MEMORY:
        return "Out of memory";
    default:
        return "Unknown error";
    }
}

// GL keeps one flag per kind of error, so a sound driver runs dry within
// these; a broken one that keeps reporting must not hold the engine.
constexpr int MAX_ERRORS_READ = 32;

} // namespace

int GLSys::report_errors(const char* site)
{
    GLenum error = glGetError();
    if (error == GL_NO_ERROR) {
        return 0;
    }
    for (int i = 0; i < MAX_ERRORS_READ && error != GL_NO_ERROR; ++i) {
        print_format(P_ERROR, "OpenGL: %s in %s", error_text(error), site);
        error = glGetError();
        // A driver that lost its context answers every call, glGetError too,
        // with an invalid operation: not worth a line each.
        if (error == GL_INVALID_OPERATION) {
            break;
        }
    }
    return 1;
}
