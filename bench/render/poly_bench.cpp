// The software renderer's polygon path: light_surface with 0, 4 and 8
// dynamic lights (per call and per light texel), clip-tree insertion, the
// edge list's scan, and a scene of 1000 polygons taken to spans (per frame
// and per covered pixel). A 320 x 240 window, camera at the origin along +z.
#include "core/config_variable.h"
#include "core/print.h"
#include "world/view/light_surface.h"
#include "render/poly_renderer.h"
#include "renderer/screen_projection.h"
#include "soft/lighting_tables.h"
#include "world/bsp_tree.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <random>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

constexpr int32_t WIDTH = 320;
constexpr int32_t HEIGHT = 240;

// A projection filled by hand: no video mode, no depth buffer.
struct BenchView {
    BenchView()
    {
        set_stream_handler(quiet, 0);
        cvar_list = &variables;
        p.xsize = WIDTH;
        p.ysize = HEIGHT;
        p.max_xres = WIDTH;
        p.max_yres = HEIGHT;
        p.centre_x = WIDTH / 2;
        p.centre_y = HEIGHT / 2;
        p.centre_x_fixed = p.centre_x << 16;
        p.centre_y_fixed = p.centre_y << 16;
        p.xscale = p.centre_x / 0.5;
        p.yscale = p.centre_y / 0.375;
        p.xscale_fixed = p.xscale * 65536.0;
        p.yscale_fixed = p.yscale * 65536.0;
        p.inv_xscale = 1.0 / p.xscale;
        p.inv_yscale = 1.0 / p.yscale;
        mat_identity(p.transform);
        const auto side = [](double x, double y, double z) {
            const double l = std::sqrt(x * x + y * y + z * z);
            return Vector{static_cast<float>(x / l), static_cast<float>(y / l), static_cast<float>(z / l)};
        };
        p.side_normals[SIDE_LEFT] = side(p.xscale, 0, p.centre_x + 1.0);
        p.side_normals[SIDE_RIGHT] = side(-p.xscale, 0, WIDTH - p.centre_x + 1.0);
        p.side_normals[SIDE_TOP] = side(0, p.yscale, p.centre_y + 1.0);
        p.side_normals[SIDE_BOTTOM] = side(0, -p.yscale, HEIGHT - p.centre_y + 1.0);
        for (int s = 0; s < SIDE_COUNT; ++s) {
            p.side_planes[s] = Plane{p.side_normals[s], 0.0f};
        }
        for (int i = 1; i < PROJECTION_RECIPROCALS; ++i) {
            p.reciprocal[i] = 1.0f / static_cast<float>(i);
        }
    }
    ~BenchView() { cvar_list = nullptr; }
    ConfigVariableList variables;
    ScreenProjection p;
};

// Convex polygons in layers, nearest first, clockwise on the screen.
struct Soup {
    struct Item {
        std::vector<Vector> vertices;
        std::vector<Vector*> pointers;
        Plane plane;
        MapFace face;
        MapPolygon polygon;
    };
    explicit Soup(int count, uint32_t seed)
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> sx(-0.6, 0.6);
        std::uniform_real_distribution<double> sy(-0.45, 0.45);
        std::uniform_real_distribution<double> radius(0.02, 0.12);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        double z = 4.0;
        for (int i = 0; i < count; ++i) {
            items.emplace_back();
            Item& it = items.back();
            const double cx = sx(rng);
            const double cy = sy(rng);
            const double r = radius(rng);
            const int n = 3 + i % 6;
            std::vector<double> angles;
            for (int k = 0; k < n; ++k) {
                angles.push_back(unit(rng) * 2.0 * M_PI);
            }
            std::sort(angles.begin(), angles.end());
            for (const double a : angles) {
                it.vertices.push_back(Vector{static_cast<float>((cx + r * std::cos(a)) * z),
                                             static_cast<float>((cy + r * std::sin(a)) * z), static_cast<float>(z)});
            }
            for (Vector& v : it.vertices) {
                it.pointers.push_back(&v);
            }
            it.plane = Plane{{0, 0, -1}, static_cast<float>(z)};
            it.face.plane = &it.plane;
            it.face.u_axis = Vector{0.1f, 0, 0};
            it.face.v_axis = Vector{0, 0.1f, 0};
            it.face.area = 0.01f;
            setup_texture_axes(it.polygon, it.pointers.data(), n, &it.face);
            z *= 1.002;
        }
    }
    std::deque<Item> items;
};

void BM_LightSurface(benchmark::State& state)
{
    build_lighting_tables();
    const int lights = static_cast<int>(state.range(0));
    constexpr int SIZE = 16;
    Plane plane{{0, 0, 1}, 0};
    MapFace face;
    face.plane = &plane;
    face.u_axis = Vector{1, 0, 0};
    face.v_axis = Vector{0, 1, 0};
    MapPolygon polygon;
    polygon.face = &face;
    polygon.plane = &plane;
    std::vector<LightRow> rows(SIZE);
    std::vector<uint8_t> samples(SIZE * SIZE, 90);
    for (int r = 0; r < SIZE; ++r) {
        rows[static_cast<size_t>(r)] = LightRow{static_cast<int16_t>(r * SIZE), 0, SIZE};
    }
    polygon.lightmap = LightRows{rows.data(), SIZE, SIZE, 180.0f};
    polygon.samples = samples.data();
    std::deque<LightSource> sources;
    std::deque<LampData> lamps;
    std::vector<EntityLink> links(static_cast<size_t>(lights));
    for (int i = 0; i < lights; ++i) {
        sources.emplace_back(ENTITY_TYPE_LAMP_LIGHT);
        lamps.emplace_back();
        LightSource& l = sources.back();
        l.set_range(1.5f);
        l.set_intensity(0.8f);
        l.set_kind(i % 2 == 0 ? 0u : 0x3F000000u); // omni, or a spot of factor 0.5
        l.set_position(Vector{20.0f + 30.0f * i, 100.0f, 40.0f}, Vector{0, 0, -1});
        l.set_lamp(&lamps.back());
        links[static_cast<size_t>(i)] = EntityLink{&l, i + 1 < lights ? &links[static_cast<size_t>(i + 1)] : nullptr};
    }
    TransformBlock block;
    mat_identity(block.matrix);
    mat_identity(block.object);
    PolygonRef ref;
    ref.polygon = &polygon;
    ref.transform = &block;
    ref.list_b = lights > 0 ? links.data() : nullptr;
    for (auto _ : state) {
        light_surface(ref, 1);
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_texel"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * SIZE * SIZE,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LightSurface)->Arg(0)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

void BM_ClipTreeInsert(benchmark::State& state)
{
    BenchView view;
    const Soup soup(1000, 3);
    BcpTree tree;
    tree.alloc(POLY_BCP_NODES);
    int64_t inserted = 0;
    for (auto _ : state) {
        tree.reset(Vector{0, 0, 0}, view.p.side_planes, SIDE_COUNT);
        for (const Soup::Item& it : soup.items) {
            benchmark::DoNotOptimize(tree.insert_polygon(it.pointers.data(),
                                                         static_cast<int32_t>(it.pointers.size()), 1));
        }
        inserted += static_cast<int64_t>(soup.items.size());
    }
    state.counters["ns_per_insert"] =
        benchmark::Counter(static_cast<double>(inserted), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ClipTreeInsert)->Unit(benchmark::kMicrosecond);

// The 1000 polygons to surfaces and spans: add_polygon for each (facing,
// clip structures off or on, view clip, projection, edge list), then the scan.
void BM_SceneToSpans(benchmark::State& state)
{
    BenchView view;
    Soup soup(1000, 5);
    PolyRenderer renderer;
    if (renderer.init(&view.p) == 0) {
        state.SkipWithError("init");
        return;
    }
    const bool clip = state.range(0) != 0;
    renderer.vars[PLV_CLIPCONE]->set_bool(clip ? 1 : 0);
    renderer.vars[PLV_CLIPRASTER]->set_bool(clip ? 1 : 0);
    TransformBlock world;
    int64_t pixels = 0;
    for (auto _ : state) {
        renderer.begin_frame();
        renderer.set_transform(world, nullptr);
        int key = 2000;
        for (Soup::Item& it : soup.items) {
            PolygonRef ref;
            ref.polygon = &it.polygon;
            ref.transform = &world;
            ref.order_key = key--;
            renderer.add_polygon(ref, clip ? POLY_CLIP | POLY_OCCLUDER | POLY_HIDDEN_DROP : POLY_CLIP);
        }
        renderer.edges.scan();
        for (int32_t i = 0; i < renderer.edges.active_surfaces; ++i) {
            for (const Span* s = renderer.edges.surfaces()[i].spans; s != nullptr; s = s->next) {
                pixels += s->count;
            }
        }
    }
    state.counters["ns_per_pixel"] =
        benchmark::Counter(static_cast<double>(pixels), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["surfaces"] = renderer.edges.active_surfaces;
}
BENCHMARK(BM_SceneToSpans)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The scan alone, over the edges of the same scene.
void BM_EdgeScan(benchmark::State& state)
{
    BenchView view;
    Soup soup(1000, 5);
    PolyRenderer renderer;
    if (renderer.init(&view.p) == 0) {
        state.SkipWithError("init");
        return;
    }
    TransformBlock world;
    renderer.begin_frame();
    renderer.set_transform(world, nullptr);
    int key = 2000;
    for (Soup::Item& it : soup.items) {
        PolygonRef ref;
        ref.polygon = &it.polygon;
        ref.transform = &world;
        ref.order_key = key--;
        renderer.add_polygon(ref, POLY_CLIP);
    }
    for (auto _ : state) {
        for (int32_t i = 0; i < renderer.edges.active_surfaces; ++i) {
            renderer.edges.surfaces()[i].spans = nullptr;
        }
        renderer.edges.active_spans = 0;
        renderer.edges.scan();
    }
    state.counters["edges"] = renderer.edges.active_edges;
    state.counters["ns_per_line"] = benchmark::Counter(static_cast<double>(state.iterations()) * HEIGHT,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EdgeScan)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
