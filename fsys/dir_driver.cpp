#include "fsys/dir_driver.h"

#include "core/kassert.h"
#include "core/print.h"
#include "fsys/file_list.h"
#include "fsys/stdio2.h"
#include "host/host_file.h"

#include <new>
#include <string>
#include <vector>

FileDriver* DirDriver::mount(const char* sname)
{
    K_ASSERT(sname);
    const Dir path(sname, DIR_FILE);
    if (!path.valid()) {
        return nullptr;
    }
    if (path.length() > 0) {
        host::FileStatus status;
        if (!host::file_status(path.text(), status) ||
            (status.mode & host::FILE_TYPE_MASK) != host::FILE_TYPE_DIRECTORY) {
            return nullptr;
        }
    }
    DirDriver* const driver = new (std::nothrow) DirDriver;
    if (driver == nullptr) {
        return nullptr;
    }
    if (driver->directory_.set(sname, DIR_DIRECTORY) == 0) {
        delete driver;
        return nullptr;
    }
    print_format(P_LOG, "FSys: Directory '%s' mapped", sname[0] != '\0' ? sname : "./");
    return driver;
}

FileStream* DirDriver::open(const char* name, int mode)
{
    if (mode != FSYS_BINARY && mode != FSYS_TEXT) {
        return nullptr;
    }
    const std::string path = std::string(directory_.text()) + name;
    std::FILE* const file = host::open_file(path.c_str(), host::FileMode::READ);
    if (file == nullptr) {
        return nullptr;
    }
    DirFile* const stream = new (std::nothrow) DirFile(this, file, mode);
    if (stream == nullptr) {
        std::fclose(file);
        return nullptr;
    }
    return adopt(stream);
}

void DirDriver::close(FileStream* stream)
{
    K_ASSERT(stream && stream->driver() == this);
    free_stream(stream);
}

void DirDriver::list(FileList& list, const Dir& path, uint32_t mask)
{
    if (!path.valid()) {
        return;
    }
    const std::string where = std::string(directory_.text()) + path.text();
    std::vector<host::DirEntry> entries;
    if (!host::list_directory(where.c_str(), entries)) {
        return;
    }
    for (const host::DirEntry& e : entries) {
        const Dir name(e.name.c_str(), DIR_FILE);
        if (!name.valid()) {
            continue;
        }
        if (e.directory) {
            if ((mask & FSYS_LIST_DIRS) != 0) {
                add_directory(list, name.text());
            }
        } else if ((mask & FSYS_LIST_FILES) != 0) {
            add_file(list, name.text(), static_cast<uint32_t>(e.size), 0, mask);
        }
    }
}

DirFile::~DirFile() { orphan(); }

void DirFile::orphan()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

namespace {

// The white space of the formatted scan "%s".
bool scan_white(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

char* DirFile::read_word(char* buffer, int size) { return scan_word(buffer, size, scan_white); }

char* DirFile::read_line(char* buffer, int size) { return scan_line(buffer, size); }

void DirFile::unget(int c)
{
    if (c != -1 && file_ != nullptr) {
        std::ungetc(c, file_);
    }
}

int DirFile::get_char()
{
    if (file_ == nullptr) {
        return -1;
    }
    const int c = std::fgetc(file_);
    if (c != '\r' || mode_ != FSYS_TEXT) {
        return c;
    }
    const int next = std::fgetc(file_);
    if (next == '\n') {
        return next;
    }
    if (next != EOF) {
        std::ungetc(next, file_);
    }
    return c;
}

int32_t DirFile::read_le16() { return file_ != nullptr ? ::read_le16(file_) : -1; }
int32_t DirFile::read_le32() { return file_ != nullptr ? ::read_le32(file_) : -1; }
int32_t DirFile::read_be16() { return file_ != nullptr ? ::read_be16(file_) : -1; }
int32_t DirFile::read_be32() { return file_ != nullptr ? ::read_be32(file_) : -1; }

size_t DirFile::read(void* buffer, size_t item_size, size_t count)
{
    if (file_ == nullptr) {
        return 0;
    }
    if (mode_ != FSYS_TEXT) {
        return std::fread(buffer, item_size, count, file_);
    }
    if (item_size == 0) {
        return 0;
    }
    unsigned char* const out = static_cast<unsigned char*>(buffer);
    size_t items = 0;
    for (; items < count; ++items) {
        for (size_t i = 0; i < item_size; ++i) {
            const int c = get_char();
            if (c == -1) {
                return items;
            }
            out[items * item_size + i] = static_cast<unsigned char>(c);
        }
    }
    return items;
}

int DirFile::seek(int64_t offset, int whence)
{
    static constexpr int origins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (whence < 0 || whence > 2 || file_ == nullptr) {
        return -1;
    }
    return std::fseek(file_, static_cast<long>(offset), origins[whence]);
}

int64_t DirFile::tell() { return file_ != nullptr ? std::ftell(file_) : 0; }

int DirFile::eof() { return file_ == nullptr || std::feof(file_) != 0 ? 1 : 0; }

int64_t DirFile::size() { return file_ != nullptr ? file_size(file_) : 0; }
