#include "state_fixture.h"

#include <algorithm>

namespace {

class StateLoad : public StateFixture {
protected:
    void SetUp() override { setup_state(); }

    uint32_t only_object()
    {
        const std::vector<uint32_t> all = objects();
        EXPECT_EQ(all.size(), 1u);
        return all.empty() ? 0 : all[0];
    }
    std::string string_at(uint32_t addr) const { return k_cstr(c, word(addr)); }
};

TEST_F(StateLoad, EmptyAndCommentOnlyStreamsCreateNothing)
{
    for (const char* text : {"", "   \n\t\n", "# a comment\n#another O.0 Thing@vt {\n  # T.1 worker 0 1\n"}) {
        const Image before = image();
        EXPECT_EQ(load_text(text), 1) << text;
        EXPECT_TRUE(image() == before) << text;
    }
}

TEST_F(StateLoad, ValuesOfEveryType)
{
    ASSERT_EQ(load_text("O.0 Thing@vt {\n b 200\n flag 1\n n -5\n f 0.1\n f2 1 -2e3\n v 0.5 0 -0\n"
                        " a 3 0x10\n a 0 -010\n s a~`b~>\n q gvar\n}\n"),
              1)
        << load_state_failure();
    const uint32_t o = only_object();
    EXPECT_EQ(word(o - 4), address("Thing@vt"));
    EXPECT_EQ(word(o + THING_B), 200u) << "only the low byte";
    EXPECT_EQ(word(o + THING_FLAG), 1u);
    EXPECT_EQ(word(o + THING_N), static_cast<uint32_t>(-5));
    EXPECT_EQ(word(o + THING_F), 0x3DCCCCCDu);
    EXPECT_EQ(get_float(o + THING_F2), 1.0f);
    EXPECT_EQ(get_float(o + THING_F2 + 4), -2000.0f);
    EXPECT_EQ(get_float(o + THING_V), 0.5f);
    EXPECT_EQ(word(o + THING_V + 8), 0x80000000u) << "negative zero";
    EXPECT_EQ(word(o + THING_A + 12), 16u) << "hexadecimal";
    EXPECT_EQ(word(o + THING_A), static_cast<uint32_t>(-8)) << "octal with a sign";
    EXPECT_EQ(string_at(o + THING_S), "a b~");
    EXPECT_EQ(word(o + THING_Q), address("gvar"));
    EXPECT_EQ(word(o + THING_P), 0u) << "fields not in the text stay 0";
}

TEST_F(StateLoad, StringEscapes)
{
    struct Case {
        const char* token;
        std::string text;
    };
    const Case cases[] = {
        {"~", ""},
        {"a~`b~>", "a b~"},
        {"x~J~I", "x\n\t"},
        {"ab~", "ab"},
    };
    for (const Case& k : cases) {
        ASSERT_EQ(load_text(std::string("O.0 Thing@vt { s ") + k.token + " }"), 1) << k.token << load_state_failure();
        const uint32_t o = objects().back();
        EXPECT_EQ(string_at(o + THING_S), k.text) << k.token;
        cellheap_free(c->arena, c->objectheap, o - 4);
    }
}

TEST_F(StateLoad, ReferencesResolveForwardAndBackward)
{
    ASSERT_EQ(load_text("T.7 worker O.2 3\n"
                        "O.1 Thing@vt {\n p O.2\n q T.7\n}\n"
                        "O.2 Thing@vt {\n p O.1\n a 1 5\n}\n"
                        "T.8 worker gvar -1\n"),
              1)
        << load_state_failure();
    const std::vector<uint32_t> all = objects();
    ASSERT_EQ(all.size(), 2u);
    const uint32_t first = all[0];
    const uint32_t second = all[1];
    EXPECT_EQ(word(first + THING_P), second);
    EXPECT_EQ(word(second + THING_P), first);
    EXPECT_EQ(word(second + THING_A + 4), 5u);

    // The wait list: T.8 (delay -1) first, then T.7 (delay 3) with the object as its argument.
    const uint32_t level = c->waitlist;
    ASSERT_NE(level, 0u);
    const uint32_t t8 = word(level + LEVEL_FIRST);
    EXPECT_EQ(static_cast<int32_t>(word(level + LEVEL_TICK)), c->tick - 1);
    EXPECT_EQ(word(t8 + TASK_ARG), address("gvar"));
    const uint32_t next = word(level + LEVEL_NEXT);
    ASSERT_NE(next, 0u);
    const uint32_t t7 = word(next + LEVEL_FIRST);
    EXPECT_EQ(static_cast<int32_t>(word(next + LEVEL_TICK)), c->tick + 3);
    EXPECT_EQ(word(t7 + TASK_IP), address("worker"));
    EXPECT_EQ(word(t7 + TASK_ARG), second);
    EXPECT_EQ(word(first + THING_Q), t7);

    for (int i = 0; i < 4; ++i) {
        run_tick(c);
    }
    EXPECT_EQ(values(), (std::vector<uint32_t>{address("gvar"), second}));
}

TEST_F(StateLoad, LongTokensLoadWhole)
{
    struct Case {
        const char* name;
        size_t length;  // the escaped token is 2 bytes longer
        size_t token_cap;
    };
    const Case cases[] = {
        {"just below the reader's buffer", 1020, 1023},
        {"exactly the file reader's buffer", 1021, 1023},
        {"exactly the stdio reader's buffer", 1022, 1024},
        {"far beyond the buffer", 20000, 1023},
        {"far beyond the stdio buffer", 5000, 1024},
    };
    for (const Case& k : cases) {
        std::string text(k.length, 'y');
        text[0] = 'a';
        text[k.length - 1] = 'z';
        const std::string escaped = text.substr(0, 10) + "~`" + text.substr(10);
        const std::string unescaped = text.substr(0, 10) + " " + text.substr(10);
        ASSERT_EQ(load_text("O.0 Thing@vt {\ns " + escaped + "\nn 3 }\n#" + escaped + " comment\nT.1 worker 0 1",
                            k.token_cap),
                  1)
            << k.name << load_state_failure();
        const uint32_t o = objects().back();
        EXPECT_EQ(string_at(o + THING_S), unescaped) << k.name;
        EXPECT_EQ(word(o + THING_N), 3u) << k.name;
        cellheap_free(c->arena, c->objectheap, o - 4);
        EXPECT_NE(c->waitlist, 0u) << k.name << ": the task after the long comment";
        K_ResetResources(c);
    }
}

TEST_F(StateLoad, LongTokenThroughTheDefaultStreams)
{
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    const std::string text(3000, 'q');
    std::fputs(("O.0 Thing@vt { s " + text + " n 9 }\n").c_str(), f);
    std::rewind(f);
    kio_defaults(c);
    c->io.fd[3] = f;
    c->io.fd[2] = std::tmpfile();
    EXPECT_EQ(load_state(c, 3), 1);
    std::fclose(f);
    std::fclose(static_cast<FILE*>(c->io.fd[2]));
    use_streams(c);
    const uint32_t o = only_object();
    EXPECT_EQ(string_at(o + THING_S), text);
    EXPECT_EQ(word(o + THING_N), 9u);
}

TEST_F(StateLoad, BadInputFailsAndChangesNothing)
{
    struct Case {
        const char* name;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"letters after a number", "O.0 Thing@vt { n 12abc }", "\"12abc\" in O.0 is no 32-bit integer"},
        {"int above 32 bits", "O.0 Thing@vt { n 2147483648 }", "no 32-bit integer"},
        {"int below 32 bits", "O.0 Thing@vt { n -2147483649 }", "no 32-bit integer"},
        {"hexadecimal above 32 bits", "O.0 Thing@vt { n 0x100000000 }", "no 32-bit integer"},
        {"byte is range-checked as an int", "O.0 Thing@vt { b 99999999999 }", "no 32-bit integer"},
        {"bad delay", "T.0 worker 0 soon", "no 32-bit integer"},
        {"float with letters", "O.0 Thing@vt { f 1.5x }", "is no float"},
        {"float beyond range", "O.0 Thing@vt { f 1e50 }", "is no float"},
        {"negative index", "O.0 Thing@vt { a -1 5 }", "index -1 of \"a\" is outside its 4 elements"},
        {"index past the end", "O.0 Thing@vt { a 4 5 }", "index 4"},
        {"huge index", "O.0 Thing@vt { a 1073741824 5 }", "is outside"},
        {"unknown pointer name", "O.0 Thing@vt { p nowhere }", "undefined name \"nowhere\""},
        {"name the saver could not resolve", "O.0 Thing@vt { p ERR_TASK_12345 }", "undefined name"},
        {"task argument never defined", "T.0 worker O.9 1", "undefined name \"O.9\""},
        {"unknown class", "O.0 Nothing@vt { }", "unknown class"},
        {"class without @", "O.0 worker { }", "is no class"},
        {"class with only a leading @", "O.0 @vt { }", "is no class"},
        {"function with @", "T.0 Thing@vt 0 1", "is no function"},
        {"unknown function", "T.0 nothing 0 1", "unknown function"},
        {"unknown field", "O.0 Thing@vt { weight 3 }", "unknown field \"weight\""},
        {"field names are exact", "O.0 Thing@vt { N 3 }", "unknown field"},
        {"missing brace", "O.0 Thing@vt n 3 }", "\"{\" expected"},
        {"end inside an object", "O.0 Thing@vt {\n n 5\n", "end of the stream in O.0"},
        {"end inside a value", "O.0 Thing@vt { v 1 2", "end of the stream"},
        {"end inside a task", "T.0 worker", "end of the stream in T.0"},
        {"neither task nor object", "X.0 worker 0 1", "neither a task nor an object"},
        {"object defined twice", "O.0 Thing@vt { }\nO.0 Thing@vt { }", "O.0 is defined twice"},
        {"task defined twice", "T.0 worker 0 1\nT.0 worker 0 2", "T.0 is defined twice"},
        {"field outside its object", "O.0 Far@vt { }", "lies outside its object"},
        {"reference overwritten", "O.0 Thing@vt { p O.1 p gvar }\nO.1 Thing@vt { }", "overwrites a reference"},
    };
    // What is already there must survive a failed load untouched.
    const uint32_t kept = make_thing();
    set_word(kept + THING_N, 41);
    start_task(c, address("worker"), kept, 2);
    for (const Case& k : cases) {
        for (const char* prefix : {"", "O.5 Thing@vt { n 1 s made~`first }\nT.3 worker O.5 1\n"}) {
            const Image before = image();
            errors().clear();
            EXPECT_EQ(load_text(prefix + k.text), 0) << k.name;
            EXPECT_TRUE(image() == before) << k.name << " changed the context";
            EXPECT_EQ(errors(), "") << k.name << ": the loader prints nothing itself";
            EXPECT_NE(std::string(load_state_failure()).find(k.message), std::string::npos)
                << k.name << ": " << load_state_failure();
        }
    }
    EXPECT_EQ(word(kept + THING_N), 41u);
}

TEST_F(StateLoad, RecordsHeldByDeadTasksServeTheLoad)
{
    // Dead tasks that had started (with stack pages) and that had not, on levels of their own.
    const uint32_t pages = free_pages();
    std::vector<uint32_t> dead;
    for (int i = 0; i < 10; ++i) {
        dead.push_back(start_task(c, address("waiter"), 0, 0));
    }
    run_tick(c);
    for (int i = 0; i < 20; ++i) {
        dead.push_back(start_task(c, address("worker"), 0, 10 + i));
    }
    for (const uint32_t t : dead) {
        kill_task(c, t);
    }
    ASSERT_LT(free_records(), 20u) << "too few free records for the load without the dead ones";
    std::string text;
    for (int i = 0; i < 10; ++i) {
        text += "T." + std::to_string(i) + " worker gvar " + std::to_string(i + 1) + "\n";
    }
    ASSERT_EQ(load_text(text), 1) << load_state_failure();
    for (int i = 0; i < 40 && c->waitlist != 0; ++i) {
        run_tick(c);
    }
    EXPECT_EQ(notes.size(), 10u) << "the loaded tasks ran, the dead ones did not";
    EXPECT_EQ(free_pages(), pages);
    EXPECT_EQ(free_records(), 64u);
}

TEST_F(StateLoad, DamagedHeapOrWaitListFailsTheSaveAndTheLoad)
{
    // Words scripts can write: the heap's record, the link of a free cell of
    // Thing's class, a level's link.
    const uint32_t thing = make_thing();
    const uint32_t freed = make_thing();
    cellheap_free(c->arena, c->objectheap, freed - 4);
    start_task(c, address("waiter"), 0, 5);
    start_task(c, address("waiter"), 0, 9);
    struct Case {
        const char* name;
        uint32_t address;
        const char* message;
    };
    const Case cases[] = {
        {"heap record", c->objectheap + CELLHEAP_BASE, "broken object heap"},
        {"free cell", freed - 4 + 8, "broken object heap"},
        {"level link", c->waitlist + LEVEL_NEXT, "broken wait list"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const uint32_t kept = word(k.address);
        set_word(k.address, 0x12345);
        errors().clear();
        int ok = 1;
        save(&ok);
        EXPECT_EQ(ok, 0);
        EXPECT_NE(errors().find(std::string("KSave: ") + k.message + "!"), std::string::npos) << errors();
        EXPECT_EQ(load_text("O.1 Thing@vt {\n}\nT.1 worker 0 3\n"), 0);
        EXPECT_NE(std::string(load_state_failure()).find(k.message), std::string::npos) << load_state_failure();
        set_word(k.address, kept);
    }
    int ok = 0;
    save(&ok);
    EXPECT_EQ(ok, 1) << errors();
    EXPECT_EQ(objects(), std::vector<uint32_t>{thing});
}

// 64 task records: a task takes one and its queueing one more for a level,
// returned when the level exists, so 62 tasks of one tick fit and 32 of
// separate ticks. Things take cells of the least power of two that holds them
// and their header word, out of a data area of 64 largest cells rounded up to
// two of the top class.
TEST_F(StateLoad, FullTablesFailAtTheFirstItemPastThem)
{
    const auto class_of = [](uint32_t bytes) {
        uint32_t size = 1;
        while (size < bytes) {
            size <<= 1;
        }
        return size;
    };
    const uint32_t smallest = class_of(std::max(c->minobjsize + 4, 16u));
    const uint32_t top = std::max(class_of(c->maxobjsize + 4), smallest);
    const uint32_t area = (64 * (c->maxobjsize + 4) + 2 * top - 1) / (2 * top) * (2 * top);
    const int things = static_cast<int>(area / std::max(class_of(THING_SIZE + 4), smallest));
    struct Case {
        const char* name;
        std::string (*item)(int);
        int fit;
        const char* message;
    };
    const Case cases[] = {
        {"tasks of one tick", [](int i) { return "T." + std::to_string(i) + " worker 0 1\n"; }, 62, "full task table"},
        {"tasks of separate ticks", [](int i) { return "T." + std::to_string(i) + " worker 0 " + std::to_string(i + 1) + "\n"; },
         32, "full task table"},
        {"objects", [](int i) { return "O." + std::to_string(i) + " Thing@vt { n " + std::to_string(i) + " }\n"; }, things,
         "full object table"},
    };
    ASSERT_GT(things, 1);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        K_FreeContext(c);
        ASSERT_NO_FATAL_FAILURE(setup_state());
        std::string text;
        for (int i = 0; i < k.fit; ++i) {
            text += k.item(i);
        }
        const Image before = image();
        EXPECT_EQ(load_text(text + k.item(k.fit)), 0);
        EXPECT_TRUE(image() == before);
        const std::string past = k.item(k.fit);
        EXPECT_NE(std::string(load_state_failure()).find(past.substr(0, past.find(' ')) + ": " + k.message), std::string::npos)
            << load_state_failure();
        EXPECT_EQ(load_text(text), 1) << load_state_failure();
    }
}

TEST_F(StateLoad, FailedStreamFailsTheLoad)
{
    streams[6] = MemStream{};
    streams[6].text = "O.0 Thing@vt { }";
    streams[6].failed = true;
    const Image before = image();
    EXPECT_EQ(load_state(c, 6), 0);
    EXPECT_TRUE(image() == before);
}

TEST_F(StateLoad, LoadAddsToWhatIsThere)
{
    const uint32_t existing = make_thing();
    ASSERT_EQ(object_name(existing), "O.0");
    ASSERT_EQ(load_text("O.1 Thing@vt { p O.0 }"), 0)
        << "names of the text only, not of the heap";
    ASSERT_EQ(load_text("O.0 Thing@vt { n 1 }"), 1);
    EXPECT_EQ(objects().size(), 2u);
}

} // namespace
