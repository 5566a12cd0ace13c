#include "core/command_line.h"

#include "core/compare_nocase.h"
#include "core/kassert.h"
#include "core/print.h"
#include "host/host_file.h"

#include <cstdio>
#include <cstring>
#include <new>

CommandLine* command_line = nullptr;

bool is_option_text(const char* text)
{
    if (text[0] == '-' || text[0] == '+') {
        return true;
    }
    if (text[0] != '/') {
        return false;
    }
    return std::strchr(text + 1, '/') == nullptr && !host::file_exists(text);
}

CommandLine::~CommandLine()
{
    delete[] buffer_;
    if (command_line == this) {
        command_line = nullptr;
    }
}

void CommandLine::reset()
{
    delete[] buffer_;
    buffer_ = nullptr;
    capacity_ = 0;
    used_ = 0;
    count_ = 0;
    program_name_[0] = '\0';
    search_position_ = -1;
    parameter_count_ = -1;
    open_depth_ = 0;
}

int CommandLine::parse(int argc, const char* const* argv)
{
    reset();
    buffer_ = new (std::nothrow) char[1024];
    if (buffer_ == nullptr) {
        print_string(P_ERROR, "CommandLine: Not enough memory !");
        return 0;
    }
    capacity_ = 1024;
    if (argc > 0 && argv[0] != nullptr) {
        if (std::strlen(argv[0]) >= CMDLINE_NAME_LEN) {
            print_format(P_WARNING, "CommandLine: Program name cut to %d characters", CMDLINE_NAME_LEN - 1);
        }
        std::snprintf(program_name_, sizeof program_name_, "%s", argv[0]);
    }
    return argc > 1 ? add_arguments(argc - 1, argv + 1) : 1;
}

int CommandLine::add_arguments(int n, const char* const* texts)
{
    for (int i = 0; i < n; ++i) {
        if (add_argument(texts[i]) == 0) {
            return 0;
        }
    }
    return 1;
}

int CommandLine::add_response_file(const char* name)
{
    for (int i = 0; i < open_depth_; ++i) {
        if (compare_nocase(open_files_[i], name) == 0) {
            print_format(P_ERROR, "CommandLine: '%s' includes itself, skipped", name);
            return 0;
        }
    }
    if (open_depth_ >= MAX_RESPONSE_DEPTH) {
        print_format(P_ERROR, "CommandLine: Response files nested too deeply at '%s'", name);
        return 0;
    }
    std::FILE* const file = host::open_file(name, host::FileMode::READ);
    if (file == nullptr) {
        print_format(P_ERROR, "CommandLine: Can't open '%s'", name);
        return 0;
    }
    open_files_[open_depth_++] = name;
    char word[256];
    while (std::fscanf(file, "%255s", word) == 1) {
        (void)add_argument(word);
    }
    --open_depth_;
    std::fclose(file);
    return 1;
}

int CommandLine::add_argument(const char* text)
{
    K_ASSERT(buffer_);
    if (text[0] == '@') {
        return add_response_file(text + 1);
    }
    const int length = static_cast<int>(std::strlen(text) < static_cast<size_t>(MAX_CAPACITY) ? std::strlen(text)
                                                                                              : MAX_CAPACITY);
    while (used_ + length + 1 >= capacity_) {
        char* const grown = capacity_ < MAX_CAPACITY ? new (std::nothrow) char[static_cast<size_t>(capacity_) * 2]
                                                     : nullptr;
        if (grown == nullptr) {
            print_string(P_ERROR, "CommandLine: Argument list too big !");
            return 0;
        }
        std::memcpy(grown, buffer_, static_cast<size_t>(used_));
        delete[] buffer_;
        buffer_ = grown;
        capacity_ *= 2;
        print_string(P_DEBUG, "CommandLine: Buffer size doubled");
    }
    if (count_ >= CMDLINE_MAX_ARGS) {
        print_string(P_ERROR, "CommandLine: Too many arguments !");
        return 0;
    }
    std::memcpy(buffer_ + used_, text, static_cast<size_t>(length));
    buffer_[used_ + length] = '\0';
    kinds_[count_] = is_option_text(text) ? KIND_OPTION : KIND_PARAMETER;
    offsets_[count_] = used_;
    ++count_;
    used_ += length + 1;
    return 1;
}

const char* CommandLine::argument(int i) const
{
    return (i >= 0 && i < count_) ? buffer_ + offsets_[i] : nullptr;
}

bool CommandLine::matches(int index, const char* name) const
{
    const char* const arg = buffer_ + offsets_[index];
    if (name[0] == '-' || name[0] == '+' || name[0] == '/') {
        return compare_nocase(arg, name) == 0;
    }
    return compare_nocase(arg + 1, name) == 0;
}

int CommandLine::find_option(const char* name)
{
    int start = 0;
    if (search_position_ >= 0 && matches(search_position_, name)) {
        start = search_position_ + 1;
    }
    end_search();
    for (int i = start; i < count_; ++i) {
        if (kinds_[i] != KIND_OPTION || !matches(i, name)) {
            continue;
        }
        search_position_ = i;
        int n = 0;
        while (i + 1 + n < count_ && kinds_[i + 1 + n] == KIND_PARAMETER) {
            ++n;
        }
        parameter_count_ = n;
        return 1;
    }
    return 0;
}

const char* CommandLine::parameter(int i) const
{
    if (search_position_ < 0 || i < 0 || i >= parameter_count_) {
        return nullptr;
    }
    return buffer_ + offsets_[search_position_ + 1 + i];
}

int CommandLine::end_search()
{
    const int was_active = search_position_ >= 0 ? 1 : 0;
    search_position_ = -1;
    parameter_count_ = -1;
    return was_active;
}
