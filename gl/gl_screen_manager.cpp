#include "gl/gl_screen_manager.h"

#include "core/kassert.h"
#include "gl/gl_bind.h"
#include "host/host_gl.h"
#include "soft/video_mode.h"

void ScreenManager::begin_plaindraw()
{
    K_ASSERT(v_mode);
    const int32_t width = v_mode->xres;
    const int32_t height = v_mode->yres;
    glViewport(0, 0, width, height);
    GLSys::report_errors("ViewPort from ScreenManager::begin_plaindraw()");
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    GLSys::report_errors("PushMatrix from ScreenManager::begin_plaindraw()");
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenManager::begin_plaindraw()");
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    GLSys::report_errors("PushMatrix from ScreenManager::begin_plaindraw()");
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenManager::begin_plaindraw()");
    glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
    GLSys::report_errors("Ortho from ScreenManager::begin_plaindraw()");
    GLSys::set_culling(0);
    GLSys::set_texturing(1);
    GLSys::set_depth(0);
}

void ScreenManager::finish_plaindraw()
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    GLSys::report_errors("PopMatrix from ScreenManager::finish_plaindraw()");
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    GLSys::report_errors("PopMatrix from ScreenManager::finish_plaindraw()");
    glMatrixMode(GL_MODELVIEW);
}
