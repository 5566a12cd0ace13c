// The client's video mode and renderer in the software program: a video
// driver of the registry, the screen manager and the screen projection.
#include "client/client.h"

#include "core/command_line.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/scan.h"
#include "render/screen_manager.h"
#include "render/screen_projection.h"
#include "soft/video_mode.h"
#include "soft/video_registry.h"

#include <cmath>
#include <new>

namespace {

// The first occurrence of the option with exactly one parameter, when it is a
// number of 0 or more.
void read_size_option(const char* name, int32_t& value)
{
    if (command_line == nullptr) {
        return;
    }
    if (command_line->find_option(name) && command_line->parameter_count() == 1) {
        int32_t v = 0;
        if (scan_int(command_line->parameter(0), v) && v >= 0) {
            value = v;
        }
    }
    command_line->end_search();
}

} // namespace

int Client::init_video()
{
    int32_t driver = 0;
    int32_t width = 0;
    int32_t height = 0;
    if (command_line != nullptr) {
        while (command_line->find_option("video")) {
            if (command_line->parameter_count() == 1) {
                const int found = video_find_driver(command_line->parameter(0));
                if (found >= 0) {
                    driver = found;
                }
            }
        }
        command_line->end_search();
    }
    read_size_option("width", width);
    read_size_option("height", height);
    return set_mode(driver, width, height) != 0 || set_mode_fallback(driver, 0, 0) != 0 ? 1 : 0;
}

int Client::set_mode_fallback(int32_t driver, int32_t width, int32_t height)
{
    return set_mode(driver, width, height) != 0 || set_mode(driver, 0, 0) != 0 || set_mode(0, 0, 0) != 0 ? 1 : 0;
}

int Client::set_mode(int32_t driver, int32_t width, int32_t height)
{
    if (driver == driver_) {
        driver_ = -1;
        if (v_mode_ != nullptr) {
            done_renderer();
            v_mode_->close_mode();
        }
    } else {
        driver_ = -1;
        close_video();
        v_mode_ = video_create_mode(driver);
        if (v_mode_ == nullptr) {
            return 0;
        }
    }
    if (v_mode_->init_mode(width, height) == 0) {
        return 0;
    }
    if (init_renderer() == 0) {
        return 0;
    }
    K_ASSERT(console_ && cons_cmd_);
    if (console_->init(screen_, cons_cmd_) == 0) {
        return 0;
    }
    // The first init took the print streams; shutdown gives them back.
    console_bound_ = true;
    driver_ = driver;
    return 1;
}

void Client::close_video()
{
    done_renderer();
    if (v_mode_ != nullptr) {
        v_mode_->close_mode();
        video_destroy_mode(v_mode_);
        v_mode_ = nullptr;
    }
    driver_ = -1;
}

int Client::init_renderer()
{
    screen_ = new (std::nothrow) ScreenManager;
    if (screen_ == nullptr || screen_->init(v_mode_, "backgrnd", "loading", "small.fnt") == 0) {
        print_string(P_ERROR, "Client: ScreenManager init error");
        return 0;
    }
    projection_ = new (std::nothrow) ScreenProjection;
    if (projection_ == nullptr || projection_->init(screen_) == 0) {
        print_string(P_ERROR, "Client: ScreenProjection init error");
        return 0;
    }
    projection_->set_ticks(ticks_total_);
    set_view_size(1.0f);
    return 1;
}

void Client::done_renderer()
{
    if (projection_ != nullptr) {
        projection_->shutdown();
        delete projection_;
        projection_ = nullptr;
    }
    if (screen_ != nullptr) {
        screen_->shutdown();
        delete screen_;
        screen_ = nullptr;
    }
}

void Client::set_view_size(float factor)
{
    if (screen_ == nullptr || factor > 1.0f || factor < 0.2f) {
        return;
    }
    view_size_ = factor;
    const int32_t w = static_cast<int32_t>(std::floor(static_cast<float>(v_mode_->xres) * factor + 0.5f));
    const int32_t h = static_cast<int32_t>(std::floor(static_cast<float>(v_mode_->yres) * factor + 0.5f));
    // Without a map there is no 3-D window: the whole screen is background.
    screen_->set_window_size(0, 0);
    if (projection_ != nullptr) {
        projection_->set_size(w, h);
    }
}

void Client::render()
{
    if (screen_ == nullptr) {
        return;
    }
    screen_->begin_frame(0);
    screen_->present(screenshot_);
    screenshot_ = 0;
}
