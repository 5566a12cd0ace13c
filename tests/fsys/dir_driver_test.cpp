#include "fsys/dir_driver.h"
#include "fsys/file_list.h"
#include "support/print_capture.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class DirDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree_.enter();
        capture_.show_all();
    }
    TempTree tree_;
    PrintCapture capture_;
};

} // namespace

TEST_F(DirDriverTest, MountsDirectoriesOnly)
{
    tree_.write("Data/x.txt", "x");
    std::unique_ptr<FileDriver> current(DirDriver::mount(""));
    ASSERT_NE(current, nullptr);
    EXPECT_TRUE(capture_.contains("FSys: Directory './' mapped"));
    std::unique_ptr<FileDriver> data(DirDriver::mount("Data"));
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(capture_.contains("FSys: Directory 'Data' mapped"));
    EXPECT_STREQ(static_cast<DirDriver*>(data.get())->directory().text(), "data\\");
    capture_.clear();
    EXPECT_EQ(DirDriver::mount("Data/x.txt"), nullptr);
    EXPECT_EQ(DirDriver::mount("none"), nullptr);
    EXPECT_EQ(DirDriver::mount(std::string(300, 'd').c_str()), nullptr);
    EXPECT_FALSE(capture_.contains("mapped"));
}

TEST_F(DirDriverTest, OpensByTheMappedDirectoryAndTheName)
{
    tree_.write("Base/Maps/E1/info.txt", "info");
    std::unique_ptr<FileDriver> base(DirDriver::mount("base"));
    ASSERT_NE(base, nullptr);
    for (const char* name : {"Maps/E1/INFO.TXT", "maps\\e1\\info.txt"}) {
        FileStream* const s = base->open(name, FSYS_BINARY);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(s->size(), 4);
        s->close();
    }
    EXPECT_EQ(base->open("maps/e1/info.txt", 0), nullptr);
    EXPECT_EQ(base->open("maps/e1/info.txt", 3), nullptr);
    EXPECT_EQ(base->open("maps/e1", FSYS_BINARY), nullptr);
    EXPECT_EQ(base->open_files(), 0);
}

TEST_F(DirDriverTest, HostEndOfFileRules)
{
    tree_.write("n.bin", std::string("\x01\x02\x03", 3));
    std::unique_ptr<FileDriver> current(DirDriver::mount(""));
    FileStream* const s = current->open("n.bin", FSYS_BINARY);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->read_le16(), 0x0201);
    EXPECT_EQ(s->eof(), 0);
    // The last byte and a missing one, which counts as -1 at its place.
    EXPECT_EQ(s->read_le16(), 0x03 - 0x100);
    EXPECT_NE(s->eof(), 0);
    EXPECT_EQ(s->tell(), 3);
    s->close();
}

TEST_F(DirDriverTest, TextReadDropsCarriageReturnsBeforeLineEnds)
{
    tree_.write("t.txt", "x\r\n\r\ny\rz");
    std::unique_ptr<FileDriver> current(DirDriver::mount(""));
    FileStream* const s = current->open("t.txt", FSYS_TEXT);
    char buffer[16];
    EXPECT_EQ(s->read(buffer, 1, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "x\n\ny\rz");
    s->close();
}

TEST_F(DirDriverTest, ListingByMask)
{
    tree_.write("Base/Maps/E1/info.txt", "info");
    tree_.write("Base/Maps/A Long Name Beyond Fifteen.TXT", "12345");
    tree_.make_dir("Base/Maps/Sub");
    std::unique_ptr<FileDriver> base(DirDriver::mount("base"));
    const Dir maps("maps", DIR_DIRECTORY);

    FileList dirs;
    base->list(dirs, maps, FSYS_LIST_DIRS);
    int n = 0;
    for (const FileNode* node = dirs.first(); node != nullptr; node = node->next, ++n) {
        EXPECT_EQ(node->flags, FLIST_DIRECTORY) << node->name;
        EXPECT_EQ(node->driver, nullptr);
        EXPECT_EQ(node->size, 0u);
    }
    EXPECT_EQ(n, 2);
    EXPECT_NE(dirs.find("e1", FLIST_DIRECTORY, FLIST_KIND_MASK), nullptr);
    EXPECT_NE(dirs.find("sub", FLIST_DIRECTORY, FLIST_KIND_MASK), nullptr);

    FileList files;
    base->list(files, maps, FSYS_LIST_FILES);
    ASSERT_NE(files.first(), nullptr);
    EXPECT_EQ(files.first()->next, nullptr);
    const FileNode* const f = files.first();
    EXPECT_STREQ(f->name, "a long name beyond fifteen.txt");
    EXPECT_EQ(f->size, 5u);
    EXPECT_EQ(f->size2, 5u);
    EXPECT_EQ(f->flags, FLIST_FILE);
    EXPECT_EQ(f->driver, base.get());

    // A second listing adds nothing unless duplicates are kept.
    base->list(files, maps, FSYS_LIST_FILES | FSYS_LIST_DIRS);
    base->list(files, maps, FSYS_LIST_FILES | FSYS_LIST_DIRS);
    n = 0;
    for (const FileNode* node = files.first(); node != nullptr; node = node->next) {
        ++n;
    }
    EXPECT_EQ(n, 3);
    base->list(files, maps, FSYS_LIST_FILES | FSYS_LIST_DUPLICATES);
    EXPECT_EQ(files.first()->next->flags, FLIST_DIRECTORY);
    EXPECT_STREQ(files.first()->name, f->name);

    FileList none;
    base->list(none, Dir("nothing", DIR_DIRECTORY), FSYS_LIST_FILES | FSYS_LIST_DIRS);
    EXPECT_EQ(none.first(), nullptr);
}
