#pragma once
// A renderer for the client's tests: it clears and presents the video mode's
// frame buffer, keeps the console's texts in a list, and remembers what the
// client asked of it.
#include "client/client_renderer.h"
#include "core/text_screen.h"
#include "platform/video_mode.h"

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

class TextList final : public TextScreen {
public:
    explicit TextList(int rows) : rows_(rows) {}
    int add_text(int, int, const char* text) override
    {
        texts.push_back(text);
        return static_cast<int>(texts.size()) - 1;
    }
    void set_text(int id, const char* text) override { texts[static_cast<size_t>(id)] = text; }
    void remove_text(int id) override { texts[static_cast<size_t>(id)] = nullptr; }
    int text_rows() const override { return rows_; }

    std::vector<const char*> texts;

private:
    int rows_;
};

class RecordingRenderer final : public ClientRenderer {
public:
    int init_screen(KVideoMode* mode, const char*, const char*, const char*) override
    {
        if (mode == nullptr || mode->yres <= 0) {
            return 0;
        }
        mode_ = mode;
        screen_ = std::make_unique<TextList>(mode->yres / 8);
        for (int i = 0; i < 4; ++i) {
            inverse_[(mode->rgb_layout[i] / 8) & 3] = static_cast<uint8_t>(8 * i);
        }
        return 1;
    }
    int init_projection() override
    {
        projection_ = screen_ != nullptr;
        return projection_ ? 1 : 0;
    }
    int init_world_renderer() override { return projection_ ? 1 : 0; }
    void close_world_renderer() override {}
    void close_screen() override
    {
        projection_ = false;
        screen_.reset();
        mode_ = nullptr;
    }
    bool has_screen() const override { return screen_ != nullptr; }
    bool has_projection() const override { return projection_; }
    TextScreen* text_screen() override { return screen_.get(); }

    void begin_frame(int loading) override
    {
        (void)mode_->begin_frame();
        mode_->clear();
        ++frames_;
        loading_frames_ += loading != 0 ? 1 : 0;
    }
    void present(int screenshot) override
    {
        mode_->present(VideoRect{0, mode_->xres, 0, mode_->yres});
        mode_->end_frame();
        screenshots_ += screenshot != 0 ? 1 : 0;
    }
    void set_window_size(int32_t width, int32_t height) override
    {
        window_w_ = width;
        window_h_ = height;
    }
    void set_projection_size(int32_t width, int32_t height) override
    {
        projection_w_ = width;
        projection_h_ = height;
    }
    void set_resolution() override {}
    void set_time(int32_t ticks) override { time_ = ticks; }
    void begin_view(const ViewFrame& view) override { view_ = &view; }
    void draw_world() override { ++worlds_drawn_; }
    void clear_window() override { ++windows_cleared_; }
    void print_timing() override {}
    void print_stats() override {}

    void set_world(ClientMap* map) override { world_ = map; }
    void clear_world() override { world_ = nullptr; }
    void attach_world() override { attached_ = true; }
    void detach_world() override { attached_ = false; }
    const uint8_t* attach_layout() const override { return mode_->rgb_layout; }
    const uint8_t* detach_layout() const override { return inverse_; }

    int32_t window_width() const { return window_w_; }
    int32_t window_height() const { return window_h_; }
    int32_t projection_width() const { return projection_w_; }
    int32_t time() const { return time_; }
    int32_t frames() const { return frames_; }
    int32_t loading_frames() const { return loading_frames_; }
    int32_t screenshots() const { return screenshots_; }
    int32_t worlds_drawn() const { return worlds_drawn_; }
    int32_t windows_cleared() const { return windows_cleared_; }
    bool world_attached() const { return attached_; }
    ClientMap* world() const { return world_; }
    const ViewFrame* last_view() const { return view_; }

    static ClientRenderer* make() { return new (std::nothrow) RecordingRenderer; }

private:
    KVideoMode* mode_ = nullptr;
    std::unique_ptr<TextList> screen_;
    bool projection_ = false;
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
    uint8_t inverse_[4] = {};
};
