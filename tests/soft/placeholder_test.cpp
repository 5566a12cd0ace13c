#include "core/video_drivers.h"

#include <gtest/gtest.h>

TEST(VideoDrivers, StartAndStop)
{
    EXPECT_EQ(video_init(), 1);
    video_done();
}
