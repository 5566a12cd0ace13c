#pragma once
// The log file "kavrin.log": logged print lines, opened with a dated header
// and closed with a rule.
#include <cstdio>

constexpr unsigned LOG_FLUSH = 2; // write_line flag: flush at once

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // mode 0 only closes; 1 writes anew; 2 appends. header_format takes the date.
    int open(int mode, const char* file_name, const char* header_format);
    void close();
    void write_line(const char* text, unsigned flags);
    // Writes out what write_line has buffered.
    void flush();
    bool is_open() const { return file_ != nullptr; }

private:
    std::FILE* file_ = nullptr;
};

extern LogFile* log_file;
