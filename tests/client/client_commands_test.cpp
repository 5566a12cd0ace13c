// The client's console commands: the table, forwarding, key bindings, video,
// view size, songs, heap reports and the rest.
#include "client_fixture.h"

#include "client/client_commands.h"
#include "core/kheap.h"
#include "core/log_file.h"

#include <fstream>
#include <sstream>

namespace {

TEST_F(ClientTest, CommandTableWithExactHelpTexts)
{
    struct Row {
        const char* name;
        int id;
        int flag;
        const char* help;
    };
    // The texts as the user sees them, byte for byte.
    const Row rows[] = {
        {"Record", 9, 1, "Record <file>\n     Record incoming messages"},
        {"Connect", 1, 1, "Connect <address>\n     Connect to server"},
        {"Disconnect", 2, 0, "Disconnect\n     Disconnect from server"},
        {"Server", 7, 1, "Server <cmd> [<args>...]\n     Send command to server"},
        {"Snd_Resume", 83, 0, "Snd_Resume\n     Resume paused playback"},
        {"Snd_Pause", 82, 0, "Snd_Pause\n     Pause playback"},
        {"Sng_Play", 80, 1, "Sng_Play <song_name> [<id>]\n     Play song (module or stream)"},
        {"Sng_Stop", 81, 0, "Sng_Stop [<id>]\n     Stop playback"},
        {"ScreenShot", 53, 0, "ScreenShot\n     Save screen shot"},
        {"KHeap_Info", 16, 0, "KHeap_Info\n     Print short memory info"},
        {"KHeap_ReportLog", 18, 0, "KHeap_ReportLog\n     Log long memory report to kavrin.log"},
        {"KHeap_Report", 17, 0, "KHeap_Report\n     Print long memory report"},
        {"R_ResizeUp", 51, 0, "R_ResizeUp\n     Enlarge rendering window"},
        {"R_ResizeDown", 52, 0, "R_ResizeDown\n     Shrink rendering window"},
        {"Version", 4, 0, "Version\n     Print Kavrin version"},
        {"V_DriverList", 48, 0, "V_DriveList\n     List supported drivers"},
        {"V_ModeList", 49, 0, "V_ModeList\n     List current driver modes"},
        {"V_Mode", 50, 0,
         "V_Mode\n     Get info about current mode\nV_Mode <width> [<height>]\n     Change video mode\nV_Mode "
         "<driver> [<width> [<height>]]\n     Change video driver and mode"},
        {"Cls", 6, 0, "Cls\n     Clear console texts"},
        {"Console", 5, 0, "Console\n     Toggle console input on/off"},
        {"Quit", 3, 0, "Quit\n     Quit cmd great game"},
        {"Exit", 3, 0, "Exit\n     Quit cmd great game"},
        {"Release", 36, 1, "Release <input_action>\n     Emulate input-key relase"},
        {"Press", 35, 1, "Press <input_action>\n     Emulate input-key press"},
        {"KeyUndef", 34, 1, "KeyUndef <key_name>\n     Undefine key action"},
        {"KeyReleaseDef", 33, 1, "KeyReleaseDef <key_name> [<command>]\n     Define new key release console command"},
        {"KeyDef", 32, 1,
         "KeyDef <key_name> [<command>|<input_action>]\n     Define new key action or key press console command"},
    };
    const ConsCmd* const set = client_->cons_cmd();
    for (const Row& r : rows) {
        const ConsoleCommand* const c = set->find_command(r.name);
        ASSERT_NE(c, nullptr) << r.name;
        EXPECT_STREQ(c->help, r.help) << r.name;
        EXPECT_EQ(c->id, r.id) << r.name;
        EXPECT_EQ(c->needs_arguments, r.flag) << r.name;
    }
    EXPECT_STREQ(set->buffer(), "Call main.cfg\n") << "main.cfg runs with the first command execution";
    client_.reset();
    EXPECT_EQ(RecordingSound::last, RecordingSound::last);
}

TEST_F(ClientTest, HelpForWrongArgumentCounts)
{
    struct Case {
        const char* line;
        const char* help;
    };
    const Case cases[] = {
        {"Connect", "Connect <address>\n     Connect to server"},
        {"Connect a b", "Connect <address>\n     Connect to server"},
        {"Record a b", "Record <file>\n     Record incoming messages"},
        {"Press", "Press <input_action>\n     Emulate input-key press"},
        {"KeyDef a b c", "KeyDef <key_name> [<command>|<input_action>]"},
        {"KeyUndef a b", "KeyUndef <key_name>\n     Undefine key action"},
        {"V_Mode 1 2 3", "V_Mode <driver> [<width> [<height>]]"},
    };
    for (const Case& c : cases) {
        capture_->clear();
        run(c.line);
        EXPECT_TRUE(capture_->contains(c.help)) << c.line;
    }
    EXPECT_EQ(client_->net_state(), CSTATE_DISCONNECTED);
}

TEST_F(ClientTest, SmallCommands)
{
    run("Version");
    EXPECT_TRUE(capture_->contains("Kavrin 4.24a Alpha 1 x86/x87 (Win32 Version) (11.12.1998)"));
    run("Console");
    EXPECT_EQ(client_->console()->shown(), 1);
    run("Console");
    EXPECT_EQ(client_->console()->shown(), 0);
    run("Exit");
    EXPECT_TRUE(var("Quit")->is_true());
    const char* const argv[] = {"Nothing"};
    client_->client_command(99, 1, argv);
    EXPECT_TRUE(capture_->contains("Client: Unknown command type 99 !"));
    run("Server say hello");
    EXPECT_TRUE(capture_->contains("Client: Not connected"));
}

TEST_F(ClientTest, ServerCommandsAreForwarded)
{
    connect_and_accept("kick  ban Quit");
    EXPECT_TRUE(capture_->contains("Console: Duplicate command 'Quit' !"));
    run("Server say hello world");
    run("kick joe");
    const ConsoleCommand* const ban = client_->cons_cmd()->find_command("ban");
    ASSERT_NE(ban, nullptr);
    EXPECT_STREQ(ban->help, "ban");
    frame();
    server_->receive();
    EXPECT_EQ(server_->commands, (std::vector<std::string>{"say (hello) (world)", "kick (joe)"}));
    const std::string word(600, 'w');
    const char* const long_line[] = {"Server", "a", word.c_str(), word.c_str()};
    client_->client_command(CC_SERVER, 4, long_line);
    EXPECT_TRUE(capture_->contains("Client: Server command is too long"));
    const std::string fits(1019, 'f');
    const char* const fitting[] = {"Server", "a", fits.c_str(), "dropped"};
    client_->client_command(CC_SERVER, 4, fitting);
    frame();
    server_->receive();
    ASSERT_EQ(server_->commands.size(), 3u) << "a word started at 1023 characters is not begun";
    EXPECT_EQ(server_->commands[2], "a (" + fits + ")");
    run("Disconnect");
    EXPECT_EQ(client_->cons_cmd()->find_command("kick"), nullptr);
    EXPECT_EQ(client_->cons_cmd()->find_command("ban"), nullptr);
    ASSERT_NE(client_->cons_cmd()->find_command("Quit"), nullptr) << "a server naming a client command keeps it";
    EXPECT_EQ(client_->cons_cmd()->find_command("Quit")->id, 3);
}

TEST_F(ClientTest, RecordNames)
{
    run("Record abcdefghijk");
    EXPECT_TRUE(client_->record_requested());
    EXPECT_STREQ(client_->record_name(), "abcdefghijk");
    EXPECT_TRUE(capture_->contains("Client: Reconnect to start recording"));
    run("Record abcdefghijkl");
    EXPECT_TRUE(capture_->contains("Client: Recfile name too long"));
    EXPECT_STREQ(client_->record_name(), "abcdefghijk");
}

TEST_F(ClientTest, KeyBindings)
{
    ClientInput& in = client_->input();
    run("KeyDef W Forward");
    EXPECT_TRUE(capture_->contains("Key 'W' bound to action 'Forward'"));
    EXPECT_EQ(in.action('w'), 0);
    run("KeyDef W");
    EXPECT_TRUE(capture_->contains("Input 'W' action: Forward"));
    run("KeyDef W Echo_it");
    EXPECT_EQ(in.action('w'), IA_COUNT) << "a command clears the action";
    EXPECT_STREQ(in.press_command('w'), "Echo_it");
    run("KeyDef W");
    EXPECT_TRUE(capture_->contains("Input 'W' console command:\n   Echo_it"));
    run("KeyReleaseDef W Echo_up");
    EXPECT_STREQ(in.release_command('w'), "Echo_up");
    run("KeyReleaseDef W Jump");
    EXPECT_TRUE(capture_->contains("KeyReleaseDef can't be used with actions"));
    EXPECT_STREQ(in.release_command('w'), "Echo_up") << "left as it was";
    run("KeyReleaseDef W");
    EXPECT_TRUE(capture_->contains("Input 'W' release console command:\n   Echo_up"));
    run("KeyDef W Jump");
    EXPECT_EQ(in.press_command('w'), nullptr) << "an action clears both commands";
    EXPECT_EQ(in.release_command('w'), nullptr);
    EXPECT_EQ(in.action('w'), 25);
    run("KeyUndef W");
    EXPECT_EQ(in.action('w'), IA_COUNT);
    EXPECT_TRUE(capture_->contains("Key 'W' action is not defined anymore"));
    run("KeyDef Nokey Jump");
    EXPECT_TRUE(capture_->contains("Unknown input 'Nokey' !"));
}

TEST_F(ClientTest, AxisBindings)
{
    ClientInput& in = client_->input();
    const int x_plus = 256 + 32;
    run("KeyDef Mouse_X HeadingRight");
    EXPECT_EQ(in.action(x_plus), 7);
    EXPECT_EQ(in.action(x_plus + 1), 6) << "the other direction gets the partner";
    run("KeyDef Mouse_Y Run");
    EXPECT_TRUE(capture_->contains("State action defined for axis"));
    EXPECT_TRUE(capture_->contains("Can't define 'Run' as axis analog action !"));
    EXPECT_EQ(in.action(x_plus + 2), 23);
    run("KeyDef Mouse-Y Weapon1");
    EXPECT_TRUE(capture_->contains("Can't define impulse action for axis !"));
    EXPECT_EQ(in.action(x_plus + 3), IA_COUNT);
    run("KeyDef Mouse-Y Echo_x");
    EXPECT_TRUE(capture_->contains("Can't define console command for axis !"));
    run("KeyReleaseDef Mouse-Y Echo_x");
    EXPECT_EQ(capture_->count("Can't define console command for axis !"), 2);
    run("KeyUndef Mouse_X");
    EXPECT_EQ(in.action(x_plus), IA_COUNT);
    EXPECT_EQ(in.action(x_plus + 1), IA_COUNT);
    run("KeyDef Mouse3 Weapon2");
    EXPECT_EQ(in.action(256 + 2), 61);
}

TEST_F(ClientTest, VideoCommands)
{
    ASSERT_EQ(client_->current_driver(), video_find_driver("MEM"));
    run("V_Mode");
    EXPECT_TRUE(capture_->contains("320 * 240 (Memory frame buffer)"));
    EXPECT_TRUE(capture_->contains("   Buffered"));
    const int created = MemoryMode::created;
    const KVideoMode* const mode = client_->video_mode();
    run("V_Mode 800");
    EXPECT_EQ(client_->video_mode(), mode) << "the same driver keeps its mode object";
    EXPECT_EQ(MemoryMode::created, created);
    EXPECT_EQ(client_->video_mode()->xres, 800);
    EXPECT_EQ(client_->video_mode()->yres, 600);
    EXPECT_TRUE(capture_->contains("800 * 600 (Memory frame buffer)"));
    run("V_Mode nodriver");
    EXPECT_TRUE(capture_->contains("Unknown video driver name nodriver"));
    EXPECT_TRUE(capture_->contains("V_Mode <driver> [<width> [<height>]]"));
    run("V_Mode 640 x");
    EXPECT_TRUE(capture_->contains("'x' is not a number"));
    run("V_Mode mem2 640 480");
    EXPECT_EQ(client_->current_driver(), video_find_driver("MEM2"));
    EXPECT_EQ(MemoryMode::created, created + 1);
    EXPECT_EQ(client_->video_mode()->xres, 640);
    MemoryMode::fail_width = 1000;
    run("V_Mode 1000 700");
    EXPECT_EQ(client_->video_mode()->xres, 320) << "falls back to the driver's own size";
    run("V_DriverList");
    EXPECT_TRUE(capture_->contains("Supported video drivers:"));
    EXPECT_TRUE(capture_->contains("   MEM2: Second memory buffer"));
    run("V_ModeList");
    EXPECT_TRUE(capture_->contains("Second memory buffer:"));
    EXPECT_TRUE(capture_->contains("   320 * 240, buffered"));
    EXPECT_TRUE(capture_->contains("   640 * 480, direct, 2 pages"));
}

TEST_F(ClientTest, ViewSize)
{
    make_map("m");
    run("V_Mode 640 480");
    connect_and_accept();
    load_map("m");
    struct Step {
        const char* name;
        float factor;
        int32_t width;
    };
    const Step steps[] = {{"too large", 1.5f, 640}, {"too small", 0.1f, 640}, {"half", 0.5f, 320}};
    for (const Step& s : steps) {
        client_->set_view_size(s.factor);
        EXPECT_EQ(renderer()->window_width(), s.width) << s.name;
        EXPECT_EQ(renderer()->projection_width(), s.width) << s.name;
    }
    EXPECT_EQ(renderer()->window_height(), 240);
    run("R_ResizeUp");
    EXPECT_FLOAT_EQ(client_->view_size(), 0.6f);
    EXPECT_EQ(renderer()->window_width(), 384);
    run("R_ResizeDown");
    run("R_ResizeDown");
    EXPECT_FLOAT_EQ(client_->view_size(), 0.4f);
    run("Disconnect");
    EXPECT_EQ(renderer()->window_width(), 0) << "no map, no 3-D window";
    EXPECT_EQ(renderer()->projection_width(), 256);
}

TEST_F(ClientTest, ScreenshotsAndAnimation)
{
    frame();
    const int32_t shots = renderer()->screenshots();
    run("ScreenShot");
    EXPECT_TRUE(client_->screenshot_requested());
    frame();
    EXPECT_EQ(renderer()->screenshots(), shots + 1);
    EXPECT_FALSE(client_->screenshot_requested());
    frame();
    EXPECT_EQ(renderer()->screenshots(), shots + 1);
    var("Animation")->set_bool(1);
    frame();
    frame();
    EXPECT_EQ(renderer()->screenshots(), shots + 3);
}

TEST_F(ClientTest, SongCommands)
{
    run("Sng_Play tune 5");
    run("Sng_Play missing");
    run("Sng_Stop");
    run("Sng_Stop 0x3");
    run("Snd_Pause");
    run("Snd_Resume");
    EXPECT_EQ(sound()->log, "load tune 5;start 5;load missing 0;free 0;free 3;pause;resume;");
    EXPECT_TRUE(capture_->contains("Can't load missing"));
}

TEST_F(ClientTest, HeapCommands)
{
    KHeap heap;
    kheap = &heap;
    ASSERT_EQ(heap.init(1 << 20, 0), 1);
    KHeapInfo i{};
    heap.mem_info(&i);
    run("KHeap_Info");
    EXPECT_TRUE(capture_->contains("KHeap: 1024 kB"));
    EXPECT_TRUE(capture_->contains("   Low: size " + std::to_string(i.low_size / 1024) + " kB, free " +
                                   std::to_string(i.low_free) + " bytes, largest free block " +
                                   std::to_string(i.low_largest) + " bytes"));
    EXPECT_TRUE(capture_->contains("   High: size " + std::to_string(i.high_size / 1024) + " kB"));
    EXPECT_TRUE(capture_->contains("   Cache: size " + std::to_string(i.cache_size / 1024) + " kB, free " +
                                   std::to_string(i.cache_free / 1024) + " kB, largest free block " +
                                   std::to_string(i.cache_largest / 1024) + " kB"));
    run("KHeap_Report");
    EXPECT_TRUE(capture_->contains("*** KHeap bottom ***"));

    LogFile log;
    log_file = &log;
    run("KHeap_ReportLog");
    EXPECT_TRUE(capture_->contains("Log is not opened !"));
    ASSERT_EQ(log.open(1, "kavrin.log", "*** %s ***\n"), 1);
    run("KHeap_ReportLog");
    log.close();
    log_file = nullptr;
    std::ifstream in("kavrin.log");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\nKHeap memory report:\n*** KHeap bottom ***"), std::string::npos) << text.str();
    client_.reset();
    heap.close();
    kheap = nullptr;
}

} // namespace
