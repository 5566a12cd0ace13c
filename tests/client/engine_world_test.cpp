// The software engine with its own server over its loopback draws the world
// of the demo's generated map from the camera the server gives the player: the 3-D
// window holds more than the clear colour, and the whole world (textures,
// volumes) is held from the load to the unload.
#include "client/client.h"
#include "client/client_map.h"
#include "engine_fixture.h"
#include "engine_server_access.h"
#include "core/cons_cmd.h"
#include "engine/engine.h"
#include "host/host_clock.h"
#include "world/view/client_world.h"
#include "platform/video_mode.h"
#include "tools/assets/demo_assets.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_runtime.h"
#include "tools/mapgen/mapgen.h"
#include "world/shared_map.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

namespace {

// The demo's own map and scripts.
std::string source_text(const char* name)
{
    std::ifstream in(std::string(OSTREL_SOURCE) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class EngineWorldTest : public EngineFixture {
protected:
    std::string scripts() const override { return source_text("game/demo.kas"); }
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
        mapgen::MapFiles files;
        std::string error;
        ASSERT_TRUE(mapgen::generate_map(source_text("game/maps/demo.rooms"), files, error)) << error;
        ASSERT_TRUE(mapgen::write_map_directory(files, "maps/demo", error)) << error;
        ASSERT_TRUE(mapgen::write_map_textures(files, ".", error)) << error;
    }
    // Pixels of the lower half of the screen (below the console's lines)
    // that are not the clear colour.
    static int64_t drawn_pixels(const KVideoMode& mode)
    {
        int64_t n = 0;
        for (int32_t y = mode.yres / 2; y < mode.yres; ++y) {
            const uint32_t* const row = mode.framebuffer + mode.line_offset[y];
            for (int32_t x = 0; x < mode.xres; ++x) {
                n += (row[x] & 0xFFFFFFu) != 0 ? 1 : 0;
            }
        }
        return n;
    }
};

TEST_F(EngineWorldTest, TheWorldIsDrawnFromTheServersCamera)
{
    engine_ = std::make_unique<Engine>();
    const char* argv[] = {"ostrel", "-width", "320", "-height", "240"};
    ASSERT_EQ(engine_->init(5, argv), 1);
    Client* const client = engine_->client();
    ASSERT_TRUE(start_server_map(*engine_, "demo"));
    ASSERT_EQ(client->cons_cmd()->add_text("Connect local"), 1);
    for (int i = 0; i < 200 && client->camera() == nullptr; ++i) {
        frame();
    }
    ASSERT_TRUE(client->map_active());
    ASSERT_NE(client->camera(), nullptr);

    ClientWorld* const world = &client->world().world();
    ASSERT_NE(world, nullptr) << "the software client holds the whole world";
    EXPECT_EQ(world->map, client->world().shared());
    EXPECT_NE(world->volumes, nullptr) << "the collision volumes are shared too";
    EXPECT_GT(world->texture_count, 0);
    EXPECT_GT(world->light_count, 0);
    EXPECT_NE(world->screen, nullptr) << "the world is converted to the screen's layout";

    for (int i = 0; i < 10; ++i) {
        frame();
    }
    const KVideoMode* const mode = client->video_mode();
    ASSERT_NE(mode, nullptr);
    ASSERT_NE(mode->framebuffer, nullptr);
    const int64_t half = static_cast<int64_t>(mode->xres) * (mode->yres - mode->yres / 2);
    EXPECT_GT(drawn_pixels(*mode), half / 2) << "the window shows the world, not the clear colour";

    // A new mode keeps the loaded world: it is detached and attached again.
    ASSERT_EQ(client->set_mode(client->current_driver(), 400, 300), 1);
    EXPECT_EQ(world->map, client->world().shared());
    EXPECT_NE(world->screen, nullptr);
    for (int i = 0; i < 3; ++i) {
        frame();
    }
    ASSERT_NE(mode->framebuffer, nullptr);
    const int64_t resized = static_cast<int64_t>(mode->xres) * (mode->yres - mode->yres / 2);
    EXPECT_GT(drawn_pixels(*mode), resized / 2) << "drawn again in the new mode";

    ASSERT_EQ(client->cons_cmd()->add_text("Disconnect"), 1);
    frame();
    EXPECT_FALSE(client->map_active());
    EXPECT_EQ(world->map, nullptr) << "the unload releases the world";
    EXPECT_EQ(world->volumes, nullptr);
    EXPECT_EQ(world->screen, nullptr);
}

} // namespace
