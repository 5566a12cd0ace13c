#pragma once
// The client's input state: what each input code is bound to (an action, a
// press command and a release command), which codes hold each analog or
// state action down, the actions' values for the current time slice and the
// impulses of the slice.
#include "client/input_actions.h"

#include <cstdint>

class ConsCmd;
class Console;

constexpr int INPUT_HOLDERS = 4;
constexpr int INPUT_IMPULSES = 32;
constexpr uint32_t NETM_IMF_RELEASE = 0x80;

class ClientInput {
public:
    ClientInput() = default;
    ~ClientInput() { done_input(); }
    ClientInput(const ClientInput&) = delete;
    ClientInput& operator=(const ClientInput&) = delete;

    // 1, or 0 when a table cannot be had.
    int init_input(const InputDevices& devices);
    void done_input();

    // The values and impulses of the slice [from, to], seconds on the engine
    // clock: events of the slice first (the console sees each first), then
    // the enabled devices.
    int build_input(double from, double to, Console* console, ConsCmd* commands);

    int press_action(int action, int code);
    int release_action(int action, int code);

    int parse_name(const char* name, int& first, int& second) const
    {
        return parse_input_name(name, devices_, first, second);
    }

    // Bindings of code; codes outside the table answer none.
    bool valid_code(int code) const { return code >= 0 && code < code_count_; }
    int action(int code) const { return valid_code(code) ? actions_[code] : IA_COUNT; }
    const char* press_command(int code) const { return valid_code(code) ? press_[code] : nullptr; }
    const char* release_command(int code) const { return valid_code(code) ? release_[code] : nullptr; }
    // Bind an action, clearing both commands.
    void bind_action(int code, int action);
    // Replace one command, clearing the action; 0 when out of memory.
    int bind_press_command(int code, const char* text);
    int bind_release_command(int code, const char* text);
    // No action and no commands.
    void unbind(int code);

    float value(int action) const { return values_[action]; }
    int holder(int action, int i) const { return holders_[action][i]; }
    int impulse_count() const { return impulse_count_; }
    uint8_t impulse(int i) const { return impulses_[i]; }
    void clear_impulses() { impulse_count_ = 0; }
    int code_count() const { return code_count_; }

private:
    void process_input_events(double from, double to, Console* console, ConsCmd* commands);
    void poll_input_device(int d, double from, double to, ConsCmd* commands);
    bool queue_impulse(int action, uint32_t release_bit);
    int holding(int action, int code) const;
    bool held(int action) const;
    static void run_command(ConsCmd* commands, const char* text);
    static int replace_text(char*& slot, const char* text);

    InputDevices devices_;
    int code_count_ = 0;
    uint8_t* actions_ = nullptr;
    char** press_ = nullptr;
    char** release_ = nullptr;
    int holders_[IA_HELD_COUNT][INPUT_HOLDERS] = {};
    float values_[IA_HELD_COUNT] = {};
    int impulse_count_ = 0;
    uint8_t impulses_[INPUT_IMPULSES] = {};
    uint32_t* device_masks_ = nullptr;
};
