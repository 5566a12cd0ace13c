#include "world/render_record.h"

int RenderRecord::stamp_frame(int32_t frame)
{
    if (frame_stamp == frame) {
        return 0;
    }
    frame_stamp = frame;
    return 1;
}

void render_object_init(RenderRecord& record)
{
    record.init();
    record.link = BucketItem{};
    record.frame_stamp = -1;
}
