#include "render/sprite_draw.h"

#include "core/numerics.h"
#include "render/poly_renderer.h"
#include "renderer/screen_projection.h"
#include "soft/row_draw.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int SPRITE_MAX_LEVEL = 4;

int32_t ceil_fixed(int64_t v) { return static_cast<int32_t>((v + 0xFFFF) >> 16); }

} // namespace

int sprite_mip_level(double z, const ScreenProjection& projection, int64_t* du_out, int64_t* dv_out)
{
    int64_t du = float_to_int_round(z * projection.inv_xscale * 65536.0);
    int64_t dv = float_to_int_round(z * projection.inv_yscale * 65536.0);
    int level = 0;
    while (du >= 0x10000 && level < SPRITE_MAX_LEVEL) {
        ++level;
        du >>= 1;
        dv >>= 1;
    }
    if (du_out != nullptr) {
        *du_out = du;
        *dv_out = dv;
    }
    return level;
}

void Sprite::draw(PolyRenderer& renderer) { draw_sprite_transparent(*this, *renderer.projection); }

void draw_sprite_transparent(Sprite& sprite, ScreenProjection& projection)
{
    if (sprite.anim.slot == nullptr) {
        return;
    }
    Vector c;
    mat_rotate_vector(c, projection.transform, sprite.position);
    if (!(c.z >= SPRITE_NEAR)) {
        return;
    }
    const Texture* const texture = sprite.anim.slot->get_frame(sprite.anim, std::max(projection.time, 0));
    if (texture == nullptr || (texture->flags & TEXTURE_TRANSPARENT) == 0) {
        return;
    }
    const double z = c.z;
    int64_t du = 0;
    int64_t dv = 0;
    const int level = sprite_mip_level(z, projection, &du, &dv);
    const TexelMap& map = texture->levels[level];
    if (map.texels == nullptr || map.width < 1 || map.height < 1 || du < 1 || dv < 1) {
        return;
    }
    const int64_t sx0 = int64_t{projection.centre_x_fixed} +
                        float_to_int_round((c.x - texture->usize / 2) * projection.xscale_fixed / z);
    const int64_t sy0 = int64_t{projection.centre_y_fixed} +
                        float_to_int_round((c.y - texture->vsize / 2) * projection.yscale_fixed / z);
    const int64_t xstep = float_to_int_round(projection.xscale_fixed / z * (1 << level));
    const int64_t ystep = float_to_int_round(projection.yscale_fixed / z * (1 << level));

    const int32_t x0 = std::max(ceil_fixed(map.bounds[0] * xstep + sx0), 0);
    const int32_t x1 = std::min(ceil_fixed(map.bounds[1] * xstep + sx0), projection.xsize);
    const int32_t y0 = std::max(ceil_fixed(map.bounds[2] * ystep + sy0), 0);
    const int32_t y1 = std::min(ceil_fixed(map.bounds[3] * ystep + sy0), projection.ysize);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    const int64_t u = (((int64_t{x0} << 16) - sx0) * du) >> 16;
    int64_t v = (((int64_t{y0} << 16) - sy0) * dv) >> 16;
    // Rounding may carry the last pixel one texel past the map: the count
    // stops inside the row.
    const int64_t inside = ((int64_t{map.width} << 16) - 1 - u) / du + 1;
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(x1 - x0, inside));
    if (u < 0 || count < 1) {
        return;
    }
    const int32_t depth = static_cast<int32_t>(std::min(4294967296.0 / z, 2147483647.0));
    const bool mmx = projection.var_true(PV_MMX);
    const uint16_t* const texels = reinterpret_cast<const uint16_t*>(map.texels);
    for (int32_t y = y0; y < y1; ++y, v += dv) {
        const int64_t row = std::clamp<int64_t>(v >> 16, 0, map.height - 1);
        uint32_t* const destination = projection.window_pixels + projection.line_offset[y] + x0;
        const uint16_t* const depth_row = projection.depth_rows[y] + x0;
        const uint16_t* const texel_row = texels + row * map.width;
        if (mmx) {
            row_draw_sprite_mmx(destination, depth_row, count, texel_row, texture->palette, static_cast<int32_t>(u),
                                static_cast<int32_t>(du), depth);
        } else {
            row_draw_sprite(destination, depth_row, count, texel_row, texture->palette, static_cast<int32_t>(u),
                            static_cast<int32_t>(du), depth);
        }
    }
}
