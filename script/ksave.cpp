#include "script/ksave.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "script/cellheap.h"
#include "script/kcontext.h"
#include "script/kio.h"
#include "script/klabels.h"
#include "script/krun.h"
#include "script/ksaveinfo.h"

namespace {

class Saver {
public:
    Saver(kcontext_t* context, int fd) : c(context), fd_(fd), a(context->arena) {}

    // The heap and the wait list lie where scripts write: a save of broken ones fails.
    bool prepare()
    {
        uint32_t end = 0;
        if (!cellheap_extent(a, c->objectheap, &heap_base_, &end)) {
            failed("broken object heap");
            return false;
        }
        min_class_ = cellheap_min_class(a, c->objectheap);
        WaitWalk walk(c, false);
        for (uint32_t level = walk.check(c->waitlist); level != 0; level = walk.next(level + LEVEL_NEXT)) {
            for (uint32_t t = walk.next(level + LEVEL_FIRST); t != 0; t = walk.next(t + TASK_NEXT)) {
                if (unstarted(t)) {
                    tasks_.insert(t);
                }
            }
        }
        if (walk.broken) {
            failed("broken wait list");
            return false;
        }
        return true;
    }

    bool object(uint32_t cell);
    void tasks();

    void failed(const char* text)
    {
        if ((c->flags & KFLAG_ERROR) == 0 && c->io.puts != nullptr) {
            kio_printf(c, KFD_STDERR, "KSave: %s!\n", text);
        }
        c->flags |= KFLAG_ERROR;
    }

private:
    kcontext_t* c;
    int fd_;
    const KArena& a;
    uint32_t heap_base_ = 0;
    uint32_t min_class_ = 1;
    std::unordered_set<uint32_t> tasks_;  // the tasks this save writes
    std::string line_;

    bool unstarted(uint32_t t) const
    {
        return a.word(t + TASK_IP) != K_DIECODE && a.word(t + TASK_STACKPAGE) == 0;
    }
    uint32_t task_index(uint32_t t) const { return (t - c->taskpool.address) / c->taskpool.pagesize; }

    void append(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void put_name(const char* name);
    void name_of(uint32_t address);
    void value(const KSaveField& f, uint32_t at);
    void flush()
    {
        kio_puts(c, fd_, line_.c_str());
        line_.clear();
    }
};

void Saver::append(const char* format, ...)
{
    char text[128];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) {
        line_.append(text, static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1);
    }
}

// Names come from script files: one that is empty, holds white space or
// begins a comment would not read back as the same token.
void Saver::put_name(const char* name)
{
    bool readable = name[0] != '\0' && name[0] != '#';
    for (const char* p = name; readable && *p != '\0'; ++p) {
        readable = static_cast<unsigned char>(*p) > ' ';
    }
    if (!readable) {
        failed(pline_format("name \"%.64s\" cannot be read back", name));
    }
    line_ += name;
}

void Saver::name_of(uint32_t address)
{
    if (address >= 4 && IsFullHeapCell(a, c->objectheap, address - 4)) {
        const uint32_t cell = address - 4;
        if (a.word(cell) == 0) {
            append("ERR_OBJECT_%x", cell);
            failed(pline_format("object cell 0x%08x has no method table", cell));
        } else {
            append("O.%x", (cell - heap_base_) / min_class_);
        }
        return;
    }
    if (tasks_.count(address) != 0) {
        append("T.%x", task_index(address));
        return;
    }
    const kpageheap_t& pool = c->taskpool;
    if (address >= pool.address && address - pool.address < pool.size &&
        (address - pool.address) % pool.pagesize == 0 && a.word(address + TASK_STACKPAGE) != 0) {
        append("ERR_TASK_%x", address);
        failed(pline_format("task 0x%08x has started and cannot be saved", address));
        return;
    }
    const char* label = address != 0 ? labels_name_at(c->labels, address) : nullptr;
    if (label != nullptr) {
        put_name(label);
        return;
    }
    append("ERR_UNKNOWN_%x", address);
    failed(pline_format("no name for address 0x%08x", address));
}

void Saver::value(const KSaveField& f, uint32_t at)
{
    switch (f.type) {
    case SAVETYPE_BYTE:
        append("%u", *a.at(at, 1));
        break;
    case SAVETYPE_BOOL:
        line_ += '1';
        break;
    case SAVETYPE_INT:
        append("%d", static_cast<int32_t>(a.word(at)));
        break;
    case SAVETYPE_FLOAT:
    case SAVETYPE_FLOAT2:
    case SAVETYPE_VECTOR:
        for (uint32_t i = 0; i < save_value_bytes(f.type) / 4; ++i) {
            float v;
            std::memcpy(&v, a.at(at + 4 * i), 4);
            append(i == 0 ? "%.*g" : " %.*g", 6, static_cast<double>(v));
        }
        break;
    case SAVETYPE_STRING: {
        const uint32_t text = a.word(at);
        const int64_t length = a.string_length(text);
        if (length < 0) {
            append("~");
            failed(pline_format("string field \"%.64s\" holds 0x%08x, which is no string", f.name, text));
            break;
        }
        if (length == 0) {
            line_ += '~';
        }
        const uint8_t* first = a.base() + text;
        for (const uint8_t* p = first; *p != 0; ++p) {
            // A value that began with '#' would be read back as a comment.
            if (*p <= ' ' || *p == '~' || (p == first && *p == '#')) {
                line_ += '~';
                line_ += static_cast<char>(*p ^ 64);
            } else {
                line_ += static_cast<char>(*p);
            }
        }
        break;
    }
    case SAVETYPE_POINTER:
        name_of(a.word(at));
        break;
    default:
        break;
    }
}

bool all_zero(const uint8_t* p, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

bool Saver::object(uint32_t cell)
{
    const uint32_t table = a.word(cell);
    if (table == 0) {
        failed(pline_format("object cell 0x%08x has no method table", cell));
        return false;
    }
    KSaveInfo info;
    const char* error = nullptr;
    if (!read_save_info(c, table, info, &error)) {
        failed(pline_format("object cell 0x%08x: %s", cell, error));
        return false;
    }
    const uint32_t object = cell + 4;
    if (static_cast<uint64_t>(info.object_size) + 8 > cellheap_cell_size(a, c->objectheap, cell)) {
        failed(pline_format("object cell 0x%08x is smaller than its class's %u bytes", cell, info.object_size));
        return false;
    }
    append("O.%x ", (cell - heap_base_) / min_class_);
    const char* klass = labels_name_at(c->labels, table);
    if (klass != nullptr) {
        put_name(klass);
    } else {
        append("ERR_UNKNOWN_%x", table);
        failed(pline_format("method table 0x%08x has no label", table));
    }
    line_ += " {\n";
    for (const KSaveField& f : info.fields) {
        for (uint32_t i = 0; i < f.count; ++i) {
            const uint32_t at = object + f.offset + i * f.size;
            if (f.size == 0 || all_zero(a.at(at, f.size), f.size)) {
                continue;
            }
            put_name(f.name);
            if (f.array) {
                append(" %u", i);
            }
            line_ += ' ';
            value(f, at);
            line_ += '\n';
        }
        flush();
    }
    line_ += "}\n";
    flush();
    return true;
}

void Saver::tasks()
{
    WaitWalk walk(c, false);
    for (uint32_t level = walk.check(c->waitlist); level != 0; level = walk.next(level + LEVEL_NEXT)) {
        const int32_t delay = static_cast<int32_t>(a.word(level + LEVEL_TICK) - static_cast<uint32_t>(c->tick));
        for (uint32_t t = walk.next(level + LEVEL_FIRST); t != 0; t = walk.next(t + TASK_NEXT)) {
            if (!unstarted(t)) {
                continue;
            }
            append("T.%x ", task_index(t));
            const uint32_t function = a.word(t + TASK_IP);
            const char* label = labels_name_at(c->labels, function);
            if (label != nullptr) {
                put_name(label);
            } else {
                append("ERR_LABEL_%x", function);
                failed(pline_format("task function 0x%08x has no label", function));
            }
            line_ += ' ';
            const uint32_t arg = a.word(t + TASK_ARG);
            if (arg == 0) {
                line_ += '0';
            } else {
                name_of(arg);
            }
            append(" %d\n", delay);
            flush();
        }
    }
}

bool ready(kcontext_t* c, const char* what)
{
    if (c->labels != nullptr && c->objectheap != 0) {
        return true;
    }
    if (c->io.puts != nullptr) {
        kio_printf(c, KFD_STDERR, "KSave: %s!\n", pline_format("%s of a context without linked scripts", what));
    }
    return false;
}

} // namespace

int save_state(kcontext_t* c, int fd)
{
    c->flags &= ~KFLAG_ERROR;
    if (!ready(c, "save")) {
        return 0;
    }
    Saver saver(c, fd);
    if (!saver.prepare()) {
        return 0;
    }
    bool broken = false;
    cellheap_for_each(
        c->arena, c->objectheap, [](void* data, uint32_t cell) { static_cast<Saver*>(data)->object(cell); }, &saver,
        &broken);
    if (broken) {
        saver.failed("broken object heap");
    }
    saver.tasks();
    if (kio_error(c, fd) != 0) {
        saver.failed("the stream failed");
        return 0;
    }
    return (c->flags & KFLAG_ERROR) == 0 ? 1 : 0;
}

int save_object(kcontext_t* c, uint32_t object, int fd)
{
    if (!ready(c, "save")) {
        return 0;
    }
    if (object < 4 || !IsFullHeapCell(c->arena, c->objectheap, object - 4)) {
        c->flags |= KFLAG_ERROR;
        return 0;
    }
    Saver saver(c, fd);
    return saver.prepare() && saver.object(object - 4) ? 1 : 0;
}
