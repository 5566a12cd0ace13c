#include "fsys/archive_driver.h"
#include "support/print_capture.h"
#include "temp_tree.h"
#include "tools/fsys/muf_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

// The size the writer counts is the size it writes, whatever it holds.
TEST(MufWriterSize, CountsEveryByteItWrites)
{
    tools::MufWriter w;
    EXPECT_EQ(w.size(), w.build().size());
    w.set_head_extra({1, 2, 3});
    w.add_block("INFO", {9, 9});
    EXPECT_EQ(w.size_after("a", 5), [&] { tools::MufWriter c = w; c.add("a", "12345"); return c.size(); }());
    w.add("a", "12345");
    EXPECT_EQ(w.size_after("bb", 0), [&] { tools::MufWriter c = w; c.add("bb", ""); return c.size(); }());
    w.add("bb", "");
    w.end_directory_block();
    EXPECT_EQ(w.size_after("c/d", 7), [&] { tools::MufWriter c = w; c.add("c/d", "1234567"); return c.size(); }());
    w.add("c/d", "1234567", tools::MufWriter::FLAG_DELETED);
    w.add_block("JUNK", std::vector<uint8_t>(11, 0));
    w.add("e", "E");
    EXPECT_EQ(w.size(), w.build().size());
}

// A member that would end past the 32-bit offsets is counted as such, without
// the bytes being there.
TEST(MufWriterSize, LastMemberThatFitsAndFirstThatDoesNot)
{
    tools::MufWriter w;
    w.add("small", "x");
    const uint64_t room = tools::MufWriter::MAX_SIZE - w.size_after("big", 0);
    EXPECT_EQ(w.size_after("big", room), tools::MufWriter::MAX_SIZE);
    EXPECT_GT(w.size_after("big", room + 1), tools::MufWriter::MAX_SIZE);
}

class MufPackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef MUF_PACK_PATH
        GTEST_SKIP() << "muf_pack is not built here";
#endif
    }

    // Runs muf_pack in the tree with the arguments; its exit code.
    int pack(const std::string& arguments)
    {
#ifdef MUF_PACK_PATH
        const std::string command = "cd '" + tree_.path() + "' && '" MUF_PACK_PATH "' " + arguments +
                                    " > out.txt 2> err.txt; echo $? > code.txt";
        if (std::system(command.c_str()) != 0) {
            return -1;
        }
#else
        (void)arguments;
#endif
        return std::atoi(read_text(tree_.path("code.txt")).c_str());
    }
    std::string errors() { return read_text(tree_.path("err.txt")); }

    TempTree tree_;
};

TEST_F(MufPackTest, PacksFilesAndTreesThatTheEngineReadsBack)
{
    tree_.write("in/a.txt", "alpha");
    tree_.write("in/sub/b.txt", "beta");
    tree_.write("c.txt", "gamma");
    ASSERT_EQ(pack("out.muf in c.txt"), 0) << errors();
    EXPECT_EQ(errors(), "");

    PrintCapture capture;
    tree_.enter();
    const std::unique_ptr<FileDriver> d(ArchiveMuf::mount("out.muf"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(static_cast<ArchiveDriver*>(d.get())->entry_count(), 3);
    for (const auto& [name, text] : {std::pair<const char*, std::string>{"a.txt", "alpha"},
                                     {"sub/b.txt", "beta"}, {"c.txt", "gamma"}}) {
        FileStream* const s = d->open(name, FSYS_BINARY);
        ASSERT_NE(s, nullptr) << name;
        std::string got(static_cast<size_t>(s->size()), '\0');
        EXPECT_EQ(s->read(got.data(), 1, got.size()), got.size());
        EXPECT_EQ(got, text) << name;
        d->close(s);
    }
}

// Every refusal names its cause, exits 1 and leaves no archive behind, where
// an archive with an empty or wrapped member used to be written.
TEST_F(MufPackTest, RefusesWhatItCannotPackWhole)
{
    tree_.write("good.txt", "good");
    // Sparse: four gigabytes that take no disk space and are never read.
    std::filesystem::resize_file(
        [&] { tree_.write("huge.bin", ""); return tree_.path("huge.bin"); }(), uint64_t{4} << 30);
    struct Case {
        const char* why;
        const char* arguments;
        const char* message;
    } const cases[] = {
        {"missing file", "out.muf good.txt missing.txt", "muf_pack: can't find missing.txt\n"},
        {"missing first input", "out.muf nowhere good.txt", "muf_pack: can't find nowhere\n"},
        {"past 4 GiB", "out.muf good.txt huge.bin", "muf_pack: archive would pass 4 GiB with huge.bin\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(pack(c.arguments), 1);
        EXPECT_EQ(errors(), c.message);
        EXPECT_FALSE(tree_.exists("out.muf"));
    }
}
