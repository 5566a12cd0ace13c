#pragma once
// What both programs' renderer objects do alike over their own screen
// manager and projection: owning and closing them, the per-frame calls that
// pass straight through, and binding the loaded map's colours to the screen.
// Each program derives its renderer object from this with its own classes.
#include "client/client_map.h"
#include "client/client_renderer.h"

#include <new>

template <typename Screen, typename Projection>
class ProgramRenderer : public ClientRenderer {
public:
    ~ProgramRenderer() override { close_screen(); }

    int init_projection() override
    {
        if (screen_ == nullptr) {
            return 0;
        }
        projection_ = new (std::nothrow) Projection;
        return projection_ != nullptr && projection_->init(screen_) != 0 ? 1 : 0;
    }
    // The projection goes first, since it draws on the screen.
    void close_screen() override
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
    bool has_screen() const override { return screen_ != nullptr; }
    bool has_projection() const override { return projection_ != nullptr; }

    void begin_frame(int loading) override { screen_->begin_frame(loading); }
    void present(int screenshot) override { screen_->present(screenshot); }
    void set_window_size(int32_t width, int32_t height) override { screen_->set_window_size(width, height); }
    void set_projection_size(int32_t width, int32_t height) override { projection_->set_size(width, height); }
    void set_time(int32_t ticks) override { projection_->set_time(ticks); }
    void begin_view(const ViewFrame& view) override { projection_->begin_frame(view); }
    void clear_window() override { projection_->clear_window(); }

    void attach_world() override
    {
        if (world_ != nullptr && projection_ != nullptr && world_->world().screen == nullptr) {
            world_->world().attach_screen(projection_);
        }
    }
    void detach_world() override
    {
        if (world_ != nullptr && world_->world().screen != nullptr) {
            world_->world().detach_screen();
        }
    }
    Projection* projection() override { return projection_; }
    Screen* screen_manager() override { return screen_; }
    const uint8_t* attach_layout() const override { return projection_->rgb_layout; }
    const uint8_t* detach_layout() const override { return projection_->layout_inverse; }

protected:
    Screen* screen_ = nullptr;
    Projection* projection_ = nullptr;
    ClientMap* world_ = nullptr;
};
