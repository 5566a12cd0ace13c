#include "gl/gl_bind_internal.h"
#include "host/host_gl.h"

using namespace GLSys::detail;

namespace {

// Stores the mode; false when it was the cached one already.
bool take_mode(int& cached, int mode)
{
    if (cached == mode) {
        return false;
    }
    cached = mode;
    return true;
}

} // namespace

namespace GLSys {

void set_culling(int mode)
{
    if (!take_mode(state.culling, mode)) {
        return;
    }
    if (mode == 0) {
        glDisable(GL_CULL_FACE);
    } else if (mode == 1 || mode == 2) {
        glEnable(GL_CULL_FACE);
        glCullFace(mode == 1 ? GL_BACK : GL_FRONT);
    }
}

void set_polygon_mode(int mode)
{
    constexpr GLenum MODES[] = {GL_POINT, GL_LINE, GL_FILL};
    if (take_mode(state.polygon_mode, mode) && mode >= 0 && mode <= 2) {
        glPolygonMode(GL_FRONT_AND_BACK, MODES[mode]);
    }
}

void set_depth(int mode)
{
    constexpr GLenum FUNCTIONS[] = {GL_ALWAYS, GL_LEQUAL, GL_LESS};
    if (!take_mode(state.depth, mode)) {
        return;
    }
    if (mode == 0) {
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
    } else if (mode >= 1 && mode <= 6) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(FUNCTIONS[(mode - 1) % 3]);
        glDepthMask(mode <= 3 ? GL_TRUE : GL_FALSE);
    }
}

void set_texturing(int mode)
{
    if (!take_mode(state.texturing, mode)) {
        return;
    }
    if (mode == 0) {
        glDisable(GL_TEXTURE_2D);
    } else if (mode == 1 || mode == 2) {
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode == 1 ? GL_REPLACE : GL_MODULATE);
    }
}

void set_blending(int mode)
{
    if (!take_mode(state.blending, mode)) {
        return;
    }
    switch (mode) {
    case 0:
        glDisable(GL_BLEND);
        break;
    case 1:
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        break;
    case 2:
        glEnable(GL_BLEND);
        // Destination times source, doubled when overbright.
        if (is_true(V_OVERBRIGHT)) {
            glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
        } else {
            glBlendFunc(GL_ZERO, GL_SRC_COLOR);
        }
        break;
    case 3:
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        break;
    default:
        break;
    }
}

} // namespace GLSys
