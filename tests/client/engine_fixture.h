#pragma once
// The engine with its own server over its own loopback, in a scratch
// directory: the demo's screen assets, scripts whose spawnclient lets every
// player enter, and a manual clock that the frames advance.
#include "client/client.h"
#include "core/cons_cmd.h"
#include "engine/engine.h"
#include "engine_server_access.h"
#include "host/host_clock.h"
#include "tools/assets/demo_assets.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"

#include "tests/support/spawn_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>


class EngineFixture : public ::testing::Test {
protected:
    // The source of the game's scripts.
    virtual std::string scripts() const { return SPAWN_SCRIPT; }
    void SetUp() override
    {
        std::random_device seed;
        folder_ = std::filesystem::temp_directory_path() / ("ostrel_engine_" + std::to_string(seed()));
        std::filesystem::create_directories(folder_ / "k");
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        ASSERT_TRUE(tools::write_demo_assets("kavrin"));
        const kasm::Assembly game = kasm::assemble(scripts() + kasm::OBJECT_BASE_SOURCE, "game");
        ASSERT_TRUE(game.ok());
        {
            std::ofstream kob("k/game.kob", std::ios::binary);
            const std::vector<uint8_t> bytes = game.bytes();
            kob.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        std::ofstream("k/koblist.txt") << "textualKOBlist,version000\n1\nk/game.kob\n";
        std::ofstream("initial.ksv").flush();
        clock_.set_micros(1000000);
    }
    void TearDown() override
    {
        engine_.reset();
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // The engine with these arguments after the program's name, its server on the map.
    void start_engine(const char* map, std::vector<const char*> arguments = {})
    {
        arguments.insert(arguments.begin(), "ostrel");
        engine_ = std::make_unique<Engine>();
        ASSERT_EQ(engine_->init(static_cast<int>(arguments.size()), arguments.data()), 1);
        ASSERT_TRUE(start_server_map(*engine_, map));
    }
    void frame(double seconds = 1.0 / 70.0)
    {
        clock_.advance_seconds(seconds);
        ASSERT_EQ(engine_->frame(), 1);
    }
    void frames(int n)
    {
        for (int i = 0; i < n; ++i) {
            ASSERT_NO_FATAL_FAILURE(frame());
        }
    }
    // Connects the engine's client; it has its camera from the server then.
    void connect(const char* commands = "")
    {
        Client* const client = engine_->client();
        ASSERT_EQ(client->cons_cmd()->add_text((std::string(commands) + "Connect local").c_str()), 1);
        for (int i = 0; i < 200 && client->camera() == nullptr; ++i) {
            ASSERT_NO_FATAL_FAILURE(frame());
        }
        ASSERT_EQ(client->net_state(), CSTATE_ACCEPTED);
        ASSERT_TRUE(client->map_active());
        ASSERT_NE(client->camera(), nullptr) << "the server's camera for this client";
    }

    std::filesystem::path folder_;
    std::filesystem::path previous_;
    host::ManualClock clock_;
    host::ScopedClock clock_guard_{&clock_};
    std::unique_ptr<Engine> engine_;
};
