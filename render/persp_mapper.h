#pragma once
// Perspective texture mapping of one surface at a time. For a face whose
// points are origin + u * u_axis + v * v_axis (view space), u/z, v/z and 1/z
// are linear across the screen:
//   1/z = r . N / (N . O),  u/z = r . (V x O) / (N . O),  v/z = r . (O x U) / (N . O)
// with N = U x V and r = ((x - centre x) / xscale, (y - centre y) / yscale, 1)
// the ray through pixel (x, y). The mapper keeps the nine screen gradients
// (value at pixel (0, 0), per x, per y) of W = 1/z, U = 65536 u/z and
// V = 65536 v/z, so that U / W is u in 16.16 texels.
#include "render/edge_list.h"
#include "renderer/texture.h"

#include <cstdint>

class AlgoTexture;
class ConfigVariable;
class ScreenProjection;

struct ScreenGradient {
    double value; // at pixel (0, 0)
    double dx;
    double dy;
    double at(int32_t x, int32_t y) const { return value + dx * x + dy * y; }
};

class PerspMapper {
public:
    PerspMapper() = default;
    ~PerspMapper() { close(); }
    PerspMapper(const PerspMapper&) = delete;
    PerspMapper& operator=(const PerspMapper&) = delete;

    // Links R_Flat and R_Cells; 1, or 0 (reported) when they cannot be had.
    int init(ScreenProjection* projection);
    void close();
    // Forgets the face of the last surface (each frame).
    void begin_frame() { face = nullptr; }

    // The texture, level and gradients of the surface; false when its face
    // has no texture to draw.
    bool set_texture_scale(const Surface& surface);

    bool flat() const;

    ScreenProjection* projection = nullptr;
    ConfigVariable* r_flat = nullptr;
    ConfigVariable* r_cells = nullptr;

    // The current surface's state.
    const MapPolygon* polygon = nullptr;
    const MapFace* face = nullptr;
    const TransformBlock* block = nullptr;
    const Texture* texture = nullptr;
    const Texture* second = nullptr; // the second layer, level 0, or null
    int32_t level = 0;
    const uint8_t* texels = nullptr; // of the level
    const uint32_t* palette = nullptr;
    int32_t ulog = 0; // of the level
    int32_t vsize = 0;
    int32_t offset_u = 0; // texture scroll, 16.16
    int32_t offset_v = 0;
    int32_t second_offset_u = 0; // the second layer's scroll relative to the first
    int32_t second_offset_v = 0;
    int32_t light_s = 0; // texture to light-block offsets, 16.16 level-0 texels
    int32_t light_t = 0;
    ScreenGradient w = {};
    ScreenGradient u = {};
    ScreenGradient v = {};
    uint32_t flat_colour = 0;

private:
    void face_gradients(const Surface& surface);
    int32_t mip_level(const Surface& surface) const;
    const Texture* layer_texture(AlgoTexture* patch, int32_t& scroll_u, int32_t& scroll_v) const;
    // The face's textures; the second layer only when both are in memory.
    void fetch_layers();
    // Whether the textures held for the current face are still in memory.
    bool layers_resident() const;
};
