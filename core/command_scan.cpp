#include "core/command_scan.h"

#include "core/kassert.h"

namespace {

bool is_separator(unsigned char c) { return c <= 0x20 || c >= 0x80 || c == ')' || c == ';'; }

bool is_word_char(unsigned char c) { return c >= 0x21 && c <= 0x7F && c != '"' && c != '(' && c != ')' && c != ';'; }

} // namespace

size_t command_end(const char* text, size_t length)
{
    bool quoted = false;
    long depth = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0) {
                return i;
            }
            --depth;
        } else if (c == '\n') {
            if (depth == 0) {
                return i + 1;
            }
        } else if (!quoted && depth == 0) {
            if (c == ';') {
                return i + 1;
            }
            if (c == '/' && i + 1 < length && (text[i + 1] == '/' || text[i + 1] == '*')) {
                return i;
            }
        }
    }
    return length;
}

int tokenize_command(const char* command, size_t length, char (&area)[CONSCMD_TOKEN_AREA],
                     const char* (&argv)[CONSCMD_MAX_TOKENS])
{
    K_ASSERT(length < CONSCMD_MAX_COMMAND);
    int argc = 0;
    size_t out = 0;
    size_t i = 0;
    while (i < length && argc < CONSCMD_MAX_TOKENS) {
        const unsigned char c = static_cast<unsigned char>(command[i]);
        size_t start = 0;
        size_t end = 0;
        if (c == '(') {
            start = ++i;
            int depth = 1;
            while (i < length) {
                if (command[i] == '(') {
                    ++depth;
                } else if (command[i] == ')' && --depth == 0) {
                    break;
                }
                ++i;
            }
            end = i;
            if (i < length) {
                ++i;
            }
        } else if (c == '"') {
            start = ++i;
            while (i < length && command[i] != '"' && command[i] != '\n') {
                ++i;
            }
            end = i;
            if (i < length) {
                ++i;
            }
        } else if (is_word_char(c)) {
            start = i;
            while (i < length && is_word_char(static_cast<unsigned char>(command[i]))) {
                ++i;
            }
            end = i;
        } else {
            K_ASSERT(is_separator(c));
            ++i;
            continue;
        }
        argv[argc++] = area + out;
        for (size_t k = start; k < end; ++k) {
            area[out++] = command[k];
        }
        area[out++] = '\0';
    }
    return argc;
}
