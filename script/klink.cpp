#include "script/klink.h"

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "core/byte_order.h"
#include "script/kcontext.h"
#include "script/kio.h"
#include "script/klabels.h"
#include "script/krun.h"

namespace {

constexpr uint32_t HEADER_BYTES = 24;

void link_error(kcontext_t* c, const char* text)
{
    kio_printf(c, KFD_STDERR, "KLink: %s!\n", text);
}

// CRC-32 register, reflected form, started at all ones, not inverted.
uint32_t crc_register(const uint8_t* p, uint64_t n)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i;
            for (int b = 0; b < 8; ++b) {
                r = (r & 1u) != 0 ? (r >> 1) ^ 0xEDB88320u : r >> 1;
            }
            table[i] = r;
        }
        ready = true;
    }
    uint32_t reg = 0xFFFFFFFFu;
    for (uint64_t i = 0; i < n; ++i) {
        reg = table[(reg ^ p[i]) & 0xFFu] ^ (reg >> 8);
    }
    return reg;
}

struct Table {
    uint64_t at;     // offset of the first entry in the data
    uint32_t count;
};

// The parts of one file's data area, every offset and count checked.
struct Parts {
    uint32_t sections = 0;
    uint32_t memory[SECTION_MAX] = {};
    uint32_t size[SECTION_MAX] = {};
    uint64_t contents[SECTION_MAX] = {};
    uint32_t name_count = 0;
    std::vector<uint32_t> name_at;  // offset of each name in the data
    Table relocs[SECTION_MAX][SECTION_MAX] = {};
    Table xdefs[SECTION_MAX] = {};
    Table xrefs[SECTION_MAX] = {};
    uint32_t frame = 0;
    uint32_t min_object = 0;
    uint32_t max_object = 0;
};

class Scanner {
public:
    Scanner(const uint8_t* d, uint64_t n) : data(d), size(n) {}
    const uint8_t* data;
    uint64_t size;
    uint64_t pos = 0;

    bool u32(uint32_t& v)
    {
        if (pos + 4 > size) {
            return false;
        }
        v = read_le32(data + pos);
        pos += 4;
        return true;
    }
    bool skip(uint64_t n)
    {
        if (n > size - pos) {
            return false;
        }
        pos += n;
        return true;
    }
};

// Scans and checks the data area. The text of a failure (without the file name) in why.
bool scan(const uint8_t* data, uint64_t size, Parts& p, const char*& part, const char*& why)
{
    Scanner s(data, size);
    why = "%s size mismatch in \"%s\"";
    part = "section";
    if (!s.u32(p.sections)) {
        return false;
    }
    if (p.sections > SECTION_MAX) {
        why = "too many sections in \"%s\"";
        part = nullptr;
        return false;
    }
    for (uint32_t i = 0; i < p.sections; ++i) {
        if (!s.u32(p.memory[i]) || !s.u32(p.size[i])) {
            return false;
        }
        p.contents[i] = s.pos;
        if (!s.skip(p.size[i]) || s.pos >= size) {
            return false;
        }
        if (p.memory[i] < p.size[i]) {
            why = "section memory smaller than its contents in \"%s\"";
            part = nullptr;
            return false;
        }
    }
    part = "names";
    uint32_t length = 0;
    if (!s.u32(p.name_count) || !s.u32(length)) {
        return false;
    }
    const uint64_t names = s.pos;
    if (!s.skip(length) || s.pos >= size) {
        return false;
    }
    for (uint64_t at = names; at < names + length && p.name_at.size() < p.name_count;) {
        const void* nul = std::memchr(data + at, 0, names + length - at);
        if (nul == nullptr) {
            break;
        }
        p.name_at.push_back(static_cast<uint32_t>(at));
        at = static_cast<uint64_t>(static_cast<const uint8_t*>(nul) - data) + 1;
    }
    if (p.name_at.size() != p.name_count) {
        return false;
    }
    part = "reloc table";
    for (uint32_t i = 0; i < p.sections; ++i) {
        for (uint32_t j = 0; j < p.sections; ++j) {
            Table& t = p.relocs[i][j];
            if (!s.u32(t.count)) {
                return false;
            }
            t.at = s.pos;
            if (!s.skip(static_cast<uint64_t>(t.count) * 4) || s.pos >= size) {
                return false;
            }
            for (uint32_t e = 0; e < t.count; ++e) {
                if (static_cast<uint64_t>(read_le32(data + t.at + 4 * e)) + 4 > p.memory[i]) {
                    why = "reloc table offset out of its section in \"%s\"";
                    part = nullptr;
                    return false;
                }
            }
        }
    }
    for (int kind = 0; kind < 2; ++kind) {
        part = kind == 0 ? "xdefs" : "xrefs";
        for (uint32_t i = 0; i < p.sections; ++i) {
            Table& t = kind == 0 ? p.xdefs[i] : p.xrefs[i];
            if (!s.u32(t.count)) {
                return false;
            }
            t.at = s.pos;
            if (!s.skip(static_cast<uint64_t>(t.count) * 8) || (kind == 0 && s.pos >= size)) {
                return false;
            }
            for (uint32_t e = 0; e < t.count; ++e) {
                const uint64_t offset = read_le32(data + t.at + 8 * e);
                const uint32_t name = read_le32(data + t.at + 8 * e + 4);
                // An export may mark the very end of its section; a reference patches a word.
                if (offset + (kind == 0 ? 0 : 4) > p.memory[i] || name >= p.name_count) {
                    why = kind == 0 ? "bad xdefs entry in \"%s\"" : "bad xrefs entry in \"%s\"";
                    part = nullptr;
                    return false;
                }
            }
        }
    }
    part = "miscinfo";
    while (s.pos < size) {
        uint32_t type = 0;
        uint32_t length = 0;
        if (!s.u32(type) || !s.u32(length)) {
            return false;
        }
        const uint64_t at = s.pos;
        if (!s.skip(length)) {
            return false;
        }
        if (type == 0 && length >= 4) {
            const uint32_t frame = read_le32(data + at);
            p.frame = frame > p.frame ? frame : p.frame;
        } else if (type == 1 && length >= 8) {
            const uint32_t smallest = read_le32(data + at);
            const uint32_t largest = read_le32(data + at + 4);
            if (smallest == 0) {
                why = "bad object sizes in \"%s\"";
                part = nullptr;
                return false;
            }
            // Several records of one file fold like the records of several files.
            p.min_object = p.min_object == 0 || smallest < p.min_object ? smallest : p.min_object;
            p.max_object = largest > p.max_object ? largest : p.max_object;
        } else if (type <= 1) {
            return false;
        }
    }
    return true;
}

struct FileData {
    uint8_t* bytes = nullptr;
    uint32_t size = 0;
    ~FileData() { std::free(bytes); }
};

bool read_file(kcontext_t* c, const char* name, FileData& f)
{
    char* buffer = nullptr;
    f.size = kio_fileread(c, name, &buffer);
    if (f.size == 0) {
        link_error(c, buffer != nullptr ? buffer : pline_format("can't read \"%s\"", name));
        return false;
    }
    f.bytes = reinterpret_cast<uint8_t*>(buffer);
    return true;
}

bool check_file(kcontext_t* c, const char* name, const FileData& f)
{
    const uint8_t* b = f.bytes;
    if (f.size < HEADER_BYTES + 4) {
        link_error(c, pline_format("\"%s\" is too short", name));
        return false;
    }
    if (std::memcmp(b, "KOBJ", 4) != 0) {
        link_error(c, pline_format("\"%s\" is not K object", name));
        return false;
    }
    if (std::memcmp(b + 4, "INTL", 4) != 0) {
        link_error(c, pline_format("\"%s\" is compiled for another architecture", name));
        return false;
    }
    if (b[8] != 1 || b[9] != 3 || b[10] != 11 || b[11] > 0) {
        link_error(c, pline_format("version numbers mismatch in \"%s\"", name));
        return false;
    }
    const uint32_t stamp = read_le32(b + 12);
    if (stamp != 0 && stamp != KOBJ_STAMP) {
        link_error(c, pline_format("kxc security in \"%s\" does not match 0x%08x", name, KOBJ_STAMP));
        return false;
    }
    const uint64_t data_size = read_le32(b + 20);
    if (data_size + HEADER_BYTES + 4 != f.size) {
        link_error(c, pline_format("datasize does not match in \"%s\"", name));
        return false;
    }
    if (crc_register(b, f.size) != 0) {
        link_error(c, pline_format("CRC check failed for \"%s\"", name));
        return false;
    }
    return true;
}

bool scan_file(kcontext_t* c, const char* name, const FileData& f, Parts& p)
{
    const char* part = nullptr;
    const char* why = nullptr;
    if (!scan(f.bytes + HEADER_BYTES, f.size - HEADER_BYTES - 4, p, part, why)) {
        link_error(c, part != nullptr ? pline_format(why, part, name) : pline_format(why, name));
        return false;
    }
    return true;
}

} // namespace

int K_Link(kcontext_t* c, const char* const* names)
{
    K_ASSERT(c != nullptr && names != nullptr && c->labels == nullptr);
    c->maxframesize = 0;
    c->minobjsize = 0;
    c->maxobjsize = 0;
    uint64_t running[SECTION_MAX] = {};
    uint32_t max_names = 0;
    uint64_t exports = 0;
    std::vector<Parts> layout;
    for (const char* const* n = names; *n != nullptr; ++n) {
        FileData f;
        Parts p;
        if (!read_file(c, *n, f) || !check_file(c, *n, f) || !scan_file(c, *n, f, p)) {
            return 0;
        }
        for (uint32_t i = 0; i < p.sections; ++i) {
            running[i] += p.memory[i];
        }
        max_names = p.name_count > max_names ? p.name_count : max_names;
        for (uint32_t i = 0; i < p.sections; ++i) {
            exports += p.xdefs[i].count;
        }
        c->maxframesize = p.frame > c->maxframesize ? p.frame : c->maxframesize;
        if (p.min_object != 0 && (c->minobjsize == 0 || p.min_object < c->minobjsize)) {
            c->minobjsize = p.min_object;
        }
        c->maxobjsize = p.max_object > c->maxobjsize ? p.max_object : c->maxobjsize;
        layout.push_back(p);
    }

    uint64_t offset[SECTION_MAX];
    uint64_t total = 0;
    for (int i = 0; i < SECTION_MAX; ++i) {
        offset[i] = total;
        total += running[i];
    }
    c->code = 0;
    c->code_size = 0;
    // Files that hold no bytes but export names (a label at the end of an
    // empty section) still need an address that is not null for them.
    const uint64_t block = total == 0 && exports != 0 ? 4 : total;
    if (block != 0) {
        // The arena hands out zeroed memory: uninitialised parts are never written.
        c->code = block <= c->arena.size() - c->arena.mark() ? c->arena.alloc(static_cast<uint32_t>(block)) : 0;
        if (c->code == 0) {
            link_error(c, "not enough memory for K code and data");
            return 0;
        }
        c->code_size = static_cast<uint32_t>(total);
    }

    const uint64_t expected = static_cast<uint64_t>(c->builtin_count) + exports;
    c->labels = labels_create(expected > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<uint32_t>(expected));
    if (c->labels == nullptr) {
        K_Unlink(c);
        return 0;
    }
    bool ok = true;
    for (uint32_t r = 0; r < c->builtin_count; ++r) {
        klabel_t* l = labels_add(c->labels, c->builtins[r].name);
        if (l == nullptr) {
            link_error(c, "no memory for xdefs");
            K_Unlink(c);
            return 0;
        }
        labels_define(c->labels, l, c->builtin_addresses[r]);
    }
    for (uint32_t r = 0; r < c->required_count; ++r) {
        krequired_t& row = c->required[r];
        row.address = 0;
        klabel_t* l = labels_add(c->labels, row.name);
        if (l == nullptr || labels_reference(c->labels, l, reinterpret_cast<uint8_t*>(&row.address)) == 0) {
            link_error(c, "no memory for xrefs");
            K_Unlink(c);
            return 0;
        }
    }

    // The bytes of the code section that pass 2 writes; the rest stays zero.
    std::vector<std::pair<uint32_t, uint32_t>> code_written;
    size_t index = 0;
    for (const char* const* n = names; *n != nullptr; ++n, ++index) {
        FileData f;
        Parts p;
        // The file is read again: it must still be the file that was measured.
        if (!read_file(c, *n, f) || !check_file(c, *n, f) || !scan_file(c, *n, f, p)) {
            ok = false;
            continue;
        }
        const Parts& first = layout[index];
        bool same = p.sections == first.sections;
        for (uint32_t i = 0; same && i < p.sections; ++i) {
            same = p.memory[i] == first.memory[i];
        }
        if (!same) {
            link_error(c, pline_format("\"%s\" changed while it was linked", *n));
            ok = false;
            continue;
        }
        const uint8_t* data = f.bytes + HEADER_BYTES;
        uint32_t base[SECTION_MAX] = {};
        for (uint32_t i = 0; i < p.sections; ++i) {
            base[i] = c->code + static_cast<uint32_t>(offset[i]);
            if (p.size[i] != 0) {
                std::memcpy(c->arena.at(base[i], p.size[i]), data + p.contents[i], p.size[i]);
            }
            offset[i] += p.memory[i];
        }
        // Words patched in the zero tail of the file's code are written too.
        const auto code_word = [&](uint32_t i, uint32_t at) {
            if (i == 0 && at >= p.size[0]) {
                code_written.emplace_back(base[0] + at, 4);
            }
        };
        if (p.sections > 0 && p.size[0] != 0) {
            code_written.emplace_back(base[0], p.size[0]);
        }
        std::vector<klabel_t*> labels(p.name_count);
        bool file_ok = true;
        for (uint32_t k = 0; k < p.name_count && file_ok; ++k) {
            labels[k] = labels_add(c->labels, reinterpret_cast<const char*>(data + p.name_at[k]));
            if (labels[k] == nullptr) {
                link_error(c, "no memory for xdefs");
                file_ok = false;
            }
        }
        for (uint32_t i = 0; i < p.sections && file_ok; ++i) {
            for (uint32_t j = 0; j < p.sections; ++j) {
                const Table& t = p.relocs[i][j];
                for (uint32_t e = 0; e < t.count; ++e) {
                    const uint32_t at = base[i] + read_le32(data + t.at + 4 * e);
                    c->arena.set_word(at, c->arena.word(at) + base[j]);
                    code_word(i, at - base[i]);
                }
            }
        }
        for (uint32_t i = 0; i < p.sections && file_ok; ++i) {
            const Table& t = p.xdefs[i];
            for (uint32_t e = 0; e < t.count; ++e) {
                klabel_t* l = labels[read_le32(data + t.at + 8 * e + 4)];
                if (labels_define(c->labels, l, base[i] + read_le32(data + t.at + 8 * e)) == 0) {
                    link_error(c, pline_format("%s: \"%s\" is already defined", *n, l->name));
                    ok = false;
                }
            }
        }
        for (uint32_t i = 0; i < p.sections && file_ok; ++i) {
            const Table& t = p.xrefs[i];
            for (uint32_t e = 0; e < t.count && file_ok; ++e) {
                klabel_t* l = labels[read_le32(data + t.at + 8 * e + 4)];
                uint8_t* word = c->arena.at(base[i] + read_le32(data + t.at + 8 * e));
                code_word(i, read_le32(data + t.at + 8 * e));
                if (labels_reference(c->labels, l, word) == 0) {
                    link_error(c, "no memory for xrefs");
                    file_ok = false;
                }
            }
        }
        ok = ok && file_ok;
    }
    for (klabel_t* l; (l = labels_resolve(c->labels)) != nullptr;) {
        link_error(c, pline_format("undefined symbol \"%s\"", l->name));
        labels_define(c->labels, l, K_DIECODE);
        ok = false;
    }
    if (!ok) {
        K_Unlink(c);
        return 0;
    }
    kdecode_build(c, c->code, static_cast<uint32_t>(running[0]), c->code_size);
    for (const auto& [addr, len] : code_written) {
        kdecode_written(c, addr, len);
    }
    return 1;
}

void K_Unlink(kcontext_t* c)
{
    K_FreeResources(c);
    labels_destroy(c->labels);
    c->labels = nullptr;
    c->code = 0;
    c->code_size = 0;
    kdecode_clear(c);
    c->kept = 0;
    c->arena.release_to(c->link_mark);
}

void K_StartInits(kcontext_t* c)
{
    labels_for_each(
        c->labels,
        [](klabel_t* l, void* data) {
            kcontext_t* context = static_cast<kcontext_t*>(data);
            if (std::strncmp(l->name, "_init_", 6) != 0 || l->name[6] < '0' || l->name[6] > '9' || l->address == 0) {
                return;
            }
            uint32_t n = 0;
            for (const char* p = l->name + 6; *p >= '0' && *p <= '9'; ++p) {
                n = n * 10 + static_cast<uint32_t>(*p - '0');
                if (n > 65535) {
                    n = 65535;
                }
            }
            start_task(context, l->address, 0, static_cast<int32_t>(0xF0000000u - n));
        },
        c);
}

uint32_t K_KeepString(kcontext_t* c, const char* text, uint32_t size)
{
    K_ASSERT(size != 0 && text[size - 1] == '\0');
    const uint64_t bytes = static_cast<uint64_t>(size) + 4;
    const uint32_t node = bytes < c->arena.size() ? c->arena.alloc(static_cast<uint32_t>(bytes)) : 0;
    if (node == 0) {
        return 0;
    }
    c->arena.set_word(node, c->kept);
    std::memcpy(c->arena.at(node + 4, size), text, size);
    c->kept = node;
    return node + 4;
}
