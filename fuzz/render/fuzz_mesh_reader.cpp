// Reads any bytes as a textual mesh model beside our own models' skins, and
// draws what loads in every pose its frames allow, into a small window.
#include "core/config_variable.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "fuzz/fsys/fuzz_scratch.h"
#include "renderer/mesh_object.h"
#include "renderer/screen_projection.h"
#include "tools/models/demo_models.h"

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t W = 64;
constexpr int32_t H = 48;

struct World {
    World()
    {
        set_stream_handler(fuzz::quiet, 0);
        std::random_device seed;
        root = std::filesystem::temp_directory_path() / ("ostrel_fuzz_mesh_" + std::to_string(seed()));
        tools::write_demo_models(root.string());
        files.init();
        files.mount(root.string().c_str(), 1, 10);
        fsys = &files;
        cvar_list = &variables;
        sine.init(4096);
        sine_table = &sine;
        // A window by hand: 64 x 48, the camera 100 units behind the origin.
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
        p.xscale_fixed = p.yscale_fixed = 32.0 * 65536.0;
        p.rgb_layout[0] = 16;
        p.rgb_layout[1] = 8;
        p.rgb_layout[3] = 24;
        for (int i = 1; i < PROJECTION_RECIPROCALS; ++i) {
            p.reciprocal[i] = 1.0f / static_cast<float>(i);
        }
        mat_identity(p.transform);
        p.transform.m[11] = 100.0f;
    }
    ~World()
    {
        p.depth_buffer = nullptr; // ours, not the projection's
        p.depth_rows = nullptr;
        files.close();
        fsys = nullptr;
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    std::filesystem::path root;
    FSys files;
    ConfigVariableList variables;
    SineTable sine;
    std::vector<uint32_t> pixels;
    std::vector<uint16_t> depth;
    std::vector<int32_t> offsets;
    std::vector<uint16_t*> rows;
    ScreenProjection p;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static World world;
    if (!fuzz::write_scratch((world.root / "models" / "demo" / "x.txt").string(), data, size)) {
        return 0;
    }
    MeshModel model;
    if (model.set_name("demo", "x") == 0) {
        return 0;
    }
    MeshObject mesh;
    mesh.attach(&model, world.p);
    if (model.model == nullptr) {
        return 0;
    }
    const int32_t frames = model.model->frames;
    for (int32_t f = -1; f <= frames && f < 8; ++f) {
        for (int32_t g = 0; g < model.model->groups; ++g) {
            mesh.set_pose(g, f, f + 1, 0.5f);
        }
        mesh.draw(world.p);
    }
    return 0;
}
