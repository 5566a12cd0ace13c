#include "tools/models/demo_models.h"

#include "tools/fsys/write_bytes.h"

#include <algorithm>
#include <array>
#include <cmath>
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

namespace {

// A limb of the walker: a box between the centres of its top and bottom
// faces, so that a swinging limb is a sheared box.
struct Limb {
    float top[3];
    float bottom[3];
    float half[2];
};

// The walker's six boxes in one pose: swing moves the feet along y (the
// arms the other way), raise lifts the right arm over the head.
std::array<Limb, 6> walker_pose(float swing, bool raise)
{
    const float arm = -0.6f * swing;
    std::array<Limb, 6> l = {{
        {{0, 0, 46}, {0, 0, 26}, {7, 4}},        // torso
        {{0, 0, 57}, {0, 0, 47}, {5, 5}},        // head
        {{-4, 0, 26}, {-4, swing, 0}, {3, 3}},   // legs
        {{4, 0, 26}, {4, -swing, 0}, {3, 3}},
        {{-9, 0, 45}, {-9, -arm, 25}, {2, 2}},   // arms
        {{9, 0, 45}, {9, arm, 25}, {2, 2}},
    }};
    if (raise) {
        l[5] = {{9, 0, 66}, {9, 0, 45}, {2, 2}};
    }
    return l;
}

ModelFrame limbs_frame(const std::vector<Limb>& limbs)
{
    std::vector<std::array<float, 3>> corners;
    std::vector<uint32_t> normals;
    for (const Limb& limb : limbs) {
        for (const Face& f : FACES) {
            for (const auto& c : face_corners(f)) {
                const float* const end = c[2] != 0 ? limb.top : limb.bottom;
                corners.push_back({end[0] + (c[0] != 0 ? limb.half[0] : -limb.half[0]),
                                   end[1] + (c[1] != 0 ? limb.half[1] : -limb.half[1]), end[2]});
                normals.push_back(f.normal);
            }
        }
    }
    ModelFrame frame;
    float lo[3] = {1e9f, 1e9f, 1e9f};
    float hi[3] = {-1e9f, -1e9f, -1e9f};
    for (const auto& p : corners) {
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    for (int k = 0; k < 3; ++k) {
        frame.origin[k] = lo[k];
        frame.scale[k] = (hi[k] - lo[k]) / 255.0f;
    }
    for (size_t i = 0; i < corners.size(); ++i) {
        uint32_t q[3];
        for (int k = 0; k < 3; ++k) {
            q[k] = static_cast<uint32_t>(std::lround((corners[i][k] - lo[k]) / frame.scale[k]));
        }
        frame.points.push_back({q[0], q[1], q[2], normals[i]});
    }
    return frame;
}

ModelFrame walker_frame(const std::array<Limb, 6>& limbs)
{
    return limbs_frame(std::vector<Limb>(limbs.begin(), limbs.end()));
}

} // namespace

ModelDesign walker_model()
{
    ModelDesign d;
    d.skin_pattern = "walkers0";
    for (uint32_t b = 0; b < 6; ++b) {
        add_box_faces(d, 24 * b, 0);
    }
    d.sets = {{{0}, 144}};
    d.groups = {{0, 144}};
    for (int f = 0; f < WALKER_WALK_FRAMES; ++f) {
        const float swing = 10.0f * std::sin(2.0f * static_cast<float>(M_PI) * static_cast<float>(f) /
                                             static_cast<float>(WALKER_WALK_FRAMES));
        d.frames.push_back(walker_frame(walker_pose(swing, false)));
    }
    d.frames.push_back(walker_frame(walker_pose(0.0f, true)));
    d.frames.push_back(walker_frame(walker_pose(4.0f, true)));
    return d;
}

// Boxes of one group and one frame, in the model's own space.
ModelDesign boxes_model(const char* skin, const std::vector<ModelBox>& boxes)
{
    ModelDesign d;
    d.skin_pattern = skin;
    const auto n = static_cast<uint32_t>(boxes.size());
    for (uint32_t b = 0; b < n; ++b) {
        add_box_faces(d, 24 * b, 0);
    }
    d.sets = {{{0}, 24 * n}};
    d.groups = {{0, 24 * n}};
    std::vector<Limb> limbs;
    for (const ModelBox& b : boxes) {
        const float cx = 0.5f * (b.lo[0] + b.hi[0]);
        const float cy = 0.5f * (b.lo[1] + b.hi[1]);
        limbs.push_back({{cx, cy, b.hi[2]}, {cx, cy, b.lo[2]}, {0.5f * (b.hi[0] - b.lo[0]), 0.5f * (b.hi[1] - b.lo[1])}});
    }
    d.frames.push_back(limbs_frame(limbs));
    return d;
}

ModelDesign door_model() { return boxes_model("doors0", {{{-64, -8, -80}, {64, 8, 80}}}); }

ModelDesign steps_model()
{
    // Four steps of 16, 32 deep, rising toward -x, the model's origin at the
    // middle of the flight's foot.
    std::vector<ModelBox> steps;
    for (int k = 0; k < 4; ++k) {
        const float x_hi = 64.0f - 32.0f * static_cast<float>(k);
        steps.push_back({{x_hi - 32.0f, -64, 0}, {x_hi, 64, 16.0f * static_cast<float>(k + 1)}});
    }
    return boxes_model("stepss0", steps);
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
    const std::filesystem::path models = std::filesystem::path(base) / "models";
    const std::filesystem::path dir = models / "demo";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    const struct {
        std::filesystem::path dir;
        const char* name;
        const char* skin;
        ModelDesign design;
    } written[] = {{dir, "cube", "cubes0", cube_model()},
                   {dir, "figure", "figures0", figure_model()},
                   {dir, "door", "doors0", door_model()},
                   {dir, "steps", "stepss0", steps_model()},
                   {models, "walker", "walkers0", walker_model()}};
    int seed = 0;
    for (const auto& m : written) {
        const std::string text = model_text(m.design);
        const std::string model_path = (m.dir / (std::string(m.name) + ".txt")).string();
        const std::string skin_path = (m.dir / (std::string(m.skin) + ".cmt")).string();
        if (error || !write_bytes(model_path.c_str(), std::vector<uint8_t>(text.begin(), text.end())) ||
            !write_bytes(skin_path.c_str(), cmt_bytes(model_skin(seed++)))) {
            std::fprintf(stderr, "ostrel_models: can't write the model %s under %s\n", m.name, dir.c_str());
            return false;
        }
    }
    return true;
}

} // namespace tools
