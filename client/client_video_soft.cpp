// The software program's renderer for the client: the screen manager, the
// screen projection on the video mode and the world renderer over them.
#include "client/client_map.h"
#include "client/client_renderer.h"
#include "client/screen_pair.h"
#include "core/view_frame.h"
#include "render/bsp_renderer.h"
#include "render/screen_manager.h"
#include "render/screen_projection.h"

#include <new>

namespace {

class SoftRenderer final : public ClientRenderer {
public:
    ~SoftRenderer() override
    {
        close_world_renderer();
        close_screen();
    }

    int init_screen(KVideoMode* mode, const char* font, const char* background, const char* loading) override
    {
        close_screen();
        screen_ = new (std::nothrow) ScreenManager;
        return screen_ != nullptr && screen_->init(mode, background, loading, font) != 0 ? 1 : 0;
    }
    bool font_failed() const override { return screen_ != nullptr && !screen_->font().loaded(); }
    int init_projection() override
    {
        projection_ = new (std::nothrow) ScreenProjection;
        return projection_ != nullptr && projection_->init(screen_) != 0 ? 1 : 0;
    }
    int init_world_renderer() override
    {
        if (projection_ == nullptr) {
            return 0;
        }
        bsp_ = new (std::nothrow) BspRenderer;
        return bsp_ != nullptr && bsp_->init(projection_) != 0 ? 1 : 0;
    }
    void close_world_renderer() override
    {
        delete bsp_;
        bsp_ = nullptr;
    }
    void close_screen() override { close_screen_pair(screen_, projection_); }
    bool has_screen() const override { return screen_ != nullptr; }
    bool has_projection() const override { return projection_ != nullptr; }
    TextScreen* text_screen() override { return screen_; }

    void begin_frame(int loading) override { screen_->begin_frame(loading); }
    void present(int screenshot) override { screen_->present(screenshot); }
    void set_window_size(int32_t width, int32_t height) override { screen_->set_window_size(width, height); }
    void set_projection_size(int32_t width, int32_t height) override { projection_->set_size(width, height); }
    void set_resolution() override
    {
        if (bsp_ != nullptr) {
            bsp_->set_resolution();
        }
    }
    void set_time(int32_t ticks) override { projection_->set_ticks(ticks); }
    void begin_view(const ViewFrame& view) override { projection_->begin_frame(view); }
    void draw_world() override
    {
        if (bsp_ != nullptr && bsp_->world != nullptr) {
            bsp_->draw_world();
        } else {
            projection_->clear_window();
        }
    }
    void clear_window() override { projection_->clear_window(); }
    void print_timing() override { screen_->print_timing(); }
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
    ScreenProjection* projection() override { return projection_; }
    ScreenManager* screen_manager() override { return screen_; }
    const uint8_t* attach_layout() const override { return projection_->rgb_layout; }
    const uint8_t* detach_layout() const override { return projection_->layout_inverse; }

private:
    ScreenManager* screen_ = nullptr;
    ScreenProjection* projection_ = nullptr;
    BspRenderer* bsp_ = nullptr;
    ClientMap* world_ = nullptr;
};

} // namespace

ClientRenderer* program_renderer() { return new (std::nothrow) SoftRenderer; }

bool program_has_video() { return true; }
