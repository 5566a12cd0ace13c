#include "tools/sound/module_writer.h"

namespace tools {

void ByteSink::text(const std::string& s, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        u8(i < s.size() ? s[i] : 0);
    }
}

void ByteSink::pad_to(size_t multiple)
{
    while (out.size() % multiple != 0) {
        u8(0);
    }
}

void ByteSink::put16(size_t at, int v)
{
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}

void ByteSink::put32(size_t at, uint32_t v)
{
    put16(at, int(v & 0xFFFF));
    put16(at + 2, int(v >> 16));
}

std::vector<uint8_t> sample_bytes(const ModuleSample& s)
{
    std::vector<uint8_t> out;
    for (const int f : s.frames) {
        if (s.bits16) {
            const int v = s.is_unsigned ? f + 0x8000 : f;
            out.push_back(uint8_t(v));
            out.push_back(uint8_t(v >> 8));
        } else {
            out.push_back(uint8_t(s.is_unsigned ? f + 0x80 : f));
        }
    }
    return out;
}

} // namespace tools
