// A script file that declares a code section far larger than what it holds:
// linking it, loading states into it and decoding it again cost what the file
// holds, not what it declares.
#include "script/kdecode.h"
#include "state_fixture.h"

#include <string>

namespace {

constexpr uint32_t ARENA = 160u << 20;
constexpr uint32_t SECTION = 128u << 20;    // code bytes declared
constexpr uint32_t PATCHED = SECTION - 64;  // a relocated word far into the zero tail

class BigSection : public StateFixture {
protected:
    void SetUp() override
    {
        const std::string source = std::string(state_program) + ".memsize 0, " + std::to_string(SECTION) +
                                   "\n.reloc 0, 0, " + std::to_string(PATCHED) + "\n";
        ASSERT_NO_FATAL_FAILURE(load(source, {64, 32, 64}, ARENA));
        use_streams(c);
    }

    // Forms of [from, to) against what the bytes there decode to; the first mismatch.
    void expect_forms_match(uint32_t from, uint32_t to) const
    {
        const KDecoded& d = c->decoded;
        for (uint32_t a = from; a < to && a < d.limit; ++a) {
            const uint8_t want = kdecode_form(c->arena.base() + a, d.limit - a);
            if (d.forms[a] != want) {
                ADD_FAILURE() << "form " << int{d.forms[a]} << " at code + " << a - d.base << ", bytes give "
                              << int{want};
                return;
            }
        }
    }
    // Every address of the section whose form may not be 0: the file's bytes and the patched word.
    void expect_all_forms_match() const
    {
        const uint32_t code = c->decoded.base;
        expect_forms_match(code, code + 65536);
        expect_forms_match(code + PATCHED - KFORM_MAX_BYTES, code + PATCHED + 4 + KFORM_MAX_BYTES);
        expect_forms_match(code + SECTION / 2 - 64, code + SECTION / 2 + 64);
    }
    // Decoding work a whole file may cost: each of its bytes, and the forms around the patched word.
    uint64_t file_work() const { return object().size() + KFORM_MAX_BYTES + 4; }
};

TEST_F(BigSection, LinksAtTheCostOfTheFileAndRuns)
{
    const uint32_t code = c->decoded.base;
    EXPECT_EQ(c->decoded.size, SECTION);
    EXPECT_LT(object().size(), 4096u);
    EXPECT_LE(c->decoded.decoded, file_work());
    EXPECT_EQ(word(code + PATCHED), code) << "the relocation in the tail was applied";
    EXPECT_EQ(int{c->decoded.forms[code + SECTION / 2]}, int{INST_NOP});
    expect_all_forms_match();
    // The program in the file's bytes runs.
    const uint32_t thing = make_thing();
    EXPECT_NE(thing, 0u);
    EXPECT_EQ(word(thing - 4), address("Thing@vt"));
}

TEST_F(BigSection, StatesLoadWithoutDecodingTheSectionAgain)
{
    const uint64_t linked = c->decoded.decoded;
    ASSERT_EQ(load_text("O.0 Thing@vt {\n n 7\n s a~`b\n q gvar\n}\nT.1 waiter O.0 5\n"), 1) << load_state_failure();
    EXPECT_EQ(objects().size(), 1u);
    EXPECT_EQ(load_text("O.1 Thing@vt {\n n 12abc\n}\n"), 0);
    EXPECT_EQ(objects().size(), 1u) << "the failed load left nothing behind";
    const std::string saved = save();
    EXPECT_NE(saved.find(" waiter O.0 5"), std::string::npos) << saved;
    ASSERT_EQ(load_text(saved), 1) << load_state_failure();
    EXPECT_EQ(objects().size(), 2u);
    EXPECT_EQ(c->decoded.decoded, linked) << "loads wrote no code";
    expect_all_forms_match();
}

TEST_F(BigSection, TurningDecodingOffAndOnDecodesOnlyWrittenBytes)
{
    kdecode_enable(c, false);
    EXPECT_EQ(c->decoded.limit, 0u);
    const uint64_t before = c->decoded.decoded;
    kdecode_enable(c, true);
    EXPECT_EQ(c->decoded.limit, c->decoded.base + SECTION);
    EXPECT_LE(c->decoded.decoded - before, object().size() + 4);
    expect_all_forms_match();
    EXPECT_NE(make_thing(), 0u);
}

} // namespace
