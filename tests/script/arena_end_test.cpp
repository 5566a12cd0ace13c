// Code at the very end of the arena: instructions whose operands still lie
// inside run; one whose operands run past the end is a bad address.
#include "script_fixture.h"

#include <algorithm>

#include "script/kinst.h"
#include "script/kio.h"

namespace {

const char* const arena_program = R"(
.global main
.code
.func main, 16
    ret
)";

class ArenaEnd : public ScriptFixture {
protected:
    void SetUp() override { load(arena_program); }

    // Writes a function (frame size 16, then the code) so that it ends at the
    // arena's last handed-out byte; returns its address.
    uint32_t place_last(const std::vector<uint8_t>& code)
    {
        const uint32_t size = 4 + static_cast<uint32_t>(code.size());
        const uint32_t at = c->arena.mark() - size;
        uint8_t* p = c->arena.at(at, size);
        write_le32(p, 16);
        std::copy(code.begin(), code.end(), p + 4);
        return at;
    }
};

TEST_F(ArenaEnd, OperandsEndingAtTheLastByteAreRead)
{
    const uint32_t f = place_last({INST_PUSH2, 0x11, 0, 0, 0, 0x22, 0, 0, 0, INST_RET2});
    ASSERT_TRUE(call_address(c, f, {}));
    EXPECT_EQ(c->result[0], 0x11u);
    EXPECT_EQ(c->result[1], 0x22u);
}

TEST_F(ArenaEnd, OperandsPastTheEndAreABadAddress)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    kio_defaults(c);
    const uint32_t f = place_last({INST_NOP, INST_PUSH1, 0x11, 0});
    const uint32_t operand = c->arena.mark() - 2;
    const std::string message = "KRun: bad address " + std::string(pline_format("0x%08x", operand)) + " \\(4 bytes\\)";
    EXPECT_EXIT(call_address(c, f, {}), ::testing::ExitedWithCode(255), message);
}

} // namespace
