#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fsys/fsys.h"
#include "script/k_io.h"
#include "script/kcontext.h"
#include "script/kio.h"
#include "support/print_capture.h"

namespace {

TEST(Pline, TextsStayValidForAboutThreeAndAHalfKilobytes)
{
    const std::string long_text(400, 'x');
    const char* texts[10];
    for (int i = 0; i < 10; ++i) {
        texts[i] = pline_format("%c%s", 'a' + i, long_text.c_str());
    }
    for (int i = 1; i < 10; ++i) {
        EXPECT_EQ(texts[i][0], 'a' + i) << i;
        EXPECT_EQ(std::string(texts[i] + 1), long_text) << i;
    }
    EXPECT_STREQ(pline_format(nullptr), "");
}

class HostIo : public ::testing::Test {
protected:
    std::filesystem::path dir;
    FSys fs;
    FSys* saved = nullptr;
    kcontext_t* c = nullptr;

    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() / ("kio_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "lines.txt") << "first line\nsecond  word\n";
        fs.init();
        ASSERT_EQ(fs.mount(dir.string().c_str(), 1, 0), 1);
        saved = fsys;
        fsys = &fs;
        c = K_AllocContext(nullptr, nullptr, nullptr, 1u << 20);
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(install_host_io(c), 1);
    }
    void TearDown() override
    {
        K_FreeContext(c);
        for (int e = KFILE_FIRST_FILE; e < KFILE_COUNT; ++e) {
            host_close_file(e);
        }
        fs.close();
        fsys = saved;
        std::filesystem::remove_all(dir);
    }
};

TEST_F(HostIo, StandardDescriptorsGoToThePrintStreams)
{
    PrintCapture capture;
    kio_puts(c, KFD_STDOUT, "hello");
    kio_putc(c, KFD_STDOUT, '!');
    kio_printf(c, KFD_STDERR, "KRun: %s!\n", "broken");
    ASSERT_EQ(capture.lines().size(), 3u);
    EXPECT_EQ(capture.lines()[0].stream, P_MESSAGE);
    EXPECT_EQ(capture.lines()[1].text, "!");
    EXPECT_EQ(capture.lines()[2].stream, P_ERROR);
    EXPECT_TRUE(capture.contains("Error: KRun: broken!")) << capture.lines()[2].text;
}

TEST_F(HostIo, StandardInputAnswersALineEndAtOnce)
{
    EXPECT_STREQ(kio_gets(c, KFD_STDIN), "\n");
    EXPECT_EQ(kio_getc(c, KFD_STDIN), '\n');
    EXPECT_EQ(kio_getc(c, KFD_STDOUT), -1);
    EXPECT_EQ(kio_error(c, KFD_STDOUT), 0);
}

TEST_F(HostIo, FilesOpenIntoEntriesThreeToSixOnly)
{
    int entries[4];
    for (int& e : entries) {
        e = host_open_file("lines.txt", FSYS_TEXT);
    }
    EXPECT_EQ(entries[0], 3);
    EXPECT_EQ(entries[3], 6);
    EXPECT_EQ(host_open_file("lines.txt", FSYS_TEXT), -1) << "a fifth open";
    host_close_file(1);
    EXPECT_EQ(host_file_type(1), KFILE_STDOUT) << "standard output stays";
    host_close_file(4);
    EXPECT_EQ(host_file_type(4), KFILE_FREE);
    EXPECT_EQ(host_open_file("missing.txt", FSYS_TEXT), -1);
    EXPECT_EQ(host_file_type(4), KFILE_FREE);
}

TEST_F(HostIo, ReadingLinesAndWordsThroughADescriptor)
{
    const int e = host_open_file("lines.txt", FSYS_TEXT);
    ASSERT_EQ(e, 3);
    EXPECT_STREQ(kio_gets(c, 3), "first line\n");
    EXPECT_STREQ(kio_gettok(c, 3), "second");
    EXPECT_STREQ(kio_gettok(c, 3), "word");
    EXPECT_EQ(kio_gettok(c, 3), nullptr);
}

TEST_F(HostIo, WritingAHostFile)
{
    const std::string name = (dir / "out.ksv").string();
    const int e = host_create_file(name.c_str(), 1);
    ASSERT_GE(e, 3);
    kio_printf(c, e, "O.%x %s {\n", 3u, "Door@vt");
    kio_putc(c, e, '}');
    EXPECT_EQ(kio_error(c, e), 0);
    host_close_file(e);
    std::ifstream in(name);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "O.3 Door@vt {\n}");
}

TEST_F(HostIo, DescriptorSevenIsAlwaysFree)
{
    kio_puts(c, 7, "dropped");
    EXPECT_EQ(kio_gets(c, 7), nullptr);
    EXPECT_EQ(kio_error(c, 7), 1);
}

TEST_F(HostIo, FileReadOfAMissingFileAnswersAMessage)
{
    char* buffer = nullptr;
    EXPECT_EQ(kio_fileread(c, "absent.kob", &buffer), 0u);
    EXPECT_STREQ(buffer, "Can't find object file \"absent.kob\"");
    const uint32_t n = kio_fileread(c, "lines.txt", &buffer);
    ASSERT_EQ(n, 24u);
    EXPECT_EQ(std::string(buffer, 5), "first");
    std::free(buffer);
}

TEST(DefaultIo, FileReadOfAMissingFileAnswersItsMessage)
{
    kcontext_t* c = K_AllocContext(nullptr, nullptr, nullptr, 1u << 20);
    ASSERT_NE(c, nullptr);
    kio_defaults(c);
    char* buffer = nullptr;
    EXPECT_EQ(kio_fileread(c, "/nonexistent/x.kob", &buffer), 0u);
    EXPECT_STREQ(buffer, "can't find object file \"/nonexistent/x.kob\"");
    K_FreeContext(c);
}

} // namespace
