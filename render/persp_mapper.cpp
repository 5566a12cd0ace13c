#include "render/persp_mapper.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "world/view/algo_texture.h"
#include "world/view/rotate_direction.h"
#include "renderer/screen_projection.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr uint32_t RENDER_VARIABLE = 0x100;
constexpr int32_t MIP_LEVEL_MAX = 4;

struct Dvec {
    double x, y, z;
};

Dvec widen(const Vector& v) { return Dvec{v.x, v.y, v.z}; }
Dvec cross(const Dvec& a, const Dvec& b)
{
    return Dvec{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Dvec& a, const Dvec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The texture drawn where textures are turned off: one texel of grey.
uint8_t grey_texel[2] = {0, 0};
Texture grey_texture()
{
    Texture t{};
    for (TexelMap& m : t.levels) {
        m = TexelMap{grey_texel, 1, 1, {0, 1, 0, 1}, 0};
    }
    t.mipmaps = TEXTURE_LEVELS;
    t.ulog = 0;
    t.usize = 1;
    t.vsize = 1;
    return t;
}
Texture flat_grey = grey_texture();

int32_t log2_of(int32_t n)
{
    int32_t l = 0;
    while ((1 << (l + 1)) <= n) {
        ++l;
    }
    return l;
}

} // namespace

int PerspMapper::init(ScreenProjection* p)
{
    close();
    projection = p;
    K_ASSERT(cvar_list);
    r_flat = cvar_list->link(CVTYPE_BOOL, RENDER_VARIABLE, "R_Flat", nullptr, 0);
    r_cells = cvar_list->link(CVTYPE_INT, RENDER_VARIABLE, "R_Cells", nullptr, 0);
    if (r_flat == nullptr || r_cells == nullptr) {
        print_format(P_ERROR, "PerspMapper: Can't create config variable\n");
        close();
        return 0;
    }
    return 1;
}

void PerspMapper::close()
{
    for (ConfigVariable** v : {&r_flat, &r_cells}) {
        release_variable(*v);
    }
    face = nullptr;
}

bool PerspMapper::flat() const { return r_flat != nullptr && r_flat->is_true(); }

const Texture* PerspMapper::layer_texture(AlgoTexture* patch, int32_t& scroll_u, int32_t& scroll_v) const
{
    scroll_u = 0;
    scroll_v = 0;
    if (patch == nullptr) {
        return nullptr;
    }
    const Texture* t = patch->update(projection->time);
    scroll_u = patch->scroll_u;
    scroll_v = patch->scroll_v;
    return t;
}

void PerspMapper::fetch_layers()
{
    second = nullptr;
    const bool textured = projection->var_true(PV_TEXTURE);
    // The second layer is fetched first: the first, fetched last, is then the
    // most recently used texture, which its own loading cannot drop. Loading
    // it may drop the second, and then the first is drawn alone.
    const Texture* under = nullptr;
    int32_t su = 0;
    int32_t sv = 0;
    if (textured && (face->flags & FACE_TWO_LAYERS) != 0) {
        under = layer_texture(face->second_patch, su, sv);
    }
    texture = layer_texture(face->patch, offset_u, offset_v);
    if (texture == nullptr) {
        return;
    }
    if (!textured) {
        texture = &flat_grey;
        return;
    }
    // Layers must match in size; a map that pairs others draws the first alone.
    if (under != nullptr && face->second_patch->resident() && under->ulog == texture->ulog &&
        under->vsize == texture->vsize && (under->flags & TEXTURE_TRANSPARENT) == 0) {
        second = under;
        second_offset_u = su - offset_u;
        second_offset_v = sv - offset_v;
    }
}

bool PerspMapper::layers_resident() const
{
    if (face == nullptr || texture == nullptr || texture == &flat_grey) {
        return true;
    }
    return face->patch->resident() && (second == nullptr || face->second_patch->resident());
}

void PerspMapper::face_gradients(const Surface& surface)
{
    const TransformBlock& b = *surface.ref.transform;
    const MapFace& f = *face;
    Vector o;
    mat_rotate_vector(o, b.matrix, f.origin);
    const Dvec U = widen(rotate_direction(b.matrix, f.u_axis));
    const Dvec V = widen(rotate_direction(b.matrix, f.v_axis));
    Dvec O = widen(o);
    // The scroll moves the texture along its axes.
    const double su = offset_u / 65536.0;
    const double sv = offset_v / 65536.0;
    O = Dvec{O.x + su * U.x + sv * V.x, O.y + su * U.y + sv * V.y, O.z + su * U.z + sv * V.z};
    const Dvec N = cross(U, V);
    const double no = dot(N, O);
    const double k = no != 0.0 ? 1.0 / no : 0.0;
    const ScreenProjection& p = *projection;
    const auto gradient = [&](const Dvec& a, double scale) {
        const double gx = a.x * p.inv_xscale * k * scale;
        const double gy = a.y * p.inv_yscale * k * scale;
        return ScreenGradient{a.z * k * scale - gx * p.centre_x - gy * p.centre_y, gx, gy};
    };
    w = gradient(N, 1.0);
    u = gradient(cross(V, O), 65536.0);
    v = gradient(cross(O, U), 65536.0);
}

int32_t PerspMapper::mip_level(const Surface& surface) const
{
    const float z = surface.ref.mean_depth;
    const float d = surface.ref.camera_distance;
    // Texels per pixel, squared: the pixel spans z / yscale units at depth z,
    // a texel sqrt(area); oblique faces (camera distance below the depth)
    // take more.
    const double footprint = static_cast<double>(z) * projection->inv_yscale;
    const double m = (static_cast<double>(z) + 256.0) * footprint * footprint /
                     (static_cast<double>(face->area) * (static_cast<double>(d) + 256.0));
    const float mf = static_cast<float>(m);
    int32_t level = 0;
    if (mf > 0.0f && std::isfinite(mf)) {
        level = (static_cast<int32_t>((std::bit_cast<uint32_t>(mf) >> 23) & 0xFF) - 126) >> 1;
    } else if (!(mf <= 0.0f)) {
        level = MIP_LEVEL_MAX; // infinite or NaN: as small as it gets
    }
    const ConfigVariable* first = projection->variable(PV_FIRSTMIPMAP);
    const int32_t first_level = first != nullptr ? first->int_value() : 0;
    level = std::max(level, first_level);
    level = std::min(level, MIP_LEVEL_MAX);
    level = std::min(level, log2_of(texture->usize) / 2);
    level = std::min(level, texture->mipmaps - 1);
    return std::max(level, 0);
}

bool PerspMapper::set_texture_scale(const Surface& surface)
{
    const MapPolygon& poly = *surface.ref.polygon;
    polygon = &poly;
    // Drawing other things between two surfaces of one face (the entities
    // of the transparent list) may have made the heap drop its textures.
    if (poly.face != face || surface.ref.transform != block || !layers_resident()) {
        face = poly.face;
        block = surface.ref.transform;
        fetch_layers();
        if (texture != nullptr) {
            face_gradients(surface);
        }
    }
    if (texture == nullptr) {
        return false;
    }
    level = 0;
    if (projection->var_true(PV_MIPMAPPING) && (face->flags & FACE_TWO_LAYERS) == 0) {
        level = mip_level(surface);
    }
    const TexelMap& map = texture->levels[level];
    texels = map.texels;
    palette = texture == &flat_grey ? projection->palette : texture->palette;
    ulog = std::max(texture->ulog - level, 0);
    vsize = map.height;
    light_s = static_cast<int32_t>(static_cast<uint32_t>(offset_u) - (static_cast<uint32_t>(poly.s0) << 16));
    light_t = static_cast<int32_t>(static_cast<uint32_t>(offset_v) - (static_cast<uint32_t>(poly.t0) << 16));
    if (flat()) {
        uintptr_t key = 0;
        const int32_t cells = r_cells != nullptr ? r_cells->int_value() : 0;
        if (cells == 0) {
            key = reinterpret_cast<uintptr_t>(&surface);
        } else if (cells == 1) {
            key = static_cast<uint32_t>(poly.cell);
        } else if (cells == 2) {
            key = static_cast<uint32_t>(poly.cell_pvs_offset);
        }
        const uint32_t k = static_cast<uint32_t>(key >> 4);
        flat_colour = ((k * 13) & 0xFF) | ((k * 23) & 0xFF) << 8 | ((k * 42) & 0xFF) << 16 | (k * 0x44) << 24;
    }
    return true;
}
