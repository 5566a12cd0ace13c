#include "gl/gl_texture_manager.h"

#include "core/print.h"
#include "gl/gl_bind.h"

#include <cstddef>
#include <new>

GLTextureManager gl_texture_manager;

GLTextureManager::~GLTextureManager() { delete[] names; }

int GLTextureManager::init(int32_t names_wanted, int64_t cache_bytes)
{
    close();
    // A pool needs one name beyond the resident textures.
    if (names_wanted < 1) {
        print_string(P_ERROR, "GLTextureManager: Not enough memory");
        return 0;
    }
    names = new (std::nothrow) GLuint[static_cast<size_t>(names_wanted)];
    if (names == nullptr) {
        print_string(P_ERROR, "GLTextureManager: Not enough memory");
        return 0;
    }
    glGenTextures(names_wanted, names);
    max_textures = names_wanted;
    if (GLSys::report_errors("GenTextures from GLTextureManager::init()") != 0) {
        close();
        return 0;
    }
    count = 0;
    bytes = 0;
    cache_size = cache_bytes;
    return 1;
}

void GLTextureManager::flush()
{
    if (names == nullptr) {
        return;
    }
    count = 0;
    bytes = 0;
}

void GLTextureManager::close()
{
    flush();
    if (names != nullptr) {
        glDeleteTextures(max_textures, names);
        GLSys::report_errors("DeleteTextures from GLTextureManager::close()");
        delete[] names;
        names = nullptr;
    }
    max_textures = 0;
    cache_size = 0;
    count = 0;
    bytes = 0;
}
