// Text builtins called from scripts: the formats scripts hand over with their
// argument cells, the print streams, the tagged-line hook, clients, and the
// temporary texts scripts read back.
#include "builtin_fixture.h"

#include "core/print.h"
#include "script/kio.h"
#include "server/builtin_format.h"

#include <cmath>

namespace {

const std::string& print_program()
{
    static const std::string text = forwarding_program({
                                                           {"pline1", "pline", 1},
                                                           {"pline6", "pline", 6},
                                                           {"pfloat", "pfloat", 1},
                                                           {"pvector", "pvector", 3},
                                                           {"print6", "print", 6},
                                                           {"sprint6", "sprint", 6},
                                                           {"cprint6", "cprint", 6},
                                                       },
                                                       SCRATCH_DATA);
    return text;
}

class PrintBuiltins : public BuiltinTexts {
protected:
    void SetUp() override
    {
        BuiltinTexts::SetUp();
        ASSERT_NO_FATAL_FAILURE(start_world(print_program().c_str()));
    }
    std::string pline(std::vector<uint32_t> args)
    {
        args.resize(6, 0);
        return text_at(call("pline6", args)[0]);
    }
};

uint32_t low(double d) { return static_cast<uint32_t>(std::bit_cast<uint64_t>(d)); }
uint32_t high(double d) { return static_cast<uint32_t>(std::bit_cast<uint64_t>(d) >> 32); }

TEST_F(PrintBuiltins, FormatsReadIntegersStringsAndDoublesFromCells)
{
    const uint32_t one = put_text("one");
    const uint32_t two = put_text("two");
    struct Case {
        const char* format;
        std::vector<uint32_t> args;
        std::string want;
    };
    const Case cases[] = {
        {"%d|%i|%u", {static_cast<uint32_t>(-5), 7, 0xFFFFFFFF}, "-5|7|4294967295"},
        {"%5d|%-5d|%05d|%+d", {42, 42, 42, 42}, "   42|42   |00042|+42"},
        {"%x %X %o %#x %08x", {255, 255, 8, 255, 0xBEEF}, "ff FF 10 0xff 0000beef"},
        {"%c%c%c", {'o', 'k', 0x121}, "ok!"},
        {"%s and %s", {one, two}, "one and two"},
        {"[%5s][%-5s][%.2s]", {one, two, one}, "[  one][two  ][on]"},
        {"%.2f %f", {low(1.5), high(1.5), low(-0.25), high(-0.25)}, "1.50 -0.250000"},
        {"%g %e", {low(1e20), high(1e20), low(2.0), high(2.0)}, "1e+20 2.000000e+00"},
        {"%*d|%-*d", {4, 7, 3, 7}, "   7|7  "},
        {"%.*f|%-*d", {1, low(2.25), high(2.25), 4, 9}, "2.2|9   "},
        {"%lld %llx", {0, 1, 0xFFFFFFFF, 0x7FFFFFFF}, "4294967296 7fffffffffffffff"},
        {"%ld %hd %zu", {static_cast<uint32_t>(-1), 0x10005, 9}, "-1 5 9"},
        {"%hhu %hx", {0x1FF, 0xABCDEF}, "255 cdef"},
        {"100%%", {}, "100%"},
        {"%s", {0}, "(null)"},
        {"%p %p", {0x1234, 0}, "0x1234 (nil)"},
        {"a%nb%d", {0x10, 3}, "ab3"},
        {"%y|%d", {5}, "%y|5"},
        {"end %", {}, "end %"},
        {"trailing\n\n", {}, "trailing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        std::vector<uint32_t> args = {put_text(c.format)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ASSERT_LE(args.size(), 6u);
        EXPECT_EQ(pline(args), c.want);
    }
}

TEST_F(PrintBuiltins, WidthsAreBoundedAndMissingCellsReadZero)
{
    EXPECT_EQ(pline({put_text("%999999d|"), 1}), std::string(FORMAT_CELLS_FIELD - 1, ' ') + "1|");
    EXPECT_EQ(pline({put_text("%.999999d"), 1}).size(), static_cast<size_t>(FORMAT_CELLS_FIELD));
    EXPECT_EQ(pline({put_text("%*d"), 0x7FFFFFFF, 2}).size(), static_cast<size_t>(FORMAT_CELLS_FIELD));
    // More text than the longest formatted line: cut, never overrun.
    const std::string many = "%200d%200d%200d%200d%200d%200d";
    EXPECT_EQ(pline({put_text(many), 1, 2, 3, 4, 5}).size(), FORMAT_CELLS_TEXT - 1);
    // A one-cell block holds the format alone: the conversions past it read 0.
    EXPECT_EQ(text_at(call("pline1", {put_text("%d %d %s %f")})[0]), "0 0 (null) 0.000000");
}

TEST_F(PrintBuiltins, PfloatAndPvectorTexts)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float x;
        const char* want;
    };
    const Case cases[] = {
        {3.0f, "3"},         {-2.5f, "-2.50"},   {0.0f, "0"},     {-0.0f, "0"},
        {0.125f, "0.12"},    {-7.0f, "-7"},      {1e10f, "10000000000"},
        {inf, "inf"},        {-inf, "-inf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(text_at(call("pfloat", {cell(c.x)})[0]), c.want);
    }
    EXPECT_EQ(text_at(call("pvector", {cell(1.0f), cell(-2.5f), cell(1.0f / 3.0f)})[0]), "1.00,-2.50,0.33");
}

TEST_F(PrintBuiltins, TemporaryTextsLiveInTheScriptArenaAndLastARingLength)
{
    const uint32_t first = call("pfloat", {cell(1.0f)})[0];
    const uint32_t second = call("pfloat", {cell(2.0f)})[0];
    EXPECT_NE(first, second);
    EXPECT_EQ(text_at(first), "1");
    EXPECT_EQ(text_at(second), "2");
    // About a ring's length of further texts and the first place is used again.
    const uint32_t long_text = put_text(std::string(700, 'x'));
    std::vector<uint32_t> places;
    for (int k = 0; k < 3; ++k) {
        places.push_back(call("pline6", {long_text, 0, 0, 0, 0, 0})[0]);
        EXPECT_EQ(text_at(places.back()), std::string(700, 'x'));
    }
    EXPECT_NE(places[0], first);
    EXPECT_NE(places[1], first);
    EXPECT_EQ(places[2], first);
}

TEST_F(PrintBuiltins, PrintGoesToItsStream)
{
    capture.clear();
    call("print6", {P_DEBUG, put_text("x=%d y=%s"), 12, put_text("why"), 0, 0});
    ASSERT_FALSE(capture.lines().empty());
    EXPECT_EQ(capture.lines().back().stream, P_DEBUG);
    EXPECT_NE(capture.lines().back().text.find("x=12 y=why"), std::string::npos) << printed();
}

std::vector<std::pair<uint32_t, std::string>> tagged_lines;

void tagged(uint32_t tag, const char* text, uintptr_t) { tagged_lines.emplace_back(tag, text); }

TEST_F(PrintBuiltins, SprintHandsTheTagAndTextToTheHook)
{
    tagged_lines.clear();
    const TaggedHook saved = set_tagged_hook(nullptr, 0);
    call("sprint6", {make_tag("SCOR"), put_text("%d:%d"), 3, 4, 0, 0});
    EXPECT_TRUE(tagged_lines.empty()) << "no hook, nothing";
    set_tagged_hook(tagged, 0);
    call("sprint6", {make_tag("SCOR"), put_text("%d:%d"), 3, 4, 0, 0});
    set_tagged_hook(saved, 0);
    ASSERT_EQ(tagged_lines.size(), 1u);
    EXPECT_EQ(tagged_lines[0].first, make_tag("SCOR"));
    EXPECT_EQ(tagged_lines[0].second, "3:4");
}

TEST_F(PrintBuiltins, CprintSendsTheTextToTheClientsOnTheStream)
{
    FakeClient player(&hive, "local");
    ASSERT_TRUE(spawn({&player}));
    player.texts.clear();
    call("cprint6", {static_cast<uint32_t>(-2), P_IMPORTANT, put_text("hello %s %d"), put_text("you"), 5, 0});
    // A format over 128 characters sends nothing; a text over the message's limit neither.
    call("cprint6", {static_cast<uint32_t>(-2), P_MESSAGE, put_text(std::string(129, 'f')), 0, 0, 0});
    call("cprint6", {static_cast<uint32_t>(-2), P_MESSAGE, put_text("%200d%200d"), 1, 2, 0});
    call("cprint6", {static_cast<uint32_t>(-2), P_MESSAGE, put_text(std::string(128, 'g')), 0, 0, 0});
    for (int k = 0; k < 3; ++k) {
        frame({&player});
    }
    ASSERT_EQ(player.texts.size(), 2u);
    EXPECT_EQ(player.texts[0], std::make_pair(static_cast<int>(P_IMPORTANT), std::string("hello you 5")));
    EXPECT_EQ(player.texts[1], std::make_pair(static_cast<int>(P_MESSAGE), std::string(128, 'g')));
}

TEST_F(PrintBuiltins, StreamsOutsideTheSixteenEndTheProgram)
{
    const uint32_t format = put_text("x");
    using Case = ScriptEnd;
    const Case cases[] = {
        {"print6", {16, format, 0, 0, 0, 0}, "KRun: @print: stream >= 0 && stream < P_STREAMS failed"},
        {"print6", {static_cast<uint32_t>(-1), format, 0, 0, 0, 0}, "KRun: @print: stream >= 0"},
        {"cprint6", {static_cast<uint32_t>(-2), 99, format, 0, 0, 0}, "KRun: @cprint: stream >= 0"},
        {"pline6", {0x10, 0, 0, 0, 0, 0}, "KRun: bad address 0x00000010"},
    };
    expect_each_ends_the_script(server.k_context, cases);
    EXPECT_EXIT(
        {
            kio_defaults(server.k_context);
            call_address(server.k_context, address("pline6"), std::vector<uint32_t>{put_text("%s"), 0x10, 0, 0, 0, 0});
        },
        ::testing::ExitedWithCode(255), "KRun: bad address 0x00000010");
}

} // namespace
