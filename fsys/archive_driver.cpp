#include "fsys/archive_driver.h"

#include "core/kassert.h"
#include "core/print.h"
#include "fsys/file_list.h"
#include "host/host_file.h"

#include <algorithm>
#include <cstring>
#include <new>

ArchiveDriver::~ArchiveDriver() { release_host_file(); }

void ArchiveDriver::release_host_file()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    last_user_ = nullptr;
}

void ArchiveDriver::build_index()
{
    index_.resize(entries_.size());
    for (size_t i = 0; i < index_.size(); ++i) {
        index_[i] = static_cast<uint32_t>(i);
    }
    std::stable_sort(index_.begin(), index_.end(),
                     [this](uint32_t a, uint32_t b) { return entries_[a].name < entries_[b].name; });
}

FileStream* ArchiveDriver::open(const char* name, int mode)
{
    const Dir wanted(name, DIR_FILE);
    if (!wanted.valid()) {
        return nullptr;
    }
    const char* const key = wanted.text();
    const auto it = std::lower_bound(index_.begin(), index_.end(), key,
                                     [this](uint32_t i, const char* k) { return entries_[i].name < k; });
    if (it == index_.end() || entries_[*it].name != key) {
        return nullptr;
    }
    ArchiveFile* const stream = new (std::nothrow) ArchiveFile(this, mode, entries_[*it]);
    return stream != nullptr ? adopt(stream) : nullptr;
}

void ArchiveDriver::close(FileStream* stream)
{
    K_ASSERT(stream && stream->driver() == this);
    if (stream == last_user_) {
        release_host_file();
    }
    free_stream(stream);
}

bool ArchiveDriver::activate(ArchiveFile* stream)
{
    if (last_user_ == stream) {
        return true;
    }
    if (file_ == nullptr) {
        file_ = host::open_file(host_path_.c_str(), host::FileMode::READ);
        if (file_ == nullptr) {
            print_format(P_ERROR, "Muf: Can't open '%s' again !", path_.text());
            last_user_ = nullptr;
            return false;
        }
    }
    if (std::fseek(file_, static_cast<long>(stream->cur_), SEEK_SET) != 0) {
        last_user_ = nullptr;
        return false;
    }
    last_user_ = stream;
    return true;
}

void ArchiveDriver::list(FileList& list, const Dir& path, uint32_t mask)
{
    if (!path.valid()) {
        return;
    }
    // The archive's root (listed as "" or "."): names without a directory part
    // are its files, the first components of the others its subdirectories.
    const bool root = path.length() == 0 || std::strcmp(path.text(), ".\\") == 0;
    const size_t length = root ? 0 : static_cast<size_t>(path.length());
    for (const ArchiveEntry& e : entries_) {
        const Dir name(e.name.c_str(), DIR_FILE);
        Dir directory;
        Dir file;
        name.split(&directory, &file);
        const bool in_root = std::strcmp(directory.text(), ".\\") == 0;
        bool is_file = false;
        if (root) {
            is_file = in_root;
        } else if (in_root || static_cast<size_t>(directory.length()) < length ||
                   std::memcmp(directory.text(), path.text(), length) != 0) {
            continue;
        } else {
            is_file = static_cast<size_t>(directory.length()) == length;
        }
        if (is_file) {
            if ((mask & FSYS_LIST_FILES) != 0) {
                add_file(list, file.text(), static_cast<uint32_t>(e.size), 0, mask);
            }
        } else if ((mask & FSYS_LIST_DIRS) != 0) {
            Dir sub;
            Dir::component(sub, &directory, static_cast<int>(length));
            add_directory(list, sub.text());
        }
    }
}

ArchiveFile::ArchiveFile(ArchiveDriver* driver, int mode, const ArchiveEntry& entry)
    : FileStream(driver), archive_(driver), mode_(mode), cur_(entry.offset), start_(entry.offset),
      end_(entry.offset + entry.size)
{
}

void ArchiveFile::orphan() { archive_ = nullptr; }

int ArchiveFile::eof()
{
    if (archive_ == nullptr || !archive_->activate(this)) {
        return 1;
    }
    K_ASSERT(cur_ >= start_);
    return cur_ >= end_ ? 1 : 0;
}

bool ArchiveFile::raw(unsigned char* out, uint64_t count)
{
    if (eof() != 0 || end_ - cur_ < count) {
        return false;
    }
    if (std::fread(out, 1, count, archive_->file_) != count) {
        // The archive changed under us: make the next read seek again.
        archive_->last_user_ = nullptr;
        return false;
    }
    cur_ += count;
    return true;
}

int ArchiveFile::get_char()
{
    if (pushed_ != -1) {
        const int c = pushed_;
        pushed_ = -1;
        return c;
    }
    unsigned char b = 0;
    while (raw(&b, 1)) {
        if (mode_ != FSYS_TEXT || b != 0x0D) {
            return b;
        }
    }
    return -1;
}

namespace {

bool archive_white(int c) { return c <= 0x20; }

} // namespace

char* ArchiveFile::read_word(char* buffer, int size) { return scan_word(buffer, size, archive_white); }

char* ArchiveFile::read_line(char* buffer, int size) { return scan_line(buffer, size); }

void ArchiveFile::unget(int c) { pushed_ = c; }

int32_t ArchiveFile::read_fixed(int count, bool little)
{
    unsigned char b[4] = {};
    if (!raw(b, static_cast<uint64_t>(count))) {
        return -1;
    }
    uint32_t v = 0;
    for (int i = 0; i < count; ++i) {
        v |= static_cast<uint32_t>(b[i]) << (little ? 8 * i : 8 * (count - 1 - i));
    }
    return static_cast<int32_t>(v);
}

int32_t ArchiveFile::read_le16() { return read_fixed(2, true); }
int32_t ArchiveFile::read_le32() { return read_fixed(4, true); }
int32_t ArchiveFile::read_be16() { return read_fixed(2, false); }
int32_t ArchiveFile::read_be32() { return read_fixed(4, false); }

size_t ArchiveFile::read(void* buffer, size_t item_size, size_t count)
{
    if (item_size == 0 || eof() != 0) {
        return 0;
    }
    const size_t items = static_cast<size_t>(std::min<uint64_t>(count, (end_ - cur_) / item_size));
    const size_t got = std::fread(buffer, item_size, items, archive_->file_);
    if (got != items) {
        archive_->last_user_ = nullptr;
    }
    cur_ += static_cast<uint64_t>(got) * item_size;
    return got;
}

int ArchiveFile::seek(int64_t offset, int whence)
{
    uint64_t base = 0;
    switch (whence) {
    case FSYS_SEEK_SET: base = start_; break;
    case FSYS_SEEK_CUR: base = cur_; break;
    case FSYS_SEEK_END: base = end_; break;
    default: return -1;
    }
    int64_t target = 0;
    if (archive_ == nullptr || base > static_cast<uint64_t>(INT64_MAX) ||
        __builtin_add_overflow(static_cast<int64_t>(base), offset, &target) ||
        target < static_cast<int64_t>(start_)) {
        return -1;
    }
    const uint64_t previous = cur_;
    cur_ = static_cast<uint64_t>(target);
    if (archive_->last_user_ == this) {
        archive_->last_user_ = nullptr;
    }
    if (!archive_->activate(this)) {
        cur_ = previous;
        return -1;
    }
    pushed_ = -1;
    return 0;
}

int64_t ArchiveFile::tell()
{
    return static_cast<int64_t>(cur_ >= end_ ? end_ - start_ : cur_ - start_);
}

int64_t ArchiveFile::size() { return static_cast<int64_t>(end_ - start_); }
