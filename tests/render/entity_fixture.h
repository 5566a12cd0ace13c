#pragma once
// A software screen with its projection for the drawable records: the demo
// screen assets and our own models in the base directory, a sine table for
// the pose matrices, a random table for the particles, a camera placed by
// eye and target (z up), and the printed lines captured.
#include "core/config_variable.h"
#include "core/random_table.h"
#include "core/sine_table.h"
#include "core/view_frame.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "support/print_capture.h"
#include "support/screen_fixture.h"
#include "tools/models/demo_models.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

class EntityTest : public ScreenBase {
protected:
    void SetUp() override
    {
        ScreenBase::SetUp();
        ASSERT_TRUE(tools::write_demo_models(tree_.path("kavrin")));
        saved_sine_ = sine_table;
        ASSERT_EQ(sine_.init(4096), 1);
        sine_table = &sine_;
        saved_random_ = random_table;
        ASSERT_EQ(random_.init(1024), 1);
        random_table = &random_;
    }
    void TearDown() override
    {
        projection_.shutdown();
        screen_.shutdown();
        sine_table = saved_sine_;
        random_table = saved_random_;
        ScreenBase::TearDown();
    }

    void start(int32_t w, int32_t h)
    {
        mode_ = std::make_unique<MemoryVideoMode>(w, h, 1, w + 5);
        ASSERT_EQ(screen_.init(mode_.get(), "backgrnd", "loading", "small.fnt"), 1);
        ASSERT_EQ(projection_.init(&screen_), 1);
    }

    // A camera at eye looking at target, z up; a view of 90 degrees across.
    void look(const Vector& eye, const Vector& target)
    {
        Vector f = target;
        vec_sub(f, eye);
        vec_normalize(f);
        const Vector up = {0.0f, 0.0f, 1.0f};
        Vector r;
        vec_cross(f, up, r);
        vec_normalize(r);
        Vector d;
        vec_cross(f, r, d);
        const Vector rows[3] = {r, d, f};
        for (int i = 0; i < 3; ++i) {
            view_.view.m[4 * i] = rows[i].x;
            view_.view.m[4 * i + 1] = rows[i].y;
            view_.view.m[4 * i + 2] = rows[i].z;
            view_.view.m[4 * i + 3] = -vec_dot(rows[i], eye);
        }
        view_.set_extents(1.0f, static_cast<float>(projection_.ysize) / static_cast<float>(projection_.xsize));
        projection_.begin_frame(view_);
        projection_.clear_window();
    }

    void set(const char* name, bool on) { cvar_list->find(name)->set_bool(on ? 1 : 0); }

    uint32_t& pixel(int32_t x, int32_t y) { return projection_.window_pixels[projection_.line_offset[y] + x]; }
    int32_t drawn_pixels()
    {
        int32_t n = 0;
        for (int32_t y = 0; y < projection_.ysize; ++y) {
            for (int32_t x = 0; x < projection_.xsize; ++x) {
                n += pixel(x, y) != 0 ? 1 : 0;
            }
        }
        return n;
    }

    std::unique_ptr<MemoryVideoMode> mode_;
    ScreenManager screen_;
    ScreenProjection projection_;
    ViewFrame view_;
    SineTable sine_;
    RandomTable random_;
    PrintCapture capture_;

private:
    SineTable* saved_sine_ = nullptr;
    RandomTable* saved_random_ = nullptr;
};
