#pragma once
// The writer of textual mesh models ("textualModel,version004"). The header's
// counts are computed from the design; polygons of each skin are written
// strips first, then fans. It shares no code with the engine's reader.
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct ModelCorner {
    uint32_t vertex = 0;
    float u = 0.0f; // texels
    float v = 0.0f;
};

// A strip gives (c0, c1, c2), (c2, c1, c3), (c2, c3, c4), ...: every
// triangle keeps the first one's winding. A fan gives (c0, c1, c2), (c0, c2, c3), ...
struct ModelPolygon {
    bool strip = false;
    std::vector<ModelCorner> corners;
};

struct ModelSkin {
    int width = 0;
    int height = 0;
    std::vector<ModelPolygon> polygons;
};

struct ModelSet {
    std::vector<uint32_t> members; // the group alone for the first sets
    uint32_t vertices = 0;
};

struct ModelGroup {
    uint32_t pivot = 0; // 0: hangs on nothing
    uint32_t points = 0;
};

struct ModelVertex {
    uint32_t group = 0; // the group whose transform a group hanging here takes over
    uint32_t second = 0;
};

struct ModelPoint {
    uint32_t x = 0, y = 0, z = 0; // quantised, 0..255
    uint32_t n = 0;               // normal number
};

struct ModelFrame {
    int32_t group = 0;
    float origin[3] = {};
    float scale[3] = {1.0f, 1.0f, 1.0f};
    std::vector<ModelPoint> points;
};

struct ModelDesign {
    std::string skin_pattern; // its last character becomes the skin's digit
    std::vector<ModelSkin> skins;
    std::vector<ModelSet> sets;
    std::vector<ModelGroup> groups;
    std::vector<ModelVertex> vertices;
    std::vector<ModelFrame> frames;
};

std::string model_text(const ModelDesign& design);
// The triangles the design's polygons make.
uint32_t model_triangles(const ModelDesign& design);

} // namespace tools
