#pragma once
// A small frame for the drawer tests: 64-byte aligned pixels, a depth buffer,
// a plan buffer, and plans of affine spans (W = 1, so U = u and Cu = du).
// RasterFrame is 64 x 16; wider ones hold longer spans.
#include <cstdint>
#include <memory>
#include <vector>

#include "soft/lighting_tables.h"
#include "soft/span_plan.h"

template <int W, int H>
struct RasterFrameOf {
    static constexpr int WIDTH = W;
    static constexpr int HEIGHT = H;

    alignas(64) uint32_t pixels[WIDTH * HEIGHT] = {};
    uint16_t depth[WIDTH * HEIGHT] = {};
    alignas(8) unsigned char plan_buffer[8192] = {};
    SpanPlan* plan_end = plans();
    int plan_count = 0;

    RasterFrameOf() { build_lighting_tables(); }

    uint32_t* row(int y) { return pixels + y * WIDTH; }
    uint16_t* depth_row(int y) { return depth + y * WIDTH; }
    SpanPlan* plans() { return reinterpret_cast<SpanPlan*>(plan_buffer); }

    // A span of `count` pixels from (x, y) with u, v and their steps per pixel in 16.16.
    SpanPlan* add_affine(int x, int y, int count, int32_t u, int32_t v, int32_t du, int32_t dv, int32_t z = 0,
                         int32_t dz = 0)
    {
        SpanPlan* plan = plan_end;
        plan_end = span_setup_persp(plan, row(y) + x, depth_row(y) + x, count, z, dz, static_cast<float>(u),
                                    static_cast<float>(v), static_cast<float>(du), static_cast<float>(dv), 1.0f,
                                    0.0f);
        ++plan_count;
        return plan;
    }
    void fill(uint32_t value)
    {
        for (uint32_t& p : pixels) {
            p = value;
        }
    }
    void fill_depth(uint16_t value)
    {
        for (uint16_t& d : depth) {
            d = value;
        }
    }
};

using RasterFrame = RasterFrameOf<64, 16>;

template <int W = 64, int H = 16>
inline std::unique_ptr<RasterFrameOf<W, H>> make_frame()
{
    return std::make_unique<RasterFrameOf<W, H>>();
}

inline uint32_t bytes4(uint32_t b) { return b * 0x01010101u; }
