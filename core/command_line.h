#pragma once
// The program's arguments after start-up: the real ones, then those of
// "main.opt" and of any response file named with an at sign. Options begin
// with '-', '+' or '/' and are followed by their parameters.
#include <cstdint>

constexpr int CMDLINE_MAX_ARGS = 128;
constexpr int CMDLINE_NAME_LEN = 256;

class CommandLine {
public:
    CommandLine() = default;
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    int parse(int argc, const char* const* argv);
    int add_arguments(int n, const char* const* texts);
    int add_argument(const char* text);

    // A repeated call with the same name continues after the previous match.
    int find_option(const char* name);
    const char* parameter(int i) const;
    int parameter_count() const { return parameter_count_; }
    int end_search();

    int count() const { return count_; }
    const char* argument(int i) const;
    bool is_option(int i) const { return i >= 0 && i < count_ && kinds_[i] == KIND_OPTION; }
    const char* program_name() const { return program_name_; }

private:
    static constexpr uint8_t KIND_OPTION = 1;
    static constexpr uint8_t KIND_PARAMETER = 2;
    static constexpr int MAX_RESPONSE_DEPTH = 16;
    static constexpr int MAX_CAPACITY = 1 << 20;

    int add_response_file(const char* name);
    bool matches(int index, const char* name) const;
    void reset();

    char* buffer_ = nullptr;
    int capacity_ = 0;
    int used_ = 0;
    int offsets_[CMDLINE_MAX_ARGS] = {}; // into buffer_, so growth keeps them valid
    uint8_t kinds_[CMDLINE_MAX_ARGS] = {};
    int count_ = 0;
    char program_name_[CMDLINE_NAME_LEN] = {};
    int search_position_ = -1;
    int parameter_count_ = -1;
    // Response files being read, to refuse one that includes itself.
    const char* open_files_[MAX_RESPONSE_DEPTH] = {};
    int open_depth_ = 0;
};

extern CommandLine* command_line;

// Whether an argument is an option. On this host an argument that begins with
// '/' is a path, not an option, when it holds another '/' or names an
// existing file or directory.
bool is_option_text(const char* text);
