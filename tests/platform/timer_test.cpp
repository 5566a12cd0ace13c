#include "platform_fixture.h"

TEST_F(PlatformTest, MillisecondClockCountsFromTheBase)
{
    EXPECT_FALSE(timer_uses_counter());
    EXPECT_EQ(timer_base(), BASE_MS);
    EXPECT_DOUBLE_EQ(sys_time(), 0.0);
    clock.advance_seconds(1.5);
    EXPECT_DOUBLE_EQ(sys_time(), 1.5);
}

TEST_F(PlatformTest, MillisecondClockWrapsPastTwoToThe32)
{
    clock.set_micros((int64_t{0xFFFFFFFF} - 99) * 1000); // 100 ms before the wrap
    timer_shutdown();
    ASSERT_EQ(timer_init(), 0);
    clock.advance_seconds(0.3);
    EXPECT_NEAR(sys_time(), 0.3, 1e-9);
}

TEST_F(PlatformTest, HighResolutionCounterWhenAskedAndPresent)
{
    start({"-use_hitimer"});
    EXPECT_TRUE(timer_uses_counter());
    clock.advance_seconds(0.0005);
    EXPECT_NEAR(sys_time(), 0.0005, 1e-9) << "finer than the millisecond timer";

    clock.set_has_counter(false);
    start({"+use_hitimer"});
    EXPECT_FALSE(timer_uses_counter()) << "no counter: the millisecond timer";
}

TEST_F(PlatformTest, SysPriorityIsClampedInPlace)
{
    struct {
        const char* set;
        int32_t stored;
    } const rows[] = {{"5", 2}, {"-7", -2}, {"0", 0}, {"-1", -1}, {"2", 2}};
    ConfigVariable* const p = cvar_list->find("Sys_Priority");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->as_int(), 1);
    for (const auto& r : rows) {
        ASSERT_EQ(p->set_string(r.set), 1);
        (void)sys_time();
        EXPECT_EQ(p->as_int(), r.stored) << r.set;
        EXPECT_FALSE(p->check_changed()) << r.set;
    }
}
