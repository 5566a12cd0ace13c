#pragma once
// GLTextureManager: the pool of GL texture names and the byte budget of the
// textures resident in GL. Every image that can be drawn embeds a
// GLTextureOwner; activating it binds its texture and says whether the
// image must be uploaded again, evicting the least recently used owners
// when names or bytes run out.
#include "core/index_list.h"
#include "host/host_gl.h"

#include <cstdint>

class GLTextureOwner {
public:
    GLTextureOwner() = default;
    ~GLTextureOwner();
    GLTextureOwner(const GLTextureOwner&) = delete;
    GLTextureOwner& operator=(const GLTextureOwner&) = delete;

    // Bytes the uploaded image is charged with against the budget.
    void set_size(int32_t bytes);
    // 1: resident and bound; 0: newly named and bound, upload the image;
    // -1: no texture cache is running, nothing bound.
    int activate();
    void release();

    int32_t id = -1;
    int32_t size = 0;
};

class GLTextureManager {
public:
    GLTextureManager() = default;
    ~GLTextureManager();
    GLTextureManager(const GLTextureManager&) = delete;
    GLTextureManager& operator=(const GLTextureManager&) = delete;

    // A pool of names and a budget of cache_bytes; 1 on success.
    int init(int32_t names_wanted, int64_t cache_bytes);
    int activate(GLTextureOwner* owner);
    void release(GLTextureOwner* owner);
    // Every texture becomes non-resident.
    void flush();
    // Flushes and deletes the names.
    void close();

    // Keeps the byte count right when a resident owner changes its size.
    void resize(GLTextureOwner* owner, int32_t bytes);

    GLuint* names = nullptr;
    GLTextureOwner** id_owner = nullptr;
    IndexList recency; // used list: most recently activated first
    int32_t count = 0;
    int32_t max_textures = 0;
    int64_t bytes = 0;
    int64_t cache_size = 0;
    int32_t bound = -1;

private:
    void bind(int32_t id);
    void check_owner(const GLTextureOwner* owner) const;
};

extern GLTextureManager gl_texture_manager;
