#include "fsys/file_stream.h"

#include "core/kassert.h"
#include "fsys/file_list.h"

#include <cstring>

void FileStream::close()
{
    if (driver_ == nullptr) {
        delete this;
        return;
    }
    driver_->close(this);
}

FileDriver::~FileDriver()
{
    while (streams_ != nullptr) {
        FileStream* const s = streams_;
        streams_ = s->next_;
        s->prev_ = nullptr;
        s->next_ = nullptr;
        s->orphan();
        s->driver_ = nullptr;
    }
}

FileStream* FileDriver::adopt(FileStream* stream)
{
    stream->next_ = streams_;
    if (streams_ != nullptr) {
        streams_->prev_ = stream;
    }
    streams_ = stream;
    ++open_files_;
    return stream;
}

void FileDriver::free_stream(FileStream* stream)
{
    K_ASSERT(stream->driver_ == this);
    if (stream->prev_ != nullptr) {
        stream->prev_->next_ = stream->next_;
    } else {
        streams_ = stream->next_;
    }
    if (stream->next_ != nullptr) {
        stream->next_->prev_ = stream->prev_;
    }
    delete stream;
    --open_files_;
}

char* FileStream::scan_word(char* buffer, int size, bool (*white)(int c))
{
    K_ASSERT(buffer != nullptr && size >= 1);
    buffer[0] = '\0';
    if (size == 1) {
        return nullptr;
    }
    int c = get_char();
    while (c != -1 && white(c)) {
        c = get_char();
    }
    if (c == -1) {
        return nullptr;
    }
    int n = 0;
    for (;;) {
        buffer[n++] = static_cast<char>(c);
        if (n >= size - 1) {
            break;
        }
        c = get_char();
        if (c == -1 || white(c)) {
            if (c != -1) {
                unget(c);
            }
            break;
        }
    }
    buffer[n] = '\0';
    return buffer;
}

char* FileStream::scan_line(char* buffer, int size)
{
    K_ASSERT(buffer != nullptr && size >= 1);
    int n = 0;
    while (n < size - 1) {
        const int c = get_char();
        if (c == -1) {
            break;
        }
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    buffer[n] = '\0';
    return n > 0 ? buffer : nullptr;
}

namespace {

void copy_name(FileNode* node, const char* name)
{
    const size_t length = strnlen(name, FLIST_NAME_MAX);
    std::memcpy(node->name, name, length);
    node->name[length] = '\0';
}

} // namespace

void FileDriver::add_file(FileList& list, const char* name, uint32_t size, uint32_t flags, uint32_t mask)
{
    if ((mask & FSYS_LIST_DUPLICATES) == 0 && list.find(name, FLIST_FILE, FLIST_KIND_MASK) != nullptr) {
        return;
    }
    FileNode* const node = list.add();
    if (node == nullptr) {
        return;
    }
    copy_name(node, name);
    node->size = size;
    node->size2 = size;
    node->flags = FLIST_FILE | flags;
    node->driver = this;
}

void FileDriver::add_directory(FileList& list, const char* name)
{
    if (list.find(name, FLIST_DIRECTORY, FLIST_KIND_MASK) != nullptr) {
        return;
    }
    FileNode* const node = list.add();
    if (node != nullptr) {
        copy_name(node, name);
        node->flags = FLIST_DIRECTORY;
    }
}
