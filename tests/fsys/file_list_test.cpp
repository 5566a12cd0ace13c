#include "fsys/file_list.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

FileNode* add(FileList& list, const char* name, uint32_t flags)
{
    FileNode* const node = list.add();
    std::strcpy(node->name, name);
    node->flags = flags;
    return node;
}

} // namespace

TEST(FileList, NewestNodeFirst)
{
    FileList list;
    EXPECT_EQ(list.first(), nullptr);
    add(list, "x", FLIST_FILE);
    add(list, "y", FLIST_FILE);
    add(list, "z", FLIST_FILE);
    const char* expected[] = {"z", "y", "x"};
    int i = 0;
    for (const FileNode* n = list.first(); n != nullptr; n = n->next, ++i) {
        ASSERT_LT(i, 3);
        EXPECT_STREQ(n->name, expected[i]);
    }
    EXPECT_EQ(i, 3);
    list.clear();
    EXPECT_EQ(list.first(), nullptr);
}

TEST(FileList, FindByNameAndKind)
{
    FileList list;
    FileNode* const file = add(list, "maps", FLIST_FILE);
    FileNode* const dir = add(list, "maps", FLIST_DIRECTORY);
    FileNode* const packed = add(list, "Data.muf", FLIST_FILE | FLIST_COMPRESSED);
    EXPECT_EQ(list.find("maps", FLIST_FILE, FLIST_KIND_MASK), file);
    EXPECT_EQ(list.find("maps", FLIST_DIRECTORY, FLIST_KIND_MASK), dir);
    EXPECT_EQ(list.find("maps", 0, 0), dir); // any kind: the front one
    EXPECT_EQ(list.find("data.muf", 0, 0), nullptr); // byte for byte
    EXPECT_EQ(list.find_match("*.MUF", FLIST_FILE, FLIST_KIND_MASK), nullptr); // case counts
    EXPECT_EQ(list.find_match("*.muf", FLIST_FILE, FLIST_KIND_MASK | FLIST_COMPRESSED), nullptr);
    EXPECT_EQ(list.find_match("D*.muf", FLIST_FILE | FLIST_COMPRESSED, 0x3001), packed);
    EXPECT_EQ(list.find_match("m?ps", FLIST_FILE, FLIST_KIND_MASK), file);
    EXPECT_EQ(FileList::match(packed, "d*"), 0);
    EXPECT_EQ(FileList::match(packed, "D*"), 1);
}
