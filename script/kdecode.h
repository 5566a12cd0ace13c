#pragma once
// Decoded forms of the code section. Every byte address of the code section
// gets a form: its own opcode, or a fused form that runs a common sequence of
// instructions starting there in one dispatch. A form depends only on the bytes
// it covers, so a write into the section re-decodes the addresses whose forms
// could cover the written bytes. The bytes stay the truth: a fused form that
// meets anything unusual (a fault, a short stack) runs its first instruction
// through the opcode's own body instead.
// A zero byte's form is its own (INST_NOP is 0, and no fused form starts with
// it), so the forms lie in zeroed memory whose untouched pages cost nothing,
// and only bytes that were written are decoded: a section declared far larger
// than what its file holds costs what the file holds.
#include <cstddef>
#include <cstdint>

#include "script/kinst.h"

// Address prefixes of the fused forms (the instruction that pushes an address)
// and the operations fused after them.
#define KFORM_PREFIXES(X) X(SP, INST_PUSHSP) X(SPK, INST_PUSHSPOFS) X(A, INST_PUSHARGS) X(AK, INST_PUSHARGSOFS)
#define KFORM_BINARIES(X) X(ADD, INST_ADD) X(SUB, INST_SUB) X(ICMP, INST_ICMP)

// Every fused form: X(family, prefix or NONE, binary or NONE). Families, with
// P a prefix, B a binary operation, J any conditional jump and imm a push1:
//   LD P load1, LD2 P load2, ST P store1, IMMB imm B, BJ B J, IMMBJ imm B J,
//   LDB P load1 B, LDBJ P load1 B J, BST B P store1, IMMBST imm B P store1,
//   IMMLDB imm P load1 B, LDIMMBJ P load1 imm B J, RB pushresult1 B, IMMRET1 imm ret1,
//   LDLDBJ P load1 pushspofs load1 B J, RBRET1 pushresult1 B ret1.
#define KFORMS_P(X, F, B) X(F, SP, B) X(F, SPK, B) X(F, A, B) X(F, AK, B)
#define KFORMS_PB(X, F) KFORMS_P(X, F, ADD) KFORMS_P(X, F, SUB) KFORMS_P(X, F, ICMP)
#define KFORMS_B(X, F) X(F, NONE, ADD) X(F, NONE, SUB) X(F, NONE, ICMP)
#define KFORMS(X)                                                                                                 \
    KFORMS_P(X, LD, NONE) KFORMS_P(X, LD2, NONE) KFORMS_P(X, ST, NONE) KFORMS_B(X, IMMB) KFORMS_B(X, BJ)          \
    KFORMS_B(X, IMMBJ) KFORMS_PB(X, LDB) KFORMS_PB(X, LDBJ) KFORMS_PB(X, BST) KFORMS_PB(X, IMMBST)                \
    KFORMS_PB(X, IMMLDB) KFORMS_PB(X, LDIMMBJ) KFORMS_B(X, RB) X(IMMRET1, NONE, NONE) KFORMS_PB(X, LDLDBJ)     \
    KFORMS_B(X, RBRET1)

#define KFORM_ID(F, P, B) KF_##F##_##P##_##B,
enum kform_t : uint8_t {
    KF_FIRST = INST_COUNT - 1,
    KFORMS(KFORM_ID)
    // An address below the code section: the byte there decides.
    KF_RAW,
    // A byte that is no opcode: the run ends as it does for any such byte.
    KF_UNEXPECTED
};
#undef KFORM_ID

struct kcontext_t;

// Zeroed bytes, one per address, whose pages are had only once written.
class KFormTable {
public:
    KFormTable() = default;
    ~KFormTable() { release(); }
    KFormTable(const KFormTable&) = delete;
    KFormTable& operator=(const KFormTable&) = delete;

    // A fresh table of size zero bytes; false when the address space cannot be had.
    bool reserve(size_t size);
    void release();
    uint8_t* data() const { return bytes_; }
    uint8_t& operator[](size_t i) const { return bytes_[i]; }

private:
    uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
};

struct KDecoded {
    bool enabled = true;
    uint32_t base = 0;   // arena address of the code section
    uint32_t size = 0;   // its bytes; writes into them re-decode
    uint32_t block = 0;  // bytes of the whole code and data block
    uint32_t limit = 0;  // addresses below limit have a form (KF_RAW below base), 0 when none
    KFormTable forms;    // indexed by arena address
    // Bytes the host may have written through k_bytes since the last flush.
    uint32_t dirty_low = 0;
    uint32_t dirty_high = 0;
    uint64_t decoded = 0;  // addresses decoded so far: the work, which tests bound
};

// The longest fused form, in bytes: a write re-decodes this far below it.
constexpr uint32_t KFORM_MAX_BYTES = 18;

// Forms for the code section [code, code + text_size) of a block of block_size
// bytes, as for a section of zero bytes (nothing when decoding is off): the
// caller names the bytes it wrote with kdecode_written.
void kdecode_build(kcontext_t* c, uint32_t code, uint32_t text_size, uint32_t block_size);
void kdecode_clear(kcontext_t* c);
// Decodes the section again from its bytes, reading all of them.
void kdecode_rebuild(kcontext_t* c);
// On: code runs through decoded forms; off: every instruction through its own
// body, the reference the decoded forms are checked against.
void kdecode_enable(kcontext_t* c, bool on);
// [addr, addr + len) was written: re-decodes the forms that could cover it.
void kdecode_written(kcontext_t* c, uint32_t addr, uint32_t len);
// The host may write [addr, addr + len): re-decoded at the next flush.
void kdecode_mark(kcontext_t* c, uint32_t addr, uint32_t len);
void kdecode_flush(kcontext_t* c);
// The form that runs at the first of n bytes (decoding on).
uint8_t kdecode_form(const uint8_t* bytes, uint32_t n);
