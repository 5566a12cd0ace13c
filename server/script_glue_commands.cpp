// Console commands that scripts add: each runs a script function at once
// with the requesting client, the command id, the arguments and a value of
// the script's.
#include "core/cons_cmd.h"
#include "core/kassert.h"
#include "core/print.h"
#include "script/krun.h"
#include "server/script_glue.h"
#include "server/server.h"

#include <cstring>
#include <new>

struct ScriptCommand {
    ScriptCommand* next = nullptr;
    Server* server = nullptr;
    uint32_t function = 0;
    int32_t id = 0;
    uint32_t value = 0;
};

namespace {

// The arguments as scripts see them: a vector of string addresses in the
// export region, the strings behind it.
uint32_t export_argv(Server& s, int argc, const char* const* argv)
{
    const uint32_t cells = s.k_exports.argv;
    uint32_t text = cells + CONSCMD_MAX_TOKENS * 4;
    const uint32_t end = text + static_cast<uint32_t>(CONSCMD_TOKEN_AREA);
    KArena& arena = s.k_context->arena;
    for (int i = 0; i < argc && i < CONSCMD_MAX_TOKENS; ++i) {
        const uint32_t size = static_cast<uint32_t>(std::strlen(argv[i])) + 1;
        K_ASSERT(text + size <= end);
        std::memcpy(arena.at(text, size), argv[i], size);
        arena.set_word(cells + 4 * static_cast<uint32_t>(i), text);
        text += size;
    }
    return cells;
}

void script_command_handler(int id, int argc, const char* const* argv, void* context)
{
    K_ASSERT(context);
    const ScriptCommand* const record = static_cast<const ScriptCommand*>(context);
    K_ASSERT(record->server && record->function != 0);
    Server& s = *record->server;
    K_ASSERT(s.k_context);
    const uint32_t args[5] = {static_cast<uint32_t>(s.current_client), static_cast<uint32_t>(id),
                              static_cast<uint32_t>(argc), export_argv(s, argc, argv), record->value};
    // The record may be gone once the script has run: it can remove its own command.
    if (!call_address(s.k_context, record->function, args)) {
        print_format(P_ERROR, "Server: Can't run the script command %s", argv[0]);
    }
}

} // namespace

int register_script_command(Server& s, const char* name, uint32_t function, int32_t id, uint32_t value,
                            const char* help, int32_t flag)
{
    K_ASSERT(s.cmd);
    ScriptCommand* const record = new (std::nothrow) ScriptCommand;
    if (record == nullptr) {
        return 0;
    }
    record->server = &s;
    record->function = function;
    record->id = id;
    record->value = value;
    if (s.cmd->add_command(name, id, script_command_handler, record, help, flag) == 0) {
        delete record;
        return 0;
    }
    record->next = s.script_commands;
    s.script_commands = record;
    return 1;
}

int unregister_script_command(Server& s, const char* name, uint32_t function, int32_t id)
{
    K_ASSERT(s.cmd);
    // Only the record behind the command of that name: a script removes
    // what scripts added, never a command of the server's.
    const ConsoleCommand* const command = s.cmd->find_command(name);
    if (command == nullptr || command->handler != script_command_handler) {
        return 0;
    }
    for (ScriptCommand** link = &s.script_commands; *link != nullptr; link = &(*link)->next) {
        ScriptCommand* const record = *link;
        if (record == command->context && record->function == function && record->id == id) {
            *link = record->next;
            delete record;
            return s.cmd->remove_command(name);
        }
    }
    return 0;
}

void unregister_script_commands(Server& s)
{
    if (s.script_commands == nullptr) {
        return;
    }
    K_ASSERT(s.cmd);
    s.cmd->remove_handler_commands(script_command_handler);
    while (s.script_commands != nullptr) {
        ScriptCommand* const next = s.script_commands->next;
        delete s.script_commands;
        s.script_commands = next;
    }
}
