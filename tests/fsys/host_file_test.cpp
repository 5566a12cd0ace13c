#include "core/command_line.h"
#include "host/host_file.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

std::string read_all(std::FILE* f)
{
    std::string s;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
        s += static_cast<char>(c);
    }
    std::fclose(f);
    return s;
}

} // namespace

TEST(HostFile, EngineNamesFindMixedCaseFiles)
{
    TempTree tree;
    tree.write("Kavrin/Maps/E1/Info.TXT", "mixed");
    tree.enter();
    host::forget_resolved_names();
    struct Case {
        const char* name;
        const char* content; // null: not found
    };
    const Case cases[] = {
        {"kavrin\\maps\\e1\\info.txt", "mixed"},
        {"KAVRIN/MAPS/E1/INFO.TXT", "mixed"},
        {"kavrin/maps/e1//info.txt", "mixed"},
        {"./kavrin/./maps/e1/info.txt", "mixed"},
        {"kavrin/maps/e1/../e1/info.txt", "mixed"},
        {"kavrin\\maps\\e1\\none.txt", nullptr},
        {"kavrin\\maps\\e1\\info.txt\\x", nullptr},
        {"kavrin\\maps", nullptr}, // a directory is no file
        {"", nullptr},
    };
    for (const Case& c : cases) {
        std::FILE* const f = host::open_file(c.name, host::FileMode::READ);
        if (c.content == nullptr) {
            EXPECT_EQ(f, nullptr) << c.name;
            if (f != nullptr) {
                std::fclose(f);
            }
        } else {
            ASSERT_NE(f, nullptr) << c.name;
            EXPECT_EQ(read_all(f), c.content) << c.name;
        }
    }
    // Absolute names resolve the same way.
    std::string upper = tree.path("KAVRIN/MAPS/E1/INFO.TXT");
    std::FILE* const f = host::open_file(upper.c_str(), host::FileMode::READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), "mixed");
}

TEST(HostFile, ExactNameWinsOverCaseVariants)
{
    TempTree tree;
    tree.write("data/A.txt", "upper");
    tree.write("data/a.txt", "lower");
    tree.enter();
    std::FILE* f = host::open_file("data/a.txt", host::FileMode::READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), "lower");
    f = host::open_file("DATA/A.txt", host::FileMode::READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), "upper");
}

TEST(HostFile, StatusAndExistence)
{
    TempTree tree;
    tree.write("Base/Patch1.MUF", "12345");
    tree.enter();
    host::FileStatus status;
    ASSERT_TRUE(host::file_status("base\\patch1.muf", status));
    EXPECT_EQ(status.mode & host::FILE_TYPE_MASK, host::FILE_TYPE_REGULAR);
    EXPECT_EQ(status.size, 5);
    ASSERT_TRUE(host::file_status("BASE", status));
    EXPECT_EQ(status.mode & host::FILE_TYPE_MASK, host::FILE_TYPE_DIRECTORY);
    ASSERT_TRUE(host::file_status("", status)); // the current directory
    EXPECT_TRUE(host::file_exists("base/PATCH1.muf"));
    EXPECT_FALSE(host::file_exists("base/patch2.muf"));
    std::string path;
    ASSERT_TRUE(host::resolve_path("base\\patch1.muf", path));
    EXPECT_EQ(path, "Base/Patch1.MUF");
}

TEST(HostFile, NewFilesAreSeenAfterTheDirectoryWasCached)
{
    TempTree tree;
    tree.make_dir("Dir");
    tree.enter();
    host::forget_resolved_names();
    EXPECT_FALSE(host::file_exists("dir/one.txt"));
    for (int i = 0; i < 20; ++i) {
        const std::string name = "Dir/New" + std::to_string(i) + ".TXT";
        tree.write(name.substr(0), "x");
        const std::string engine_name = "dir\\new" + std::to_string(i) + ".txt";
        EXPECT_TRUE(host::file_exists(engine_name.c_str())) << engine_name;
    }
    std::filesystem::remove(tree.path("Dir/New0.TXT"));
    EXPECT_FALSE(host::file_exists("dir\\new0.txt"));
}

TEST(HostFile, WritingReusesExistingDirectoriesAndFiles)
{
    TempTree tree;
    tree.write("Saves/Slot.SAV", "old");
    tree.enter();
    std::FILE* f = host::open_file("saves\\slot.sav", host::FileMode::WRITE);
    ASSERT_NE(f, nullptr);
    std::fputs("new", f);
    std::fclose(f);
    f = host::open_file("Saves/Slot.SAV", host::FileMode::READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), "new");
    f = host::open_file("saves\\Other.sav", host::FileMode::WRITE);
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(tree.exists("Saves/Other.sav"));
    // A missing directory is not created by opening.
    EXPECT_EQ(host::open_file("nowhere\\x.sav", host::FileMode::WRITE), nullptr);
    EXPECT_TRUE(host::make_directory("NOWHERE"));
    EXPECT_TRUE(host::make_directory("nowhere"));
    EXPECT_TRUE(tree.exists("NOWHERE"));
    EXPECT_FALSE(tree.exists("nowhere"));
}

TEST(HostFile, ListingGivesLongNamesAndKinds)
{
    TempTree tree;
    tree.write("D/A Very Long File Name.Archive", "1234");
    tree.make_dir("D/Sub Directory");
    tree.enter();
    std::vector<host::DirEntry> entries;
    ASSERT_TRUE(host::list_directory("d\\", entries));
    std::sort(entries.begin(), entries.end(),
              [](const host::DirEntry& a, const host::DirEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "A Very Long File Name.Archive");
    EXPECT_FALSE(entries[0].directory);
    EXPECT_EQ(entries[0].size, 4u);
    EXPECT_EQ(entries[1].name, "Sub Directory");
    EXPECT_TRUE(entries[1].directory);
    entries.clear();
    EXPECT_FALSE(host::list_directory("none", entries));
}

TEST(HostFile, ResponseFilesAreFoundWhateverTheirCase)
{
    TempTree tree;
    tree.write("Main.OPT", "-base game\r\n");
    tree.enter();
    CommandLine line;
    const char* argv[] = {"ostrel", "@main.opt"};
    line.parse(2, argv);
    ASSERT_TRUE(line.find_option("base"));
    ASSERT_EQ(line.parameter_count(), 1);
    EXPECT_STREQ(line.parameter(0), "game");
}
