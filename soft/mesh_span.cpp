#include "soft/mesh_span.h"

#include <algorithm>
#include <cstddef>

#include "core/numerics.h"
#include "soft/byte_blend.h"
#include "soft/drawer_portable.h"

namespace {

template <typename ShadeFn>
void draw_zlit(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span, ShadeFn&& shade)
{
    // An offset, not a moving pointer: the step after the last pixel may point
    // past the texels.
    std::ptrdiff_t texel = 0;
    const std::ptrdiff_t width = span.width;
    const std::ptrdiff_t step = (span.du >> 16) + (span.dv >> 16) * width;
    const uint32_t du_fraction = static_cast<uint32_t>(span.du) & 0xFFFF;
    const uint32_t dv_fraction = static_cast<uint32_t>(span.dv) & 0xFFFF;
    uint32_t u_fraction = span.u_fraction & 0xFFFF;
    uint32_t v_fraction = span.v_fraction & 0xFFFF;
    uint32_t z = static_cast<uint32_t>(span.depth);
    uint32_t light[4];
    for (int k = 0; k < 4; ++k) {
        light[k] = static_cast<uint32_t>(span.light[k]);
    }
    for (int i = 0; i < count; ++i) {
        const uint32_t depth = z >> 16;
        if (depth >= depth_row[i]) {
            depth_row[i] = static_cast<uint16_t>(depth);
            destination[i] = shade(span.palette[span.texels[texel]], light);
        }
        z += static_cast<uint32_t>(span.depth_step);
        for (int k = 0; k < 4; ++k) {
            light[k] += static_cast<uint32_t>(span.light_step[k]);
        }
        u_fraction += du_fraction;
        v_fraction += dv_fraction;
        texel += step + (u_fraction >> 16) + (v_fraction >> 16) * width;
        u_fraction &= 0xFFFF;
        v_fraction &= 0xFFFF;
    }
}

} // namespace

void span_draw_zlit_portable(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span)
{
    draw_zlit(destination, depth_row, count, span, [](uint32_t p, const uint32_t* light) {
        uint32_t out = 0;
        for (int k = 0; k < 4; ++k) {
            out |= static_cast<uint32_t>(light_mul_table[(light[k] >> 8) & 127][byte_of(p, k)]) << (8 * k);
        }
        return out;
    });
}

void span_draw_zlit_mmx_portable(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span)
{
    draw_zlit(destination, depth_row, count, span, [](uint32_t p, const uint32_t* light) {
        uint32_t out = 0;
        for (int k = 0; k < 4; ++k) {
            const int32_t lane = static_cast<int16_t>(light[k] & 0xFFFF);
            const int32_t product = ((static_cast<int32_t>(byte_of(p, k) << 8) * lane) >> 16) >> 5;
            out |= saturate_byte(product) << (8 * k);
        }
        return out;
    });
}

void span_draw_persp8(uint32_t* destination, uint16_t* depth_row, int count, const uint8_t* texels,
                      const uint32_t* palette, int width, int height, float U, float V, float Cu, float Cv, float W,
                      float dW)
{
    constexpr int PIECE = 8;
    const int32_t u_max = static_cast<int32_t>((static_cast<int64_t>(width) << 16) - 1);
    const int32_t v_max = static_cast<int32_t>((static_cast<int64_t>(height) << 16) - 1);
    const int last = (count - 1) % PIECE + 1;
    const double dw = dW;
    uint32_t z = static_cast<uint32_t>(float_to_int_round(W));
    const uint32_t dz = static_cast<uint32_t>(float_to_int_round(dW));
    double w_start = W;
    uint32_t u = 0;
    uint32_t v = 0;
    for (int i = 0; i < count;) {
        // Every piece runs to the next piece's first pixel, the last one to the span's last pixel.
        const bool is_last = count - i == last;
        const int pixels = is_last ? last : PIECE;
        const double w_end = w_start + (is_last ? last - 1 : PIECE) * dw;
        const double r = 1.0 / (w_start * w_end);
        if (i == 0) {
            u = static_cast<uint32_t>(float_to_int_round(static_cast<double>(U) * r * w_end));
            v = static_cast<uint32_t>(float_to_int_round(static_cast<double>(V) * r * w_end));
        }
        const uint32_t du = static_cast<uint32_t>(float_to_int_round(Cu * r));
        const uint32_t dv = static_cast<uint32_t>(float_to_int_round(Cv * r));
        for (const int end = i + pixels; i < end; ++i) {
            const uint32_t depth = z >> 16;
            if (depth >= depth_row[i]) {
                const int32_t uc = std::clamp(static_cast<int32_t>(u), 0, u_max);
                const int32_t vc = std::clamp(static_cast<int32_t>(v), 0, v_max);
                depth_row[i] = static_cast<uint16_t>(depth);
                destination[i] = 2 * palette[texels[(vc >> 16) * static_cast<std::ptrdiff_t>(width) + (uc >> 16)]];
            }
            z += dz;
            u += du;
            v += dv;
        }
        w_start = w_end;
    }
}
