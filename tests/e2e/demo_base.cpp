#include "demo_base.h"

#include <cstdlib>

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
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) {
        error = "can't copy the demo base: " + ec.message();
        return false;
    }
    fs::remove(to / "main.cfg", ec);
    return true;
}

} // namespace e2e
