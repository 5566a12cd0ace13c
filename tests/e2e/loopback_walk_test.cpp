// The player of the demo level walks: W, bound through the console and
// pressed through the window's event queue, held for 70 ticks over the
// engine's loopback. The camera rides on the player's body at eye height;
// the body goes straight ahead by the distance the walking speed gives (the
// speed is reached and lost alike, so a second of thrust carries it one
// second's walk) and stays on the hall's floor all the way.
#include "demo_session.h"
#include "support/scan_codes.h"

#include "client/client.h"
#include "client/cobj_manager.h"
#include "engine/engine.h"

#include <cmath>

namespace {

constexpr float BODY_Z = -64.0f + 28.0f; // the hall's floor and the body's half height
constexpr float EYES = 20.0f;             // above the body's centre
constexpr float WALK_SPEED = 160.0f;      // units a second at full thrust

class LoopbackWalk : public e2e::DemoSession {};

TEST_F(LoopbackWalk, SeventyTicksOfForwardWalkTheExpectedDistanceOnTheFloor)
{
    ASSERT_NO_FATAL_FAILURE(start());
    run("Set Client_Administrator True\nKeyDef W Forward\nConnect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    // The body settles on the floor first.
    for (int i = 0; i < 35; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    const Vector start = client().camera()->pose[0].position;
    EXPECT_NEAR(start.z, BODY_Z, 0.5f) << "standing on the hall's floor";
    EXPECT_EQ(client().camera()->pose[1].position.z, EYES) << "the camera at the eyes";

    key('W', SCAN_W, true);
    float lowest = start.z;
    float highest = start.z;
    for (int i = 0; i < 70; ++i) {
        ASSERT_EQ(frame(), 1);
        lowest = std::min(lowest, client().camera()->pose[0].position.z);
        highest = std::max(highest, client().camera()->pose[0].position.z);
    }
    key('W', SCAN_W, false);
    // Until the body has stopped and the last update has come.
    for (int i = 0; i < 70; ++i) {
        ASSERT_EQ(frame(), 1);
        lowest = std::min(lowest, client().camera()->pose[0].position.z);
        highest = std::max(highest, client().camera()->pose[0].position.z);
    }
    const Vector end = client().camera()->pose[0].position;
    const float walked = std::hypot(end.x - start.x, end.y - start.y);
    EXPECT_NEAR(end.x, start.x, 0.01f) << "straight ahead";
    EXPECT_GT(end.y, start.y) << "north, the way the player faces";
    // Positions come in eighths of a unit.
    EXPECT_NEAR(walked, WALK_SPEED, 1.0f);
    EXPECT_NEAR(lowest, BODY_Z, 0.5f) << "never below the floor";
    EXPECT_NEAR(highest, BODY_Z, 0.5f) << "never off the floor";
}

} // namespace
