#pragma once
// The OpenGL screen manager started over the demo's font and pictures, on a
// windowed mode or on a mode of the test's own.
#include "gl_fixture.h"
#include "renderer/screen_manager.h"

class GLScreenFixture : public GLVideoTest {
protected:
    // own: a mode to start on instead of the windowed driver's (taken over).
    void start_screen(int32_t width, int32_t height, KVideoMode* own = nullptr)
    {
        mount_demo_base();
        if (own != nullptr) {
            open_mode(own, width, height);
        } else {
            open_mode("WIN", width, height);
        }
        if (IsSkipped()) {
            return;
        }
        ASSERT_EQ(screen.init(mode.get(), "small.fnt", "backgrnd", "loading"), 1);
    }

    void TearDown() override
    {
        screen.close();
        GLVideoTest::TearDown();
    }

    ScreenManager screen;
};
