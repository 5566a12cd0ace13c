// Drawable records per frame at 640 x 480: 20 meshes of 1,000 triangles lit
// by two lights each, and 5 emitters of 500 particles advanced and drawn.
#include "core/config_variable.h"
#include "core/print.h"
#include "core/random_table.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "renderer/mesh_object.h"
#include "renderer/particle_render.h"
#include "renderer/screen_projection.h"
#include "tools/fsys/write_bytes.h"
#include "tools/models/demo_models.h"
#include "world/light_source.h"
#include "world/mesh_normals.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t W = 640;
constexpr int32_t H = 480;
constexpr int ROWS = 21;    // a ball of 20 strips of 50 triangles
constexpr int COLUMNS = 26;

void quiet(int, const char*, uintptr_t) {}

uint32_t nearest_normal(const Vector& n)
{
    uint32_t best = 0;
    for (uint32_t i = 1; i < MESH_NORMALS; ++i) {
        best = vec_dot(mesh_normals[i], n) > vec_dot(mesh_normals[best], n) ? i : best;
    }
    return best;
}

tools::ModelDesign ball(float radius)
{
    tools::ModelDesign d;
    d.skin_pattern = "cubes0";
    d.skins.push_back({32, 32, {}});
    tools::ModelFrame f;
    for (int k = 0; k < 3; ++k) {
        f.origin[k] = -radius;
        f.scale[k] = 2.0f * radius / 255.0f;
    }
    for (int r = 0; r < ROWS; ++r) {
        for (int c = 0; c < COLUMNS; ++c) {
            const double lat = M_PI * (r + 0.5) / ROWS - M_PI / 2;
            const double lon = 2 * M_PI * c / (COLUMNS - 1);
            const Vector n = {float(std::cos(lat) * std::cos(lon)), float(std::cos(lat) * std::sin(lon)),
                              float(std::sin(lat))};
            f.points.push_back({uint32_t(std::lrint((n.x + 1) * 127.5)), uint32_t(std::lrint((n.y + 1) * 127.5)),
                                uint32_t(std::lrint((n.z + 1) * 127.5)), nearest_normal(n)});
            d.vertices.push_back({0, 0});
        }
    }
    for (int r = 0; r + 1 < ROWS; ++r) {
        tools::ModelPolygon strip;
        strip.strip = true;
        for (int c = 0; c < COLUMNS; ++c) {
            strip.corners.push_back({uint32_t(r * COLUMNS + c), float(c), float(r)});
            strip.corners.push_back({uint32_t((r + 1) * COLUMNS + c), float(c), float(r + 1)});
        }
        d.skins[0].polygons.push_back(strip);
    }
    d.sets.push_back({{0}, uint32_t(ROWS * COLUMNS)});
    d.groups.push_back({0, uint32_t(ROWS * COLUMNS)});
    d.frames.push_back(f);
    return d;
}

struct Scene {
    Scene()
    {
        set_stream_handler(quiet, 0);
        std::random_device seed;
        root = std::filesystem::temp_directory_path() / ("ostrel_bench_mesh_" + std::to_string(seed()));
        tools::write_demo_models(root.string());
        const std::string text = tools::model_text(ball(12.0f));
        tools::write_bytes((root / "models/demo/ball.txt").string().c_str(),
                           std::vector<uint8_t>(text.begin(), text.end()));
        files.init();
        files.mount(root.string().c_str(), 1, 10);
        fsys = &files;
        cvar_list = &variables;
        sine.init(4096);
        sine_table = &sine;
        random.init(4096);
        random_table = &random;

        pixels.assign(W * H, 0);
        depth.assign(W * H, 0);
        for (int32_t y = 0; y < H; ++y) {
            offsets.push_back(y * W);
            rows.push_back(depth.data() + y * W);
        }
        p.window_pixels = pixels.data();
        p.line_offset = offsets.data();
        p.depth_buffer = depth.data();
        p.depth_rows = rows.data();
        p.xsize = W;
        p.ysize = H;
        p.centre_x_fixed = W / 2 << 16;
        p.centre_y_fixed = H / 2 << 16;
        p.xscale_fixed = p.yscale_fixed = 320.0 * 65536.0;
        p.rgb_layout[0] = 16;
        p.rgb_layout[1] = 8;
        p.rgb_layout[3] = 24;
        for (int i = 1; i < PROJECTION_RECIPROCALS; ++i) {
            p.reciprocal[i] = 1.0f / static_cast<float>(i);
        }
        mat_identity(p.transform);
        p.vars[PV_LIGHTING] = variables.link(CVTYPE_BOOL, 0x120, "R_Lighting", "True", 0);
        p.vars[PV_TEXTURE] = variables.link(CVTYPE_BOOL, 0x120, "R_Texture", "True", 0);
        p.vars[PV_MMX] = variables.link(CVTYPE_BOOL, 0x100, "MMX", "True", 0);
        p.vars[PV_PERSPMESH] = variables.link(CVTYPE_BOOL, 0x120, "R_Perspmesh", nullptr, 0);
        model.set_name("demo", "ball");
    }
    ~Scene()
    {
        for (ConfigVariable*& v : p.vars) {
            if (v != nullptr) {
                variables.release(v);
                v = nullptr;
            }
        }
        p.depth_buffer = nullptr;
        p.depth_rows = nullptr;
        files.close();
        fsys = nullptr;
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    void clear()
    {
        std::memset(pixels.data(), 0, pixels.size() * sizeof(uint32_t));
        std::memset(depth.data(), 0, depth.size() * sizeof(uint16_t));
    }
    double drawn() const
    {
        double n = 0;
        for (const uint32_t v : pixels) {
            n += v != 0 ? 1 : 0;
        }
        return n;
    }
    std::filesystem::path root;
    FSys files;
    ConfigVariableList variables;
    SineTable sine;
    RandomTable random;
    std::vector<uint32_t> pixels;
    std::vector<uint16_t> depth;
    std::vector<int32_t> offsets;
    std::vector<uint16_t*> rows;
    ScreenProjection p;
    MeshModel model;
};

Scene& scene()
{
    static Scene s;
    return s;
}

void meshes(benchmark::State& state, bool persp)
{
    Scene& s = scene();
    s.p.vars[PV_PERSPMESH]->set_bool(persp ? 1 : 0);
    LampData lamp;
    lamp.set_colour(0xFFE0C0);
    LightSource lights[2];
    for (LightSource& l : lights) {
        l.set_intensity(1.0f);
    }
    lights[0].set_range(4.0f);
    lights[0].set_lamp(&lamp);
    lights[0].set_position({-60, -40, 0}, {0, 0, 1});
    lights[1].set_range(3.0f);
    lights[1].set_colour(0x4060FF);
    lights[1].set_position({60, 40, 100}, {0, 0, 1});
    EntityLink second = {&lights[1], nullptr};
    EntityLink first = {&lights[0], &second};
    std::vector<MeshObject> objects(20);
    for (int i = 0; i < 20; ++i) {
        MeshObject& m = objects[static_cast<size_t>(i)];
        m.attach(&s.model, s.p);
        m.set_skin(0x303030);
        m.light_list_a = &first;
        mat_translation(m.transform, {float((i % 5) - 2) * 28.0f, float((i / 5) - 1.5f) * 28.0f, 120.0f});
        mat_get_translation(m.position, m.transform);
    }
    if (s.model.model == nullptr || s.model.model->triangles != 1000) {
        state.SkipWithError("the ball did not load");
        return;
    }
    for (auto _ : state) {
        s.clear();
        for (MeshObject& m : objects) {
            m.draw(s.p);
        }
        benchmark::DoNotOptimize(s.pixels.data());
    }
    state.counters["triangles"] = 20000;
    state.counters["pixels"] = s.drawn();
}

void BM_Meshes20x1000Lit(benchmark::State& state) { meshes(state, false); }
void BM_Meshes20x1000Persp(benchmark::State& state) { meshes(state, true); }

void BM_Emitters5x500(benchmark::State& state)
{
    Scene& s = scene();
    std::vector<ParticleRender> systems(5);
    for (int i = 0; i < 5; ++i) {
        ParticleRender& ps = systems[static_cast<size_t>(i)];
        ps.allocate(500);
        ps.set_mode(PARTICLE_CONTINUOUS | PARTICLE_BLEND);
        ps.setup_emitter({0, 0, 0}, {2, 2, 2}, {0, -20, 0}, {30, 20, 30}, 0);
        ps.set_acceleration({0, 40, 0});
        ps.set_colours(0x2080F0, 0x204010, s.p.rgb_layout);
        ps.set_fade(0.3f, 0.2f, 0.6f);
        ps.set_parameter(140);
        mat_translation(ps.transform, {float(i - 2) * 30.0f, 0.0f, 100.0f});
        ps.start(100, 50, 140, 1, 140);
    }
    for (int warm = 0; warm < 200; ++warm) {
        for (ParticleRender& ps : systems) {
            ps.simulate(1);
        }
    }
    for (auto _ : state) {
        s.clear();
        for (ParticleRender& ps : systems) {
            ps.simulate(1);
            ps.draw(s.p);
        }
        benchmark::DoNotOptimize(s.pixels.data());
    }
    state.counters["pixels"] = s.drawn();
}

} // namespace

BENCHMARK(BM_Meshes20x1000Lit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Meshes20x1000Persp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Emitters5x500)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
