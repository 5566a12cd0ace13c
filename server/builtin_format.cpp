#include "server/builtin_format.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

class Output {
public:
    explicit Output(char (&out)[FORMAT_CELLS_TEXT]) : out_(out) { out_[0] = '\0'; }
    void append(std::string_view text)
    {
        const size_t n = std::min(text.size(), FORMAT_CELLS_TEXT - 1 - used_);
        std::memcpy(out_ + used_, text.data(), n);
        used_ += n;
        out_[used_] = '\0';
    }
    // One conversion through the host's printf with a spec we built.
    template <typename T>
    void convert(const char* spec, T value)
    {
        char piece[FORMAT_CELLS_TEXT];
        const int n = std::snprintf(piece, sizeof piece, spec, value);
        if (n > 0) {
            append(std::string_view(piece, std::min(static_cast<size_t>(n), sizeof piece - 1)));
        }
    }

private:
    char* out_;
    size_t used_ = 0;
};

class Cells {
public:
    Cells(const BuiltinArgs& a, uint32_t first) : a_(a), next_(first) {}
    uint32_t u32() { return a_.u32_or_zero(next_++); }
    uint64_t u64()
    {
        const uint64_t low = u32();
        return low | static_cast<uint64_t>(u32()) << 32;
    }
    double f64() { return std::bit_cast<double>(u64()); }

private:
    const BuiltinArgs& a_;
    uint32_t next_;
};

int field(const char*& p, Cells& cells, bool& given)
{
    given = false;
    if (*p == '*') {
        ++p;
        given = true;
        const int32_t v = static_cast<int32_t>(cells.u32());
        return std::clamp(v, -FORMAT_CELLS_FIELD, FORMAT_CELLS_FIELD);
    }
    int v = 0;
    while (*p >= '0' && *p <= '9') {
        given = true;
        v = std::min(v * 10 + (*p - '0'), FORMAT_CELLS_FIELD);
        ++p;
    }
    return v;
}

} // namespace

void format_cells(const BuiltinArgs& a, const char* format, uint32_t first, char (&out)[FORMAT_CELLS_TEXT])
{
    Output o(out);
    Cells cells(a, first);
    const char* p = format;
    while (*p != '\0') {
        const char* const percent = std::strchr(p, '%');
        if (percent == nullptr) {
            o.append(p);
            break;
        }
        o.append(std::string_view(p, static_cast<size_t>(percent - p)));
        const char* const start = percent;
        p = percent + 1;
        std::string flags;
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) {
            flags += *p++;
        }
        bool has_width = false;
        int width = field(p, cells, has_width);
        if (width < 0) {
            flags += '-';
            width = -width;
        }
        bool has_precision = false;
        int precision = 0;
        if (*p == '.') {
            ++p;
            precision = field(p, cells, has_precision);
            has_precision = precision >= 0;
        }
        int wide = 0;            // 0: one cell, 1: two cells (ll, j, q)
        const char* narrow = ""; // h and hh cut the cell's integer
        if (p[0] == 'l' && p[1] == 'l') {
            wide = 1;
            p += 2;
        } else if (*p == 'j' || *p == 'q') {
            wide = 1;
            ++p;
        } else if (p[0] == 'h' && p[1] == 'h') {
            narrow = "hh";
            p += 2;
        } else if (*p == 'h') {
            narrow = "h";
            ++p;
        } else if (*p == 'l' || *p == 'z' || *p == 't') {
            ++p;
        }
        const char conv = *p;
        if (conv == '\0') {
            o.append(start);
            break;
        }
        ++p;
        char spec[48];
        const auto make = [&](const char* length, char c) {
            std::snprintf(spec, sizeof spec, "%%%s%.*d%s%.*d%s%c", flags.c_str(), has_width ? 1 : 0, width,
                          has_precision ? "." : "", has_precision ? 1 : 0, precision, length, c);
        };
        switch (conv) {
        case '%':
            o.append("%");
            break;
        case 'd':
        case 'i':
            if (wide != 0) {
                make("ll", conv);
                o.convert(spec, static_cast<long long>(cells.u64()));
            } else {
                make(narrow, conv);
                o.convert(spec, static_cast<int32_t>(cells.u32()));
            }
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            if (wide != 0) {
                make("ll", conv);
                o.convert(spec, static_cast<unsigned long long>(cells.u64()));
            } else {
                make(narrow, conv);
                o.convert(spec, cells.u32());
            }
            break;
        case 'c':
            make("", 'c');
            o.convert(spec, static_cast<int>(static_cast<unsigned char>(cells.u32())));
            break;
        case 'p': {
            const uint32_t v = cells.u32();
            if (v == 0) {
                make("", 's');
                o.convert(spec, "(nil)");
            } else {
                flags += '#';
                make("", 'x');
                o.convert(spec, v);
            }
            break;
        }
        case 's': {
            const uint32_t address = cells.u32();
            make("", 's');
            o.convert(spec, address == 0 ? "(null)" : k_cstr(a.context(), address));
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            make("", conv);
            o.convert(spec, cells.f64());
            break;
        case 'n':
            cells.u32();
            break;
        default:
            o.append(std::string_view(start, static_cast<size_t>(p - start)));
            break;
        }
    }
}
