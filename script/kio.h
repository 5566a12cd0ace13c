#pragma once
// The script machine's only way in and out: a table of callbacks and eight
// descriptors held in the context. Messages, saved states and object files all
// pass through it.
#include <cstdarg>
#include <cstdint>

struct kcontext_t;

constexpr int KFD_MAX = 8;
constexpr int KFD_STDIN = 0;
constexpr int KFD_STDOUT = 1;
constexpr int KFD_STDERR = 2;

using kio_putc_t = void (*)(void* handle, int c);
using kio_puts_t = void (*)(void* handle, const char* text);
using kio_getc_t = int (*)(void* handle);
using kio_gets_t = const char* (*)(void* handle);
using kio_gettok_t = const char* (*)(void* handle);
using kio_error_t = int (*)(void* handle);
// Whole file in a malloc'd buffer and its length, or 0 with *buffer set to a
// message that is not to be freed.
using kio_fileread_t = uint32_t (*)(const char* name, char** buffer);

struct kiofuncs_t {
    kio_putc_t putc;
    kio_puts_t puts;
    kio_getc_t getc;
    kio_gets_t gets;
    kio_gettok_t gettok;
    kio_error_t error;
    kio_fileread_t fileread;
    void* fd[KFD_MAX];
};

void kio_putc(kcontext_t* c, int fd, int ch);
void kio_puts(kcontext_t* c, int fd, const char* text);
int kio_getc(kcontext_t* c, int fd);
const char* kio_gets(kcontext_t* c, int fd);
const char* kio_gettok(kcontext_t* c, int fd);
int kio_error(kcontext_t* c, int fd);
void kio_printf(kcontext_t* c, int fd, const char* format, ...) __attribute__((format(printf, 3, 4)));
uint32_t kio_fileread(kcontext_t* c, const char* name, char** buffer);
void kio_install(kcontext_t* c, const kiofuncs_t* io);
void kio_defaults(kcontext_t* c);

// Formats into a rotating 4096-byte buffer; the text stays valid for about
// 3.5 KB of later formatting. A null format gives an empty text.
const char* pline_format(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* pline_vformat(const char* format, va_list args);
