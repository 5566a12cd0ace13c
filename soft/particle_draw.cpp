#include "soft/particle_draw.h"

#include <algorithm>
#include <cmath>

#include "core/numerics.h"

namespace {

constexpr int32_t HALF_PIXEL = 0x8000;

struct Square {
    int left;
    int right;
    int top;
    int bottom;
    uint16_t depth;
};

// Projects one particle; false when nothing of it is drawn.
bool project_particle(const Particle& p, const float view[3][4], double x_scale, double y_scale, int width, int height,
                      int32_t centre_x, int32_t centre_y, Square* square)
{
    double camera[3];
    for (int r = 0; r < 3; ++r) {
        camera[r] = static_cast<double>(view[r][0]) * p.pos[0] + static_cast<double>(view[r][1]) * p.pos[1] +
                    static_cast<double>(view[r][2]) * p.pos[2] + view[r][3];
    }
    const double x = camera[0];
    const double y = camera[1];
    const double z = camera[2];
    // z = 0 with x = y = 0 passes the cone test but has no projection.
    if (2.0 * z < std::fabs(x) + std::fabs(y) || !(z > 0.0)) {
        return false;
    }
    const double q = 65536.0 / z;
    const int32_t cx = wrap_add(float_to_int_round(x * x_scale * q), centre_x);
    const int32_t cy = wrap_add(float_to_int_round(y * y_scale * q), centre_y);
    const double s = q > 1024.0 ? 1024.0 : q;
    int32_t half_w = float_to_int_round(p.intensity * s * x_scale);
    int32_t half_h = float_to_int_round(p.intensity * s * y_scale);
    if (half_w < HALF_PIXEL) {
        half_w = half_w >= p.phase ? HALF_PIXEL : 0;
        half_h = half_w;
    }
    square->left = std::max(0, wrap_sub(cx, half_w) >> 16);
    square->right = std::min(width, wrap_add(cx, half_w) >> 16);
    square->top = std::max(0, wrap_sub(cy, half_h) >> 16);
    square->bottom = std::min(height, wrap_add(cy, half_h) >> 16);
    square->depth = static_cast<uint16_t>(static_cast<uint32_t>(float_to_int_round(q)) & 0xFFFF);
    return square->right > square->left && square->bottom > square->top;
}

uint32_t quarter_over(uint32_t colour, uint32_t d)
{
    return ((colour >> 2) & 0x3F3F3F3F) + 3 * ((d & 0xFCFCFCFC) >> 2);
}

} // namespace

void span_draw_particle(const Particle* particles, int count, const float view[3][4], float x_scale, float y_scale,
                        int width, int height, int32_t centre_x, int32_t centre_y, uint32_t* framebuffer,
                        const int32_t* line_offset, uint16_t* const* depth_rows, int blend)
{
    for (int n = 0; n < count; ++n) {
        const Particle& p = particles[n];
        Square sq;
        if (p.life <= 0 || !project_particle(p, view, x_scale, y_scale, width, height, centre_x, centre_y, &sq)) {
            continue;
        }
        for (int y = sq.top; y < sq.bottom; ++y) {
            uint32_t* const row = framebuffer + line_offset[y];
            const uint16_t* const depth = depth_rows[y];
            for (int x = sq.left; x < sq.right; ++x) {
                if (depth[x] <= sq.depth) {
                    row[x] = blend != 0 ? quarter_over(p.colour, row[x]) : p.colour;
                }
            }
        }
    }
}
