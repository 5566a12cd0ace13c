// The engine as the program runs it, headless, with the client connecting to
// a server over the engine's own loopback: the map loads, the camera arrives,
// and a key bound through the console reaches the server as input.
#include "client/client.h"
#include "support/scan_codes.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "core/cons_cmd.h"
#include "core/config_variable.h"
#include "engine/engine.h"
#include "fake_server.h"
#include "net/net_stream_out.h"
#include "host/host_clock.h"
#include "host/host_events.h"
#include "support/print_capture.h"
#include "tools/assets/demo_assets.h"
#include "generated_map.h"
#include "tools/mapgen/mapgen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

namespace {


class EngineSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        folder_ = std::filesystem::temp_directory_path() / ("ostrel_engine_session_" + std::to_string(seed()));
        std::filesystem::create_directories(folder_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        ASSERT_NO_FATAL_FAILURE(write_generated_map("three_rooms", "maps/rooms"));
        // The default base directory with the screen's font and pictures.
        ASSERT_TRUE(tools::write_demo_assets("kavrin"));
        clock_.set_micros(1000000);
    }
    void TearDown() override
    {
        server_.reset();
        engine_.reset();
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    void frame(double seconds = 0.02)
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
    std::unique_ptr<fake::Server> server_;
};

TEST_F(EngineSessionTest, LoopbackSessionWithABoundKey)
{
    engine_ = std::make_unique<Engine>();
    const char* argv[] = {"ostrel"};
    ASSERT_EQ(engine_->init(1, argv), 1);
    Client* const client = engine_->client();
    ASSERT_NE(client, nullptr);
    ASSERT_NE(client->video_mode(), nullptr) << "a video mode on the headless display";
    server_ = std::make_unique<fake::Server>(*engine_->hive());

    ASSERT_EQ(client->cons_cmd()->add_text("KeyDef W Forward\nConnect local"), 1);
    for (int i = 0; i < 20 && !server_->connected(); ++i) {
        frame();
        (void)server_->accept();
    }
    ASSERT_TRUE(server_->connected());
    EXPECT_EQ(server_->request().name, "Anonymous");
    server_->send_accept(cvar_list->find("Base")->string(), "Loopback game", "");
    server_->send_map_load("rooms", 77);
    fake::Object camera;
    camera.object_class = 10;
    camera.mask = 0x2000 | 0x400 | 0x7;
    camera.position[0] = 100.0f;
    camera.position[1] = 64.0f;
    // No tint and no extents.
    camera.class_part = [](NetStreamOut& s) { s.write_bits(0, 2); };
    camera.position[2] = 48.0f;
    // A sound source through the engine's sound system: its name comes once, then by index.
    fake::NameCache sound_names(6);
    fake::Object hum;
    hum.object_class = 9;
    hum.index = 4;
    hum.mask = 0x2000 | 0x400 | 0x1;
    hum.position[0] = 8.0f;
    hum.class_part = [&sound_names](NetStreamOut& s) {
        sound_names.write(s, "hum");
        s.write_bits(1, 1); // looped
        s.write_bits(1, 1);
        s.write_bits(80, 8); // frequency
        s.write_bits(0, 2);  // no distances, no levels
    };
    server_->send_update(1, {camera, hum});
    server_->flush();
    for (int i = 0; i < 3; ++i) {
        frame();
    }
    server_->receive();
    ASSERT_EQ(server_->maps_loaded.size(), 1u);
    EXPECT_EQ(server_->maps_loaded[0].word, 77u);
    ASSERT_NE(client->camera(), nullptr) << "the camera arrived";
    EXPECT_EQ(client->camera()->pose[0].position.y, 64.0f);
    EXPECT_EQ(client->decoder().damaged_messages, 0);
    ASSERT_NE(client->decoder().manager(9), nullptr);
    EXPECT_GE(client->decoder().manager(9)->find(make_object_id(9, 0, 4)), 0) << "the sound source's object";
    ASSERT_FALSE(server_->inputs.empty());
    EXPECT_EQ(server_->inputs.back().stamp, 1) << "the input acknowledges the update";
    EXPECT_EQ(server_->inputs.back().axes[0], -1);

    // The key through the host's event queue, within the next frame's slice.
    const uint32_t ms = clock_.milliseconds();
    ASSERT_TRUE(events_.push(host::WM_KEYDOWN, 'W', host::key_lparam(SCAN_W, false, false, false), ms + 5));
    server_->inputs.clear();
    frame(0.05);
    frame(0.05);
    server_->receive();
    ASSERT_EQ(server_->inputs.size(), 2u);
    EXPECT_GT(server_->inputs[0].axes[0], 32768) << "part of the first slice";
    EXPECT_EQ(server_->inputs[1].axes[0], 32768 + 8192) << "the whole of the next";

    client->cons_cmd()->add_text("Quit");
    clock_.advance_seconds(0.02);
    EXPECT_EQ(engine_->frame(), 1);
    EXPECT_TRUE(engine_->shutting_down());
}

} // namespace
