#include <vector>

#include <gtest/gtest.h>

#include "raster_frame.h"
#include "soft/span_warp.h"
#include "soft/texture_span.h"

namespace {

// A texture whose texel is its own index, with a palette giving the index
// back, so that a drawn pixel names the texel it read (doubled).
struct IndexTexture {
    std::vector<uint8_t> texels;
    uint32_t palette[256];

    IndexTexture(int usize, int vsize) : texels(static_cast<size_t>(usize) * (vsize + 1))
    {
        for (size_t i = 0; i < texels.size(); ++i) {
            texels[i] = static_cast<uint8_t>(i % (static_cast<size_t>(usize) * vsize));
        }
        for (int i = 0; i < 256; ++i) {
            palette[i] = static_cast<uint32_t>(i & 0x7F);
        }
    }
};

} // namespace

TEST(SpanDrawTexture, WrapsAtTheTextureEdges)
{
    IndexTexture tex(64, 4);
    auto f = make_frame();
    // u of -1.0 addresses column 63; v of -1.0 addresses the last row.
    f->add_affine(3, 0, 4, static_cast<int32_t>(0xFFFF0000), 0, 0x10000, 0);
    f->add_affine(3, 1, 2, 0x50000, static_cast<int32_t>(0xFFFF0000), 0, 0x10000);
    span_draw_texture(f->plans(), f->plan_count, tex.texels.data(), tex.palette, 6, 4, 0, nullptr, nullptr);
    const uint32_t row0[] = {2 * 63, 0, 2 * 1, 2 * 2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f->row(0)[3 + i], row0[i]) << i;
    }
    EXPECT_EQ(f->row(1)[3], 2u * ((3 * 64 + 5) & 0x7F));
    EXPECT_EQ(f->row(1)[4], 2u * 5);
    EXPECT_EQ(f->row(0)[7], 0u) << "nothing past the span";
}

TEST(SpanDrawTexture, ScalesLevelZeroCoordinatesToTheLevel)
{
    // Level 1 of a 4 x 4 texture: 2 x 2 texels.
    IndexTexture tex(2, 2);
    auto f = make_frame();
    f->add_affine(0, 0, 4, 0, 2 << 16, 0x10000, 0);
    span_draw_texture(f->plans(), f->plan_count, tex.texels.data(), tex.palette, 1, 2, 1, nullptr, nullptr);
    // u 0,1,2,3 at level 0 is column 0,0,1,1; v 2.0 is row 1.
    const uint32_t expected[] = {4, 4, 6, 6};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f->row(0)[i], expected[i]) << i;
    }
}

TEST(SpanDrawTexture, DrawsEveryPlanOfTheBufferAndNoneForCountZero)
{
    IndexTexture tex(16, 16);
    auto f = make_frame();
    f->add_affine(0, 0, 3, 1 << 16, 0, 0, 0);
    f->add_affine(30, 5, 20, 2 << 16, 0, 0, 0);
    span_draw_texture(f->plans(), 0, tex.texels.data(), tex.palette, 4, 16, 0, nullptr, nullptr);
    EXPECT_EQ(f->row(0)[0], 0u);
    span_draw_texture(f->plans(), 2, tex.texels.data(), tex.palette, 4, 16, 0, nullptr, nullptr);
    EXPECT_EQ(f->row(0)[2], 2u);
    EXPECT_EQ(f->row(5)[30], 4u);
    EXPECT_EQ(f->row(5)[49], 4u);
    EXPECT_EQ(f->row(5)[50], 0u);
}

TEST(SpanDrawTexture, WarpMovesTheTexture)
{
    IndexTexture tex(16, 16);
    std::vector<int32_t> S(WARP_TABLE_ENTRIES, 2 << 16), T(WARP_TABLE_ENTRIES, 0);
    auto warped = make_frame();
    auto moved = make_frame();
    // Pieces of 16 pixels, whose warped steps are exact.
    warped->add_affine(0, 0, 48, 0x2000, 0, 0x8000, 0x1000);
    moved->add_affine(0, 0, 48, (2 << 16) + 0x2000, 0, 0x8000, 0x1000);
    span_draw_texture(warped->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, S.data(), T.data());
    span_draw_texture(moved->plans(), 1, tex.texels.data(), tex.palette, 4, 16, 0, nullptr, nullptr);
    for (int x = 0; x < RasterFrame::WIDTH; ++x) {
        EXPECT_EQ(warped->row(0)[x], moved->row(0)[x]) << x;
    }
}

TEST(SpanFillFlat, AlternatesBit20EverySixteenTexels)
{
    auto f = make_frame();
    f->add_affine(0, 0, 48, 0, 0, 0x10000, 0);
    span_fill_flat(f->plans(), 1, 0x00402010);
    for (int x = 0; x < 48; ++x) {
        const uint32_t expected = (x / 16) % 2 == 0 ? 0x00402010u : 0x00502010u;
        EXPECT_EQ(f->row(0)[x], expected) << x;
    }
}

TEST(SpanDrawTextureAlt, AddsTheSecondLayerMovedByItsOffsets)
{
    IndexTexture a(16, 16);
    IndexTexture b(16, 16);
    for (int i = 0; i < 256; ++i) {
        b.palette[i] = static_cast<uint32_t>(i) << 8;
    }
    auto f = make_frame();
    f->add_affine(14, 0, 4, 13 << 16, 1 << 16, 0x10000, 0);
    span_draw_texture_alt(f->plans(), 1, a.texels.data(), a.palette, b.texels.data(), b.palette, 4, 16, 2 << 16,
                          static_cast<int32_t>(0xFFFF0000));
    // Layer A at (13..16, 1), layer B at (15..18, 0), both wrapping in u.
    const int cols_a[] = {13, 14, 15, 0};
    const int cols_b[] = {15, 0, 1, 2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f->row(0)[14 + i], static_cast<uint32_t>(16 + cols_a[i]) + (static_cast<uint32_t>(cols_b[i]) << 8))
            << i;
    }
}
