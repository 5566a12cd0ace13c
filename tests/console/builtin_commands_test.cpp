#include "cons_cmd_fixture.h"

#include <cstdint>
#include <string>

namespace {

struct ArithmeticCase {
    const char* name;
    int dest_type;
    const char* dest;
    int src_type;
    const char* src;
    const char* command;
    const char* result;
    const char* message; // expected among the prints, or null
};

} // namespace

TEST_F(ConsCmdTest, ArithmeticAndCopyConvertByTheDestinationType)
{
    const ArithmeticCase cases[] = {
        {"int division truncates", CVTYPE_INT, "7", CVTYPE_INT, "2", "Cv_Div", "3", nullptr},
        {"negative int division truncates toward zero", CVTYPE_INT, "-7", CVTYPE_INT, "2", "Cv_Div", "-3", nullptr},
        {"int division by zero gives 0", CVTYPE_INT, "7", CVTYPE_INT, "0", "Cv_Div", "0", "Cv_Div: divide by zero !"},
        {"smallest int by -1 stays the smallest", CVTYPE_INT, "-2147483648", CVTYPE_INT, "-1", "Cv_Div",
         "-2147483648", nullptr},
        {"smallest int by 0 gives 0", CVTYPE_INT, "-2147483648", CVTYPE_INT, "0", "Cv_Div", "0",
         "Cv_Div: divide by zero !"},
        {"smallest int times -1 wraps", CVTYPE_INT, "-2147483648", CVTYPE_INT, "-1", "Cv_Mul", "-2147483648",
         nullptr},
        {"int product wraps", CVTYPE_INT, "65536", CVTYPE_INT, "65536", "Cv_Mul", "0", nullptr},
        {"int sum wraps", CVTYPE_INT, "2147483647", CVTYPE_INT, "1", "Cv_Add", "-2147483648", nullptr},
        {"float quotient", CVTYPE_FLOAT, "1.0", CVTYPE_FLOAT, "4.0", "Cv_Div", "0.25", nullptr},
        {"float by negative zero gives 0", CVTYPE_FLOAT, "1.0", CVTYPE_FLOAT, "-0.0", "Cv_Div", "0",
         "Cv_Div: divide by zero !"},
        {"int plus float truncates the float", CVTYPE_INT, "1", CVTYPE_FLOAT, "2.9", "Cv_Add", "3", nullptr},
        {"float times string length", CVTYPE_FLOAT, "1.5", CVTYPE_STRING, "abcd", "Cv_Mul", "6", nullptr},
        {"int plus bool", CVTYPE_INT, "1", CVTYPE_BOOL, "true", "Cv_Add", "2", nullptr},
        {"int from string length", CVTYPE_INT, "0", CVTYPE_STRING, "abc", "Cv_Copy", "3", nullptr},
        {"int from float truncates", CVTYPE_INT, "0", CVTYPE_FLOAT, "-2.7", "Cv_Copy", "-2", nullptr},
        {"float from bool", CVTYPE_FLOAT, "0", CVTYPE_BOOL, "1", "Cv_Copy", "1", nullptr},
        {"bool from empty string", CVTYPE_BOOL, "true", CVTYPE_STRING, "", "Cv_Copy", "False", nullptr},
        {"bool from float", CVTYPE_BOOL, "false", CVTYPE_FLOAT, "0.5", "Cv_Copy", "True", nullptr},
        {"string from bool", CVTYPE_STRING, "", CVTYPE_BOOL, "1", "Cv_Copy", "True", nullptr},
        {"bool destination refused", CVTYPE_BOOL, "true", CVTYPE_INT, "1", "Cv_Add", "True",
         "Can't add/mul/div boolean/string variable !"},
        {"string destination refused", CVTYPE_STRING, "ab", CVTYPE_INT, "1", "Cv_Div", "ab",
         "Can't add/mul/div boolean/string variable !"},
    };
    for (const ArithmeticCase& c : cases) {
        ConfigVariable* const dest = variable(c.dest_type, "Dest", c.dest);
        variable(c.src_type, "Src", c.src);
        prints_.clear();
        run((std::string(c.command) + " Dest Src").c_str());
        EXPECT_STREQ(dest->string(), c.result) << c.name;
        if (c.message != nullptr) {
            EXPECT_TRUE(prints_.contains(c.message)) << c.name;
        } else {
            EXPECT_TRUE(prints_.lines().empty()) << c.name;
        }
    }
}

TEST_F(ConsCmdTest, ClipRoundsIntegerBoundsInward)
{
    struct Case {
        const char* name;
        int type;
        const char* value;
        const char* command;
        const char* result;
        const char* message;
    };
    const Case cases[] = {
        {"int above max", CVTYPE_INT, "10", "Cv_Clip V 2.5 7.5", "7", nullptr},
        {"int below min", CVTYPE_INT, "1", "Cv_Clip V 2.5 7.5", "3", nullptr},
        {"int inside stays untouched", CVTYPE_INT, "0x5", "Cv_Clip V 2.5 7.5", "0x5", nullptr},
        {"huge bounds saturate", CVTYPE_INT, "1", "Cv_Clip V 1e20 1e30", "2147483647", nullptr},
        {"float above max", CVTYPE_FLOAT, "9.5", "Cv_Clip V -1 2.25", "2.25", nullptr},
        {"float below min", CVTYPE_FLOAT, "-3", "Cv_Clip V -1 2.25", "-1", nullptr},
        {"bad bound", CVTYPE_INT, "10", "Cv_Clip V low 3", "10", "Can't clip by 'low' !"},
        {"min above max", CVTYPE_INT, "10", "Cv_Clip V 5 3", "10", "Min is greater than max !"},
        {"bool refused", CVTYPE_BOOL, "true", "Cv_Clip V 0 1", "True", "Can't clip boolean/string variable !"},
    };
    for (const Case& c : cases) {
        ConfigVariable* const v = variable(c.type, "V", c.value);
        prints_.clear();
        run(c.command);
        EXPECT_STREQ(v->string(), c.result) << c.name;
        if (c.message != nullptr) {
            EXPECT_TRUE(prints_.contains(c.message)) << c.name;
        }
    }
}

TEST_F(ConsCmdTest, SetToggleAndTheirMessages)
{
    ConfigVariable* const i = variable(CVTYPE_INT, "Count", "1");
    ConfigVariable* const b = variable(CVTYPE_BOOL, "Flag", "false");
    run("Set Count 0x10");
    EXPECT_EQ(i->as_int(), 16);
    run("Set count");
    EXPECT_TRUE(prints_.contains("Count Int = 0x10"));
    run("Set Count abc");
    EXPECT_TRUE(prints_.contains("Warning: Can't set 'Count' to 'abc' !"));
    run("Set Nothing 1");
    EXPECT_TRUE(prints_.contains("Warning: Unknown variable 'Nothing' !"));
    run("Toggle Flag");
    EXPECT_TRUE(b->as_bool());
    prints_.clear();
    run("Toggle Count");
    EXPECT_TRUE(prints_.contains("ConfigVariable: Count in not a boolean variable !"));
    EXPECT_EQ(i->as_int(), 16);
    prints_.clear();
    run("Echo hello world");
    EXPECT_TRUE(prints_.contains("Echo <string>"));
    EXPECT_FALSE(prints_.contains("hello"));
    run("Echo \"x;y\"");
    EXPECT_TRUE(prints_.contains("x;y"));
    // The temporary variables exist for scratch work.
    run("Set RegI2 5;Cv_Add RegI2 RegI2;Set RegS0 text");
    ASSERT_NE(cvar_list->find("RegI2"), nullptr);
    EXPECT_EQ(cvar_list->find("RegI2")->as_int(), 10);
    EXPECT_STREQ(cvar_list->find("regs0")->string(), "text");
}

TEST_F(ConsCmdTest, ReadAndWriteRulesOfTheClientSet)
{
    // Hidden from the client: 0x200. Read-only: 0x20 or 0x10.
    ConfigVariable* const hidden = variable(CVTYPE_INT, "Hidden", "1", 0x200);
    ConfigVariable* const fixed = variable(CVTYPE_INT, "Fixed", "2", 0x20);
    ConfigVariable* const open = variable(CVTYPE_INT, "Open", "3");
    struct Case {
        const char* command;
        const char* message;
    };
    const Case cases[] = {
        {"Set Hidden", "Hidden = ?"},
        {"Set Hidden 5", "Can't set 'Hidden' - permission denied"},
        {"Set Fixed 5", "Can't set 'Fixed' - permission denied"},
        {"Toggle Fixed", "Can't toggle 'Fixed' - permission denied"},
        {"Cv_Copy Open Hidden", "Can't read 'Hidden' - permission denied"},
        {"Cv_Copy Fixed Open", "Can't copy to 'Fixed' - permission denied"},
        {"Cv_Add Fixed Open", "Can't modify 'Fixed' - permission denied"},
        {"Cv_Mul Hidden Open", "Can't modify 'Hidden' - permission denied"},
        {"Cv_Clip Fixed 5 6", "Can't clip 'Fixed' - permission denied"},
        {"Cv_Copy Nope Nada", "Unknown variable 'Nada' !"},
    };
    for (const Case& c : cases) {
        prints_.clear();
        run(c.command);
        EXPECT_TRUE(prints_.contains(c.message)) << c.command;
    }
    EXPECT_EQ(hidden->as_int(), 1);
    EXPECT_EQ(fixed->as_int(), 2);
    EXPECT_EQ(open->as_int(), 3);
    prints_.clear();
    run("CVarList");
    EXPECT_TRUE(prints_.contains("Open Int = 3"));
    EXPECT_TRUE(prints_.contains("Fixed Int = 2"));
    EXPECT_FALSE(prints_.contains("Hidden"));
}

TEST_F(ConsCmdTest, DefaultPermissionsDenyTheBuiltinsOfTheMask)
{
    ConsCmd fresh;
    ASSERT_EQ(fresh.register_builtins(), 1);
    EXPECT_EQ(fresh.denied(), 0x1Bu);
    ConfigVariable* const open = variable(CVTYPE_INT, "Open", "3");
    ConfigVariable* const server = variable(CVTYPE_INT, "Server", "3", 0x300);
    const char* const denied[] = {"Call x", "Define a b", "Undefine a", "Wait 1", "Ls ."};
    const char* const names[] = {"Call", "Define", "Undefine", "Wait", "Ls"};
    for (int k = 0; k < 5; ++k) {
        prints_.clear();
        ASSERT_EQ(fresh.add_text(denied[k]), 1);
        fresh.exec_buffer();
        EXPECT_EQ(messages(), std::vector<std::string>{"Not allowed to '" + std::string(names[k]) + "'"})
            << denied[k];
    }
    EXPECT_EQ(fresh.wait_counter(), 0);
    prints_.clear();
    ASSERT_EQ(fresh.add_text("Echo fine;Set Open 4;Set Server 4;Help Ec*;CVarList O*"), 1);
    fresh.exec_buffer();
    EXPECT_TRUE(prints_.contains("fine"));
    EXPECT_TRUE(prints_.contains("Can't set 'Open' - permission denied"));
    EXPECT_EQ(open->as_int(), 3);
    EXPECT_EQ(server->as_int(), 4);
    EXPECT_TRUE(prints_.contains("Echo"));
    EXPECT_FALSE(prints_.contains("Open Int"));

    // Every bit set: Echo and Ls are denied too, the listings and the
    // variable commands never are.
    fresh.set_permissions(0xFFFFFFFFu, 0, 0, 0, 0);
    prints_.clear();
    ASSERT_EQ(fresh.add_text("Echo no;Ls .;Help Set;CVarList Open;Set Open 5"), 1);
    fresh.exec_buffer();
    EXPECT_EQ(messages(), (std::vector<std::string>{"Not allowed to 'Echo'", "Not allowed to 'Ls'",
                                                     "        *** Commands ***", "Set", "        *** Aliases ***",
                                                     "Open Int = 3"}));
    EXPECT_EQ(open->as_int(), 5);
}

TEST_F(ConsCmdTest, HelpListsCommandsAndAliasesByPattern)
{
    run("Define cvshow (CVarList)");
    prints_.clear();
    run("Help cv* echo");
    EXPECT_EQ(messages(), (std::vector<std::string>{"        *** Commands ***", "Cv_Add", "Cv_Clip", "Cv_Copy",
                                                     "Cv_Div", "Cv_Mul", "CVarList", "Echo",
                                                     "        *** Aliases ***", "cvshow"}));
    prints_.clear();
    run("Help");
    EXPECT_EQ(prints_.lines().size(), 2u + 16u + 1u);
}
