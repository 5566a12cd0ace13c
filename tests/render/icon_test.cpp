// Icons and pictures: the size directory, the chunks of the files and their
// faults, the palette's layout and halving, the checkerboard in place of a
// broken file, and the icon table.
#include "core/kheap.h"
#include "renderer/icon_picture.h"
#include "world/view/icon_table.h"
#include "renderer/screen_manager.h"
#include "support/print_capture.h"
#include "support/screen_fixture.h"
#include "tools/assets/picture_writer.h"
#include "tools/fsys/chunk_writer.h"
#include "tools/fsys/write_bytes.h"
#include "world/picture_directory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

tools::PictureDesign small_picture(bool icon, uint32_t w = 3, uint32_t h = 2)
{
    tools::PictureDesign p;
    p.icon = icon;
    p.width = w;
    p.height = h;
    for (int i = 0; i < 256; ++i) {
        p.palette.insert(p.palette.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 0x81});
    }
    for (uint32_t i = 0; i < w * h; ++i) {
        p.data.push_back(static_cast<uint8_t>(10 + i));
        if (icon) {
            p.alpha.push_back(static_cast<uint8_t>(200 + i));
        }
    }
    return p;
}

std::vector<uint8_t> u32s(std::initializer_list<uint32_t> values)
{
    std::vector<uint8_t> out;
    for (uint32_t v : values) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    return out;
}

class IconTest : public ScreenBase {
protected:
    void SetUp() override
    {
        ScreenBase::SetUp();
        ASSERT_EQ(screen_.init(&mode_, "backgrnd", "loading", "small.fnt"), 1);
    }
    void TearDown() override
    {
        image_.release();
        screen_.shutdown();
        ScreenBase::TearDown();
    }

    void put(const char* dir, const char* name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = std::string("kavrin/pictures/") + dir + "/" + name;
        tree_.write(path, bytes);
    }

    MemoryVideoMode mode_{64, 48};
    ScreenManager screen_;
    IconPicture owner_;
    IconImage image_;
};

} // namespace

TEST_F(IconTest, SizeDirectoryNearestTheModeAmongThoseHoldingTheFile)
{
    struct Case {
        const char* why;
        int32_t xres;
        int32_t yres;
        std::vector<const char*> dirs;
        const char* expected;
    };
    const Case cases[] = {
        {"exact size wins", 640, 480, {"size04", "size05"}, "size04"},
        {"nearer area: 307200 is nearer 64000 than 786432", 640, 480, {"size01", "size07"}, "size01"},
        {"a failed nearer try opens the best one again", 800, 600, {"size04"}, "size04"},
        {"the largest mode takes the largest directory", 4096, 3072, {"size02", "size07"}, "size07"},
        {"a tie goes to the smaller directory", 368, 250, {"size01", "size02"}, "size01"},
        {"no directory holds the file", 640, 480, {}, nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "pic" + std::to_string(n++);
        for (const char* dir : c.dirs) {
            tree_.write(std::string("kavrin/pictures/") + dir + "/" + name + ".cpc", std::string(dir));
        }
        int chosen = -2;
        FileStream* const f = open_sized_picture(name.c_str(), "cpc", c.xres, c.yres, &chosen);
        if (c.expected == nullptr) {
            EXPECT_EQ(f, nullptr) << c.why;
            EXPECT_EQ(chosen, -1) << c.why;
            continue;
        }
        ASSERT_NE(f, nullptr) << c.why;
        char text[16] = {};
        f->read(text, 1, 6);
        f->close();
        EXPECT_STREQ(text, c.expected) << c.why;
        EXPECT_STREQ(picture_sizes[chosen].directory, c.expected) << c.why;
    }
}

TEST_F(IconTest, IconReadsIndicesAlphaAndAHalvedPaletteInTheScreensLayout)
{
    mode_.rgb_layout[0] = 0; // red in the low byte, blue at 16
    mode_.rgb_layout[2] = 16;
    tools::write_picture(tree_.path("kavrin"), "size01", "ico", small_picture(true));
    ASSERT_EQ(load_icon(image_, &owner_, &screen_, "ico", 1), 1);
    EXPECT_EQ(image_.width, 3);
    EXPECT_EQ(image_.height, 2);
    EXPECT_EQ(image_.flags, ICON_HAS_ALPHA);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(image_.bitmap[2 * i], 10 + i);
        EXPECT_EQ(image_.bitmap[2 * i + 1], 200 + i);
    }
    // Entry 10: red 10, green 245, blue 0x81, halved: 5, 122, 64; the fourth byte repeats green.
    EXPECT_EQ(image_.palette[10], 0x7A400000u | 122u << 8 | 5u);
    EXPECT_EQ(image_.palette[10] & 0x80808080u, 0u);

    tools::write_picture(tree_.path("kavrin"), "size01", "pic", small_picture(false));
    ASSERT_EQ(load_icon(image_, &owner_, &screen_, "pic", 0), 1);
    EXPECT_EQ(image_.flags, 0u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(image_.bitmap[i], 10 + i);
    }
    // A picture's palette keeps its full intensity.
    EXPECT_EQ(image_.palette[10], 0xF5810000u | 245u << 8 | 10u);
}

TEST_F(IconTest, BrokenFilesAreRefusedWithTheirMessage)
{
    struct Case {
        const char* why;
        bool icon;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const std::vector<uint8_t> pal(768, 7);
    const std::vector<uint8_t> six(6, 1);
    auto file = [](const char(&form)[5], std::vector<std::pair<const char*, std::vector<uint8_t>>> chunks) {
        tools::ChunkWriter w(form);
        for (auto& c : chunks) {
            char id[5] = {c.first[0], c.first[1], c.first[2], c.first[3], 0};
            w.add_with_length(reinterpret_cast<const char(&)[5]>(id), static_cast<uint32_t>(c.second.size()),
                              c.second);
        }
        return w.bytes();
    };
    const auto head = u32s({3, 2});
    std::vector<Case> cases = {
        {"an icon file read as a picture", false, tools::picture_bytes(small_picture(true)), "Wrong file type"},
        {"a picture file read as an icon", true, tools::picture_bytes(small_picture(false)), "Wrong file type"},
        {"an icon without alpha", true, file("ICON", {{"HEAD", head}, {"PAL8", pal}, {"DATA", six}}),
         "ALPH chunk is missing"},
        {"a picture with alpha", false, file("PICT", {{"HEAD", head}, {"PAL8", pal}, {"ALPH", six}}),
         "unexpected ALPH chunk"},
        {"two HEAD chunks", false, file("PICT", {{"HEAD", head}, {"HEAD", head}}), "Multiple HEAD chunks found"},
        {"two PAL8 chunks", false, file("PICT", {{"PAL8", pal}, {"PAL8", pal}}), "Multiple PAL8 chunks found"},
        {"two DATA chunks", false, file("PICT", {{"HEAD", head}, {"DATA", six}, {"DATA", six}}),
         "Multiple DATA chunks found"},
        {"two ALPH chunks", true, file("ICON", {{"HEAD", head}, {"ALPH", six}, {"ALPH", six}}),
         "Multiple ALPH chunks found"},
        {"DATA before HEAD", false, file("PICT", {{"DATA", six}, {"HEAD", head}}), "DATA without HEAD"},
        {"ALPH before HEAD", true, file("ICON", {{"ALPH", six}, {"HEAD", head}}), "ALPH without HEAD"},
        {"no palette", false, file("PICT", {{"HEAD", head}, {"DATA", six}}), "Palette is missing"},
        {"no DATA", false, file("PICT", {{"HEAD", head}, {"PAL8", pal}}), "DATA chunk is missing"},
        {"a short HEAD", false, file("PICT", {{"HEAD", u32s({3})}, {"PAL8", pal}}), "HEAD chunk is too short"},
        {"a short palette", false, file("PICT", {{"HEAD", head}, {"PAL8", std::vector<uint8_t>(767)}}),
         "PAL8 chunk is too short"},
        {"a DATA chunk shorter than the picture", false,
         file("PICT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", std::vector<uint8_t>(5)}}), "DATA chunk is too short"},
        {"an ALPH chunk shorter than the icon", true,
         file("ICON", {{"HEAD", head}, {"PAL8", pal}, {"DATA", six}, {"ALPH", std::vector<uint8_t>(5)}}),
         "ALPH chunk is too short"},
        {"DATA whose length runs past the file", false,
         [&] {
             tools::ChunkWriter w("PICT");
             w.add("HEAD", head);
             w.add("PAL8", pal);
             w.add_with_length("DATA", 6, {1, 2});
             // The last two bytes of the data are missing.
             const std::vector<uint8_t>& b = w.bytes();
             return std::vector<uint8_t>(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(b.size()) - 2);
         }(),
         "DATA chunk is too short"},
        {"a zero width", false, file("PICT", {{"HEAD", u32s({0, 2})}}), "Bad size 0x2"},
        {"sides whose product overflows 32 bits", false, file("PICT", {{"HEAD", u32s({0x10001, 0x10001})}}),
         "Bad size 65537x65537"},
        {"sides whose product overflows 64 bits", true, file("ICON", {{"HEAD", u32s({0xFFFFFFFF, 0xFFFFFFFF})}}),
         "Bad size 4294967295x4294967295"},
        {"a side too wide for 16.16 steps", false, file("PICT", {{"HEAD", u32s({32768, 1})}}), "Bad size 32768x1"},
        {"only a form", false, u32s({0x54434950}), "Palette is missing"},
        {"an empty file", false, {}, "Wrong file type"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "bad" + std::to_string(n++);
        put("size01", (name + (c.icon ? ".cic" : ".cpc")).c_str(), c.bytes);
        PrintCapture capture;
        EXPECT_EQ(load_icon(image_, &owner_, &screen_, name.c_str(), c.icon ? 1 : 0), 0) << c.why;
        EXPECT_TRUE(capture.contains("load_icon(" + name + "): " + c.message)) << c.why;
        ASSERT_EQ(capture.lines().size(), 1u) << c.why;
        EXPECT_EQ(capture.lines()[0].stream, P_ERROR) << c.why;
    }
    // A missing file fails without a word.
    PrintCapture capture;
    EXPECT_EQ(load_icon(image_, &owner_, &screen_, "none", 1), 0);
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(IconTest, PictureThatCantLoadShowsAFaintCheckerboard)
{
    put("size01", "broken.cic", tools::picture_bytes(small_picture(false)));
    for (const int is_icon : {1, 0}) {
        IconPicture picture;
        picture.set_name(is_icon != 0 ? "broken" : "missing", is_icon);
        PrintCapture capture;
        ASSERT_EQ(picture.touch(reinterpret_cast<uintptr_t>(&screen_)), 1);
        EXPECT_TRUE(capture.contains(std::string("Can't load icon '") + picture.name() + "'"));
        const IconImage& img = picture.image();
        ASSERT_EQ(img.width, 4);
        ASSERT_EQ(img.height, 4);
        EXPECT_EQ(img.palette[0], 0x604010u); // components 0, 1, 2 at red, green, blue
        EXPECT_EQ(img.palette[1], 0x302008u);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                const int at = y * 4 + x;
                if (is_icon != 0) {
                    EXPECT_EQ(img.bitmap[2 * at], (x ^ y) & 1);
                    EXPECT_EQ(img.bitmap[2 * at + 1], ICON_PLACEHOLDER_ALPHA);
                } else {
                    EXPECT_EQ(img.bitmap[at], (x ^ y) & 1);
                }
            }
        }
        picture.flush();
        EXPECT_EQ(picture.image().bitmap, nullptr);
    }
}

TEST_F(IconTest, TableFindsNamesWithoutCaseAndKeepsIconsApartFromPictures)
{
    IconTable table;
    ASSERT_EQ(table.create(3), 1);
    IconPicture* const a = table.get("Marker", 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(table.get("MARKER", 1), a);
    IconPicture* const b = table.get("marker", 0);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(table.icons(), 2);
    PrintCapture capture;
    EXPECT_EQ(table.get("toolongname", 1), nullptr);
    EXPECT_TRUE(capture.contains("too long"));
    ASSERT_NE(table.get("third", 1), nullptr);
    EXPECT_EQ(table.get("fourth", 1), nullptr);
    EXPECT_TRUE(capture.contains("Too many icons loaded"));
    EXPECT_EQ(table.get("Third", 1), table.get("third", 1));

    // Entries load on their first touch, the demo's marker from its size directory.
    ASSERT_EQ(a->touch(reinterpret_cast<uintptr_t>(&screen_)), 1);
    EXPECT_EQ(a->image().width, 200 / 12);
    table.release_all();
    EXPECT_EQ(a->image().bitmap, nullptr);
    EXPECT_STREQ(a->name(), "Marker");
    table.destroy();
    EXPECT_EQ(table.capacity(), 0);
}

TEST_F(IconTest, PicturesLiveInTheHeapsCacheAndComeBackAfterEviction)
{
    kheap = new KHeap;
    ASSERT_EQ(kheap->init(1 << 20, 0), 1);
    {
        IconTable table;
        ASSERT_EQ(table.create(2), 1);
        IconPicture* const p = table.get("backgrnd", 0);
        ASSERT_EQ(p->touch(reinterpret_cast<uintptr_t>(&screen_)), 1);
        EXPECT_NE(kheap->object_block(p->image().bitmap), nullptr);
        EXPECT_EQ(p->image().width, 320);
        EXPECT_TRUE(p->linked());
        // Dropped by the heap, loaded again at the next touch.
        p->flush();
        EXPECT_FALSE(p->linked());
        ASSERT_EQ(p->touch(reinterpret_cast<uintptr_t>(&screen_)), 1);
        EXPECT_EQ(p->image().height, 200);
        EXPECT_EQ(kheap->check(1), 1);
    }
    delete kheap;
    kheap = nullptr;
}

TEST_F(IconTest, HandleShowsNothingWhereTheScreenRefusesIt)
{
    IconTable table;
    ASSERT_EQ(table.create(1), 1);
    IconHandle on;
    on.owner = table.get("marker", 1);
    on.x = 100;
    on.y = 100;
    on.width = 4000;
    on.height = 4000;
    on.extent = SCREEN_VIRTUAL_WIDTH;
    on.show(&screen_);
    ASSERT_GE(on.id, 0);
    EXPECT_EQ(screen_.icon(on.id).image, on.owner);
    on.extent = 0;
    on.set_extent(&screen_);
    EXPECT_EQ(screen_.icon(on.id).shown_width, 0);
    on.hide(&screen_);
    EXPECT_EQ(on.id, -1);

    IconHandle off = on;
    off.x = -10000;
    off.width = 5000;
    off.show(&screen_);
    EXPECT_EQ(off.id, -1);
    off.set_value(&screen_);
    off.set_extent(&screen_);
    off.hide(&screen_);
    EXPECT_EQ(off.id, -1);
}
