#include "world/text_file.h"

#include <cstring>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

char* read_text_line(char* line, FileStream* stream)
{
    for (;;) {
        char* const got = stream->read_line(line, TEXT_LINE_SIZE);
        if (got == nullptr || got[0] != '#') {
            return got;
        }
    }
}

bool parse_hex32(const char* text, uint32_t& value, const char** end)
{
    const char* p = text;
    while (is_blank(*p) || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (hex_digit(*p) < 0) {
        return false;
    }
    uint64_t v = 0;
    for (; hex_digit(*p) >= 0; ++p) {
        v = (v << 4) | static_cast<uint64_t>(hex_digit(*p));
        if (v > 0xFFFFFFFFull) {
            return false;
        }
    }
    const uint32_t bits = static_cast<uint32_t>(v);
    value = negative ? 0u - bits : bits;
    if (end != nullptr) {
        *end = p;
    }
    return true;
}

int check_text_header(const char* line, const char* magic, uint32_t* identifier)
{
    const size_t length = std::strlen(magic);
    if (std::strncmp(line, magic, length) != 0) {
        return TEXT_HEADER_UNKNOWN;
    }
    const char* const tail = line + length;
    uint32_t file_id = 0;
    if (tail[0] != ',' || tail[1] != '0' || tail[2] != 'x' || !parse_hex32(tail + 3, file_id) || file_id == 0) {
        return TEXT_HEADER_OK;
    }
    if (*identifier == 0) {
        *identifier = file_id;
        return TEXT_HEADER_OK;
    }
    return *identifier == file_id ? TEXT_HEADER_OK : TEXT_HEADER_OTHER_MAP;
}

char* copy_path(char* destination, size_t size, const char* source)
{
    const size_t length = std::strlen(source);
    if (size == 0) {
        return nullptr;
    }
    if (length >= size) {
        destination[0] = '\0';
        return nullptr;
    }
    std::memcpy(destination, source, length + 1);
    char* tail = destination;
    for (char* p = destination; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            tail = p + 1;
        }
    }
    return tail;
}

char* cut_at_newline(char* text)
{
    char* const newline = std::strchr(text, '\n');
    if (newline == nullptr) {
        return text + std::strlen(text);
    }
    *newline = '\0';
    return newline;
}

const char* next_word(const char* text)
{
    const char* p = text;
    while (*p != '\0' && !is_blank(*p)) {
        ++p;
    }
    while (is_blank(*p)) {
        ++p;
    }
    return p;
}
