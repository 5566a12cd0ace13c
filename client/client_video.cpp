// The client's video mode, the renderer on it, the size of the 3-D window,
// and the load and unload of the map with the managers of every class.
#include "client/client.h"

#include "client/client_input.h"
#include "client/client_map.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"

#include "client/client_renderer.h"
#include "client/client_sound.h"
#include "client/entity_fields.h"
#include "core/command_line.h"
#include "core/config_variable.h"
#include "core/console.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/scan.h"
#include "core/timer.h"
#include "fsys/fsys.h"
#include "platform/video_mode.h"
#include "platform/video_registry.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int MAP_PATH_SIZE = 32;
constexpr const char* CLIENT_FONT = "small.fnt";

// The first occurrence of the option with exactly one parameter, when "%d"
// reads 0 or more from it.
void read_size_option(const char* name, int32_t& value)
{
    if (command_line->find_option(name) != 0 && command_line->parameter_count() == 1) {
        int32_t v = 0;
        if (scan_decimal(command_line->parameter(0), v) && v >= 0) {
            value = v;
        }
    }
    command_line->end_search();
}

} // namespace

int Client::init_video()
{
    if (!client_has_video()) {
        return 1;
    }
    int driver = 0;
    int32_t width = 0;
    int32_t height = 0;
    if (command_line != nullptr) {
        while (command_line->find_option("video") != 0) {
            if (command_line->parameter_count() == 1) {
                const int found = video_find_driver(command_line->parameter(0));
                if (found >= 0) {
                    driver = found;
                }
            }
        }
        command_line->end_search();
        read_size_option("width", width);
        read_size_option("height", height);
    }
    if (set_mode(driver, width, height) != 0) {
        return 1;
    }
    return set_mode(driver, 0, 0) != 0 || set_mode(0, 0, 0) != 0 ? 1 : 0;
}

int Client::set_mode_fallback(int driver, int32_t width, int32_t height)
{
    return set_mode(driver, width, height) != 0 || set_mode(driver, 0, 0) != 0 || set_mode(0, 0, 0) != 0 ? 1 : 0;
}

int Client::set_mode(int driver, int32_t width, int32_t height)
{
    if (driver == driver_) {
        driver_ = -1;
        if (v_mode_ != nullptr) {
            done_renderer();
            v_mode_->close_mode();
        }
    } else {
        driver_ = -1;
        if (v_mode_ != nullptr) {
            done_renderer();
            v_mode_->close_mode();
            video_destroy_mode(v_mode_);
            v_mode_ = nullptr;
        }
        v_mode_ = video_create_mode(driver);
        if (v_mode_ == nullptr) {
            return 0;
        }
    }
    if (v_mode_ == nullptr || v_mode_->init_mode(width, height) == 0) {
        return 0;
    }
    if (init_renderer() == 0) {
        return 0;
    }
    K_ASSERT(console_ && cons_cmd_);
    if (console_->init(renderer_->text_screen(), cons_cmd_) == 0) {
        return 0;
    }
    driver_ = driver;
    return 1;
}

void Client::attach_entities()
{
    renderer_->set_world(world_.get());
    renderer_->attach_world();
    entities_->start(renderer_->projection(), renderer_->screen_manager());
}

void Client::detach_entities()
{
    renderer_->detach_world();
    entities_->stop();
}

int Client::init_renderer()
{
    done_renderer();
    renderer_ = client_renderer_factory()();
    if (renderer_ == nullptr || renderer_->init_screen(v_mode_, CLIENT_FONT, "backgrnd", "loading") == 0) {
        // The font reader says nothing of why; the file is named before the
        // lines that only say that the screen could not start.
        if (renderer_ != nullptr && renderer_->font_failed()) {
            FileStream* const file = fsys != nullptr ? fsys->open(CLIENT_FONT, FSYS_BINARY) : nullptr;
            if (file == nullptr) {
                print_format(P_ERROR, "Client: Can't find the font '%s'", CLIENT_FONT);
            } else {
                file->close();
                print_format(P_ERROR, "Client: The font '%s' is damaged", CLIENT_FONT);
            }
        }
        print_string(P_ERROR, "Client: ScreenManager init error");
        return 0;
    }
    if (renderer_->init_projection() == 0) {
        print_string(P_ERROR, "Client: ScreenProjection init error");
        return 0;
    }
    renderer_->set_time(interp_ticks_total_);
    if (renderer_->init_world_renderer() == 0) {
        print_string(P_ERROR, "Client: PolyRenderer init error");
        return 0;
    }
    if (map_active_ != 0) {
        attach_entities();
    }
    set_view_size(1.0f);
    return 1;
}

void Client::done_renderer()
{
    if (renderer_ == nullptr) {
        return;
    }
    renderer_->close_world_renderer();
    if (map_active_ != 0 && renderer_->has_projection()) {
        detach_entities();
    }
    renderer_->clear_world();
    renderer_->close_screen();
    delete renderer_;
    renderer_ = nullptr;
}

void Client::set_view_size(float factor)
{
    if (renderer_ == nullptr || !renderer_->has_screen() || factor > VIEW_SIZE_MAX || factor < VIEW_SIZE_MIN) {
        return;
    }
    view_size_ = factor;
    const auto w = static_cast<int32_t>(std::floor(static_cast<double>(v_mode_->xres) * factor + 0.5));
    const auto h = static_cast<int32_t>(std::floor(static_cast<double>(v_mode_->yres) * factor + 0.5));
    if (map_active_ != 0) {
        renderer_->set_window_size(w, h);
    } else {
        renderer_->set_window_size(0, 0);
    }
    if (renderer_->has_projection()) {
        renderer_->set_projection_size(w, h);
    }
    renderer_->set_resolution();
}

int Client::load_map(const char* name)
{
    if (renderer_ != nullptr && renderer_->has_screen()) {
        renderer_->begin_frame(1);
        renderer_->present(0);
    }
    unload_map();
    print_format(P_IMPORTANT, "Client: Loading map '%s'", name);
    char path[MAP_PATH_SIZE];
    std::snprintf(path, sizeof path, "maps/%s", name);
    decoder_->reset_stamps();
    decoder_->clear_classes();
    time_interpolate_ = -1.0;
    // The name comes from the server: only a plain name may become a path.
    if (!is_plain_name(name) || world_->load_world(share_, path) == 0) {
        print_format(P_ERROR, "Client: Can't load map '%s'", name);
        return 0;
    }
    if (renderer_ != nullptr) {
        renderer_->set_world(world_.get());
    }
    if (entities_->create(*decoder_, *world_, sound_) == 0) {
        return 0;
    }
    map_active_ = 1;
    if (renderer_ != nullptr && renderer_->has_projection()) {
        attach_entities();
    }
    set_view_size(view_size_);
    reset_net_stats();
    if (cv_timedemo_->int_value() > 0) {
        timedemo_frames_ = 0;
        timedemo_start_ = sys_time();
    }
    return 1;
}

void Client::unload_map()
{
    if (cv_timedemo_ != nullptr && cv_timedemo_->int_value() > 0 && timedemo_frames_ > 0) {
        const double s = sys_time() - timedemo_start_;
        print_format(P_IMPORTANT, "TimeDemo: %d frames in %.2f seconds (%.2f FPS)", timedemo_frames_, s,
                     timedemo_frames_ / s);
    }
    timedemo_frames_ = -1;
    if (renderer_ != nullptr) {
        if (map_active_ != 0 && renderer_->has_projection()) {
            detach_entities();
        }
        renderer_->clear_world();
    }
    entities_->unregister(*decoder_);
    entities_->destroy(sound_);
    world_->close_map();
    map_active_ = 0;
    set_view_size(view_size_);
    time_interpolate_ = -1.0;
    interp_ticks_total_ = 0;
    interp_ticks_frame_ = 0;
    if (renderer_ != nullptr && renderer_->has_projection()) {
        renderer_->set_time(0);
    }
}
