#pragma once
// The spans of mesh triangles: both test the depth buffer and write it where
// they draw (a pixel is drawn when its depth is not below the stored one).
// Mesh textures do not wrap: span_draw_zlit reads where its caller points it
// (mesh_triangle_draw_affine keeps each span inside the skin), span_draw_persp8
// clamps to its texels itself.
#include <cstdint>

// One affine lit span. The texel position is a pointer plus 16-bit fractions
// whose carries add one texel and one row of `width` texels.
struct ZlitSpan {
    const uint8_t* texels;   // the texel of the first pixel
    const uint32_t* palette; // half-intensity colours
    int32_t width;           // texels per texture row
    uint32_t u_fraction;     // 16-bit fractions of u and v at the first pixel
    uint32_t v_fraction;
    int32_t du;              // 16.16 texels per pixel
    int32_t dv;
    int32_t depth;           // 16.16, integer part the 16-bit depth
    int32_t depth_step;
    int32_t light[4];        // 8.8 light steps driving pixel byte k
    int32_t light_step[4];
};

// Byte k becomes light_mul_table[(light_k >> 8) AND 127][P_k].
void span_draw_zlit(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span);
// Byte k becomes min(255, (P_k * 256 * light_k) >> 16 >> 5) in 16-bit lanes.
void span_draw_zlit_mmx(uint32_t* destination, uint16_t* depth_row, int count, const ZlitSpan& span);

// One perspective-correct unlit span: pixels are 2 * palette[texel]. U, V, W,
// Cu, Cv and dW as for span_setup_persp at the first pixel; W is also the depth
// in 16.16. The span is cut into pieces of 8 pixels from its first pixel, each
// with one reciprocal. Coordinates are kept inside the width x height texels.
void span_draw_persp8(uint32_t* destination, uint16_t* depth_row, int count, const uint8_t* texels,
                      const uint32_t* palette, int width, int height, float U, float V, float Cu, float Cv, float W,
                      float dW);
