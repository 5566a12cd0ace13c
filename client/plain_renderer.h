#pragma once
// The renderer the client uses until a full one is plugged in: a screen with
// the console's text list over the video mode's frame buffer, cleared every
// frame; the projection and world renderer only keep their sizes and world.
#include "client/client_renderer.h"

#include <memory>

class ScreenManager;

class PlainRenderer final : public ClientRenderer {
public:
    PlainRenderer();
    ~PlainRenderer() override;

    int init_screen(KVideoMode* mode, const char* font, const char* background, const char* loading) override;
    int init_projection() override;
    int init_world_renderer() override;
    void close_world_renderer() override { world_renderer_ = false; }
    void close_screen() override;
    bool has_screen() const override { return screen_ != nullptr; }
    bool has_projection() const override { return projection_; }
    TextScreen* text_screen() override;

    void begin_frame(int loading) override;
    void present(int screenshot) override;
    void set_window_size(int32_t width, int32_t height) override;
    void set_projection_size(int32_t width, int32_t height) override;
    void set_resolution() override {}
    void set_time(int32_t ticks) override { time_ = ticks; }
    void begin_view(const ViewFrame& view) override;
    void draw_world() override { ++worlds_drawn_; }
    void clear_window() override { ++windows_cleared_; }
    void print_timing() override {}
    void print_stats() override {}

    void set_world(ClientMap* map) override { world_ = map; }
    void clear_world() override { world_ = nullptr; }
    void attach_world() override { attached_ = true; }
    void detach_world() override { attached_ = false; }
    const uint8_t* attach_layout() const override;
    const uint8_t* detach_layout() const override;

    // What the client asked for, for tests.
    int32_t window_width() const { return window_w_; }
    int32_t window_height() const { return window_h_; }
    int32_t projection_width() const { return projection_w_; }
    int32_t projection_height() const { return projection_h_; }
    int32_t time() const { return time_; }
    int32_t frames() const { return frames_; }
    int32_t loading_frames() const { return loading_frames_; }
    int32_t screenshots() const { return screenshots_; }
    int32_t worlds_drawn() const { return worlds_drawn_; }
    int32_t windows_cleared() const { return windows_cleared_; }
    bool world_attached() const { return attached_; }
    ClientMap* world() const { return world_; }
    const ViewFrame* last_view() const { return view_; }

private:
    KVideoMode* mode_ = nullptr;
    std::unique_ptr<ScreenManager> screen_;
    bool projection_ = false;
    bool world_renderer_ = false;
    bool attached_ = false;
    ClientMap* world_ = nullptr;
    const ViewFrame* view_ = nullptr;
    int32_t window_w_ = 0;
    int32_t window_h_ = 0;
    int32_t projection_w_ = 0;
    int32_t projection_h_ = 0;
    int32_t time_ = 0;
    int32_t frames_ = 0;
    int32_t loading_frames_ = 0;
    int32_t screenshots_ = 0;
    int32_t worlds_drawn_ = 0;
    int32_t windows_cleared_ = 0;
    uint8_t inverse_layout_[4] = {};
};
