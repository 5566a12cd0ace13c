#include "gl/gl_texture_manager.h"

#include "core/kassert.h"
#include "core/print.h"
#include "gl/gl_bind.h"

#include <cstddef>
#include <new>

GLTextureManager gl_texture_manager;

GLTextureOwner::~GLTextureOwner() { release(); }

void GLTextureOwner::set_size(int32_t bytes)
{
    if (bytes < 0) {
        print_format(P_ERROR, "GLTextureOwner: size %d refused", bytes);
        bytes = 0;
    }
    gl_texture_manager.resize(this, bytes);
    size = bytes;
}

int GLTextureOwner::activate() { return gl_texture_manager.activate(this); }

void GLTextureOwner::release() { gl_texture_manager.release(this); }

GLTextureManager::~GLTextureManager()
{
    // Owners that outlive the cache must find themselves non-resident.
    flush();
    delete[] names;
    names = nullptr;
    delete[] id_owner;
    id_owner = nullptr;
}

int GLTextureManager::init(int32_t names_wanted, int64_t cache_bytes)
{
    close();
    if (names_wanted < 1) {
        print_string(P_ERROR, "GLTextureManager: Not enough memory");
        return 0;
    }
    const size_t n = static_cast<size_t>(names_wanted);
    names = new (std::nothrow) GLuint[n];
    id_owner = new (std::nothrow) GLTextureOwner*[n];
    if (names == nullptr || id_owner == nullptr || recency.create(names_wanted) == 0) {
        print_string(P_ERROR, "GLTextureManager: Not enough memory");
        close();
        return 0;
    }
    glGenTextures(names_wanted, names);
    max_textures = names_wanted;
    if (GLSys::report_errors("GenTextures from GLTextureManager::init()") != 0) {
        close();
        return 0;
    }
    for (size_t i = 0; i < n; ++i) {
        id_owner[i] = nullptr;
    }
    count = 0;
    bytes = 0;
    cache_size = cache_bytes;
    return 1;
}

void GLTextureManager::check_owner(const GLTextureOwner* owner) const
{
    K_ASSERT(owner->id < max_textures);
    if (owner->id >= 0) {
        K_ASSERT(id_owner[owner->id] == owner);
    }
}

void GLTextureManager::bind(int32_t id)
{
    glBindTexture(GL_TEXTURE_2D, names[id]);
    GLSys::report_errors("BindTexture from GLTextureManager::activate()");
    bound = id;
}

int GLTextureManager::activate(GLTextureOwner* owner)
{
    if (names == nullptr) {
        return -1;
    }
    check_owner(owner);
    if (owner->id >= 0) {
        recency.link_first(owner->id, IL_USED_HEAD);
        if (owner->id != bound) {
            bind(owner->id);
        }
        return 1;
    }
    // An owner larger than the whole budget, or a pool of one name, would
    // evict everything and still not fit: it then stays over the budget.
    while (count + 1 >= max_textures || bytes + owner->size >= cache_size) {
        const int32_t i = recency.first(IL_USED_TAIL);
        if (i < 0) {
            break;
        }
        release(id_owner[i]);
        print_string(P_DEBUG, "GLTextureManager: caching out...");
    }
    const int32_t id = recency.alloc(IL_USED_HEAD);
    K_ASSERT(id >= 0);
    owner->id = id;
    id_owner[id] = owner;
    count += 1;
    bytes += owner->size;
    bind(id);
    return 0;
}

void GLTextureManager::release(GLTextureOwner* owner)
{
    if (owner->id < 0 || id_owner == nullptr) {
        return;
    }
    check_owner(owner);
    recency.free(owner->id);
    id_owner[owner->id] = nullptr;
    owner->id = -1;
    count -= 1;
    bytes -= owner->size;
}

void GLTextureManager::resize(GLTextureOwner* owner, int32_t new_size)
{
    if (owner->id >= 0 && id_owner != nullptr) {
        check_owner(owner);
        bytes += static_cast<int64_t>(new_size) - owner->size;
    }
}

void GLTextureManager::flush()
{
    if (names == nullptr || id_owner == nullptr) {
        return;
    }
    for (int32_t i = recency.first(IL_USED_TAIL); i >= 0; i = recency.next()) {
        K_ASSERT(id_owner[i]->id == i);
        id_owner[i]->id = -1;
        id_owner[i] = nullptr;
    }
    recency.reset();
    count = 0;
    bytes = 0;
}

void GLTextureManager::close()
{
    flush();
    recency.destroy();
    delete[] id_owner;
    id_owner = nullptr;
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
