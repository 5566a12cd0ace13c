#include "core/command_line.h"
#include "core/config_variable.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CvarFixture : public ::testing::Test {
protected:
    void SetUp() override { cvar_list = new ConfigVariableList; }
    void TearDown() override
    {
        delete cvar_list;
        delete command_line;
    }
    ConfigVariable* link(int type, const char* name, const char* def, int force = 0, uint32_t flags = 0)
    {
        return cvar_list->link(type, flags, name, def, force);
    }
    PrintCapture capture;
};

} // namespace

TEST_F(CvarFixture, SameNameInAnyCaseIsOneVariable)
{
    ConfigVariable* a = link(CVTYPE_INT, "Foo", "1");
    ConfigVariable* b = link(CVTYPE_INT, "foo", "2");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->lock(), 2);
    EXPECT_EQ(a->as_int(), 1);
}

TEST_F(CvarFixture, ParsesTextsByType)
{
    struct Case {
        int type;
        const char* text;
        int ok;
        const char* string;
        uint32_t value;
    };
    const Case cases[] = {
        {CVTYPE_BOOL, "TRUE", 1, "True", 1},      {CVTYPE_BOOL, "1", 1, "True", 1},
        {CVTYPE_BOOL, "0x1", 1, "True", 1},       {CVTYPE_BOOL, "false", 1, "False", 0},
        {CVTYPE_BOOL, "0", 1, "False", 0},        {CVTYPE_BOOL, "2", 0, "False", 0},
        {CVTYPE_BOOL, "yes", 0, "False", 0},      {CVTYPE_BOOL, nullptr, 1, "false", 0},
        {CVTYPE_INT, "12abc", 1, "12abc", 12},    {CVTYPE_INT, "0x10", 1, "0x10", 16},
        {CVTYPE_INT, "-010", 1, "-010", static_cast<uint32_t>(-8)},
        {CVTYPE_INT, "abc", 0, "0", 0},           {CVTYPE_INT, "99999999999", 0, "0", 0},
        {CVTYPE_INT, nullptr, 1, "0", 0},         {CVTYPE_FLOAT, "1.5x", 1, "1.5x", 0x3FC00000},
        {CVTYPE_FLOAT, "pi", 0, "0.0", 0},          {CVTYPE_FLOAT, nullptr, 1, "0.0", 0},
        {CVTYPE_STRING, "hello", 1, "hello", 0},  {CVTYPE_STRING, nullptr, 1, "", 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "v" + std::to_string(n++);
        ConfigVariable* v = link(c.type, name.c_str(), c.type == CVTYPE_FLOAT ? nullptr : "0");
        if (c.type == CVTYPE_BOOL) {
            v->set_bool(0);
        }
        v->check_changed();
        EXPECT_EQ(v->set_string(c.text), c.ok) << name;
        EXPECT_STREQ(v->string(), c.string) << name;
        EXPECT_EQ(v->raw_value(), c.value) << name;
        EXPECT_EQ((v->flags() & CVF_INVALID) != 0, c.ok == 0) << name;
        EXPECT_EQ(v->check_changed(), c.ok == 1) << name;
    }
}

TEST_F(CvarFixture, InvalidValueListsWithColon)
{
    ConfigVariable* v = link(CVTYPE_BOOL, "Flag", "True");
    capture.clear();
    v->print();
    v->set_string("yes");
    v->print();
    ConfigVariable* s = link(CVTYPE_STRING, "Name", "abc");
    s->print();
    ConfigVariable* fps = link(CVTYPE_INT, "FPS", nullptr);
    fps->print();
    ASSERT_EQ(capture.lines().size(), 4u);
    EXPECT_EQ(capture.lines()[0].text, "Flag Bool = True");
    EXPECT_EQ(capture.lines()[1].text, "Flag Bool : Invalid value");
    EXPECT_EQ(capture.lines()[2].text, "Name String = 'abc'");
    EXPECT_EQ(capture.lines()[3].text, "FPS Int = 0");
    EXPECT_TRUE(v->as_bool()); // the invalid text kept the value
}

TEST_F(CvarFixture, StringsAreCutTo31Characters)
{
    ConfigVariable* v = link(CVTYPE_STRING, "Long", "");
    v->set_string(std::string(40, 'x').c_str());
    EXPECT_EQ(std::string(v->string()), std::string(31, 'x'));
}

TEST_F(CvarFixture, NamesOf32CharactersAreRefused)
{
    EXPECT_EQ(link(CVTYPE_INT, std::string(32, 'n').c_str(), "1"), nullptr);
    EXPECT_TRUE(capture.contains("longer than 31 characters"));
    EXPECT_NE(link(CVTYPE_INT, std::string(31, 'n').c_str(), "1"), nullptr);
}

TEST_F(CvarFixture, ReleasedVariableKeepsItsValue)
{
    ConfigVariable* v = link(CVTYPE_INT, "Keep", "1");
    v->set_int(42);
    cvar_list->release(v);
    EXPECT_EQ(cvar_list->find("Keep"), nullptr);
    EXPECT_EQ(cvar_list->first(), nullptr);
    ConfigVariable* again = link(CVTYPE_INT, "keep", "1");
    EXPECT_EQ(again, v);
    EXPECT_EQ(again->lock(), 1);
    EXPECT_EQ(again->as_int(), 42);
    // A second release of an inactive variable is refused with a message.
    cvar_list->release(again);
    capture.clear();
    cvar_list->release(again);
    EXPECT_TRUE(capture.contains("Tried to release inactive variable"));
}

TEST_F(CvarFixture, ForcedLinkReappliesTheDefault)
{
    ConfigVariable* v = link(CVTYPE_INT, "Forced", "1");
    v->set_int(9);
    link(CVTYPE_INT, "Forced", "3", 1);
    EXPECT_EQ(v->as_int(), 3);
    capture.clear();
    link(CVTYPE_STRING, "Forced", "abc", 1);
    EXPECT_TRUE(capture.contains("Changing type of 'Forced' !"));
    EXPECT_EQ(v->type(), CVTYPE_STRING);
}

// A forced link takes the new type and default; it warns unless the old Int
// value converts without loss, and it leaves the caller's flags alone.
TEST_F(CvarFixture, ForcedTypeChangeWarnsOnlyWhenValuesDoNotConvert)
{
    struct Case {
        const char* why;
        int old_type;
        const char* old_text;
        int new_type;
        const char* new_default;
        bool warns;
        const char* string;
    };
    const Case cases[] = {
        {"Int to Float", CVTYPE_INT, "5", CVTYPE_FLOAT, "2.5", false, "2.5"},
        {"Int 1 to Bool", CVTYPE_INT, "1", CVTYPE_BOOL, "0", false, "False"},
        {"Int 0 to Bool", CVTYPE_INT, "0", CVTYPE_BOOL, "true", false, "True"},
        {"Int 5 to Bool", CVTYPE_INT, "5", CVTYPE_BOOL, "1", true, "True"},
        {"Float to Int", CVTYPE_FLOAT, "1", CVTYPE_INT, "3", true, "3"},
        {"String to Int", CVTYPE_STRING, "x", CVTYPE_INT, "4", true, "4"},
        {"same type", CVTYPE_INT, "5", CVTYPE_INT, "6", false, "6"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "Forced" + std::to_string(n++);
        ConfigVariable* const v = link(c.old_type, name.c_str(), c.old_text, 0, 0x30);
        capture.clear();
        EXPECT_EQ(link(c.new_type, name.c_str(), c.new_default, 1, 0x40), v) << c.why;
        EXPECT_EQ(capture.contains("Changing type of '" + name + "' !"), c.warns) << c.why;
        EXPECT_EQ(v->type(), c.new_type) << c.why;
        EXPECT_STREQ(v->string(), c.string) << c.why;
        EXPECT_EQ(v->flags() & ~CVFMASK_INTERNAL, 0x30u) << c.why;
        EXPECT_EQ(v->lock(), 2) << c.why;
    }
}

TEST_F(CvarFixture, MalformedCommandLineValueKeepsTheDefault)
{
    command_line = new CommandLine;
    const char* argv[] = {"prog", "-set", "Count", "lots"};
    command_line->parse(4, argv);
    ConfigVariable* const v = link(CVTYPE_INT, "Count", "2");
    EXPECT_EQ(v->as_int(), 2);
    EXPECT_TRUE(capture.contains("Can't set 'Count' to 'lots' !"));
}

TEST_F(CvarFixture, TypeConversionsOnLink)
{
    ConfigVariable* one = link(CVTYPE_INT, "One", "1");
    EXPECT_EQ(link(CVTYPE_BOOL, "One", "0"), one);
    EXPECT_EQ(one->type(), CVTYPE_BOOL);
    EXPECT_STREQ(one->string(), "True");
    EXPECT_EQ(one->lock(), 2);

    ConfigVariable* five = link(CVTYPE_INT, "Five", "5");
    capture.clear();
    EXPECT_EQ(link(CVTYPE_BOOL, "Five", "0"), nullptr);
    EXPECT_TRUE(capture.contains("ConfigVariable 'Five' type mismatch !"));
    EXPECT_EQ(five->type(), CVTYPE_INT);
    EXPECT_EQ(five->lock(), 1);

    ConfigVariable* f = link(CVTYPE_INT, "Ratio", "7");
    EXPECT_EQ(link(CVTYPE_FLOAT, "Ratio", "0"), f);
    EXPECT_EQ(f->as_float(), 7.0f);
    EXPECT_STREQ(f->string(), "7");
}

TEST_F(CvarFixture, FlagMismatchTakesTheNewFlags)
{
    ConfigVariable* v = link(CVTYPE_INT, "Flags", "1", 0, 0x10);
    v->set_string("bad");
    capture.clear();
    link(CVTYPE_INT, "Flags", "1", 0, 0x20);
    EXPECT_TRUE(capture.contains("ConfigVariable 'Flags' flags mismatch"));
    EXPECT_EQ(v->flags() & ~CVF_CHANGED, 0x20u | CVF_INVALID);
}

TEST_F(CvarFixture, CommandLineSetOverridesOnlyUnforcedCreation)
{
    command_line = new CommandLine;
    const char* argv[] = {"prog", "-set", "Level", "3", "-set", "level", "4", "+set", "Other"};
    command_line->parse(9, argv);
    ConfigVariable* v = link(CVTYPE_INT, "Level", "1");
    EXPECT_EQ(v->as_int(), 3);
    EXPECT_EQ(v->raw_saved(), 1u);
    EXPECT_EQ(command_line->parameter_count(), -1); // the search was ended
    ConfigVariable* f = link(CVTYPE_INT, "Level2", "1", 1);
    EXPECT_EQ(f->as_int(), 1);
    cvar_list->release(v);
    cvar_list->release(v);
    // Revived from the inactive list: no override.
    ConfigVariable* again = link(CVTYPE_INT, "Level", "1");
    again->set_int(8);
    cvar_list->release(again);
    EXPECT_EQ(link(CVTYPE_INT, "Level", "1")->as_int(), 8);
}

TEST_F(CvarFixture, CompleteCyclesThroughMatchesInNameOrder)
{
    for (const char* name : {"R_Flat", "r_lighting", "Sys_Priority", "R_Texture", "FPS"}) {
        link(CVTYPE_INT, name, "0");
    }
    ConfigVariable* first = cvar_list->complete("r_", nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->name(), "R_Flat");
    ConfigVariable* second = cvar_list->complete("r_", first->name());
    EXPECT_STREQ(second->name(), "r_lighting");
    ConfigVariable* third = cvar_list->complete("r_", second->name());
    EXPECT_STREQ(third->name(), "R_Texture");
    EXPECT_STREQ(cvar_list->complete("r_", third->name())->name(), "R_Flat");
    EXPECT_STREQ(cvar_list->complete("  sys", nullptr)->name(), "Sys_Priority");
    EXPECT_STREQ(cvar_list->complete("sys", "Sys_Priority")->name(), "Sys_Priority");
    EXPECT_EQ(cvar_list->complete("zz", nullptr), nullptr);
}

TEST_F(CvarFixture, RestoreSavedMatchesFlagsOnBothLists)
{
    ConfigVariable* both = link(CVTYPE_INT, "Both", "1", 0, 0x120);
    ConfigVariable* one = link(CVTYPE_INT, "One", "1", 0, 0x100);
    ConfigVariable* gone = link(CVTYPE_FLOAT, "Gone", "1", 0, 0x120);
    ConfigVariable* text = link(CVTYPE_STRING, "Text", "a", 0, 0x120);
    for (ConfigVariable* v : {both, one}) {
        v->set_saved_int(5);
    }
    gone->set_saved_float(2.5f);
    EXPECT_EQ(text->set_saved_int(5), 0);
    cvar_list->release(gone);
    cvar_list->restore_saved(0x120, 0x120);
    EXPECT_EQ(both->as_int(), 5);
    EXPECT_EQ(one->as_int(), 1);
    EXPECT_EQ(gone->as_float(), 2.5f);
    EXPECT_STREQ(text->string(), "a");
}

TEST_F(CvarFixture, TypedSettersRefuseOtherTypes)
{
    ConfigVariable* v = link(CVTYPE_STRING, "Str", "x");
    EXPECT_EQ(v->set_int(1), 0);
    EXPECT_EQ(v->set_bool(1), 0);
    EXPECT_EQ(v->set_float(1.0f), 0);
    EXPECT_TRUE(capture.contains("ConfigVariable: Str in not an integer variable !"));
    EXPECT_TRUE(capture.contains("ConfigVariable: Str in not a boolean variable !"));
    EXPECT_TRUE(capture.contains("ConfigVariable: Str in not a float variable !"));
    ConfigVariable* f = link(CVTYPE_FLOAT, "Flt", "0");
    f->set_float(0.1f);
    EXPECT_STREQ(f->string(), "0.1");
    EXPECT_TRUE(f->is_true());
    f->set_float(-0.0f);
    EXPECT_FALSE(f->is_true());
}

TEST_F(CvarFixture, IntValueOfEveryType)
{
    EXPECT_EQ(link(CVTYPE_STRING, "S", "abcdefg")->int_value(), 7);
    EXPECT_EQ(link(CVTYPE_BOOL, "B", "true")->int_value(), 1);
    EXPECT_EQ(link(CVTYPE_FLOAT, "F", "-2.9")->int_value(), -2);
    EXPECT_EQ(link(CVTYPE_FLOAT, "Huge", "1e30")->int_value(), INT32_MIN);
}
