#include "core/poll.h"
#include "host/host_clock.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class Counter final : public PollObject {
public:
    void poll() override { ++polls; }
    int polls = 0;
};

// An object that removes itself from inside its poll.
class OneShot final : public PollObject {
public:
    void poll() override
    {
        ++polls;
        (void)poll_remove(this);
    }
    int polls = 0;
};

class PollTest : public ::testing::Test {
protected:
    host::ManualClock clock_;
    host::ScopedClock scoped_{&clock_};
    PrintCapture prints_;
};

} // namespace

TEST_F(PollTest, PolledOnlyOnceTheMinimumPeriodHasPassed)
{
    Counter c;
    ASSERT_EQ(poll_add(&c, 0.05f, 1.0f), 1);
    const struct {
        double advance;
        int polls;
    } steps[] = {{0.02, 0}, {0.02, 0}, {0.02, 1}, {0.04, 1}, {0.02, 2}, {0.0, 2}};
    for (const auto& s : steps) {
        clock_.advance_seconds(s.advance);
        poll_all();
        EXPECT_EQ(c.polls, s.polls) << clock_.micros();
    }
    EXPECT_EQ(poll_find(&c)->too_slow, 0u);
    EXPECT_EQ(poll_remove(&c), 1);
    EXPECT_EQ(poll_remove(&c), 0);
    EXPECT_TRUE(prints_.lines().empty());
}

TEST_F(PollTest, LatePollsAreCountedAndReportedAtRemoval)
{
    prints_.show_all();
    Counter c;
    ASSERT_EQ(poll_add(&c, 0.0f, 0.2f), 1);
    for (int i = 0; i < 3; ++i) {
        clock_.advance_seconds(0.3);
        poll_all();
    }
    EXPECT_EQ(c.polls, 3);
    EXPECT_EQ(poll_find(&c)->too_slow, 3u);
    ASSERT_EQ(poll_remove(&c), 1);
    EXPECT_TRUE(prints_.contains("Debug: Poll: 3 too-slow polls (min period 0.00, max period 0.20)"));
}

TEST_F(PollTest, FullTableRefusesAndFreedRowsAreReused)
{
    std::vector<std::unique_ptr<Counter>> objects;
    for (int i = 0; i < POLL_ENTRIES; ++i) {
        objects.push_back(std::make_unique<Counter>());
        ASSERT_EQ(poll_add(objects.back().get(), 0.0f, 1.0f), 1);
    }
    Counter extra;
    EXPECT_EQ(poll_add(&extra, 0.0f, 1.0f), 0);
    EXPECT_TRUE(prints_.contains("Error: Poll: Too many callbacks used !"));
    const PollEntry* const freed = poll_find(objects[17].get());
    ASSERT_EQ(poll_remove(objects[17].get()), 1);
    ASSERT_EQ(poll_add(&extra, 0.0f, 1.0f), 1);
    EXPECT_EQ(poll_find(&extra), freed);
    prints_.clear();
    EXPECT_EQ(poll_check_removed(), POLL_ENTRIES);
    EXPECT_EQ(prints_.count("Error: Poll: Callback not removed !"), POLL_ENTRIES);
    for (auto& o : objects) {
        (void)poll_remove(o.get());
    }
    (void)poll_remove(&extra);
    EXPECT_EQ(poll_check_removed(), 0);
}

TEST_F(PollTest, ObjectMayRemoveItselfWhilePolled)
{
    OneShot once;
    Counter after;
    ASSERT_EQ(poll_add(&once, 0.0f, 1.0f), 1);
    ASSERT_EQ(poll_add(&after, 0.0f, 1.0f), 1);
    poll_all();
    poll_all();
    EXPECT_EQ(once.polls, 1);
    EXPECT_EQ(after.polls, 2);
    EXPECT_EQ(poll_remove(&after), 1);
}
