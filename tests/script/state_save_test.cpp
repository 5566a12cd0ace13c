#include "state_fixture.h"

namespace {

class StateSave : public StateFixture {
protected:
    void SetUp() override { setup_state(); }

    // The lines of the first object block between its head and "}".
    static std::string body(const std::string& text)
    {
        const size_t open = text.find("{\n");
        const size_t close = text.find("}\n");
        return open == std::string::npos || close == std::string::npos ? text : text.substr(open + 2, close - open - 2);
    }
};

TEST_F(StateSave, EmptyContextWritesNothing)
{
    int ok = 0;
    EXPECT_EQ(save(&ok), "");
    EXPECT_EQ(ok, 1);
}

TEST_F(StateSave, FreshObjectIsHeadAndTailOnly)
{
    const uint32_t o = make_thing();
    int ok = 0;
    EXPECT_EQ(save(&ok), object_name(o) + " Thing@vt {\n}\n");
    EXPECT_EQ(object_name(o), "O.0") << "the first cell of a fresh heap";
    EXPECT_EQ(ok, 1);
}

TEST_F(StateSave, ValuesOfEveryType)
{
    struct Case {
        const char* name;
        uint32_t offset;
        std::vector<uint32_t> words;
        const char* line;
    };
    const Case cases[] = {
        {"byte is its low byte", THING_B, {0xC8}, "b 200\n"},
        {"bool is written as 1", THING_FLAG, {7}, "flag 1\n"},
        {"int is signed", THING_N, {static_cast<uint32_t>(-5)}, "n -5\n"},
        {"float 0.1", THING_F, {0x3DCCCCCD}, "f 0.1\n"},
        {"float with 6 digits", THING_F, {0x4996B438}, "f 1.23457e+06\n"},
        {"negative zero is not zero", THING_F, {0x80000000}, "f -0\n"},
        {"float2 in order", THING_F2, {0x3F800000, 0xC0000000}, "f2 1 -2\n"},
        {"vector in order", THING_V, {0x3F000000, 0, 0x40400000}, "v 0.5 0 3\n"},
        {"array element with its index", THING_A + 8, {9}, "a 2 9\n"},
        {"last array element", THING_A + 12, {static_cast<uint32_t>(-1)}, "a 3 -1\n"},
    };
    for (const Case& k : cases) {
        const uint32_t o = make_thing();
        for (size_t i = 0; i < k.words.size(); ++i) {
            set_word(o + k.offset + 4 * static_cast<uint32_t>(i), k.words[i]);
        }
        int ok = 0;
        EXPECT_EQ(body(save(&ok)), k.line) << k.name;
        EXPECT_EQ(ok, 1) << k.name;
        cellheap_free(c->arena, c->objectheap, o - 4);
    }
}

TEST_F(StateSave, StringsAreEscapedToOneToken)
{
    struct Case {
        const char* name;
        std::string text;
        const char* line;
    };
    const Case cases[] = {
        {"space and tilde", "a b~", "s a~`b~>\n"},
        {"empty string", "", "s ~\n"},
        {"line end, tab and high bytes", "x\n\t\xE9", "s x~J~I\xE9\n"},
        {"leading hash, which would read as a comment", "#a#", "s ~ca#\n"},
    };
    for (const Case& k : cases) {
        const uint32_t o = make_thing();
        set_word(o + THING_S, K_KeepString(c, k.text.c_str(), static_cast<uint32_t>(k.text.size() + 1)));
        EXPECT_EQ(body(save()), k.line) << k.name;
        cellheap_free(c->arena, c->objectheap, o - 4);
    }
}

TEST_F(StateSave, PointersAreNamed)
{
    const uint32_t first = make_thing();
    const uint32_t second = make_thing();
    set_word(first + THING_P, second);
    set_word(first + THING_Q, address("gvar"));
    set_word(second + THING_P, first);
    int ok = 0;
    const std::string text = save(&ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(text, object_name(first) + " Thing@vt {\np " + object_name(second) + "\nq gvar\n}\n" +
                        object_name(second) + " Thing@vt {\np " + object_name(first) + "\n}\n");
    EXPECT_NE(object_name(first), object_name(second));
}

TEST_F(StateSave, UnstartedTasksWithDelaysFromNow)
{
    c->tick = 100;
    const uint32_t o = make_thing();
    const uint32_t t1 = start_task(c, address("worker"), 0, 5);
    const uint32_t t2 = start_task(c, address("worker"), o, -2);
    set_word(o + THING_P, t1);
    c->tick = 102;
    int ok = 0;
    const std::string text = save(&ok);
    EXPECT_EQ(ok, 1);
    const uint32_t pool = c->taskpool.address;
    char expected[256];
    std::snprintf(expected, sizeof expected, "%s Thing@vt {\np T.%x\n}\nT.%x worker %s -4\nT.%x worker 0 3\n",
                  object_name(o).c_str(), (t1 - pool) / TASK_BYTES, (t2 - pool) / TASK_BYTES, object_name(o).c_str(),
                  (t1 - pool) / TASK_BYTES);
    EXPECT_EQ(text, expected);
}

TEST_F(StateSave, StartedAndDeadTasksAreLeftOut)
{
    const uint32_t started = start_task(c, address("waiter"), 0, 0);
    run_tick(c);
    ASSERT_TRUE(task_is_waiting(c, started)) << "waits with a stack page";
    const uint32_t dead = start_task(c, address("worker"), 0, 4);
    kill_task(c, dead);
    int ok = 0;
    EXPECT_EQ(save(&ok), "");
    EXPECT_EQ(ok, 1);
}

TEST_F(StateSave, UnnamedAddressesFailTheSave)
{
    struct Case {
        const char* name;
        const char* prefix;
    };
    const uint32_t started = start_task(c, address("waiter"), 0, 0);
    run_tick(c);
    const uint32_t o = make_thing();
    const uint32_t cases_values[] = {started, 0x12345, address("gvar") + 1};
    const Case cases[] = {
        {"pointer at a started task", "p ERR_TASK_"},
        {"pointer to nowhere", "p ERR_UNKNOWN_12345"},
        {"pointer inside a variable", "p ERR_UNKNOWN_"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        set_word(o + THING_P, cases_values[i]);
        errors().clear();
        int ok = 1;
        const std::string text = save(&ok);
        EXPECT_EQ(ok, 0) << cases[i].name;
        EXPECT_NE(text.find(cases[i].prefix), std::string::npos) << cases[i].name << ": " << text;
        EXPECT_NE(errors().find("KSave: "), std::string::npos) << cases[i].name;
        EXPECT_TRUE(c->flags & KFLAG_ERROR);
    }
}

TEST_F(StateSave, TaskWithoutFunctionLabelFails)
{
    start_task(c, address("worker") + 4, 0, 1);
    int ok = 1;
    const std::string text = save(&ok);
    EXPECT_EQ(ok, 0);
    EXPECT_NE(text.find(" ERR_LABEL_"), std::string::npos) << text;
}

TEST_F(StateSave, ObjectWithoutMethodTableFails)
{
    const uint32_t o = make_thing();
    const uint32_t other = make_thing();
    set_word(other + THING_P, o);
    set_word(o - 4, 0);
    int ok = 1;
    const std::string text = save(&ok);
    EXPECT_EQ(ok, 0);
    EXPECT_NE(text.find("p ERR_OBJECT_"), std::string::npos) << text;
}

TEST_F(StateSave, BrokenDataFailsWithoutReadingOutside)
{
    struct Case {
        const char* name;
        bool far;
        uint32_t string_word;
        const char* message;
    };
    const Case cases[] = {
        {"field outside its object", true, 0, "lies outside its object"},
        {"string pointer outside the arena", false, 0xFFFFFF00u, "which is no string"},
    };
    for (const Case& k : cases) {
        uint32_t o = 0;
        if (k.far) {
            ASSERT_TRUE(call_address(c, address("make_far"), {}));
            o = c->result[0];
        } else {
            o = make_thing();
            set_word(o + THING_S, k.string_word);
        }
        errors().clear();
        int ok = 1;
        save(&ok);
        EXPECT_EQ(ok, 0) << k.name;
        EXPECT_NE(errors().find(k.message), std::string::npos) << k.name << ": " << errors();
        cellheap_free(c->arena, c->objectheap, o - 4);
    }
}

TEST_F(StateSave, NamesThatCannotBeReadBackFailTheSave)
{
    // The name of Thing's first field ("b"), as the linked save information holds it.
    const uint32_t info = word(address("Thing@vt") - 4);
    const uint32_t name = word(info + 4);
    ASSERT_EQ(std::string(k_cstr(c, name)), "b");
    struct Case {
        const char* name;
        uint8_t first;
    };
    const Case cases[] = {
        {"begins a comment", '#'},
        {"white space", ' '},
        {"empty", '\0'},
    };
    const uint32_t o = make_thing();
    set_word(o + THING_B, 1);
    for (const Case& k : cases) {
        *c->arena.at(name, 1) = k.first;
        errors().clear();
        int ok = 1;
        save(&ok);
        EXPECT_EQ(ok, 0) << k.name;
        EXPECT_NE(errors().find("cannot be read back"), std::string::npos) << k.name << ": " << errors();
    }
    *c->arena.at(name, 1) = 'b';
    int ok = 0;
    save(&ok);
    EXPECT_EQ(ok, 1) << errors();
}

TEST_F(StateSave, FailedStreamFailsTheSave)
{
    make_thing();
    streams[5] = MemStream{};
    streams[5].failed = true;
    EXPECT_EQ(save_state(c, 5), 0);
}

TEST_F(StateSave, LongStringIsOneLine)
{
    const std::string text(5000, 'x');
    const uint32_t o = make_thing();
    set_word(o + THING_S, K_KeepString(c, text.c_str(), static_cast<uint32_t>(text.size() + 1)));
    EXPECT_EQ(body(save()), "s " + text + "\n");
}

} // namespace
