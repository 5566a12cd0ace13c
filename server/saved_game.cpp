#include "server/saved_game.h"

#include "core/print.h"
#include "fsys/dir.h"
#include "fsys/plain_name.h"
#include "script/k_io.h"
#include "script/krun.h"
#include "script/ksave.h"
#include "server/builtin_table.h"
#include "server/script_glue.h"
#include "server/server.h"

#include <cstdio>
#include <cstring>
#include <string>

bool plain_name(const char* name) { return is_plain_name(name) && std::strlen(name) <= SAVED_NAME_MAX; }

int save_game(Server& s, const char* save)
{
    if ((s.world_flags & SWF_READY) != SWF_READY) {
        print_string(P_ERROR, "Server: World not active - can't save");
        return 0;
    }
    const std::string path = std::string("maps/") + s.map_name + "/" + save;
    std::string full;
    if (!plain_name(save) || !plain_name(s.map_name) || !base_path(path.c_str(), full)) {
        print_format(P_ERROR, "Server: Can't open '%s'", path.c_str());
        return 0;
    }
    // Written beside the old save and put in its place only when whole.
    const std::string part = full + ".new";
    Dir(part.c_str(), DIR_FILE).make();
    const int slot = host_create_file(part.c_str(), 0);
    if (slot < 0) {
        print_format(P_ERROR, "Server: Can't open '%s'", path.c_str());
        return 0;
    }
    const uint32_t archive = s.k_context->required[REQUIRED_ARCHIVE].address;
    if (archive != 0) {
        (void)call_address(s.k_context, archive, {});
    }
    const bool saved = save_state(s.k_context, slot) != 0;
    host_close_file(slot);
    if (!saved || std::rename(part.c_str(), full.c_str()) != 0) {
        std::remove(part.c_str());
        print_format(P_ERROR, "Server: Can't save game into '%s'", path.c_str());
        return 0;
    }
    print_format(P_IMPORTANT, "Saving game into '%s'...", path.c_str());
    return 1;
}
