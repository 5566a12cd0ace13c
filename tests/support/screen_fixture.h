#pragma once
// The surroundings of the software screen for tests: a video mode in memory
// that records what it is asked to show, and a scratch base directory
// "kavrin" (mounted, and named by the variable Base) holding the console
// font and the demo pictures as the asset tools write them.
#include "core/config_variable.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "platform/video_mode.h"
#include "tools/assets/demo_assets.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

class MemoryVideoMode : public KVideoMode {
public:
    // line_width may exceed width, to catch code that steps by the width.
    MemoryVideoMode(int32_t width, int32_t height, int32_t page_count = 1, int32_t line = 0)
    {
        xres = width;
        yres = height;
        pages = page_count;
        line_width = line > 0 ? line : width;
        pixels.assign(static_cast<size_t>(line_width) * static_cast<size_t>(height), 0xDEADBEEF);
        offsets.resize(static_cast<size_t>(height));
        for (int32_t y = 0; y < height; ++y) {
            offsets[static_cast<size_t>(y)] = y * line_width;
        }
        framebuffer = pixels.data();
        line_offset = offsets.data();
    }
    ~MemoryVideoMode() override { line_offset = nullptr; }

    int init_mode(int32_t, int32_t) override { return 1; }
    void close_mode() override {}
    int begin_frame() override
    {
        ++frames_begun;
        const int r = repaint_next;
        repaint_next = 0;
        return r;
    }
    void present(const VideoRect& rect) override { presented.push_back(rect); }
    void end_frame() override { ++frames_ended; }

    uint32_t& at(int32_t x, int32_t y) { return pixels[static_cast<size_t>(line_offset[y] + x)]; }
    // Whether a rectangle equal to r was presented since the last clear.
    bool was_presented(int32_t left, int32_t right, int32_t top, int32_t bottom) const
    {
        for (const VideoRect& p : presented) {
            if (p.x0 == left && p.x1 == right && p.y0 == top && p.y1 == bottom) {
                return true;
            }
        }
        return false;
    }

    std::vector<uint32_t> pixels;
    std::vector<int32_t> offsets;
    std::vector<VideoRect> presented;
    int repaint_next = 0;
    int frames_begun = 0;
    int frames_ended = 0;
};

class ScreenBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree_.enter();
        ASSERT_TRUE(tools::write_demo_assets(tree_.path("kavrin")));
        cvar_list = new ConfigVariableList;
        base_ = cvar_list->link(CVTYPE_STRING, 0x40, "Base", "kavrin", 1);
        fsys = new FSys;
        ASSERT_EQ(fsys->init(), 1);
        ASSERT_EQ(fsys->mount("kavrin", 1, 10), 1);
    }

    void TearDown() override
    {
        delete fsys;
        fsys = nullptr;
        cvar_list->release(base_);
        delete cvar_list;
        cvar_list = nullptr;
    }

    TempTree tree_;
    ConfigVariable* base_ = nullptr;
};
