#pragma once
// VideoDDraw: an exclusive full-screen mode on one DirectDraw device. At 32
// bits per pixel the renderer draws straight into the locked back buffer; at
// 16 and 15 (and 24) bits it draws into a 32-bit shadow buffer that end_frame
// converts into the back buffer. A laced mode uses every second display line.
#include "host/host_ddraw.h"
#include "platform/video_mode.h"
#include "soft/pixel_convert.h"
#include "soft/xmode_info.h"

class VideoDDraw final : public KVideoMode {
public:
    VideoDDraw(int device, int depth_index, int laced);
    ~VideoDDraw() override;

    int init_mode(int32_t width, int32_t height) override;
    void close_mode() override;
    int begin_frame() override;
    void present(const VideoRect& rect) override;
    void end_frame() override;

    // Finds the DirectDraw devices and registers their drivers; 1 unless the
    // device enumeration itself fails.
    static int initialize();
    static void shutdown();

    int32_t device;
    int32_t depth_index;
    int32_t laced;
    host::ddraw::Surface* primary_surface = nullptr;
    host::ddraw::Surface* back_surface = nullptr;
    uint32_t* shadow_buffer = nullptr;

private:
    int direct_setup(const XModeInfo& record);
    int converting_setup(const XModeInfo& record);
    // Display mode and flipping surfaces of a record; 1 on success.
    int set_display(const XModeInfo& record);
    int fail(const char* title, host::ddraw::Result r);
    void convert_frame();

    host::ddraw::DirectDraw2* ddraw_ = nullptr;
    ConverterPair converters_ = {};
    bool locked_ = false;
    uint32_t* scratch_row_ = nullptr;
};

// Drops the shared link to "MMX"; at shutdown.
void release_mmx_variable();
