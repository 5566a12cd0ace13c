// The decoder: which form runs at a byte, where forms stop, and that stores
// into code decode again what they touch.
#include "script_fixture.h"

#include "script/kdecode.h"

namespace {

std::vector<uint8_t> code(std::initializer_list<uint32_t> ops)
{
    std::vector<uint8_t> bytes;
    for (uint32_t op : ops) {
        // Values above a byte stand for a 4-byte operand.
        if (op > 0xFF) {
            for (int i = 0; i < 4; ++i) {
                bytes.push_back(static_cast<uint8_t>((op - 0x100) >> (8 * i)));
            }
        } else {
            bytes.push_back(static_cast<uint8_t>(op));
        }
    }
    return bytes;
}

constexpr uint32_t W = 0x104;  // an operand word of 4

TEST(Decode, TheLongestSequenceWinsAndCutsOffAtTheEnd)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        uint8_t form;
    };
    const Case cases[] = {
        {"lone opcode", code({INST_ADD, INST_NOP}), INST_ADD},
        {"no opcode", code({200}), KF_UNEXPECTED},
        {"load of a local", code({INST_PUSHSPOFS, W, INST_LOAD1}), KF_LD_SPK_NONE},
        {"load, compare, jump beats load and compare",
         code({INST_PUSHARGS, INST_LOAD1, INST_SUB, INST_JGE, W}), KF_LDBJ_A_SUB},
        {"the jump's operand missing", code({INST_PUSHARGS, INST_LOAD1, INST_SUB, INST_JGE, 0, 0}), KF_LDB_A_SUB},
        {"two loads, compare, jump",
         code({INST_PUSHARGS, INST_LOAD1, INST_PUSHSPOFS, W, INST_LOAD1, INST_SUB, INST_JGE, W}), KF_LDLDBJ_A_SUB},
        {"a loop's increment", code({INST_PUSH1, W, INST_ADD, INST_PUSHSPOFS, W, INST_STORE1}), KF_IMMBST_SPK_ADD},
        {"push cut short", code({INST_PUSH1, 1, 0}), INST_PUSH1},
        {"a binary that is not fused", code({INST_PUSH1, W, INST_XOR}), INST_PUSH1},
        {"constant return", code({INST_PUSH1, W, INST_RET1}), KF_IMMRET1_NONE_NONE},
        {"a result added and returned", code({INST_PUSHRESULT1, INST_ADD, INST_RET1}), KF_RBRET1_NONE_ADD},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(int{kdecode_form(k.bytes.data(), static_cast<uint32_t>(k.bytes.size()))}, int{k.form}) << k.name;
    }
}

class DecodeInContext : public ScriptFixture {
protected:
    // As a number, so that failures print it.
    int form_at(uint32_t a) const { return a < c->decoded.limit ? int{c->decoded.forms[a]} : int{KF_RAW}; }
};

TEST_F(DecodeInContext, StoresIntoCodeDecodeAgainAndTheOffSwitchLeavesOnlyBytes)
{
    ASSERT_NO_FATAL_FAILURE(load(R"(
.global main, f, patch
.code
.func main, 0
    ret
.func f, 16
.inc:
    push 1
    add
    pushspofs 4
    store1
    ret
.func patch, 16
    push 0x51
    push f + 4 + 5
    storebyte
    ret
.data
    .space 32
)"));
    const uint32_t inc = address("f") + 4;
    EXPECT_EQ(form_at(inc), KF_IMMBST_SPK_ADD);
    EXPECT_EQ(form_at(inc + 5), KF_BST_SPK_ADD);
    // The add becomes an xor (0x51 is no fused binary): the forms over it change.
    static_assert(INST_XOR == 0x44 && INST_ADD == 0x51, "opcode numbers");
    c->arena.at(inc + 5)[0] = INST_XOR;
    kdecode_written(c, inc + 5, 1);
    EXPECT_EQ(form_at(inc), INST_PUSH1);
    EXPECT_EQ(form_at(inc + 5), INST_XOR);
    // A script's store does the same.
    ASSERT_TRUE(call_address(c, address("patch"), {}));
    EXPECT_EQ(form_at(inc), KF_IMMBST_SPK_ADD);
    // Host writes through k_bytes are decoded before the next run.
    k_bytes(c, inc + 5, 1)[0] = INST_SUB;
    ASSERT_TRUE(call_address(c, address("main"), {}));
    EXPECT_EQ(form_at(inc), KF_IMMBST_SPK_SUB);

    kdecode_enable(c, false);
    EXPECT_EQ(c->decoded.limit, 0u);
    kdecode_enable(c, true);
    EXPECT_EQ(form_at(inc), KF_IMMBST_SPK_SUB);
}

} // namespace
