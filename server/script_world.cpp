// The least of the script world a map needs until the script glue exists:
// the object files named by "k/koblist.txt" linked into the server's
// context, their run-time made and their init tasks started. The persistent
// block and the map's saved script state are not read yet.
#include "core/kassert.h"
#include "core/print.h"
#include "core/scan.h"
#include "fsys/file_stream.h"
#include "fsys/fsys.h"
#include "script/kcontext.h"
#include "script/klink.h"
#include "script/krun.h"
#include "server/server.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* KOBLIST_PATH = "k/koblist.txt";
constexpr const char* KOBLIST_MAGIC = "textualKOBlist,version000";
constexpr int32_t KOBLIST_MAX = 255;
constexpr int KOBLIST_LINE = 1024;

// The next line that is not a comment, without its line end; false at the end.
bool next_line(FileStream* f, std::string& line)
{
    char buffer[KOBLIST_LINE];
    for (;;) {
        if (f->read_line(buffer, sizeof buffer) == nullptr) {
            return false;
        }
        if (buffer[0] == '#') {
            continue;
        }
        line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        return true;
    }
}

// The names of the list, or false after a message.
bool read_koblist(std::vector<std::string>& names)
{
    FileStream* const f = fsys != nullptr ? fsys->open(KOBLIST_PATH, FSYS_TEXT) : nullptr;
    if (f == nullptr) {
        print_format(P_ERROR, "Server: Can't open '%s'", KOBLIST_PATH);
        return false;
    }
    std::string line;
    int32_t n = 0;
    bool ok = next_line(f, line) && line == KOBLIST_MAGIC;
    if (!ok) {
        print_string(P_ERROR, "Server: Wrong KOBlist version");
    } else if (!next_line(f, line) || !scan_int(line.c_str(), n) || n < 0 || n > KOBLIST_MAX) {
        print_string(P_ERROR, "Server: Too many KOBs");
        ok = false;
    }
    for (int32_t i = 0; ok && i < n; ++i) {
        if (!next_line(f, line)) {
            print_string(P_ERROR, "LoadK: Error reading KOBlist !");
            ok = false;
        } else {
            names.push_back(line);
        }
    }
    f->close();
    return ok;
}

} // namespace

int Server::script_world_init(const char*)
{
    K_ASSERT(k_context);
    std::vector<std::string> names;
    if (!read_koblist(names)) {
        print_string(P_ERROR, "Server: Can't load kobs");
        world_flags &= ~SWF_SCRIPTS;
        return 0;
    }
    std::vector<const char*> list;
    for (const std::string& n : names) {
        list.push_back(n.c_str());
    }
    list.push_back(nullptr);
    if (K_Link(k_context, list.data()) == 0) {
        print_string(P_ERROR, "Server: K_Link failed");
        print_string(P_ERROR, "Server: Can't load kobs");
        world_flags &= ~SWF_SCRIPTS;
        return 0;
    }
    if (K_AllocResources(k_context, nullptr) == 0) {
        print_string(P_ERROR, "Server: K_AllocResources failed");
        K_Unlink(k_context);
        world_flags &= ~SWF_SCRIPTS;
        return 0;
    }
    K_StartInits(k_context);
    world_flags |= SWF_SCRIPTS;
    return 1;
}

void Server::script_world_done()
{
    if ((world_flags & SWF_SCRIPTS) != 0) {
        K_ASSERT(k_context);
        K_FreeResources(k_context);
        K_Unlink(k_context);
        world_flags &= ~SWF_SCRIPTS;
    }
}
