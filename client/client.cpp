#include "client/client.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "platform/cpu.h"
#include "platform/message_pump.h"

Client::Client() = default;

Client::~Client() { shutdown(); }

int Client::init(Hive* hive, ShareManager* share)
{
    hive_ = hive;
    share_ = share;
    mmx_ = (cpu_features() & (1u << 23)) != 0;
    set_fpu_precision(0);
    K_ASSERT(cvar_list);
    quit_ = cvar_list->link(CVTYPE_BOOL, 0, "Quit", nullptr, 0);
    if (quit_ == nullptr) {
        print_format(P_ERROR, "Client: Can't initialize %s", "config variables");
        return 0;
    }
    return 1;
}

int Client::frame(double now)
{
    // Input step: drain the window's events of this frame's time slice.
    while (pump_messages(input_time_, now) != nullptr) {
    }
    input_time_ = now;
    return quit_ != nullptr && quit_->is_true() ? 0 : 1;
}

void Client::shutdown()
{
    if (quit_ != nullptr) {
        K_ASSERT(cvar_list);
        cvar_list->release(quit_);
        quit_ = nullptr;
    }
}
