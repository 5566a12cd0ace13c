// One recording played back by both programs: the software program records
// the walk once into the folder OSTREL_E2E_RECORDING names, with the objects
// its client held at the end; each program's playback, with TimeDemo set,
// ends holding those objects. CTest runs the recording first (a fixture);
// without the variable these do nothing and are left out of the listing.
#include "recorded_walk.h"

#include "engine/engine.h"
#include "support/skip_or_fail.h"

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

class SharedRecording : public e2e::RecordedWalk {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(RecordedWalk::SetUp());
        const char* const folder = std::getenv("OSTREL_E2E_RECORDING");
        if (folder == nullptr) {
            SKIP_OR_FAIL("no OSTREL_E2E_RECORDING: CTest names the folder the programs share");
        }
        shared_ = folder;
    }

    fs::path shared_;
};

TEST_F(SharedRecording, Record)
{
    ASSERT_NO_FATAL_FAILURE(start());
    std::error_code ec;
    fs::remove_all(shared_, ec);
    ASSERT_TRUE(fs::create_directories(shared_, ec)) << shared_ << ": " << ec.message();
    e2e::HeldObjects live;
    ASSERT_NO_FATAL_FAILURE(walk_recorded("walk", live));
    fs::copy_file("walk.vcr", shared_ / "walk.vcr", ec);
    ASSERT_FALSE(ec) << ec.message();
    ASSERT_TRUE(e2e::save_held(shared_ / "walk.held", live));
}

TEST_F(SharedRecording, PlayBack)
{
    e2e::HeldObjects recorded;
    ASSERT_TRUE(e2e::load_held(shared_ / "walk.held", recorded)) << "no recording in " << shared_;
    ASSERT_GT(recorded.size(), 5u);
    std::error_code ec;
    fs::copy_file(shared_ / "walk.vcr", "walk.vcr", ec);
    ASSERT_FALSE(ec) << ec.message();
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(play_back("walk", recorded));
}

} // namespace
