#include "tools/kasm/kasm_disassembler.h"

#include <bit>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <map>

#include "tools/kasm/kasm_opcodes.h"
#include "tools/kasm/kobj_writer.h"

namespace kasm {
namespace {

class Reader {
public:
    Reader(const uint8_t* d, uint64_t n) : data(d), size(n) {}
    bool u32(uint32_t& v)
    {
        if (pos + 4 > size) {
            return false;
        }
        v = static_cast<uint32_t>(data[pos]) | static_cast<uint32_t>(data[pos + 1]) << 8 |
            static_cast<uint32_t>(data[pos + 2]) << 16 | static_cast<uint32_t>(data[pos + 3]) << 24;
        pos += 4;
        return true;
    }
    bool skip(uint64_t n)
    {
        if (pos + n > size) {
            return false;
        }
        pos += n;
        return true;
    }
    const uint8_t* data;
    uint64_t size;
    uint64_t pos = 0;
};

uint32_t word_at(const std::vector<uint8_t>& b, uint64_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, f);
    std::vsnprintf(buffer, sizeof buffer, f, args);
    va_end(args);
    return buffer;
}

std::string quoted(const uint8_t* s, size_t n)
{
    std::string out = "\"";
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = s[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 32 || c >= 127) {
            out += format("\\x%02x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

struct Section {
    uint32_t memory;
    std::vector<uint8_t> bytes;
};

struct Listing {
    std::vector<Section> sections;
    std::vector<std::string> names;
    // Per section: offset -> operand text that replaces the raw word.
    std::vector<std::map<uint32_t, std::string>> words;
    std::vector<std::map<uint32_t, std::string>> labels;

    std::string word_text(size_t s, uint32_t at) const
    {
        const uint32_t raw = word_at(sections[s].bytes, at);
        const auto w = words[s].find(at);
        if (w == words[s].end()) {
            return format("0x%x", raw);
        }
        return w->second + (raw != 0 ? format("+0x%x", raw) : "");
    }

    void code(size_t s, std::string& out) const
    {
        const std::vector<uint8_t>& b = sections[s].bytes;
        uint64_t at = 0;
        while (at < b.size()) {
            const auto l = labels[s].find(static_cast<uint32_t>(at));
            if (l != labels[s].end() && at + 4 <= b.size()) {
                out += format("%s: .word %u ; frame size\n", l->second.c_str(), word_at(b, at));
                at += 4;
                continue;
            }
            const uint8_t op = b[at];
            if (op >= OPCODE_COUNT) {
                out += format("    .byte %u ; 0x%04" PRIx64 "\n", op, at);
                ++at;
                continue;
            }
            const Opcode& o = opcodes[op];
            uint64_t words_after = static_cast<uint64_t>(operand_words(o.operands));
            if (o.operands == Operands::SwitchTable && at + 13 <= b.size()) {
                words_after = 3 + static_cast<uint64_t>(word_at(b, at + 9));
            } else if (o.operands == Operands::SwitchSearch && at + 9 <= b.size()) {
                words_after = 2 + 2 * static_cast<uint64_t>(word_at(b, at + 5));
            }
            if (at + 1 + 4 * words_after > b.size()) {
                out += format("    .byte %u ; 0x%04" PRIx64 " (operands cut off)\n", op, at);
                ++at;
                continue;
            }
            std::string line = format("    %-12s", o.name);
            for (uint64_t i = 0; i < words_after; ++i) {
                line += i == 0 ? " " : ", ";
                line += word_text(s, static_cast<uint32_t>(at + 1 + 4 * i));
            }
            out += line + format(" ; 0x%04" PRIx64 "\n", at);
            at += 1 + 4 * words_after;
        }
    }

    void data(size_t s, std::string& out) const
    {
        const std::vector<uint8_t>& b = sections[s].bytes;
        uint64_t at = 0;
        while (at < b.size()) {
            const auto l = labels[s].find(static_cast<uint32_t>(at));
            if (l != labels[s].end()) {
                out += l->second + ":\n";
            }
            if (at + 4 <= b.size()) {
                out += format("    .word %s ; 0x%04" PRIx64 "\n", word_text(s, static_cast<uint32_t>(at)).c_str(), at);
                at += 4;
            } else {
                out += format("    .byte %u\n", b[at]);
                ++at;
            }
        }
    }
};

} // namespace

bool disassemble(const std::vector<uint8_t>& file, std::string& out)
{
    out.clear();
    if (file.size() < 28) {
        out = "; file of fewer than 28 bytes\n";
        return false;
    }
    Reader r(file.data(), file.size());
    out += format("; magic %s, architecture %s, version %u.%u.%u.%u\n", quoted(file.data(), 4).c_str(),
                  quoted(file.data() + 4, 4).c_str(), file[8], file[9], file[10], file[11]);
    r.pos = 12;
    uint32_t stamp = 0, reserved = 0, data_size = 0;
    r.u32(stamp);
    r.u32(reserved);
    r.u32(data_size);
    const uint32_t crc = crc32_register(file.data(), file.size());
    out += format("; stamp 0x%08x, data size %u (file %zu bytes), CRC %s\n", stamp, data_size, file.size(),
                  crc == 0 ? "good" : "bad");
    if (static_cast<uint64_t>(data_size) + 28 != file.size()) {
        out += "; data size does not match the file\n";
        return false;
    }
    Reader d(file.data() + 24, data_size);
    Listing l;
    auto fail = [&](const char* what) {
        out += format("; %s size mismatch\n", what);
        return false;
    };
    uint32_t n = 0;
    if (!d.u32(n)) {
        return fail("section");
    }
    if (n > KOBJ_SECTIONS_MAX) {
        out += format("; %u sections (at most %d)\n", n, KOBJ_SECTIONS_MAX);
        return false;
    }
    for (uint32_t i = 0; i < n; ++i) {
        Section s;
        uint32_t size = 0;
        if (!d.u32(s.memory) || !d.u32(size) || d.pos + size > d.size) {
            return fail("section");
        }
        s.bytes.assign(d.data + d.pos, d.data + d.pos + size);
        d.pos += size;
        l.sections.push_back(std::move(s));
    }
    l.words.resize(n);
    l.labels.resize(n);
    uint32_t count = 0, length = 0;
    if (!d.u32(count) || !d.u32(length) || d.pos + length > d.size) {
        return fail("names");
    }
    {
        const uint8_t* p = d.data + d.pos;
        const uint8_t* end = p + length;
        while (p < end && l.names.size() < count) {
            const uint8_t* z = p;
            while (z < end && *z != 0) {
                ++z;
            }
            l.names.emplace_back(reinterpret_cast<const char*>(p), static_cast<size_t>(z - p));
            p = z + 1;
        }
        d.pos += length;
    }
    auto name_of = [&](uint32_t i) { return i < l.names.size() ? l.names[i] : format("name#%u", i); };
    auto in_section = [&](uint32_t s, uint32_t at) {
        return static_cast<uint64_t>(at) + 4 <= l.sections[s].bytes.size();
    };
    std::string tables;
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = 0; j < n; ++j) {
            uint32_t k = 0;
            if (!d.u32(k) || static_cast<uint64_t>(k) * 4 > d.size - d.pos) {
                return fail("reloc table");
            }
            for (uint32_t e = 0; e < k; ++e) {
                uint32_t at = 0;
                d.u32(at);
                if (in_section(i, at)) {
                    l.words[i][at] = format("section%u", j);
                } else {
                    tables += format("; reloc %u->%u at 0x%x lies outside its section\n", i, j, at);
                }
            }
        }
    }
    for (int kind = 0; kind < 2; ++kind) {
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t k = 0;
            if (!d.u32(k) || static_cast<uint64_t>(k) * 8 > d.size - d.pos) {
                return fail(kind == 0 ? "xdefs" : "xrefs");
            }
            for (uint32_t e = 0; e < k; ++e) {
                uint32_t at = 0, index = 0;
                d.u32(at);
                d.u32(index);
                if (kind == 0) {
                    l.labels[i][at] = name_of(index);
                    tables += format(".global %s ; section %u offset 0x%x\n", name_of(index).c_str(), i, at);
                } else if (in_section(i, at)) {
                    l.words[i][at] = "@" + name_of(index);
                } else {
                    tables += format("; xref of %s at 0x%x lies outside section %u\n", name_of(index).c_str(), at, i);
                }
            }
        }
    }
    out += tables;
    while (d.pos < d.size) {
        uint32_t type = 0, size = 0;
        if (!d.u32(type) || !d.u32(size) || size > d.size - d.pos) {
            return fail("miscinfo");
        }
        std::string words;
        for (uint32_t i = 0; i + 4 <= size; i += 4) {
            words += format(", %u", word_at(std::vector<uint8_t>(d.data + d.pos + i, d.data + d.pos + i + 4), 0));
        }
        out += format(".misc %u%s\n", type, words.c_str());
        d.pos += size;
    }
    for (uint32_t i = 0; i < n; ++i) {
        const Section& s = l.sections[i];
        out += format("\n.section %u ; memory %u, file %zu bytes\n", i, s.memory, s.bytes.size());
        if (i == 0) {
            l.code(i, out);
        } else {
            l.data(i, out);
        }
        if (s.memory > s.bytes.size()) {
            out += format("    .space %zu\n", s.memory - s.bytes.size());
        }
    }
    return true;
}

} // namespace kasm
