#include "script/kio.h"

#include <cstdio>
#include <cstdlib>

#include "core/kassert.h"
#include "script/kcontext.h"

namespace {

kiofuncs_t& io_of(kcontext_t* c, int fd)
{
    K_ASSERT(c != nullptr);
    K_ASSERT(fd >= 0 && fd < KFD_MAX);
    return c->io;
}

// Default callbacks over the process's buffered streams.
char default_line[1025];

void default_putc(void* h, int c) { std::fputc(c & 0xFF, static_cast<FILE*>(h)); }
void default_puts(void* h, const char* text) { std::fputs(text, static_cast<FILE*>(h)); }
int default_getc(void* h)
{
    const int c = std::fgetc(static_cast<FILE*>(h));
    return c == EOF ? -1 : c;
}
const char* default_gets(void* h)
{
    return std::fgets(default_line, sizeof default_line, static_cast<FILE*>(h));
}
const char* default_gettok(void* h)
{
    return std::fscanf(static_cast<FILE*>(h), "%1024s", default_line) == 1 ? default_line : nullptr;
}
int default_error(void* h) { return std::ferror(static_cast<FILE*>(h)); }

uint32_t default_fileread(const char* name, char** buffer)
{
    FILE* f = std::fopen(name, "rb");
    if (f == nullptr) {
        *buffer = const_cast<char*>(pline_format("can't find object file \"%s\"", name));
        return 0;
    }
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        size = std::ftell(f);
    }
    if (size <= 0 || size > 0x7FFFFFFF || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        *buffer = const_cast<char*>(pline_format("can't read \"%s\"", name));
        return 0;
    }
    char* data = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (data == nullptr) {
        std::fclose(f);
        *buffer = const_cast<char*>(pline_format("can't allocate memory for \"%s\"", name));
        return 0;
    }
    if (std::fread(data, static_cast<size_t>(size), 1, f) != 1) {
        std::free(data);
        std::fclose(f);
        *buffer = const_cast<char*>(pline_format("can't read \"%s\"", name));
        return 0;
    }
    std::fclose(f);
    *buffer = data;
    return static_cast<uint32_t>(size);
}

} // namespace

void kio_putc(kcontext_t* c, int fd, int ch)
{
    kiofuncs_t& io = io_of(c, fd);
    K_ASSERT(io.putc != nullptr);
    io.putc(io.fd[fd], ch & 0xFF);
}

void kio_puts(kcontext_t* c, int fd, const char* text)
{
    kiofuncs_t& io = io_of(c, fd);
    K_ASSERT(io.puts != nullptr);
    io.puts(io.fd[fd], text);
}

int kio_getc(kcontext_t* c, int fd)
{
    kiofuncs_t& io = io_of(c, fd);
    K_ASSERT(io.getc != nullptr);
    return io.getc(io.fd[fd]);
}

const char* kio_gets(kcontext_t* c, int fd)
{
    kiofuncs_t& io = io_of(c, fd);
    K_ASSERT(io.gets != nullptr);
    return io.gets(io.fd[fd]);
}

const char* kio_gettok(kcontext_t* c, int fd)
{
    kiofuncs_t& io = io_of(c, fd);
    K_ASSERT(io.gettok != nullptr);
    return io.gettok(io.fd[fd]);
}

int kio_error(kcontext_t* c, int fd)
{
    kiofuncs_t& io = io_of(c, fd);
    K_ASSERT(io.error != nullptr);
    return io.error(io.fd[fd]);
}

void kio_printf(kcontext_t* c, int fd, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const char* text = pline_vformat(format, args);
    va_end(args);
    kio_puts(c, fd, text);
}

uint32_t kio_fileread(kcontext_t* c, const char* name, char** buffer)
{
    K_ASSERT(c != nullptr && c->io.fileread != nullptr);
    return c->io.fileread(name, buffer);
}

void kio_install(kcontext_t* c, const kiofuncs_t* io)
{
    K_ASSERT(c != nullptr && io != nullptr);
    c->io = *io;
}

void kio_defaults(kcontext_t* c)
{
    K_ASSERT(c != nullptr);
    c->io.putc = default_putc;
    c->io.puts = default_puts;
    c->io.getc = default_getc;
    c->io.gets = default_gets;
    c->io.gettok = default_gettok;
    c->io.error = default_error;
    c->io.fileread = default_fileread;
    c->io.fd[0] = stdin;
    c->io.fd[1] = stdout;
    c->io.fd[2] = stderr;
}
