#include "tools/tmm/tmm_writer.h"

#include <cstdio>

namespace tmm {

namespace {

std::string number(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

std::string triple(const std::array<double, 3>& v)
{
    return number(v[0]) + " " + number(v[1]) + " " + number(v[2]) + "\n";
}

} // namespace

std::string write_model(const Model& m)
{
    int timed = 0;
    for (const Cycle& c : m.cycles) {
        timed += static_cast<int>(c.frames.size());
    }
    std::string out = "textualMetaModel,version001\n";
    if (m.comments) {
        out += "# written by the tmm tool\n";
    }
    out += std::to_string(m.tags.size()) + "\n";
    out += std::to_string(m.second_count) + "\n";
    out += std::to_string(m.cycles.size()) + "\n";
    out += std::to_string(m.poses) + "\n";
    out += std::to_string(m.frame_count.value_or(timed)) + "\n";
    out += triple(m.size);
    out += triple(m.collision_size);
    out += number(m.radius) + "\n";
    out += triple(m.hook);
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%x\n", m.flags);
    out += flags;
    for (const Tag& t : m.tags) {
        out += t.name + " " + std::to_string(t.value) + "\n";
    }
    for (const Cycle& c : m.cycles) {
        out += std::to_string(c.frames.size()) + " " + number(c.distance) + " " + number(c.divisor) + "\n";
        if (m.comments) {
            out += "# frames of the cycle\n";
        }
        std::string line;
        for (const Frame& f : c.frames) {
            line += std::to_string(f.frame) + " " + number(f.duration * c.divisor) + " ";
        }
        out += line + std::to_string(c.end_pose) + "\n";
    }
    return out;
}

Model demo_walker()
{
    Model m;
    m.tags = {{"weapon", 3}, {"head", 7}};
    m.poses = 10;
    m.flags = 1;
    Cycle walk;
    for (int f = 0; f < 8; ++f) {
        walk.frames.push_back({f, 0.1});
    }
    walk.distance = 64.0;
    walk.divisor = 10.0;
    walk.end_pose = 0;
    Cycle wave;
    for (int f = 0; f < 4; ++f) {
        wave.frames.push_back({6 + f % 4, 0.2});
    }
    wave.end_pose = 9;
    m.cycles = {walk, wave};
    return m;
}

} // namespace tmm
