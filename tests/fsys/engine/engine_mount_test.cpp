// The file system's part of engine start-up: the current directory, the base
// directories with their archives, and the sources of the option `open`.
#include "core/config_variable.h"
#include "engine/engine.h"
#include "fsys/archive_driver.h"
#include "fsys/dir_driver.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "host/host_clock.h"
#include "tools/fsys/muf_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class EngineMountTest : public ::testing::Test {
protected:
    void SetUp() override { tree_.enter(); }
    void TearDown() override { delete engine_; }

    void archive(const std::string& name, const std::string& who)
    {
        tools::MufWriter w;
        w.add("who", who);
        tree_.write(name, w.build());
    }

    // Start-up resets the print streams, so its messages are read from the log.
    std::string log()
    {
        delete engine_;
        engine_ = nullptr;
        std::ifstream in(tree_.path("kavrin.log"));
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    int start(std::vector<const char*> args)
    {
        args.insert(args.begin(), "ostrel");
        engine_ = new Engine;
        return engine_->init(static_cast<int>(args.size()), args.data());
    }

    // "name@priority" of each mount, front first.
    static std::vector<std::string> mounts()
    {
        std::vector<std::string> out;
        for (const FSys::Mount* m = fsys->first(); m != nullptr; m = m->next) {
            std::string name = "?";
            if (const auto* a = dynamic_cast<const ArchiveDriver*>(m->driver)) {
                name = a->path().text();
            } else if (const auto* d = dynamic_cast<const DirDriver*>(m->driver)) {
                name = d->directory().text();
            }
            out.push_back(name + "@" + std::to_string(m->priority));
            EXPECT_EQ(m->sid, 1u);
        }
        return out;
    }

    TempTree tree_;
    host::ManualClock clock_;
    host::ScopedClock scoped_{&clock_};
    Engine* engine_ = nullptr;
};

} // namespace

TEST_F(EngineMountTest, DefaultBaseWithPatchArchives)
{
    archive("kavrin/patch3", "P3");
    archive("kavrin/PatchX", "PX");
    archive("kavrin/Data.MUF", "D");
    tree_.write("kavrin/notes.txt", "not an archive");
    archive("kavrin/sub/inner.muf", "I");
    ASSERT_EQ(start({}), 1);
    EXPECT_STREQ(cvar_list->find("Base")->string(), "kavrin");
    const std::vector<std::string> m = mounts();
    ASSERT_EQ(m.size(), 5u) << ::testing::PrintToString(m);
    EXPECT_EQ(m.front(), "kavrin\\patch3@23");
    EXPECT_EQ(m.back(), "@0");
    // Once a patch leads the list, every later mount of 10 goes behind the
    // others of 10: the base, mounted after its archives, ends up last of them.
    EXPECT_EQ(m[3], "kavrin\\@10");
    EXPECT_NE(std::find(m.begin(), m.end(), "kavrin\\patchx@10"), m.end());
    EXPECT_NE(std::find(m.begin(), m.end(), "kavrin\\data.muf@10"), m.end());

    FileStream* const s = fsys->open("who", FSYS_BINARY);
    ASSERT_NE(s, nullptr);
    char text[3] = {};
    EXPECT_EQ(s->read(text, 1, 2), 2u);
    EXPECT_STREQ(text, "P3");
    s->close();
}

TEST_F(EngineMountTest, BaseOptionsInOrderThenTheDefault)
{
    tree_.make_dir("a");
    tree_.make_dir("B");
    tree_.make_dir("c");
    tree_.make_dir("kavrin");
    ASSERT_EQ(start({"-base", "a", "B", "-base", "c"}), 1);
    EXPECT_STREQ(cvar_list->find("Base")->string(), "a");
    // Each equal-priority mount goes in front of the previous ones.
    EXPECT_EQ(mounts(), (std::vector<std::string>{"kavrin\\@10", "c\\@10", "b\\@10", "a\\@10", "@0"}));
}

TEST_F(EngineMountTest, FirstBaseMustBeAnEightDotThreeName)
{
    for (const char* bad : {"../up", "much_too_long_name", "a-b"}) {
        EXPECT_EQ(start({"-log", "-base", bad}), 0) << bad;
        EXPECT_NE(log().find("is not a valid basename"), std::string::npos) << bad;
    }
    // Later parameters need not be.
    tree_.make_dir("ok");
    tree_.make_dir("much_too_long_name");
    ASSERT_EQ(start({"-base", "ok", "much_too_long_name"}), 1);
    EXPECT_EQ(mounts()[0], "much_too_long_name\\@10");
}

TEST_F(EngineMountTest, MissingBasesAndSourcesAreNotFatal)
{
    tree_.write("plain", "a file");
    archive("extra.muf", "E");
    ASSERT_EQ(start({"-log", "-base", "nothere", "plain", "-open", "extra.muf", "missing"}), 1);
    EXPECT_EQ(mounts(), (std::vector<std::string>{"extra.muf@10", "@0"}));
    const std::string text = log();
    for (const char* message : {"Kavrin: Can't find directory 'nothere'", "Kavrin: 'plain' is not a directory",
                                "Kavrin: Can't find directory 'kavrin'", "Kavrin: Can't open source 'missing' !"}) {
        EXPECT_NE(text.find(message), std::string::npos) << message;
    }
}

TEST_F(EngineMountTest, ShutdownClosesTheFileSystem)
{
    ASSERT_EQ(start({}), 1);
    ASSERT_NE(fsys, nullptr);
    engine_->shutdown();
    EXPECT_EQ(fsys, nullptr);
}

TEST_F(EngineMountTest, PatchNumberDecidesTheArchivePriority)
{
    struct Case {
        const char* file;
        int32_t priority;
    };
    const Case cases[] = {
        {"patch3", 23},       {"PATCH12.MUF", 32}, {"Patch0.muf", 20},         {"patch-2.muf", 18},
        {"patch.muf", 10},    {"patchx1", 10},     {"apatch1.muf", 10},        {"patch 7", 27},
        {"patch2147483647", INT32_MAX}, // clamped: higher numbers never wrap below lower ones
    };
    for (const Case& c : cases) {
        archive(std::string("kavrin/") + c.file, c.file);
    }
    ASSERT_EQ(start({}), 1);
    const std::vector<std::string> m = mounts();
    for (const Case& c : cases) {
        Dir expected((std::string("kavrin/") + c.file).c_str(), DIR_FILE);
        const std::string entry = std::string(expected.text()) + "@" + std::to_string(c.priority);
        EXPECT_NE(std::find(m.begin(), m.end(), entry), m.end()) << entry << " in " << ::testing::PrintToString(m);
    }
}
