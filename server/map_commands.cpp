// The server's console commands Load, Save, Map and CloseMap, beside the
// built-in commands of its command set.
#include "core/cons_cmd.h"
#include "core/kassert.h"
#include "core/print.h"
#include "server/saved_game.h"
#include "server/server.h"

#include <new>

namespace {

constexpr int MAP_COMMAND_LOAD = 1;
constexpr int MAP_COMMAND_SAVE = 2;
constexpr int MAP_COMMAND_MAP = 3;
constexpr int MAP_COMMAND_CLOSEMAP = 4;

struct MapCommand {
    const char* name;
    int id;
    const char* help;
    int needs_arguments;
    int argc;             // 0: any
    const char* refusal;  // to a client that is no administrator
};

const MapCommand map_commands[] = {
    {"Load", MAP_COMMAND_LOAD, "Load <map> <save>\n     Load game", 1, 3, "Only administrators can load game"},
    {"Save", MAP_COMMAND_SAVE, "Save <save>\n     Save game", 1, 2, "Only administrators can save game"},
    {"Map", MAP_COMMAND_MAP, "Map <map_directory>\n     Load map", 1, 2, "Only administrators can change map"},
    {"CloseMap", MAP_COMMAND_CLOSEMAP, "CloseMap\n     Quiticus mapus", 0, 0, "Only administrators can close map"},
};

const MapCommand* find_map_command(int id)
{
    for (const MapCommand& m : map_commands) {
        if (m.id == id) {
            return &m;
        }
    }
    return nullptr;
}

void execute_map_command(int id, int argc, const char* const* argv, void* context)
{
    K_ASSERT(context);
    Server& s = *static_cast<Server*>(context);
    const int requester = s.current_client >= 0 && s.current_client < SERVER_MAXCLIENTS ? s.current_client : -1;
    const MapCommand* const m = find_map_command(id);
    if (m == nullptr) {
        print_format(P_ERROR, "Server: Unknown command type %d !", id);
        return;
    }
    if (requester >= 0 && (s.client[requester].flags & SCFLAG_ADMINISTRATOR) == 0) {
        s.send_text(requester, P_MESSAGE, m->refusal);
        return;
    }
    if (m->argc != 0 && argc != m->argc) {
        s.cmd->print_command_help();
        return;
    }
    // Names are joined to folders of the base directory: they may not leave them.
    for (int i = 1; i < m->argc; ++i) {
        if (!plain_name(argv[i])) {
            print_format(P_ERROR, "Server: '%s' is not a plain name", argv[i]);
            if (requester >= 0) {
                s.send_textf(requester, P_MESSAGE, "'%s' is not a plain name", argv[i]);
            }
            return;
        }
    }
    switch (id) {
    case MAP_COMMAND_MAP:
        (void)s.start_map(argv[1], nullptr);
        break;
    case MAP_COMMAND_LOAD:
        (void)s.start_map(argv[1], argv[2]);
        break;
    case MAP_COMMAND_SAVE:
        (void)save_game(s, argv[1]);
        break;
    case MAP_COMMAND_CLOSEMAP:
        s.unload_map();
        break;
    default:
        break;
    }
}

} // namespace

int Server::register_map_commands()
{
    unregister_map_commands();
    cmd = new (std::nothrow) ConsCmd;
    if (cmd == nullptr || cmd->register_builtins() == 0) {
        return 0;
    }
    for (const MapCommand& m : map_commands) {
        if (cmd->add_command(m.name, m.id, execute_map_command, this, m.help, m.needs_arguments) == 0) {
            return 0;
        }
    }
    set_server_permissions();
    return 1;
}

// Text the server queues itself runs with every right; a client's text runs
// with the client's and never leaves them behind.
void Server::set_server_permissions() { cmd->set_permissions(0, 0, 0, 0, 0); }

void Server::unregister_map_commands()
{
    if (cmd == nullptr) {
        return;
    }
    for (const char* name : {"CloseMap", "Map", "Save", "Load"}) {
        if (cmd->find_command(name) != nullptr) {
            cmd->remove_command(name);
        }
    }
    delete cmd;
    cmd = nullptr;
}
