#include "core/byte_order.h"
#include "core/print.h"
#include "fsys/archive_driver.h"
#include "fsys/stdio2.h"
#include "host/host_file.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t MUF_FLAG_DELETED = 0x80;
// flags, offset, size and at least the name's NUL
constexpr uint64_t MUF_ENTRY_MIN = 10;
constexpr uint64_t MUF_RESERVE_MAX = 65536;

// Reads the archive's host file within its known length.
class MufInput {
public:
    MufInput(std::FILE* file, uint64_t size) : file_(file), size_(size) {}

    bool bytes(unsigned char* out, uint64_t count)
    {
        if (size_ - position_ < count || std::fread(out, 1, count, file_) != count) {
            return false;
        }
        position_ += count;
        return true;
    }
    bool u32(uint32_t& value)
    {
        unsigned char b[4];
        if (!bytes(b, 4)) {
            return false;
        }
        value = read_le32(b);
        return true;
    }
    int byte()
    {
        unsigned char b;
        return bytes(&b, 1) ? b : -1;
    }
    bool move_to(uint64_t position)
    {
        if (position > size_ || std::fseek(file_, static_cast<long>(position), SEEK_SET) != 0) {
            return false;
        }
        position_ = position;
        return true;
    }
    uint64_t position() const { return position_; }
    uint64_t size() const { return size_; }

private:
    std::FILE* file_;
    uint64_t size_;
    uint64_t position_ = 0;
};

bool is_id(const unsigned char* b, const char* id) { return std::memcmp(b, id, 4) == 0; }

} // namespace

FileDriver* ArchiveMuf::mount(const char* name)
{
    std::string host_path;
    if (!host::resolve_path(name, host_path)) {
        return nullptr;
    }
    std::FILE* const file = host::open_file(host_path.c_str(), host::FileMode::READ);
    if (file == nullptr) {
        return nullptr;
    }
    ArchiveMuf* const driver = new (std::nothrow) ArchiveMuf;
    if (driver == nullptr || driver->path_.set(name, DIR_FILE) == 0) {
        delete driver;
        std::fclose(file);
        return nullptr;
    }
    driver->host_path_ = host_path;
    const bool ok = driver->read_directory(file, name);
    std::fclose(file);
    if (!ok) {
        delete driver;
        return nullptr;
    }
    driver->build_index();
    print_format(P_LOG, "FSys: MUF archive '%s' mapped", name);
    return driver;
}

bool ArchiveMuf::read_directory(std::FILE* file, const char* name)
{
    MufInput in(file, static_cast<uint64_t>(file_size(file)));
    unsigned char id[4];
    if (!in.bytes(id, 4) || !is_id(id, "MUF2")) {
        return false; // not an archive: the directory driver may take the name
    }
    uint32_t length = 0;
    if (!in.bytes(id, 4) || !is_id(id, "HEAD")) {
        print_format(P_ERROR, "Muf: First block in '%s' is not HEAD !", name);
        return false;
    }
    unsigned char version[2];
    uint32_t count = 0;
    const uint64_t head_start = in.position() + 4;
    if (!in.u32(length) || length < 6 || head_start + length > in.size() || !in.bytes(version, 2) ||
        !in.u32(count)) {
        print_format(P_ERROR, "Muf: HEAD block of '%s' is damaged !", name);
        return false;
    }
    if (version[1] != 1) {
        print_format(P_ERROR, "Muf: Reader not compatible with version %2d.%.2d !", version[1], version[0]);
        return false;
    }
    in.move_to(head_start + length);

    // The count comes from the file: the directory grows with the entries
    // actually there, the reservation only saves early reallocations.
    entries_.reserve(static_cast<size_t>(std::min<uint64_t>({count, (in.size() - in.position()) / MUF_ENTRY_MIN,
                                                             MUF_RESERVE_MAX})));
    char text[DIR_MAX + 2];
    while (entries_.size() < count) {
        uint32_t block_length = 0;
        if (!in.bytes(id, 4) || !in.u32(block_length)) {
            break;
        }
        const uint64_t block_end = in.position() + block_length;
        if (block_end > in.size()) {
            if (is_id(id, "DIR ")) {
                print_format(P_ERROR, "Muf: Directory block runs past the end of '%s' !", name);
                return false;
            }
            break;
        }
        uint32_t n = 0;
        if (is_id(id, "DIR ") && (block_length < 4 || !in.u32(n))) {
            print_format(P_ERROR, "Muf: Directory block of '%s' is damaged !", name);
            return false;
        }
        while (n > 0 && in.position() < block_end && entries_.size() < count) {
            --n;
            unsigned char fixed[9];
            if (block_end - in.position() < MUF_ENTRY_MIN || !in.bytes(fixed, 9)) {
                print_format(P_ERROR, "Muf: Directory entry runs past its block in '%s' !", name);
                return false;
            }
            // The name runs up to its NUL, which must lie inside the block.
            uint64_t name_length = 0;
            int c = 0;
            while (in.position() < block_end && (c = in.byte()) > 0) {
                if (name_length <= static_cast<uint64_t>(DIR_MAX)) {
                    text[name_length] = static_cast<char>(c);
                }
                ++name_length;
            }
            if (c != 0) {
                print_format(P_ERROR, "Muf: Directory entry runs past its block in '%s' !", name);
                return false;
            }
            if ((fixed[0] & MUF_FLAG_DELETED) != 0) {
                continue;
            }
            if (name_length > static_cast<uint64_t>(DIR_MAX)) {
                text[DIR_MAX] = '\0';
                print_format(P_WARNING, "Muf: Name '%.40s...' too long in '%s', entry dropped !", text, name);
                continue;
            }
            text[name_length] = '\0';
            const Dir member(text, DIR_FILE);
            ArchiveEntry entry;
            entry.name = member.text();
            entry.offset = read_le32(fixed + 1);
            entry.size = read_le32(fixed + 5);
            if (entry.offset + entry.size > in.size()) {
                print_format(P_ERROR, "Muf: Member '%s' lies outside '%s' !", member.text(), name);
                return false;
            }
            entries_.push_back(std::move(entry));
        }
        if (!in.move_to(block_end)) {
            break;
        }
    }
    if (entries_.size() < count) {
        print_string(P_WARNING, "Muf: File count is not valid !");
    }
    return true;
}
