// The OpenGL program's renderer for the client: the screen manager, which
// starts GL on the mode's context, and the projection over it. Until the
// world renderer comes, a frame with a map clears the 3-D window as a frame
// without one does.
#include "client/client_renderer.h"
#include "client/screen_pair.h"
#include "core/view_frame.h"
#include "gl/gl_screen_manager.h"
#include "gl/gl_screen_projection.h"

#include <new>

namespace {

class GLRenderer final : public ClientRenderer {
public:
    ~GLRenderer() override { close_screen(); }

    int init_screen(KVideoMode* mode, const char*, const char*, const char*) override
    {
        close_screen();
        screen_ = new (std::nothrow) ScreenManager;
        return screen_ != nullptr && screen_->init(mode) != 0 ? 1 : 0;
    }
    int init_projection() override
    {
        if (screen_ == nullptr) {
            return 0;
        }
        projection_ = new (std::nothrow) ScreenProjection;
        return projection_ != nullptr && projection_->init(screen_) != 0 ? 1 : 0;
    }
    int init_world_renderer() override { return projection_ != nullptr ? 1 : 0; }
    void close_world_renderer() override {}
    void close_screen() override { close_screen_pair(screen_, projection_); }
    bool has_screen() const override { return screen_ != nullptr; }
    bool has_projection() const override { return projection_ != nullptr; }
    // The console's text comes with the 2-D layer.
    TextScreen* text_screen() override { return nullptr; }

    void begin_frame(int loading) override { screen_->begin_frame(loading); }
    void present(int screenshot) override { screen_->present(screenshot); }
    void set_window_size(int32_t width, int32_t height) override { screen_->set_window_size(width, height); }
    void set_projection_size(int32_t width, int32_t height) override { projection_->set_size(width, height); }
    void set_resolution() override {}
    void set_time(int32_t ticks) override { projection_->set_time(ticks); }
    void begin_view(const ViewFrame& view) override { projection_->begin_frame(view); }
    void draw_world() override { projection_->clear_window(); }
    void clear_window() override { projection_->clear_window(); }
    void print_timing() override {}
    void print_stats() override {}

    void set_world(ClientMap* map) override { world_ = map; }
    void clear_world() override { world_ = nullptr; }
    void attach_world() override {}
    void detach_world() override {}
    const uint8_t* attach_layout() const override { return projection_->rgb_layout; }
    const uint8_t* detach_layout() const override { return projection_->layout_inverse; }

private:
    ScreenManager* screen_ = nullptr;
    ScreenProjection* projection_ = nullptr;
    ClientMap* world_ = nullptr;
};

} // namespace

ClientRenderer* program_renderer() { return new (std::nothrow) GLRenderer; }

bool program_has_video() { return true; }
