#include "script/kload.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "script/cellheap.h"
#include "script/kcontext.h"
#include "script/kio.h"
#include "script/klabels.h"
#include "script/klink.h"
#include "script/krun.h"
#include "script/ksaveinfo.h"

namespace {

// The longest token both token readers of the I/O layer return whole ("%1024s"
// and the file system's 1023-character words); a token of this length may go on.
constexpr size_t TOKEN_PART = 1023;

bool is_space(int ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// Tokens of any length over the I/O layer's token reader: a token that fills
// the reader's buffer is continued byte by byte. Comments ("#" to the end of
// the line) are skipped.
class TokenReader {
public:
    TokenReader(kcontext_t* c, int fd) : c_(c), fd_(fd) {}

    // False at the end of the stream (or when a token outgrows the arena: too_long()).
    bool next()
    {
        for (;;) {
            const char* t = kio_gettok(c_, fd_);
            if (t == nullptr) {
                return false;
            }
            token_ = t;
            bool line_ended = false;
            if (token_.size() >= TOKEN_PART) {
                int ch = kio_getc(c_, fd_);
                while (ch != -1 && !is_space(ch)) {
                    if (token_.size() >= c_->arena.size()) {
                        too_long_ = true;
                        return false;
                    }
                    token_ += static_cast<char>(ch);
                    ch = kio_getc(c_, fd_);
                }
                line_ended = ch == '\n';
            }
            if (token_[0] != '#') {
                return true;
            }
            if (!line_ended) {
                int ch = kio_getc(c_, fd_);
                while (ch != -1 && ch != '\n') {
                    ch = kio_getc(c_, fd_);
                }
            }
        }
    }
    const std::string& token() const { return token_; }
    bool too_long() const { return too_long_; }

private:
    kcontext_t* c_;
    int fd_;
    std::string token_;
    bool too_long_ = false;
};

// What a load may change, copied before it starts: a failed load puts it back.
class Snapshot {
public:
    bool take(kcontext_t* c)
    {
        const KArena& a = c->arena;
        waitlist_ = c->waitlist;
        taskpool_ = c->taskpool;
        kept_ = c->kept;
        mark_ = a.mark();
        heap_ = c->objectheap;
        uint32_t base = 0;
        if (!cellheap_extent(a, heap_, &base, &heap_end_)) {
            return false;
        }
        pool_.reset(new (std::nothrow) uint8_t[taskpool_.size]);
        cells_.reset(new (std::nothrow) uint8_t[heap_end_ - heap_]);
        if (pool_ == nullptr || cells_ == nullptr) {
            return false;
        }
        std::memcpy(pool_.get(), a.at(taskpool_.address, taskpool_.size), taskpool_.size);
        std::memcpy(cells_.get(), a.at(heap_, heap_end_ - heap_), heap_end_ - heap_);
        return true;
    }
    void restore(kcontext_t* c) const
    {
        const KArena& a = c->arena;
        std::memcpy(a.at(taskpool_.address, taskpool_.size), pool_.get(), taskpool_.size);
        std::memcpy(a.at(heap_, heap_end_ - heap_), cells_.get(), heap_end_ - heap_);
        c->waitlist = waitlist_;
        c->taskpool = taskpool_;
        c->kept = kept_;
        c->arena.release_to(mark_);
    }
    // A load, and its undoing, write the task pool and the object heap (and
    // what it allocates, above both): forms that cover those bytes are decoded again.
    void decode_written(kcontext_t* c) const
    {
        kdecode_written(c, taskpool_.address, taskpool_.size);
        kdecode_written(c, heap_, heap_end_ - heap_);
    }

private:
    uint32_t waitlist_ = 0;
    kpageheap_t taskpool_{};
    uint32_t kept_ = 0;
    uint32_t mark_ = 0;
    uint32_t heap_ = 0;
    uint32_t heap_end_ = 0;
    std::unique_ptr<uint8_t[]> pool_;
    std::unique_ptr<uint8_t[]> cells_;
};

// Base from the prefix (0x, leading 0, decimal), optional sign, whole token, 32-bit signed range.
bool parse_int(const std::string& text, int32_t& value)
{
    value = 0;
    if (text.empty() || is_space(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end != text.c_str() + text.size() || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

// Decimal with an optional exponent (and "inf"/"nan", which the saver writes
// for such values); the whole token; a finite value beyond float range fails.
bool parse_float(const std::string& text, float& value)
{
    value = 0.0f;
    if (text.empty() || is_space(static_cast<unsigned char>(text[0])) ||
        text.find_first_of("xX") != std::string::npos) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (end != text.c_str() + text.size()) {
        return false;
    }
    if (errno == ERANGE && std::isinf(v)) {
        return false;
    }
    value = v;
    return true;
}

std::string unescape(const std::string& token)
{
    std::string s;
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] != '~') {
            s += token[i];
        } else if (i + 1 < token.size()) {
            s += static_cast<char>(token[++i] ^ 64);
        }
    }
    return s;
}

class Loader {
public:
    Loader(kcontext_t* c, int fd, klabels* names) : c(c), a(c->arena), in(c, fd), names(names) {}

    // The next item's name; false at the end of the stream.
    bool next_item() { return in.next(); }
    bool item();
    bool end_of_stream_ok() const { return !in.too_long(); }
    const std::string& error() const { return error_; }

    bool fail(const char* text)
    {
        if (error_.empty()) {
            error_ = text;
        }
        return false;
    }

private:
    kcontext_t* c;
    const KArena& a;
    TokenReader in;
    klabels* names;
    std::string error_;
    std::string item_;  // name of the item being read, for messages
    uint32_t tasks_ = 0;
    uint32_t objects_ = 0;
    std::vector<uint8_t> pending_;  // bytes of the current object that wait for a reference

    bool next(const char* what)
    {
        if (in.next()) {
            return true;
        }
        if (in.too_long()) {
            return fail("a token is longer than the arena");
        }
        return fail(pline_format("end of the stream in %.64s where %s was expected", item_.c_str(), what));
    }
    // A number that does not read is 0 and fails the load at its end.
    int32_t integer()
    {
        int32_t v = 0;
        if (!parse_int(in.token(), v)) {
            c->flags |= KFLAG_ERROR;
            fail(pline_format("\"%.64s\" in %.64s is no 32-bit integer", in.token().c_str(), item_.c_str()));
        }
        return v;
    }
    float real()
    {
        float v = 0.0f;
        if (!parse_float(in.token(), v)) {
            c->flags |= KFLAG_ERROR;
            fail(pline_format("\"%.64s\" in %.64s is no float", in.token().c_str(), item_.c_str()));
        }
        return v;
    }
    klabel_t* name(const std::string& text)
    {
        klabel_t* l = labels_add(names, text.c_str());
        if (l == nullptr) {
            fail("out of memory for names");
        }
        return l;
    }
    bool define(klabel_t* label, uint32_t address)
    {
        if (labels_define(names, label, address) == 0) {
            return fail(pline_format("%.64s is defined twice", item_.c_str()));
        }
        return true;
    }
    bool task_item(klabel_t* label);
    bool object_item(klabel_t* label);
    bool load_value(const KSaveField& f, uint32_t object, uint32_t offset);
    bool store(uint32_t object, uint32_t offset, const void* bytes, uint32_t n, const KSaveField& f);
};

bool Loader::item()
{
    item_ = in.token();
    const char kind = item_[0];
    if (kind != 'T' && kind != 'O') {
        return fail(pline_format("\"%.64s\" is neither a task nor an object", item_.c_str()));
    }
    klabel_t* label = name(item_);
    if (label == nullptr) {
        return false;
    }
    return kind == 'T' ? task_item(label) : object_item(label);
}

bool Loader::task_item(klabel_t* label)
{
    if (tasks_ >= c->reqtasks) {
        return fail(pline_format("%.64s: more tasks than task records", item_.c_str()));
    }
    if (!next("a function")) {
        return false;
    }
    if (in.token().find('@') != std::string::npos) {
        return fail(pline_format("%.64s: \"%.64s\" is no function", item_.c_str(), in.token().c_str()));
    }
    const uint32_t function = labels_address_of(c->labels, in.token().c_str());
    if (function == 0) {
        return fail(pline_format("%.64s: unknown function \"%.64s\"", item_.c_str(), in.token().c_str()));
    }
    if (!next("an argument")) {
        return false;
    }
    uint32_t arg = 0;
    klabel_t* reference = nullptr;
    if (in.token() != "0") {
        arg = labels_address_of(c->labels, in.token().c_str());
        if (arg == 0 && (reference = name(in.token())) == nullptr) {
            return false;
        }
    }
    if (!next("a delay")) {
        return false;
    }
    const int32_t delay = integer();
    // Starting a task takes a record and may take one for a new level; an
    // empty pool would end the program instead of failing the load.
    const uint32_t free = c->taskpool.free;
    if (free == 0 || a.word(free) == 0) {
        return fail(pline_format("%.64s: full task table", item_.c_str()));
    }
    const uint32_t t = start_task(c, function, arg, delay);
    ++tasks_;
    if (!define(label, t)) {
        return false;
    }
    if (reference != nullptr && labels_reference(names, reference, a.at(t + TASK_ARG)) == 0) {
        return fail("out of memory for references");
    }
    return true;
}

bool Loader::object_item(klabel_t* label)
{
    if (objects_ >= c->heapsize) {
        return fail(pline_format("%.64s: more objects than the object heap holds", item_.c_str()));
    }
    if (!next("a class")) {
        return false;
    }
    const std::string& klass = in.token();
    if (klass.find('@', 1) == std::string::npos) {
        return fail(pline_format("%.64s: \"%.64s\" is no class", item_.c_str(), klass.c_str()));
    }
    const uint32_t table = labels_address_of(c->labels, klass.c_str());
    if (table == 0) {
        return fail(pline_format("%.64s: unknown class \"%.64s\"", item_.c_str(), klass.c_str()));
    }
    KSaveInfo info;
    const char* error = nullptr;
    if (!read_save_info(c, table, info, &error)) {
        return fail(pline_format("%.64s: %s", item_.c_str(), error));
    }
    if (!next("\"{\"")) {
        return false;
    }
    if (in.token() != "{") {
        return fail(pline_format("%.64s: \"{\" expected, not \"%.64s\"", item_.c_str(), in.token().c_str()));
    }
    bool broken = false;
    const uint32_t cell =
        info.object_size <= 0xFFFF0000u ? cellheap_alloc(a, c->objectheap, info.object_size + 4, &broken) : 0;
    if (broken) {
        return fail(pline_format("%.64s: broken object heap", item_.c_str()));
    }
    if (cell == 0) {
        return fail(pline_format("%.64s: full object table", item_.c_str()));
    }
    ++objects_;
    a.set_word(cell, table);
    const uint32_t object = cell + 4;
    std::memset(a.at(object, info.object_size == 0 ? 1 : info.object_size), 0, info.object_size);
    if (!define(label, object)) {
        return false;
    }
    pending_.assign(info.object_size, 0);
    for (;;) {
        if (!next("a field or \"}\"")) {
            return false;
        }
        if (in.token() == "}") {
            return true;
        }
        const KSaveField* field = nullptr;
        for (const KSaveField& f : info.fields) {
            if (in.token() == f.name) {
                field = &f;
                break;
            }
        }
        if (field == nullptr) {
            return fail(pline_format("%.64s: unknown field \"%.64s\"", item_.c_str(), in.token().c_str()));
        }
        if (!load_value(*field, object, field->offset)) {
            return false;
        }
    }
}

bool Loader::store(uint32_t object, uint32_t offset, const void* bytes, uint32_t n, const KSaveField& f)
{
    for (uint32_t i = 0; i < n; ++i) {
        if (pending_[offset + i] != 0) {
            return fail(pline_format("%.64s: field \"%.64s\" overwrites a reference", item_.c_str(), f.name));
        }
    }
    std::memcpy(a.at(object + offset, n), bytes, n);
    return true;
}

bool Loader::load_value(const KSaveField& f, uint32_t object, uint32_t offset)
{
    if (f.array) {
        if (!next("an index")) {
            return false;
        }
        const int32_t index = integer();
        if (index < 0 || static_cast<uint32_t>(index) >= f.count) {
            return fail(pline_format("%.64s: index %d of \"%.64s\" is outside its %u elements", item_.c_str(), index,
                                     f.name, f.count));
        }
        offset += static_cast<uint32_t>(index) * f.size;
    }
    switch (f.type) {
    case SAVETYPE_BYTE:
    case SAVETYPE_BOOL:
    case SAVETYPE_INT: {
        if (!next("an integer")) {
            return false;
        }
        const uint32_t v = static_cast<uint32_t>(integer());
        const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                              static_cast<uint8_t>(v >> 24)};
        return store(object, offset, b, save_value_bytes(f.type), f);
    }
    case SAVETYPE_FLOAT:
    case SAVETYPE_FLOAT2:
    case SAVETYPE_VECTOR: {
        float v[3] = {};
        const uint32_t n = save_value_bytes(f.type) / 4;
        for (uint32_t i = 0; i < n; ++i) {
            if (!next("a float")) {
                return false;
            }
            v[i] = real();
        }
        return store(object, offset, v, 4 * n, f);
    }
    case SAVETYPE_STRING: {
        if (!next("a string")) {
            return false;
        }
        const std::string s = unescape(in.token());
        if (s.size() >= 0xFFFFFFFFu) {
            return fail("a string is longer than the arena");
        }
        const uint32_t kept = K_KeepString(c, s.c_str(), static_cast<uint32_t>(s.size() + 1));
        if (kept == 0) {
            return fail(pline_format("%.64s: no room to keep a string of %zu bytes", item_.c_str(), s.size()));
        }
        return store(object, offset, &kept, 4, f);
    }
    case SAVETYPE_POINTER: {
        if (!next("a name")) {
            return false;
        }
        const uint32_t address = labels_address_of(c->labels, in.token().c_str());
        if (!store(object, offset, &address, 4, f)) {
            return false;
        }
        if (address != 0) {
            return true;
        }
        klabel_t* reference = name(in.token());
        if (reference == nullptr) {
            return false;
        }
        if (labels_reference(names, reference, a.at(object + offset)) == 0) {
            return fail("out of memory for references");
        }
        std::memset(&pending_[offset], 1, 4);
        return true;
    }
    default:
        return fail(pline_format("unexpected save type %u", f.type));
    }
}

std::string last_failure;

} // namespace

const char* load_state_failure()
{
    return last_failure.c_str();
}

int load_state(kcontext_t* c, int fd)
{
    c->flags &= ~KFLAG_ERROR;
    last_failure.clear();
    // The caller reports a failed load; the reason is kept for it.
    auto report = [c](const char* text) {
        c->flags |= KFLAG_ERROR;
        last_failure = text;
        return 0;
    };
    if (c->labels == nullptr || c->objectheap == 0) {
        return report("load into a context without linked scripts");
    }
    // Scripts can write the wait list and the heap: a load does not build on broken ones.
    if (!wait_list_intact(c)) {
        return report("broken wait list");
    }
    // Dead tasks are never saved and end at their next run anyway: their
    // records and pages serve the load, as they serve a task that starts.
    reclaim_dead_tasks(c);
    Snapshot before;
    if (!before.take(c)) {
        return report("broken object heap or out of memory");
    }
    klabels* names = labels_create(c->reqtasks + c->heapsize);
    if (names == nullptr) {
        return report("out of memory");
    }
    Loader loader(c, fd, names);
    bool ok = true;
    while (ok && loader.next_item()) {
        ok = loader.item();
    }
    if (ok && !loader.end_of_stream_ok()) {
        ok = loader.fail("a token is longer than the arena");
    }
    if (ok && kio_error(c, fd) != 0) {
        ok = loader.fail("the stream failed");
    }
    if (ok) {
        const klabel_t* undefined = labels_resolve(names);
        if (undefined != nullptr) {
            ok = loader.fail(pline_format("undefined name \"%.64s\"", undefined->name));
        }
    }
    if (ok && (c->flags & KFLAG_ERROR) != 0) {
        ok = false;
    }
    labels_destroy(names);
    if (!ok) {
        before.restore(c);
    }
    before.decode_written(c);
    return ok ? 1 : report(loader.error().c_str());
}
