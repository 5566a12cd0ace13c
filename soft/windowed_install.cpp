#include "soft/windowed_dib.h"

#include "platform/video_registry.h"

#include <new>

namespace {

KVideoMode* create_win() { return new (std::nothrow) WindowedDIB(1, 1); }
KVideoMode* create_win_v() { return new (std::nothrow) WindowedDIB(1, 2); }
KVideoMode* create_win_d() { return new (std::nothrow) WindowedDIB(2, 2); }

} // namespace

int windowed_dib_install()
{
    return video_register_driver("WIN", "Windowed DIB", 32, create_win) != 0 &&
                   video_register_driver("WIN_V", "Windowed DIB, vertical doubling", 32, create_win_v) != 0 &&
                   video_register_driver("WIN_D", "Windowed DIB, pixel doubling", 32, create_win_d) != 0
               ? 1
               : 0;
}

void video_reset_registry()
{
    video_clear_registry();
    windowed_dib_install();
}
