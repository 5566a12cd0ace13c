// Command text as a client could send it to the server's command set: run
// through a fresh set with every built-in allowed, a few frames long.
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/print.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void discard(int, const char*, uintptr_t) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ConfigVariableList variables;
    if (cvar_list == nullptr) {
        cvar_list = &variables;
        set_stream_handler(discard, 0);
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    ConsCmd cmd;
    if (cmd.register_builtins() == 0) {
        return 0;
    }
    cmd.set_permissions(0, 0, 0, 0, 0);
    (void)cmd.add_text(text.c_str());
    for (int frame = 0; frame < 4; ++frame) {
        cmd.exec_buffer();
    }
    return 0;
}
