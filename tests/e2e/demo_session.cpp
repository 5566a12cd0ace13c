#include "demo_session.h"

#include "demo_base.h"

#include "client/client.h"
#include "client/cobj_manager.h"
#include "client/update_decoder.h"
#include "core/cons_cmd.h"
#include "engine/engine.h"
#include "net/udp_protocol.h"
#include "support/skip_or_fail.h"

#include <iomanip>
#include <random>
#include <sstream>

namespace e2e {

namespace fs = std::filesystem;

void PrintTo(const HeldObject& object, std::ostream* out)
{
    *out << std::setprecision(9) << "state " << object.state << " at (" << object.pose[0][0] << ", " << object.pose[0][1] << ", "
         << object.pose[0][2] << ") angles (" << object.pose[0][3] << ", " << object.pose[0][4] << ", "
         << object.pose[0][5] << ")";
}

std::string difference(const HeldObjects& expected, const HeldObjects& seen)
{
    std::ostringstream out;
    const auto show = [&out](const char* what, uint32_t id, const HeldObject* o) {
        out << what << " 0x" << std::hex << id << std::dec << ": ";
        if (o != nullptr) {
            PrintTo(*o, &out);
        } else {
            out << "none";
        }
        out << "\n";
    };
    for (const auto& [id, object] : expected) {
        const auto found = seen.find(id);
        if (found == seen.end() || !(found->second == object)) {
            show("expected", id, &object);
            show("     saw", id, found != seen.end() ? &found->second : nullptr);
        }
    }
    for (const auto& [id, object] : seen) {
        if (expected.count(id) == 0) {
            show("     new", id, &object);
        }
    }
    return out.str();
}

void DemoSession::SetUp()
{
    std::random_device seed;
    folder_ = fs::temp_directory_path() /
              ("ostrel_e2e_" + std::to_string(seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    previous_ = fs::current_path();
    fs::current_path(folder_);
    if (demo_base().empty()) {
        SKIP_OR_FAIL("no demo base: OSTREL_DEMO_BASE names none (a build with the programs sets it)");
    }
    std::string error;
    ASSERT_TRUE(copy_demo_base(folder_ / "kavrin", error)) << error;
    clock_.set_micros(1000000);
    // The engine's server listens on a port the system picks: tests run side by side.
    udp_set_server_port(0);
    clock_guard_ = std::make_unique<host::ScopedClock>(&clock_);
    events_guard_ = std::make_unique<host::ScopedEventSource>(&events_);
}

void DemoSession::TearDown()
{
    engine_.reset();
    events_guard_.reset();
    clock_guard_.reset();
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void DemoSession::start(const std::vector<const char*>& options)
{
    engine_ = std::make_unique<Engine>();
    std::vector<const char*> argv = {"ostrel"};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_EQ(engine_->init(static_cast<int>(argv.size()), argv.data()), 1);
}

int DemoSession::frame(double seconds)
{
    clock_.advance_seconds(seconds);
    return engine_->frame();
}

bool DemoSession::frames_until(const std::function<bool()>& condition, int limit, double seconds)
{
    for (int i = 0; i < limit; ++i) {
        if (condition()) {
            return true;
        }
        if (frame(seconds) == 0) {
            return false;
        }
    }
    return condition();
}

void DemoSession::run(const std::string& console_text)
{
    ASSERT_EQ(client().cons_cmd()->add_text(console_text.c_str()), 1);
}

void DemoSession::key(uint32_t virtual_key, uint32_t scan, bool down, bool extended)
{
    const uint32_t ms = clock_.milliseconds() + 1;
    ASSERT_TRUE(events_.push(down ? host::WM_KEYDOWN : host::WM_KEYUP, virtual_key,
                             host::key_lparam(scan, extended, !down, !down), ms));
}

Client& DemoSession::client() const { return *engine_->client(); }

HeldObjects DemoSession::held() const
{
    HeldObjects objects;
    for (int c = 1; c < OBJID_CLASSMAX; ++c) {
        CObjManager* const m = client().decoder().manager(c);
        for (int i = m != nullptr ? m->first() : -1; i >= 0; i = m->next()) {
            const CObjCommon& common = m->common(i);
            HeldObject h;
            h.state = common.state;
            for (int p = 0; p < 2; ++p) {
                const AnglePose& pose = common.pose[p];
                const float values[6] = {pose.position.x, pose.position.y, pose.position.z, pose.a, pose.b, pose.c};
                std::copy(std::begin(values), std::end(values), h.pose[p]);
            }
            objects[common.id] = h;
        }
    }
    return objects;
}

} // namespace e2e
