#include "cons_cmd_fixture.h"
#include "fsys/fsys.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A command set whose file system mounts one scratch directory of files.
class CommandFileTest : public ConsCmdTest {
protected:
    void SetUp() override
    {
        ConsCmdTest::SetUp();
        char pattern[] = "/tmp/ostrel_console_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::filesystem::create_directory(dir_ / "sub");
        fsys = new FSys;
        ASSERT_EQ(fsys->init(), 1);
        ASSERT_EQ(fsys->mount(dir_.c_str(), 1, 10), 1);
    }

    void TearDown() override
    {
        delete fsys;
        fsys = nullptr;
        std::filesystem::remove_all(dir_);
        ConsCmdTest::TearDown();
    }

    void write(const char* name, const std::string& text)
    {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    std::filesystem::path dir_;
};

} // namespace

TEST_F(CommandFileTest, CallRunsFilesInOrderBeforePendingTextAndNests)
{
    write("a.cfg", "Rec a1\nCall b.cfg\nRec a2\n");
    write("b.cfg", "Rec b\r\n");
    write("c.cfg", "Rec c");
    run("Call a.cfg missing.cfg c.cfg\nRec pending");
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "a1"}, {"Rec", "b"}, {"Rec", "a2"}, {"Rec", "c"}, {"Rec", "pending"}}));
    EXPECT_EQ(messages(), std::vector<std::string>{"Warning: Call: Can't call 'missing.cfg' !"});
}

TEST_F(CommandFileTest, ExecFileAppendsTheWholeFile)
{
    write("auto.cfg", "Rec one;Rec two");
    ASSERT_EQ(cmd_->add_text("Rec first"), 1);
    ASSERT_EQ(cmd_->exec_file("auto.cfg"), 1);
    EXPECT_EQ(cmd_->exec_file("none.cfg"), 0);
    cmd_->exec_buffer();
    EXPECT_EQ(calls_, (std::vector<Call>{{"Rec", "first"}, {"Rec", "one"}, {"Rec", "two"}}));
}

TEST_F(CommandFileTest, FileThatCallsItselfIsStopped)
{
    write("self.cfg", "Rec s\nCall self.cfg\n");
    run("Call self.cfg");
    EXPECT_EQ(calls_.size(), static_cast<size_t>(CONSCMD_MAX_EXPANSIONS_PER_CALL));
    EXPECT_TRUE(prints_.contains("command buffer cleared"));
    EXPECT_EQ(cmd_->buffer_used(), 0u);
}

TEST_F(CommandFileTest, LsListsFilesAndDirectoriesByPattern)
{
    write("a.cfg", "12345");
    write("b.txt", "");
    run("Ls .");
    std::vector<std::string> lines = messages();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"/sub", "a.cfg (5)", "b.txt (0)"}));
    prints_.clear();
    run("Ls . *.cfg");
    EXPECT_EQ(messages(), std::vector<std::string>{"a.cfg (5)"});
    prints_.clear();
    run("Ls sub");
    EXPECT_EQ(messages(), std::vector<std::string>{"No files found"});
}
