// Quit, typed while the demo level is played over the loopback, ends the
// engine through its orderly shutdown: "Shutting down..." once, the local
// client let go at once (no time-out), and the frames stop within a few.
#include "demo_session.h"

#include "client/client.h"
#include "engine/engine.h"
#include "support/print_capture.h"

namespace {

class QuitInPlay : public e2e::DemoSession {};

TEST_F(QuitInPlay, QuitEndsTheEngineThroughTheOrderlyShutdown)
{
    ASSERT_NO_FATAL_FAILURE(start());
    run("Set Client_Administrator True\nConnect local\nWait 5\nMap demo");
    ASSERT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(frame(), 1);
    }
    PrintCapture capture;
    capture.show_all(); // the log's stream too
    run("Quit");
    int frames = 0;
    while (frames < 10 && frame() == 1) {
        ++frames;
    }
    EXPECT_LT(frames, 10) << "Quit ended the engine";
    EXPECT_EQ(capture.count("Shutting down..."), 1);
    EXPECT_FALSE(capture.contains("Shutdown: Timeout"));
}

} // namespace
