// The OpenGL program's renderer for the client: the screen manager, which
// starts GL on the mode's context, and the projection over it. Until the
// world renderer comes, a frame with a map clears the 3-D window as a frame
// without one does.
#include "client/program_renderer.h"
#include "core/view_frame.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"

#include <new>

namespace {

class GLRenderer final : public ProgramRenderer<ScreenManager, ScreenProjection> {
public:
    int init_screen(KVideoMode* mode, const char* font, const char* background, const char* loading) override
    {
        close_screen();
        screen_ = new (std::nothrow) ScreenManager;
        return screen_ != nullptr && screen_->init(mode, font, background, loading) != 0 ? 1 : 0;
    }
    bool font_failed() const override { return screen_ != nullptr && screen_->font_failed(); }
    int init_world_renderer() override { return projection_ != nullptr ? 1 : 0; }
    void close_world_renderer() override {}
    TextScreen* text_screen() override { return screen_; }

    void set_resolution() override {}
    void draw_world() override { projection_->clear_window(); }
    void print_timing() override { screen_->print_timing(); }
    void print_stats() override {}

    void set_world(ClientMap* map) override { world_ = map; }
    void clear_world() override { world_ = nullptr; }
};

} // namespace

ClientRenderer* program_renderer() { return new (std::nothrow) GLRenderer; }

bool program_has_video() { return true; }
