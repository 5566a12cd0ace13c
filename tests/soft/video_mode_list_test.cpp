#include "platform/video_mode.h"
#include "soft/xmode_info.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

class ModeList {
public:
    ~ModeList() { XModeInfo::free_list(&head); }
    DDrawModeInfo* add(uint32_t w, uint32_t h) { return add_mode_record<DDrawModeInfo>(w, h, &head); }
    XModeInfo* head = nullptr;
};

std::pair<uint32_t, uint32_t> size_of(const XModeInfo* m)
{
    return m == nullptr ? std::pair<uint32_t, uint32_t>{0, 0} : std::pair<uint32_t, uint32_t>{m->width, m->height};
}

} // namespace

TEST(VideoModeList, NewRecordsAreMarkedAndAppendedExistingOnesReturned)
{
    ModeList list;
    DDrawModeInfo* const a = list.add(640, 480);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->is_new());
    EXPECT_EQ(a->refresh, 0u);
    a->pages = 2;
    a->direct = 0;
    DDrawModeInfo* const b = list.add(320, 200);
    EXPECT_EQ(list.add(640, 480), a);
    EXPECT_FALSE(a->is_new());
    EXPECT_EQ(list.head, a);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(XModeInfo::count(list.head), 2);
    XModeInfo::free_list(&list.head);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(XModeInfo::count(list.head), 0);
}

TEST(VideoModeList, FindBestTakesTheSmallestThatHoldsElseTheNearestArea)
{
    ModeList list;
    for (const auto& s : std::vector<std::pair<uint32_t, uint32_t>>{
             {0, 600}, {800, 600}, {640, 480}, {480, 640}, {1024, 768}, {512, 600}, {600, 512}}) {
        list.add(s.first, s.second);
    }
    struct Case {
        const char* why;
        uint32_t w;
        uint32_t h;
        std::pair<uint32_t, uint32_t> expected;
    };
    const Case cases[] = {
        {"exact", 640, 480, {640, 480}},
        {"smallest holding", 600, 500, {600, 512}},
        {"equal areas: earlier wins", 400, 400, {640, 480}},
        {"only the tall one holds", 400, 620, {480, 640}},
        {"nothing holds: nearest area", 2000, 200, {800, 600}},
        {"nothing holds: earlier of equally near", 2000, 100, {640, 480}},
        {"zero wanted: smallest real mode, not the empty one", 0, 0, {640, 480}},
        {"negative sizes passed as unsigned", 0xFFFFFFFFu, 10, {1024, 768}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(size_of(XModeInfo::find_best(list.head, c.w, c.h)), c.expected) << c.why;
    }
    EXPECT_EQ(XModeInfo::find_best(nullptr, 640, 480), nullptr);
}

TEST(VideoModeList, ConvertsToAnArrayInListOrder)
{
    ModeList list;
    EXPECT_EQ(XModeInfo::convert_to_array(list.head), nullptr);
    DDrawModeInfo* const a = list.add(640, 480);
    a->direct = 1;
    a->pages = 3;
    DDrawModeInfo* const b = list.add(320, 240);
    b->direct = 0;
    b->pages = 1;
    VideoModeRecord* const array = XModeInfo::convert_to_array(list.head);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array[0].width, 640);
    EXPECT_EQ(array[0].height, 480);
    EXPECT_EQ(array[0].direct, 1);
    EXPECT_EQ(array[0].pages, 3);
    EXPECT_EQ(array[1].width, 320);
    EXPECT_EQ(array[1].pages, 1);
    delete[] array;
}
