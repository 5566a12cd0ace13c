#include "renderer/screen_projection.h"

#include "core/config_variable.h"
#include "core/four_cc.h"
#include "core/kassert.h"
#include "core/polygon_clip.h"
#include "core/print.h"
#include "core/sine_table.h"
#include "core/view_frame.h"
#include "gl/gl_bind.h"
#include "renderer/screen_manager.h"
#include "host/host_gl.h"
#include "platform/video_mode.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

struct VariableRow {
    const char* name;
    const char* default_text;
    uint32_t flags;
};

// Flags 0x120: put back to their saved value when the client stops cheating.
constexpr VariableRow projection_variables[GPV_COUNT] = {
    {"R_Clear", nullptr, 0x100},      {"R_Texture", "True", 0x120},      {"R_Lighting", "True", 0x120},
    {"CameraPos", nullptr, 0x100},    {"R_LensFlares", "True", 0x100},   {"R_MeshModels", "True", 0x100},
    {"R_MeshSpecular", "True", 0x100}, {"R_Sprites", "True", 0x100},     {"R_Particles", "True", 0x100},
};

// Polygons of up to this many vertices are clipped on the stack.

Plane normalised_plane(double x, double y, double z, float d)
{
    const double length = std::sqrt(x * x + y * y + z * z);
    return {{static_cast<float>(x / length), static_cast<float>(y / length), static_cast<float>(z / length)}, d};
}

float sine(float angle)
{
    if (sine_table != nullptr && sine_table->values != nullptr) {
        return sine_table->sine_at(sine_table->index(angle));
    }
    return std::sin(angle);
}

} // namespace

int ScreenProjection::init(ScreenManager* scr)
{
    // A second init must not keep the first one's variables linked.
    close();
    K_ASSERT(cvar_list);
    for (int i = 0; i < GPV_COUNT; ++i) {
        const VariableRow& v = projection_variables[i];
        vars[i] = cvar_list->link(CVTYPE_BOOL, v.flags, v.name, v.default_text, 0);
        if (vars[i] == nullptr) {
            return 0;
        }
    }
    vars[GPV_TEXTURE]->set_saved_bool(1);
    vars[GPV_LIGHTING]->set_saved_bool(1);

    K_ASSERT(scr);
    K_ASSERT(scr->v_mode);
    screen = scr;
    frame = -1;
    time = 0;
    max_xres = scr->v_mode->xres;
    max_yres = scr->v_mode->yres;
    for (int i = 0; i < 4; ++i) {
        rgb_layout[i] = static_cast<uint8_t>(8 * i);
        layout_inverse[i] = static_cast<uint8_t>(8 * i);
    }
    reciprocal[0] = 0.0f;
    for (int i = 1; i < GL_PROJECTION_RECIPROCALS; ++i) {
        reciprocal[i] = 1.0f / static_cast<float>(i);
    }
    resize(max_xres, max_yres);
    return 1;
}

void ScreenProjection::close()
{
    for (ConfigVariable*& v : vars) {
        release_variable(v);
    }
}

bool ScreenProjection::var_true(GLProjectionVariable v) const { return vars[v] != nullptr && vars[v]->is_true(); }

void ScreenProjection::resize(int32_t xsize, int32_t ysize)
{
    K_ASSERT(xsize <= max_xres);
    K_ASSERT(ysize <= max_yres);
    width = xsize;
    height = ysize;
    cx = width / 2;
    cy = height / 2;
    cx_fixed = static_cast<int32_t>(static_cast<uint32_t>(cx) << 16) - 0x8000;
    cy_fixed = static_cast<int32_t>(static_cast<uint32_t>(cy) << 16) - 0x8000;
    origin_x = (max_xres - width) / 2;
    origin_y = (max_yres - height) / 2;
    // An empty window has no area to divide by.
    inv_area = width > 0 && height > 0 ? 1.0f / (static_cast<float>(width) * static_cast<float>(height)) : 0.0f;
}

void ScreenProjection::init_frame(const ViewFrame& camera)
{
    ++frame;
    glViewport(origin_x, origin_y, width, height);
    GLSys::report_errors("Viewport fro ScreenProjection::init_frame()");
    GLSys::set_depth(2);
    glClear(GL_DEPTH_BUFFER_BIT);
    GLSys::report_errors("Clear from ScreenProjection::init_frame()");
    if (var_true(GPV_CLEAR)) {
        clear_frame();
    }
    set_transform(camera.view.m);
    set_zoom(camera.half_x, camera.half_y);
    // The word after the camera matrix carries the tint's bits.
    set_tint(std::bit_cast<uint32_t>(camera.param));
}

void ScreenProjection::clear_window()
{
    glViewport(origin_x, origin_y, width, height);
    GLSys::report_errors("Viewport from ScreenProjection::clear_window()");
    // The clear reaches only the window, and depth only with writes on.
    glScissor(origin_x, origin_y, width, height);
    glEnable(GL_SCISSOR_TEST);
    GLSys::set_depth(2);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    GLSys::report_errors("Clear from ScreenProjection::clear_window()");
}

void ScreenProjection::clear_frame()
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenProjection::clear_frame()");
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenProjection::clear_frame()");
    glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
    GLSys::report_errors("Ortho from ScreenProjection::clear_frame()");
    glMatrixMode(GL_MODELVIEW);
    GLSys::set_depth(0);
    GLSys::set_texturing(0);
    GLSys::set_blending(0);
    float shade[6];
    for (int k = 0; k < 6; ++k) {
        shade[k] = 0.5f * sine(0.03f * static_cast<float>(time) + 1.05f * static_cast<float>(k)) + 0.5f;
    }
    static constexpr float corners[6][2] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {0.5f, 1.0f},
                                            {1.0f, 1.0f}, {1.0f, 0.0f}, {0.5f, 0.0f}};
    glBegin(GL_POLYGON);
    for (int k = 0; k < 6; ++k) {
        glColor3f(shade[k], shade[(k + 2) % 6], shade[(k + 4) % 6]);
        glVertex2f(corners[k][0], corners[k][1]);
    }
    glEnd();
}

void ScreenProjection::set_transform(const float* m)
{
    std::memcpy(view, m, sizeof view);
    const Vector t = {m[3], m[7], m[11]};
    for (int j = 0; j < 3; ++j) {
        (&position.x)[j] = -(m[j] * t.x + m[4 + j] * t.y + m[8 + j] * t.z);
    }
    forward = {m[8], m[9], m[10]};
    right = {m[0], m[1], m[2]};
    down = {m[4], m[5], m[6]};
    view_plane = {forward, -vec_dot(forward, position)};
    if (var_true(GPV_CAMERAPOS)) {
        print_tagged(four_cc("CaPs"), "Camera pos = [%.2f;%.2f;%.2f]", position.x, position.y, position.z);
    }
    // GL looks down -z with y up: the camera's down and forward rows turn round.
    const float model_view[16] = {m[0], -m[4], -m[8],  0.0f, m[1], -m[5], -m[9],  0.0f,
                                  m[2], -m[6], -m[10], 0.0f, m[3], -m[7], -m[11], 1.0f};
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(model_view);
    GLSys::report_errors("LoadMatrix from ScreenProjection::set_transform()");
}

void ScreenProjection::set_zoom(double zx, double zy)
{
    sx = cx / zx;
    sy = cy / zy;
    inv_sx = 1.0 / sx;
    inv_sy = 1.0 / sy;
    sx_fixed = sx * 65536.0;
    sy_fixed = sy * 65536.0;
    pixel_angle = std::sqrt(1.0 / (sx * sy));
    const double zz = zx * zx + zy * zy;
    corner_sine = std::sqrt(zz / (1.0 + zz));

    // The side planes pass through the eye one pixel outside the window.
    view_planes[GCP_NEAR] = {{0.0f, 0.0f, 1.0f}, -GL_NEAR_DISTANCE};
    view_planes[GCP_LEFT] = normalised_plane(sx, 0.0, cx + 1.0, 0.0f);
    view_planes[GCP_RIGHT] = normalised_plane(-sx, 0.0, width - cx + 1.0, 0.0f);
    view_planes[GCP_TOP] = normalised_plane(0.0, sy, cy + 1.0, 0.0f);
    view_planes[GCP_BOTTOM] = normalised_plane(0.0, -sy, height - cy + 1.0, 0.0f);
    const float* const m = view;
    for (int i = 0; i < GL_CLIP_PLANES; ++i) {
        const Vector& n = view_planes[i].normal;
        Plane& p = world_planes[i];
        p.normal.x = m[0] * n.x + m[4] * n.y + m[8] * n.z;
        p.normal.y = m[1] * n.x + m[5] * n.y + m[9] * n.z;
        p.normal.z = m[2] * n.x + m[6] * n.y + m[10] * n.z;
        p.d = view_planes[i].d - vec_dot(position, p.normal);
    }

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenProjection::clear_frame()");
    constexpr double near = GL_NEAR_DISTANCE;
    glFrustum(-near * zx, near * zx, -near * zy, near * zy, near, GL_FAR_DISTANCE);
    GLSys::report_errors("Frustum from ScreenProjection::set_zoom()");
    glMatrixMode(GL_MODELVIEW);
}

void ScreenProjection::set_tint(uint32_t colour)
{
    for (int k = 0; k < 4; ++k) {
        tint[k] = static_cast<uint8_t>(colour >> (8 * k));
    }
}

void ScreenProjection::post_process_frame()
{
    if (tint[3] == 0) {
        return;
    }
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    GLSys::report_errors("PushMatrix from ScreenProjection::post_process_frame()");
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenProjection::post_process_frame()");
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    GLSys::report_errors("PushMatrix from ScreenProjection::post_process_frame()");
    glLoadIdentity();
    GLSys::report_errors("LoadIdentity from ScreenProjection::post_process_frame()");
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    GLSys::report_errors("Ortho from ScreenProjection::post_process_frame()");
    GLSys::set_culling(0);
    GLSys::set_depth(0);
    GLSys::set_texturing(0);
    GLSys::set_blending(1);
    glColor4ubv(tint);
    glBegin(GL_POLYGON);
    glVertex2i(0, 0);
    glVertex2i(0, height);
    glVertex2i(width, height);
    glVertex2i(width, 0);
    glEnd();
    glPopMatrix();
    GLSys::report_errors("PopMatrix from ScreenProjection::post_process_frame()");
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    GLSys::report_errors("PopMatrix from ScreenProjection::post_process_frame()");
}

int ScreenProjection::clip_to_plane(const Plane& plane, Vector* vertices, int n)
{
    return clip_polygon_by_plane(
        vertices, n, [&plane](const Vector& v) { return vec_dot(plane.normal, v) + plane.d; },
        [](const Vector& a, const Vector& b, float da, float db) {
            const float f = da / (da - db);
            return Vector{a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
        });
}

int ScreenProjection::clip_against(const Plane* planes, Vector* vertices, int n)
{
    for (int i = 0; i < GL_CLIP_PLANES && n > 0; ++i) {
        n = clip_to_plane(planes[i], vertices, n);
    }
    return n;
}
