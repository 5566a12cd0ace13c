#include "fsys/fsys.h"
#include "support/print_capture.h"
#include "temp_tree.h"
#include "tools/fsys/muf_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string read_all(FileStream* s)
{
    std::string text;
    for (int c = s->get_char(); c != -1; c = s->get_char()) {
        text += static_cast<char>(c);
    }
    s->close();
    return text;
}

void write_archive(const TempTree& tree, const std::string& name, const std::string& member, const std::string& text)
{
    tools::MufWriter w;
    w.add(member, text);
    ASSERT_TRUE(w.write(tree.path(name).c_str()));
}

std::vector<int32_t> priorities(const FSys& fs)
{
    std::vector<int32_t> p;
    for (const FSys::Mount* m = fs.first(); m != nullptr; m = m->next) {
        p.push_back(m->priority);
    }
    return p;
}

// Which mount answers: each holds "who" with its own letter.
std::string order(FSys& fs)
{
    std::string letters;
    for (const FSys::Mount* m = fs.first(); m != nullptr; m = m->next) {
        FileStream* const s = m->driver->open("who", FSYS_BINARY);
        letters += s != nullptr ? read_all(s) : "?";
    }
    return letters;
}

class FSysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree_.write("who", "C");
        write_archive(tree_, "a.muf", "who", "A");
        write_archive(tree_, "b.muf", "who", "B");
        write_archive(tree_, "p.muf", "who", "P");
        tree_.write("d/who", "D");
        tree_.enter();
        capture_.show_all();
    }

    TempTree tree_;
    PrintCapture capture_;
};

} // namespace

TEST_F(FSysTest, EqualPrioritiesGoFrontOnlyWhenTheyEqualTheFirst)
{
    FSys fs;
    ASSERT_EQ(fs.mount("", 1, 0), 1);
    ASSERT_EQ(fs.mount("a.muf", 1, 10), 1);
    ASSERT_EQ(fs.mount("b.muf", 1, 10), 1);
    ASSERT_EQ(fs.mount("d", 1, 10), 1);
    EXPECT_EQ(order(fs), "DBAC");

    FSys patched;
    ASSERT_EQ(patched.mount("", 1, 0), 1);
    ASSERT_EQ(patched.mount("a.muf", 1, 10), 1);
    ASSERT_EQ(patched.mount("p.muf", 1, 23), 1);
    ASSERT_EQ(patched.mount("b.muf", 1, 10), 1);
    ASSERT_EQ(patched.mount("d", 1, 10), 1);
    EXPECT_EQ(order(patched), "PABDC");
    EXPECT_EQ(priorities(patched), (std::vector<int32_t>{23, 10, 10, 10, 0}));
}

TEST_F(FSysTest, OpenTakesTheMountNearestTheFront)
{
    FSys fs;
    fs.mount("", 1, 0);
    fs.mount("a.muf", 1, 10);
    EXPECT_EQ(read_all(fs.open("who", FSYS_BINARY)), "A");
    EXPECT_EQ(read_all(fs.open("a.muf", FSYS_BINARY)).substr(0, 4), "MUF2"); // only the directory has it
    EXPECT_EQ(fs.open("nothing", FSYS_BINARY), nullptr);
    FileStream* const odd = fs.open("who", 3); // the archive reads any other mode as binary
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(read_all(odd), "A");
    FSys directory_only;
    directory_only.mount("", 1, 0);
    EXPECT_EQ(directory_only.open("who", 3), nullptr);
}

TEST_F(FSysTest, NamesThatAreNeitherDirectoryNorArchiveFailQuietly)
{
    FSys fs;
    capture_.clear();
    EXPECT_EQ(fs.mount("who", 1, 10), 0);
    EXPECT_EQ(fs.mount("missing", 1, 10), 0);
    EXPECT_EQ(fs.first(), nullptr);
    for (const PrintCapture::Line& l : capture_.lines()) {
        EXPECT_NE(l.stream, P_ERROR) << l.text;
        EXPECT_NE(l.stream, P_WARNING) << l.text;
    }
}

TEST_F(FSysTest, ListHidesLowerDuplicatesUnlessAsked)
{
    tree_.write("d/only_d.txt", "x");
    tree_.make_dir("d/sub");
    FSys fs;
    fs.mount("", 1, 0);
    fs.mount("d", 1, 10);
    auto names = [&](uint32_t mask) {
        std::vector<std::string> n;
        FileList* const list = fs.list("", mask);
        for (const FileNode* node = list->first(); node != nullptr; node = node->next) {
            n.push_back(std::string(node->name) + ((node->flags & FLIST_DIRECTORY) != 0 ? "/" : ""));
        }
        delete list;
        std::sort(n.begin(), n.end());
        return n;
    };
    const std::vector<std::string> files = names(FSYS_LIST_FILES);
    EXPECT_EQ(std::count(files.begin(), files.end(), "who"), 1);
    EXPECT_EQ(std::count(files.begin(), files.end(), "only_d.txt"), 1);
    EXPECT_EQ(std::count(files.begin(), files.end(), "d/"), 0);
    const std::vector<std::string> all = names(FSYS_LIST_FILES | FSYS_LIST_DUPLICATES);
    EXPECT_EQ(std::count(all.begin(), all.end(), "who"), 2);
    const std::vector<std::string> dirs = names(FSYS_LIST_DIRS);
    EXPECT_EQ(dirs, (std::vector<std::string>{"d/", "sub/"}));
    // The listing of a path too long for a Dir is empty, not a listing of something else.
    FileList* const long_list = fs.list(std::string(300, 'x').c_str(), FSYS_LIST_FILES);
    ASSERT_NE(long_list, nullptr);
    EXPECT_EQ(long_list->first(), nullptr);
    delete long_list;
}

TEST_F(FSysTest, CloseWarnsAboutStreamsStillOpen)
{
    FSys* const fs = new FSys;
    fs->mount("", 1, 0);
    fs->mount("a.muf", 4, 10);
    fs->mount("d", 8, 5);
    FileStream* const left = fs->open("who", FSYS_BINARY);
    ASSERT_NE(left, nullptr);
    FileStream* const host = fs->open("d/who", FSYS_TEXT);
    ASSERT_NE(host, nullptr);
    capture_.clear();
    fs->close();
    EXPECT_TRUE(capture_.contains("FSys: Files (sid 4) still opened in close() !"));
    EXPECT_TRUE(capture_.contains("FSys: Files (sid 1) still opened in close() !"));
    EXPECT_FALSE(capture_.contains("FSys: Files (sid 8)"));
    EXPECT_TRUE(capture_.contains("Closing file system"));
    EXPECT_EQ(fs->first(), nullptr);
    delete fs;
    // The stream outlived its driver: it reads as at its end and can still be closed.
    EXPECT_EQ(left->driver(), nullptr);
    EXPECT_EQ(left->get_char(), -1);
    EXPECT_NE(left->eof(), 0);
    EXPECT_EQ(left->seek(0, FSYS_SEEK_SET), -1);
    left->close();
    char line[8];
    EXPECT_EQ(host->read_line(line, sizeof line), nullptr);
    EXPECT_EQ(host->read_le32(), -1);
    host->close();
}

TEST_F(FSysTest, UnmountKeepsSourcesWithOpenFiles)
{
    FSys fs;
    fs.mount("", 1, 0);
    fs.mount("a.muf", 2, 10);
    fs.mount("b.muf", 2, 5);
    FileStream* const open = fs.open("who", FSYS_BINARY);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(fs.unmount(2), 1);
    EXPECT_TRUE(capture_.contains("FSys: Can't close source with opened files"));
    EXPECT_EQ(priorities(fs), (std::vector<int32_t>{10, 0}));
    open->close();
    EXPECT_EQ(fs.unmount(2), 1);
    EXPECT_EQ(fs.unmount(2), 0);
    EXPECT_EQ(priorities(fs), (std::vector<int32_t>{0}));
}

TEST_F(FSysTest, DestructorClearsTheGlobalPointer)
{
    fsys = new FSys;
    EXPECT_EQ(fsys->init(), 1);
    EXPECT_TRUE(capture_.contains("Initializing file system"));
    delete fsys;
    EXPECT_EQ(fsys, nullptr);
}
