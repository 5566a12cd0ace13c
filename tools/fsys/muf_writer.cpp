#include "tools/fsys/muf_writer.h"

#include "tools/fsys/write_bytes.h"

namespace tools {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void set32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void put_id(std::vector<uint8_t>& out, const std::string& id)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(static_cast<size_t>(i) < id.size() ? id[static_cast<size_t>(i)] : ' '));
    }
}

} // namespace

void MufWriter::add(const std::string& name, const std::vector<uint8_t>& data, uint8_t flags)
{
    items_.push_back({Item::ENTRY, name, data, flags});
}

void MufWriter::add(const std::string& name, const std::string& text, uint8_t flags)
{
    add(name, std::vector<uint8_t>(text.begin(), text.end()), flags);
}

void MufWriter::end_directory_block() { items_.push_back({Item::BREAK, {}, {}, 0}); }

void MufWriter::add_block(const char (&id)[5], const std::vector<uint8_t>& data)
{
    items_.push_back({Item::BLOCK, std::string(id, 4), data, 0});
}

uint32_t MufWriter::live_entries() const
{
    uint32_t n = 0;
    for (const Item& item : items_) {
        if (item.kind == Item::ENTRY && (item.flags & FLAG_DELETED) == 0) {
            ++n;
        }
    }
    return n;
}

namespace {

constexpr uint64_t HEAD_BYTES = 4 + 8 + 6; // magic, HEAD block header, version and count
constexpr uint64_t BLOCK_HEADER_BYTES = 8;
constexpr uint64_t DIR_HEADER_BYTES = BLOCK_HEADER_BYTES + 4;

// Flags, offset, size and the name with its terminating zero.
uint64_t entry_bytes(const std::string& name, uint64_t data_size)
{
    return 1 + 4 + 4 + name.size() + 1 + data_size;
}

} // namespace

uint64_t MufWriter::size() const
{
    uint64_t total = HEAD_BYTES + head_extra_.size() + BLOCK_HEADER_BYTES;
    bool in_dir = false;
    for (const Item& item : items_) {
        if (item.kind == Item::ENTRY) {
            total += (in_dir ? 0 : DIR_HEADER_BYTES) + entry_bytes(item.name, item.data.size());
            in_dir = true;
            continue;
        }
        in_dir = false;
        if (item.kind == Item::BLOCK) {
            total += BLOCK_HEADER_BYTES + item.data.size();
        }
    }
    return total;
}

uint64_t MufWriter::size_after(const std::string& name, uint64_t data_size) const
{
    const bool opens_dir = items_.empty() || items_.back().kind != Item::ENTRY;
    return size() + (opens_dir ? DIR_HEADER_BYTES : 0) + entry_bytes(name, data_size);
}

std::vector<uint8_t> MufWriter::build() const
{
    std::vector<uint8_t> out;
    if (size() > MAX_SIZE) {
        return out;
    }
    put_id(out, "MUF2");
    put_id(out, "HEAD");
    put32(out, static_cast<uint32_t>(6 + head_extra_.size()));
    out.push_back(static_cast<uint8_t>(version_ & 0xFF));
    out.push_back(static_cast<uint8_t>(version_ >> 8));
    put32(out, has_count_ ? count_ : live_entries());
    out.insert(out.end(), head_extra_.begin(), head_extra_.end());

    // Directory and other blocks first; member offsets are patched in once
    // the data block's place is known.
    std::vector<std::pair<size_t, const Item*>> offset_fields;
    size_t dir_start = 0;
    uint32_t dir_entries = 0;
    bool in_dir = false;
    auto close_dir = [&]() {
        if (in_dir) {
            set32(out, dir_start + 4, static_cast<uint32_t>(out.size() - dir_start - 8));
            set32(out, dir_start + 8, dir_entries);
            in_dir = false;
        }
    };
    for (const Item& item : items_) {
        if (item.kind != Item::ENTRY) {
            close_dir();
            if (item.kind == Item::BLOCK) {
                put_id(out, item.name);
                put32(out, static_cast<uint32_t>(item.data.size()));
                out.insert(out.end(), item.data.begin(), item.data.end());
            }
            continue;
        }
        if (!in_dir) {
            dir_start = out.size();
            put_id(out, "DIR ");
            put32(out, 0);
            put32(out, 0);
            dir_entries = 0;
            in_dir = true;
        }
        out.push_back(item.flags);
        offset_fields.emplace_back(out.size(), &item);
        put32(out, 0);
        put32(out, static_cast<uint32_t>(item.data.size()));
        out.insert(out.end(), item.name.begin(), item.name.end());
        out.push_back(0);
        ++dir_entries;
    }
    close_dir();

    const size_t data_start = out.size();
    put_id(out, "DATA");
    put32(out, 0);
    for (const auto& [field, item] : offset_fields) {
        set32(out, field, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), item->data.begin(), item->data.end());
    }
    set32(out, data_start + 4, static_cast<uint32_t>(out.size() - data_start - 8));
    return out;
}

bool MufWriter::write(const char* path) const
{
    const std::vector<uint8_t> bytes = build();
    return !bytes.empty() && write_bytes(path, bytes);
}

} // namespace tools
