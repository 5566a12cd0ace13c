#pragma once
// ScreenProjection of the OpenGL program: the 3-D window's size and centre,
// the camera loaded as the model-view matrix, a perspective frustum from
// distance 8 to 65536, the five clip planes (near and the four sides) in view
// and world space, an optional animated background, the view's tint laid
// over the finished world, and the render configuration variables.
#include "core/vector.h"

#include <cstdint>

class ConfigVariable;
class ScreenManager;
class ViewFrame;

constexpr int GL_PROJECTION_RECIPROCALS = 64;
constexpr int GL_CLIP_PLANES = 5;
// Distances of the near and the far plane of the frustum.
constexpr float GL_NEAR_DISTANCE = 8.0f;
constexpr double GL_FAR_DISTANCE = 65536.0;

enum GLProjectionVariable {
    GPV_CLEAR,
    GPV_TEXTURE,
    GPV_LIGHTING,
    GPV_CAMERAPOS,
    GPV_LENSFLARES,
    GPV_MESHMODELS,
    GPV_MESHSPECULAR,
    GPV_SPRITES,
    GPV_PARTICLES,
    GPV_COUNT
};

// The clip planes: near first, then left, right, top, bottom.
enum GLClipPlane { GCP_NEAR, GCP_LEFT, GCP_RIGHT, GCP_TOP, GCP_BOTTOM };

class ScreenProjection {
public:
    ScreenProjection() = default;
    ~ScreenProjection() { close(); }
    ScreenProjection(const ScreenProjection&) = delete;
    ScreenProjection& operator=(const ScreenProjection&) = delete;

    // 1, or 0 when a variable can't be created; needs a current context.
    int init(ScreenManager* scr);
    void close();
    // The client's names for the steps above and below.
    void shutdown() { close(); }
    void set_size(int32_t xsize, int32_t ysize) { resize(xsize, ysize); }
    void begin_frame(const ViewFrame& view) { init_frame(view); }

    // A window of xsize x ysize centred on the screen.
    void resize(int32_t xsize, int32_t ysize);
    void set_time(int32_t new_time) { time = new_time; }

    // Viewport, depth cleared, background when R_Clear, camera, zoom, tint.
    void init_frame(const ViewFrame& view);
    // The 3-D window black and its depth cleared: a frame without a world.
    void clear_window();
    void clear_frame();
    // The camera's 3 x 4 matrix, rows m0-m3, m4-m7, m8-m11.
    void set_transform(const float* m);
    void set_zoom(double zx, double zy);
    // Red in the lowest byte, alpha in the highest.
    void set_tint(uint32_t colour);
    // A translucent quad of the tint over the window; nothing at alpha 0.
    void post_process_frame();

    // A polygon of n vertices in a buffer with room for n + 5, clipped in
    // place against the five planes; the count left, 0 when invisible.
    int clip_polygon(Vector* vertices, int n) const { return clip_against(world_planes, vertices, n); }
    int clip_polygon_view(Vector* vertices, int n) const { return clip_against(view_planes, vertices, n); }
    // One plane: the inside is normal . v + d not negative.
    static int clip_to_plane(const Plane& plane, Vector* vertices, int n);

    bool var_true(GLProjectionVariable v) const;
    ConfigVariable* variable(GLProjectionVariable v) const { return vars[v]; }

    Vector position = {};
    Vector forward = {};
    Vector right = {};
    Vector down = {};
    Plane view_plane = {};
    float view[12] = {};
    ScreenManager* screen = nullptr;
    int32_t max_xres = 0;
    int32_t max_yres = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t cx = 0;
    int32_t cy = 0;
    int32_t cx_fixed = 0;
    int32_t cy_fixed = 0;
    int32_t origin_x = 0;
    int32_t origin_y = 0;
    float inv_area = 0.0f;
    double sx = 0.0;
    double sy = 0.0;
    double inv_sx = 0.0;
    double inv_sy = 0.0;
    double sx_fixed = 0.0;
    double sy_fixed = 0.0;
    double pixel_angle = 0.0;
    double corner_sine = 0.0;
    uint8_t tint[4] = {};
    uint8_t rgb_layout[4] = {};
    uint8_t layout_inverse[4] = {};
    float reciprocal[GL_PROJECTION_RECIPROCALS] = {};
    Plane view_planes[GL_CLIP_PLANES] = {};
    Plane world_planes[GL_CLIP_PLANES] = {};
    ConfigVariable* vars[GPV_COUNT] = {};
    int32_t frame = -1;
    int32_t time = 0;

private:
    static int clip_against(const Plane* planes, Vector* vertices, int n);
};
