// A walk on the demo level recorded with Record plays back through
// "Connect vcr.<name>" with TimeDemo set, one update a frame, and ends with
// the client holding every object as the live session left it.
#include "recorded_walk.h"

#include "engine/engine.h"

namespace {

class RecordReplay : public e2e::RecordedWalk {};

TEST_F(RecordReplay, PlaybackEndsInTheRecordedObjectStates)
{
    ASSERT_NO_FATAL_FAILURE(start());
    e2e::HeldObjects live;
    ASSERT_NO_FATAL_FAILURE(walk_recorded("walk", live));

    // The recording alone brings the objects back.
    e2e::Playback playback;
    ASSERT_NO_FATAL_FAILURE(play_back("walk", playback));
    EXPECT_GT(playback.frames, 100);
    EXPECT_TRUE(playback.ended) << "the recording ended";
    EXPECT_TRUE(playback.timedemo) << "the frame count and rate of the playback";
    EXPECT_EQ(e2e::difference(live, playback.held), "");
}

} // namespace
