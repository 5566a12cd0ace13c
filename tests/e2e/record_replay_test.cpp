// A session on the demo level recorded with Record plays back through
// "Connect vcr.<name>" with TimeDemo set, one update a frame, and ends with
// the client holding every object as the live session left it.
#include "demo_session.h"

#include "client/client.h"
#include "client/client_protocol.h"
#include "engine/engine.h"
#include "../client/engine_server_access.h"
#include "support/print_capture.h"

#include <cmath>

namespace {

constexpr int DYNALAMP = 2;

class RecordReplay : public e2e::DemoSession {};

TEST_F(RecordReplay, PlaybackEndsInTheRecordedObjectStates)
{
    ASSERT_NO_FATAL_FAILURE(start());
    run("Set Client_Administrator True\nRecord walk\nConnect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    ASSERT_TRUE(client().map_active());

    // A light that circles the hall while the session runs.
    const int32_t lamp = server_create(*engine_, DYNALAMP);
    ASSERT_GE(lamp, 0);
    for (int i = 0; i < 140; ++i) {
        const float a = static_cast<float>(i) * 0.05f;
        server_place(*engine_, lamp, 160.0f * std::cos(a), 160.0f * std::sin(a), 64.0f + static_cast<float>(i % 7));
        ASSERT_EQ(frame(), 1);
    }
    const e2e::HeldObjects live = held();
    ASSERT_GE(live.size(), 2u) << "the camera and the circling light at least";
    ASSERT_EQ(live.count(static_cast<uint32_t>(lamp)), 1u);
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
