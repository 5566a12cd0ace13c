#pragma once
// Particle squares: each live particle is projected and filled as a square,
// tested against the depth buffer without writing it.
#include "core/particle.h"

#include <cstdint>

// view: 3 rows of 4 floats (rotation and translation column). x_scale and
// y_scale: the projection's scales in pixels (the fixed scales / 65536).
// width, height: the drawn area in pixels; centre_x, centre_y: the screen
// position of the view axis in 16.16. Pixel (x, y) lies at
// framebuffer + line_offset[y] + x, its depth at depth_rows[y][x]. blend:
// non-zero for particles that put a quarter of their colour over three
// quarters of the pixel, zero for opaque ones.
void span_draw_particle(const Particle* particles, int count, const float view[3][4], float x_scale, float y_scale,
                        int width, int height, int32_t centre_x, int32_t centre_y, uint32_t* framebuffer,
                        const int32_t* line_offset, uint16_t* const* depth_rows, int blend);
