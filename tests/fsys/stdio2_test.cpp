#include "fsys/stdio2.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

TEST(Stdio2, OpenForWriteCreatesTheDirectoriesFirst)
{
    TempTree tree;
    tree.enter();
    std::FILE* const f = open_for_write("shots/x/a.bmp", STDIO2_BINARY);
    ASSERT_NE(f, nullptr);
    std::fputs("BM", f);
    std::fclose(f);
    EXPECT_TRUE(tree.exists("shots/x/a.bmp"));
    EXPECT_EQ(open_for_write("shots/x/b.bmp", 3), nullptr);
    EXPECT_FALSE(tree.exists("shots/x/b.bmp"));
    EXPECT_EQ(file_exists("SHOTS\\X\\A.BMP"), 1);
    EXPECT_EQ(file_exists("shots/x/none"), 0);
}

TEST(Stdio2, ByteOrderWritersAndReaders)
{
    TempTree tree;
    tree.enter();
    std::FILE* f = open_for_write("n.bin", STDIO2_BINARY);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(write_le16(0xAABB1234u, f), 0xAABB1234u);
    write_le32(0x11223344u, f);
    write_be16(0x1234u, f);
    write_be32(0x11223344u, f);
    write_le32(0xFFFFFFFEu, f);
    std::fputc(0x7F, f); // one byte of a value that never got its second
    std::fclose(f);

    std::ifstream in(tree.path("n.bin"), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<uint8_t> expected = {0x34, 0x12, 0x44, 0x33, 0x22, 0x11, 0x12, 0x34, 0x11,
                                           0x22, 0x33, 0x44, 0xFE, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(bytes, expected);

    f = std::fopen("n.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(file_size(f), 17);
    EXPECT_EQ(read_le16(f), 0x1234);
    EXPECT_EQ(std::ftell(f), 2); // size kept the position
    EXPECT_EQ(read_le32(f), 0x11223344);
    EXPECT_EQ(read_be16(f), 0x1234);
    EXPECT_EQ(read_be32(f), 0x11223344);
    EXPECT_EQ(read_le32(f), -2);
    // A missing byte adds -1 at its place: 0x7F + (-1 << 8).
    EXPECT_EQ(read_le16(f), 0x7F - 0x100);
    EXPECT_EQ(read_be32(f), -1 - 0x100 - 0x10000 - 0x1000000);
    std::fclose(f);
}
