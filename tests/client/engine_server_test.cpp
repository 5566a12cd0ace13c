// The engine with its own server over its own loopback: a generated map and
// assembled scripts, the client connects, loads the map, receives the
// camera the server made for it, and a key bound through the console reaches
// the server's input. Every update message of the session, recorded, is
// decoded again by the server's reference decoder, which must agree with the
// client's objects.
#include "client/client.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "engine_server_access.h"
#include "core/cons_cmd.h"
#include "engine/engine.h"
#include "host/host_clock.h"
#include "host/host_events.h"
#include "tools/assets/demo_assets.h"
#include "tools/fake_client/client_view.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"
#include "tools/mapgen/mapgen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>

namespace {

constexpr uint32_t SCAN_W = 0x11;

class EngineServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        folder_ = std::filesystem::temp_directory_path() / ("ostrel_engine_server_" + std::to_string(seed()));
        std::filesystem::create_directories(folder_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        std::ifstream in(std::string(OSTREL_SOURCE) + "/tools/mapgen/maps/three_rooms.rooms");
        std::stringstream text;
        text << in.rdbuf();
        mapgen::MapFiles files;
        std::string error;
        ASSERT_TRUE(mapgen::generate_map(text.str(), files, error)) << error;
        ASSERT_TRUE(mapgen::write_map_directory(files, "maps/rooms", error)) << error;
        ASSERT_TRUE(tools::write_demo_assets("kavrin"));
        clock_.set_micros(1000000);
    }
    void TearDown() override
    {
        engine_.reset();
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    void frame(double seconds)
    {
        clock_.advance_seconds(seconds);
        ASSERT_EQ(engine_->frame(), 1);
    }

    std::filesystem::path folder_;
    std::filesystem::path previous_;
    host::ManualClock clock_;
    host::ScopedClock clock_guard_{&clock_};
    host::QueueEventSource events_;
    host::ScopedEventSource events_guard_{&events_};
    std::unique_ptr<Engine> engine_;
};

// spawnclient answers the client's slot plus one: every player enters.
const char* const SPAWN_SCRIPT = R"(
.global spawnclient, archive
.code
.func spawnclient, 8
    pushargs
    load1
    push 1
    add
    ret1
.func archive, 8
    push 0
    ret1
)";

TEST_F(EngineServerTest, SessionOverTheEnginesLoopback)
{
    const kasm::Assembly scripts = kasm::assemble(std::string(SPAWN_SCRIPT) + kasm::OBJECT_BASE_SOURCE, "game");
    ASSERT_TRUE(scripts.ok());
    std::filesystem::create_directories("k");
    {
        std::ofstream kob("k/game.kob", std::ios::binary);
        const std::vector<uint8_t> bytes = scripts.bytes();
        kob.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::ofstream("k/koblist.txt") << "textualKOBlist,version000\n1\nk/game.kob\n";
        std::ofstream("initial.ksv").flush();
    }
    engine_ = std::make_unique<Engine>();
    const char* argv[] = {"ostrel"};
    ASSERT_EQ(engine_->init(1, argv), 1);
    Client* const client = engine_->client();
    ASSERT_TRUE(start_server_map(*engine_, "rooms"));
    ASSERT_EQ(client->cons_cmd()->add_text("Record cmp\nKeyDef W Forward\nConnect local"), 1);
    for (int i = 0; i < 200 && client->camera() == nullptr; ++i) {
        frame(1.0 / 70.0);
    }
    ASSERT_EQ(client->net_state(), CSTATE_ACCEPTED);
    ASSERT_TRUE(client->map_active());
    ASSERT_NE(client->camera(), nullptr) << "the server's camera for this client";
    EXPECT_EQ(client->damaged_messages(), 0);
    ASSERT_TRUE(spawned_slot(*engine_).spawned);
    EXPECT_EQ(static_cast<uint32_t>(spawned_slot(*engine_).camera_id), client->camera()->id);

    const uint32_t ms = clock_.milliseconds();
    ASSERT_TRUE(events_.push(host::WM_KEYDOWN, 'W', host::key_lparam(SCAN_W, false, false, false), ms + 5));
    for (int i = 0; i < 4; ++i) {
        frame(0.05);
    }
    EXPECT_FLOAT_EQ(spawned_slot(*engine_).forward, 1.0f) << "the held key reached the server";
    EXPECT_GE(spawned_slot(*engine_).input_stamp, 0) << "the client acknowledges the server's updates";

    for (int i = 0; i < 40; ++i) {
        frame(1.0 / 70.0);
    }
    // The client's objects, before the disconnect unloads them.
    struct Held {
        CObjCommon common;
        uint32_t tint = 0;
        float half[2] = {};
    };
    std::map<uint32_t, Held> held;
    for (int c = 1; c < OBJID_CLASSMAX; ++c) {
        CObjManager* const m = client->decoder().manager(c);
        for (int i = m != nullptr ? m->first() : -1; i >= 0; i = m->next()) {
            Held h{m->common(i)};
            if (c == OBJCLASS_CAMERA) {
                h.tint = client->entities().camera.tint;
                h.half[0] = client->entities().camera.view.half_x;
                h.half[1] = client->entities().camera.view.half_y;
            }
            held[m->common(i).id] = h;
        }
    }
    ASSERT_EQ(client->cons_cmd()->add_text("Disconnect"), 1);
    frame(0.02);

    // The recording: {u8 id, u16 bits, payload} after the 24-byte head, up to the end mark.
    std::ifstream vcr("cmp.vcr", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(vcr)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 24u);
    fake_client::ClientView view;
    int updates = 0;
    for (size_t at = 24; at + 3 <= bytes.size();) {
        const int id = bytes[at];
        const int32_t bits = bytes[at + 1] | bytes[at + 2] << 8;
        if (id == 0xFF && bits == 0xFFFF) {
            break;
        }
        at += 3;
        const size_t n = static_cast<size_t>(bits + 7) / 8;
        ASSERT_LE(at + n, bytes.size());
        if (id == 0x60) {
            const fake_client::UpdateMessage m = fake_client::decode_update(bytes.data() + at, bits);
            EXPECT_EQ(m.error, "") << "update " << m.stamp;
            view.apply(m);
            ++updates;
        }
        at += n;
    }
    EXPECT_GT(updates, 5);
    EXPECT_TRUE(view.errors.empty()) << view.errors.front();
    ASSERT_EQ(view.objects.size(), held.size());
    for (const auto& [id, object] : view.objects) {
        const auto it = held.find(id);
        ASSERT_NE(it, held.end()) << std::hex << id;
        const fake_client::UpdateRecord& r = object.state;
        const AnglePose* const pose = it->second.common.pose;
        const float position[3] = {pose[0].position.x, pose[0].position.y, pose[0].position.z};
        const float angles[3] = {pose[0].a, pose[0].b, pose[0].c};
        const float own[3] = {pose[1].a, pose[1].b, pose[1].c};
        for (int k = 0; k < 3; ++k) {
            if ((r.mask & (0x1u << k)) != 0) {
                EXPECT_EQ(position[k], static_cast<float>(r.position[k])) << std::hex << id << " position " << k;
            }
            if ((r.mask & (0x8u << k)) != 0) {
                EXPECT_NEAR(angles[k], r.carrier[k] * 6.2831855, 1e-5) << std::hex << id << " angle " << k;
            }
            if ((r.mask & (0x80u << k)) != 0) {
                EXPECT_NEAR(own[k], r.own[k] * 6.2831855, 1e-5) << std::hex << id << " own angle " << k;
            }
        }
        if (r.filter_present) {
            uint32_t tint = 0;
            for (int k = 0; k < 4; ++k) {
                tint |= ((r.filter[k] << 2) | (r.filter[k] >> 4)) << (8 * k);
            }
            EXPECT_EQ(it->second.tint, tint);
        }
        if (r.zoom_present) {
            EXPECT_EQ(it->second.half[0], static_cast<float>(r.zoom[0]) / 256.0f);
            EXPECT_EQ(it->second.half[1], static_cast<float>(r.zoom[1]) / 256.0f);
        }
    }
}

} // namespace
