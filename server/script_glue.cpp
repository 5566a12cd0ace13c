// The script world of a map: the persistent block read, the script object
// files of "k/koblist.txt" linked into the server's context, their run-time
// made and the map's script state loaded; and all of it undone at the stop.
#include "server/script_glue.h"

#include "core/command_scan.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/scan.h"
#include "fsys/file_stream.h"
#include "fsys/fsys.h"
#include "script/k_io.h"
#include "script/kcontext.h"
#include "script/klink.h"
#include "script/kload.h"
#include "script/krun.h"
#include "server/builtin_table.h"
#include "server/server.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* KOBLIST_MAGIC = "textualKOBlist,version000\n";
constexpr int KOBLIST_LINE = 1024;

// The next line that is not a comment, line end kept; false at the end.
bool next_line(FileStream* f, char (&buffer)[KOBLIST_LINE])
{
    for (;;) {
        if (f->read_line(buffer, sizeof buffer) == nullptr) {
            return false;
        }
        if (buffer[0] != '#') {
            return true;
        }
    }
}

// A name as the list holds it: without its line end and any carriage
// returns before it. Control characters elsewhere make it no name.
bool cut_name(char* line)
{
    size_t n = std::strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) {
        line[--n] = '\0';
    }
    if (n == 0) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(line[i]) < 0x20) {
            return false;
        }
    }
    return true;
}

// The names of the list, or false after a message.
bool read_koblist(FileStream* f, const char* path, std::vector<std::string>& names)
{
    char line[KOBLIST_LINE];
    if (!next_line(f, line) || std::strcmp(line, KOBLIST_MAGIC) != 0) {
        print_string(P_ERROR, "Server: Wrong KOBlist version");
        return false;
    }
    int32_t n = 0;
    if (!next_line(f, line) || !scan_decimal(line, n) || n < 0) {
        // A negative count would link nothing and look like success.
        print_format(P_ERROR, "Server: Bad KOB count in '%s'", path);
        return false;
    }
    if (n > KOBLIST_MAX) {
        print_string(P_ERROR, "Server: Too many KOBs");
        return false;
    }
    uint32_t used = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (!next_line(f, line)) {
            print_string(P_ERROR, "LoadK: Error reading KOBlist !");
            return false;
        }
        if (!cut_name(line)) {
            print_format(P_ERROR, "Server: Bad KOB name in '%s'", path);
            return false;
        }
        const size_t size = std::strlen(line) + 1;
        if (used + size > KOBLIST_BUFFER) {
            print_string(P_ERROR, "Server: KOBlist too long !");
            return false;
        }
        used += static_cast<uint32_t>(size);
        names.emplace_back(line);
    }
    return true;
}

} // namespace

int script_context_create(Server& s)
{
    K_ASSERT(s.k_context == nullptr);
    s.k_context = K_AllocContext(&s, builtin_table(), required_names());
    if (s.k_context == nullptr) {
        return 0;
    }
    const uint32_t inputs = SERVER_MAXCLIENTS * SCRIPT_INPUT_BYTES;
    const uint32_t names = SERVER_MAXCLIENTS * SCRIPT_NAME_BYTES;
    const uint32_t argv = CONSCMD_MAX_TOKENS * 4 + static_cast<uint32_t>(CONSCMD_TOKEN_AREA);
    const uint32_t tags = MESH_MODEL_MAX * SCRIPT_TAGS_PER_MODEL * 4;
    const uint32_t region = K_AllocHostRegion(
        s.k_context, KCMOS_SIZE + inputs + names + argv + static_cast<uint32_t>(PRINT_RING_SIZE) + tags);
    if (region == 0) {
        script_context_free(s);
        return 0;
    }
    s.k_exports.cmos = region;
    s.k_exports.inputs = region + KCMOS_SIZE;
    s.k_exports.names = s.k_exports.inputs + inputs;
    s.k_exports.argv = s.k_exports.names + names;
    s.k_exports.texts = s.k_exports.argv + argv;
    s.k_exports.texts_used = 0;
    s.k_exports.tags = s.k_exports.texts + static_cast<uint32_t>(PRINT_RING_SIZE);
    install_host_io(s.k_context);
    return 1;
}

void script_context_free(Server& s)
{
    K_FreeContext(s.k_context);
    s.k_context = nullptr;
    s.k_exports = ScriptExports{};
    s.k_cmos = nullptr;
}

int koblist_load(Server& s, const char* path)
{
    FileStream* const f = fsys != nullptr ? fsys->open(path, FSYS_TEXT) : nullptr;
    if (f == nullptr) {
        print_format(P_ERROR, "Server: Can't open '%s'", path);
        return 0;
    }
    std::vector<std::string> names;
    const bool ok = read_koblist(f, path, names);
    f->close();
    if (!ok) {
        return 0;
    }
    K_ASSERT(s.k_context);
    std::vector<const char*> list;
    for (const std::string& n : names) {
        list.push_back(n.c_str());
    }
    list.push_back(nullptr);
    if (K_Link(s.k_context, list.data()) == 0) {
        print_string(P_ERROR, "Server: K_Link failed");
        return 0;
    }
    if (K_AllocResources(s.k_context, nullptr) == 0) {
        print_string(P_ERROR, "Server: K_AllocResources failed");
        K_Unlink(s.k_context);
        return 0;
    }
    K_StartInits(s.k_context);
    return 1;
}

int initial_save_load(Server& s, const char* path)
{
    const int slot = host_open_file(path, FSYS_TEXT);
    if (slot < 0) {
        print_format(P_ERROR, "Server: Can't open '%s'", path);
        return 0;
    }
    // The script machine's descriptors stand on the host entries of the same number.
    const int ok = load_state(s.k_context, slot);
    if (ok == 0) {
        print_string(P_ERROR, "Server: Initial KSV load error");
        print_format(P_ERROR, "Server: %s", load_state_failure());
    }
    host_close_file(slot);
    return ok;
}

int Server::script_world_init(const char* save)
{
    K_ASSERT(k_context);
    kcmos_save(*this);
    k_cmos = k_context->arena.at(k_exports.cmos, KCMOS_SIZE);
    std::memset(k_cmos, 0, KCMOS_SIZE);
    if (FileStream* const f = fsys != nullptr ? fsys->open(KCMOS_PATH, FSYS_BINARY) : nullptr) {
        if (kcmos_read(*this, f) == 0) {
            print_string(P_WARNING, "Server: K-CMOS file corrupt, resetting");
        }
        f->close();
    }
    if (koblist_load(*this, KOBLIST_PATH) == 0) {
        print_string(P_ERROR, "Server: Can't load kobs");
        world_flags &= ~SWF_SCRIPTS;
        return 0;
    }
    const std::string path = save != nullptr ? std::string("maps/") + map_name + "/" + save : INITIAL_STATE_PATH;
    if (initial_save_load(*this, path.c_str()) == 0) {
        print_format(P_ERROR, "Server: Can't load '%s'", path.c_str());
        K_FreeResources(k_context);
        K_Unlink(k_context);
        world_flags &= ~SWF_SCRIPTS;
        return 0;
    }
    world_flags |= SWF_SCRIPTS;
    return 1;
}

void Server::script_world_done()
{
    unregister_script_commands(*this);
    kcmos_save(*this);
    if ((world_flags & SWF_SCRIPTS) != 0) {
        K_ASSERT(k_context);
        K_FreeResources(k_context);
        K_Unlink(k_context);
        world_flags &= ~SWF_SCRIPTS;
    }
}
