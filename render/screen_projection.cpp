#include "renderer/screen_projection.h"

#include "core/config_variable.h"
#include "core/four_cc.h"
#include "core/kassert.h"
#include "core/polygon_clip.h"
#include "core/print.h"
#include "core/view_frame.h"
#include "platform/video_mode.h"
#include "world/view/palette.h"
#include "renderer/screen_manager.h"
#include "soft/screen_tint.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <new>

namespace {

struct VariableRow {
    int type;
    const char* name;
    const char* default_text;
    uint32_t flags;
};

// Flags 0x120: put back to their saved value when the client stops cheating.
constexpr VariableRow projection_variables[PV_COUNT] = {
    {CVTYPE_BOOL, "MMX", "True", 0x100},        {CVTYPE_BOOL, "R_Clear", nullptr, 0x100},
    {CVTYPE_BOOL, "R_Perspmesh", nullptr, 0x120}, {CVTYPE_BOOL, "R_Texture", "True", 0x120},
    {CVTYPE_BOOL, "R_Lighting", "True", 0x120}, {CVTYPE_BOOL, "R_TFilter", nullptr, 0x100},
    {CVTYPE_BOOL, "R_LFilter", "True", 0x100},  {CVTYPE_BOOL, "R_Mipmapping", "True", 0x100},
    {CVTYPE_INT, "R_FirstMipmap", nullptr, 0x100}, {CVTYPE_BOOL, "CameraPos", nullptr, 0x100},
};

constexpr uint32_t GREY_PALETTE_ENTRY = 0x40404040;
// Clip buffers of this many vertices live on the stack; larger polygons take the heap.

Vector normalised(double x, double y, double z)
{
    const double length = std::sqrt(x * x + y * y + z * z);
    return {static_cast<float>(x / length), static_cast<float>(y / length), static_cast<float>(z / length)};
}

} // namespace

int ScreenProjection::init(ScreenManager* scr)
{
    release();
    K_ASSERT(cvar_list);
    for (int i = 0; i < PV_COUNT; ++i) {
        const VariableRow& v = projection_variables[i];
        vars[i] = cvar_list->link(v.type, v.flags, v.name, v.default_text, 0);
        if (vars[i] == nullptr) {
            return 0;
        }
    }
    vars[PV_PERSPMESH]->set_saved_bool(0);
    vars[PV_TEXTURE]->set_saved_bool(1);
    vars[PV_LIGHTING]->set_saved_bool(1);

    K_ASSERT(scr);
    frame = -1;
    time = 0;
    screen = scr;
    const KVideoMode* const mode = scr->v_mode;
    line_offset = mode->line_offset;
    max_xres = mode->xres;
    max_yres = mode->yres;
    if (max_xres <= 0 || max_yres <= 0 || max_xres > PROJECTION_MAX_XRES || max_yres > PROJECTION_MAX_YRES) {
        return 0;
    }

    std::memcpy(rgb_layout, mode->rgb_layout, sizeof rgb_layout);
    std::memset(layout_inverse, 0, sizeof layout_inverse);
    for (int i = 0; i < 4; ++i) {
        if (rgb_layout[i] % 8 == 0 && rgb_layout[i] <= 24) {
            layout_inverse[rgb_layout[i] / 8] = static_cast<uint8_t>(i * 8);
        }
    }
    for (uint32_t& entry : palette) {
        entry = GREY_PALETTE_ENTRY;
    }
    palette_convert(palette, rgb_layout);

    const size_t pixels = static_cast<size_t>(max_xres) * static_cast<size_t>(max_yres);
    depth_buffer = new (std::nothrow) uint16_t[pixels];
    depth_rows = new (std::nothrow) uint16_t*[static_cast<size_t>(max_yres)];
    if (depth_buffer == nullptr || depth_rows == nullptr) {
        return 0;
    }
    set_size(max_xres, max_yres);
    reciprocal[0] = 0.0f;
    for (int i = 1; i < PROJECTION_RECIPROCALS; ++i) {
        reciprocal[i] = 1.0f / static_cast<float>(i);
    }
    return 1;
}

void ScreenProjection::release()
{
    delete[] depth_rows;
    depth_rows = nullptr;
    delete[] depth_buffer;
    depth_buffer = nullptr;
    for (ConfigVariable*& v : vars) {
        release_variable(v);
    }
}

bool ScreenProjection::var_true(ProjectionVariable v) const { return vars[v] != nullptr && vars[v]->is_true(); }

void ScreenProjection::set_size(int32_t new_xsize, int32_t new_ysize)
{
    K_ASSERT(new_xsize <= max_xres);
    K_ASSERT(new_ysize <= max_yres);
    xsize = new_xsize;
    ysize = new_ysize;
    centre_x = xsize / 2;
    centre_y = ysize / 2;
    centre_x_fixed = static_cast<int32_t>(static_cast<uint32_t>(centre_x) << 16);
    centre_y_fixed = static_cast<int32_t>(static_cast<uint32_t>(centre_y) << 16);
    // An empty window has no area to divide by.
    inv_area = xsize > 0 && ysize > 0 ? 1.0f / (static_cast<float>(xsize) * static_cast<float>(ysize)) : 0.0f;
    for (int32_t y = 0; y < ysize; ++y) {
        depth_rows[y] = depth_buffer + static_cast<size_t>(y) * static_cast<size_t>(xsize);
    }
}

void ScreenProjection::update_window_pixels()
{
    const ScreenRect& window = screen->window();
    const KVideoMode* const mode = screen->v_mode;
    window_pixels = mode->framebuffer + (window.top < mode->yres ? line_offset[window.top] : 0) + window.left;
}

void ScreenProjection::begin_frame(const ViewFrame& view)
{
    ++frame;
    update_window_pixels();
    transform = view.view;
    Vector t;
    mat_get_translation(t, transform);
    const float* const m = transform.m;
    for (int j = 0; j < 3; ++j) {
        (&position.x)[j] = -(m[j] * t.x + m[4 + j] * t.y + m[8 + j] * t.z);
    }
    mat_get_row2(forward, transform);
    mat_get_row0(right, transform);
    mat_get_row1(down, transform);
    if (var_true(PV_CAMERAPOS)) {
        print_tagged(four_cc("CaPs"), "Camera pos = [%.2f;%.2f;%.2f]", position.x, position.y, position.z);
    }
    view_maths(view.half_x, view.half_y);
    // The word after the transform carries the filter colour's bits.
    set_tint(std::bit_cast<uint32_t>(view.param));
    if (var_true(PV_CLEAR)) {
        clear_window();
    }
}

void ScreenProjection::view_maths(double zoom_x, double zoom_y)
{
    xscale = centre_x / zoom_x;
    yscale = centre_y / zoom_y;
    inv_xscale = 1.0 / xscale;
    inv_yscale = 1.0 / yscale;
    xscale_fixed = xscale * 65536.0;
    yscale_fixed = yscale * 65536.0;
    inv_xscale_fixed = 65536.0 / xscale;
    inv_yscale_fixed = 65536.0 / yscale;
    pixel_angle = std::sqrt(1.0 / (xscale * yscale));

    // Each plane passes through the eye one pixel outside the window's edge.
    side_normals[SIDE_LEFT] = normalised(xscale, 0.0, centre_x + 1.0);
    side_normals[SIDE_RIGHT] = normalised(-xscale, 0.0, xsize - centre_x + 1.0);
    side_normals[SIDE_TOP] = normalised(0.0, yscale, centre_y + 1.0);
    side_normals[SIDE_BOTTOM] = normalised(0.0, -yscale, ysize - centre_y + 1.0);
    const float* const m = transform.m;
    for (int s = 0; s < SIDE_COUNT; ++s) {
        const Vector& n = side_normals[s];
        Plane& p = side_planes[s];
        p.normal.x = m[0] * n.x + m[4] * n.y + m[8] * n.z;
        p.normal.y = m[1] * n.x + m[5] * n.y + m[9] * n.z;
        p.normal.z = m[2] * n.x + m[6] * n.y + m[10] * n.z;
        p.d = -vec_dot(position, p.normal);
    }
    const double zz = zoom_x * zoom_x + zoom_y * zoom_y;
    corner_sine = std::sqrt(zz / (1.0 + zz));
}

void ScreenProjection::clear_window()
{
    update_window_pixels();
    for (int32_t y = 0; y < ysize; ++y) {
        std::memset(window_pixels + line_offset[y], 0, static_cast<size_t>(xsize) * sizeof(uint32_t));
        std::memset(depth_rows[y], 0, static_cast<size_t>(xsize) * sizeof(uint16_t));
    }
}

void ScreenProjection::set_tint(uint32_t c)
{
    tint_colour = 0;
    for (int k = 0; k < 4; ++k) {
        tint_colour |= ((c >> (8 * k)) & 0xFFu) << (rgb_layout[k] & 31);
    }
    const uint32_t a = (c >> 24) & 0xFF;
    tint_factor = a | a << 8 | a << 16 | a << 24;
}

void ScreenProjection::apply_tint()
{
    if (tint_factor == 0 || xsize <= 0 || ysize <= 0) {
        return;
    }
    const int pitch = screen->v_mode->line_width;
    if (var_true(PV_MMX)) {
        blend_span_to_colour_mmx(window_pixels, xsize, ysize, pitch, tint_colour, tint_factor);
    } else {
        blend_span_to_colour(window_pixels, xsize, ysize, pitch, tint_colour, tint_factor);
    }
}

int ScreenProjection::clip_to_plane(const Vector& normal, Vector* vertices, int count)
{
    return clip_polygon_by_plane(
        vertices, count, [&normal](const Vector& v) { return vec_dot(normal, v); },
        [](const Vector& a, const Vector& b, float da, float db) {
            const float s = 1.0f / (db - da);
            return Vector{(db * a.x - da * b.x) * s, (db * a.y - da * b.y) * s, (db * a.z - da * b.z) * s};
        });
}

int ScreenProjection::clip_to_frustum(Vector* vertices, int count) const
{
    for (int s = 0; s < SIDE_COUNT && count > 0; ++s) {
        count = clip_to_plane(side_normals[s], vertices, count);
    }
    return count;
}
