// The script glue: the persistent block, the list of script object files,
// the initial script state and console commands of the scripts.
#include "server_fixture.h"

#include "script/klabels.h"
#include "script/krun.h"

#include <cstring>
#include <filesystem>

namespace {

const char* const PROGRAM = R"(
.global spawnclient, archive, _init_1_, on_command, cmos_set, unregister_hello, unregister_map, seen
.code
.func spawnclient, 8
    push 1
    ret1
.func archive, 8
    push 0
    ret1
.func _init_1_, 16
    push "Hello", on_command, 7, 99, "Hello <words>", 0
    callnative @@register_command, 24
    ret
; (client, id, argc, argv, value) into seen
.func on_command, 32
    pushargs
    load3
    push seen
    store3
    pushargsofs 12
    load2
    push seen+12
    store2
    ret
.func cmos_set, 16
    callnative @@get_cmos, 0
    pushargs
    load1
    pushresult1
    store1
    ret
.func unregister_hello, 16
    push "Hello", on_command, 7
    callnative @@unregister_command, 12
    pushresult1
    ret1
.func unregister_map, 16
    push "Map", on_command, 7
    callnative @@unregister_command, 12
    pushresult1
    ret1
.data
seen: .space 20
)";

class ScriptGlue : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        variables.link(CVTYPE_STRING, 0, "Base", tree.path().c_str(), 0);
    }
    uint32_t address(const char* name) const { return labels_address_of(server.k_context->labels, name); }
    void call(const char* name, std::vector<uint32_t> args = {})
    {
        ASSERT_TRUE(call_address(server.k_context, address(name), args)) << name;
    }
    uint32_t cmos_word() const
    {
        uint32_t v = 0;
        std::memcpy(&v, server.k_cmos, 4);
        return v;
    }
    std::vector<uint8_t> file(const std::string& relative) const
    {
        std::ifstream in(tree.path(relative), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The kcmos.bin layout with its fields given.
    static std::vector<uint8_t> kcmos(const char* form, uint32_t head_length, uint32_t version, uint32_t size,
                                      uint32_t data_length, uint32_t first_word, size_t data_bytes = 1024)
    {
        std::vector<uint8_t> out;
        const auto put = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i) {
                out.push_back(static_cast<uint8_t>(v >> (8 * i)));
            }
        };
        const auto tag = [&](const char* t) {
            put(static_cast<uint32_t>(static_cast<uint8_t>(t[0])) | static_cast<uint32_t>(static_cast<uint8_t>(t[1])) << 8 |
                static_cast<uint32_t>(static_cast<uint8_t>(t[2])) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(t[3])) << 24);
        };
        tag(form);
        tag("HEAD");
        put(head_length);
        put(version);
        put(size);
        tag("DATA");
        put(data_length);
        for (size_t i = 0; i < data_bytes; ++i) {
            out.push_back(i < 4 ? static_cast<uint8_t>(first_word >> (8 * i)) : 0);
        }
        return out;
    }
};

TEST_F(ScriptGlue, ThePersistentBlockIsWrittenAtEveryStopAndReadAtEveryStart)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    EXPECT_EQ(cmos_word(), 0u);
    call("cmos_set", {1234});
    server.unload_map();
    EXPECT_EQ(server.k_cmos, nullptr);
    EXPECT_EQ(file("config/kcmos.bin"), kcmos("CMOS", 8, 1, 1024, 1024, 1234));
    ASSERT_EQ(server.start_map("snake", nullptr), 1);
    EXPECT_EQ(cmos_word(), 1234u);
    // A map change stops and starts the script world: the block goes through the file.
    call("cmos_set", {99});
    ASSERT_EQ(server.start_map("snake", nullptr), 1);
    EXPECT_EQ(cmos_word(), 99u);
}

TEST_F(ScriptGlue, ACorruptPersistentFileIsResetAndRewritten)
{
    ASSERT_NO_FATAL_FAILURE(write_map("snake", "snake4x4"));
    ASSERT_NO_FATAL_FAILURE(write_scripts(PROGRAM));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"version 2", kcmos("CMOS", 8, 2, 1024, 1024, 5)},
        {"another form", kcmos("CMOZ", 8, 1, 1024, 1024, 5)},
        {"short head", kcmos("CMOS", 4, 1, 1024, 1024, 5)},
        {"another size", kcmos("CMOS", 8, 1, 512, 1024, 5)},
        {"short data chunk", kcmos("CMOS", 8, 1, 1024, 1000, 5, 1000)},
        {"cut file", kcmos("CMOS", 8, 1, 1024, 1024, 5, 600)},
        {"empty file", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tree.write("config/kcmos.bin", c.bytes);
        capture.clear();
        ASSERT_EQ(server.start_map("snake", nullptr), 1);
        EXPECT_TRUE(capture.contains("Server: K-CMOS file corrupt, resetting"));
        EXPECT_EQ(cmos_word(), 0u);
        server.unload_map();
        EXPECT_EQ(file("config/kcmos.bin"), kcmos("CMOS", 8, 1, 1024, 1024, 0));
    }
    std::filesystem::remove(tree.path("config/kcmos.bin"));
    capture.clear();
    ASSERT_EQ(server.start_map("snake", nullptr), 1);
    EXPECT_FALSE(capture.contains("corrupt")) << "a missing file is no error";
}

TEST_F(ScriptGlue, TheObjectFileListSkipsCommentsAndRefusesWhatIsBroken)
{
    ASSERT_NO_FATAL_FAILURE(write_map("snake", "snake4x4"));
    ASSERT_NO_FATAL_FAILURE(write_scripts(PROGRAM));
    const kasm::Assembly extra = kasm::assemble(".global other\n.code\n.func other, 8\n push 3\n ret1\n", "extra");
    ASSERT_TRUE(extra.ok());
    tree.write("k/extra.kob", extra.bytes());
    std::string long_list = "textualKOBlist,version000\n255\n";
    for (int i = 0; i < 255; ++i) {
        long_list += "k/" + std::string(40, 'x') + "\n";
    }
    struct Case {
        const char* name;
        const char* list;
        const char* message; // null: it loads
    };
    const Case cases[] = {
        {"comments between the names", "# list\ntextualKOBlist,version000\n# two\n2\n# first\nk/game.kob\n#\nk/extra.kob\n",
         nullptr},
        {"carriage returns before the line ends", "textualKOBlist,version000\r\n1\r\nk/game.kob\r\r\n", nullptr},
        {"a last line without its end", "textualKOBlist,version000\n1\nk/game.kob", nullptr},
        {"fewer names than announced", "textualKOBlist,version000\n3\nk/game.kob\nk/extra.kob\n",
         "LoadK: Error reading KOBlist !"},
        {"a carriage return inside a name", "textualKOBlist,version000\n1\nk/game\r.kob\n",
         "Server: Bad KOB name in 'k/koblist.txt'"},
        {"an empty name", "textualKOBlist,version000\n1\n\n", "Server: Bad KOB name in 'k/koblist.txt'"},
        {"a header without its line end", "textualKOBlist,version000", "Server: Wrong KOBlist version"},
        {"no count", "textualKOBlist,version000\nmany\n", "Server: Bad KOB count in 'k/koblist.txt'"},
        {"names beyond the buffer", long_list.c_str(), "Server: KOBlist too long !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tree.write("k/koblist.txt", c.list);
        capture.clear();
        const int loaded = server.start_map("snake", nullptr);
        if (c.message == nullptr) {
            EXPECT_EQ(loaded, 1) << printed();
        } else {
            EXPECT_EQ(loaded, 0);
            EXPECT_TRUE(capture.contains(c.message)) << printed();
            EXPECT_TRUE(capture.contains("Server: Can't load kobs"));
            EXPECT_EQ(server.map, nullptr);
            EXPECT_EQ(server.world_flags, 0u);
        }
    }
}

TEST_F(ScriptGlue, TheInitialStateMustLoad)
{
    ASSERT_NO_FATAL_FAILURE(write_map("snake", "snake4x4"));
    ASSERT_NO_FATAL_FAILURE(write_scripts(PROGRAM));
    std::filesystem::remove(tree.path("initial.ksv"));
    EXPECT_EQ(server.start_map("snake", nullptr), 0);
    EXPECT_TRUE(capture.contains("Server: Can't open 'initial.ksv'"));
    EXPECT_TRUE(capture.contains("Server: Can't load 'initial.ksv'"));
    EXPECT_EQ(server.map, nullptr);

    tree.write("initial.ksv", "O.1 Nowhere@vt\n");
    capture.clear();
    EXPECT_EQ(server.start_map("snake", nullptr), 0);
    EXPECT_TRUE(capture.contains("Server: Initial KSV load error"));
    EXPECT_EQ(server.world_flags, 0u);
    // Whatever was linked is gone: the next start links afresh.
    tree.write("initial.ksv", "");
    EXPECT_EQ(server.start_map("snake", nullptr), 1) << printed();
}

TEST_F(ScriptGlue, ScriptCommandsRunTheirFunctionWithTheRequesterAndTheArguments)
{
    ASSERT_NO_FATAL_FAILURE(start_world(PROGRAM));
    ASSERT_NE(server.cmd->find_command("Hello"), nullptr) << printed();
    const uint32_t seen = address("seen");
    const KArena& arena = server.k_context->arena;

    server.cmd->add_text("Hello big world\n");
    server.cmd->exec_buffer();
    EXPECT_EQ(static_cast<int32_t>(arena.word(seen)), CLIENTID_NONE);
    EXPECT_EQ(arena.word(seen + 4), 7u);
    EXPECT_EQ(arena.word(seen + 8), 3u);
    EXPECT_EQ(arena.word(seen + 16), 99u);
    const uint32_t argv = arena.word(seen + 12);
    const char* const words[] = {"Hello", "big", "world"};
    for (uint32_t i = 0; i < 3; ++i) {
        const uint32_t text = arena.word(argv + 4 * i);
        EXPECT_STREQ(reinterpret_cast<const char*>(arena.at(text, 1)), words[i]);
    }

    FakeClient player(&hive, "local");
    ASSERT_TRUE(spawn({&player}));
    player.send_command("Hello there");
    frame({&player});
    EXPECT_EQ(static_cast<int32_t>(arena.word(seen)), slot_of("fake"));
    EXPECT_EQ(arena.word(seen + 8), 2u);

    // A script removes only what scripts added.
    call("unregister_map");
    EXPECT_EQ(server.k_context->result[0], 0u);
    EXPECT_NE(server.cmd->find_command("Map"), nullptr);
    call("unregister_hello");
    EXPECT_EQ(server.k_context->result[0], 1u);
    EXPECT_EQ(server.cmd->find_command("Hello"), nullptr);
    call("unregister_hello");
    EXPECT_EQ(server.k_context->result[0], 0u);

    // The map's stop takes the scripts' commands with it.
    call("_init_1_");
    ASSERT_NE(server.cmd->find_command("Hello"), nullptr);
    server.unload_map();
    EXPECT_EQ(server.cmd->find_command("Hello"), nullptr);
    EXPECT_EQ(server.script_commands, nullptr);
}

} // namespace
