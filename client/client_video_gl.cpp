// The OpenGL program's renderer for the client: the screen manager, which
// starts GL on the mode's context, the projection over it and the world
// renderer, which draws the bound map through the OpenGL polygon renderer.
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
    TextScreen* text_screen() override { return screen_; }
    void print_timing() override { screen_->print_timing(); }
};

} // namespace

ClientRenderer* program_renderer() { return new (std::nothrow) GLRenderer; }

bool program_has_video() { return true; }
