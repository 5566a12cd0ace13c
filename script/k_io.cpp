#include "script/k_io.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/kassert.h"
#include "core/print.h"
#include "fsys/fsys.h"
#include "script/kcontext.h"
#include "script/kio.h"

namespace {

struct KFile {
    KFileType type;
    FileStream* in;
    FILE* out;
};

KFile kfile[KFILE_COUNT + 1];  // the last entry stands behind descriptor 7 and stays free
bool kfile_ready = false;
char host_line[1025];

void prepare_table()
{
    if (kfile_ready) {
        return;
    }
    kfile[0].type = KFILE_STDIN;
    kfile[1].type = KFILE_STDOUT;
    kfile[2].type = KFILE_STDERR;
    kfile_ready = true;
}

KFile& entry_of(void* h)
{
    K_ASSERT(h != nullptr);
    return *static_cast<KFile*>(h);
}

void host_putc(void* h, int c)
{
    KFile& f = entry_of(h);
    const char text[2] = {static_cast<char>(c), '\0'};
    if (f.type == KFILE_STDOUT) {
        print_string(P_MESSAGE, text);
    } else if (f.type == KFILE_STDERR) {
        print_string(P_ERROR, text);
    } else if (f.type == KFILE_WRITE && f.out != nullptr) {
        std::fputc(c, f.out);
    }
}

void host_puts(void* h, const char* text)
{
    KFile& f = entry_of(h);
    if (f.type == KFILE_STDOUT) {
        print_string(P_MESSAGE, text);
    } else if (f.type == KFILE_STDERR) {
        print_string(P_ERROR, text);
    } else if (f.type == KFILE_WRITE && f.out != nullptr) {
        std::fputs(text, f.out);
    }
}

int host_getc(void* h)
{
    KFile& f = entry_of(h);
    if (f.type == KFILE_STDIN) {
        return '\n';
    }
    if (f.type == KFILE_READ) {
        return f.in->get_char();
    }
    return -1;
}

const char* host_gets(void* h)
{
    KFile& f = entry_of(h);
    switch (f.type) {
    case KFILE_STDIN:
        return "\n";
    case KFILE_READ:
        return f.in->read_line(host_line, sizeof host_line);
    case KFILE_FREE:
        return nullptr;
    default:
        return "";
    }
}

const char* host_gettok(void* h)
{
    KFile& f = entry_of(h);
    if (f.type == KFILE_STDIN) {
        return "\n";
    }
    if (f.type == KFILE_READ) {
        return f.in->read_word(host_line, 1024);
    }
    return nullptr;
}

int host_error(void* h)
{
    KFile& f = entry_of(h);
    if (f.type == KFILE_WRITE) {
        return f.out == nullptr ? 1 : (std::ferror(f.out) != 0 ? 1 : 0);
    }
    return f.type == KFILE_FREE ? 1 : 0;
}

uint32_t host_fileread(const char* name, char** buffer)
{
    FileStream* s = fsys != nullptr ? fsys->open(name, FSYS_BINARY) : nullptr;
    if (s == nullptr) {
        *buffer = const_cast<char*>(format_temp("Can't find object file \"%s\"", name));
        return 0;
    }
    const int64_t size = s->size();
    if (size <= 0 || size > 0x7FFFFFFF) {
        s->close();
        *buffer = const_cast<char*>(format_temp("Can't read \"%s\"", name));
        return 0;
    }
    char* data = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (data == nullptr) {
        s->close();
        *buffer = const_cast<char*>(format_temp("Can't allocate memory for \"%s\"", name));
        return 0;
    }
    const size_t items = s->read(data, static_cast<size_t>(size), 1);
    s->close();
    if (items == 0) {
        std::free(data);
        *buffer = const_cast<char*>(format_temp("Can't read \"%s\"", name));
        return 0;
    }
    *buffer = data;
    return static_cast<uint32_t>(size);
}

int free_entry()
{
    prepare_table();
    for (int i = KFILE_FIRST_FILE; i < KFILE_COUNT; ++i) {
        if (kfile[i].type == KFILE_FREE) {
            return i;
        }
    }
    return -1;
}

} // namespace

int install_host_io(kcontext_t* c)
{
    if (fsys == nullptr) {
        return 0;
    }
    prepare_table();
    kiofuncs_t io{};
    io.putc = host_putc;
    io.puts = host_puts;
    io.getc = host_getc;
    io.gets = host_gets;
    io.gettok = host_gettok;
    io.error = host_error;
    io.fileread = host_fileread;
    for (int i = 0; i < KFD_MAX; ++i) {
        io.fd[i] = &kfile[i];
    }
    kio_install(c, &io);
    return 1;
}

int host_open_file(const char* name, int mode)
{
    const int e = free_entry();
    if (e < 0 || fsys == nullptr) {
        return -1;
    }
    FileStream* s = fsys->open(name, mode);
    if (s == nullptr) {
        return -1;
    }
    kfile[e] = {KFILE_READ, s, nullptr};
    return e;
}

int host_create_file(const char* name, int binary)
{
    const int e = free_entry();
    if (e < 0) {
        return -1;
    }
    FILE* f = std::fopen(name, binary == 1 ? "wb" : "w");
    if (f == nullptr) {
        return -1;
    }
    kfile[e] = {KFILE_WRITE, nullptr, f};
    return e;
}

void host_close_file(int entry)
{
    if (entry < KFILE_FIRST_FILE || entry >= KFILE_COUNT) {
        return;
    }
    KFile& f = kfile[entry];
    if (f.type == KFILE_READ && f.in != nullptr) {
        f.in->close();
    } else if (f.type == KFILE_WRITE && f.out != nullptr) {
        std::fclose(f.out);
    }
    f = KFile{};
}

KFileType host_file_type(int entry)
{
    prepare_table();
    return entry >= 0 && entry < KFILE_COUNT ? kfile[entry].type : KFILE_FREE;
}

void* host_file_handle(int entry)
{
    K_ASSERT(entry >= 0 && entry <= KFILE_COUNT);
    return &kfile[entry];
}
