// Envelope stepping: values per tick for loops, sustain loops, releases and
// damaged node lists.
#include "sound/mod_env_state.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

namespace {

ModEnvelope make(std::initializer_list<std::pair<int, int>> nodes, uint8_t flags, int loop_start = 0,
                 int loop_end = 0, int sustain_start = 0, int sustain_end = 0)
{
    ModEnvelope e;
    e.flags = flags;
    for (const auto& [tick, value] : nodes) {
        e.tick[e.count] = uint16_t(tick);
        e.value[e.count] = int16_t(value);
        ++e.count;
    }
    e.loop_start = uint8_t(loop_start);
    e.loop_end = uint8_t(loop_end);
    e.sustain_start = uint8_t(sustain_start);
    e.sustain_end = uint8_t(sustain_end);
    return e;
}

// The value before each step: ticks 0..n-1; release before step `release_at` (-1: never).
std::vector<int> run(const ModEnvelope& e, int n, int release_at = -1)
{
    ModEnvState s;
    s.init(&e, 256);
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
        if (i == release_at) {
            s.release();
        }
        out.push_back(s.value());
        s.step();
    }
    return out;
}

TEST(ModEnvelope, Walks)
{
    struct Case {
        const char* why;
        ModEnvelope e;
        int release_at;
        std::vector<int> values;
    };
    const Case cases[] = {
        {"off gives the default", make({{0, 0}, {4, 64}}, 0), -1, {256, 256, 256}},
        {"straight line, then the last value", make({{0, 0}, {4, 64}}, MODE_ON), -1, {0, 16, 32, 48, 64, 64, 64}},
        {"one node holds its value", make({{0, 100}}, MODE_ON), -1, {100, 100, 100}},
        {"a loop over two segments", make({{0, 0}, {2, 20}, {4, 0}}, MODE_ON | MODE_LOOP, 0, 2), -1,
         {0, 10, 20, 10, 0, 10, 20, 10, 0}},
        {"a one-node loop holds its node", make({{0, 0}, {2, 40}, {4, 0}}, MODE_ON | MODE_LOOP, 1, 1), -1,
         {0, 20, 40, 40, 40, 40}},
        {"sustain holds until released, then runs on", make({{0, 0}, {2, 40}, {4, 0}}, MODE_ON | MODE_SUSTAIN, 0, 0, 1, 1),
         4, {0, 20, 40, 40, 40, 20, 0, 0}},
        {"release of a sustain jumps into the plain loop",
         make({{0, 0}, {2, 40}, {4, 0}, {6, 60}}, MODE_ON | MODE_SUSTAIN | MODE_LOOP, 0, 1, 2, 2), 5,
         {0, 20, 40, 20, 0, 0, 20, 0, 20}},
        {"ticks that do not increase end the segment at once", make({{0, 0}, {0, 50}, {0, 100}}, MODE_ON), -1,
         {0, 50, 100, 100}},
        {"ticks that go back end the segment at once", make({{10, 8}, {5, 16}, {9, 24}}, MODE_ON), -1,
         {8, 16, 18, 20, 22, 24, 24}},
        {"a loop past the nodes is not played", make({{0, 0}, {2, 20}}, MODE_ON | MODE_LOOP, 1, 7), -1,
         {0, 10, 20, 20, 20}},
        {"a loop that ends before it starts is not played", make({{0, 0}, {2, 20}, {4, 0}}, MODE_ON | MODE_LOOP, 2, 1),
         -1, {0, 10, 20, 10, 0, 0}},
        {"no nodes gives the default", make({}, MODE_ON), -1, {256, 256}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.e, int(c.values.size()), c.release_at), c.values) << c.why;
    }
}

TEST(ModEnvelope, StepReportsTheEnd)
{
    const ModEnvelope e = make({{0, 0}, {2, 64}}, MODE_ON);
    ModEnvState s;
    s.init(&e, 256);
    EXPECT_TRUE(s.step());
    EXPECT_TRUE(s.step());
    EXPECT_FALSE(s.step());
    EXPECT_EQ(s.value(), 64);
}

TEST(ModEnvelope, SetPosition)
{
    const ModEnvelope e = make({{0, 0}, {4, 40}, {8, 0}}, MODE_ON);
    struct Case {
        uint32_t p;
        int value;
    };
    for (const Case c : {Case{0, 0}, Case{2, 20}, Case{4, 40}, Case{6, 20}, Case{8, 0}, Case{100, 0}}) {
        ModEnvState s;
        s.init(&e, 256);
        s.set_position(c.p);
        EXPECT_EQ(s.value(), c.value) << c.p;
    }
}

} // namespace
