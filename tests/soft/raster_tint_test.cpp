#include <gtest/gtest.h>

#include "raster_frame.h"
#include "soft/drawer_portable.h"
#include "soft/screen_tint.h"

namespace {

using Tint = void (*)(uint32_t*, int, int, int, uint32_t, uint32_t);

// The public tints and the portable ones: plain and mmx.
struct TintForms {
    const char* name;
    Tint plain, mmx;
};

const TintForms TINT_FORMS[] = {
    {"public", blend_span_to_colour, blend_span_to_colour_mmx},
    {"portable", blend_span_to_colour_portable, blend_span_to_colour_mmx_portable},
};

} // namespace

TEST(ScreenTint, PlainAndMmxFormulas)
{
    build_lighting_tables();
    struct Case {
        const char* why;
        uint32_t pixel, colour, strengths, plain, mmx;
    };
    const Case cases[] = {
        {"strength 0 clears the lowest bit (plain), moves one step at most (mmx)", 0x006500C8, 0, 0, 0x006400C8,
         0x006400C7},
        {"strength 255 toward white from black", 0, 0x00FFFFFF, 0xFFFFFFFF, 0x00F6F6F6, 0x00FFFFFF},
        {"each byte by its own strength", 0x00808080, 0x00FF0000, 0x00FF8000, 0x00F64080, 0x00FF3F7F},
    };
    for (const TintForms& form : TINT_FORMS) {
        SCOPED_TRACE(form.name);
        for (const Case& c : cases) {
            uint32_t plain = c.pixel;
            uint32_t mmx = c.pixel;
            form.plain(&plain, 1, 1, 1, c.colour, c.strengths);
            form.mmx(&mmx, 1, 1, 1, c.colour, c.strengths);
            EXPECT_EQ(plain, c.plain) << c.why;
            EXPECT_EQ(mmx, c.mmx) << c.why;
        }
    }
}

TEST(ScreenTint, ChangesOnlyTheRectangle)
{
    for (const Tint tint : {blend_span_to_colour, blend_span_to_colour_mmx, blend_span_to_colour_portable,
                            blend_span_to_colour_mmx_portable}) {
        auto f = make_frame();
        f->fill(0x00404040);
        tint(f->row(2) + 3, 5, 4, RasterFrame::WIDTH, 0x00FFFFFF, 0xFFFFFFFF);
        for (int y = 0; y < RasterFrame::HEIGHT; ++y) {
            for (int x = 0; x < RasterFrame::WIDTH; ++x) {
                const bool inside = x >= 3 && x < 8 && y >= 2 && y < 6;
                EXPECT_EQ(f->row(y)[x] == 0x00404040u, !inside) << x << ", " << y;
            }
        }
        auto one = make_frame();
        one->fill(0x00404040);
        tint(one->row(1) + 1, 1, 1, RasterFrame::WIDTH * 2, 0x00FFFFFF, 0xFFFFFFFF);
        int changed = 0;
        for (uint32_t p : one->pixels) {
            changed += p != 0x00404040u ? 1 : 0;
        }
        EXPECT_EQ(changed, 1);
    }
}
