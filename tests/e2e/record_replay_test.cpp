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
    ASSERT_NO_FATAL_FAILURE(play_back("walk", live));
}

} // namespace
