#include "client/client_renderer.h"
#include "core/view_frame.h"
#include "fsys/temp_tree.h"
#include "gl_fixture.h"
#include "host/host_gl.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

// The client's calls of one frame, through the OpenGL program's renderer
// object, on a 64 x 64 window.
class GLClientRendererTest : public GLVideoTest {
protected:
    void SetUp() override
    {
        GLVideoTest::SetUp();
        mount_demo_base();
        open_mode("WIN", 64, 64);
        if (IsSkipped()) {
            return;
        }
        renderer.reset(program_renderer());
        ASSERT_NE(renderer, nullptr);
        ASSERT_EQ(renderer->init_screen(mode.get(), "small.fnt", "backgrnd", "loading"), 1);
        ASSERT_EQ(renderer->init_projection(), 1);
        ASSERT_EQ(renderer->init_world_renderer(), 1);
    }

    void TearDown() override
    {
        renderer.reset();
        GLVideoTest::TearDown();
    }

    // The shot's pixel (x, y), y from the top, as red, green, blue.
    std::vector<int> shot_pixel(int x, int y) const
    {
        std::ifstream in(tree.path("kavrin/shots/kvr00000.bmp"), std::ios::binary);
        const std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), {}};
        if (b.size() < 54u + 64u * 64u * 3u) {
            return {};
        }
        const size_t at = (b[10] | b[11] << 8) + static_cast<size_t>((63 - y) * 64 + x) * 3u;
        return {b[at + 2], b[at + 1], b[at]};
    }

    std::unique_ptr<ClientRenderer> renderer;
};

TEST_F(GLClientRendererTest, AFrameClearsTheCentredWindowAndTheShotReadsItBack)
{
    if (IsSkipped()) {
        return;
    }
    EXPECT_TRUE(renderer->has_screen());
    EXPECT_TRUE(renderer->has_projection());
    // The projection lays colours out as GL takes them: red lowest.
    EXPECT_EQ(renderer->attach_layout()[0], 0);
    EXPECT_EQ(renderer->attach_layout()[2], 16);
    renderer->set_window_size(32, 32);
    renderer->set_projection_size(32, 32);
    renderer->set_resolution();

    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ViewFrame view;
    view.set_extents(1.0f, 1.0f);
    renderer->begin_frame(0);
    renderer->set_time(140);
    renderer->begin_view(view);
    renderer->draw_world();
    renderer->present(1);

    // size01's background, the nearest to a 64 x 64 screen.
    const tools::PictureDesign background = tools::demo_background(320, 200);
    const auto backdrop = [&](int x, int y) { return stretched_picture_pixel(background, 64, 64, x, y); };
    const std::vector<int> black = {0, 0, 0};
    struct Case {
        const char* where;
        int x;
        int y;
        std::vector<int> rgb;
    };
    const Case cases[] = {
        {"top-left corner, outside the window", 0, 0, backdrop(0, 0)},
        {"last row outside the window", 63, 15, backdrop(63, 15)},
        {"first pixel of the window", 16, 16, black},
        {"centre", 32, 32, black},
        {"last pixel of the window", 47, 47, black},
        {"first column right of the window", 48, 47, backdrop(48, 47)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shot_pixel(c.x, c.y), c.rgb) << c.where;
    }
}

TEST_F(GLClientRendererTest, ClosingTheScreenLeavesNoneAndAFreshStartWorks)
{
    if (IsSkipped()) {
        return;
    }
    renderer->close_world_renderer();
    renderer->close_screen();
    EXPECT_FALSE(renderer->has_screen());
    EXPECT_FALSE(renderer->has_projection());
    // The projection's variables went with it: a second start links them again.
    EXPECT_EQ(cvar_list->find("R_Clear"), nullptr);
    ASSERT_EQ(renderer->init_screen(mode.get(), "small.fnt", "backgrnd", "loading"), 1);
    ASSERT_EQ(renderer->init_projection(), 1);
    EXPECT_NE(cvar_list->find("R_Clear"), nullptr);
}

} // namespace
