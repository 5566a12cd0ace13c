#pragma once
// Textual meta-models: the header "textualMetaModel,version001", the tag,
// second, cycle, pose and timed-frame counts, the size, collision size,
// radius, hook and flags, a "name value" line per tag, then per cycle a line
// "frames distance divisor" and a line of "frame duration" pairs ending with
// the cycle's end pose. Durations are written multiplied by the divisor.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tmm {

struct Frame {
    int frame = 0;
    double duration = 0.1; // seconds
};

struct Cycle {
    std::vector<Frame> frames;
    double distance = 0.0;
    double divisor = 1.0;
    int end_pose = 0;
};

struct Tag {
    std::string name;
    int32_t value = 0;
};

struct Model {
    std::vector<Tag> tags;
    int second_count = 0;
    std::vector<Cycle> cycles;
    int poses = 1;
    std::array<double, 3> size{32.0, 32.0, 64.0};
    std::array<double, 3> collision_size{32.0, 32.0, 64.0};
    double radius = 48.0;
    std::array<double, 3> hook{0.0, 0.0, 0.0};
    uint32_t flags = 0;
    // Comment lines ("# ...") before each cycle's frame line, to test readers.
    bool comments = false;
    // The timed-frame count to write in place of the cycles' own.
    std::optional<int> frame_count;
};

std::string write_model(const Model& m);
// A walking model of the demo: a loop of 8 frames, a wave of 4, 10 poses.
Model demo_walker();

} // namespace tmm
