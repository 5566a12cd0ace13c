#include "script/kdecode.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/reserved_memory.h"
#include "script/kcontext.h"

namespace {

constexpr uint8_t ANY_JUMP = 0xFF;  // any conditional jump
constexpr uint8_t NONE_OP = 0xFE;   // no prefix or binary operation in this family

#define KFORM_OP(name, op) constexpr uint8_t P_##name = op;
KFORM_PREFIXES(KFORM_OP)
#undef KFORM_OP
#define KFORM_OP(name, op) constexpr uint8_t B_##name = op;
KFORM_BINARIES(KFORM_OP)
#undef KFORM_OP
constexpr uint8_t P_NONE = NONE_OP;
constexpr uint8_t B_NONE = NONE_OP;

struct Pattern {
    uint8_t form;
    uint8_t count;
    uint8_t ops[6];
};

// The opcodes of a family, with P and B filled in.
constexpr Pattern family(uint8_t form, const char* f, uint8_t p, uint8_t b)
{
    auto is = [f](const char* name) {
        for (int i = 0;; ++i) {
            if (f[i] != name[i]) {
                return false;
            }
            if (f[i] == '\0') {
                return true;
            }
        }
    };
    const uint8_t push = INST_PUSH1;
    if (is("LD")) return {form, 2, {p, INST_LOAD1}};
    if (is("LD2")) return {form, 2, {p, INST_LOAD2}};
    if (is("ST")) return {form, 2, {p, INST_STORE1}};
    if (is("IMMB")) return {form, 2, {push, b}};
    if (is("BJ")) return {form, 2, {b, ANY_JUMP}};
    if (is("IMMBJ")) return {form, 3, {push, b, ANY_JUMP}};
    if (is("LDB")) return {form, 3, {p, INST_LOAD1, b}};
    if (is("LDBJ")) return {form, 4, {p, INST_LOAD1, b, ANY_JUMP}};
    if (is("BST")) return {form, 3, {b, p, INST_STORE1}};
    if (is("IMMBST")) return {form, 4, {push, b, p, INST_STORE1}};
    if (is("IMMLDB")) return {form, 4, {push, p, INST_LOAD1, b}};
    if (is("LDIMMBJ")) return {form, 5, {p, INST_LOAD1, push, b, ANY_JUMP}};
    if (is("RB")) return {form, 2, {INST_PUSHRESULT1, b}};
    if (is("RBRET1")) return {form, 3, {INST_PUSHRESULT1, b, INST_RET1}};
    if (is("LDLDBJ")) return {form, 6, {p, INST_LOAD1, INST_PUSHSPOFS, INST_LOAD1, b, ANY_JUMP}};
    return {form, 2, {push, INST_RET1}};  // IMMRET1
}

#define KFORM_PATTERN(F, P, B) family(KF_##F##_##P##_##B, #F, P_##P, B_##B),
constexpr Pattern patterns[] = {KFORMS(KFORM_PATTERN)};
#undef KFORM_PATTERN

// Inline operand bytes of the opcodes that fused forms hold.
constexpr uint32_t operand_bytes(uint8_t op)
{
    return op == INST_PUSHSPOFS || op == INST_PUSHARGSOFS || op == INST_PUSH1 ||
                   (op >= INST_JZ && op <= INST_JLE)
               ? 4
               : 0;
}

constexpr uint32_t pattern_bytes(const Pattern& p)
{
    uint32_t n = 0;
    for (uint32_t i = 0; i < p.count; ++i) {
        n += 1 + operand_bytes(p.ops[i] == ANY_JUMP ? static_cast<uint8_t>(INST_JZ) : p.ops[i]);
    }
    return n;
}

constexpr bool patterns_fit()
{
    uint32_t longest = 0;
    for (const Pattern& p : patterns) {
        longest = std::max(longest, pattern_bytes(p));
        if (p.form != static_cast<uint8_t>(&p - patterns + KF_FIRST + 1)) {
            return false;
        }
    }
    return longest == KFORM_MAX_BYTES;
}
static_assert(patterns_fit(), "patterns in form order; KFORM_MAX_BYTES is the longest");

constexpr bool zero_is_its_own_form()
{
    for (const Pattern& p : patterns) {
        if (p.ops[0] == INST_NOP) {
            return false;
        }
    }
    return INST_NOP == 0;
}
static_assert(zero_is_its_own_form(), "a zero byte decodes to 0 whatever follows it");

// Bytes of the pattern when it matches at the first of n bytes, else 0.
uint32_t match(const Pattern& p, const uint8_t* bytes, uint32_t n)
{
    uint32_t at = 0;
    for (uint32_t i = 0; i < p.count; ++i) {
        if (at >= n) {
            return 0;
        }
        const uint8_t op = bytes[at];
        const bool ok = p.ops[i] == ANY_JUMP ? op >= INST_JZ && op <= INST_JLE : op == p.ops[i];
        if (!ok) {
            return 0;
        }
        at += 1 + operand_bytes(op);
    }
    return at <= n ? at : 0;
}

// Decodes the addresses [from, to) of the section. A form covers only bytes
// below the limit, so that a write from the limit up changes none.
void decode_range(KDecoded& d, const uint8_t* arena, uint32_t from, uint32_t to)
{
    for (uint32_t x = from; x < to; ++x) {
        d.forms[x] = kdecode_form(arena + x, d.limit - x);
    }
    d.decoded += to - from;
}

} // namespace

uint8_t kdecode_form(const uint8_t* bytes, uint32_t n)
{
    if (n == 0) {
        return KF_UNEXPECTED;
    }
    if (bytes[0] == INST_NOP) {
        return INST_NOP;
    }
    uint8_t best = bytes[0] < INST_COUNT ? bytes[0] : static_cast<uint8_t>(KF_UNEXPECTED);
    uint32_t best_count = 1;
    for (const Pattern& p : patterns) {
        if (p.count > best_count && match(p, bytes, n) != 0) {
            best = p.form;
            best_count = p.count;
        }
    }
    return best;
}

bool KFormTable::reserve(size_t size)
{
    release();
    bytes_ = size == 0 ? nullptr : static_cast<uint8_t*>(memory_reserve_zeroed(size));
    size_ = bytes_ != nullptr ? size : 0;
    return bytes_ != nullptr;
}

void KFormTable::release()
{
    if (bytes_ != nullptr) {
        memory_release_reserved(bytes_, size_);
    }
    bytes_ = nullptr;
    size_ = 0;
}

void kdecode_build(kcontext_t* c, uint32_t code, uint32_t text_size, uint32_t block_size)
{
    KDecoded& d = c->decoded;
    d.base = code;
    d.size = text_size;
    d.block = block_size;
    // An instruction reads its operands unchecked: its fetch window must lie in the block.
    constexpr uint32_t window = 16;
    const uint32_t count = d.enabled && block_size >= window ? std::min(text_size, block_size - window + 1) : 0;
    d.limit = count == 0 ? 0 : code + count;
    d.dirty_low = d.dirty_high = 0;
    if (d.limit != 0 && !d.forms.reserve(d.limit)) {
        // Without room for the forms every instruction runs through its own body.
        d.limit = 0;
    }
    if (d.limit == 0) {
        d.forms.release();
        return;
    }
    std::memset(d.forms.data(), KF_RAW, code);
}

void kdecode_clear(kcontext_t* c)
{
    KDecoded& d = c->decoded;
    d.base = d.size = d.block = d.limit = 0;
    d.dirty_low = d.dirty_high = 0;
    d.forms.release();
}

void kdecode_rebuild(kcontext_t* c)
{
    KDecoded& d = c->decoded;
    if (d.block == 0) {
        return;
    }
    kdecode_build(c, d.base, d.size, d.block);
    const uint8_t* const arena = c->arena.base();
    for (uint32_t x = d.base; x < d.limit; ++x) {
        if (arena[x] != 0) {
            decode_range(d, arena, x, x + 1);
        }
    }
}

void kdecode_enable(kcontext_t* c, bool on)
{
    c->decoded.enabled = on;
    kdecode_rebuild(c);
}

void kdecode_written(kcontext_t* c, uint32_t addr, uint32_t len)
{
    KDecoded& d = c->decoded;
    const uint64_t end = static_cast<uint64_t>(addr) + len;
    if (d.limit == 0 || end <= d.base || addr >= d.limit) {
        return;
    }
    // A form covers at most KFORM_MAX_BYTES bytes from its address.
    const uint64_t low = std::max<uint64_t>(d.base + uint64_t{KFORM_MAX_BYTES - 1}, addr) - (KFORM_MAX_BYTES - 1);
    const uint64_t high = std::min<uint64_t>(end, d.limit);
    decode_range(d, c->arena.base(), static_cast<uint32_t>(low), static_cast<uint32_t>(high));
}

void kdecode_mark(kcontext_t* c, uint32_t addr, uint32_t len)
{
    KDecoded& d = c->decoded;
    const uint64_t end = static_cast<uint64_t>(addr) + len;
    if (d.limit == 0 || end <= d.base || addr >= d.limit) {
        return;
    }
    const uint32_t high = static_cast<uint32_t>(std::min<uint64_t>(end, d.limit));
    if (d.dirty_high == 0) {
        d.dirty_low = addr;
        d.dirty_high = high;
    } else {
        d.dirty_low = std::min(d.dirty_low, addr);
        d.dirty_high = std::max(d.dirty_high, high);
    }
}

void kdecode_flush(kcontext_t* c)
{
    KDecoded& d = c->decoded;
    if (d.dirty_high != 0) {
        const uint32_t low = d.dirty_low;
        const uint32_t high = d.dirty_high;
        d.dirty_low = d.dirty_high = 0;
        kdecode_written(c, low, high - low);
    }
}
