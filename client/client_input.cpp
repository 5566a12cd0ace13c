#include "client/client_input.h"

#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/input_event.h"
#include "core/kassert.h"
#include "core/key_names.h"
#include "core/print.h"
#include "platform/input_device.h"
#include "platform/message_pump.h"

#include <cstring>
#include <new>

namespace {

const char* code_name(uint32_t code)
{
    const char* const name = key_to_name(code);
    return name != nullptr ? name : "?";
}

} // namespace

int ClientInput::init_input(const InputDevices& devices)
{
    done_input();
    devices_ = devices;
    const int count = INPUT_KEY_CODES + INPUT_CODES_PER_DEVICE * (devices.count > 0 ? devices.count : 0);
    actions_ = new (std::nothrow) uint8_t[static_cast<size_t>(count)];
    press_ = new (std::nothrow) char*[static_cast<size_t>(count)]();
    release_ = new (std::nothrow) char*[static_cast<size_t>(count)]();
    device_masks_ = new (std::nothrow) uint32_t[static_cast<size_t>(devices.count > 0 ? devices.count : 1)]();
    if (actions_ == nullptr || press_ == nullptr || release_ == nullptr || device_masks_ == nullptr) {
        done_input();
        return 0;
    }
    code_count_ = count;
    std::memset(actions_, IA_COUNT, static_cast<size_t>(count));
    for (auto& h : holders_) {
        for (int& code : h) {
            code = -1;
        }
    }
    for (float& v : values_) {
        v = 0.0f;
    }
    impulse_count_ = 0;
    return 1;
}

void ClientInput::done_input()
{
    delete[] device_masks_;
    device_masks_ = nullptr;
    for (int i = 0; i < code_count_; ++i) {
        delete[] press_[i];
        delete[] release_[i];
    }
    delete[] press_;
    delete[] release_;
    delete[] actions_;
    press_ = nullptr;
    release_ = nullptr;
    actions_ = nullptr;
    code_count_ = 0;
    devices_ = InputDevices{};
}

int ClientInput::replace_text(char*& slot, const char* text)
{
    char* copy = nullptr;
    if (text != nullptr) {
        const size_t n = std::strlen(text);
        copy = new (std::nothrow) char[n + 1];
        if (copy == nullptr) {
            return 0;
        }
        std::memcpy(copy, text, n + 1);
    }
    delete[] slot;
    slot = copy;
    return 1;
}

void ClientInput::bind_action(int code, int action)
{
    K_ASSERT(valid_code(code));
    (void)replace_text(press_[code], nullptr);
    (void)replace_text(release_[code], nullptr);
    actions_[code] = static_cast<uint8_t>(action);
}

int ClientInput::bind_press_command(int code, const char* text)
{
    K_ASSERT(valid_code(code));
    if (replace_text(press_[code], text) == 0) {
        return 0;
    }
    actions_[code] = IA_COUNT;
    return 1;
}

int ClientInput::bind_release_command(int code, const char* text)
{
    K_ASSERT(valid_code(code));
    if (replace_text(release_[code], text) == 0) {
        return 0;
    }
    actions_[code] = IA_COUNT;
    return 1;
}

void ClientInput::unbind(int code)
{
    bind_action(code, IA_COUNT);
}

bool ClientInput::queue_impulse(int action, uint32_t release_bit)
{
    if (impulse_count_ >= INPUT_IMPULSES) {
        return false;
    }
    const uint32_t number = static_cast<uint32_t>(action - IA_IMPULSE_FIRST);
    K_ASSERT(number < IA_IMPULSECOUNT);
    impulses_[impulse_count_++] = static_cast<uint8_t>(number | release_bit);
    return true;
}

int ClientInput::holding(int action, int code) const
{
    for (int i = 0; i < INPUT_HOLDERS; ++i) {
        if (holders_[action][i] == code) {
            return i;
        }
    }
    return -1;
}

bool ClientInput::held(int action) const
{
    for (const int code : holders_[action]) {
        if (code != -1) {
            return true;
        }
    }
    return false;
}

int ClientInput::press_action(int action, int code)
{
    if (is_impulse_action(action)) {
        return queue_impulse(action, 0) ? 1 : 0;
    }
    if (!is_held_action(action)) {
        return 0;
    }
    if (holding(action, code) >= 0) {
        print_format(P_DEBUG, "Duplicate input code (%d) for action '%s' !", code, input_action_name(action));
        return 0;
    }
    const int free_slot = holding(action, -1);
    if (free_slot < 0) {
        print_format(P_DEBUG, "Too many events are causing Kavrin action '%s' !", input_action_name(action));
        return 0;
    }
    holders_[action][free_slot] = code;
    return 1;
}

int ClientInput::release_action(int action, int code)
{
    if (is_impulse_action(action)) {
        return queue_impulse(action, NETM_IMF_RELEASE) ? 1 : 0;
    }
    if (!is_held_action(action)) {
        return 0;
    }
    const int i = holding(action, code);
    if (i < 0) {
        return 0;
    }
    holders_[action][i] = -1;
    return 1;
}

void ClientInput::run_command(ConsCmd* commands, const char* text)
{
    if (text != nullptr && commands != nullptr) {
        (void)commands->add_text(text);
    }
}

int ClientInput::build_input(double from, double to, Console* console, ConsCmd* commands)
{
    impulse_count_ = 0;
    for (int a = 0; a < IA_HELD_COUNT; ++a) {
        values_[a] = held(a) ? 1.0f : 0.0f;
    }
    if (from == to) {
        return 1;
    }
    K_ASSERT(from < to);
    process_input_events(from, to, console, commands);
    for (int d = 0; d < devices_.count; ++d) {
        const InputDevice* const device = devices_.devices[d];
        if (device != nullptr && device->valid != 0) {
            poll_input_device(d, from, to, commands);
        }
    }
    return 1;
}

void ClientInput::process_input_events(double from, double to, Console* console, ConsCmd* commands)
{
    K_ASSERT(console && commands);
    const double span = to - from;
    while (const InputEvent* const e = pump_messages(from, to)) {
        if (e->time > to) {
            print_format(P_WARNING, "Event %s is newer than %f !", code_name(e->key_code), to);
            return;
        }
        if (e->time < from) {
            print_format(P_WARNING, "Event %s too old (e->time=%f,time=%f) !", code_name(e->key_code), e->time, from);
        }
        if (console->input_key(*e) != 0) {
            continue;
        }
        const int code = static_cast<int>(e->key_code);
        if (!valid_code(code)) {
            continue;
        }
        const int act = actions_[code];
        const float fraction = static_cast<float>((to - e->time) / span);
        if (e->kind == INPUT_KEY_DOWN) {
            run_command(commands, press_[code]);
            if (act == IA_COUNT) {
                continue;
            }
            K_ASSERT(act < IA_COUNT);
            if (is_impulse_action(act)) {
                (void)queue_impulse(act, 0);
                continue;
            }
            if (!held(act)) {
                values_[act] += fraction;
            }
            (void)press_action(act, code);
        } else if (e->kind == INPUT_KEY_UP) {
            run_command(commands, release_[code]);
            if (act == IA_COUNT) {
                continue;
            }
            if (is_impulse_action(act)) {
                (void)queue_impulse(act, NETM_IMF_RELEASE);
                continue;
            }
            const int i = holding(act, code);
            if (i >= 0) {
                holders_[act][i] = -1;
                values_[act] -= fraction;
            }
        }
    }
}

void ClientInput::poll_input_device(int d, double from, double to, ConsCmd* commands)
{
    InputDeviceState state;
    devices_.devices[d]->read(state, from, to);
    const int base = INPUT_KEY_CODES + INPUT_CODES_PER_DEVICE * d;
    const uint32_t old_mask = device_masks_[d];
    for (int b = 0; b < INPUT_DEVICE_BUTTONS; ++b) {
        const int code = base + b;
        const int act = actions_[code];
        const uint32_t bit = 1u << b;
        if ((state.buttons & bit) != 0) {
            if (is_held_action(act)) {
                values_[act] += 1.0f;
            } else if ((old_mask & bit) == 0) {
                run_command(commands, press_[code]);
                if (is_impulse_action(act)) {
                    (void)queue_impulse(act, 0);
                }
            }
        } else if ((old_mask & bit) != 0) {
            run_command(commands, release_[code]);
            if (is_impulse_action(act)) {
                (void)queue_impulse(act, NETM_IMF_RELEASE);
            }
        }
    }
    const float axes[INPUT_DEVICE_AXES] = {state.x, state.y, state.z, state.r, state.u, state.v};
    for (int a = 0; a < INPUT_DEVICE_AXES; ++a) {
        const float v = axes[a];
        const int code = base + INPUT_AXIS_BASE + 2 * a + (v < 0.0f ? 1 : 0);
        const int act = actions_[code];
        if (v != 0.0f && is_held_action(act)) {
            values_[act] += v > 0.0f ? v : -v;
        }
    }
    device_masks_[d] = state.buttons;
}
