#include "cons_cmd_fixture.h"

#include <cctype>
#include <cstring>
#include <string>

using Call = std::vector<std::string>;

TEST_F(ConsCmdTest, RunsEveryCommandOfTheBufferInOneCall)
{
    run("Rec a;Rec b\nRec c d");
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "a"}, {"Rec", "b"}, {"Rec", "c", "d"}}));
    EXPECT_EQ(cmd_->buffer_used(), 0u);
}

TEST_F(ConsCmdTest, EmptyBlankAndCommentOnlyBuffersPrintNothing)
{
    for (const char* text : {"", "   \t ", "// one\n// two\n", "/* all\n of it */", "/* never closed"}) {
        run(text);
        EXPECT_TRUE(prints_.lines().empty()) << text;
        EXPECT_EQ(cmd_->buffer_used(), 0u) << text;
    }
    EXPECT_TRUE(calls_.empty());
}

TEST_F(ConsCmdTest, CommentsEndACommandAndAreSkipped)
{
    run("Rec a // Rec b\nRec c /* Rec d\n Rec e */ Rec f");
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "a"}, {"Rec", "c"}, {"Rec", "f"}}));
}

TEST_F(ConsCmdTest, StrayClosingParenthesisIsReportedOnceAndTheRestRuns)
{
    run(")Rec a");
    EXPECT_EQ(prints_.count("Console: Parse error (char ')')!"), 1);
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "a"}}));
}

TEST_F(ConsCmdTest, CommandOfAThousandCharactersIsDroppedAndOneOf999Runs)
{
    // The newline that add_text appends belongs to the command.
    const std::string run999 = "Rec " + std::string(994, 'x');
    run(run999.c_str());
    EXPECT_EQ(calls_.size(), 1u);
    EXPECT_FALSE(prints_.contains("too long"));
    calls_.clear();
    const std::string drop1000 = run999 + "y";
    run((drop1000 + "\nRec after").c_str());
    EXPECT_EQ(messages(), (std::vector<std::string>{"Warning: Console: Command too long (1000 chars)"}));
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "after"}}));
}

TEST_F(ConsCmdTest, HugeLinesAndBuffersCostBoundedWork)
{
    // One unbroken megabyte: dropped as too long, nothing else happens.
    run(std::string(1 << 20, 'x').c_str());
    EXPECT_EQ(prints_.count("Command too long"), 1);
    EXPECT_EQ(cmd_->buffer_used(), 0u);

    // More commands than one call runs: the rest waits for the next call.
    std::string many;
    for (int i = 0; i < CONSCMD_MAX_COMMANDS_PER_CALL + 5; ++i) {
        many += "Rec\n";
    }
    run(many.c_str());
    EXPECT_EQ(calls_.size(), static_cast<size_t>(CONSCMD_MAX_COMMANDS_PER_CALL));
    EXPECT_TRUE(prints_.contains("commands in one frame"));
    cmd_->exec_buffer();
    EXPECT_EQ(calls_.size(), static_cast<size_t>(CONSCMD_MAX_COMMANDS_PER_CALL + 5));
}

TEST_F(ConsCmdTest, FaultyTextCountsTowardsTheWorkOfOneCall)
{
    // Every stray parenthesis is reported; a buffer of them is worked off in
    // bounded steps, not in one call.
    const size_t strays = 3 * CONSCMD_MAX_COMMANDS_PER_CALL;
    run((std::string(strays, ')') + "Rec end").c_str());
    EXPECT_EQ(prints_.count("Console: Parse error (char ')')!"), CONSCMD_MAX_COMMANDS_PER_CALL);
    EXPECT_TRUE(calls_.empty());
    for (int i = 0; i < 3; ++i) {
        cmd_->exec_buffer();
    }
    EXPECT_EQ(prints_.count("Console: Parse error (char ')')!"), static_cast<int>(strays));
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "end"}}));
    EXPECT_EQ(cmd_->buffer_used(), 0u);
}

TEST_F(ConsCmdTest, TextPutInFrontWhileRunningKeepsItsOrder)
{
    // Aliases expand in front of a long pending text, one after another and
    // nested, with and without room left in front of it.
    run("Define two (Rec x; Rec y)");
    run("Define four (two; Rec z; two)");
    std::string text;
    std::vector<Call> expected;
    for (int i = 0; i < 300; ++i) {
        const std::string n = std::to_string(i);
        text += (i % 3 == 0 ? "four\nRec " : "two\nRec ") + n + "\n";
        if (i % 3 == 0) {
            expected.insert(expected.end(), {{"Rec", "x"}, {"Rec", "y"}, {"Rec", "z"}, {"Rec", "x"}, {"Rec", "y"}});
        } else {
            expected.insert(expected.end(), {{"Rec", "x"}, {"Rec", "y"}});
        }
        expected.push_back({"Rec", n});
    }
    run(text.c_str());
    EXPECT_EQ(calls_, expected);
    EXPECT_EQ(cmd_->buffer_used(), 0u);
    EXPECT_TRUE(prints_.lines().empty());
    // Inserting after part of the buffer was taken out reuses the room in front.
    ASSERT_EQ(cmd_->add_text("Rec p;Wait 1;Rec q"), 1);
    cmd_->exec_buffer();
    ASSERT_EQ(cmd_->insert_text("Rec i"), 1);
    EXPECT_STREQ(cmd_->buffer(), "Rec i\nRec q\n");
}

TEST_F(ConsCmdTest, BufferDoublesAndRefusesTextBeyondItsLimit)
{
    EXPECT_EQ(cmd_->buffer_capacity(), CONSCMD_BUFFER_SIZE);
    const std::string big(CONSCMD_BUFFER_SIZE, 'x');
    ASSERT_EQ(cmd_->add_text(big.c_str()), 1);
    EXPECT_EQ(cmd_->buffer_capacity(), 2 * CONSCMD_BUFFER_SIZE);
    EXPECT_EQ(cmd_->buffer_used(), CONSCMD_BUFFER_SIZE + 1);
    const std::string huge(CONSCMD_BUFFER_LIMIT, 'y');
    EXPECT_EQ(cmd_->add_text(huge.c_str()), 0);
    EXPECT_TRUE(prints_.contains("Console: Not enough memory in get_space() !"));
    EXPECT_EQ(cmd_->buffer_used(), CONSCMD_BUFFER_SIZE + 1);
}

TEST_F(ConsCmdTest, InsertedTextRunsBeforePendingText)
{
    ASSERT_EQ(cmd_->add_text("Rec b"), 1);
    ASSERT_EQ(cmd_->insert_text("Rec a"), 1);
    EXPECT_STREQ(cmd_->buffer(), "Rec a\nRec b\n");
    cmd_->exec_buffer();
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "a"}, {"Rec", "b"}}));
}

TEST_F(ConsCmdTest, WaitDelaysTheRestOfTheBuffer)
{
    run("Rec a\nWait 2\nRec b");
    EXPECT_EQ(calls_.size(), 1u);
    cmd_->exec_buffer();
    EXPECT_EQ(calls_.size(), 1u);
    cmd_->exec_buffer();
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "a"}, {"Rec", "b"}}));

    calls_.clear();
    run("Wait 0;Rec c;Wait -3;Rec d");
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "c"}, {"Rec", "d"}}));

    calls_.clear();
    run("Wait soon;Rec e");
    EXPECT_TRUE(prints_.contains("Wait <frames>"));
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "e"}}));
}

TEST_F(ConsCmdTest, UnknownCommandIsReported)
{
    run("Nothing here");
    EXPECT_EQ(messages(), (std::vector<std::string>{"Warning: Console: Unknown command 'Nothing' !"}));
}

TEST_F(ConsCmdTest, HelpTextInsteadOfRunning)
{
    ASSERT_EQ(cmd_->add_command("Bare", 1, &ConsCmdTest::record, this, nullptr, 1), 1);
    run("Set");
    run("Set -h");
    run("Rec -help");
    run("Bare");
    EXPECT_EQ(prints_.count("Set <variable> [<value>]"), 2);
    EXPECT_TRUE(prints_.contains("Rec <anything>"));
    EXPECT_TRUE(prints_.contains("Bare: No help available"));
    EXPECT_TRUE(calls_.empty());
}

TEST_F(ConsCmdTest, CommandsAreKeptSortedAndUniqueWithoutRegardToCase)
{
    EXPECT_EQ(cmd_->add_command("rec", 1, &ConsCmdTest::record, this, nullptr, 0), 0);
    EXPECT_TRUE(prints_.contains("Console: Duplicate command 'rec' !"));
    ASSERT_EQ(cmd_->add_command("aaa", 1, &ConsCmdTest::record, this, nullptr, 0), 1);
    ASSERT_EQ(cmd_->add_command("Zzz", 1, &ConsCmdTest::record, this, nullptr, 0), 1);
    std::string previous;
    for (const ConsoleCommand* c = cmd_->first_command(); c != nullptr; c = c->next) {
        std::string folded = c->name;
        for (char& ch : folded) {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        EXPECT_LT(previous, folded);
        previous = folded;
    }
    run("REC x");
    EXPECT_EQ(calls_.size(), 1u);
}

TEST_F(ConsCmdTest, RemovingCommands)
{
    ASSERT_EQ(cmd_->add_command("Rec2", 7, &ConsCmdTest::record, this, nullptr, 0), 1);
    EXPECT_EQ(cmd_->remove_command("nope"), 0);
    EXPECT_TRUE(prints_.contains("Console: Can't remove command 'nope' - not found !"));
    EXPECT_EQ(cmd_->remove_handler_commands(&ConsCmdTest::record), 2);
    EXPECT_EQ(cmd_->find_command("Rec"), nullptr);
    EXPECT_NE(cmd_->find_command("Echo"), nullptr);
}

TEST_F(ConsCmdTest, HandlerThatRemovesItsOwnCommandMayStillAskForHelp)
{
    const ConsoleHandler quit = [](int, int, const char* const*, void* context) {
        auto* const set = static_cast<ConsCmd*>(context);
        EXPECT_EQ(set->remove_command("Once"), 1);
        set->print_command_help();
    };
    ASSERT_EQ(cmd_->add_command("Once", 1, quit, cmd_, "Once\n     Runs once", 0), 1);
    run("Once;Once");
    EXPECT_EQ(messages(), std::vector<std::string>{"Warning: Console: Unknown command 'Once' !"});
}

TEST_F(ConsCmdTest, RegisteringTwiceFails)
{
    EXPECT_EQ(cmd_->register_builtins(), 0);
}

TEST_F(ConsCmdTest, AliasesRunTheirTextAndPrintItWithDashH)
{
    run("Define greet (Rec hello; Rec world)");
    run("greet ignored arguments");
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "hello"}, {"Rec", "world"}}));
    run("GREET -h");
    EXPECT_TRUE(prints_.contains("Rec hello; Rec world"));
    run("Define greet \"Rec again\"");
    calls_.clear();
    run("greet");
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "again"}}));
    run("Undefine greet");
    run("Undefine greet");
    EXPECT_TRUE(prints_.contains("Console: Can't remove alias 'greet' - not found !"));
    // A command of the same name wins over an alias.
    run("Define Rec (Echo shadowed)");
    calls_.clear();
    run("Rec x");
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "x"}}));
}

TEST_F(ConsCmdTest, AliasThatCallsItselfIsStoppedAndTheBufferCleared)
{
    run("Define loop (Rec; loop)");
    run("Define grow (grow; grow)");
    run("loop");
    EXPECT_EQ(calls_.size(), static_cast<size_t>(CONSCMD_MAX_EXPANSIONS_PER_CALL));
    EXPECT_TRUE(prints_.contains("command buffer cleared"));
    EXPECT_EQ(cmd_->buffer_used(), 0u);
    run("grow");
    EXPECT_EQ(cmd_->buffer_used(), 0u);
    // A loop with a Wait in it runs one round per call, as intended.
    calls_.clear();
    run("Define tick (Rec; Wait 1; tick)");
    run("tick");
    cmd_->exec_buffer();
    cmd_->exec_buffer();
    EXPECT_EQ(calls_.size(), 3u);
}

TEST_F(ConsCmdTest, CompletionCyclesThroughCommandsThenAliases)
{
    ASSERT_EQ(cmd_->add_command("Sng_Play", 1, &ConsCmdTest::record, this, nullptr, 0), 1);
    run("Define sx (Rec)");
    const char* first = cmd_->complete_command("s", nullptr, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "Set");
    const char* second = cmd_->complete_command("s", first, std::strlen(first));
    EXPECT_STREQ(second, "Sng_Play");
    const char* third = cmd_->complete_command("s", second, std::strlen(second));
    EXPECT_STREQ(third, "sx");
    EXPECT_STREQ(cmd_->complete_command("s", third, std::strlen(third)), "Set");
    EXPECT_EQ(cmd_->complete_command("q", nullptr, 0), nullptr);
    // The only match completes to itself.
    EXPECT_STREQ(cmd_->complete_command("Rec", "Rec", 3), "Rec");
}

TEST_F(ConsCmdTest, IsolatedTextRunsAloneAndLeavesThePendingTextAndWaitAsTheyWere)
{
    // Pending text held back by a Wait of two frames.
    run("Wait 2; Rec pending");
    ASSERT_EQ(cmd_->wait_counter(), 1);
    const std::string pending = cmd_->buffer();
    cmd_->exec_isolated("Rec mine; Wait 5; Rec dropped");
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "mine"}}));
    EXPECT_EQ(cmd_->buffer(), pending);
    EXPECT_EQ(cmd_->wait_counter(), 1);
    cmd_->exec_buffer();
    cmd_->exec_buffer();
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "mine"}, {"Rec", "pending"}}));
    EXPECT_EQ(cmd_->buffer_used(), 0u);
}
