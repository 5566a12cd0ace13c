// A hostile client beside a player on the demo level: random and truncated
// messages, floods, cut connection requests and commands that name paths
// out of the base directory, for a bounded number of frames. The server
// stays up; the player walks and sees, frame by frame, all it sees without
// the hostile client (which adds only its own figure); and no file appears
// outside the base directory.
#include "demo_session.h"
#include "support/scan_codes.h"

#include "client/client.h"
#include "engine/engine.h"
#include "net/net_defs.h"
#include "../client/engine_server_access.h"
#include "support/print_capture.h"
#include "tools/fake_client/fake_client.h"

#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using fake_client::FakeClient;

constexpr int DYNALAMP = 2;
constexpr int FRAMES = 210;

// Every file under the folder with its size and time of change.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files_under(const fs::path& folder)
{
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) {
            files[fs::relative(e.path(), folder).string()] = {e.file_size(), e.last_write_time()};
        }
    }
    return files;
}

std::string shown(const e2e::HeldObject& object)
{
    std::ostringstream out;
    e2e::PrintTo(object, &out);
    return out.str();
}

std::string hex(uint32_t id)
{
    std::ostringstream out;
    out << std::hex << id;
    return out.str();
}

class HostilePlay : public e2e::DemoSession {
protected:
    // The player walks north on the demo level while a light circles; with
    // `hostile` the attackers run beside it. What the player held after
    // every frame.
    std::vector<e2e::HeldObjects> play(bool hostile);
    void attack(std::mt19937& random, int frame);

    std::vector<std::unique_ptr<FakeClient>> attackers_;
    FakeClient* flooder_ = nullptr;
    std::unique_ptr<PrintCapture> capture_;
    size_t commands_sent_ = 0;
};

std::vector<e2e::HeldObjects> HostilePlay::play(bool hostile)
{
    std::vector<e2e::HeldObjects> trace;
    clock_.set_micros(1000000);
    start();
    if (HasFatalFailure()) {
        return trace;
    }
    run("Set Client_Administrator True\nKeyDef W Forward\nConnect local\nWait 5\nMap demo");
    EXPECT_TRUE(frames_until([&] { return client().camera() != nullptr; }, 300));
    const int32_t lamp = server_create(*engine_, DYNALAMP);
    EXPECT_GE(lamp, 0);
    key('W', SCAN_W, true);

    std::mt19937 random(34);
    if (hostile) {
        fake_client::Options o;
        o.name = "flooder";
        o.administrator = true; // the server refuses its paths, not its rank
        attackers_.push_back(std::make_unique<FakeClient>(engine_->hive(), "local", o));
        flooder_ = attackers_.back().get();
        capture_ = std::make_unique<PrintCapture>();
        capture_->show_all();
    }
    for (int f = 0; f < FRAMES; ++f) {
        if (hostile) {
            attack(random, f);
        }
        const float a = static_cast<float>(f) * 0.04f;
        server_place(*engine_, lamp, 150.0f * std::cos(a), 150.0f * std::sin(a), 64.0f);
        EXPECT_EQ(frame(), 1) << "frame " << f;
        trace.push_back(held());
    }
    if (hostile) {
        int alive = 0;
        for (const auto& a : attackers_) {
            alive += a->connected() && !a->lost() ? 1 : 0;
        }
        EXPECT_GE(alive, 1) << "the flooder was served to the end, not the server stopped";
        attackers_.clear();
        EXPECT_TRUE(capture_->contains("Server: '../escaped' is not a plain name"));
        // The flood's random commands warn too, so the later refusals may be
        // among the lines the server leaves out and counts.
        EXPECT_TRUE(capture_->contains("Server: 'C:\\escaped' is not a plain name") ||
                    capture_->contains(" lines \"Warnings and errors of clients' commands\" left out"));
        EXPECT_TRUE(capture_->contains("Server: Corrupted message") ||
                    capture_->contains("Server: Unknown client message"));
        capture_.reset();
    }
    EXPECT_EQ(client().damaged_messages(), 0);
    EXPECT_EQ(client().net_state(), CSTATE_ACCEPTED);
    const ServerSlot slot = spawned_slot(*engine_);
    EXPECT_TRUE(slot.spawned);
    EXPECT_FLOAT_EQ(slot.forward, 1.0f) << "the player's key reached the server";
    run("Quit");
    for (int i = 0; i < 200 && frame() != 0; ++i) {
    }
    engine_.reset();
    return trace;
}

void HostilePlay::attack(std::mt19937& random, int frame)
{
    FakeClient& bad = *flooder_;
    if (!bad.connect()) {
        return;
    }
    bad.receive();
    // Commands that would write or read outside the base if a name became a path.
    static const char* const commands[] = {
        "Save ../escaped",    "Save /tmp/ostrel_escaped", "Load demo ../../escaped", "Map ../../../tmp",
        "Save ..",            "Map demo/../../x",         "Save a/../../b",          "Load ../demo save",
        "Save C:\\escaped",
    };
    if (bad.accepted && commands_sent_ < std::size(commands)) {
        bad.send_command(commands[commands_sent_++]);
    }
    // A flood of random, truncated and unknown messages.
    const int ids[] = {fake_client::MSG_INPUT,  fake_client::MSG_IMPULSES, fake_client::MSG_COMMAND,
                       fake_client::MSG_MAPLOADED, fake_client::MSG_DUMMY, 13, 255};
    for (int m = 0; m < 30; ++m) {
        std::vector<uint8_t> bytes(random() % 48);
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(random());
        }
        const int32_t bits = bytes.empty() ? 0 : static_cast<int32_t>(bytes.size() * 8 - random() % 8);
        bad.send_raw(ids[random() % std::size(ids)], random() % 2 != 0 ? NET_STREAM_RELIABLE : NET_STREAM_UNRELIABLE,
                     bytes, bits);
    }
    // Its body stands where it entered, beside the player's path: what it
    // may do to the player's game is the server's, not its physics'.
    bad.send_input_stamp(static_cast<int32_t>(random()), {0.0f, 0.0f}, random());
    bad.flush();
    // Every few frames a connection request cut short or filled with noise.
    if (frame % 20 == 5) {
        fake_client::Options cut;
        cut.name = "cut" + std::to_string(frame);
        const std::vector<uint8_t> whole = FakeClient(static_cast<Hive*>(nullptr), "local", cut).request();
        cut.raw_request = true;
        cut.request_bytes.assign(whole.begin(), whole.begin() + static_cast<long>(random() % whole.size()));
        if (frame % 40 == 5) {
            for (uint8_t& b : cut.request_bytes) {
                b = static_cast<uint8_t>(random());
            }
        }
        attackers_.push_back(std::make_unique<FakeClient>(engine_->hive(), "local", cut));
        (void)attackers_.back()->connect();
    }
}

TEST_F(HostilePlay, ThePlayersSessionIsTheSameWithAHostileClientBeside)
{
    const fs::path outside = folder_.parent_path();
    std::set<std::string> before_outside;
    for (const fs::directory_entry& e : fs::directory_iterator(outside)) {
        before_outside.insert(e.path().filename().string());
    }
    const auto before = files_under(folder_);

    const std::vector<e2e::HeldObjects> calm = play(false);
    ASSERT_FALSE(HasFailure());
    const std::vector<e2e::HeldObjects> attacked = play(true);
    ASSERT_EQ(calm.size(), attacked.size());
    // The player sees the hostile client's figure too, and the server's ids
    // for new objects may differ; everything else is as it was: each object
    // of the calm session is there, of its class, where it was.
    for (size_t f = 0; f < calm.size(); ++f) {
        std::multiset<std::pair<uint32_t, std::string>> extra;
        for (const auto& [id, object] : attacked[f]) {
            extra.insert({id >> 20, shown(object)});
        }
        std::string missing;
        for (const auto& [id, object] : calm[f]) {
            const auto found = extra.find({id >> 20, shown(object)});
            if (found == extra.end()) {
                missing += "0x" + hex(id) + " " + shown(object) + "\n";
            } else {
                extra.erase(found);
            }
        }
        ASSERT_EQ(missing, "") << "the player's objects differ after frame " << f << "\n"
                               << e2e::difference(calm[f], attacked[f]);
        ASSERT_LE(extra.size(), 2u) << "frame " << f << "\n" << e2e::difference(calm[f], attacked[f]);
    }
    EXPECT_GT(calm.back().size(), 1u) << "the camera and the light at least";

    // Whatever was written is inside the base directory.
    for (const auto& [name, stamp] : files_under(folder_)) {
        const auto was = before.find(name);
        if (was == before.end() || was->second != stamp) {
            EXPECT_EQ(name.rfind("kavrin/", 0), 0u) << "written outside the base: " << name;
        }
    }
    for (const fs::directory_entry& e : fs::directory_iterator(outside)) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(before_outside.count(name) != 0 || name.find("escaped") == std::string::npos)
            << "written beside the test's folder: " << name;
    }
    EXPECT_FALSE(fs::exists("/tmp/ostrel_escaped"));
}

} // namespace
