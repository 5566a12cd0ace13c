#include "recorded_walk.h"
#include "support/scan_codes.h"

#include "client/client.h"
#include "client/cobj_manager.h"
#include "engine/engine.h"
#include "support/print_capture.h"

#include <bit>
#include <cmath>
#include <fstream>
#include <sstream>

namespace e2e {

namespace {

constexpr uint32_t VK_RIGHT = 0x27;

} // namespace

void RecordedWalk::walk_recorded(const std::string& name, HeldObjects& live)
{
    run("Set Client_Administrator True\nKeyDef W Forward\nKeyDef Right HeadingRight\nRecord " + name +
        "\nConnect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    ASSERT_TRUE(client().map_active());

    const Vector start = client().camera()->pose[0].position;
    key('W', SCAN_W, true);
    for (int i = 0; i < 140; ++i) {
        if (i == 70) {
            key(VK_RIGHT, SCAN_RIGHT, true, true);
        } else if (i == 90) {
            key(VK_RIGHT, SCAN_RIGHT, false, true);
        } else if (i == 120) {
            key('W', SCAN_W, false);
        }
        ASSERT_EQ(frame(), 1);
    }
    live = held();
    const Vector end = client().camera()->pose[0].position;
    ASSERT_GT(std::hypot(end.x - start.x, end.y - start.y), 100.0f) << "the player walked";
    ASSERT_GT(live.size(), 5u) << "the camera and the level's objects";
    EXPECT_EQ(client().damaged_messages(), 0);
    run("Disconnect");
    ASSERT_EQ(frame(), 1);
    ASSERT_FALSE(client().map_active());
    ASSERT_TRUE(std::filesystem::exists(name + ".vcr"));
}

void RecordedWalk::play_back(const std::string& name, const HeldObjects& expected)
{
    run("Set TimeDemo 1\nConnect vcr." + name);
    PrintCapture capture;
    HeldObjects replayed;
    int frames = 0;
    // The recording holds fewer updates than the frames it took; a bounded number more.
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(frame(), 1);
        if (client().map_active()) {
            replayed = held();
            ++frames;
        } else if (frames > 0) {
            break;
        }
    }
    EXPECT_GT(frames, 100);
    EXPECT_FALSE(client().map_active()) << "the recording ended";
    EXPECT_TRUE(capture.contains("TimeDemo: ")) << "the frame count and rate of the playback";
    EXPECT_EQ(difference(expected, replayed), "");
}

bool save_held(const std::filesystem::path& file, const HeldObjects& objects)
{
    std::ofstream out(file);
    for (const auto& [id, object] : objects) {
        out << std::hex << id << ' ' << object.state;
        for (const auto& pose : object.pose) {
            for (const float value : pose) {
                out << ' ' << std::bit_cast<uint32_t>(value);
            }
        }
        out << '\n';
    }
    return static_cast<bool>(out.flush());
}

bool load_held(const std::filesystem::path& file, HeldObjects& objects)
{
    std::ifstream in(file);
    if (!in) {
        return false;
    }
    objects.clear();
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        uint32_t id = 0;
        HeldObject object;
        words >> std::hex >> id >> object.state;
        for (auto& pose : object.pose) {
            for (float& value : pose) {
                uint32_t bits = 0;
                words >> bits;
                value = std::bit_cast<float>(bits);
            }
        }
        std::string extra;
        if (words.fail() || (words >> extra)) {
            return false;
        }
        objects[id] = object;
    }
    return true;
}

} // namespace e2e
