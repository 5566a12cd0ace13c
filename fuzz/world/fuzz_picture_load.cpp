// Loads any bytes as an icon and as a picture, then reads every pixel and
// palette entry of what was loaded.
#include "fuzz/world/fuzz_world_files.h"
#include "platform/video_mode.h"
#include "renderer/icon_image.h"
#include "renderer/icon_picture.h"
#include "renderer/screen_manager.h"

#include <vector>

namespace {

// A screen manager bound to a small mode, without the rest of its set-up.
class FuzzMode : public KVideoMode {
public:
    FuzzMode()
    {
        xres = 320;
        yres = 200;
    }
    int init_mode(int32_t, int32_t) override { return 1; }
    void close_mode() override {}
    int begin_frame() override { return 0; }
    void present(const VideoRect&) override {}
    void end_frame() override {}
};

volatile uint32_t sink;

void read_all(const IconImage& image)
{
    uint32_t sum = 0;
    const size_t bytes = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) *
                         ((image.flags & ICON_HAS_ALPHA) != 0 ? 2 : 1);
    for (size_t i = 0; i < bytes; ++i) {
        sum += image.bitmap[i];
    }
    for (int i = 0; i < 256; ++i) {
        sum += image.palette[i];
    }
    sink = sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::WorldFiles files;
    static FuzzMode mode;
    static ScreenManager screen;
    screen.v_mode = &mode;
    if (!files.put("pictures/size01/fuzz.cic", data, size) || !files.put("pictures/size01/fuzz.cpc", data, size)) {
        return 0;
    }
    for (const int is_icon : {1, 0}) {
        IconPicture picture;
        picture.set_name("fuzz", is_icon);
        if (picture.touch(reinterpret_cast<uintptr_t>(&screen)) != 0) {
            read_all(picture.image());
        }
        picture.flush();
    }
    return 0;
}
