// A walk on the demo level recorded with Record plays back through
// "Connect vcr.<name>" with TimeDemo set, one update a frame, and ends with
// the client holding every object as the live session left it.
#include "demo_session.h"

#include "client/client.h"
#include "client/client_protocol.h"
#include "engine/engine.h"
#include "client/cobj_manager.h"
#include "support/print_capture.h"

#include <cmath>

namespace {

constexpr uint32_t SCAN_W = 0x11;
constexpr uint32_t VK_RIGHT = 0x27;
constexpr uint32_t SCAN_RIGHT = 0x4D;

class RecordReplay : public e2e::DemoSession {};

TEST_F(RecordReplay, PlaybackEndsInTheRecordedObjectStates)
{
    ASSERT_NO_FATAL_FAILURE(start());
    run("Set Client_Administrator True\nKeyDef W Forward\nKeyDef Right HeadingRight\nRecord walk\nConnect local\n"
        "Wait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    ASSERT_TRUE(client().map_active());

    // North, a turn to the right on the way, and on to a stop.
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
    const e2e::HeldObjects live = held();
    const Vector end = client().camera()->pose[0].position;
    ASSERT_GT(std::hypot(end.x - start.x, end.y - start.y), 100.0f) << "the player walked";
    ASSERT_GT(live.size(), 5u) << "the camera and the level's objects";
    EXPECT_EQ(client().damaged_messages(), 0);
    run("Disconnect");
    ASSERT_EQ(frame(), 1);
    ASSERT_FALSE(client().map_active());
    ASSERT_TRUE(std::filesystem::exists("walk.vcr"));

    // The recording alone brings the objects back.
    run("Set TimeDemo 1\nConnect vcr.walk");
    PrintCapture capture;
    e2e::HeldObjects replayed;
    int playback_frames = 0;
    // The recording holds fewer updates than the frames it took; a bounded number more.
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(frame(), 1);
        if (client().map_active()) {
            replayed = held();
            ++playback_frames;
        } else if (playback_frames > 0) {
            break;
        }
    }
    EXPECT_GT(playback_frames, 100);
    EXPECT_FALSE(client().map_active()) << "the recording ended";
    EXPECT_TRUE(capture.contains("TimeDemo: ")) << "the frame count and rate of the playback";
    EXPECT_EQ(e2e::difference(live, replayed), "");
}

} // namespace
