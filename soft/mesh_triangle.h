#pragma once
// Mesh triangles. The mesh code projects and lights a mesh's vertices, then
// either sets up every triangle (mesh_triangle_draw_inline) and draws each
// record (mesh_triangle_draw_affine), or, with R_Perspmesh, sets up and draws
// each triangle in one go (mesh_triangle_draw_persp). A pixel belongs to a
// triangle when its centre, at integer coordinates, lies inside: rows from
// ceil(y top) to ceil(y bottom) - 1, columns from ceil(left) to ceil(right) - 1.
#include <cstdint>

#include "soft/texture.h"

// A projected vertex, as the mesh code writes it.
struct MeshVertex {
    float x, y, z;  // camera space, not read here
    int32_t sx;     // screen position, 16.16 pixels relative to the 3-D window
    int32_t sy;
    float light[3]; // red, green, blue in 1/256 light steps (64 * 256 = full intensity)
    float w;        // reciprocal depth; its 16.16 integer part is the depth; sign bit set: not drawable
};

// A triangle of a mesh: corners (indices into the projected vertices, checked
// when the model is loaded), their 16.16 texel coordinates, and the skin.
// Coordinates that stray outside the skin, by rounding or by a bad model, are
// clamped to its edge span by span rather than read outside it.
struct MeshTriangle {
    uint32_t vertex[3];
    int32_t u[3];
    int32_t v[3];
    const Texture* texture;
};

// The 3-D window as the mesh drawers see it (filled from the screen projection).
struct DrawWindow {
    uint32_t* pixels;              // the window's top-left pixel
    const int32_t* line_offset;    // pixels from `pixels` to each row
    uint16_t* const* depth_rows;   // each row's first depth value
    int32_t width;                 // in pixels
    int32_t height;
    uint8_t rgb_layout[4];         // bit positions of red, green, blue and the fourth byte
    const uint32_t* palette;       // used in place of the skin's palette when textures are off
    bool textures;                 // R_Texture
    bool mmx;                      // MMX
};

// A value and its gradients along x and y, per pixel.
struct PlaneGradient {
    int32_t value; // at the top vertex
    int32_t dx;
    int32_t dy;
};

enum { GRAD_U, GRAD_V, GRAD_DEPTH, GRAD_RED, GRAD_GREEN, GRAD_BLUE, GRAD_COUNT };

// The set-up of one triangle. Corners in 16.16 pixels, any 32-bit value: the
// edges are stepped exactly from them, so that a corner far outside the window
// or a slope of thousands of pixels per row loses no pixel. u and v in 16.16
// texels, depth in 16.16, lights in 8.8 light steps.
struct TriangleGradients {
    int32_t y_top;
    int32_t y_middle;
    int32_t y_bottom;
    int32_t x_top;
    int32_t x_middle;
    int32_t x_bottom;
    PlaneGradient attr[GRAD_COUNT];
    int32_t middle_left; // 1: the middle vertex is on the left, the left edge changes there
    const Texture* texture;
};

// Fills the record and returns 1, or returns 0 when the triangle is not drawn
// (a corner not drawable or with a W or light that is not finite, outside the
// window, no area or facing away).
int mesh_triangle_draw_inline(TriangleGradients* record, const MeshTriangle* triangle, const MeshVertex* vertices,
                              const DrawWindow* window);
// Draws one record with depth-tested, depth-writing affine lit spans.
void mesh_triangle_draw_affine(const TriangleGradients* record, const DrawWindow* window);
// Sets up and draws one triangle with perspective-correct unlit spans.
void mesh_triangle_draw_persp(const MeshTriangle* triangle, const MeshVertex* vertices, const DrawWindow* window);
