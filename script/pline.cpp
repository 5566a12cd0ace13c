#include "script/kio.h"

#include <cstdio>

namespace {

constexpr int PLINE_SIZE = 4096;
constexpr int PLINE_WRAP = 3584;
char pline_buffer[PLINE_SIZE];
int pline_position = 0;

} // namespace

const char* pline_vformat(const char* format, va_list args)
{
    if (pline_position > PLINE_WRAP) {
        pline_position = 0;
    }
    char* text = pline_buffer + pline_position;
    if (format == nullptr) {
        text[0] = '\0';
        pline_position += 1;
        return text;
    }
    const int room = PLINE_SIZE - pline_position;
    int n = std::vsnprintf(text, static_cast<size_t>(room), format, args);
    if (n < 0) {
        n = 0;
        text[0] = '\0';
    }
    // A text that did not fit is cut at the end of the buffer.
    pline_position += (n < room ? n : room - 1) + 1;
    return text;
}

const char* pline_format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const char* text = pline_vformat(format, args);
    va_end(args);
    return text;
}
