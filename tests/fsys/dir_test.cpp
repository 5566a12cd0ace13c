#include "fsys/dir.h"
#include "support/print_capture.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <string>

TEST(Dir, NormalFormsOfBothKinds)
{
    struct Case {
        const char* text;
        uint32_t kind;
        const char* expected;
    };
    const Case cases[] = {
        {"Maps/E1", DIR_DIRECTORY, "maps\\e1\\"},
        {"Maps/E1", DIR_FILE, "maps\\e1"},
        {"maps\\e1\\", DIR_FILE, "maps\\e1"},
        {"maps\\e1\\", DIR_DIRECTORY, "maps\\e1\\"},
        {"", DIR_DIRECTORY, ""},
        {"", DIR_FILE, ""},
        {"\xC4Z/", DIR_FILE, "\xC4z"}, // only A-Z fold
        {"a\\\\", DIR_FILE, "a\\"},     // one trailing separator goes
    };
    for (const Case& c : cases) {
        const Dir d(c.text, c.kind);
        EXPECT_STREQ(d.text(), c.expected) << c.text << " kind " << c.kind;
        EXPECT_EQ(d.length(), static_cast<int>(std::string(c.expected).size()));
        EXPECT_TRUE(d.valid());
    }
}

TEST(Dir, UnknownKindIsReportedAndLeftConverted)
{
    PrintCapture capture;
    const Dir d("A/B", 7);
    EXPECT_STREQ(d.text(), "a\\b");
    EXPECT_TRUE(capture.contains("Dir: Tried to std() unknown path type !"));
    capture.clear();
    const Dir empty("", 0);
    EXPECT_STREQ(empty.text(), "");
    EXPECT_TRUE(capture.contains("Dir: Tried to std() unknown path type !"));
}

TEST(Dir, PathTooLongForTheBufferIsRefusedNotCut)
{
    PrintCapture capture;
    const std::string fits(DIR_MAX, 'a');
    EXPECT_EQ(Dir(fits.c_str(), DIR_FILE).length(), DIR_MAX);
    EXPECT_TRUE(Dir((fits.substr(1) + "\\").c_str(), DIR_DIRECTORY).valid());

    const std::string too_long(DIR_MAX + 1, 'a');
    Dir d;
    EXPECT_EQ(d.set(too_long.c_str(), DIR_FILE), 0);
    EXPECT_FALSE(d.valid());
    EXPECT_STREQ(d.text(), "");
    // 255 characters leave no room for the directory form's '\'.
    EXPECT_EQ(d.set(fits.c_str(), DIR_DIRECTORY), 0);
    EXPECT_FALSE(d.valid());
    EXPECT_EQ(d.make(), 0);
    EXPECT_TRUE(capture.contains("Dir: Path too long"));
    Dir file(fits.c_str(), DIR_FILE);
    file.std(DIR_DIRECTORY);
    EXPECT_FALSE(file.valid());
    EXPECT_STREQ(file.text(), "");
    // A later good path makes it valid again.
    EXPECT_EQ(d.set("x", DIR_FILE), 1);
    EXPECT_TRUE(d.valid());
}

TEST(Dir, TypeFromTheFirstCharacters)
{
    struct Case {
        const char* text;
        int type;
    };
    const Case cases[] = {{"c:\\x", DIR_TYPE_DRIVE_ROOT}, {"c:x", DIR_TYPE_DRIVE}, {"c:", DIR_TYPE_DRIVE},
                          {"\\x", DIR_TYPE_ROOT},        {"/x", DIR_TYPE_ROOT},   {"x\\y", DIR_TYPE_RELATIVE},
                          {"", DIR_TYPE_RELATIVE},        {"1:\\x", DIR_TYPE_RELATIVE}, {"::x", DIR_TYPE_RELATIVE}};
    for (const Case& c : cases) {
        EXPECT_EQ(Dir(c.text, DIR_FILE).type(), c.type) << c.text;
    }
}

TEST(Dir, SplitAtTheLastSeparator)
{
    struct Case {
        const char* text;
        uint32_t kind;
        const char* directory;
        const char* file;
    };
    const Case cases[] = {
        {"a\\b\\c.txt", DIR_FILE, "a\\b\\", "c.txt"},
        {"c.txt", DIR_FILE, ".\\", "c.txt"},
        {"a\\b", DIR_DIRECTORY, "a\\b\\", ""},
    };
    for (const Case& c : cases) {
        Dir directory;
        Dir file;
        Dir(c.text, c.kind).split(&directory, &file);
        EXPECT_STREQ(directory.text(), c.directory) << c.text;
        EXPECT_EQ(directory.kind(), DIR_DIRECTORY);
        EXPECT_STREQ(file.text(), c.file) << c.text;
        EXPECT_EQ(file.kind(), DIR_FILE);
    }
    Dir only;
    Dir("x\\y", DIR_FILE).split(nullptr, &only);
    EXPECT_STREQ(only.text(), "y");
}

TEST(Dir, ComponentsOneByOne)
{
    const Dir path("maps\\e1\\info.txt", DIR_FILE);
    Dir out("keep", DIR_FILE);
    EXPECT_EQ(Dir::component(out, &path, 0), 4);
    EXPECT_STREQ(out.text(), "maps");
    EXPECT_EQ(Dir::component(out, &path, 5), 2);
    EXPECT_STREQ(out.text(), "e1");
    EXPECT_EQ(Dir::component(out, &path, 8), 8);
    EXPECT_STREQ(out.text(), "info.txt");
    EXPECT_EQ(Dir::component(out, &path, path.length()), 0);
    EXPECT_STREQ(out.text(), "info.txt");
    EXPECT_EQ(Dir::component(out, &path, 1000), 0);
}

TEST(Dir, MakeCreatesEveryDirectoryOnThePath)
{
    TempTree tree;
    tree.enter();
    EXPECT_EQ(Dir("Shots/X/a.bmp", DIR_FILE).make(), 1);
    EXPECT_TRUE(tree.exists("shots/x"));
    EXPECT_FALSE(tree.exists("shots/x/a.bmp"));
    EXPECT_EQ(Dir("one/two", DIR_DIRECTORY).make(), 1);
    EXPECT_TRUE(tree.exists("one/two"));
    // An existing directory that differs in case is used, not doubled.
    tree.make_dir("Saves");
    EXPECT_EQ(Dir("saves/slot1/", DIR_DIRECTORY).make(), 1);
    EXPECT_TRUE(tree.exists("Saves/slot1"));
    EXPECT_FALSE(tree.exists("saves"));
}

TEST(DosNameCheck, EightDotThreeOfLettersDigitsAndUnderscore)
{
    struct Case {
        const char* name;
        int fails_at; // -1 passes
    };
    const Case cases[] = {
        {"readme.txt", -1}, {"file_1", -1}, {"", -1},        {"KAVRIN", -1},  {"12345678.abc", -1},
        {"toolongname", 11}, {"a.b.c", 3},  {"my-file", 2}, {"abcdefghi.x", 9}, {"a.abcd", 6},
        {"a b", 1},          {"..", 1},
    };
    for (const Case& c : cases) {
        const char* const at = dos_name_check(c.name);
        if (c.fails_at < 0) {
            EXPECT_EQ(at, nullptr) << c.name;
        } else {
            EXPECT_EQ(at, c.name + c.fails_at) << c.name;
        }
    }
}
