#pragma once
// GLTextureManager: the pool of GL texture names and the byte budget of the
// textures resident in GL. For now it creates and deletes the pool; owners
// that take names from it come with the textures that use them.
#include "host/host_gl.h"

#include <cstdint>

class GLTextureManager {
public:
    GLTextureManager() = default;
    ~GLTextureManager();
    GLTextureManager(const GLTextureManager&) = delete;
    GLTextureManager& operator=(const GLTextureManager&) = delete;

    // A pool of names and a budget of cache_bytes; 1 on success.
    int init(int32_t names_wanted, int64_t cache_bytes);
    // Every texture becomes non-resident.
    void flush();
    // Flushes and deletes the names.
    void close();

    GLuint* names = nullptr;
    int32_t count = 0;
    int32_t max_textures = 0;
    int64_t bytes = 0;
    int64_t cache_size = 0;
    int32_t bound = -1;
};

extern GLTextureManager gl_texture_manager;
