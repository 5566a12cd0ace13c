#pragma once
// ScreenProjection: the software renderer's camera and 3-D window. It knows
// where the window lies in the frame buffer, owns the 16-bit depth buffer
// (65536 / Z a pixel, 0 = infinitely far), turns the client's view record
// into the scales, centres and side planes every renderer projects and clips
// with, packs the view's colour filter (the tint) into the pixel layout, and
// holds the renderer's configuration variables.
//
// A camera-space point (X, Y, Z), Z > 0, lies at window pixel
// x = centre_x + xscale X / Z, y = centre_y + yscale Y / Z.
#include "core/matrix.h"
#include "core/vector.h"

#include <cstdint>

class ConfigVariable;
class ScreenManager;
class ViewFrame;

constexpr int32_t PROJECTION_MAX_XRES = 4096;
constexpr int32_t PROJECTION_MAX_YRES = 3072;
constexpr int PROJECTION_RECIPROCALS = 64;

// The linked configuration variables, in their order of linking.
enum ProjectionVariable {
    PV_MMX,
    PV_CLEAR,
    PV_PERSPMESH,
    PV_TEXTURE,
    PV_LIGHTING,
    PV_TFILTER,
    PV_LFILTER,
    PV_MIPMAPPING,
    PV_FIRSTMIPMAP,
    PV_CAMERAPOS,
    PV_COUNT
};

enum SidePlane { SIDE_LEFT, SIDE_RIGHT, SIDE_TOP, SIDE_BOTTOM, SIDE_COUNT };

class ScreenProjection {
public:
    ScreenProjection() = default;
    ~ScreenProjection() { release(); }
    ScreenProjection(const ScreenProjection&) = delete;
    ScreenProjection& operator=(const ScreenProjection&) = delete;

    // For the screen manager's current video mode; 1, or 0 when a variable
    // can't be linked, the mode is larger than 4096 x 3072 or no memory.
    int init(ScreenManager* scr);
    void release();
    void shutdown() { release(); }

    void set_size(int32_t new_xsize, int32_t new_ysize);
    void set_time(int32_t new_time) { time = new_time; }
    void begin_frame(const ViewFrame& view);
    // The window's pixels and depth values to 0.
    void clear_window();
    // A filter colour: red bits 0-7, green 8-15, blue 16-23, amount 24-31.
    void set_tint(uint32_t colour);
    void apply_tint();

    // A convex camera-space polygon in an array with room for count + 1
    // vertices, clipped in place to the inside (dot >= +0.0) of a plane
    // through the eye; the new count.
    static int clip_to_plane(const Vector& normal, Vector* vertices, int count);
    // Left, right, top, bottom; the new count, 0 when nothing is left.
    int clip_to_frustum(Vector* vertices, int count) const;

    bool var_true(ProjectionVariable v) const;
    const ConfigVariable* variable(ProjectionVariable v) const { return vars[v]; }

    Vector position = {};
    Vector forward = {};
    Vector right = {};
    Vector down = {};
    Matrix transform = {};
    ScreenManager* screen = nullptr;
    uint32_t* window_pixels = nullptr;
    const int32_t* line_offset = nullptr;
    uint16_t* depth_buffer = nullptr;
    uint16_t** depth_rows = nullptr;
    int32_t xsize = 0;
    int32_t ysize = 0;
    int32_t max_xres = 0;
    int32_t max_yres = 0;
    int32_t centre_x = 0;
    int32_t centre_y = 0;
    int32_t centre_x_fixed = 0;
    int32_t centre_y_fixed = 0;
    double xscale = 0.0;
    double yscale = 0.0;
    double xscale_fixed = 0.0;
    double yscale_fixed = 0.0;
    double inv_xscale = 0.0;
    double inv_yscale = 0.0;
    double pixel_angle = 0.0;
    double inv_xscale_fixed = 0.0;
    double inv_yscale_fixed = 0.0;
    double corner_sine = 0.0;
    uint8_t rgb_layout[4] = {};
    uint8_t layout_inverse[4] = {};
    uint32_t tint_colour = 0;
    uint32_t tint_factor = 0;
    float reciprocal[PROJECTION_RECIPROCALS] = {};
    float inv_area = 0.0f;
    Vector side_normals[SIDE_COUNT] = {};
    Plane side_planes[SIDE_COUNT] = {};
    ConfigVariable* vars[PV_COUNT] = {};
    uint32_t palette[256] = {};
    int32_t frame = -1;
    int32_t time = 0;

private:
    void update_window_pixels();
    void view_maths(double zoom_x, double zoom_y);
};
