// The BSP world renderer over generated maps: frames that culling must not
// change, no holes in a sealed map, agreement with a ray caster, lightmap
// texels where they belong, and the entities and models of the cells.
#include "world/view/render_object.h"
#include "render/world_view.h"
#include "tools/mapgen/room_model.h"
#include "world/entity_link.h"
#include "world/model_entity.h"
#include "world/render_record.h"

#include <cmath>
#include <random>

namespace {

struct Pose {
    Vector position;
    float yaw;
    float pitch;
};

// Poses inside the rooms of a description, kept away from the walls.
std::vector<Pose> room_poses(const std::string& description, int count, uint32_t seed)
{
    mapgen::RoomModel model;
    std::string error;
    EXPECT_TRUE(mapgen::parse_room_model(description, model, error)) << error;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Pose> poses;
    for (int i = 0; i < count; ++i) {
        const mapgen::Box& b = model.rooms[rng() % model.rooms.size()].box;
        Vector p;
        for (int k = 0; k < 3; ++k) {
            const float lo = static_cast<float>(b.lo[static_cast<size_t>(k)]) + 8.0f;
            const float hi = static_cast<float>(b.hi[static_cast<size_t>(k)]) - 8.0f;
            (&p.x)[k] = lo + (hi - lo) * unit(rng);
        }
        poses.push_back({p, unit(rng) * 6.2831853f, (unit(rng) - 0.5f) * 1.6f});
    }
    return poses;
}

constexpr uint32_t SENTINEL = 0x00FF01FEu;

class BspRendererTest : public WorldView {
protected:
    void open_map(const std::string& name, int32_t w, int32_t h)
    {
        description_ = source_file("tools/mapgen/maps/" + name + ".rooms");
        write_map(name, description_);
        ASSERT_EQ(load(name), 1);
        start_view(w, h);
    }

    // The polygon whose span covers each pixel, null for none.
    std::vector<const MapPolygon*> span_polygons() const
    {
        const int32_t w = projection_.xsize;
        std::vector<const MapPolygon*> out(static_cast<size_t>(w * projection_.ysize), nullptr);
        const EdgeList& edges = renderer_.edges;
        for (int32_t i = 0; i < edges.active_surfaces; ++i) {
            const Surface& s = edges.surfaces()[i];
            for (const Span* span = s.spans; span != nullptr; span = span->next) {
                for (int32_t x = span->x; x < span->x + span->count; ++x) {
                    out[static_cast<size_t>(span->y * w + x)] = s.ref.polygon;
                }
            }
        }
        return out;
    }

    bool is_sky(const MapPolygon* p) const
    {
        return p >= world_.sky_polygons && p < world_.sky_polygons + world_.sky_polygon_count;
    }

    // The nearest world polygon facing the camera along the pixel's ray; null for none.
    const MapPolygon* cast(int32_t px, int32_t py) const
    {
        const ScreenProjection& p = projection_;
        // The renderer samples a pixel at its top left corner: scan line y
        // covers [y, y + 1) and its spans start where the edges cross y.
        const double dx = (px - p.centre_x) / p.xscale;
        const double dy = (py - p.centre_y) / p.yscale;
        double d[3];
        for (int k = 0; k < 3; ++k) {
            d[k] = (&p.forward.x)[k] + dx * (&p.right.x)[k] + dy * (&p.down.x)[k];
        }
        const double o[3] = {p.position.x, p.position.y, p.position.z};
        const MapPolygon* best = nullptr;
        double best_t = 1e30;
        for (int32_t i = 0; i < world_.polygon_count; ++i) {
            const MapPolygon& poly = world_.polygons[i];
            const Plane& pl = *poly.plane;
            const double n[3] = {pl.normal.x, pl.normal.y, pl.normal.z};
            const double dist = n[0] * o[0] + n[1] * o[1] + n[2] * o[2] + pl.d;
            const double along = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
            if (dist <= 0.0 || along >= 0.0) {
                continue;
            }
            const double t = -dist / along;
            if (t >= best_t) {
                continue;
            }
            const double x[3] = {o[0] + t * d[0], o[1] + t * d[1], o[2] + t * d[2]};
            bool inside = true;
            for (int32_t k = 0; k < poly.vertex_count && inside; ++k) {
                const Vector& a = *poly.vertices[k];
                const Vector& b = *poly.vertices[(k + 1) % poly.vertex_count];
                const double e[3] = {double{b.x} - a.x, double{b.y} - a.y, double{b.z} - a.z};
                const double r[3] = {x[0] - a.x, x[1] - a.y, x[2] - a.z};
                const double c[3] = {e[1] * r[2] - e[2] * r[1], e[2] * r[0] - e[0] * r[2], e[0] * r[1] - e[1] * r[0]};
                // Clockwise seen from the front: the inside lies where e x r points against the normal.
                inside = c[0] * n[0] + c[1] * n[1] + c[2] * n[2] <= 0.0;
            }
            if (inside) {
                best = &poly;
                best_t = t;
            }
        }
        return best;
    }

    std::string description_;
};

TEST_F(BspRendererTest, CullingStagesDoNotChangeTheFrame)
{
    open_map("bench", 160, 120);
    for (const Pose& pose : room_poses(description_, 40, 11)) {
        set("R_PVS", "True");
        set("R_ClipCone", "True");
        draw(pose.position, pose.yaw, pose.pitch);
        const std::vector<uint32_t> reference = frame();
        const int32_t offered = renderer_.stats.offered;
        const struct {
            const char* pvs;
            const char* cone;
        } variants[] = {{"False", "True"}, {"True", "False"}, {"False", "False"}};
        for (const auto& v : variants) {
            set("R_PVS", v.pvs);
            set("R_ClipCone", v.cone);
            draw(pose.position, pose.yaw, pose.pitch);
            ASSERT_EQ(frame(), reference) << "PVS " << v.pvs << ", cone " << v.cone << " at " << pose.position.x << ","
                                          << pose.position.y << "," << pose.position.z;
            if (std::string(v.pvs) == "False") {
                EXPECT_GE(renderer_.stats.offered, offered) << "without the PVS no fewer polygons are offered";
            }
        }
    }
}

TEST_F(BspRendererTest, ASealedMapWithASkyLeavesNoPixelUndrawn)
{
    open_map("bench", 160, 120);
    int sky_frames = 0;
    for (const Pose& pose : room_poses(description_, 80, 23)) {
        draw(pose.position, pose.yaw, pose.pitch, SENTINEL);
        const std::vector<uint32_t> f = frame();
        const auto holes = std::count(f.begin(), f.end(), SENTINEL);
        ASSERT_EQ(holes, 0) << "at " << pose.position.x << "," << pose.position.y << "," << pose.position.z << " yaw "
                            << pose.yaw << " pitch " << pose.pitch;
        sky_frames += renderer_.sky_seen != 0 ? 1 : 0;
    }
    EXPECT_GT(sky_frames, 0) << "some poses see the sky";
}

TEST_F(BspRendererTest, FramesAgreeWithARayCaster)
{
    open_map("grid4x4", 160, 120);
    int64_t agree = 0;
    int64_t total = 0;
    for (const Pose& pose : room_poses(description_, 12, 5)) {
        draw(pose.position, pose.yaw, pose.pitch);
        const std::vector<const MapPolygon*> drawn = span_polygons();
        for (int32_t y = 0; y < projection_.ysize; ++y) {
            for (int32_t x = 0; x < projection_.xsize; ++x) {
                const MapPolygon* expected = cast(x, y);
                const MapPolygon* got = drawn[static_cast<size_t>(y * projection_.xsize + x)];
                agree += got == expected ? 1 : 0;
                ++total;
            }
        }
    }
    EXPECT_GE(static_cast<double>(agree) / static_cast<double>(total), 0.995) << agree << " of " << total;
}

TEST_F(BspRendererTest, SkyPolygonsComeOnlyWhenASkyFaceIsSeen)
{
    write_map("open", "tile 64\nroom a 0 0 0 256 256 128\nroom b 256 0 0 512 256 128\n"
                      "door a b 256 64 0 256 192 96\nopen b\n");
    ASSERT_EQ(load("open"), 1);
    start_view(96, 72);
    const auto sky_spans = [this]() {
        int n = 0;
        for (const MapPolygon* p : span_polygons()) {
            n += is_sky(p) ? 1 : 0;
        }
        return n;
    };
    // In room a, looking at its own wall away from b.
    draw(Vector{128.0f, 128.0f, 64.0f}, static_cast<float>(M_PI), 0.0f);
    EXPECT_EQ(renderer_.sky_seen, 0u);
    EXPECT_EQ(sky_spans(), 0);
    // In room b, looking up at its open ceiling.
    draw(Vector{384.0f, 128.0f, 64.0f}, 0.0f, 1.4f);
    EXPECT_NE(renderer_.sky_seen, 0u);
    EXPECT_GT(sky_spans(), 96 * 72 / 2);
}

TEST_F(BspRendererTest, ACheckerLightmapShowsAtItsSamplePoints)
{
    write_map("lit", "tile 64\nroom a 0 0 0 256 256 128\n");
    ASSERT_EQ(load("lit"), 1);
    ASSERT_GE(world_.colour_count, 2);
    // Two colours: dark and bright; the first for every texel, or a checker.
    world_.lightmap_colours[0] = 0x08080808u;
    world_.lightmap_colours[1] = 0x40404040u;
    start_view(160, 120);
    set("R_LFilter", "True");
    const Vector eye{128.0f, 128.0f, 64.0f};
    const auto paint = [this](bool checker) {
        for (int32_t i = 0; i < world_.polygon_count; ++i) {
            MapPolygon& p = world_.polygons[i];
            p.colours = world_.lightmap_colours;
            uint8_t* samples = const_cast<uint8_t*>(p.samples);
            for (int32_t r = 0; r < p.lightmap.height; ++r) {
                for (int32_t c = 0; c < p.lightmap.width; ++c) {
                    samples[p.lightmap.rows[r].offset + c] = checker ? static_cast<uint8_t>((c + r) & 1) : 1;
                }
            }
        }
    };
    // The same view with a uniform bright lightmap, then the checker: their
    // ratio is the checker's light alone, whatever the floor texture.
    paint(false);
    draw(eye, 0.0f, -1.5707f);
    const std::vector<uint32_t> bright = frame();
    paint(true);
    draw(eye, 0.0f, -1.5707f);
    const std::vector<uint32_t> checker = frame();
    const auto ratio = [&](float wx, float wy) {
        Vector v;
        mat_rotate_vector(v, projection_.transform, Vector{wx, wy, 0.0f});
        const int32_t x = static_cast<int32_t>(std::floor(projection_.centre_x + projection_.xscale * v.x / v.z));
        const int32_t y = static_cast<int32_t>(std::floor(projection_.centre_y + projection_.yscale * v.y / v.z));
        const size_t at = static_cast<size_t>(y * projection_.xsize + x);
        double sum_c = 0.0;
        double sum_b = 0.0;
        for (int j = 0; j < 3; ++j) {
            sum_c += (checker[at] >> (8 * j)) & 0xFF;
            sum_b += (bright[at] >> (8 * j)) & 0xFF;
        }
        return sum_c / std::max(1.0, sum_b);
    };
    // Samples every 16 units from the polygon's corner (texture coordinates
    // are world x and y on the floor): dark where c + r is even.
    int checked = 0;
    for (float wy = 112.0f; wy <= 144.0f; wy += 16.0f) {
        for (float wx = 112.0f; wx <= 144.0f; wx += 16.0f) {
            if (wx == 128.0f || wy == 128.0f) {
                continue; // a polygon edge: either neighbour may draw it
            }
            const bool dark = ((static_cast<int>(wx) / 16 + static_cast<int>(wy) / 16) & 1) == 0;
            const double at_sample = ratio(wx, wy);
            const double between = ratio(wx + 8.0f, wy);
            if (dark) {
                EXPECT_LT(at_sample, 0.35) << wx << "," << wy;
                EXPECT_GT(between, at_sample + 0.15) << "halfway to a bright texel at " << wx << "," << wy;
            } else {
                EXPECT_GT(at_sample, 0.9) << wx << "," << wy;
                EXPECT_LT(between, at_sample - 0.15) << "halfway to a dark texel at " << wx << "," << wy;
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 4);
}

// A drawable entity that counts how often it is drawn.
class CountedObject : public RenderObject {
public:
    void draw(PolyRenderer&) override { ++draws; }
    int draws = 0;
};

class CountedEntity : public RenderRecord {
public:
    explicit CountedEntity(int type) : type_(type) { object.entity_type = type; }
    int entity_type() const override { return type_; }
    RenderObject* render_object() override { return &object; }
    CountedObject object;

private:
    int type_;
};

TEST_F(BspRendererTest, EntitiesOfTheCellsAreDrawnOnceAFrame)
{
    open_map("three_rooms", 96, 72);
    SharedMap& map = *world_.map;
    // A sprite across the door between hall and side, seen from the hall.
    CountedEntity sprite(ENTITY_TYPE_SPRITE);
    sprite.position = Vector{512.0f, 128.0f, 48.0f};
    sprite.radius = 40.0f;
    link_entity(map, sprite);
    ASSERT_GE(sprite.linked_leaves, 2);
    // A lamp glow in the closet, behind the side room's wall seen from the hall.
    CountedEntity hidden_glow(ENTITY_TYPE_GLOW);
    hidden_glow.position = Vector{700.0f, 400.0f, 64.0f};
    hidden_glow.radius = 4.0f;
    link_entity(map, hidden_glow);
    // A glow in plain sight in the hall.
    CountedEntity glow(ENTITY_TYPE_GLOW);
    glow.position = Vector{400.0f, 128.0f, 64.0f};
    glow.radius = 4.0f;
    link_entity(map, glow);
    set("R_PVS", "False");
    const Vector eye{64.0f, 128.0f, 64.0f};
    draw(eye, 0.0f, 0.0f);
    EXPECT_EQ(sprite.object.draws, 1) << "linked into several cells, drawn once";
    EXPECT_EQ(glow.object.draws, 1);
    EXPECT_EQ(hidden_glow.object.draws, 0) << "a wall lies between the eye and the glow";
    draw(eye, static_cast<float>(M_PI), 0.0f);
    EXPECT_EQ(sprite.object.draws, 1) << "behind the eye: outside the view";
    set("R_Objects", "False");
    draw(eye, 0.0f, 0.0f);
    EXPECT_EQ(sprite.object.draws, 1);
    EXPECT_EQ(glow.object.draws, 1);
    unlink_entity(map, sprite);
    unlink_entity(map, glow);
    unlink_entity(map, hidden_glow);
}

TEST_F(BspRendererTest, ABspModelIsDrawnWithAndWithoutDynamicClipping)
{
    open_map("three_rooms", 96, 72);
    SharedMap& map = *world_.map;
    // A model of one square facing -x, standing in the hall across several cells.
    Vector corners[4] = {{0.0f, 40.0f, -40.0f}, {0.0f, 40.0f, 40.0f}, {0.0f, -40.0f, 40.0f}, {0.0f, -40.0f, -40.0f}};
    Vector* pointers[4] = {&corners[0], &corners[1], &corners[2], &corners[3]};
    Plane plane{{-1.0f, 0.0f, 0.0f}, 0.0f};
    MapFace face = world_.faces[0];
    face.plane = &plane;
    face.flags &= ~(FACE_SKY | FACE_TRANSPARENT);
    MapPolygon square;
    ASSERT_EQ(setup_texture_axes(square, pointers, 4, &face), 1) << "wound as the map's polygons";
    ModelEntity model;
    model.reset();
    model.set_polygons(&square, 1);
    model.fit_radius();
    model.position = Vector{300.0f, 128.0f, 64.0f};
    mat_translation(model.transform, model.position);
    link_entity(map, model);
    ASSERT_GE(model.linked_leaves, 1);
    const auto drawn = [this, &square]() {
        int n = 0;
        for (const MapPolygon* p : span_polygons()) {
            n += p == &square ? 1 : 0;
        }
        return n;
    };
    const Vector eye{64.0f, 128.0f, 64.0f};
    for (const char* dynamic : {"False", "True"}) {
        set("R_ClipDynamic", dynamic);
        draw(eye, 0.0f, 0.0f);
        EXPECT_GT(drawn(), 96 * 72 / 20) << "R_ClipDynamic " << dynamic;
    }
    set("R_Objects", "False");
    draw(eye, 0.0f, 0.0f);
    EXPECT_EQ(drawn(), 0);
    EXPECT_EQ(renderer_.met_entities, nullptr);
    unlink_entity(map, model);
}

} // namespace

namespace {

TEST_F(BspRendererTest, ACellWithoutPvsSeesEveryCell)
{
    write_map("three", source_file("tools/mapgen/maps/three_rooms.rooms"));
    ASSERT_EQ(load("three"), 1);
    SharedMap& map = *world_.map;
    // As when pvs.bin covers fewer cells than the map: the renderer binds the
    // world anyway and draws such a cell's view as with R_PVS off.
    Cell* const camera = find_leaf(map, Vector{64.0f, 128.0f, 64.0f});
    camera->pvs = nullptr;
    start_view(96, 72);
    draw(Vector{64.0f, 128.0f, 64.0f}, 0.0f, 0.0f);
    const std::vector<uint32_t> without = frame();
    set("R_PVS", "False");
    draw(Vector{64.0f, 128.0f, 64.0f}, 0.0f, 0.0f);
    EXPECT_EQ(frame(), without);
}

} // namespace
