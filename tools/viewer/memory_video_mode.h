#pragma once
// A video mode whose frame buffer lives in memory and is shown nowhere: for
// headless drawing (the map viewer, the renderer benchmark).
#include "platform/video_mode.h"

#include <vector>

class MemoryFrameMode : public KVideoMode {
public:
    MemoryFrameMode(int32_t width, int32_t height)
    {
        xres = width;
        yres = height;
        pages = 1;
        line_width = width;
        pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        offsets_.resize(static_cast<size_t>(height));
        for (int32_t y = 0; y < height; ++y) {
            offsets_[static_cast<size_t>(y)] = y * width;
        }
        framebuffer = pixels_.data();
        line_offset = offsets_.data();
    }
    ~MemoryFrameMode() override { line_offset = nullptr; }

    int init_mode(int32_t, int32_t) override { return 1; }
    void close_mode() override {}
    int begin_frame() override { return 0; }
    void present(const VideoRect&) override {}
    void end_frame() override {}

private:
    std::vector<uint32_t> pixels_;
    std::vector<int32_t> offsets_;
};
