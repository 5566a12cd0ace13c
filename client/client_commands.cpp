// The client's console commands, served by one handler that dispatches on
// the command's number; the server's commands forward to the server.
#include "client/client_commands.h"

#include "client/client.h"

#include "client/client_input.h"
#include "client/client_map.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "client/client_renderer.h"
#include "client/client_sound.h"
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/log_file.h"
#include "core/print.h"
#include "core/scan.h"
#include "platform/video_mode.h"
#include "platform/video_registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

const ClientCommandRow client_command_table[CLIENT_COMMAND_COUNT] = {
    {"Record", CC_RECORD, 1, "Record <file>\n     Record incoming messages"},
    {"Connect", CC_CONNECT, 1, "Connect <address>\n     Connect to server"},
    {"Disconnect", CC_DISCONNECT, 0, "Disconnect\n     Disconnect from server"},
    {"Server", CC_SERVER, 1, "Server <cmd> [<args>...]\n     Send command to server"},
    {"Snd_Resume", CC_SND_RESUME, 0, "Snd_Resume\n     Resume paused playback"},
    {"Snd_Pause", CC_SND_PAUSE, 0, "Snd_Pause\n     Pause playback"},
    {"Sng_Play", CC_SNG_PLAY, 1, "Sng_Play <song_name> [<id>]\n     Play song (module or stream)"},
    {"Sng_Stop", CC_SNG_STOP, 0, "Sng_Stop [<id>]\n     Stop playback"},
    {"ScreenShot", CC_SCREENSHOT, 0, "ScreenShot\n     Save screen shot"},
    {"KHeap_Info", CC_KHEAP_INFO, 0, "KHeap_Info\n     Print short memory info"},
    {"KHeap_ReportLog", CC_KHEAP_REPORTLOG, 0, "KHeap_ReportLog\n     Log long memory report to kavrin.log"},
    {"KHeap_Report", CC_KHEAP_REPORT, 0, "KHeap_Report\n     Print long memory report"},
    {"R_ResizeUp", CC_R_RESIZEUP, 0, "R_ResizeUp\n     Enlarge rendering window"},
    {"R_ResizeDown", CC_R_RESIZEDOWN, 0, "R_ResizeDown\n     Shrink rendering window"},
    {"Version", CC_VERSION, 0, "Version\n     Print Kavrin version"},
    {"V_DriverList", CC_V_DRIVERLIST, 0, "V_DriveList\n     List supported drivers"},
    {"V_ModeList", CC_V_MODELIST, 0, "V_ModeList\n     List current driver modes"},
    {"V_Mode", CC_V_MODE, 0,
     "V_Mode\n     Get info about current mode\nV_Mode <width> [<height>]\n     Change video mode\n"
     "V_Mode <driver> [<width> [<height>]]\n     Change video driver and mode"},
    {"Cls", CC_CLS, 0, "Cls\n     Clear console texts"},
    {"Console", CC_CONSOLE, 0, "Console\n     Toggle console input on/off"},
    {"Quit", CC_QUIT, 0, "Quit\n     Quit cmd great game"},
    {"Exit", CC_QUIT, 0, "Exit\n     Quit cmd great game"},
    {"Release", CC_RELEASE, 1, "Release <input_action>\n     Emulate input-key relase"},
    {"Press", CC_PRESS, 1, "Press <input_action>\n     Emulate input-key press"},
    {"KeyUndef", CC_KEYUNDEF, 1, "KeyUndef <key_name>\n     Undefine key action"},
    {"KeyReleaseDef", CC_KEYRELEASEDEF, 1,
     "KeyReleaseDef <key_name> [<command>]\n     Define new key release console command"},
    {"KeyDef", CC_KEYDEF, 1,
     "KeyDef <key_name> [<command>|<input_action>]\n     Define new key action or key press console command"},
};

namespace {

void client_command_handler(int id, int argc, const char* const* argv, void* context)
{
    Client* const c = static_cast<Client*>(context);
    K_ASSERT(c);
    c->client_command(id, argc, argv);
}

// Calls f with each word of the list, NUL-terminated in place for the call.
template <typename F>
void for_each_word(char* list, F f)
{
    char* p = list;
    while (*p != '\0') {
        while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') {
            ++p;
        }
        char* const word = p;
        while (static_cast<unsigned char>(*p) > ' ') {
            ++p;
        }
        if (p == word) {
            break;
        }
        const char separator = *p;
        *p = '\0';
        f(word);
        if (separator != '\0') {
            *p++ = ' ';
        }
    }
}

bool read_number(const char* text, int32_t& value)
{
    if (scan_int(text, value)) {
        return true;
    }
    print_format(P_WARNING, "'%s' is not a number", text);
    return false;
}

} // namespace

int Client::register_client_commands()
{
    cons_cmd_ = new (std::nothrow) ConsCmd;
    if (cons_cmd_ == nullptr || cons_cmd_->register_builtins() == 0) {
        return 0;
    }
    cons_cmd_->set_permissions(0, 0, 0x200, 0, 0x230);
    for (const ClientCommandRow& row : client_command_table) {
        if (cons_cmd_->add_command(row.name, row.id, client_command_handler, this, row.help, row.needs_arguments) ==
            0) {
            return 0;
        }
    }
    return cons_cmd_->add_text("Call main.cfg");
}

void Client::unregister_client_commands()
{
    if (cons_cmd_ == nullptr) {
        return;
    }
    for (const ClientCommandRow& row : client_command_table) {
        if (cons_cmd_->find_command(row.name) != nullptr) {
            (void)cons_cmd_->remove_command(row.name);
        }
    }
    for (const char* name : {"Set", "CVarList"}) {
        if (cons_cmd_->find_command(name) != nullptr) {
            (void)cons_cmd_->remove_command(name);
        }
    }
    delete cons_cmd_;
    cons_cmd_ = nullptr;
}

void Client::register_server_commands()
{
    if (cons_cmd_ == nullptr) {
        return;
    }
    for_each_word(server_commands_, [&](const char* word) {
        (void)cons_cmd_->add_command(word, CC_FORWARD, client_command_handler, this, word, 0);
    });
}

void Client::unregister_server_commands()
{
    if (cons_cmd_ == nullptr) {
        return;
    }
    // Only the forwarding commands: a server that names a client command must not take it away.
    for_each_word(server_commands_, [&](const char* word) {
        const ConsoleCommand* const c = cons_cmd_->find_command(word);
        if (c != nullptr && c->id == CC_FORWARD && c->handler == client_command_handler && c->context == this) {
            (void)cons_cmd_->remove_command(word);
        }
    });
}

void Client::print_mode_line(bool with_kind)
{
    if (v_mode_ == nullptr || driver_ < 0) {
        return;
    }
    print_format(P_MESSAGE, "%d * %d (%s)", v_mode_->xres, v_mode_->yres, video_driver(driver_)->description);
    if (!with_kind) {
        return;
    }
    if (v_mode_->direct != 0) {
        print_format(P_MESSAGE, "   Direct, %d pages", v_mode_->pages);
    } else {
        print_string(P_MESSAGE, "   Buffered");
    }
}

void Client::video_command(int argc, const char* const* argv)
{
    if (argc == 1) {
        print_mode_line(true);
        return;
    }
    int driver = driver_;
    int first_size = 1;
    int32_t number = 0;
    if (scan_int(argv[1], number)) {
        if (argc > 3) {
            cons_cmd_->print_command_help();
            return;
        }
    } else {
        driver = video_find_driver(argv[1]);
        if (driver < 0) {
            print_format(P_WARNING, "Unknown video driver name %s", argv[1]);
            cons_cmd_->print_command_help();
            return;
        }
        if (argc > 4) {
            cons_cmd_->print_command_help();
            return;
        }
        first_size = 2;
    }
    int32_t size[2] = {0, 0};
    for (int i = 0; i < 2 && first_size + i < argc; ++i) {
        if (!read_number(argv[first_size + i], size[i])) {
            cons_cmd_->print_command_help();
            return;
        }
    }
    if (set_mode_fallback(driver, size[0], size[1]) == 0) {
        std::exit(255);
    }
    print_mode_line(false);
}

void Client::keydef(int id, int argc, const char* const* argv)
{
    if (argc != 2 && argc != 3) {
        cons_cmd_->print_command_help();
        return;
    }
    int code = INPUT_CODE_NONE;
    int code2 = INPUT_CODE_NONE;
    const int kind = input_->parse_name(argv[1], code, code2);
    if (kind == INPUT_NAME_NONE || !input_->valid_code(code)) {
        print_format(P_WARNING, "Unknown input '%s' !", argv[1]);
        return;
    }
    if (id == CC_KEYRELEASEDEF) {
        if (argc == 2) {
            if (input_->release_command(code) != nullptr) {
                print_format(P_MESSAGE, "Input '%s' release console command:\n   %s", argv[1],
                             input_->release_command(code));
            }
        } else if (parse_input_action(argv[2]) >= 0) {
            print_string(P_WARNING, "KeyReleaseDef can't be used with actions");
        } else if (kind == INPUT_NAME_AXIS) {
            print_string(P_WARNING, "Can't define console command for axis !");
        } else if (input_->bind_release_command(code, argv[2]) == 0) {
            print_format(P_ERROR, "Not enough memory to define key action (key %s) !", argv[1]);
        } else {
            print_format(P_DEBUG2, "Key '%s' release bound to command '%s'", argv[1], argv[2]);
        }
        return;
    }
    if (argc == 2) {
        if (input_->action(code) != IA_COUNT) {
            print_format(P_MESSAGE, "Input '%s' action: %s", argv[1], input_action_name(input_->action(code)));
        }
        if (input_->press_command(code) != nullptr) {
            print_format(P_MESSAGE, "Input '%s' console command:\n   %s", argv[1], input_->press_command(code));
        }
        return;
    }
    const int act = parse_input_action(argv[2]);
    if (act < 0) {
        if (kind == INPUT_NAME_AXIS) {
            print_string(P_WARNING, "Can't define console command for axis !");
        } else if (input_->bind_press_command(code, argv[2]) == 0) {
            print_format(P_ERROR, "Not enough memory to define key action (key %s) !", argv[1]);
        } else {
            print_format(P_DEBUG2, "Key '%s' bound to command '%s'", argv[1], argv[2]);
        }
        return;
    }
    K_ASSERT(act < IA_COUNT);
    if (kind == INPUT_NAME_AXIS) {
        if (is_impulse_action(act)) {
            print_string(P_WARNING, "Can't define impulse action for axis !");
            return;
        }
        if (act >= IA_STATE_FIRST) {
            print_string(P_WARNING, "State action defined for axis");
        }
    }
    input_->bind_action(code, act);
    if (code2 != INPUT_CODE_NONE) {
        const int a2 = opposite_analog_action(act);
        if (a2 < 0) {
            print_format(P_WARNING, "Can't define '%s' as axis analog action !", argv[2]);
            return;
        }
        K_ASSERT(a2 < IA_COUNT);
        input_->bind_action(code2, a2);
    }
    print_format(P_DEBUG2, "Key '%s' bound to action '%s'", argv[1], argv[2]);
}

void Client::keyundef(int argc, const char* const* argv)
{
    if (argc != 2) {
        cons_cmd_->print_command_help();
        return;
    }
    int code = INPUT_CODE_NONE;
    int code2 = INPUT_CODE_NONE;
    if (input_->parse_name(argv[1], code, code2) == INPUT_NAME_NONE || !input_->valid_code(code)) {
        print_format(P_WARNING, "Unknown input '%s' !", argv[1]);
        return;
    }
    input_->unbind(code);
    if (code2 != INPUT_CODE_NONE) {
        input_->unbind(code2);
    }
    print_format(P_DEBUG2, "Key '%s' action is not defined anymore", argv[1]);
}

void Client::client_command(int id, int argc, const char* const* argv)
{
    switch (id) {
    case CC_CONNECT:
        if (argc != 2) {
            cons_cmd_->print_command_help();
            return;
        }
        (void)connect(argv[1], 0);
        break;
    case CC_DISCONNECT:
        cancel_connect();
        break;
    case CC_QUIT:
        (void)cv_quit_->set_bool(1);
        break;
    case CC_VERSION:
        print_string(P_MESSAGE, CLIENT_VERSION_TEXT);
        break;
    case CC_CONSOLE:
        K_ASSERT(console_);
        (void)console_->show(console_->shown() != 0 ? 0 : 1);
        break;
    case CC_CLS:
        K_ASSERT(console_);
        console_->clear();
        break;
    case CC_SERVER:
        forward_command(argc, argv, 0);
        break;
    case CC_FORWARD:
        forward_command(argc, argv, 1);
        break;
    case CC_RECORD:
        if (argc != 2) {
            cons_cmd_->print_command_help();
            return;
        }
        if (std::strlen(argv[1]) >= CLIENT_RECORD_NAME_SIZE) {
            print_string(P_ERROR, "Client: Recfile name too long");
            return;
        }
        std::snprintf(record_name_, sizeof record_name_, "%s", argv[1]);
        record_requested_ = 1;
        print_string(P_MESSAGE, "Client: Reconnect to start recording");
        break;
    case CC_KHEAP_INFO: {
        K_ASSERT(kheap);
        KHeapInfo i{};
        kheap->mem_info(&i);
        print_format(P_MESSAGE, "KHeap: %d kB\n", static_cast<int>(i.heap_size / 1024));
        print_format(P_MESSAGE, "   Low: size %d kB, free %d bytes, largest free block %d bytes\n",
                     static_cast<int>(i.low_size / 1024), static_cast<int>(i.low_free),
                     static_cast<int>(i.low_largest));
        print_format(P_MESSAGE, "   High: size %d kB, free %d bytes, largest free block %d bytes\n",
                     static_cast<int>(i.high_size / 1024), static_cast<int>(i.high_free),
                     static_cast<int>(i.high_largest));
        print_format(P_MESSAGE, "   Cache: size %d kB, free %d kB, largest free block %d kB\n",
                     static_cast<int>(i.cache_size / 1024), static_cast<int>(i.cache_free / 1024),
                     static_cast<int>(i.cache_largest / 1024));
        break;
    }
    case CC_KHEAP_REPORT:
        K_ASSERT(kheap);
        kheap->dump(1, nullptr);
        break;
    case CC_KHEAP_REPORTLOG:
        K_ASSERT(kheap);
        K_ASSERT(log_file);
        if (!log_file->is_open()) {
            print_string(P_WARNING, "Log is not opened !");
            break;
        }
        log_file->write_line("\nKHeap memory report:", 0);
        kheap->dump(1, log_file);
        log_file->write_line("", LOG_FLUSH);
        break;
    case CC_KEYDEF:
    case CC_KEYRELEASEDEF:
        keydef(id, argc, argv);
        break;
    case CC_KEYUNDEF:
        keyundef(argc, argv);
        break;
    case CC_PRESS:
    case CC_RELEASE: {
        if (argc != 2) {
            cons_cmd_->print_command_help();
            return;
        }
        const int act = parse_input_action(argv[1]);
        if (act < 0) {
            print_format(P_WARNING, "Unknown input action '%s' !", argv[1]);
            return;
        }
        if (id == CC_PRESS) {
            (void)input_->press_action(act, INPUT_CODE_CONSOLE);
        } else {
            (void)input_->release_action(act, INPUT_CODE_CONSOLE);
        }
        break;
    }
    case CC_V_DRIVERLIST:
        print_string(P_MESSAGE, "Supported video drivers:");
        for (int i = 0; i < video_driver_count(); ++i) {
            print_format(P_MESSAGE, "   %s: %s", video_driver(i)->name, video_driver(i)->description);
        }
        break;
    case CC_V_MODELIST:
        if (v_mode_ == nullptr || driver_ < 0) {
            break;
        }
        print_format(P_MESSAGE, "%s:", video_driver(driver_)->description);
        for (int i = 0; i < v_mode_->mode_count; ++i) {
            const VideoModeRecord& m = v_mode_->modes[i];
            if (m.direct != 0) {
                print_format(P_MESSAGE, "   %d * %d, direct, %d pages", m.width, m.height, m.pages);
            } else {
                print_format(P_MESSAGE, "   %d * %d, buffered", m.width, m.height);
            }
        }
        break;
    case CC_V_MODE:
        video_command(argc, argv);
        break;
    case CC_R_RESIZEUP:
        set_view_size(view_size_ + 0.1f);
        break;
    case CC_R_RESIZEDOWN:
        set_view_size(view_size_ - 0.1f);
        break;
    case CC_SCREENSHOT:
        screenshot_ = 1;
        break;
    case CC_SNG_PLAY: {
        K_ASSERT(sound_);
        if (argc < 2) {
            cons_cmd_->print_command_help();
            return;
        }
        int32_t slot = 0;
        if (argc > 2) {
            (void)scan_int(argv[2], slot);
        }
        if (sound_->load_song(argv[1], slot) == 0) {
            print_format(P_WARNING, "Can't load %s", argv[1]);
        } else {
            (void)sound_->start_song(slot);
        }
        break;
    }
    case CC_SNG_STOP: {
        K_ASSERT(sound_);
        int32_t slot = 0;
        if (argc > 1) {
            (void)scan_int(argv[1], slot);
        }
        sound_->free_song(slot);
        break;
    }
    case CC_SND_PAUSE:
        K_ASSERT(sound_);
        sound_->pause();
        break;
    case CC_SND_RESUME:
        K_ASSERT(sound_);
        sound_->resume();
        break;
    default:
        print_format(P_WARNING, "Client: Unknown command type %d !", id);
        break;
    }
}
