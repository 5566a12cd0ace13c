#pragma once
// The console's command language: where the first command of a text ends,
// and how one command splits into tokens.
#include <cstddef>

constexpr int CONSCMD_MAX_TOKENS = 16;
// Commands of this length or longer are dropped.
constexpr size_t CONSCMD_MAX_COMMAND = 1000;
// The splitting area: the command, one NUL per token and the final NUL.
constexpr size_t CONSCMD_TOKEN_AREA = 1024 + CONSCMD_MAX_TOKENS;

// The length of the first command of text[0..length): up to and including a
// ';' or newline that ends it, or up to a ')' at depth 0, "//" or "/*" that
// ends it. 0 means the text starts with a comment or a stray ')'.
size_t command_end(const char* text, size_t length);

// Splits command[0..length) (length below CONSCMD_MAX_COMMAND) into at most
// CONSCMD_MAX_TOKENS tokens kept in area; returns the token count.
int tokenize_command(const char* command, size_t length, char (&area)[CONSCMD_TOKEN_AREA],
                     const char* (&argv)[CONSCMD_MAX_TOKENS]);
