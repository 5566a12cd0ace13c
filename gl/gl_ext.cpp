#include "gl/gl_ext.h"

#include "core/kassert.h"
#include "host/host_gl.h"

#include <cstring>
#include <new>

namespace {

const char* const POINT_PARAMETERS_FUNCTIONS[] = {"glPointParameterfEXT", "glPointParameterfvEXT"};

using PointParameterf = void (*)(GLenum, GLfloat);
using PointParameterfv = void (*)(GLenum, const GLfloat*);

} // namespace

const GLExtensionInfo gl_known_extensions[GL_KNOWN_EXTENSIONS] = {
    {"GL_EXT_point_parameters", POINT_PARAMETERS_FUNCTIONS, 2},
};

GLExtension gl_extensions[GL_KNOWN_EXTENSIONS];

GLExtension::~GLExtension() { delete[] table; }

bool GLExtension::is_supported(const char* extensions) const
{
    if (name == nullptr || extensions == nullptr || *extensions == '\0') {
        return false;
    }
    const size_t length = std::strlen(name);
    for (const char* p = extensions; *p != '\0';) {
        while (*p == ' ') {
            ++p;
        }
        const char* const word = p;
        while (*p != ' ' && *p != '\0') {
            ++p;
        }
        if (static_cast<size_t>(p - word) == length && std::strncmp(word, name, length) == 0) {
            return true;
        }
    }
    return false;
}

int GLExtension::load(const char* extensions, const GLExtensionInfo& info)
{
    delete[] table;
    table = nullptr;
    functions = 0;
    name = info.name;
    if (!is_supported(extensions)) {
        return 0;
    }
    table = new (std::nothrow) void*[static_cast<size_t>(info.function_count)];
    if (table == nullptr) {
        return 0;
    }
    for (int i = 0; i < info.function_count; ++i) {
        table[i] = host::gl_proc_address(info.functions[i]);
        if (table[i] == nullptr) {
            return 0;
        }
    }
    functions = info.function_count;
    return 1;
}

void GLExtension::call(int id, uint32_t a, const void* b) const
{
    K_ASSERT(id >= 0 && id < functions);
    // Both functions of the one known extension take an enumeration and a
    // float (passed by address here) or a pointer to floats.
    if (id == 0) {
        reinterpret_cast<PointParameterf>(table[id])(a, *static_cast<const GLfloat*>(b));
    } else {
        reinterpret_cast<PointParameterfv>(table[id])(a, static_cast<const GLfloat*>(b));
    }
}
