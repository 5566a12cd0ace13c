#include "state_fixture.h"

#include <cctype>

namespace {

class StateRoundTrip : public StateFixture {
protected:
    // Task names renumbered in order of appearance: a load takes task records
    // in wake order, so the record numbers of a later save may differ.
    static std::string numbered_tasks(const std::string& text)
    {
        std::vector<std::string> seen;
        std::string out;
        for (size_t i = 0; i < text.size();) {
            const bool at_name = text.compare(i, 2, "T.") == 0 && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\n');
            if (!at_name) {
                out += text[i++];
                continue;
            }
            size_t end = i + 2;
            while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) {
                ++end;
            }
            const std::string name = text.substr(i, end - i);
            size_t k = 0;
            while (k < seen.size() && seen[k] != name) {
                ++k;
            }
            if (k == seen.size()) {
                seen.push_back(name);
            }
            out += "T#" + std::to_string(k);
            i = end;
        }
        return out;
    }

    // A new context with the same program in place of the current one.
    void fresh(const char* program = state_program)
    {
        K_FreeContext(c);
        c = nullptr;
        load(program, {64, 32, 64});
        use_streams(c);
    }
};

TEST_F(StateRoundTrip, EveryFieldTypeSurvivesAFreshContext)
{
    setup_state();
    const uint32_t first = make_thing();
    const uint32_t second = make_thing();
    const std::string text = std::string("tilde~ space \x01\x7F\xFF") + std::string(3000, 'w');
    const uint32_t task = start_task(c, address("worker"), second, 7);
    start_task(c, address("worker"), 0, -3);
    start_task(c, address("worker"), address("gvar"), 7);

    set_word(first + THING_B, 0xFF);
    set_word(first + THING_FLAG, 1);
    set_word(first + THING_N, 0x80000000u);
    set_float(first + THING_F, 3.25e-12f);
    set_float(first + THING_F2, -1.5f);
    set_float(first + THING_F2 + 4, 1e30f);
    set_float(first + THING_V, 0.125f);
    set_float(first + THING_V + 4, -0.0f);
    set_float(first + THING_V + 8, 65536.0f);
    set_word(first + THING_S, K_KeepString(c, text.c_str(), static_cast<uint32_t>(text.size() + 1)));
    set_word(first + THING_P, second);
    set_word(first + THING_A, 1);
    set_word(first + THING_A + 12, 0x7FFFFFFF);
    set_word(first + THING_Q, task);
    set_word(second + THING_P, second);
    set_word(second + THING_Q, address("gvar"));
    set_word(second + THING_S, K_KeepString(c, "", 1));

    int ok = 0;
    const std::string saved = save(&ok);
    ASSERT_EQ(ok, 1) << errors();
    std::vector<uint8_t> bytes[2];
    for (int i = 0; i < 2; ++i) {
        const uint32_t o = i == 0 ? first : second;
        bytes[i].assign(c->arena.at(o, THING_SIZE), c->arena.at(o, THING_SIZE) + THING_SIZE);
    }

    fresh();
    ASSERT_EQ(load_text(saved), 1) << load_state_failure() << saved;
    EXPECT_EQ(numbered_tasks(save()), numbered_tasks(saved)) << "same names, values and task order";
    const std::vector<uint32_t> all = objects();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], first) << "a fresh heap gives the same cells in the same order";
    EXPECT_EQ(all[1], second);
    EXPECT_EQ(k_cstr(c, word(first + THING_S)), text);
    EXPECT_EQ(k_cstr(c, word(second + THING_S)), std::string());
    const uint32_t new_task = word(first + THING_Q);
    EXPECT_EQ(word(new_task + TASK_ARG), second);
    EXPECT_EQ(word(new_task + TASK_IP), address("worker"));
    // Equal apart from the string words, which point at the new kept copies,
    // and the task pointer: records are taken in the order of the text.
    for (int i = 0; i < 2; ++i) {
        const uint32_t o = all[static_cast<size_t>(i)];
        for (uint32_t at = 0; at < THING_SIZE; at += 4) {
            if (at != THING_S && at != THING_Q) {
                EXPECT_EQ(word(o + at), read_le32(bytes[i].data() + at)) << "object " << i << " offset " << at;
            }
        }
    }
}

TEST_F(StateRoundTrip, EveryByteStringSurvives)
{
    std::string every_byte;
    for (int b = 1; b < 256; ++b) {
        every_byte += static_cast<char>(b);
    }
    const std::string cases[] = {
        "",
        "#",
        "#comment-looking",
        "##",
        "# spaced",
        "a#b",
        "~",
        "~#",
        "\"quoted\"",
        "back\\slash\\",
        "line\nbreak\r\n",
        "\ttab\x0b\x0c",
        "{",
        "}",
        "O.0",
        "0",
        every_byte,
        "#" + every_byte,
        std::string(5000, '#'),
        std::string(3000, '~') + "#",
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(testing::PrintToString(text.substr(0, 40)));
        fresh();
        const uint32_t thing = make_thing();
        set_word(thing + THING_S, K_KeepString(c, text.c_str(), static_cast<uint32_t>(text.size() + 1)));
        int ok = 0;
        const std::string saved = save(&ok);
        ASSERT_EQ(ok, 1) << errors();
        fresh();
        ASSERT_EQ(load_text(saved), 1) << load_state_failure() << "\n" << saved;
        const std::vector<uint32_t> all = objects();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(k_cstr(c, word(all[0] + THING_S)), text);
        EXPECT_EQ(save(), saved) << "a second save writes the same text";
    }
}

// Two counters that point at each other; each step adds its increment, notes
// the new count, the other counter's count, a float sum and its name's length,
// and starts the next step after `inc` ticks. Between steps the whole state is
// in the objects and in tasks that have not started.
const char* const counter_program = R"(
.global init, step, Counter@vt
.macro field slot, offset
    push \slot
    load1
    push \offset
    add
.endm
.macro self offset
    pushargs
    load1
    push \offset
    add
.endm
.code
.func init, 16
    new 24, Counter@vt
    push slot_a
    store1
    new 24, Counter@vt
    push slot_b
    store1
    push 2
    field slot_a, 4
    store1
    push 3
    field slot_b, 4
    store1
    push slot_b
    load1
    field slot_a, 8
    store1
    push slot_a
    load1
    field slot_b, 8
    store1
    push 0x3F000000
    field slot_a, 12
    store1
    push "first counter"
    field slot_a, 16
    store1
    push "b"
    field slot_b, 16
    store1
    push 0
    push slot_a
    load1
    push step
    start
    push 1
    push slot_b
    load1
    push step
    start
    ret

.func step, 16
    self 4
    load1
    self 0
    load1
    add
    dup1
    self 0
    store1
    callnative @note, 4
    self 8
    load1
    load1
    callnative @note, 4
    self 12
    load1
    push 0x3F000000
    fadd
    dup1
    self 12
    store1
    callnative @note, 4
    self 16
    load1
    strlen
    callnative @note, 4
    self 4
    load1
    pushargs
    load1
    push step
    start
    ret

.data
slot_a: .word 0
slot_b: .word 0
.class Counter@vt, 20
    .field n, int, 0
    .field inc, int, 4
    .field other, pointer, 8
    .field sum, float, 12
    .field name, string, 16
.endclass
)";

TEST_F(StateRoundTrip, SavedProgramContinuesToTheSameResult)
{
    constexpr int TOTAL = 40;
    for (const int cut : {1, 2, 17, 39}) {
        // The uninterrupted run.
        notes.clear();
        fresh(counter_program);
        ASSERT_TRUE(call_address(c, address("init"), {}));
        for (int i = 0; i < TOTAL; ++i) {
            run_tick(c);
        }
        const std::vector<Note> whole = notes;
        ASSERT_GT(whole.size(), 40u);

        // The same run saved after `cut` ticks and continued in a fresh context.
        notes.clear();
        fresh(counter_program);
        ASSERT_TRUE(call_address(c, address("init"), {}));
        for (int i = 0; i < cut; ++i) {
            run_tick(c);
        }
        int ok = 0;
        const std::string saved = save(&ok);
        ASSERT_EQ(ok, 1) << errors();
        std::vector<Note> continued = notes;
        fresh(counter_program);
        c->tick = cut;
        ASSERT_EQ(load_text(saved), 1) << load_state_failure() << saved;
        notes = continued;
        for (int i = cut; i < TOTAL; ++i) {
            run_tick(c);
        }
        ASSERT_EQ(notes.size(), whole.size()) << "cut at " << cut << "\n" << saved;
        for (size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(notes[i].value, whole[i].value) << "cut at " << cut << ", note " << i;
            EXPECT_EQ(notes[i].tick, whole[i].tick) << "cut at " << cut << ", note " << i;
        }
    }
}

} // namespace
