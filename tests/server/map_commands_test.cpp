// Map, Load, Save and CloseMap: their help, who may use them, saved games,
// and names that could reach outside the base directory.
#include "server_fixture.h"

#include "script/klabels.h"
#include "script/krun.h"

#include <filesystem>

namespace {

const char* const PROGRAM = R"(
.global spawnclient, archive, make, cmos_set, archived, Thing@vt
.code
.func spawnclient, 8
    push 1
    ret1
; Counts its calls.
.func archive, 8
    push archived
    load1
    push 1
    add
    push archived
    store1
    push 0
    ret1
.func make, 16
    new 8, Thing@vt
    pushargs
    load1
    pushspofs 4
    load1
    store1
    ret1
.func cmos_set, 16
    callnative @@get_cmos, 0
    pushargs
    load1
    pushresult1
    store1
    ret
.data
archived: .word 0
.class Thing@vt, 4
    .field n, int, 0
.endclass
)";

class MapCommands : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        variables.link(CVTYPE_STRING, 0, "Base", tree.path().c_str(), 0);
    }
    void console(const std::string& text)
    {
        server.cmd->add_text((text + "\n").c_str());
        server.cmd->exec_buffer();
    }
    void call(const char* name, std::vector<uint32_t> args = {})
    {
        ASSERT_TRUE(call_address(server.k_context, labels_address_of(server.k_context->labels, name), args));
    }
    std::string file(const std::string& relative) const
    {
        std::ifstream in(tree.path(relative), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool client_told(const FakeClient& c, const std::string& text) const
    {
        for (const auto& [stream, t] : c.texts) {
            if (t.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(MapCommands, WrongArgumentCountsPrintTheHelpAndChangeNothing)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    const uint32_t id = server.map_id;
    const std::pair<const char*, const char*> cases[] = {
        {"Map snake other", "Map <map_directory>"},
        {"Map", "Map <map_directory>"},
        {"Load snake", "Load <map> <save>"},
        {"Save a b", "Save <save>"},
    };
    for (const auto& [text, help] : cases) {
        SCOPED_TRACE(text);
        capture.clear();
        console(text);
        EXPECT_TRUE(capture.contains(help)) << printed();
        EXPECT_FALSE(capture.contains("Loading map"));
        EXPECT_EQ(server.map_id, id);
        EXPECT_EQ(server.world_flags & SWF_READY, SWF_READY);
    }
    console("CloseMap and more");
    EXPECT_EQ(server.map, nullptr) << "CloseMap takes no arguments and ignores them";
}

TEST_F(MapCommands, OnlyAdministratorsMayUseThem)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    FakeClient player(&hive, "local");
    ASSERT_TRUE(spawn({&player}));
    const std::pair<const char*, const char*> cases[] = {
        {"Load snake s", "Only administrators can load game"},
        {"Save s", "Only administrators can save game"},
        {"Map snake", "Only administrators can change map"},
        {"CloseMap", "Only administrators can close map"},
    };
    for (const auto& [text, refusal] : cases) {
        SCOPED_TRACE(text);
        player.send_command(text);
        frame({&player});
        frame({&player});
        EXPECT_TRUE(client_told(player, refusal));
        EXPECT_NE(server.map, nullptr);
        EXPECT_EQ(player.map_changes, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(tree.path("maps/snake/s")));

    fake_client::Options o;
    o.name = "admin";
    o.administrator = true;
    FakeClient admin(&hive, "local", o);
    ASSERT_TRUE(spawn({&player, &admin}));
    admin.send_command("CloseMap");
    frame({&player, &admin});
    frame({&player, &admin});
    EXPECT_EQ(server.map, nullptr);
    EXPECT_EQ(player.map_changes, 1);
}

TEST_F(MapCommands, ASavedGameRoundTripsTheScriptStateButNotThePersistentBlock)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    call("make", {42});
    call("make", {0xFFFFFFF9u});
    call("cmos_set", {77});
    capture.clear();
    console("Save first");
    EXPECT_TRUE(capture.contains("Saving game into 'maps/snake/first'...")) << printed();
    const std::string first = file("maps/snake/first");
    EXPECT_NE(first.find("Thing@vt"), std::string::npos) << first;
    EXPECT_FALSE(std::filesystem::exists(tree.path("maps/snake/first.new")));
    const uint32_t archived = labels_address_of(server.k_context->labels, "archived");
    EXPECT_EQ(server.k_context->arena.word(archived), 1u) << "archive runs before the save";

    call("cmos_set", {88});
    console("Load snake first");
    ASSERT_EQ(server.world_flags & SWF_READY, SWF_READY) << printed();
    uint32_t cmos = 0;
    std::memcpy(&cmos, server.k_cmos, 4);
    EXPECT_EQ(cmos, 88u) << "the block comes from its file, written at the stop";
    console("Save second");
    EXPECT_EQ(file("maps/snake/second"), first);
}

TEST_F(MapCommands, FailedLoadsAndSavesSayWhyAndLeaveNothingBehind)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    console("Load snake nosave");
    EXPECT_TRUE(capture.contains("Server: Can't open 'maps/snake/nosave'"));
    EXPECT_EQ(server.map, nullptr);
    EXPECT_EQ(server.world_flags, 0u);
    EXPECT_EQ(server.map_id, 0u);

    capture.clear();
    console("Save anything");
    EXPECT_TRUE(capture.contains("Server: World not active - can't save"));
    EXPECT_FALSE(std::filesystem::exists(tree.path("maps/snake/anything")));

    console("Map nomap");
    EXPECT_EQ(server.map, nullptr);
    console("Map snake");
    EXPECT_NE(server.map, nullptr);

    // A save that cannot be written keeps the one before it.
    call("make", {1});
    console("Save keep");
    const std::string kept = file("maps/snake/keep");
    ASSERT_FALSE(kept.empty());
    std::filesystem::create_directories(tree.path("maps/snake/keep.new/blocker"));
    capture.clear();
    console("Save keep");
    EXPECT_TRUE(capture.contains("Server: Can't open 'maps/snake/keep'"));
    EXPECT_EQ(file("maps/snake/keep"), kept);
}

TEST_F(MapCommands, NamesThatLeaveTheirFolderAreRefusedForEveryone)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    fake_client::Options o;
    o.name = "admin";
    o.administrator = true;
    FakeClient admin(&hive, "local", o);
    ASSERT_TRUE(spawn({&admin}));
    const char* const commands[] = {
        "Save ../../evil", "Save ../evil",    "Save sub/evil", "Save /tmp/ostrel_evil", "Save ..", "Save sub\\evil",
        "Save c:evil",     "Load snake ../x", "Load .. x",     "Map ../snake",          "Map /tmp",
    };
    for (const char* text : commands) {
        SCOPED_TRACE(text);
        // A second apart, so that the limit on the lines of clients' commands holds none back.
        advance(1.0);
        capture.clear();
        admin.texts.clear();
        admin.send_command(text);
        frame({&admin});
        frame({&admin});
        EXPECT_TRUE(capture.contains("is not a plain name")) << printed();
        EXPECT_TRUE(client_told(admin, "is not a plain name"));
        EXPECT_NE(server.map, nullptr);
        capture.clear();
        console(text);
        EXPECT_TRUE(capture.contains("is not a plain name"));
        EXPECT_NE(server.map, nullptr);
    }
    for (const char* path : {"evil", "maps/evil", "maps/snake/sub", "/tmp/ostrel_evil"}) {
        EXPECT_FALSE(std::filesystem::exists(tree.path(path))) << path;
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(tree.path()).parent_path() / "evil"));
}

} // namespace
