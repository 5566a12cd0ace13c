#include "tools/kasm/kasm_disassembler.h"

#include <bit>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <iterator>
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
    std::vector<std::multimap<uint32_t, std::string>> labels;

    std::string word_text(size_t s, uint32_t at) const
    {
        const uint32_t raw = word_at(sections[s].bytes, at);
        const auto w = words[s].find(at);
        if (w == words[s].end()) {
            return format("0x%x", raw);
        }
        return w->second + (raw != 0 ? format("+0x%x", raw) : "");
    }

    // A run of bytes can be written as one statement only when no label or
    // relocated word starts inside it other than at the given word starts;
    // otherwise those would be lost on the way back.
    bool clear(size_t s, uint64_t from, uint64_t to, uint64_t words_from, uint64_t words_to) const
    {
        const auto l = labels[s].upper_bound(static_cast<uint32_t>(from));
        if (l != labels[s].end() && l->first < to) {
            return false;
        }
        for (auto w = words[s].lower_bound(static_cast<uint32_t>(from)); w != words[s].end() && w->first < to; ++w) {
            const uint64_t at = w->first;
            if (at < words_from || at >= words_to || (at - words_from) % 4 != 0) {
                return false;
            }
        }
        return true;
    }

    void put_labels(size_t s, uint64_t at, std::string& out) const
    {
        const auto range = labels[s].equal_range(static_cast<uint32_t>(at));
        for (auto l = range.first; l != range.second; ++l) {
            out += l->second + ":\n";
        }
    }

    // One word, or one byte where a word would swallow a label or a relocation.
    // In code a plain word is written as one byte, so that the next instruction
    // is found again.
    uint64_t raw(size_t s, uint64_t at, std::string& out) const
    {
        const std::vector<uint8_t>& b = sections[s].bytes;
        const bool word = s != 0 || words[s].count(static_cast<uint32_t>(at)) != 0;
        if (word && at + 4 <= b.size() && clear(s, at, at + 4, at, at + 4)) {
            out += format("    .word %s ; 0x%04" PRIx64 "\n", word_text(s, static_cast<uint32_t>(at)).c_str(), at);
            return 4;
        }
        out += format("    .byte %u ; 0x%04" PRIx64 "\n", b[at], at);
        return 1;
    }

    // Number of bytes of the instruction at `at`, 0 when it cannot be written as one.
    uint64_t instruction(size_t s, uint64_t at, std::string& out) const
    {
        const std::vector<uint8_t>& b = sections[s].bytes;
        const uint8_t op = b[at];
        if (op >= OPCODE_COUNT) {
            return 0;
        }
        const Opcode& o = opcodes[op];
        uint64_t count = static_cast<uint64_t>(operand_words(o.operands));
        if (o.operands == Operands::SwitchTable) {
            if (at + 13 > b.size()) {
                return 0;
            }
            count = 3 + static_cast<uint64_t>(word_at(b, at + 9));
        } else if (o.operands == Operands::SwitchSearch) {
            if (at + 9 > b.size()) {
                return 0;
            }
            count = 2 + 2 * static_cast<uint64_t>(word_at(b, at + 5));
        }
        const uint64_t end = at + 1 + 4 * count;
        if (end > b.size() || !clear(s, at, end, at + 1, end) || words[s].count(static_cast<uint32_t>(at)) != 0) {
            return 0;
        }
        auto operand = [&](uint64_t i) { return word_text(s, static_cast<uint32_t>(at + 1 + 4 * i)); };
        std::vector<std::string> texts;
        if (o.operands == Operands::SwitchTable) {
            // The count is implied by the targets.
            if (words[s].count(static_cast<uint32_t>(at + 9)) != 0) {
                return 0;
            }
            for (uint64_t i = 0; i < count; ++i) {
                if (i != 2) {
                    texts.push_back(operand(i));
                }
            }
        } else if (o.operands == Operands::SwitchSearch) {
            const uint64_t cases = (count - 2) / 2;
            texts.push_back(operand(0));
            for (uint64_t i = 0; i < cases; ++i) {
                const uint64_t key_at = at + 9 + 4 * i;
                if (words[s].count(static_cast<uint32_t>(key_at)) != 0 ||
                    (i > 0 && static_cast<int32_t>(word_at(b, key_at)) <= static_cast<int32_t>(word_at(b, key_at - 4)))) {
                    return 0;  // keys are plain, sorted and distinct in any table the assembler takes
                }
                texts.push_back(format("%d=", static_cast<int32_t>(word_at(b, key_at))) + operand(2 + cases + i));
            }
        } else {
            for (uint64_t i = 0; i < count; ++i) {
                texts.push_back(operand(i));
            }
        }
        std::string line = format("    %-12s", o.name);
        for (size_t i = 0; i < texts.size(); ++i) {
            line += (i == 0 ? " " : ", ") + texts[i];
        }
        out += line + format(" ; 0x%04" PRIx64 "\n", at);
        return end - at;
    }

    void section(size_t s, std::string& out) const
    {
        const std::vector<uint8_t>& b = sections[s].bytes;
        uint64_t at = 0;
        while (at < b.size()) {
            const auto here = labels[s].equal_range(static_cast<uint32_t>(at));
            uint64_t n = 0;
            if (s == 0 && here.first != here.second && at + 4 <= b.size() && clear(s, at, at + 4, at, at + 4)) {
                // Exported code starts with its frame size.
                for (auto l = here.first; l != here.second; ++l) {
                    out += l->second + (std::next(l) == here.second ? ":" : ":\n");
                }
                const bool plain = words[s].count(static_cast<uint32_t>(at)) == 0;
                out += format(" .word %s ; frame size\n", plain ? format("%u", word_at(b, at)).c_str()
                                                                 : word_text(s, static_cast<uint32_t>(at)).c_str());
                n = 4;
            } else {
                put_labels(s, at, out);
                n = s == 0 ? instruction(s, at, out) : 0;
            }
            at += n != 0 ? n : raw(s, at, out);
        }
        // Labels in the zero tail (bss) and the tail itself.
        for (auto l = labels[s].lower_bound(static_cast<uint32_t>(at)); l != labels[s].end() && l->first <= sections[s].memory;
             l = labels[s].upper_bound(l->first)) {
            if (l->first > at) {
                out += format("    .space %" PRIu64 "\n", l->first - at);
                at = l->first;
            }
            put_labels(s, at, out);
        }
        if (sections[s].memory > at) {
            out += format("    .space %" PRIu64 "\n", sections[s].memory - at);
        }
    }
};

std::string base_label(uint32_t section)
{
    // '@' cannot start a name of the source, so no label of the source is taken.
    return format("section@%u", section);
}

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
                    l.words[i][at] = base_label(j);
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
                    l.labels[i].emplace(at, name_of(index));
                    tables += format(".global %s ; section %u offset 0x%x\n", name_of(index).c_str(), i, at);
                } else if (in_section(i, at)) {
                    l.words[i][at] = "@" + name_of(index);
                } else {
                    tables += format("; xref of %s at 0x%x lies outside section %u\n", name_of(index).c_str(), at, i);
                }
            }
        }
    }
    if (!l.names.empty()) {
        // Pins the order of the names table.
        std::string names;
        for (const std::string& name : l.names) {
            names += (names.empty() ? "" : ", ") + quoted(reinterpret_cast<const uint8_t*>(name.data()), name.size());
        }
        out += ".names " + names + "\n";
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
        out += format("\n.section %u ; memory %u, file %zu bytes\n%s:\n", i, s.memory, s.bytes.size(),
                      base_label(i).c_str());
        l.section(i, out);
    }
    return true;
}

} // namespace kasm
