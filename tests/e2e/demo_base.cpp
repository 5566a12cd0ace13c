#include "demo_base.h"

#include <cstdlib>
#include <fstream>

namespace e2e {

namespace fs = std::filesystem;

fs::path demo_base()
{
    const char* const base = std::getenv("OSTREL_DEMO_BASE");
    return base != nullptr ? fs::path(base) : fs::path();
}

bool copy_demo_base(const fs::path& to, std::string& error)
{
    const fs::path from = demo_base();
    if (!fs::is_directory(from)) {
        error = "no demo base at '" + from.string() + "' (OSTREL_DEMO_BASE)";
        return false;
    }
    std::error_code ec;
    fs::create_directories(to, ec);
    // What the build wrote, not what runs of the demo there leave: their
    // screenshots would move the numbers of new ones, and the scripts'
    // persistent block ("config") would carry their state in.
    for (const fs::directory_entry& e : fs::directory_iterator(from, ec)) {
        const std::string name = e.path().filename().string();
        if (name != "main.cfg" && name != "shots" && name != "config") {
            fs::copy(e.path(), to / name, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        }
        if (ec) {
            break;
        }
    }
    if (ec) {
        error = "can't copy the demo base: " + ec.message();
        return false;
    }
    std::ofstream(to / "main.cfg").flush();
    return true;
}

} // namespace e2e
