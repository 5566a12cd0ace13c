#pragma once
// Where the two programs' frames are drawn from. On the demo level: eye
// points well inside the hall, the side room and the gallery (the rooms are
// boxes, see game/maps/demo.rooms), each at least 8 units from every wall,
// floor and ceiling and clear of the stairs, looking in many directions. On
// the renderer benchmark's map (tools/mapgen/maps/bench.rooms, 6 x 6 rooms of
// 256 x 256 x 128): points at least 24 units inside a room.
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace pair {

#ifdef OSTREL_PROGRAM_GL
inline constexpr const char* PROGRAM = "ostrel_gl";
#else
inline constexpr const char* PROGRAM = "ostrel";
#endif

struct Pose {
    float x, y, z;
    float heading; // radians about the vertical
    float pitch;   // radians, up positive
};

inline constexpr float TURN = 6.2831853f;

inline constexpr std::array<Pose, 24> DEMO_POSES = {{
    {0, 0, 40, 0.0f, 0.0f},
    {0, 0, 40, 0.25f * TURN, 0.0f},
    {0, 0, 40, 0.5f * TURN, 0.0f},
    {0, 0, 40, 0.75f * TURN, 0.0f},
    {-150, -150, 20, 0.125f * TURN, 0.1f},
    {150, -150, 60, 0.375f * TURN, -0.2f},
    {150, 150, 100, 0.625f * TURN, -0.4f},
    {-150, 150, 0, 0.875f * TURN, 0.3f},
    {-100, 0, 150, 0.1f * TURN, -0.6f},
    {200, 0, 30, 0.0f, 0.05f},
    {200, 0, 30, 0.5f * TURN, 0.05f},
    {0, -200, 50, 0.25f * TURN, 0.0f},
    {0, 200, 50, 0.75f * TURN, 0.0f},
    {0, 200, 50, 0.25f * TURN, 0.0f},
    {-250, -200, 120, 0.05f * TURN, -0.3f},
    {250, 200, -20, 0.55f * TURN, 0.4f},
    {450, 60, 20, 0.5f * TURN, 0.0f},
    {600, 0, 40, 0.3f * TURN, 0.5f},
    {500, -80, 60, 0.8f * TURN, -0.2f},
    {0, 450, 30, 0.75f * TURN, 0.0f},
    {-100, 550, 60, 0.2f * TURN, -0.3f},
    {100, 350, 0, 0.7f * TURN, 0.2f},
    {60, -60, 10, 0.33f * TURN, 0.8f},
    {-60, 60, 170, 0.66f * TURN, -0.9f},
}};

// 24 poses spread over the bench map's rooms.
inline std::vector<Pose> bench_poses()
{
    std::vector<Pose> poses;
    for (int i = 0; i < 24; ++i) {
        const float room_x = 256.0f * static_cast<float>(i % 6);
        const float room_y = 256.0f * static_cast<float>((i * 5 + i / 6) % 6);
        const float u = static_cast<float>((i * 73) % 208) + 24.0f;
        const float v = static_cast<float>((i * 131) % 208) + 24.0f;
        const float z = static_cast<float>((i * 37) % 80) + 24.0f;
        const float heading = TURN * static_cast<float>((i * 7) % 24) / 24.0f;
        const float pitch = 0.5f * std::sin(static_cast<float>(i));
        poses.push_back({room_x + u, room_y + v, z, heading, pitch});
    }
    return poses;
}

inline std::vector<Pose> poses_for(const std::string& map)
{
    return map == "bench" ? bench_poses() : std::vector<Pose>(DEMO_POSES.begin(), DEMO_POSES.end());
}

} // namespace pair
