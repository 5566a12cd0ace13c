#pragma once
// The engine with its own server on a generated hall, its client connected
// and the camera at the west end looking east at the far wall; helpers that
// make and change the server's objects and read the frame the software
// renderer drew. From the start on, printed lines go to a capture, so the
// console draws nothing new over the window.
#include "client/client_renderer.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "engine_fixture.h"
#include "platform/video_mode.h"
#include "renderer/screen_projection.h"
#include "server_properties.h"
#include "support/print_capture.h"
#include "tools/mapgen/mapgen.h"
#include "tools/models/demo_models.h"
#include "tools/textures/texture_writer.h"
#include "tools/tmm/tmm_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

// A hall lit dimly from its middle and, through map lamp 1, near its east
// wall; a side room west of it holds a mover, BSP model 1.
const char* const HALL = R"(
id 0x7e57
tile 64
room hall 0 0 0 512 512 256
room side -256 192 0 0 320 128
door hall side 0 224 0 0 288 96
mover -200 230 16 -136 282 80
light 256 256 200 4 0.3 255 255 255
light 448 256 128 1.5 1 255 255 255 lamp 1
)";

const Vector EYE = {64.0f, 256.0f, 128.0f};
const float EAST = -1.5707963f; // the camera's yaw that looks along +x
const Vector WALL_CENTRE = {512.0f, 256.0f, 128.0f};
const Vector WALL_FAR = {512.0f, 60.0f, 200.0f}; // beyond lamp 1's reach
const Vector MIDDLE = {300.0f, 256.0f, 128.0f};

struct Rgb {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    double sum() const { return r + g + b; }
};

struct Region {
    int32_t x0, y0, x1, y1; // x1, y1 beyond
};

using Frame = std::vector<uint32_t>;

class HallTest : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        mapgen::MapFiles files;
        std::string error;
        ASSERT_TRUE(mapgen::generate_map(HALL, files, error)) << error;
        ASSERT_TRUE(mapgen::write_map_directory(files, "maps/hall", error)) << error;
        ASSERT_TRUE(mapgen::write_map_textures(files, ".", error)) << error;
        ASSERT_TRUE(tools::write_demo_models("."));
        // The figure's body stands, leans and crouches in turn, a tenth of a second each.
        tmm::Model figure;
        figure.poses = 6;
        figure.radius = 64.0;
        tmm::Cycle bend;
        bend.frames = {{0, 0.1}, {1, 0.1}, {2, 0.1}};
        figure.cycles = {bend};
        std::ofstream("models/demo/figure.tmm") << tmm::write_model(figure);
        std::filesystem::create_directories("textures/sprites");
        const std::vector<uint8_t> dot = tools::cmt_bytes(blue_dot());
        std::ofstream("textures/sprites/dot.cmt", std::ios::binary)
            .write(reinterpret_cast<const char*>(dot.data()), static_cast<std::streamsize>(dot.size()));
    }
    void TearDown() override
    {
        capture_.reset();
        EngineFixture::TearDown();
    }

    // A 16 x 16 solid blue sprite.
    static tools::TextureImage blue_dot()
    {
        tools::TextureImage image;
        image.width = image.height = 16;
        image.palette[3 * 1 + 2] = 255;
        image.index.assign(256, 1);
        image.alpha.assign(256, 255);
        return image;
    }

    // The engine on the hall, its client connected and its camera looking
    // east from the west end; from here the console shows no new lines.
    void start()
    {
        ASSERT_NO_FATAL_FAILURE(start_connected());
        camera_ = spawned_slot(*engine_).camera_id;
        server_place(*engine_, camera_, EYE.x, EYE.y, EYE.z);
        server_turn(*engine_, camera_, EAST, 0.0f, 0.0f);
        capture_ = std::make_unique<PrintCapture>();
        capture_->show_all();
        ASSERT_EQ(client()->cons_cmd()->add_text("Cls"), 1);
        ASSERT_NO_FATAL_FAILURE(settle());
    }
    // The engine on the hall in a 320 x 240 mode, its client connected.
    void start_connected()
    {
        ASSERT_NO_FATAL_FAILURE(start_engine("hall", {"-width", "320", "-height", "240"}));
        ASSERT_NO_FATAL_FAILURE(connect());
    }
    // Frames enough for a change on the server to be drawn by the client.
    void settle() { ASSERT_NO_FATAL_FAILURE(frames(4)); }

    Client* client() const { return engine_->client(); }
    EntitySet& entities() const { return client()->entities(); }
    const ScreenProjection& projection() const { return *client()->renderer()->projection(); }
    int slot_of(int32_t id) const
    {
        CObjManager* const m = client()->decoder().manager((id >> 20) & 15);
        return m != nullptr ? m->find(static_cast<uint32_t>(id)) : -1;
    }

    // The 3-D window's pixels as drawn by the last frame.
    Frame window() const
    {
        const ScreenProjection& p = projection();
        Frame out;
        for (int32_t y = 0; y < p.ysize; ++y) {
            const uint32_t* const row = p.window_pixels + p.line_offset[y];
            out.insert(out.end(), row, row + p.xsize);
        }
        return out;
    }
    // The square of 2 half + 1 pixels around where the world point shows.
    Region around(const Vector& point, int32_t half) const
    {
        const ScreenProjection& p = projection();
        Vector d = point;
        vec_sub(d, p.position);
        const double z = vec_dot(d, p.forward);
        EXPECT_GT(z, 1.0) << "in front of the camera";
        const auto x = static_cast<int32_t>(std::lround(p.centre_x + p.xscale * vec_dot(d, p.right) / z));
        const auto y = static_cast<int32_t>(std::lround(p.centre_y + p.yscale * vec_dot(d, p.down) / z));
        Region r{std::max(x - half, 0), std::max(y - half, 0), std::min(x + half + 1, p.xsize),
                 std::min(y + half + 1, p.ysize)};
        EXPECT_TRUE(r.x0 < r.x1 && r.y0 < r.y1) << "on the window";
        return r;
    }
    Region whole() const { return {0, 0, projection().xsize, projection().ysize}; }
    Rgb mean(const Frame& f, const Region& r) const
    {
        const ScreenProjection& p = projection();
        Rgb sum;
        for (int32_t y = r.y0; y < r.y1; ++y) {
            for (int32_t x = r.x0; x < r.x1; ++x) {
                const uint32_t c = f[static_cast<size_t>(y * p.xsize + x)];
                sum.r += (c >> p.rgb_layout[0]) & 0xFF;
                sum.g += (c >> p.rgb_layout[1]) & 0xFF;
                sum.b += (c >> p.rgb_layout[2]) & 0xFF;
            }
        }
        const double n = static_cast<double>(r.x1 - r.x0) * (r.y1 - r.y0);
        return {sum.r / n, sum.g / n, sum.b / n};
    }
    int32_t changed(const Frame& a, const Frame& b, const Region& r) const
    {
        int32_t n = 0;
        for (int32_t y = r.y0; y < r.y1; ++y) {
            for (int32_t x = r.x0; x < r.x1; ++x) {
                const size_t k = static_cast<size_t>(y * projection().xsize + x);
                n += a[k] != b[k] ? 1 : 0;
            }
        }
        return n;
    }
    int32_t area(const Region& r) const { return (r.x1 - r.x0) * (r.y1 - r.y0); }

    int32_t create(int object_class, const Vector& at)
    {
        const int32_t id = server_create(*engine_, object_class);
        EXPECT_GE(id, 0);
        server_place(*engine_, id, at.x, at.y, at.z);
        return id;
    }
    void set(int32_t id, int property, std::initializer_list<ServerArg> args)
    {
        EXPECT_EQ(server_set(*engine_, id, property, args), 1) << std::hex << id << " property " << property;
    }

    std::unique_ptr<PrintCapture> capture_;
    int32_t camera_ = -1;
};
