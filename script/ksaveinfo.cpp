#include "script/ksaveinfo.h"

#include "script/kcontext.h"
#include "script/kio.h"

uint32_t save_value_bytes(uint32_t type)
{
    switch (type) {
    case SAVETYPE_BYTE:
        return 1;
    case SAVETYPE_BOOL:
    case SAVETYPE_INT:
    case SAVETYPE_FLOAT:
    case SAVETYPE_STRING:
    case SAVETYPE_POINTER:
        return 4;
    case SAVETYPE_FLOAT2:
        return 8;
    case SAVETYPE_VECTOR:
        return 12;
    default:
        return 0;
    }
}

namespace {

bool fail(const char** error, const char* text)
{
    *error = text;
    return false;
}

} // namespace

bool read_save_info(kcontext_t* c, uint32_t method_table, KSaveInfo& info, const char** error)
{
    const KArena& a = c->arena;
    info.fields.clear();
    if (method_table < 4 || !a.contains(method_table - 4, 4)) {
        return fail(error, pline_format("method table 0x%08x is outside the arena", method_table));
    }
    const uint32_t start = a.word(method_table - 4);
    if (!a.contains(start, 4)) {
        return fail(error, pline_format("save information 0x%08x is outside the arena", start));
    }
    info.object_size = a.word(start);
    uint64_t p = static_cast<uint64_t>(start) + 4;
    for (;;) {
        if (!a.contains(static_cast<uint32_t>(p), 4)) {
            return fail(error, pline_format("save information 0x%08x runs out of the arena", start));
        }
        const uint32_t name = a.word(static_cast<uint32_t>(p));
        if (name == 0) {
            break;
        }
        if (!a.contains(static_cast<uint32_t>(p), 16)) {
            return fail(error, pline_format("save information 0x%08x runs out of the arena", start));
        }
        if (info.fields.size() >= info.object_size) {
            return fail(error, pline_format("save information 0x%08x has more fields than its object has bytes",
                                            start));
        }
        if (a.string_length(name) < 0) {
            return fail(error, pline_format("field name 0x%08x is outside the arena", name));
        }
        KSaveField f{};
        f.name = reinterpret_cast<const char*>(a.base() + name);
        f.offset = a.word(static_cast<uint32_t>(p + 4));
        f.type = a.word(static_cast<uint32_t>(p + 8));
        f.size = a.word(static_cast<uint32_t>(p + 12));
        f.count = 1;
        p += 16;
        uint64_t bytes = 0;
        if (f.type == SAVETYPE_ARRAY) {
            if (!a.contains(static_cast<uint32_t>(p), 8)) {
                return fail(error, pline_format("save information 0x%08x runs out of the arena", start));
            }
            const uint32_t total = f.size;
            f.array = true;
            f.type = a.word(static_cast<uint32_t>(p));
            f.size = a.word(static_cast<uint32_t>(p + 4));
            p += 8;
            if (f.type == SAVETYPE_ARRAY) {
                return fail(error, pline_format("array field \"%.64s\" holds arrays", f.name));
            }
            if (save_value_bytes(f.type) != 0 &&
                (f.size < save_value_bytes(f.type) || total % f.size != 0)) {
                return fail(error, pline_format("elements of array field \"%.64s\" do not end at its size", f.name));
            }
            f.count = save_value_bytes(f.type) != 0 ? total / f.size : 0;
            bytes = total;
        } else {
            bytes = f.size > save_value_bytes(f.type) ? f.size : save_value_bytes(f.type);
        }
        if (save_value_bytes(f.type) == 0) {
            return fail(error, pline_format("unexpected save type %u", f.type));
        }
        if (static_cast<uint64_t>(f.offset) + bytes > info.object_size) {
            return fail(error, pline_format("field \"%.64s\" at %u lies outside its object of %u bytes", f.name,
                                            f.offset, info.object_size));
        }
        info.fields.push_back(f);
    }
    return true;
}
