#include "engine/entry.h"

#include "core/compare_nocase.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "engine/engine.h"
#include "host/host_process.h"
#include "host/host_signals.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

char program_path_buffer[PROGRAM_PATH_SIZE];
ArgVector arg_vector;

bool is_separator(char c) { return c >= 1 && c <= 32; }

void destroy_engine()
{
    delete engine;
    engine = nullptr;
}

// One block holds the pointer array and then every word with its NUL.
int fill_vector(ArgVector& vector, const char* program_path, const char* const* starts, const size_t* lengths,
                int words)
{
    const int count = words + 1;
    size_t text_bytes = std::strlen(program_path) + 1;
    for (int i = 0; i < words; ++i) {
        text_bytes += lengths[i] + 1;
    }
    const size_t pointer_bytes = static_cast<size_t>(count + 1) * sizeof(char*);
    char* const block = new (std::nothrow) char[pointer_bytes + text_bytes];
    if (block == nullptr) {
        return 1;
    }
    char** const argv = reinterpret_cast<char**>(block);
    char* text = block + pointer_bytes;
    std::strcpy(text, program_path);
    argv[0] = text;
    text += std::strlen(program_path) + 1;
    for (int i = 0; i < words; ++i) {
        std::memcpy(text, starts[i], lengths[i]);
        text[lengths[i]] = '\0';
        argv[i + 1] = text;
        text += lengths[i] + 1;
    }
    argv[count] = nullptr;

    delete[] vector.block;
    vector.block = block;
    vector.argv = argv;
    vector.argc = count;
    return 0;
}

} // namespace

ArgVector::~ArgVector()
{
    delete[] block;
}

int split_command_line(ArgVector& vector, const char* program_path, const char* command_line)
{
    vector.command_line = command_line;
    vector.program_path = program_path;
    const char* starts[ARGV_MAX_WORDS];
    size_t lengths[ARGV_MAX_WORDS];
    int words = 0;
    const char* p = command_line != nullptr ? command_line : "";
    while (words < ARGV_MAX_WORDS) {
        while (is_separator(*p)) {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        const char* const start = p;
        while (*p != '\0' && !is_separator(*p)) {
            if (*p == '"') {
                ++p;
                while (*p != '\0' && *p != '"') {
                    ++p;
                }
                if (*p == '"') {
                    ++p;
                }
            } else {
                ++p;
            }
        }
        starts[words] = start;
        lengths[words] = static_cast<size_t>(p - start);
        ++words;
    }
    return fill_vector(vector, program_path, starts, lengths, words);
}

int split_arguments(ArgVector& vector, const char* program_path, int argc, const char* const* argv)
{
    vector.command_line = nullptr;
    vector.program_path = program_path;
    const char* starts[ARGV_MAX_WORDS];
    size_t lengths[ARGV_MAX_WORDS];
    int words = 0;
    for (int i = 1; i < argc && words < ARGV_MAX_WORDS; ++i, ++words) {
        starts[words] = argv[i];
        lengths[words] = std::strlen(argv[i]);
    }
    return fill_vector(vector, program_path, starts, lengths, words);
}

int find_argument(const ArgVector& vector, const char* name)
{
    for (int i = 1; i < vector.argc; ++i) {
        if (compare_nocase(vector.argv[i], name) == 0) {
            return 1;
        }
    }
    return 0;
}

const char* check_os_version()
{
    // Every host this engine builds for can run it.
    return nullptr;
}

int program_main(int argc, const char* const* argv, const char* system_name)
{
    engine = new (std::nothrow) Engine(system_name);
    if (engine == nullptr) {
        return -1;
    }
    if (engine->init(argc, argv) == 0) {
        destroy_engine();
        return -1;
    }
    static bool hook_registered = false;
    if (!hook_registered) {
        hook_registered = std::atexit(destroy_engine) == 0;
    }

    // A bounded run for demos and tests: after this many frames the client's
    // Quit variable is raised and the engine shuts down as usual.
    const char* const limit_text = std::getenv("OSTREL_FRAMES");
    const long limit = limit_text != nullptr ? std::strtol(limit_text, nullptr, 10) : 0;
    long frames = 0;
    while (engine->frame() != 0) {
        if (limit > 0 && ++frames == limit && cvar_list != nullptr) {
            if (ConfigVariable* const quit = cvar_list->find("Quit"); quit != nullptr) {
                quit->set_bool(1);
            }
        }
    }
    return 0;
}

int ostrel_main(int argc, char** argv, const char* system_name)
{
    if (!host::program_path(program_path_buffer, sizeof program_path_buffer)) {
        _hope_safe_exit("GetModuleFileName()", "karch", __LINE__, "Can't get program name");
    }
    // The shell has split the words already; only the word limit applies.
    if (split_arguments(arg_vector, program_path_buffer, argc, argv) != 0) {
        return 1;
    }
    if (find_argument(arg_vector, "-no_version_check") == 0) {
        if (const char* const message = check_os_version(); message != nullptr) {
            _hope_safe_exit("Serious error", "karch", __LINE__, message);
        }
    }
    host::catch_termination_signals();
    return program_main(arg_vector.argc, arg_vector.argv, system_name);
}
