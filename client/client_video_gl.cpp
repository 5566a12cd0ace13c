// The OpenGL program's renderer for the client: the screen manager, which
// starts GL on the mode's context, the projection over it and the world
// renderer, which draws the bound map through the OpenGL polygon renderer.
#include "client/program_renderer.h"
#include "core/view_frame.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "world/view/bsp_renderer.h"

#include <new>

namespace {

class GLRenderer final : public ProgramRenderer<ScreenManager, ScreenProjection> {
public:
    ~GLRenderer() override { close_world_renderer(); }

    int init_screen(KVideoMode* mode, const char*, const char*, const char*) override
    {
        close_screen();
        screen_ = new (std::nothrow) ScreenManager;
        return screen_ != nullptr && screen_->init(mode) != 0 ? 1 : 0;
    }
    int init_world_renderer() override
    {
        if (projection_ == nullptr) {
            return 0;
        }
        close_world_renderer();
        bsp_ = new (std::nothrow) BspRenderer;
        return bsp_ != nullptr && bsp_->init(projection_) != 0 ? 1 : 0;
    }
    // The world renderer holds lightmap slots of GL's cache: it goes
    // before the screen manager stops GL.
    void close_world_renderer() override
    {
        delete bsp_;
        bsp_ = nullptr;
    }
    void close_screen() override
    {
        close_world_renderer();
        ProgramRenderer::close_screen();
    }
    // The console's text comes with the 2-D layer.
    TextScreen* text_screen() override { return nullptr; }

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
    void print_timing() override {}
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

ClientRenderer* program_renderer() { return new (std::nothrow) GLRenderer; }

bool program_has_video() { return true; }
