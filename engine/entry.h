#pragma once
// Program entry: the argument vector, the system check and the main loop.

constexpr int ARGV_MAX_WORDS = 255;
constexpr int PROGRAM_PATH_SIZE = 1024;

struct ArgVector {
    const char* command_line = nullptr; // raw text handed to the entry point
    const char* program_path = nullptr;
    char** argv = nullptr;              // null-terminated
    int argc = 0;                       // including the program path
    char* block = nullptr;              // pointer array followed by the words

    ArgVector() = default;
    ~ArgVector();
    ArgVector(const ArgVector&) = delete;
    ArgVector& operator=(const ArgVector&) = delete;
};

// 0 on success, 1 when the block cannot be allocated. At most 255 words.
int split_command_line(ArgVector& vector, const char* program_path, const char* command_line);
// The same from words a shell has already split.
int split_arguments(ArgVector& vector, const char* program_path, int argc, const char* const* argv);
// 1 when an argument after argument 0 equals the name, in any letter case.
int find_argument(const ArgVector& vector, const char* name);
// A message when this system cannot run the engine, else null.
const char* check_os_version();
// Runs the engine; 0 after a normal end, -1 when it cannot start.
int program_main(int argc, const char* const* argv, const char* system_name);
// The entry of both programs: the words the shell split, up to the word limit.
int ostrel_main(int argc, char** argv, const char* system_name);
