#pragma once
// Display pixel depths by depth index.
#include <cstdint>

constexpr int VIDEO_DEPTHS = 4;
constexpr uint32_t DEPTH_BITS[VIDEO_DEPTHS] = {32, 24, 16, 15};

// Depth index of a pixel depth, -1 for a depth no driver handles.
constexpr int depth_index_of(uint32_t bits)
{
    for (int i = 0; i < VIDEO_DEPTHS; ++i) {
        if (DEPTH_BITS[i] == bits) {
            return i;
        }
    }
    return -1;
}
