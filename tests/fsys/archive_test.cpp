#include "fsys/archive_driver.h"
#include "fsys/file_list.h"
#include "support/print_capture.h"
#include "temp_tree.h"
#include "tools/fsys/muf_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Raw archive bytes for damaged files that the writer would never make.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& id(const char* s)
    {
        b.insert(b.end(), s, s + 4);
        return *this;
    }
    Bytes& u8(uint32_t v)
    {
        b.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Bytes& u16(uint32_t v) { return u8(v).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v).u16(v >> 16); }
    Bytes& str(const std::string& s)
    {
        b.insert(b.end(), s.begin(), s.end());
        return u8(0);
    }
    Bytes& head(uint32_t count, uint16_t version = 0x0100) { return id("MUF2").id("HEAD").u32(6).u16(version).u32(count); }
    // One entry: 9 bytes and the name with its NUL.
    Bytes& entry(uint8_t flags, uint32_t offset, uint32_t size, const std::string& name)
    {
        return u8(flags).u32(offset).u32(size).str(name);
    }
    static uint32_t entry_size(const std::string& name) { return 10 + static_cast<uint32_t>(name.size()); }
};

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree_.enter();
        capture_.show_all();
    }

    std::unique_ptr<FileDriver> mount(const tools::MufWriter& w, const char* name = "a.muf")
    {
        EXPECT_TRUE(w.write(tree_.path(name).c_str()));
        return std::unique_ptr<FileDriver>(ArchiveMuf::mount(name));
    }
    std::unique_ptr<FileDriver> mount(const Bytes& bytes, const char* name = "raw.muf")
    {
        tree_.write(name, bytes.b);
        return std::unique_ptr<FileDriver>(ArchiveMuf::mount(name));
    }
    static ArchiveDriver* archive(const std::unique_ptr<FileDriver>& d) { return static_cast<ArchiveDriver*>(d.get()); }

    static std::string read_all(FileStream* s)
    {
        std::string text;
        for (int c = s->get_char(); c != -1; c = s->get_char()) {
            text += static_cast<char>(c);
        }
        return text;
    }

    TempTree tree_;
    PrintCapture capture_;
};

} // namespace

TEST_F(ArchiveTest, DeletedEntriesShortenTheDirectoryWithAWarning)
{
    tools::MufWriter w;
    w.set_file_count(3);
    w.add("one", "1");
    w.add("gone", "x", tools::MufWriter::FLAG_DELETED);
    w.add("two", "2");
    const auto d = mount(w);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(archive(d)->entry_count(), 2);
    EXPECT_TRUE(capture_.contains("Muf: File count is not valid !"));
    EXPECT_TRUE(capture_.contains("FSys: MUF archive 'a.muf' mapped"));
    EXPECT_EQ(d->open("gone", FSYS_BINARY), nullptr);
}

TEST_F(ArchiveTest, SeveralDirectoryBlocksAndUnknownBlocks)
{
    tools::MufWriter w;
    w.set_head_extra({1, 2, 3, 4, 5});
    w.add_block("INFO", {9, 9, 9});
    w.add("a", "A");
    w.end_directory_block();
    w.add("b", "B");
    w.add_block("JUNK", std::vector<uint8_t>(13, 0xEE));
    w.add("c", "C");
    const auto d = mount(w);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(archive(d)->entry_count(), 3);
    EXPECT_FALSE(capture_.contains("File count"));
    for (const char* name : {"a", "b", "c"}) {
        FileStream* const s = d->open(name, FSYS_BINARY);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(read_all(s), std::string(1, static_cast<char>(name[0] - 'a' + 'A')));
        s->close();
    }
}

TEST_F(ArchiveTest, VersionMajorMustBeOne)
{
    struct Case {
        uint16_t version;
        bool mounts;
        const char* message;
    };
    const Case cases[] = {
        {0x0100, true, nullptr},
        {0x0103, true, nullptr},
        {0x0200, false, "Muf: Reader not compatible with version  2.00 !"},
        {0x0007, false, "Muf: Reader not compatible with version  0.07 !"},
    };
    for (const Case& c : cases) {
        tools::MufWriter w;
        w.set_version(c.version);
        w.add("x", "x");
        capture_.clear();
        const auto d = mount(w);
        EXPECT_EQ(d != nullptr, c.mounts) << std::hex << c.version;
        if (c.message != nullptr) {
            EXPECT_TRUE(capture_.contains(c.message)) << std::hex << c.version;
        }
    }
}

TEST_F(ArchiveTest, NamesIgnoreCaseAndSeparators)
{
    tools::MufWriter w;
    w.add("Textures\\Wall.CMT", "wall");
    w.add("textures/wall.cmt", "second"); // the first of equal names serves
    w.add("maps/e1/", "trailing");
    const auto d = mount(w);
    ASSERT_NE(d, nullptr);
    for (const char* name : {"Textures/Wall.CMT", "textures\\wall.cmt", "TEXTURES/WALL.CMT"}) {
        FileStream* const s = d->open(name, FSYS_BINARY);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(read_all(s), "wall");
        s->close();
    }
    FileStream* const s = d->open("MAPS\\E1", FSYS_BINARY);
    ASSERT_NE(s, nullptr);
    s->close();
    EXPECT_EQ(d->open("textures", FSYS_BINARY), nullptr);
    EXPECT_EQ(d->open(std::string(300, 'x').c_str(), FSYS_BINARY), nullptr);
}

TEST_F(ArchiveTest, MembersOpenAtOnceShareOneHostFile)
{
    tools::MufWriter w;
    w.add("first", "abcdef");
    w.add("second", "UVWXYZ");
    const auto d = mount(w);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(archive(d)->host_file_open());
    FileStream* const a = d->open("first", FSYS_BINARY);
    FileStream* const b = d->open("second", FSYS_BINARY);
    std::string mixed;
    for (int i = 0; i < 6; ++i) {
        mixed += static_cast<char>(a->get_char());
        mixed += static_cast<char>(b->get_char());
    }
    EXPECT_EQ(mixed, "aUbVcWdXeYfZ");
    EXPECT_EQ(a->get_char(), -1);
    EXPECT_EQ(b->get_char(), -1); // never into the next member's bytes
    EXPECT_TRUE(archive(d)->host_file_open());
    EXPECT_EQ(d->open_files(), 2);
    a->close(); // not the last user: the host file stays
    EXPECT_TRUE(archive(d)->host_file_open());
    b->close();
    EXPECT_FALSE(archive(d)->host_file_open());
    EXPECT_EQ(d->open_files(), 0);
}

TEST_F(ArchiveTest, EndOfMemberRules)
{
    tools::MufWriter w;
    w.add("m", "12345");
    w.add("next", "NEXT");
    const auto d = mount(w);
    FileStream* const s = d->open("m", FSYS_BINARY);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->seek(2, FSYS_SEEK_SET), 0);
    EXPECT_EQ(s->read_le32(), -1); // 3 bytes left
    EXPECT_EQ(s->tell(), 2);
    EXPECT_EQ(s->read_le16(), 0x3433);
    EXPECT_EQ(s->eof(), 0);
    EXPECT_EQ(s->get_char(), '5');
    EXPECT_NE(s->eof(), 0); // at the end as soon as the position reaches it
    EXPECT_EQ(s->read_be16(), -1);
    EXPECT_EQ(s->tell(), 5);
    s->close();
}

// Before the member's start there is nothing: refused, the position kept.
// Past its end a seek is taken, as a host file takes it, and reads there find
// the end, never the next member's bytes.
TEST_F(ArchiveTest, SeeksBeforeTheMemberAreRefusedAndPastItsEndReadAsItsEnd)
{
    tools::MufWriter w;
    w.add("before", "BEFORE");
    w.add("m", "0123456789");
    w.add("after", "AFTER");
    const auto d = mount(w);
    FileStream* const s = d->open("m", FSYS_BINARY);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->seek(3, FSYS_SEEK_SET), 0);
    struct Case {
        int64_t offset;
        int whence;
    };
    const Case refused[] = {
        {-1, FSYS_SEEK_SET}, {-4, FSYS_SEEK_CUR}, {-11, FSYS_SEEK_END}, {INT64_MIN, FSYS_SEEK_END},
        {INT64_MIN, FSYS_SEEK_CUR}, {INT64_MAX, FSYS_SEEK_CUR}, {INT64_MAX, FSYS_SEEK_END}, {0, 7},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(s->seek(c.offset, c.whence), -1) << c.offset << " from " << c.whence;
        EXPECT_EQ(s->tell(), 3) << c.offset << " from " << c.whence;
    }
    EXPECT_EQ(s->get_char(), '3');

    const Case past_end[] = {{11, FSYS_SEEK_SET}, {8, FSYS_SEEK_CUR}, {1, FSYS_SEEK_END}, {1000, FSYS_SEEK_END}};
    for (const Case& c : past_end) {
        ASSERT_EQ(s->seek(4, FSYS_SEEK_SET), 0);
        s->unget('x');
        EXPECT_EQ(s->seek(c.offset, c.whence), 0) << c.offset << " from " << c.whence;
        EXPECT_NE(s->eof(), 0);
        EXPECT_EQ(s->tell(), 10);
        EXPECT_EQ(s->get_char(), -1) << "the pushed-back character went with the seek";
        char buffer[4];
        EXPECT_EQ(s->read(buffer, 1, 4), 0u);
        EXPECT_EQ(s->read_le16(), -1);
    }
    EXPECT_EQ(s->seek(-1005, FSYS_SEEK_CUR), 0) << "back from 1000 past the end";
    EXPECT_EQ(s->get_char(), '5');
    EXPECT_EQ(s->seek(-10, FSYS_SEEK_END), 0);
    EXPECT_EQ(s->get_char(), '0');
    EXPECT_EQ(s->seek(0, FSYS_SEEK_END), 0);
    EXPECT_EQ(s->get_char(), -1);
    s->close();
}

TEST_F(ArchiveTest, ListingFilesAndSubdirectories)
{
    tools::MufWriter w;
    w.add("readme.txt", "r");
    w.add("maps/e1/info.txt", "i");
    w.add("maps/e2/info.txt", "i");
    w.add("maps/A Long Member Name.txt", "123");
    w.add("sounds/x.wav", "w");
    const auto d = mount(w);
    auto names = [&](const char* path, uint32_t mask) {
        FileList list;
        d->list(list, Dir(path, DIR_DIRECTORY), mask);
        std::vector<std::string> n;
        for (const FileNode* node = list.first(); node != nullptr; node = node->next) {
            n.push_back(std::string(node->name) + ((node->flags & FLIST_DIRECTORY) != 0 ? "/" : ""));
        }
        return n; // newest first
    };
    EXPECT_EQ(names("maps", FSYS_LIST_FILES | FSYS_LIST_DIRS),
              (std::vector<std::string>{"a long member name.txt", "e2/", "e1/"}));
    EXPECT_EQ(names("Maps/", FSYS_LIST_DIRS), (std::vector<std::string>{"e2/", "e1/"}));
    EXPECT_EQ(names("maps\\e1", FSYS_LIST_FILES), (std::vector<std::string>{"info.txt"}));
    const std::vector<std::string> root = {"sounds/", "maps/", "readme.txt"};
    EXPECT_EQ(names("", FSYS_LIST_FILES | FSYS_LIST_DIRS), root);
    EXPECT_EQ(names(".", FSYS_LIST_FILES | FSYS_LIST_DIRS), root);
    EXPECT_EQ(names("ma", FSYS_LIST_FILES | FSYS_LIST_DIRS), (std::vector<std::string>{}));

    FileList list;
    d->list(list, Dir("maps", DIR_DIRECTORY), FSYS_LIST_FILES);
    ASSERT_NE(list.first(), nullptr);
    EXPECT_EQ(list.first()->size, 3u);
    EXPECT_EQ(list.first()->size2, 3u);
    EXPECT_EQ(list.first()->flags, FLIST_FILE);
    EXPECT_EQ(list.first()->driver, d.get());
}

TEST_F(ArchiveTest, ArchiveRemovedWhileMountedGivesEndNotACrash)
{
    tools::MufWriter w;
    w.add("m", "data");
    const auto d = mount(w);
    ASSERT_NE(d, nullptr);
    std::filesystem::remove(tree_.path("a.muf"));
    FileStream* const s = d->open("m", FSYS_BINARY);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->get_char(), -1);
    EXPECT_NE(s->eof(), 0);
    EXPECT_TRUE(capture_.contains("Muf: Can't open 'a.muf' again !"));
    s->close();
}

TEST_F(ArchiveTest, NotAnArchiveIsRefusedSilently)
{
    tree_.write("text.muf", "MUF1 this is no archive");
    tree_.write("short.muf", "MU");
    tree_.make_dir("dir.muf");
    for (const char* name : {"text.muf", "short.muf", "dir.muf", "missing.muf"}) {
        EXPECT_EQ(ArchiveMuf::mount(name), nullptr) << name;
    }
    EXPECT_TRUE(capture_.lines().empty());
}

TEST_F(ArchiveTest, DamagedArchivesGiveAMessageNeverACrash)
{
    const std::string long255(255, 'n');
    const std::string long256(256, 'n');
    struct Case {
        const char* what;
        Bytes bytes;
        int entries; // -1: refused
        const char* message;
    };
    Case cases[] = {
        {"first block not HEAD", Bytes().id("MUF2").id("DIR ").u32(0), -1, "First block in 'raw.muf' is not HEAD"},
        {"HEAD shorter than its fields", Bytes().id("MUF2").id("HEAD").u32(2).u16(0x100).u32(0), -1,
         "HEAD block of 'raw.muf' is damaged"},
        {"HEAD past the end", Bytes().id("MUF2").id("HEAD").u32(0xFFFFFFF0).u16(0x100).u32(0), -1,
         "HEAD block of 'raw.muf' is damaged"},
        {"HEAD cut short", Bytes().id("MUF2").id("HEAD").u32(6).u16(0x100), -1, "damaged"},
        {"count far beyond the file", Bytes().head(0xFFFFFFFF).id("DIR ").u32(4 + Bytes::entry_size("a")).u32(1)
                                           .entry(0, 0, 4, "a"),
         1, "File count is not valid"},
        {"directory block past the end", Bytes().head(1).id("DIR ").u32(1000).u32(1).entry(0, 0, 4, "a"), -1,
         "Directory block runs past the end of 'raw.muf'"},
        {"directory block without its count", Bytes().head(1).id("DIR ").u32(2).u16(0), -1,
         "Directory block of 'raw.muf' is damaged"},
        {"entry crossing its block", Bytes().head(1).id("DIR ").u32(8).u32(1).entry(0, 0, 4, "abc"), -1,
         "runs past its block"},
        {"name without NUL in its block", Bytes().head(1).id("DIR ").u32(4 + 9 + 3).u32(1).u8(0).u32(0).u32(4)
                                               .id("abcd"),
         -1, "runs past its block"},
        {"member beyond the file", Bytes().head(1).id("DIR ").u32(4 + Bytes::entry_size("a")).u32(1)
                                        .entry(0, 4, 0x7FFFFFFF, "a"),
         -1, "Member 'a' lies outside 'raw.muf'"},
        {"offset and size wrapping 32 bits", Bytes().head(1).id("DIR ").u32(4 + Bytes::entry_size("a")).u32(1)
                                                  .entry(0, 0xFFFFFFF0, 0x20, "a"),
         -1, "lies outside"},
        {"entry count beyond its block", Bytes().head(2).id("DIR ").u32(4 + Bytes::entry_size("a")).u32(1000)
                                              .entry(0, 0, 4, "a").id("DIR ").u32(4 + Bytes::entry_size("b"))
                                              .u32(1).entry(0, 0, 4, "b"),
         2, nullptr},
        {"block length that would wrap back", Bytes().head(2).id("JUNK").u32(0xFFFFFFF8).id("DIR ").u32(4).u32(0),
         0, "File count is not valid"},
        {"name of 255 characters", Bytes().head(1).id("DIR ").u32(4 + Bytes::entry_size(long255)).u32(1)
                                         .entry(0, 0, 4, long255),
         1, nullptr},
        {"name of 256 characters", Bytes().head(1).id("DIR ").u32(4 + Bytes::entry_size(long256)).u32(1)
                                         .entry(0, 0, 4, long256),
         0, "too long in 'raw.muf', entry dropped"},
    };
    for (Case& c : cases) {
        capture_.clear();
        const auto d = mount(c.bytes);
        if (c.entries < 0) {
            EXPECT_EQ(d, nullptr) << c.what;
        } else {
            ASSERT_NE(d, nullptr) << c.what;
            EXPECT_EQ(archive(d)->entry_count(), c.entries) << c.what;
        }
        if (c.message != nullptr) {
            EXPECT_TRUE(capture_.contains(c.message)) << c.what;
        }
    }
}

TEST_F(ArchiveTest, HugeNameIsDroppedWithoutReadingPastItsBlock)
{
    const std::string huge(100000, 'h');
    const auto d = mount(Bytes().head(2).id("DIR ").u32(4 + Bytes::entry_size(huge) + Bytes::entry_size("ok")).u32(2)
                             .entry(0, 0, 4, huge).entry(0, 0, 4, "ok"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(archive(d)->entry_count(), 1);
    EXPECT_EQ(archive(d)->entry(0).name, "ok");
}

TEST_F(ArchiveTest, DeletedEntryWithALongNameGoesSilently)
{
    const std::string long_name(300, 'd');
    const auto d = mount(Bytes().head(1).id("DIR ").u32(4 + Bytes::entry_size(long_name) + Bytes::entry_size("ok"))
                             .u32(2).entry(0x80, 0, 4, long_name).entry(0, 0, 4, "ok"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(archive(d)->entry_count(), 1);
    EXPECT_FALSE(capture_.contains("too long"));
    EXPECT_FALSE(capture_.contains("File count"));
}

TEST_F(ArchiveTest, TextModeDropsEveryCarriageReturn)
{
    // Unlike a host file, a member in text mode loses lone carriage returns too.
    tools::MufWriter w;
    w.add("t", "a\rb\r\nc d\r");
    const auto d = mount(w);
    ASSERT_NE(d, nullptr);
    FileStream* s = d->open("t", FSYS_TEXT);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(read_all(s), "ab\nc d");
    s->close();
    s = d->open("t", FSYS_TEXT);
    char word[16];
    ASSERT_NE(s->read_word(word, sizeof word), nullptr);
    EXPECT_STREQ(word, "ab");
    ASSERT_NE(s->read_word(word, sizeof word), nullptr);
    EXPECT_STREQ(word, "c");
    ASSERT_NE(s->read_word(word, sizeof word), nullptr);
    EXPECT_STREQ(word, "d");
    EXPECT_EQ(s->read_word(word, sizeof word), nullptr);
    s->close();
    s = d->open("t", FSYS_BINARY);
    EXPECT_EQ(read_all(s), "a\rb\r\nc d\r");
    s->close();
}

TEST_F(ArchiveTest, PushedBackCharacterRules)
{
    tools::MufWriter w;
    w.add("m", "ABCDEF");
    const auto d = mount(w);
    ASSERT_NE(d, nullptr);
    FileStream* const s = d->open("m", FSYS_BINARY);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->get_char(), 'A');
    s->unget('x');
    // The fixed-size readers take the raw bytes and leave the pushed-back one.
    EXPECT_EQ(s->read_le16(), 0x4342);
    EXPECT_EQ(s->get_char(), 'x');
    EXPECT_EQ(s->get_char(), 'D');
    // A seek drops it.
    s->unget('y');
    EXPECT_EQ(s->seek(0, FSYS_SEEK_CUR), 0);
    EXPECT_EQ(s->get_char(), 'E');
    // It is returned even at the end of the member.
    EXPECT_EQ(s->get_char(), 'F');
    s->unget('z');
    EXPECT_NE(s->eof(), 0);
    EXPECT_EQ(s->get_char(), 'z');
    EXPECT_EQ(s->get_char(), -1);
    s->close();
}
