#include "core/share_manager.h"

#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint32_t MAP_T = share_type_id("MapT");
constexpr uint32_t VOL_T = share_type_id("VolT");

int live_maps = 0;

// Created from a name and a number; matches the same pair.
class TestMap : public ShareObject {
public:
    TestMap(const char* name, int number) : name_(name), number_(number) { ++live_maps; }
    ~TestMap() override { --live_maps; }

    int match(uint32_t id, va_list args) override
    {
        if (id != MAP_T) {
            return 0;
        }
        const char* const name = va_arg(args, const char*);
        const int number = va_arg(args, int);
        return std::string(name) == name_ && number == number_;
    }

    static ShareObject* create(va_list args)
    {
        const char* const name = va_arg(args, const char*);
        const int number = va_arg(args, int);
        if (number < 0) {
            return nullptr;
        }
        return new TestMap(name, number);
    }
    static ShareObject* other_create(va_list) { return nullptr; }

private:
    std::string name_;
    int number_;
};

} // namespace

TEST(ShareManager, TypeIds)
{
    EXPECT_EQ(MAP_T, 0x5470614Du);
    EXPECT_EQ(VOL_T, 0x546C6F56u);
}

TEST(ShareManager, SameArgumentsShareOneObject)
{
    PrintCapture capture;
    {
        ShareManager share;
        ASSERT_EQ(share.register_type(MAP_T, TestMap::create), 1);
        ASSERT_EQ(share.register_type(MAP_T, TestMap::create), 1);
        ShareObject* a = share.acquire(MAP_T, "maps/one", 3);
        ShareObject* b = share.acquire(MAP_T, "maps/one", 3);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a->refcount, 2);
        ShareObject* c = share.acquire(MAP_T, "maps/one", 4); // no match: a second object
        ASSERT_NE(c, nullptr);
        EXPECT_NE(c, a);
        EXPECT_EQ(live_maps, 2);
        EXPECT_EQ(share.acquire(MAP_T, "maps/two", -1), nullptr); // create refuses, silently
        share.release(a);
        EXPECT_EQ(live_maps, 2);
        share.release(b);
        EXPECT_EQ(live_maps, 1);
        share.release(c);
        EXPECT_EQ(live_maps, 0);
    }
    EXPECT_TRUE(capture.lines().empty());
}

TEST(ShareManager, Errors)
{
    PrintCapture capture;
    ShareManager share;
    ASSERT_EQ(share.register_type(MAP_T, TestMap::create), 1);
    EXPECT_EQ(share.register_type(MAP_T, TestMap::other_create), 0);
    EXPECT_TRUE(capture.contains("Share: Create function mismatch, id 0x5470614d"));
    // The first function is kept.
    ShareObject* a = share.acquire(MAP_T, "m", 1);
    ASSERT_NE(a, nullptr);

    EXPECT_EQ(share.acquire(VOL_T, 1), nullptr);
    EXPECT_TRUE(capture.contains("Share: Unregistered type id 0x546c6f56"));

    share.release(a); // destroyed and unlisted
    EXPECT_EQ(capture.count("Share: Tried to release unallocated object"), 0);
    share.release(a); // one release too many: only compared, never touched
    EXPECT_EQ(capture.count("Share: Tried to release unallocated object"), 1);
    TestMap stranger("x", 0);
    share.release(&stranger);
    EXPECT_EQ(capture.count("Share: Tried to release unallocated object"), 2);
    EXPECT_EQ(live_maps, 1) << "only the stranger is left";
}

TEST(ShareManagerDeath, DestroyingWhatIsStillHeldStops)
{
    EXPECT_DEATH(
        {
            ShareManager share;
            share.register_type(MAP_T, TestMap::create);
            (void)share.acquire(MAP_T, "m", 1);
        },
        "!s_objects");
    EXPECT_DEATH(
        {
            TestMap* const held = new TestMap("m", 1);
            held->refcount = 1;
            delete held;
        },
        "!refcount");
}
