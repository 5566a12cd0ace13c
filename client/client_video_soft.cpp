// The software program's renderer for the client: the screen manager, the
// screen projection on the video mode and the world renderer over them.
#include "client/program_renderer.h"
#include "core/view_frame.h"
#include "world/view/bsp_renderer.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"

#include <new>

namespace {

class SoftRenderer final : public ProgramRenderer<ScreenManager, ScreenProjection> {
public:
    ~SoftRenderer() override { close_world_renderer(); }

    int init_screen(KVideoMode* mode, const char* font, const char* background, const char* loading) override
    {
        close_screen();
        screen_ = new (std::nothrow) ScreenManager;
        return screen_ != nullptr && screen_->init(mode, background, loading, font) != 0 ? 1 : 0;
    }
    bool font_failed() const override { return screen_ != nullptr && !screen_->font().loaded(); }
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
    TextScreen* text_screen() override { return screen_; }

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

private:
    BspRenderer* bsp_ = nullptr;
};

} // namespace

ClientRenderer* program_renderer() { return new (std::nothrow) SoftRenderer; }

bool program_has_video() { return true; }
