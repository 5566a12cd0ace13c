#pragma once
// Installs a sine table of its own as the global one, which the angle
// matrices read, and puts the previous one back.
#include "core/sine_table.h"

#include <gtest/gtest.h>

class WithSineTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = sine_table;
        ASSERT_EQ(table_.init(4096), 1);
        sine_table = &table_;
    }
    void TearDown() override { sine_table = saved_; }

    SineTable table_;
    SineTable* saved_ = nullptr;
};
