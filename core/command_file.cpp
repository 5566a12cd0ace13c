#include "core/command_file.h"

#include "core/cons_cmd.h"
#include "fsys/fsys.h"

#include <cstdlib>
#include <cstring>

char* read_command_file(const char* name)
{
    FileStream* const f = fsys != nullptr ? fsys->open(name, FSYS_TEXT) : nullptr;
    if (f == nullptr) {
        return nullptr;
    }
    constexpr size_t CHUNK = 4096;
    size_t used = 0;
    size_t capacity = CHUNK;
    char* text = static_cast<char*>(std::malloc(capacity + 1));
    while (text != nullptr) {
        const size_t n = f->read(text + used, 1, capacity - used);
        used += n;
        if (n == 0) {
            break;
        }
        if (used == capacity) {
            // Text beyond what the command buffer could ever hold is refused.
            char* const bigger = capacity < CONSCMD_BUFFER_LIMIT
                                     ? static_cast<char*>(std::realloc(text, capacity * 2 + 1))
                                     : nullptr;
            if (bigger == nullptr) {
                std::free(text);
                text = nullptr;
                break;
            }
            text = bigger;
            capacity *= 2;
        }
    }
    f->close();
    if (text != nullptr) {
        text[used] = '\0';
    }
    return text;
}
