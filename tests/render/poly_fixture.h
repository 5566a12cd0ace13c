#pragma once
// The polygon renderer on a memory video mode with the camera at the origin
// looking along +z (world space is camera space), textures written by the
// texture tools, and a brute-force ray caster over the same polygons that
// tells, for each pixel, the nearest polygon, its depth and its texture
// coordinates, in double precision.
#include "core/view_frame.h"
#include "polygon_soup.h"
#include "world/view/algo_texture.h"
#include "render/poly_renderer.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "world/view/texture_manager.h"
#include "soft/lighting_tables.h"
#include "support/screen_fixture.h"
#include "tools/textures/texture_writer.h"

#include <deque>
#include <memory>

// 16 x 16 texels; texel (u, v) has palette entry 16 v + u whose red is 16 u + 8
// and green 16 v + 8, so that a pixel tells the texel it shows.
inline tools::TextureImage uv_texture()
{
    tools::TextureImage image;
    image.width = 16;
    image.height = 16;
    for (int i = 0; i < 256; ++i) {
        image.palette[static_cast<size_t>(3 * i)] = static_cast<uint8_t>(16 * (i % 16) + 8);
        image.palette[static_cast<size_t>(3 * i + 1)] = static_cast<uint8_t>(16 * (i / 16) + 8);
        image.palette[static_cast<size_t>(3 * i + 2)] = 0x40;
    }
    for (int v = 0; v < 16; ++v) {
        for (int u = 0; u < 16; ++u) {
            image.index.push_back(static_cast<uint8_t>(16 * v + u));
        }
    }
    return image;
}

// An axis-aligned quad at depth z.
inline SoupPolygon quad(float x0, float y0, float x1, float y1, float z)
{
    SoupPolygon p;
    p.vertices = {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}};
    return p;
}

// Polygons with stable addresses, each on its own face.
struct Scene {
    struct Item {
        SoupPolygon soup;
        Plane plane;
        MapFace face;
        MapPolygon polygon;
        std::vector<Vector*> pointers;
        int32_t key = -1;
    };

    Item& add(const SoupPolygon& soup, AlgoTexture* patch, double texel, int32_t key)
    {
        items.emplace_back();
        Item& it = items.back();
        it.soup = soup;
        it.key = key;
        // A plane facing the eye whatever the winding: a wrongly wound polygon
        // in a map still has its plane toward the viewer.
        it.plane = soup_plane(soup);
        if (!soup.clockwise) {
            it.plane.normal = Vector{-it.plane.normal.x, -it.plane.normal.y, -it.plane.normal.z};
            it.plane.d = -it.plane.d;
        }
        Vector u = soup.vertices[1];
        vec_sub(u, soup.vertices[0]);
        vec_normalize(u);
        // v runs down the screen when u runs right: v = u x normal.
        Vector v;
        vec_cross(u, it.plane.normal, v);
        vec_normalize(v);
        const float a = static_cast<float>(texel);
        setup_polygon_face(it.face, nullptr, patch, &it.plane, soup.vertices[0], Vector{u.x * a, u.y * a, u.z * a},
                           Vector{v.x * a, v.y * a, v.z * a}, 0, false);
        for (Vector& p : it.soup.vertices) {
            it.pointers.push_back(&p);
        }
        setup_texture_axes(it.polygon, it.pointers.data(), static_cast<int32_t>(it.pointers.size()), &it.face);
        return it;
    }

    std::deque<Item> items;
};

// What the ray caster sees at one pixel.
struct RayHit {
    int id = -1; // index into the scene, -1 for nothing
    double depth = 0.0;
    double u = 0.0; // texels
    double v = 0.0;
};

class PolyTest : public ScreenBase {
protected:
    void start(int32_t w, int32_t h)
    {
        mode_ = std::make_unique<MemoryVideoMode>(w, h, 1, w + 5);
        ASSERT_EQ(screen_.init(mode_.get(), "backgrnd", "loading", "small.fnt"), 1);
        ASSERT_EQ(projection_.init(&screen_), 1);
        build_lighting_tables();
        ASSERT_EQ(renderer_.init(&projection_), 1);
        ASSERT_EQ(manager_.create(16), 1);
        manager_.convert_all(projection_.rgb_layout);
        mat_identity(view_.view);
        view_.param = 0.0f;
    }

    void TearDown() override
    {
        patches_.clear();
        manager_.release();
        renderer_.close();
        projection_.shutdown();
        screen_.shutdown();
        ScreenBase::TearDown();
    }

    // A texture of the tools written under "textures/test/<name>.cmt" and a patch over it.
    AlgoTexture* texture(const std::string& name, const tools::TextureImage& image)
    {
        tree_.write("kavrin/textures/test/" + name + ".cmt", tools::cmt_bytes(image));
        TextureSlot* slot = manager_.get("test", name.c_str(), TEXTURE_KIND_MAP);
        EXPECT_NE(slot, nullptr);
        anims_.push_back(std::make_unique<TextureAnim>());
        anims_.back()->slot = slot;
        patches_.push_back(std::make_unique<AlgoTexture>());
        EXPECT_EQ(patches_.back()->init(anims_.back().get(), 0, 0, WARP_MODE_NONE, 0, 0, 0, 0), 1);
        return patches_.back().get();
    }

    void set(const char* name, const char* value)
    {
        ConfigVariable* v = cvar_list->find(name);
        ASSERT_NE(v, nullptr) << name;
        v->set_string(value);
    }

    // One frame of the scene, every polygon with the given flags.
    void draw(Scene& scene, uint32_t flags)
    {
        projection_.begin_frame(view_);
        projection_.clear_window();
        renderer_.begin_frame();
        renderer_.set_transform(world_, nullptr);
        for (Scene::Item& it : scene.items) {
            PolygonRef ref;
            ref.polygon = &it.polygon;
            ref.transform = &world_;
            ref.order_key = it.key;
            renderer_.add_polygon(ref, flags);
        }
        renderer_.end_frame();
    }

    // The scene index of the surface that got each pixel's span, -1 for none.
    std::vector<int> span_ids(const Scene& scene) const
    {
        const int32_t w = projection_.xsize;
        std::vector<int> ids(static_cast<size_t>(w * projection_.ysize), -1);
        const EdgeList& edges = renderer_.edges;
        for (int32_t i = 0; i < edges.active_surfaces; ++i) {
            const Surface& s = edges.surfaces()[i];
            int id = -1;
            for (size_t k = 0; k < scene.items.size(); ++k) {
                id = &scene.items[k].polygon == s.ref.polygon ? static_cast<int>(k) : id;
            }
            for (const Span* span = s.spans; span != nullptr; span = span->next) {
                for (int32_t x = span->x; x < span->x + span->count; ++x) {
                    int& at = ids[static_cast<size_t>(span->y * w + x)];
                    EXPECT_EQ(at, -1) << "pixel " << x << "," << span->y << " in two spans";
                    at = id;
                }
            }
        }
        return ids;
    }

    RayHit cast(const Scene& scene, int32_t px, int32_t py) const
    {
        const double dx = (px - projection_.centre_x) / projection_.xscale;
        const double dy = (py - projection_.centre_y) / projection_.yscale;
        RayHit hit;
        for (size_t k = 0; k < scene.items.size(); ++k) {
            const Scene::Item& it = scene.items[k];
            double depth = 0.0;
            if (!it.soup.clockwise || !ray_hits(it.soup, dx, dy, 0.0, &depth)) {
                continue;
            }
            if (hit.id < 0 || depth < hit.depth) {
                hit.id = static_cast<int>(k);
                hit.depth = depth;
                const MapFace& f = it.face;
                const double p[3] = {dx * depth - f.origin.x, dy * depth - f.origin.y, depth - f.origin.z};
                const double uu = double{f.u_axis.x} * f.u_axis.x + double{f.u_axis.y} * f.u_axis.y +
                                  double{f.u_axis.z} * f.u_axis.z;
                const double vv = double{f.v_axis.x} * f.v_axis.x + double{f.v_axis.y} * f.v_axis.y +
                                  double{f.v_axis.z} * f.v_axis.z;
                // The axes are orthogonal: coordinates are projections.
                hit.u = (p[0] * f.u_axis.x + p[1] * f.u_axis.y + p[2] * f.u_axis.z) / uu;
                hit.v = (p[0] * f.v_axis.x + p[1] * f.v_axis.y + p[2] * f.v_axis.z) / vv;
            }
        }
        return hit;
    }

    uint32_t pixel(int32_t x, int32_t y) const
    {
        return projection_.window_pixels[projection_.line_offset[y] + x];
    }
    int channel(uint32_t p, int component) const { return (p >> projection_.rgb_layout[component]) & 0xFF; }

    std::unique_ptr<MemoryVideoMode> mode_;
    ScreenManager screen_;
    ScreenProjection projection_;
    PolyRenderer renderer_;
    TextureManager manager_;
    std::vector<std::unique_ptr<TextureAnim>> anims_;
    std::vector<std::unique_ptr<AlgoTexture>> patches_;
    ViewFrame view_;
    TransformBlock world_;
};
