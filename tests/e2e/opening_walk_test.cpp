// The demo's opening walk, as its own start-up script (main.cfg) plays it:
// whatever the frame rate (many frames to a world tick, one, or many ticks
// to a frame), the player ends in front of the gallery's door, inside its
// trigger, with the door slid up, and rests; then the keys walk it again.
#include "demo_base.h"
#include "support/scan_codes.h"
#include "demo_session.h"

#include "client/client.h"
#include "client/cobj_manager.h"
#include "engine/engine.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

constexpr double TICK = 1.0 / 70.0;
// Where the body's centre lies while trigger 1 of the demo's map, in front of
// the door, holds it: the zone grown by the body's half width of 16.
constexpr float TRIGGER_MIN_X = -112.0f, TRIGGER_MAX_X = 112.0f, TRIGGER_MIN_Y = 144.0f, TRIGGER_MAX_Y = 368.0f;
// The door's slab stands at (0, 256) with its centre 16 above the floor's
// centre line while shut; open, it has slid up by 150.
constexpr float DOOR_X = 0.0f, DOOR_Y = 256.0f, DOOR_SHUT_Z = 16.0f, DOOR_RISE = 150.0f;

std::string demo_start_script()
{
    std::ifstream in(e2e::demo_base() / "main.cfg");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class OpeningWalk : public e2e::DemoSession, public ::testing::WithParamInterface<double> {
protected:
    // The height of the door's slab as the client holds it; NAN when it holds none.
    float door_z() const
    {
        for (const auto& [id, object] : held()) {
            if (object.pose[0][0] == DOOR_X && object.pose[0][1] == DOOR_Y) {
                return object.pose[0][2];
            }
        }
        return NAN;
    }
    // Frames of the given length until `seconds` of the clock have passed,
    // and `more` frames.
    void play(double seconds, int more = 0)
    {
        const int frames = static_cast<int>(std::lround(seconds / GetParam())) + more;
        for (int i = 0; i < frames; ++i) {
            ASSERT_EQ(frame(GetParam()), 1);
        }
    }
};

TEST_P(OpeningWalk, EndsInsideTheDoorsTriggerWithTheDoorOpenAndGivesTheKeysBack)
{
    ASSERT_NO_FATAL_FAILURE(start({"-width", "320", "-height", "240"}));
    const std::string script = demo_start_script();
    ASSERT_NE(script.find("Map demo"), std::string::npos) << script;
    run(script);
    // The script's waits before the walk, some 20 frames, then four and a
    // half seconds: the walk and the look back take some three.
    ASSERT_NO_FATAL_FAILURE(play(4.5, 20));
    ASSERT_NE(client().camera(), nullptr);
    const Vector end = client().camera()->pose[0].position;
    RecordProperty("end_x", std::to_string(end.x));
    RecordProperty("end_y", std::to_string(end.y));
    EXPECT_GT(end.x, TRIGGER_MIN_X);
    EXPECT_LT(end.x, TRIGGER_MAX_X);
    EXPECT_GE(end.y, TRIGGER_MIN_Y) << "short of the door's trigger";
    EXPECT_LE(end.y, TRIGGER_MAX_Y) << "past the door's trigger";
    EXPECT_NEAR(door_z(), DOOR_SHUT_Z + DOOR_RISE, 0.5f) << "the door is open";
    // Still there half a second later: the walk has ended.
    ASSERT_NO_FATAL_FAILURE(play(0.5));
    const Vector rest = client().camera()->pose[0].position;
    EXPECT_NEAR(rest.x, end.x, 0.2f);
    EXPECT_NEAR(rest.y, end.y, 0.2f);

    // The keys of keys.cfg walk the player again.
    key('W', SCAN_W, true);
    ASSERT_NO_FATAL_FAILURE(play(0.5));
    key('W', SCAN_W, false);
    ASSERT_NO_FATAL_FAILURE(play(0.5));
    const Vector walked = client().camera()->pose[0].position;
    EXPECT_GT(std::hypot(walked.x - rest.x, walked.y - rest.y), 40.0f) << "W walks the player after the opening walk";
}

// Four frames a tick, a frame a tick, seven ticks a frame.
INSTANTIATE_TEST_SUITE_P(FrameRates, OpeningWalk, ::testing::Values(TICK / 4.0, TICK, TICK * 7.0),
                         [](const ::testing::TestParamInfo<double>& info) {
                             return info.param < TICK * 0.99  ? std::string("FourFramesATick")
                                    : info.param > TICK * 1.01 ? std::string("SevenTicksAFrame")
                                                               : std::string("OneFrameATick");
                         });

} // namespace
