// The GL call tracer, preloaded (LD_PRELOAD) into a program linked to the
// system's GL: it defines the GL 1.1 entry points the OpenGL program's world
// renderer imports, forwards each to the next definition (the GL library's,
// through dlsym(RTLD_NEXT, ...)) and counts the calls and the time inside
// them. Single-threaded, as the program's GL use is.
#include "bench/gl/gl_trace.h"

#include <GL/gl.h>

#include <chrono>
#include <dlfcn.h>

namespace {

using Clock = std::chrono::steady_clock;

// Every traced entry point: return type, name, parameters, arguments.
#define GL_TRACED(X)                                                                                                 \
    X(void, glBegin, (GLenum a), (a))                                                                                \
    X(void, glBindTexture, (GLenum a, GLuint b), (a, b))                                                             \
    X(void, glBlendFunc, (GLenum a, GLenum b), (a, b))                                                               \
    X(void, glClear, (GLbitfield a), (a))                                                                            \
    X(void, glClearColor, (GLclampf a, GLclampf b, GLclampf c, GLclampf d), (a, b, c, d))                            \
    X(void, glColor3f, (GLfloat a, GLfloat b, GLfloat c), (a, b, c))                                                 \
    X(void, glColor3ub, (GLubyte a, GLubyte b, GLubyte c), (a, b, c))                                                \
    X(void, glColor4f, (GLfloat a, GLfloat b, GLfloat c, GLfloat d), (a, b, c, d))                                   \
    X(void, glColor4ubv, (const GLubyte* a), (a))                                                                    \
    X(void, glColorMask, (GLboolean a, GLboolean b, GLboolean c, GLboolean d), (a, b, c, d))                         \
    X(void, glCullFace, (GLenum a), (a))                                                                             \
    X(void, glDeleteTextures, (GLsizei a, const GLuint* b), (a, b))                                                  \
    X(void, glDepthFunc, (GLenum a), (a))                                                                            \
    X(void, glDepthMask, (GLboolean a), (a))                                                                         \
    X(void, glDisable, (GLenum a), (a))                                                                              \
    X(void, glEnable, (GLenum a), (a))                                                                               \
    X(void, glEnd, (), ())                                                                                           \
    X(void, glFinish, (), ())                                                                                        \
    X(void, glFrustum, (GLdouble a, GLdouble b, GLdouble c, GLdouble d, GLdouble e, GLdouble f), (a, b, c, d, e, f)) \
    X(void, glGenTextures, (GLsizei a, GLuint* b), (a, b))                                                           \
    X(void, glGetBooleanv, (GLenum a, GLboolean* b), (a, b))                                                         \
    X(GLenum, glGetError, (), ())                                                                                    \
    X(void, glGetFloatv, (GLenum a, GLfloat* b), (a, b))                                                             \
    X(void, glGetIntegerv, (GLenum a, GLint* b), (a, b))                                                             \
    X(const GLubyte*, glGetString, (GLenum a), (a))                                                                  \
    X(void, glHint, (GLenum a, GLenum b), (a, b))                                                                    \
    X(GLboolean, glIsEnabled, (GLenum a), (a))                                                                       \
    X(void, glLoadIdentity, (), ())                                                                                  \
    X(void, glLoadMatrixf, (const GLfloat* a), (a))                                                                  \
    X(void, glMatrixMode, (GLenum a), (a))                                                                           \
    X(void, glOrtho, (GLdouble a, GLdouble b, GLdouble c, GLdouble d, GLdouble e, GLdouble f), (a, b, c, d, e, f))   \
    X(void, glPolygonMode, (GLenum a, GLenum b), (a, b))                                                             \
    X(void, glPopMatrix, (), ())                                                                                     \
    X(void, glPushMatrix, (), ())                                                                                    \
    X(void, glReadPixels, (GLint a, GLint b, GLsizei c, GLsizei d, GLenum e, GLenum f, GLvoid* g),                   \
      (a, b, c, d, e, f, g))                                                                                         \
    X(void, glScissor, (GLint a, GLint b, GLsizei c, GLsizei d), (a, b, c, d))                                       \
    X(void, glTexCoord2f, (GLfloat a, GLfloat b), (a, b))                                                            \
    X(void, glTexEnvi, (GLenum a, GLenum b, GLint c), (a, b, c))                                                     \
    X(void, glTexImage2D,                                                                                            \
      (GLenum a, GLint b, GLint c, GLsizei d, GLsizei e, GLint f, GLenum g, GLenum h, const GLvoid* i),              \
      (a, b, c, d, e, f, g, h, i))                                                                                   \
    X(void, glTexParameteri, (GLenum a, GLenum b, GLint c), (a, b, c))                                               \
    X(void, glTexSubImage2D,                                                                                         \
      (GLenum a, GLint b, GLint c, GLint d, GLsizei e, GLsizei f, GLenum g, GLenum h, const GLvoid* i),              \
      (a, b, c, d, e, f, g, h, i))                                                                                   \
    X(void, glVertex2f, (GLfloat a, GLfloat b), (a, b))                                                              \
    X(void, glVertex2i, (GLint a, GLint b), (a, b))                                                                  \
    X(void, glVertex3fv, (const GLfloat* a), (a))                                                                    \
    X(void, glViewport, (GLint a, GLint b, GLsizei c, GLsizei d), (a, b, c, d))

enum TraceId {
#define GL_TRACE_ID(type, name, parameters, arguments) ID_##name,
    GL_TRACED(GL_TRACE_ID)
#undef GL_TRACE_ID
        TRACE_COUNT
};

GLTraceEntry entries[TRACE_COUNT] = {
#define GL_TRACE_ENTRY(type, name, parameters, arguments) {#name, 0, 0},
    GL_TRACED(GL_TRACE_ENTRY)
#undef GL_TRACE_ENTRY
};

uint64_t ns_between(Clock::time_point a, Clock::time_point b)
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(b - a).count());
}

// Adds the span from its making to its end to one entry.
class Span {
public:
    explicit Span(TraceId id) : entry_(entries[id]), start_(Clock::now()) {}
    ~Span()
    {
        entry_.ns += ns_between(start_, Clock::now());
        ++entry_.calls;
    }
    Span(const Span&) = delete;
    Span& operator=(const Span&) = delete;

private:
    GLTraceEntry& entry_;
    const Clock::time_point start_;
};

template <typename F> F next_definition(const char* name) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, name)); }

} // namespace

extern "C" {

#define GL_TRACE_DEFINE(type, name, parameters, arguments)                                                           \
    __attribute__((visibility("default"))) type name parameters                                                      \
    {                                                                                                                \
        static const auto next = next_definition<type(*) parameters>(#name);                                         \
        const Span span(ID_##name);                                                                                  \
        return next arguments;                                                                                       \
    }
GL_TRACED(GL_TRACE_DEFINE)
#undef GL_TRACE_DEFINE

__attribute__((visibility("default"))) int ostrel_gl_trace_entries(const GLTraceEntry** out)
{
    *out = entries;
    return TRACE_COUNT;
}

__attribute__((visibility("default"))) double ostrel_gl_trace_clock_ns()
{
    static const double cost = [] {
        constexpr int READS = 1000000;
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < READS; ++i) {
            (void)Clock::now(); // a call into the C++ library: not elided
        }
        return static_cast<double>(ns_between(start, Clock::now())) / READS;
    }();
    return cost;
}

} // extern "C"
