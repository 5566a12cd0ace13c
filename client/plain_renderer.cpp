#include "client/plain_renderer.h"

#include "soft/video_mode.h"
#include "world/screen_manager.h"

#include <new>

namespace {

// Character cell of the text list until fonts are measured.
constexpr int32_t CELL_WIDTH = 8;
constexpr int32_t CELL_HEIGHT = 8;

} // namespace

PlainRenderer::PlainRenderer() = default;

PlainRenderer::~PlainRenderer() { close_screen(); }

int PlainRenderer::init_screen(KVideoMode* mode, const char*, const char*, const char*)
{
    close_screen();
    if (mode == nullptr) {
        return 0;
    }
    screen_.reset(new (std::nothrow) ScreenManager);
    if (screen_ == nullptr ||
        screen_->init_text(mode->xres, mode->yres, CELL_WIDTH, CELL_HEIGHT, mode->pages > 0 ? mode->pages : 1) == 0) {
        screen_.reset();
        return 0;
    }
    mode_ = mode;
    for (int i = 0; i < 4; ++i) {
        inverse_layout_[(mode->rgb_layout[i] / 8) & 3] = static_cast<uint8_t>(8 * i);
    }
    return 1;
}

int PlainRenderer::init_projection()
{
    if (screen_ == nullptr) {
        return 0;
    }
    projection_ = true;
    return 1;
}

int PlainRenderer::init_world_renderer()
{
    if (!projection_) {
        return 0;
    }
    world_renderer_ = true;
    return 1;
}

void PlainRenderer::close_screen()
{
    projection_ = false;
    world_renderer_ = false;
    attached_ = false;
    view_ = nullptr;
    screen_.reset();
    mode_ = nullptr;
}

TextScreen* PlainRenderer::text_screen() { return screen_.get(); }

void PlainRenderer::begin_frame(int loading)
{
    if (mode_ == nullptr) {
        return;
    }
    (void)mode_->begin_frame();
    if (mode_->framebuffer != nullptr) {
        mode_->clear();
    }
    ++frames_;
    loading_frames_ += loading != 0 ? 1 : 0;
}

void PlainRenderer::present(int screenshot)
{
    if (mode_ == nullptr) {
        return;
    }
    mode_->present(VideoRect{0, mode_->xres, 0, mode_->yres});
    mode_->end_frame();
    screenshots_ += screenshot != 0 ? 1 : 0;
}

void PlainRenderer::set_window_size(int32_t width, int32_t height)
{
    window_w_ = width;
    window_h_ = height;
}

void PlainRenderer::set_projection_size(int32_t width, int32_t height)
{
    projection_w_ = width;
    projection_h_ = height;
}

void PlainRenderer::begin_view(const ViewFrame& view) { view_ = &view; }

const uint8_t* PlainRenderer::attach_layout() const { return mode_ != nullptr ? mode_->rgb_layout : nullptr; }

const uint8_t* PlainRenderer::detach_layout() const { return inverse_layout_; }
