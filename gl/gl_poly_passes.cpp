// The drawing side of the OpenGL polygon renderer: the passes over the
// frame's surface lists, every polygon one triangle fan in immediate mode,
// and the lightmaps lit and uploaded on the way.
#include "renderer/poly_renderer.h"

#include "core/kassert.h"
#include "gl/gl_bind.h"
#include "host/host_gl.h"
#include "renderer/light_block.h"
#include "renderer/screen_projection.h"
#include "renderer/texture.h"
#include "world/view/algo_texture.h"
#include "world/view/light_surface.h"

#include <algorithm>

namespace {

constexpr float LIGHT_TEXEL_SPAN = 16.0f; // texture texels a lightmap texel spans
constexpr float BUMP_SCALE = 0.078125f;   // bump texels a texture texel

// Texture texels of a point of a face: the point is origin + u U + v V
// (+ some normal), so u = (p - origin) . (V x N) / |N|^2 with N = U x V, and
// v likewise with N x U.
struct FaceAxes {
    Vector origin;
    Vector du;
    Vector dv;

    explicit FaceAxes(const MapFace& face) : origin(face.origin)
    {
        Vector n;
        vec_cross(face.u_axis, face.v_axis, n);
        const float nn = vec_dot(n, n);
        const float k = nn > 0.0f ? 1.0f / nn : 0.0f;
        vec_cross(face.v_axis, n, du);
        vec_cross(n, face.u_axis, dv);
        du = Vector{du.x * k, du.y * k, du.z * k};
        dv = Vector{dv.x * k, dv.y * k, dv.z * k};
    }
    void texel(const Vector& p, float& u, float& v) const
    {
        Vector d = p;
        vec_sub(d, origin);
        u = vec_dot(d, du);
        v = vec_dot(d, dv);
    }
};

// The texture of a layer at the projection's time, bound; null when there
// is none to draw.
Texture* bind_layer(AlgoTexture* patch, int32_t time)
{
    if (patch == nullptr) {
        return nullptr;
    }
    Texture* const texture = patch->update(time);
    if (texture == nullptr || texture->usize < 1 || texture->vsize < 1 || texture->bind() == 0) {
        return nullptr;
    }
    return texture;
}

// A record's fan with texture coordinates from its polygon's own vertices:
// s = (u - u0) k, t = (v - v0) k' in the face's texels.
void draw_mapped_fan(const SurfaceRecord& record, float u0, float ku, float v0, float kv, const char* site)
{
    const MapPolygon& polygon = *record.ref.polygon;
    const FaceAxes axes(*polygon.face);
    glBegin(GL_TRIANGLE_FAN);
    for (int32_t i = 0, k = record.first; i < record.count; ++i, k = k + 1 < record.count ? k + 1 : 0) {
        float u;
        float v;
        axes.texel(*polygon.vertices[k], u, v);
        glTexCoord2f((u - u0) * ku, (v - v0) * kv);
        glVertex3fv(&record.vertices[i].x);
    }
    glEnd();
    GLSys::report_errors(site);
}

} // namespace

void PolyRenderer::draw_list(SurfaceRecord* const* list, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        draw_record(*list[i]);
    }
}

void PolyRenderer::draw_opaque()
{
    GLSys::set_culling(0);
    GLSys::set_depth(2);
    GLSys::set_texturing(1);
    GLSys::set_blending(0);
    if (var_true(GLV_FLAT)) {
        pass = GLP_FLAT;
        GLSys::set_texturing(0);
        draw_list(unlit_.get(), unlit_count_);
        draw_list(lit_.get(), lit_count_);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        return;
    }
    const bool textured = projection->var_true(GPV_TEXTURE);
    if (textured) {
        pass = GLP_TEXTURE;
        draw_list(unlit_.get(), unlit_count_);
        draw_list(lit_.get(), lit_count_);
        // Second layers go over lit faces too: the software program draws
        // both layers of every face that has two, lit or not.
        pass = GLP_OVERLAY;
        GLSys::set_blending(1);
        glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
        draw_list(unlit_.get(), unlit_count_);
        draw_list(lit_.get(), lit_count_);
    }
    if (projection->var_true(GPV_LIGHTING)) {
        pass = GLP_LIGHTMAP;
        GLSys::set_blending(textured ? 2 : 0);
        draw_list(lit_.get(), lit_count_);
        if (var_true(GLV_BUMPS)) {
            pass = GLP_BUMP;
            GLSys::set_blending(2);
            draw_list(lit_.get(), lit_count_);
        }
    }
    if (var_true(GLV_TRIANGLES)) {
        pass = GLP_WIRE;
        GLSys::set_polygon_mode(1);
        GLSys::set_depth(0);
        GLSys::set_texturing(0);
        GLSys::set_blending(0);
        glColor3f(0.8f, 1.0f, 0.6f);
        draw_list(lit_.get(), lit_count_);
        GLSys::set_polygon_mode(2);
    }
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    GLSys::report_errors("Color4f from PolyRenderer::draw_opaque()");
}

void PolyRenderer::draw_record(SurfaceRecord& record)
{
    switch (pass) {
    case GLP_FLAT:
        draw_flat(record);
        break;
    case GLP_LIGHTMAP:
        draw_lightmapped(record);
        break;
    case GLP_BUMP:
        draw_bumps(record);
        break;
    case GLP_WIRE:
        draw_fan(record);
        break;
    case GLP_TEXTURE:
        draw_texture_layer(record, false);
        break;
    case GLP_OVERLAY:
        if ((record.ref.polygon->face->flags & FACE_TWO_LAYERS) != 0) {
            draw_texture_layer(record, true);
        }
        break;
    default:
        break;
    }
}

void PolyRenderer::draw_fan(const SurfaceRecord& record)
{
    glBegin(GL_TRIANGLE_FAN);
    for (int32_t i = 0; i < record.count; ++i) {
        glVertex3fv(&record.vertices[i].x);
    }
    glEnd();
    GLSys::report_errors("End from PolyRenderer::draw_fan()");
}

void PolyRenderer::draw_flat(const SurfaceRecord& record)
{
    const MapPolygon& polygon = *record.ref.polygon;
    uint32_t n = 0;
    switch (var_int(GLV_CELLS)) {
    case 0:
        n = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&polygon) >> 4);
        break;
    case 1:
        n = static_cast<uint32_t>(polygon.cell);
        break;
    case 2:
        n = static_cast<uint32_t>(polygon.cell_pvs_offset);
        break;
    default:
        break;
    }
    glColor3ub(static_cast<GLubyte>(13 * n + 67), static_cast<GLubyte>(23 * n + 43), static_cast<GLubyte>(42 * n + 12));
    draw_fan(record);
}

bool PolyRenderer::draw_texture_layer(const SurfaceRecord& record, bool second)
{
    const MapPolygon& polygon = *record.ref.polygon;
    const MapFace& face = *polygon.face;
    AlgoTexture* const patch = second ? face.second_patch : face.patch;
    const Texture* const texture = bind_layer(patch, projection->time);
    if (texture == nullptr) {
        return false;
    }
    const float su = static_cast<float>(patch->scroll_u) / 65536.0f;
    const float sv = static_cast<float>(patch->scroll_v) / 65536.0f;
    draw_mapped_fan(record, su, 1.0f / static_cast<float>(texture->usize), sv,
                    1.0f / static_cast<float>(texture->vsize), "End from PolyRenderer::draw_texture_layer()");
    return true;
}

void PolyRenderer::draw_textured(SurfaceRecord& record)
{
    GLSys::set_culling(0);
    GLSys::set_depth(5);
    GLSys::set_texturing(1);
    GLSys::set_blending(1);
    draw_texture_layer(record, false);
}

uint32_t PolyRenderer::build_lightmap(const PolygonRef& ref)
{
    const MapPolygon& polygon = *ref.polygon;
    K_ASSERT(polygon.samples);
    light_surface(ref, projection->time);
    ++stats.lightmaps_built;
    const GLPolygonData* data = polygon_data(&polygon);
    const int32_t side = data != nullptr && data->slot.size_id >= 0
                             ? GLLightmapManager::side(data->slot.size_id)
                             : GL_LIGHTMAP_SIDE;
    const int32_t w = polygon.lightmap.width;
    const int32_t h = polygon.lightmap.height;
    // The padding column and row that the lighting leaves beyond the
    // lightmap go up too, for the filter at its far edges.
    const int32_t uw = std::min(w + 1, side);
    const int32_t uh = std::min(h + 1, side);
    uint32_t signature = 0;
    uint32_t i = 0;
    for (int32_t r = 0; r < uh; ++r) {
        for (int32_t c = 0; c < uw; ++c) {
            const uint32_t texel = surface_light_block[r * LIGHT_BLOCK_SIZE + c];
            if (r < h && c < w) {
                signature ^= texel << (i % 8);
                ++i;
            }
            // Light bytes are at most 127: doubling carries into no neighbour.
            lightmap_upload[r * uw + c] = texel << 1;
        }
    }
    return signature;
}

void PolyRenderer::draw_lightmapped(SurfaceRecord& record)
{
    const MapPolygon& polygon = *record.ref.polygon;
    GLPolygonData* const lightmap = polygon_data(&polygon);
    if (lightmap == nullptr || lightmap->slot.size_id < 0) {
        return;
    }
    GLLightmapOwner* const slot = &lightmap->slot;
    const int r = slot->activate();
    if (r < 0) {
        return;
    }
    // Lights moving about are taken in while R_Dynalights holds; a lightmap
    // built with them is built again once they are gone, or it would keep
    // their light.
    PolygonRef ref = record.ref;
    const bool lights = (ref.list_a != nullptr || ref.list_b != nullptr) && var_true(GLV_DYNALIGHTS);
    if (!lights) {
        ref.list_a = nullptr;
        ref.list_b = nullptr;
    }
    const bool rebuild = lights || lightmap->lit_by_lights || (polygon.lamp_count > 0 && var_true(GLV_DYNALIGHTS));
    bool upload = false;
    if (r == 0) {
        const uint32_t signature = build_lightmap(ref);
        slot->stamp = signature;
        slot->uploaded = signature;
        lightmap->lit_by_lights = lights;
        upload = true;
    } else if (rebuild) {
        const uint32_t signature = build_lightmap(ref);
        slot->stamp = signature;
        lightmap->lit_by_lights = lights;
        upload = slot->take_stamp(signature) != 0;
    }
    const int32_t side = GLLightmapManager::side(slot->size_id);
    if (upload) {
        GLSys::send_subimage(lightmap_upload, 0, 0, std::min(polygon.lightmap.width + 1, side),
                             std::min(polygon.lightmap.height + 1, side));
        GLSys::report_errors("TexSubImage2D from PolyRenderer::draw_lightmapped()");
        ++stats.lightmaps_updated;
    }
    // Lightmap texel c is centred on texel s0 + 16 c of the texture.
    const float k = 1.0f / (static_cast<float>(side) * LIGHT_TEXEL_SPAN);
    draw_mapped_fan(record, static_cast<float>(polygon.s0) - 0.5f * LIGHT_TEXEL_SPAN, k,
                    static_cast<float>(polygon.t0) - 0.5f * LIGHT_TEXEL_SPAN, k,
                    "End from PolyRenderer::draw_lightmapped()");
    ++stats.lightmaps_rendered;
}

void PolyRenderer::draw_bumps(const SurfaceRecord& record)
{
    bump_owner_.set_size(BUMP_SIZE * BUMP_SIZE);
    const int r = bump_owner_.activate();
    if (r < 0) {
        return;
    }
    if (r == 0) {
        const uint8_t* levels[BUMP_LEVELS];
        bump_images_.level_pointers(levels);
        const void* chain[BUMP_LEVELS];
        std::copy(levels, levels + BUMP_LEVELS, chain);
        GLSys::send_mipmaps(chain, BUMP_SIZE, BUMP_SIZE, GLTEX_LIGHTMAP);
    }
    draw_mapped_fan(record, 0.0f, BUMP_SCALE, 0.0f, BUMP_SCALE, "End from PolyRenderer::draw_bumps()");
}
