#include "core/kheap.h"
#include "core/random_table.h"
#include "core/sine_table.h"
#include "engine/engine.h"
#include "host/host_clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Start-up steps 13 and 14: the heap from `kheap_megs`, then the global tables.
class EngineHeap : public ::testing::Test {
protected:
    void SetUp() override { std::remove("main.opt"); }
    void TearDown() override { delete engine_; }

    int start(std::vector<const char*> args)
    {
        args.insert(args.begin(), "ostrel");
        engine_ = new Engine;
        return engine_->init(static_cast<int>(args.size()), args.data());
    }

    host::ManualClock clock_;
    host::ScopedClock scoped_{&clock_};
    Engine* engine_ = nullptr;
};

} // namespace

TEST_F(EngineHeap, SizeFromTheOption)
{
    struct Case {
        const char* why;
        std::vector<const char*> args;
        uint32_t bytes;
    };
    const Case cases[] = {
        {"default", {}, 4u << 20},
        {"decimal", {"-kheap_megs", "8"}, 8u << 20},
        {"hexadecimal, as %i reads it", {"-kheap_megs", "0x10"}, 16u << 20},
        {"no parameter keeps the default", {"-kheap_megs"}, 4u << 20},
        {"not a number keeps the default", {"-kheap_megs", "lots"}, 4u << 20},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(start(c.args), 1) << c.why;
        ASSERT_NE(kheap, nullptr) << c.why;
        EXPECT_EQ(kheap->size(), c.bytes) << c.why;
        ASSERT_NE(sine_table, nullptr);
        EXPECT_EQ(sine_table->n, 4096);
        ASSERT_NE(random_table, nullptr);
        EXPECT_EQ(random_table->n, 1024);
        delete engine_;
        engine_ = nullptr;
        EXPECT_EQ(kheap, nullptr) << c.why;
        EXPECT_EQ(sine_table, nullptr);
        EXPECT_EQ(random_table, nullptr);
    }
}

TEST_F(EngineHeap, ImpossibleSizesEndTheStartUp)
{
    for (const char* megs : {"0", "100000", "0xFFFFFFFF", "0x800"}) {
        EXPECT_EQ(start({"-kheap_megs", megs}), 0) << megs;
        ASSERT_NE(kheap, nullptr);
        EXPECT_EQ(kheap->area(), nullptr) << megs;
        EXPECT_EQ(sine_table, nullptr) << megs; // the start-up ended at the heap
        delete engine_;
        engine_ = nullptr;
        EXPECT_EQ(kheap, nullptr);
    }
}

TEST_F(EngineHeap, MalformedSizeIsReported)
{
    // Start-up puts the default print handler back: its lines go to stdout.
    ::testing::internal::CaptureStdout();
    const int started = start({"-kheap_megs", "lots"});
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(started, 1);
    EXPECT_EQ(kheap->size(), 4u << 20);
    EXPECT_NE(out.find("Warning: Kavrin: kheap_megs 'lots' is not a number, using 4"), std::string::npos);
}
