#include "client/client.h"

#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/kassert.h"
#include "core/print.h"
#include "platform/cpu.h"
#include "platform/message_pump.h"

#include <new>

namespace {

enum ClientCommand { CC_CONSOLE = 5, CC_CLS = 6, CC_SCREENSHOT = 53 };

struct ClientCommandRow {
    const char* name;
    int id;
    int needs_arguments;
    const char* help;
};

constexpr ClientCommandRow client_commands[] = {
    {"ScreenShot", CC_SCREENSHOT, 0, "ScreenShot\n     Save screen shot"},
    {"Cls", CC_CLS, 0, "Cls\n     Clear console texts"},
    {"Console", CC_CONSOLE, 0, "Console\n     Toggle console input on/off"},
};

int fail(const char* part)
{
    print_format(P_ERROR, "Client: Can't initialize %s", part);
    return 0;
}

} // namespace

Client::Client() = default;

Client::~Client() { shutdown(); }

int Client::init(Hive* hive, ShareManager* share)
{
    shutdown();
    K_ASSERT(cvar_list);
    quit_ = cvar_list->link(CVTYPE_BOOL, 0, "Quit", nullptr, 0);
    if (quit_ == nullptr) {
        return fail("config variables");
    }
    mmx_ = (cpu_features() & (1u << 23)) != 0;
    set_fpu_precision(0);
    console_ = new (std::nothrow) Console;
    if (console_ == nullptr) {
        return fail("console");
    }
    if (register_client_commands() == 0) {
        return fail("client command handler");
    }
    share_ = share;
    hive_ = hive;
    if (init_video() == 0) {
        return fail("video");
    }
    return 1;
}

int Client::register_client_commands()
{
    cons_cmd_ = new (std::nothrow) ConsCmd;
    if (cons_cmd_ == nullptr || cons_cmd_->register_builtins() == 0) {
        return 0;
    }
    cons_cmd_->set_permissions(0, 0, 0x200, 0, 0x230);
    for (const ClientCommandRow& row : client_commands) {
        if (cons_cmd_->add_command(row.name, row.id, &Client::client_command, this, row.help, row.needs_arguments) ==
            0) {
            return 0;
        }
    }
    // The player's own start-up commands run with the first frame.
    return cons_cmd_->add_text("Call main.cfg");
}

void Client::client_command(int id, int, const char* const*, void* context)
{
    Client* const client = static_cast<Client*>(context);
    switch (id) {
    case CC_SCREENSHOT:
        client->request_screenshot();
        break;
    case CC_CLS:
        K_ASSERT(client->console_);
        client->console_->clear();
        break;
    case CC_CONSOLE:
        K_ASSERT(client->console_);
        (void)client->console_->show(client->console_->shown() != 0 ? 0 : 1);
        break;
    default:
        break;
    }
}

int Client::frame(double now)
{
    // The client clock advances in whole ticks up to the engine time.
    if (time_local_ < 0.0) {
        time_local_ = now;
    }
    while (time_local_ + CLIENT_TICK < now) {
        time_local_ += CLIENT_TICK;
        ticks_total_ = static_cast<int32_t>(static_cast<uint32_t>(ticks_total_) + 1u);
    }
    console_->update(ticks_total_);
    render();
    // Input step: the window's events of this frame's time slice, the console first.
    while (const InputEvent* const event = pump_messages(input_time_, now)) {
        if (console_bound_) {
            (void)console_->input_key(*event);
        }
    }
    input_time_ = now;
    cons_cmd_->exec_buffer();
    return quit_ != nullptr && quit_->is_true() ? 0 : 1;
}

void Client::shutdown()
{
    done_renderer();
    close_video();
    if (console_ != nullptr) {
        if (console_bound_) {
            console_->release_print();
            console_bound_ = false;
        }
        delete console_;
        console_ = nullptr;
    }
    delete cons_cmd_;
    cons_cmd_ = nullptr;
    if (quit_ != nullptr) {
        K_ASSERT(cvar_list);
        cvar_list->release(quit_);
        quit_ = nullptr;
    }
}
