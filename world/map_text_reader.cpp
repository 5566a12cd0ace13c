#include "world/map_text_reader.h"

#include "core/print.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

bool MapTextReader::header(const char* magic, uint32_t* identifier)
{
    line_number_ = 1;
    const int result = stream_->read_line(line_, TEXT_LINE_SIZE) == nullptr
                           ? TEXT_HEADER_UNKNOWN
                           : check_text_header(line_, magic, identifier);
    if (result == TEXT_HEADER_UNKNOWN) {
        print_format(P_ERROR, "KLoad: Unknown %s file format", file_name_);
        return false;
    }
    if (result == TEXT_HEADER_OTHER_MAP) {
        print_format(P_ERROR, "KLoad: Bad magic in %s", file_name_);
        return false;
    }
    return true;
}

bool MapTextReader::header_after_comments(const char* magic, uint32_t* identifier, const char* unknown_message)
{
    const int result = next_line() ? check_text_header(line_, magic, identifier) : TEXT_HEADER_UNKNOWN;
    if (result == TEXT_HEADER_UNKNOWN) {
        print_string(P_ERROR, unknown_message);
        return false;
    }
    if (result == TEXT_HEADER_OTHER_MAP) {
        print_format(P_ERROR, "KLoad: Bad magic in %s", file_name_);
        return false;
    }
    return true;
}

bool MapTextReader::next_line(bool skip_comments)
{
    // Counted as the file's lines, so that a message points at the right one.
    for (;;) {
        if (stream_->read_line(line_, TEXT_LINE_SIZE) == nullptr) {
            print_format(P_ERROR, "KLoad: Unexpected end of %s after line %d", file_name_, line_number_);
            return false;
        }
        ++line_number_;
        const size_t length = std::strlen(line_);
        if (length == TEXT_LINE_SIZE - 1 && line_[length - 1] != '\n' && stream_->eof() == 0) {
            print_format(P_ERROR, "KLoad: Line %d of %s is too long", line_number_, file_name_);
            return false;
        }
        if (line_[0] != '#' || !skip_comments) {
            break;
        }
    }
    cursor_ = line_;
    return true;
}

bool MapTextReader::skip_lines(int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (!next_line()) {
            return false;
        }
    }
    return true;
}

bool MapTextReader::bad_line()
{
    print_format(P_ERROR, "KLoad: Error in line %d of %s", line_number_, file_name_);
    return false;
}

bool MapTextReader::read_int(int32_t& value)
{
    char* end = nullptr;
    const long long v = std::strtoll(cursor_, &end, 10);
    if (end == cursor_ || v < INT32_MIN || v > INT32_MAX) {
        return bad_line();
    }
    value = static_cast<int32_t>(v);
    cursor_ = end;
    return true;
}

bool MapTextReader::read_literal(int32_t& value)
{
    const char* p = cursor_;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    } else if (p[0] == '0') {
        base = 8;
    }
    int64_t v = 0;
    const char* const digits = p;
    for (;; ++p) {
        int d = 16;
        if (*p >= '0' && *p <= '9') {
            d = *p - '0';
        } else if (*p >= 'a' && *p <= 'f') {
            d = *p - 'a' + 10;
        } else if (*p >= 'A' && *p <= 'F') {
            d = *p - 'A' + 10;
        }
        if (d >= base) {
            break;
        }
        v = v * base + d;
        if (v > int64_t{INT32_MAX} + 1) {
            return bad_line();
        }
    }
    v = negative ? -v : v;
    const bool ends = *p == '\0' || *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n';
    if (p == digits || !ends || v < INT32_MIN || v > INT32_MAX) {
        return bad_line();
    }
    value = static_cast<int32_t>(v);
    cursor_ = p;
    return true;
}

bool MapTextReader::read_word(char* word, size_t size)
{
    const char* p = cursor_;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    size_t n = 0;
    while (p[n] != '\0' && p[n] != ' ' && p[n] != '\t' && p[n] != '\r' && p[n] != '\n') {
        ++n;
    }
    if (n == 0) {
        return bad_line();
    }
    if (n >= size) {
        print_format(P_ERROR, "KLoad: Name too long in line %d of %s", line_number_, file_name_);
        return false;
    }
    std::memcpy(word, p, n);
    word[n] = '\0';
    cursor_ = p + n;
    return true;
}

bool MapTextReader::read_hex(uint32_t& value)
{
    const char* p = cursor_;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    if (p[0] != '0' || p[1] != 'x' || !parse_hex32(p + 2, value, &p)) {
        return bad_line();
    }
    cursor_ = p;
    return true;
}

bool MapTextReader::read_float(float& value)
{
    char* end = nullptr;
    const float v = std::strtof(cursor_, &end);
    if (end == cursor_ || !std::isfinite(v)) {
        return bad_line();
    }
    value = v;
    cursor_ = end;
    return true;
}

bool MapTextReader::read_floats(float* values, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!read_float(values[i])) {
            return false;
        }
    }
    return true;
}

bool MapTextReader::line_ints(int32_t* values, int count)
{
    if (!next_line()) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!read_int(values[i])) {
            return false;
        }
    }
    return true;
}

bool MapTextReader::line_floats(float* values, int count)
{
    return next_line() && read_floats(values, count);
}
