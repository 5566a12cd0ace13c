#include "gl/ws_mouse.h"
#include "gl_fixture.h"
#include "platform/mouse.h"

#include <cmath>
#include <vector>

namespace {

TEST(MouseSmoothingBlend, BlendsWithTheLastMotionByTheFramesLength)
{
    struct Step {
        int dx;
        int dy;
        double dt;
        float filter;
        int x;
        int y;
    };
    const struct {
        const char* why;
        std::vector<Step> steps;
    } cases[] = {
        // w = exp(-1) = 0.368: 63.2 and then 0.368 x 63 = 23.2.
        {"a jump reported over two reads", {{100, -100, 0.05, 1.0f, 63, -63}, {0, 0, 0.05, 1.0f, 23, -23}}},
        {"no filter: raw motion", {{100, 7, 0.05, 0.0f, 100, 7}, {0, 0, 0.05, 0.0f, 0, 0}}},
        {"a negative filter is off too", {{-5, 5, 0.05, -1.0f, -5, 5}}},
        // 0.86 truncates to 0, and 0 is what the next read blends with.
        {"a steady pixel at 0.1 s stays 0", {{1, 1, 0.1, 1.0f, 0, 0}, {1, 1, 0.1, 1.0f, 0, 0}}},
        {"not a number is off", {{9, 9, 0.05, std::nanf(""), 9, 9}}},
    };
    for (const auto& c : cases) {
        MouseSmoothing s;
        int n = 0;
        for (const Step& step : c.steps) {
            int dx = step.dx;
            int dy = step.dy;
            s.apply(dx, dy, step.dt, step.filter);
            EXPECT_EQ(dx, step.x) << c.why << ", read " << n;
            EXPECT_EQ(dy, step.y) << c.why << ", read " << n;
            EXPECT_EQ(s.last_x, step.x) << c.why;
            ++n;
        }
    }
}

class GLMouseTest : public GLVideoTest {
protected:
    void SetUp() override
    {
        GLVideoTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        mouse_capture(0);
        ASSERT_EQ(mouse_capture_state(), MOUSE_CAPTURED);
    }
    InputDeviceState read(double dt)
    {
        InputDeviceState s;
        mouse_device()->read(s, 10.0, 10.0 + dt);
        return s;
    }
};

TEST_F(GLMouseTest, StartUpSmoothsTheMouseAndAStillOffsetStaysInPlace)
{
    ConfigVariable* const filter = cvar_list->find("Mouse_Filter");
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->type(), CVTYPE_FLOAT);
    EXPECT_EQ(filter->as_float(), 1.0f);

    pointer.x += 100;
    InputDeviceState s = read(0.05);
    EXPECT_FLOAT_EQ(s.x, 63 / (0.05f * 256.0f));
    EXPECT_EQ(pointer.x, 512) << "recentred";
    s = read(0.05);
    EXPECT_FLOAT_EQ(s.x, 23 / (0.05f * 256.0f));

    // Let the motion die down, bounded.
    for (int i = 0; i < 20 && read(0.05).x != 0.0f; ++i) {
    }
    const int moves = pointer.moves;
    pointer.x += 1;
    s = read(0.1);
    EXPECT_EQ(s.x, 0.0f);
    EXPECT_EQ(pointer.x, 513) << "a small offset is measured again next time";
    EXPECT_EQ(pointer.moves, moves);

    filter->set_float(0.0f);
    s = read(0.1);
    EXPECT_FLOAT_EQ(s.x, 1 / (0.1f * 256.0f));
    EXPECT_EQ(pointer.x, 512);

    // After video shutdown the variable is released and motion is raw.
    video_done();
    video_started = false;
    EXPECT_EQ(cvar_list->find("Mouse_Filter"), nullptr);
    pointer.x += 100;
    s = read(0.05);
    EXPECT_FLOAT_EQ(s.x, 100 / (0.05f * 256.0f));
}

} // namespace
