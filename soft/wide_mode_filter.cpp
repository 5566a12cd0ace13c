#include "soft/wide_mode_filter.h"

#include "core/print.h"
#include "platform/video_mode.h"
#include "platform/video_platform.h"

WideModeFilter::~WideModeFilter()
{
    for (XModeInfo*& list : reported_) {
        XModeInfo::free_list(&list);
    }
}

bool WideModeFilter::skip(uint32_t width, uint32_t height, int depth_index)
{
    if (width <= static_cast<uint32_t>(VIDEO_MAX_WIDTH)) {
        return false;
    }
    // A display lists each size once per refresh rate: one message per size.
    XModeInfo* const record = XModeInfo::add_to_list(width, height, &reported_[depth_index], sizeof(XModeInfo));
    if (record != nullptr && record->is_new()) {
        record->pages = 1;
        video_show_error(title_, format_temp("%ux%ux%ubpp skipped, wider than %d pixels", width, height,
                                             DEPTH_BITS[depth_index], VIDEO_MAX_WIDTH));
    }
    return true;
}
