#include "core/log_file.h"

#include "core/kassert.h"

#include <ctime>

LogFile* log_file = nullptr;

namespace {
constexpr const char* CLOSING_RULE = "-------------------------------------------------------\n\n";
char date_text[64];
} // namespace

LogFile::~LogFile()
{
    close();
    if (log_file == this) {
        log_file = nullptr;
    }
}

int LogFile::open(int mode, const char* file_name, const char* header_format)
{
    close();
    if (mode == 0) {
        return 1;
    }
    K_ASSERT(file_name);
    file_ = std::fopen(file_name, mode == 2 ? "a" : "w");
    if (file_ == nullptr) {
        return 0;
    }
    if (header_format != nullptr) {
        const std::time_t now = std::time(nullptr);
        const std::tm* const local = std::localtime(&now);
        if (local == nullptr || std::strftime(date_text, sizeof date_text, "%A %B %d %T, %Y", local) == 0) {
            date_text[0] = '\0';
        }
        std::fprintf(file_, header_format, date_text);
    }
    return 1;
}

void LogFile::close()
{
    if (file_ == nullptr) {
        return;
    }
    std::fputs(CLOSING_RULE, file_);
    std::fclose(file_);
    file_ = nullptr;
}

void LogFile::flush()
{
    if (file_ != nullptr) {
        std::fflush(file_);
    }
}

void LogFile::write_line(const char* text, unsigned flags)
{
    if (file_ == nullptr) {
        return;
    }
    std::fprintf(file_, "%s\n", text);
    if ((flags & LOG_FLUSH) != 0) {
        std::fflush(file_);
    }
}
