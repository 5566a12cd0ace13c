// Speed of the software drawers on whole frames: megapixels per second of each
// span, row and tint drawer over full-screen plans at 640x480 and 1024x768,
// beside memset of the same frame, and triangles per second of the two mesh
// paths. Drawers with an SSE2 form also run their portable form (named
// *_portable) beside it. Every run also counts heap allocations made inside
// the drawers.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "soft/drawer_portable.h"
#include "soft/light_block.h"
#include "soft/lighting_tables.h"
#include "soft/lit_span.h"
#include "soft/mesh_span.h"
#include "soft/mesh_triangle.h"
#include "soft/particle_draw.h"
#include "soft/row_draw.h"
#include "soft/screen_tint.h"
#include "soft/span_plan.h"
#include "soft/span_warp.h"
#include "soft/texture_span.h"
#include "soft/translucent_span.h"

// The engine's operator new takes its memory from malloc; the link wraps
// malloc so that every allocation during a drawer call is counted.
namespace {
std::atomic<long> allocations{0};
}

extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __real_malloc(size);
}

namespace {

uint32_t next_random(uint32_t* seed)
{
    *seed = *seed * 214013u + 2531011u;
    return (*seed >> 16) & 0x7FFF;
}

// A frame with its depth buffer, one full-width plan per row, a 64 x 64
// texture (plus its repeated row) and a lit light block.
struct Frame {
    int width;
    int height;
    uint32_t* pixels;
    std::vector<uint16_t> depth;
    std::vector<uint64_t> plan_storage;
    SpanPlan* plans;
    std::vector<uint8_t> texels = std::vector<uint8_t>(64 * 65);
    std::vector<uint16_t> texels16 = std::vector<uint16_t>(64 * 65);
    uint32_t palette[256];
    std::vector<int32_t> warp = std::vector<int32_t>(WARP_TABLE_ENTRIES);
    std::vector<int32_t> line_offset;
    std::vector<uint16_t*> depth_rows;

    Frame(int w, int h)
        : width(w), height(h), pixels(static_cast<uint32_t*>(std::aligned_alloc(64, sizeof(uint32_t) * w * h))),
          depth(static_cast<size_t>(w) * h), plan_storage(static_cast<size_t>(h) * span_plan_max_bytes(w) / 8 + 8)
    {
        build_lighting_tables();
        std::memset(pixels, 0, sizeof(uint32_t) * w * h);
        uint32_t seed = 1;
        for (uint8_t& t : texels) {
            t = static_cast<uint8_t>(next_random(&seed));
        }
        for (uint16_t& t : texels16) {
            t = static_cast<uint16_t>(next_random(&seed));
        }
        for (uint32_t& p : palette) {
            p = (next_random(&seed) | next_random(&seed) << 15) & 0x007F7F7F;
        }
        for (int i = 0; i < LIGHT_BLOCK_PADDED; ++i) {
            surface_light_block[i] = (next_random(&seed) | next_random(&seed) << 15) & 0x7F7F7F7F;
        }
        for (int k = 0; k < WARP_TABLE_ENTRIES; ++k) {
            warp[k] = static_cast<int32_t>(next_random(&seed)) * 4 - 65536;
        }
        for (int y = 0; y < h; ++y) {
            line_offset.push_back(y * w);
            depth_rows.push_back(depth.data() + static_cast<size_t>(y) * w);
        }
        plans = reinterpret_cast<SpanPlan*>(plan_storage.data());
        build_plans(false);
    }
    ~Frame() { std::free(pixels); }

    // A floor seen in perspective: W falls along each row, texels grow to the right.
    SpanPlan* build_plans(bool lay_depth)
    {
        SpanPlan* p = plans;
        for (int y = 0; y < height; ++y) {
            const float W = 1.0f + 0.002f * y;
            const float dW = -0.0004f / width * 400;
            const float U = 3.0f * 65536 * W;
            const float V = 7.0f * 65536 * W;
            const float dU = 0.9f * 65536;
            const float Cu = dU * W - dW * U;
            const float Cv = -dW * V;
            auto setup = lay_depth ? span_setup_persp_z : span_setup_persp;
            p = setup(p, pixels + static_cast<size_t>(y) * width, depth.data() + static_cast<size_t>(y) * width,
                      width, 0x40000000, 0x1000, U, V, Cu, Cv, W, dW);
        }
        return p;
    }
    int64_t frame_pixels() const { return static_cast<int64_t>(width) * height; }
};

Frame& frame_of(int width)
{
    static Frame small(640, 480);
    static Frame large(1024, 768);
    return width == 640 ? small : large;
}

// Allocations counted around the drawer calls only.
template <typename Call>
void counted(long* count, Call&& call)
{
    const long before = allocations.load(std::memory_order_relaxed);
    call();
    *count += allocations.load(std::memory_order_relaxed) - before;
}

template <typename Draw>
void run_frame(benchmark::State& state, Draw&& draw)
{
    Frame& f = frame_of(static_cast<int>(state.range(0)));
    long allocs = 0;
    for (auto _ : state) {
        counted(&allocs, [&] { draw(f); });
        benchmark::DoNotOptimize(f.pixels);
        benchmark::ClobberMemory();
    }
    const double pixels = static_cast<double>(f.frame_pixels()) * static_cast<double>(state.iterations());
    state.counters["pixels"] = benchmark::Counter(pixels, benchmark::Counter::kIsRate);
    state.counters["per_pixel"] = benchmark::Counter(pixels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs"] = static_cast<double>(allocs);
}

#define FRAME_BENCH(name, body)                                                                                      \
    void name(benchmark::State& state) { run_frame(state, [](Frame& f) { body; }); }                                 \
    BENCHMARK(name)->Arg(640)->Arg(1024)

FRAME_BENCH(memset_frame, std::memset(f.pixels, 0, sizeof(uint32_t) * f.frame_pixels()));
FRAME_BENCH(setup_persp_z, f.build_plans(true));
FRAME_BENCH(fill_flat, span_fill_flat(f.plans, f.height, 0x00402010));
FRAME_BENCH(draw_texture,
            span_draw_texture(f.plans, f.height, f.texels.data(), f.palette, 6, 64, 0, nullptr, nullptr));
FRAME_BENCH(draw_texture_alt, span_draw_texture_alt(f.plans, f.height, f.texels.data(), f.palette, f.texels.data(),
                                                    f.palette, 6, 64, 0x50000, 0x30000));
FRAME_BENCH(draw_lit, span_draw_lit(f.plans, f.height, f.texels.data(), f.palette, 6, 64, 0, 0, 0, nullptr, nullptr));
FRAME_BENCH(draw_lit_portable,
            span_draw_lit_portable(f.plans, f.height, f.texels.data(), f.palette, 6, 64, 0, 0, 0, nullptr, nullptr));
FRAME_BENCH(draw_lit_blend,
            span_draw_lit_blend(f.plans, f.height, f.texels.data(), f.palette, 6, 64, 0, 0, 0, nullptr, nullptr));
FRAME_BENCH(draw_lit_filtered,
            span_draw_lit_filtered(f.plans, f.height, f.texels.data(), f.palette, 6, 64, 0, 0, 0, nullptr, nullptr));
FRAME_BENCH(draw_lit_blend_portable, span_draw_lit_blend_portable(f.plans, f.height, f.texels.data(), f.palette, 6,
                                                                64, 0, 0, 0, nullptr, nullptr));
FRAME_BENCH(draw_lit_filtered_portable, span_draw_lit_filtered_portable(f.plans, f.height, f.texels.data(), f.palette,
                                                                      6, 64, 0, 0, 0, nullptr, nullptr));
FRAME_BENCH(draw_lit_mmx,
            span_draw_lit_mmx(f.plans, f.height, f.texels.data(), f.palette, 6, 64, 0, 0, 0, nullptr, nullptr));
FRAME_BENCH(draw_lit_mmx_portable, span_draw_lit_mmx_portable(f.plans, f.height, f.texels.data(), f.palette, 6, 64, 0,
                                                              0, 0, nullptr, nullptr));
FRAME_BENCH(draw_lit_warped, f.build_plans(false);
            span_draw_lit(f.plans, f.height, f.texels.data(), f.palette, 6, 64, 0, 0, 0, f.warp.data(),
                          f.warp.data() + 256));
FRAME_BENCH(draw_ztest,
            span_draw_ztest(f.plans, f.height, f.texels16.data(), f.palette, 6, 64, 0, nullptr, nullptr));
FRAME_BENCH(draw_ztest_portable,
            span_draw_ztest_portable(f.plans, f.height, f.texels16.data(), f.palette, 6, 64, 0, nullptr, nullptr));
FRAME_BENCH(draw_ztest_mmx,
            span_draw_ztest_mmx(f.plans, f.height, f.texels16.data(), f.palette, 6, 64, 0, nullptr, nullptr));
FRAME_BENCH(draw_ztest_mmx_portable,
            span_draw_ztest_mmx_portable(f.plans, f.height, f.texels16.data(), f.palette, 6, 64, 0, nullptr, nullptr));

// Mesh spans: one full-width span a row across the texture, lights rising
// from a quarter to near the top of their range, every pixel drawn.
template <typename Span>
void zlit_rows(Frame& f, Span&& draw)
{
    ZlitSpan span{};
    span.texels = f.texels.data();
    span.palette = f.palette;
    span.width = 64;
    span.du = 63 * 65536 / f.width;
    span.dv = 0x180;
    span.depth = 0x40000000;
    span.depth_step = 0x10;
    for (int k = 0; k < 4; ++k) {
        span.light[k] = 0x2000 + 0x400 * k;
        span.light_step[k] = 0x5000 / f.width;
    }
    for (int y = 0; y < f.height; ++y) {
        span.texels = f.texels.data() + (y % 32) * 64;
        draw(f.pixels + static_cast<size_t>(y) * f.width, f.depth.data() + static_cast<size_t>(y) * f.width, f.width,
             span);
    }
}

FRAME_BENCH(zlit, zlit_rows(f, span_draw_zlit));
FRAME_BENCH(zlit_portable, zlit_rows(f, span_draw_zlit_portable));
FRAME_BENCH(zlit_mmx, zlit_rows(f, span_draw_zlit_mmx));
FRAME_BENCH(zlit_mmx_portable, zlit_rows(f, span_draw_zlit_mmx_portable));

template <typename Row>
void each_row(Frame& f, Row&& row)
{
    for (int y = 0; y < f.height; ++y) {
        row(f.pixels + static_cast<size_t>(y) * f.width, f.depth.data() + static_cast<size_t>(y) * f.width);
    }
}

FRAME_BENCH(row_background, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_background(d, f.width, f.texels.data(), f.palette, 0, 0x1000);
            }));
FRAME_BENCH(row_icon, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_icon(d, f.width, f.texels16.data(), f.palette, 0, 0x1000);
            }));
FRAME_BENCH(row_icon_portable, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_icon_portable(d, f.width, f.texels16.data(), f.palette, 0, 0x1000);
            }));
FRAME_BENCH(row_icon_mmx, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_icon_mmx(d, f.width, f.texels16.data(), f.palette, 0, 0x1000);
            }));
FRAME_BENCH(row_icon_mmx_portable, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_icon_mmx_portable(d, f.width, f.texels16.data(), f.palette, 0, 0x1000);
            }));
FRAME_BENCH(row_sprite, each_row(f, [&](uint32_t* d, uint16_t* z) {
                row_draw_sprite(d, z, f.width, f.texels16.data(), f.palette, 0, 0x1000, 0x7FFF0000);
            }));
FRAME_BENCH(row_sprite_portable, each_row(f, [&](uint32_t* d, uint16_t* z) {
                row_draw_sprite_portable(d, z, f.width, f.texels16.data(), f.palette, 0, 0x1000, 0x7FFF0000);
            }));
FRAME_BENCH(row_sprite_mmx, each_row(f, [&](uint32_t* d, uint16_t* z) {
                row_draw_sprite_mmx(d, z, f.width, f.texels16.data(), f.palette, 0, 0x1000, 0x7FFF0000);
            }));
FRAME_BENCH(row_sprite_mmx_portable, each_row(f, [&](uint32_t* d, uint16_t* z) {
                row_draw_sprite_mmx_portable(d, z, f.width, f.texels16.data(), f.palette, 0, 0x1000, 0x7FFF0000);
            }));
FRAME_BENCH(row_blend, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_blend(d, f.width, f.texels.data(), 0x00FF8040, 0, 0x1000);
            }));
FRAME_BENCH(row_blend_portable, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_blend_portable(d, f.width, f.texels.data(), 0x00FF8040, 0, 0x1000);
            }));
FRAME_BENCH(row_blend_mmx, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_blend_mmx(d, f.width, f.texels.data(), 0x00FF8040, 0, 0x1000);
            }));
FRAME_BENCH(row_blend_mmx_portable, each_row(f, [&](uint32_t* d, uint16_t*) {
                row_draw_blend_mmx_portable(d, f.width, f.texels.data(), 0x00FF8040, 0, 0x1000);
            }));
FRAME_BENCH(tint, blend_span_to_colour(f.pixels, f.width, f.height, f.width, 0x00FF0000, 0x40404040));
FRAME_BENCH(tint_portable, blend_span_to_colour_portable(f.pixels, f.width, f.height, f.width, 0x00FF0000, 0x40404040));
FRAME_BENCH(tint_mmx, blend_span_to_colour_mmx(f.pixels, f.width, f.height, f.width, 0x00FF0000, 0x40404040));
FRAME_BENCH(tint_mmx_portable,
            blend_span_to_colour_mmx_portable(f.pixels, f.width, f.height, f.width, 0x00FF0000, 0x40404040));

// Particles: a cloud of squares of about 4 x 4 pixels in front of the camera.
void particles(benchmark::State& state)
{
    Frame& f = frame_of(640);
    std::vector<Particle> cloud(10000);
    uint32_t seed = 7;
    for (Particle& p : cloud) {
        p = Particle{{static_cast<float>(next_random(&seed) % 200) - 100.0f,
                      static_cast<float>(next_random(&seed) % 150) - 75.0f, 200.0f},
                     {0, 0, 0}, 1.0f, 0x00FFC080, 0, 10};
    }
    const float view[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    std::fill(f.depth.begin(), f.depth.end(), 0);
    long allocs = 0;
    for (auto _ : state) {
        counted(&allocs, [&] {
            span_draw_particle(cloud.data(), static_cast<int>(cloud.size()), view, 640.0f, 640.0f, f.width, f.height,
                               320 << 16, 240 << 16, f.pixels, f.line_offset.data(), f.depth_rows.data(),
                               static_cast<int>(state.range(0)));
        });
        benchmark::ClobberMemory();
    }
    state.counters["particles"] =
        benchmark::Counter(static_cast<double>(cloud.size()) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["allocs"] = static_cast<double>(allocs);
}
BENCHMARK(particles)->Arg(0)->Arg(1);

// Triangles: `count` triangles of `size` pixels on a side, scattered over a
// 640x480 window, through the affine path (set-up and draw) or the perspective one.
void triangles(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const double size = static_cast<double>(state.range(1));
    const bool perspective = state.range(2) != 0;
    Frame& f = frame_of(640);
    Texture texture{};
    texture.levels[0] = TexelMap{f.texels.data(), 64, 64, {0, 64, 0, 64}, 0};
    texture.palette = f.palette;
    texture.ulog = 6;
    texture.usize = 64;
    texture.vsize = 64;
    const DrawWindow window{f.pixels, f.line_offset.data(), f.depth_rows.data(), f.width, f.height, {16, 8, 0, 24},
                            f.palette, true, false};
    std::vector<MeshVertex> vertices(3 * static_cast<size_t>(count));
    std::vector<MeshTriangle> tris(count);
    std::vector<TriangleGradients> records(count);
    uint32_t seed = 3;
    for (int i = 0; i < count; ++i) {
        const double x = static_cast<double>(next_random(&seed) % static_cast<uint32_t>(f.width - size));
        const double y = static_cast<double>(next_random(&seed) % static_cast<uint32_t>(f.height - size));
        const double corner[3][2] = {{x, y}, {x + size, y + 0.3 * size}, {x + 0.2 * size, y + size}};
        for (int k = 0; k < 3; ++k) {
            const float w = static_cast<float>(16777216.0 * (1.0 + 0.3 * k));
            vertices[3 * i + k] = MeshVertex{0, 0, 0, static_cast<int32_t>(corner[k][0] * 65536),
                                             static_cast<int32_t>(corner[k][1] * 65536),
                                             {12000.0f + 2000.0f * k, 16000.0f, 20000.0f - 3000.0f * k}, w};
            tris[i].vertex[k] = static_cast<uint32_t>(3 * i + k);
            tris[i].u[k] = (k == 1 ? 60 : 2) << 16;
            tris[i].v[k] = (k == 2 ? 60 : 2) << 16;
        }
        tris[i].texture = &texture;
    }
    long allocs = 0;
    for (auto _ : state) {
        std::fill(f.depth.begin(), f.depth.end(), 0);
        counted(&allocs, [&] {
            if (perspective) {
                for (const MeshTriangle& t : tris) {
                    mesh_triangle_draw_persp(&t, vertices.data(), &window);
                }
            } else {
                int n = 0;
                for (const MeshTriangle& t : tris) {
                    n += mesh_triangle_draw_inline(&records[n], &t, vertices.data(), &window);
                }
                for (int i = 0; i < n; ++i) {
                    mesh_triangle_draw_affine(&records[i], &window);
                }
            }
        });
        benchmark::ClobberMemory();
    }
    state.counters["triangles"] = benchmark::Counter(static_cast<double>(count) * state.iterations(),
                                                     benchmark::Counter::kIsRate);
    state.counters["allocs"] = static_cast<double>(allocs);
}
BENCHMARK(triangles)
    ->ArgNames({"count", "size", "persp"})
    ->Args({10000, 6, 0})
    ->Args({10000, 6, 1})
    ->Args({100, 300, 0})
    ->Args({100, 300, 1});

} // namespace

BENCHMARK_MAIN();
