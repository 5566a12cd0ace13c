#pragma once
// Any bytes as a module of one format: the format's marks are forced into
// place so that every input reaches its loader; what loads is played for a
// moment through the mixer.
#include "fsys/fsys.h"
#include "fuzz/fsys/fuzz_scratch.h"
#include "tools/sound/module_render.h"

#include <cstring>
#include <memory>
#include <vector>

namespace fuzz {

enum class ModuleFormat { IT, XM, S3M };

inline void put(std::vector<uint8_t>& b, size_t at, const void* mark, size_t n)
{
    if (b.size() < at + n) {
        b.resize(at + n);
    }
    std::memcpy(&b[at], mark, n);
}

inline int fuzz_module(const uint8_t* data, size_t size, ModuleFormat format)
{
    std::vector<uint8_t> b(data, data + size);
    switch (format) {
    case ModuleFormat::IT:
        put(b, 0, "IMPM", 4);
        break;
    case ModuleFormat::XM: {
        const uint8_t version[2] = {0x04, 0x01};
        put(b, 0, "Extended Module: ", 17);
        put(b, 37, "\x1A", 1);
        put(b, 58, version, 2);
        break;
    }
    case ModuleFormat::S3M:
        put(b, 28, "\x1A\x10", 2);
        put(b, 44, "SCRM", 4);
        break;
    }
    const std::string name = scratch_name(".mod");
    if (!write_scratch(name, b.data(), b.size())) {
        return 0;
    }
    tools::ModuleRender render;
    if (!render.open(name.c_str(), 8000)) {
        return 0;
    }
    std::vector<int16_t> out;
    render.render(out, 4000);
    return 0;
}

} // namespace fuzz
