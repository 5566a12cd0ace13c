#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "tools/kasm/kasm_assembler.h"
#include "tools/kasm/kasm_disassembler.h"

namespace {

kasm::Assembly good(const std::string& source)
{
    kasm::Assembly a = kasm::assemble(source, "t.kas");
    for (const std::string& e : a.errors) {
        ADD_FAILURE() << e;
    }
    return a;
}

uint32_t word(const std::vector<uint8_t>& b, size_t at) { return read_le32(b.data() + at); }

TEST(Kasm, FileHasHeaderSizeAndAZeroCrcRegister)
{
    const std::vector<uint8_t> f = good(".code\n.func main, 8\n ret\n").bytes();
    ASSERT_GE(f.size(), 28u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "KOBJINTL");
    EXPECT_EQ(f[8], 1);
    EXPECT_EQ(f[9], 3);
    EXPECT_EQ(f[10], 11);
    EXPECT_EQ(f[11], 0);
    EXPECT_EQ(word(f, 12), 0u) << "stamp accepted by any engine";
    EXPECT_EQ(word(f, 20) + 28, f.size());
    EXPECT_EQ(kasm::crc32_register(f.data(), f.size()), 0u);
    // one section: M = S = 5 (frame word + ret)
    EXPECT_EQ(word(f, 24), 1u);
    EXPECT_EQ(word(f, 28), 5u);
    EXPECT_EQ(word(f, 32), 5u);
    EXPECT_EQ(word(f, 36), 8u);
    EXPECT_EQ(f[40], 10);
}

TEST(Kasm, Expressions)
{
    const struct {
        const char* text;
        uint32_t value;
    } cases[] = {
        {"1+2*3", 7},          {"(1+2)*3", 9},     {"1<<4|1", 17},       {"-1", 0xFFFFFFFF},
        {"~0", 0xFFFFFFFF},    {"'A'", 65},        {"0x10 ^ 0x11", 1},   {"7/2 + 7%2", 4},
        {"N*4", 12},           {"after-before", 8}, {"1.5", 0x3FC00000}, {"-2.0", 0xC0000000},
        {"0b101", 5},          {"10 - 2 - 3", 5},
    };
    for (const auto& k : cases) {
        const std::string src = std::string(".equ N, 3\n.data\nbefore: .word 0, 0\nafter:\n.word ") + k.text + "\n";
        const kasm::Assembly a = good(src);
        ASSERT_TRUE(a.ok()) << k.text;
        EXPECT_EQ(read_le32(a.file.sections[1].bytes.data() + 8), k.value) << k.text;
        EXPECT_TRUE(a.file.relocs[1][1].empty()) << k.text;
    }
}

TEST(Kasm, AddressesAreRelocatedAndExternalsReferencedWithTheirAddends)
{
    const kasm::Assembly a = good(R"(
.extern other
.code
.func f, 0
    push1 table+4
    callnative @note, 8
    ret
.data
table: .word f, other+12, table
)");
    ASSERT_TRUE(a.ok());
    const auto& f = a.file;
    ASSERT_EQ(f.sections.size(), 2u);
    EXPECT_EQ(f.relocs[0][1], (std::vector<uint32_t>{5})) << "push1 operand";
    EXPECT_EQ(read_le32(f.sections[0].bytes.data() + 5), 4u);
    EXPECT_EQ(f.relocs[1][0], (std::vector<uint32_t>{0}));
    EXPECT_EQ(f.relocs[1][1], (std::vector<uint32_t>{8}));
    ASSERT_EQ(f.xrefs[0].size(), 1u);
    EXPECT_EQ(f.names[f.xrefs[0][0].name], "note");
    EXPECT_EQ(f.xrefs[0][0].offset, 10u);
    ASSERT_EQ(f.xrefs[1].size(), 1u);
    EXPECT_EQ(f.names[f.xrefs[1][0].name], "other");
    EXPECT_EQ(read_le32(f.sections[1].bytes.data() + 4), 12u) << "the addend stays in the word";
}

TEST(Kasm, ExportsFunctionsFrameSizesAndObjectSizes)
{
    const kasm::Assembly a = good(R"(
.global main, Box@vt
.code
.func main, 24
    ret
.func other, 40
    ret
.data
.class Box@vt, 12
    .method main
    .method other
    .field count, int, 0
    .field where, vector, 4
.endclass
.class Small@vt, 4
.endclass
)");
    ASSERT_TRUE(a.ok());
    const auto& f = a.file;
    EXPECT_EQ(f.names[0], "main");
    EXPECT_EQ(f.names[1], "Box@vt");
    ASSERT_EQ(f.xdefs[0].size(), 1u);
    EXPECT_EQ(f.xdefs[0][0].offset, 0u);
    ASSERT_EQ(f.misc.size(), 2u);
    EXPECT_EQ(f.misc[0].type, 0u);
    EXPECT_EQ(read_le32(f.misc[0].bytes.data()), 40u);
    EXPECT_EQ(f.misc[1].type, 1u);
    EXPECT_EQ(read_le32(f.misc[1].bytes.data()), 8u) << "smallest object with its method-table word";
    EXPECT_EQ(read_le32(f.misc[1].bytes.data() + 4), 16u);
    // Save info: size, {name, offset, type, size} x 2, 0; then its address; then the methods.
    const std::vector<uint8_t>& d = f.sections[1].bytes;
    const uint32_t expected[] = {12, 0, 0, 3, 4, 0, 4, 6, 12, 0, 0};
    for (size_t i = 0; i < std::size(expected); ++i) {
        if (i != 1 && i != 5) {
            EXPECT_EQ(read_le32(d.data() + 4 * i), expected[i]) << i;
        }
    }
    ASSERT_EQ(f.xdefs[1].size(), 1u);
    EXPECT_EQ(f.xdefs[1][0].offset, 44u) << "the method table follows the save-info word";
    EXPECT_EQ(read_le32(d.data() + 44), 0u);
    EXPECT_EQ(read_le32(d.data() + 48), 5u);
}

TEST(Kasm, ClassFlagsWordIsReachedThroughTheMethodTable)
{
    const kasm::Assembly a = good(R"(
.code
.func hit, 0
    ret
.data
.class Door@vt, 4
    .method hit
    .flags 0x20 | 1
.endclass
)");
    ASSERT_TRUE(a.ok());
    // Flags word, save info {size, end}, its address, then the table of eight words.
    const std::vector<uint8_t>& d = a.file.sections[1].bytes;
    ASSERT_EQ(d.size(), 16u + 32u);
    EXPECT_EQ(read_le32(d.data()), 0x21u);
    EXPECT_EQ(read_le32(d.data() + 12), 4u);
    for (uint32_t i = 1; i < 7; ++i) {
        EXPECT_EQ(read_le32(d.data() + 16 + 4 * i), 0u) << i;
    }
    EXPECT_EQ(read_le32(d.data() + 16 + 28), 0u) << "the flags word's offset, relocated";
    EXPECT_EQ(a.file.relocs[1][1], (std::vector<uint32_t>{12, 44}));
    EXPECT_EQ(a.file.relocs[1][0], (std::vector<uint32_t>{16}));

    std::string eight;
    for (int i = 0; i < 8; ++i) {
        eight += "    .method 0\n";
    }
    const kasm::Assembly full = kasm::assemble(".data\n.class Full@vt, 4\n" + eight + "    .flags 1\n.endclass\n");
    EXPECT_FALSE(full.ok()) << "a .method already holds offset 28";
}

TEST(Kasm, SwitchTablesAndSortedSearchKeys)
{
    const kasm::Assembly a = good(R"(
.code
.func f, 0
    switchtable .d, -1, .a, .b
    switchsearch .d, 10=.a, -5=.b, 3=.d
.a:
.b:
.d: ret
)");
    ASSERT_TRUE(a.ok());
    const std::vector<uint8_t>& b = a.file.sections[0].bytes;
    EXPECT_EQ(b[4], 27);
    EXPECT_EQ(read_le32(b.data() + 9), 0xFFFFFFFFu);
    EXPECT_EQ(read_le32(b.data() + 13), 2u);
    const size_t s = 4 + 1 + 20;
    EXPECT_EQ(b[s], 28);
    EXPECT_EQ(read_le32(b.data() + s + 5), 3u);
    EXPECT_EQ(read_le32(b.data() + s + 9), static_cast<uint32_t>(-5));
    EXPECT_EQ(read_le32(b.data() + s + 13), 3u);
    EXPECT_EQ(read_le32(b.data() + s + 17), 10u);
    const uint32_t end = static_cast<uint32_t>(s + 9 + 24);
    EXPECT_EQ(read_le32(b.data() + s + 21), end) << "-5 goes to .b";
    EXPECT_EQ(read_le32(b.data() + s + 29), end) << "10 goes to .a";
}

TEST(Kasm, MacrosWithUniqueLabels)
{
    const kasm::Assembly a = good(R"(
.macro note value
    push \value
    callnative @note, 4
.endm
.macro skip
    jump .s\@
.s\@:
.endm
.code
.func f, 0
    note 3
    note 4+1
    skip
    skip
    ret
)");
    ASSERT_TRUE(a.ok());
    const std::vector<uint8_t>& b = a.file.sections[0].bytes;
    EXPECT_EQ(b[4], 29);
    EXPECT_EQ(read_le32(b.data() + 5), 3u);
    EXPECT_EQ(read_le32(b.data() + 19), 5u);
    EXPECT_EQ(read_le32(b.data() + 33), 37u);
    EXPECT_EQ(read_le32(b.data() + 38), 42u);
}

TEST(Kasm, BssAndStrings)
{
    const kasm::Assembly a = good(R"(
.code
.func f, 0
    push "hi"
    push "hi"
    ret
.rodata
name: .string "a\n\x41"
.data
.space 8
.word 1
.space 100
)");
    ASSERT_TRUE(a.ok());
    const auto& f = a.file;
    ASSERT_EQ(f.sections.size(), 3u);
    EXPECT_EQ(f.sections[1].bytes.size(), 12u);
    EXPECT_EQ(f.sections[1].memory_size, 112u);
    EXPECT_EQ(std::string(f.sections[2].bytes.begin(), f.sections[2].bytes.end()), std::string("a\nA\0hi\0", 7));
    EXPECT_EQ(f.relocs[0][2], (std::vector<uint32_t>{5, 10})) << "one pooled copy";
    EXPECT_EQ(read_le32(f.sections[0].bytes.data() + 10), 4u);
}

TEST(Kasm, ErrorsNameTheLine)
{
    const struct {
        const char* source;
        const char* error;
    } cases[] = {
        {"frob 1", "t.kas:1: unknown instruction \"frob\""},
        {"\npush1 1, 2", "t.kas:2: push1 takes 1 operands"},
        {"a:\na:", "t.kas:2: \"a\" is already defined"},
        {"push1 nowhere", "undefined symbol \"nowhere\""},
        {".global ghost", ".global \"ghost\" is not a label"},
        {".macro m a\n.endm\nm 1, 2", "macro \"m\" takes 1 arguments"},
        {".macro m\npush 1", "has no .endm"},
        {".data\n.string \"open", ".string takes one string"},
        {"switchsearch 0, 1=0, 1=0", "key 1 appears twice"},
        {".section 5", "sections are numbered 0 to 4"},
        {".frobnicate", "unknown directive"},
        {".class C, 4\npush 1\n.endclass", "instruction inside .class"},
        {".data\n.class C, 4\n.field f, blob, 0\n.endclass", "unknown field type \"blob\""},
        {".word 1/0", "division by zero"},
        {".macro r\nr\n.endm\nr", "macros nested too deeply"},
        // Nesting that doubles at each level ends at the expansion bound, not after 2^32 lines.
        {".macro r\nr\nr\n.endm\nr", "lines after macro expansion"},
        // A macro without a name is refused, and blank lines never name one.
        {".macro\n\n\n\n.endm\n\n\npush 1", "macro name expected"},
    };
    for (const auto& k : cases) {
        const kasm::Assembly a = kasm::assemble(k.source, "t.kas");
        ASSERT_FALSE(a.ok()) << k.source;
        std::string all;
        for (const std::string& e : a.errors) {
            all += e + "\n";
        }
        EXPECT_NE(all.find(k.error), std::string::npos) << k.source << "\n" << all;
    }
}

TEST(Kasm, BrokenFilesOnRequest)
{
    const kasm::Assembly a = good(R"(
.magic "KOBX"
.arch "MIPS"
.version 1, 3, 12, 0
.stamp 0x12345678
.sections 6
.crc 0
.code
.func f, 0
    ret
.memsize 0, 2
.reloc 0, 0, 1000
.xref 0, 8, "missing"
.misc 1, 0, 16
)");
    ASSERT_TRUE(a.ok());
    const std::vector<uint8_t> f = a.bytes();
    EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "KOBXMIPS");
    EXPECT_EQ(f[10], 12);
    EXPECT_EQ(word(f, 12), 0x12345678u);
    EXPECT_EQ(word(f, 24), 6u);
    EXPECT_EQ(word(f, 28), 2u) << "memory size below the file size";
    EXPECT_EQ(word(f, f.size() - 4), 0u);
    EXPECT_NE(kasm::crc32_register(f.data(), f.size()), 0u);
    EXPECT_EQ(a.file.relocs[0][0], (std::vector<uint32_t>{1000}));
    EXPECT_EQ(a.file.names[a.file.xrefs[0][0].name], "missing");
}

TEST(Kasm, DisassemblerReadsBackWhatTheAssemblerWrote)
{
    const kasm::Assembly a = good(R"(
.global main
.code
.func main, 16
    push 2, 3
    fadd
    callnative @note, 4
    new 8, table
    ret1
.data
table: .word main
)");
    ASSERT_TRUE(a.ok());
    std::string listing;
    ASSERT_TRUE(kasm::disassemble(a.bytes(), listing)) << listing;
    for (const char* line : {"CRC good", ".global main", ".misc 0, 16", "main: .word 16 ; frame size",
                             "push2        0x2, 0x3", "fadd", "callnative   @note, 0x4", "new          0x8, section@1",
                             ".word section@0 ; 0x0000"}) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
    }
}

TEST(Kasm, ListingAssemblesIntoTheSameBytes)
{
    const struct {
        const char* what;
        const char* source;
    } cases[] = {
        {"sections and bss", R"(
.code
    ret
.data
.word 1, 2
.rodata
.byte 1, 2, 3
.bss
.space 64
.section 4
.space 3
.byte 9
.space 5
)"},
        {"data words, floats, bytes and strings", R"(
.data
.word 0xFFFFFFFF, -2, 0x80000000
.float 1.5, -0.0
.byte 7
.string "a\"b\\c\n\x01\xff"
.ascii "xyz"
.align 8
.word 3
)"},
        {"labels with addends and relocations between sections", R"(
.global first, second, tail
.code
.func first, 0
    push1 table+8
    push2 second+3, table-4
    jump .end
.end: ret
.data
table: .word first, table, second+1
second: .byte 1
.word table+0x100
tail:
.bss
.space 16
)"},
        {"labels inside data and in the zero tail", R"(
.global a, b, c, d, e
.data
a: .byte 1, 2
b: .byte 3
c: .word 4
d: .space 8
e:
)"},
        {"two names on one address", R"(
.global one, two
.code
one:
two:
.func f, 4
    ret
)"},
        {"natives and external words, names used out of order", R"(
.data
.word @late+4
.code
.func f, 8
    callnative @@get_cmos, 0
    callnative @note, 4
    push1 @late
    ret
)"},
        {"functions with frame sizes and strings in the pool", R"(
.global main, helper
.code
.func main, 24
    push "hi", "there"
    push1 "hi"
    ret
.func helper, 40
    pushspofs -8
    ret1
.rodata
.string "kept first"
)"},
        {"switch tables of both kinds", R"(
.global f
.code
.func f, 0
    switchtable .d, -1, .a, .b, .d
    switchtable .d, 5
    switchsearch .d, 10=.a, -5=.b, 3=.d, 0x7FFFFFFF=.a, -0x80000000=.b
    switchsearch .d
.a: nop
.b: ret1
.d: ret
)"},
        {"classes with method tables, flags and save info", R"(
.global Box@vt, Door@vt
.code
.func hit, 0
    ret
.func open, 16
    ret
.data
.class Box@vt, 32
    .method hit
    .method open
    .field count, int, 0
    .field where, vector, 4
    .field items, array, 16, 16, int
.endclass
.class Door@vt, 4
    .method open
    .flags 0x21
.endclass
)"},
        {"misc records of either source", R"(
.code
.func f, 12
    ret
.maxframe 100
.objsizes 8, 64
.misc 7, 1, 2, 3
.misc 9
)"},
        {"bytes in code that are no instruction", R"(
.code
.byte 255, 254
    ret
.byte 27
.global g
g: .word 1
)"},
    };
    for (const auto& c : cases) {
        const kasm::Assembly a = good(c.source);
        ASSERT_TRUE(a.ok()) << c.what;
        ASSERT_FALSE(a.overrides) << c.what;
        const std::vector<uint8_t> first = a.bytes();
        std::string listing;
        ASSERT_TRUE(kasm::disassemble(first, listing)) << c.what << "\n" << listing;
        const kasm::Assembly again = kasm::assemble(listing, "listing");
        for (const std::string& e : again.errors) {
            ADD_FAILURE() << c.what << ": " << e << "\n" << listing;
        }
        EXPECT_EQ(again.bytes(), first) << c.what << "\n" << listing;
    }
    // Broken-file settings are the one thing a listing leaves out, and the
    // assembler says when a source used them.
    EXPECT_TRUE(kasm::assemble(".stamp 5\n.code\n ret\n").overrides);
    EXPECT_TRUE(kasm::assemble(".code\nf: ret\n.xdef 0, f, \"Object:init\"\n").overrides);
    EXPECT_FALSE(kasm::assemble(".code\n ret\n.misc 3, 1\n").overrides);
}

TEST(Kasm, DisassemblerRefusesMalformedFiles)
{
    std::vector<uint8_t> f = good(".code\n.func f, 0\nret\n").bytes();
    std::string listing;
    const std::vector<std::vector<uint8_t>> broken = {
        std::vector<uint8_t>(f.begin(), f.begin() + 27),
        [&] { auto g = f; g.push_back(0); return g; }(),
        [&] { auto g = f; write_le32(g.data() + 32, 0xFFFFFFF0u); return g; }(),
        [&] { auto g = f; write_le32(g.data() + 24, 6); return g; }(),
    };
    for (const auto& g : broken) {
        EXPECT_FALSE(kasm::disassemble(g, listing)) << listing;
    }
}

} // namespace
