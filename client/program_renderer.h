#pragma once
// What both programs' renderer objects do alike over their own screen
// manager and projection: owning and closing them and the world renderer,
// the per-frame calls that pass straight through, binding the loaded map to
// the world renderer and its colours to the screen. Each program derives its
// renderer object from this with its own classes.
#include "client/client_map.h"
#include "client/client_renderer.h"
#include "world/view/bsp_renderer.h"

#include <new>

template <typename Screen, typename Projection>
class ProgramRenderer : public ClientRenderer {
public:
    ~ProgramRenderer() override { close_screen(); }

    int init_world_renderer() override
    {
        if (projection_ == nullptr) {
            return 0;
        }
        close_world_renderer();
        bsp_ = new (std::nothrow) BspRenderer;
        return bsp_ != nullptr && bsp_->init(projection_) != 0 ? 1 : 0;
    }
    void close_world_renderer() override
    {
        delete bsp_;
        bsp_ = nullptr;
    }

    int init_projection() override
    {
        if (screen_ == nullptr) {
            return 0;
        }
        projection_ = new (std::nothrow) Projection;
        return projection_ != nullptr && projection_->init(screen_) != 0 ? 1 : 0;
    }
    // The world renderer and the projection go first, since they draw on
    // the screen (and the OpenGL one holds textures of the screen's GL).
    void close_screen() override
    {
        close_world_renderer();
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

    void set_resolution() override
    {
        if (bsp_ != nullptr) {
            bsp_->set_resolution();
        }
    }
    void draw_world() override
    {
        if (bsp_ != nullptr && bsp_->world != nullptr) {
            bsp_->draw_world();
        } else {
            projection_->clear_window();
        }
    }
    void print_stats() override
    {
        if (bsp_ != nullptr) {
            bsp_->print_stats();
        }
    }
    void set_world(ClientMap* map) override
    {
        world_ = map;
        if (bsp_ != nullptr && map != nullptr && map->shared() != nullptr) {
            bsp_->set_world(&map->world());
        }
    }
    void clear_world() override
    {
        world_ = nullptr;
        if (bsp_ != nullptr) {
            bsp_->clear_world();
        }
    }

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
    BspRenderer* bsp_ = nullptr;
};
