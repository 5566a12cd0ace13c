#pragma once
// A command set: the pending command text, the registered commands, the
// aliases, the sixteen temporary variables and the permissions under which
// the built-in commands run. The client and the server each own one.
#include "core/command_scan.h"

#include <cstddef>
#include <cstdint>

class ConfigVariable;

using ConsoleHandler = void (*)(int id, int argc, const char* const* argv, void* context);

struct ConsoleCommand {
    ConsoleCommand* next = nullptr; // sorted by name, case-insensitive
    char* name = nullptr;
    char* help = nullptr;
    int32_t needs_arguments = 0;
    ConsoleHandler handler = nullptr;
    int id = -1;
    void* context = nullptr;
};

struct ConsoleAlias {
    ConsoleAlias* next = nullptr; // sorted by name, case-insensitive
    char* name = nullptr;
    char* text = nullptr;
};

// Bits of the denied-built-ins mask.
constexpr uint32_t CONSCMD_DENY_CALL = 0x01;
constexpr uint32_t CONSCMD_DENY_DEFINE = 0x02; // Define and Undefine
constexpr uint32_t CONSCMD_DENY_ECHO = 0x04;
constexpr uint32_t CONSCMD_DENY_WAIT = 0x08;
constexpr uint32_t CONSCMD_DENY_LS = 0x10;

constexpr size_t CONSCMD_BUFFER_SIZE = 8192;
// The buffer never grows beyond this; text that would need more is refused.
constexpr size_t CONSCMD_BUFFER_LIMIT = size_t{1} << 24;
// Work bounds of one exec_buffer call: commands run or reported as faulty,
// and aliases and command files expanded. Past the first the rest waits for
// the next call; past the second the buffer is cleared, since only an alias
// or file that calls itself gets there.
constexpr int CONSCMD_MAX_COMMANDS_PER_CALL = 10000;
constexpr int CONSCMD_MAX_EXPANSIONS_PER_CALL = 1000;
constexpr int CONSCMD_TEMP_VARS = 4;

class ConsCmd {
public:
    ConsCmd() = default;
    ~ConsCmd();
    ConsCmd(const ConsCmd&) = delete;
    ConsCmd& operator=(const ConsCmd&) = delete;

    int register_builtins();
    void set_permissions(uint32_t denied, uint32_t read_value, uint32_t read_mask, uint32_t write_value,
                         uint32_t write_mask);

    int add_command(const char* name, int id, ConsoleHandler handler, void* context, const char* help,
                    int needs_arguments);
    int remove_command(const char* name);
    int remove_handler_commands(ConsoleHandler handler);

    int add_text(const char* text);
    int insert_text(const char* text);
    int exec_file(const char* name);
    void exec_buffer();
    // Runs the text at once in a buffer of its own: the pending text and the
    // wait count stay as they were, and whatever the text leaves unrun (after
    // a Wait) is dropped. Nothing runs while the buffer is being executed.
    void exec_isolated(const char* text);

    void print_command_help() const;
    // The next command, then alias, whose name begins with prefix, after the
    // one named current (compared over length characters); null when none.
    const char* complete_command(const char* prefix, const char* current, size_t length) const;

    const ConsoleCommand* find_command(const char* name) const;
    const ConsoleAlias* find_alias(const char* name) const;
    const ConsoleCommand* first_command() const { return commands_; }
    const ConsoleAlias* first_alias() const { return aliases_; }

    // The pending text.
    const char* buffer() const { return buffer_ != nullptr ? buffer_ + head_ : ""; }
    size_t buffer_used() const { return used_ - head_; }
    size_t buffer_capacity() const { return capacity_; }
    int wait_counter() const { return wait_; }

    uint32_t denied() const { return denied_; }
    bool may_read(const ConfigVariable* v) const;
    bool may_write(const ConfigVariable* v) const;

private:
    static void builtin_handler(int id, int argc, const char* const* argv, void* context);
    void run_builtin(int id, int argc, const char* const* argv);

    int define_alias(const char* name, const char* text);
    int undefine_alias(const char* name);
    int call_files(int argc, const char* const* argv);
    void print_listing(const char* const* patterns, int count) const;
    void list_variables(const char* const* patterns, int count) const;
    void list_directory(int argc, const char* const* argv) const;

    bool get_space(size_t length);
    void compact();
    int put_text(const char* text, bool in_front);
    void drop_front(size_t length);
    void dispatch(int argc, const char* const* argv);
    void forget_current(const ConsoleCommand* c);
    bool count_expansion();

    // The pending text is buffer_[head_, used_): taking a command out of the
    // front moves head_ instead of the rest of the buffer.
    char* buffer_ = nullptr;
    size_t head_ = 0;
    size_t used_ = 0;
    size_t capacity_ = 0;
    const char* argv_[CONSCMD_MAX_TOKENS] = {};
    int argc_ = 0;
    char token_area_[CONSCMD_TOKEN_AREA] = {};
    const ConsoleCommand* current_ = nullptr;
    int wait_ = 0;
    ConsoleCommand* commands_ = nullptr;
    ConsoleAlias* aliases_ = nullptr;
    uint32_t denied_ = 0;
    uint32_t read_value_ = 0;
    uint32_t read_mask_ = 0;
    uint32_t write_value_ = 0;
    uint32_t write_mask_ = 0;
    ConfigVariable* temp_[4][CONSCMD_TEMP_VARS] = {};
    bool registered_ = false;
    bool executing_ = false;
    int expansions_ = 0;
};
