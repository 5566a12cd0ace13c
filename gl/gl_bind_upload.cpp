#include "gl/gl_bind_internal.h"
#include "host/host_gl.h"

using namespace GLSys::detail;

namespace {

uint64_t upload_count = 0;

// Internal formats of the kinds for GL_TextureFormat 0, 1, 2; other values as 0.
constexpr GLint RGB_FORMATS[3] = {GL_RGB, GL_RGB5, GL_RGB8};
constexpr GLint RGBA_FORMATS[3] = {GL_RGBA, GL_RGBA4, GL_RGBA8};
constexpr GLint ALPHA_FORMATS[3] = {GL_ALPHA, GL_ALPHA8, GL_ALPHA8};

GLint internal_format(int kind)
{
    int choice = int_value(GLSys::V_TEXTURE_FORMAT);
    if (choice < 0 || choice > 2) {
        choice = 0;
    }
    switch (kind) {
    case GLTEX_RGBA:
    case GLTEX_FONT:
        return RGBA_FORMATS[choice];
    case GLTEX_ALPHA:
        return ALPHA_FORMATS[choice];
    default:
        // GLTEX_RGB, GLTEX_LIGHTMAP, and kinds no caller passes.
        return RGB_FORMATS[choice];
    }
}

void set_repeat()
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}

void set_filters(GLint mag, GLint min)
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
}

// Walks the stored levels from level 0 down to 1 x 1 and hands each one kept
// (from R_FirstMipmap on, as GL level 0 on) to send; when every level is
// skipped the 1 x 1 level goes as GL level 0.
template <typename Send>
void walk_levels(const void* const* levels, int32_t width, int32_t height, Send send)
{
    // A negative first level would name GL levels past the image's chain;
    // a side of 0 would never halve down to 1.
    const int first = int_value(GLSys::V_FIRST_MIPMAP) > 0 ? int_value(GLSys::V_FIRST_MIPMAP) : 0;
    int i = 0;
    int32_t w = width > 0 ? width : 1;
    int32_t h = height > 0 ? height : 1;
    for (;;) {
        if (i >= first) {
            send(levels[i], i - first, w, h);
        }
        if (w == 1 && h == 1) {
            break;
        }
        w = (w + 1) / 2;
        h = (h + 1) / 2;
        ++i;
    }
    if (i < first) {
        send(levels[i], 0, w, h);
    }
}

} // namespace

namespace GLSys {

void send_mipmap(const void* pixels, int level, int32_t width, int32_t height, int kind)
{
    ++upload_count;
    glTexImage2D(GL_TEXTURE_2D, level, internal_format(kind), width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    report_errors("TexImage2D from GLSys::send_mipmap ()");
}

void send_texture(const void* pixels, int32_t width, int32_t height, int kind)
{
    send_mipmap(pixels, 0, width, height, kind);
    set_repeat();
    const GLint filter = kind == GLTEX_LIGHTMAP && !is_true(V_LFILTER) ? GL_NEAREST : GL_LINEAR;
    set_filters(filter, filter);
    report_errors("TexParameter from GLSys::send_texture()");
}

void send_mipmaps(const void* const* levels, int32_t width, int32_t height, int kind)
{
    if (!is_true(V_MIPMAPPING)) {
        send_texture(levels[0], width, height, kind);
        return;
    }
    walk_levels(levels, width, height, [kind](const void* pixels, int level, int32_t w, int32_t h) {
        send_mipmap(pixels, level, w, h, kind);
    });
    set_repeat();
    if (!is_true(V_TFILTER)) {
        set_filters(GL_NEAREST, GL_NEAREST);
    } else {
        set_filters(GL_LINEAR, is_true(V_TRILINEAR) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST);
    }
    report_errors("TexParameter from GLSys::send_mipmaps()");
}

void update_mipmaps(const void* const* levels, int32_t width, int32_t height)
{
    const auto update = [](const void* pixels, int level, int32_t w, int32_t h) {
        ++upload_count;
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    };
    if (!is_true(V_MIPMAPPING)) {
        update(levels[0], 0, width, height);
        return;
    }
    walk_levels(levels, width, height, update);
}

void send_subimage(const void* pixels, int32_t x, int32_t y, int32_t width, int32_t height)
{
    ++upload_count;
    glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

uint64_t uploads()
{
    return upload_count;
}

} // namespace GLSys
