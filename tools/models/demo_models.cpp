#include "tools/models/demo_models.h"

#include "tools/fsys/write_bytes.h"

#include <array>
#include <cstdio>
#include <filesystem>

namespace tools {

namespace {

constexpr int SKIN_SIZE = 32;

struct Face {
    int axis;
    int side; // 0 low, 1 high
    uint32_t normal;
};

constexpr Face FACES[6] = {{0, 1, 52}, {0, 0, 143}, {1, 1, 32}, {1, 0, 104}, {2, 1, 5}, {2, 0, 84}};

// The four corners of a face as 0/1 per axis, clockwise seen from outside:
// (b - a) x (c - a) points into the box.
std::array<std::array<int, 3>, 4> face_corners(const Face& f)
{
    const int u = (f.axis + 1) % 3;
    const int v = (f.axis + 2) % 3;
    std::array<std::array<int, 3>, 4> c{};
    const int uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        c[i][f.axis] = f.side;
        c[i][u] = uv[i][0];
        c[i][v] = uv[i][1];
    }
    // With u, v following the axis cyclically, a (0,0) (1,0) (1,1) turn has
    // its normal along +axis: outward on the high side, so reverse it there.
    if (f.side == 1) {
        std::swap(c[1], c[3]);
    }
    return c;
}

} // namespace

void add_box_faces(ModelDesign& design, uint32_t first, uint32_t group)
{
    if (design.skins.empty()) {
        design.skins.push_back({SKIN_SIZE, SKIN_SIZE, {}});
    }
    const float s = static_cast<float>(SKIN_SIZE);
    const float uv[4][2] = {{0, 0}, {s, 0}, {s, s}, {0, s}};
    for (int f = 0; f < 6; ++f) {
        ModelPolygon strip;
        strip.strip = true;
        const uint32_t base = first + 4 * static_cast<uint32_t>(f);
        // Corners a b c d clockwise; the strip a b d c keeps that winding.
        for (const int i : {0, 1, 3, 2}) {
            strip.corners.push_back({base + static_cast<uint32_t>(i), uv[i][0], uv[i][1]});
        }
        design.skins[0].polygons.push_back(strip);
        for (int i = 0; i < 4; ++i) {
            design.vertices.push_back({group, 0});
        }
    }
}

void box_frame(ModelFrame& frame, int32_t group, const ModelBox& box)
{
    frame.group = group;
    for (int k = 0; k < 3; ++k) {
        frame.origin[k] = box.lo[k];
        frame.scale[k] = (box.hi[k] - box.lo[k]) / 255.0f;
    }
    for (const Face& f : FACES) {
        for (const auto& c : face_corners(f)) {
            frame.points.push_back({c[0] * 255u, c[1] * 255u, c[2] * 255u, f.normal});
        }
    }
}

ModelDesign cube_model()
{
    ModelDesign d;
    d.skin_pattern = "cubes0";
    add_box_faces(d, 0, 0);
    d.sets.push_back({{0}, 24});
    d.groups.push_back({0, 24});
    ModelFrame frame;
    box_frame(frame, 0, {{-16, -16, -16}, {16, 16, 16}});
    d.frames.push_back(frame);
    return d;
}

ModelDesign figure_model()
{
    ModelDesign d;
    d.skin_pattern = "figures0";
    add_box_faces(d, 0, 0);                // body 0..23
    d.vertices.push_back({0, 1});          // neck 24
    d.vertices.push_back({0, 2});          // shoulder 25
    add_box_faces(d, 26, 1);               // head 26..49
    add_box_faces(d, 50, 2);               // arm 50..73
    d.vertices.push_back({0, 3});          // joint 74
    // The joint closes a gap between the body's side and the arm's top.
    d.skins[0].polygons.push_back({false, {{FIGURE_JOINT, 16, 0}, {0, 0, 16}, {50, 32, 32}}});
    d.sets = {{{0}, 26}, {{1}, 24}, {{2}, 24}, {{0, 2}, 1}};
    d.groups = {{0, 27}, {FIGURE_NECK, 24}, {FIGURE_SHOULDER, 25}};

    // Body poses: the tagged points follow the body's top.
    const ModelBox bodies[3] = {{{-8, -4, 0}, {8, 4, 40}}, {{-8, -4, 0}, {14, 4, 38}}, {{-10, -5, 0}, {10, 5, 26}}};
    for (const ModelBox& b : bodies) {
        ModelFrame f;
        box_frame(f, 0, b);
        const float top = b.hi[2];
        const float span[3] = {b.hi[0] - b.lo[0], b.hi[1] - b.lo[1], top - b.lo[2]};
        auto point = [&](float x, float y, float z, uint32_t n) {
            return ModelPoint{static_cast<uint32_t>((x - b.lo[0]) / span[0] * 255.0f + 0.5f),
                              static_cast<uint32_t>((y - b.lo[1]) / span[1] * 255.0f + 0.5f),
                              static_cast<uint32_t>((z - b.lo[2]) / span[2] * 255.0f + 0.5f), n};
        };
        const float centre_x = 0.5f * (b.lo[0] + b.hi[0]);
        f.points.push_back(point(centre_x, 0.0f, top, 5));          // neck
        f.points.push_back(point(b.hi[0], 0.0f, top - 4.0f, 52));  // shoulder
        f.points.push_back(point(b.hi[0], 0.0f, top - 8.0f, 52));  // joint, the body's share
        d.frames.push_back(f);
    }
    ModelFrame head;
    box_frame(head, 1, {{-5, -5, 0}, {5, 5, 10}});
    d.frames.push_back(head);
    const ModelBox arms[2] = {{{0, -2, -24}, {4, 2, 0}}, {{0, -2, 0}, {24, 2, 4}}};
    for (const ModelBox& a : arms) {
        ModelFrame f;
        box_frame(f, 2, a);
        f.points.push_back({0, 128, 255, 52}); // joint, the arm's share: its top inner edge
        d.frames.push_back(f);
    }
    return d;
}

TextureImage model_skin(int seed)
{
    TextureImage image;
    image.width = SKIN_SIZE;
    image.height = SKIN_SIZE;
    for (int i = 0; i < 256; ++i) {
        image.palette[3 * i] = static_cast<uint8_t>(i);
        image.palette[3 * i + 1] = static_cast<uint8_t>((i * 3 + seed * 40) & 0xFF);
        image.palette[3 * i + 2] = static_cast<uint8_t>(255 - i);
    }
    for (int y = 0; y < SKIN_SIZE; ++y) {
        for (int x = 0; x < SKIN_SIZE; ++x) {
            const bool light = ((x / 8) + (y / 8)) % 2 == 0;
            image.index.push_back(static_cast<uint8_t>(light ? 200 + x % 8 : 40 + y % 8));
        }
    }
    return image;
}

bool write_demo_models(const std::string& base)
{
    const std::filesystem::path dir = std::filesystem::path(base) / "models" / "demo";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    const struct {
        const char* name;
        const char* skin;
        ModelDesign design;
    } models[] = {{"cube", "cubes0", cube_model()}, {"figure", "figures0", figure_model()}};
    int seed = 0;
    for (const auto& m : models) {
        const std::string text = model_text(m.design);
        const std::string model_path = (dir / (std::string(m.name) + ".txt")).string();
        const std::string skin_path = (dir / (std::string(m.skin) + ".cmt")).string();
        if (error || !write_bytes(model_path.c_str(), std::vector<uint8_t>(text.begin(), text.end())) ||
            !write_bytes(skin_path.c_str(), cmt_bytes(model_skin(seed++)))) {
            std::fprintf(stderr, "ostrel_models: can't write the model %s under %s\n", m.name, dir.c_str());
            return false;
        }
    }
    return true;
}

} // namespace tools
