#pragma once
// Broken invariants stop the program: K_ASSERT reports the expression, the
// source file and the line through the fatal exit.

[[noreturn]] void _hope_exit(const char* context, const char* source, int line, const char* message);
// The same, for paths that run before the engine exists.
[[noreturn]] void _hope_safe_exit(const char* context, const char* source, int line, const char* message);

// The file name without its directories.
constexpr const char* k_source_name(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    return name;
}

#define K_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : _hope_exit("Assertion failed: ", k_source_name(__FILE__), __LINE__, #expr))
