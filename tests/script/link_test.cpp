#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "host/host_memory.h"
#include "link_programs.h"
#include "script/kcontext.h"
#include "script/kio.h"
#include "script/klabels.h"
#include "script/klink.h"
#include "script/krun.h"
#include "tools/kasm/kasm_assembler.h"

namespace {

std::map<std::string, std::vector<uint8_t>> files;
std::vector<uint32_t> init_notes;

uint32_t serve(const char* name, char** buffer)
{
    const auto f = files.find(name);
    if (f == files.end()) {
        *buffer = const_cast<char*>(pline_format("can't find object file \"%s\"", name));
        return 0;
    }
    *buffer = static_cast<char*>(std::malloc(f->second.size() + 1));
    std::memcpy(*buffer, f->second.data(), f->second.size());
    return static_cast<uint32_t>(f->second.size());
}

void note(void*, kcontext_t*, const uint8_t* args, uint32_t bytes)
{
    for (uint32_t i = 0; i + 4 <= bytes; i += 4) {
        init_notes.push_back(read_le32(args + i));
    }
}

class Link : public ::testing::Test {
protected:
    std::string messages;
    kcontext_t* c = nullptr;
    uint32_t ticks = 70;
    krequired_t required[2] = {{"main", 0}, {nullptr, 0}};

    void SetUp() override
    {
        files.clear();
        init_notes.clear();
        const kbuiltin_t builtins[] = {
            {"note", note, nullptr, 0},
            {"_ticks_per_second", nullptr, &ticks, 4},
            {nullptr, nullptr, nullptr, 0},
        };
        c = K_AllocContext(nullptr, builtins, required, 16u << 20);
        ASSERT_NE(c, nullptr);
        kiofuncs_t io{};
        io.puts = [](void* h, const char* text) { *static_cast<std::string*>(h) += text; };
        io.fileread = serve;
        io.fd[KFD_STDERR] = &messages;
        kio_install(c, &io);
    }
    void TearDown() override { K_FreeContext(c); }

    void add(const std::string& name, const std::string& source)
    {
        const kasm::Assembly a = kasm::assemble(source, name);
        for (const std::string& e : a.errors) {
            ADD_FAILURE() << e;
        }
        files[name] = a.bytes();
    }
    int link(std::vector<const char*> names)
    {
        names.push_back(nullptr);
        return K_Link(c, names.data());
    }
};

TEST_F(Link, OneFileIsRelocatedAndBoundToBuiltinsAndRequiredNames)
{
    add("a.kob", link_main_program);
    ASSERT_EQ(link({"a.kob"}), 1) << messages;
    const uint32_t main = labels_address_of(c->labels, "main");
    const uint32_t table = labels_address_of(c->labels, "table");
    EXPECT_EQ(main, c->code);
    EXPECT_EQ(required[0].address, 0u) << "the context keeps its own copy";
    EXPECT_EQ(c->required[0].address, main);
    EXPECT_EQ(c->arena.word(table), main);
    EXPECT_EQ(c->arena.word(table + 4), table + 4);
    EXPECT_EQ(c->maxframesize, 8u);
    EXPECT_EQ(c->code_size, 20u + 8u + 16u);
    ASSERT_EQ(K_AllocResources(c, nullptr), 1);
    ASSERT_TRUE(call_address(c, main, {}));
    EXPECT_EQ(init_notes, (std::vector<uint32_t>{70})) << "the data row was copied into the arena";
}

TEST_F(Link, SectionsOfOneIndexLieSideBySideAcrossFiles)
{
    add("a.kob", ".global a0, a1\n.code\na0: .word 1, 2, 3\n.data\na1: .word 4\n.global main\nmain:\n");
    add("b.kob", ".global b0, b1\n.code\nb0: .word 5\n.data\nb1: .word 6\n");
    ASSERT_EQ(link({"a.kob", "b.kob"}), 1) << messages;
    EXPECT_EQ(labels_address_of(c->labels, "a0"), c->code);
    EXPECT_EQ(labels_address_of(c->labels, "b0"), c->code + 12);
    EXPECT_EQ(labels_address_of(c->labels, "a1"), c->code + 16);
    EXPECT_EQ(labels_address_of(c->labels, "b1"), c->code + 20);
}

TEST_F(Link, InitialisersRunLargerNumbersFirstAtTheNextTick)
{
    add("a.kob", link_init_program);
    ASSERT_EQ(link({"a.kob"}), 1) << messages;
    ASSERT_EQ(K_AllocResources(c, nullptr), 1);
    K_StartInits(c);
    EXPECT_TRUE(init_notes.empty());
    run_tick(c);
    EXPECT_EQ(init_notes, (std::vector<uint32_t>{70000, 3, 1}));
    EXPECT_EQ(c->waitlist, 0u) << "nothing left";
}

TEST_F(Link, DuplicateAndUndefinedSymbolsAreAllReportedAndTheLinkFails)
{
    add("a.kob", link_main_program);
    add("b.kob", ".global main, note, x\n.extern nowhere\n.data\nmain: note: x: .word nowhere\n");
    const uint32_t mark = c->arena.mark();
    EXPECT_EQ(link({"a.kob", "b.kob"}), 0);
    EXPECT_NE(messages.find("KLink: b.kob: \"main\" is already defined!\n"), std::string::npos) << messages;
    EXPECT_NE(messages.find("KLink: b.kob: \"note\" is already defined!\n"), std::string::npos) << messages;
    EXPECT_NE(messages.find("KLink: undefined symbol \"nowhere\"!\n"), std::string::npos) << messages;
    EXPECT_EQ(c->labels, nullptr);
    EXPECT_EQ(c->arena.mark(), mark) << "the failed link gave its arena space back";
    messages.clear();
    files.erase("b.kob");
    EXPECT_EQ(link({"a.kob"}), 1) << "the context links again: " << messages;
}

TEST_F(Link, RequiredNameThatNoFileDefinesIsUndefined)
{
    add("a.kob", ".global other\n.data\nother: .word 0\n");
    EXPECT_EQ(link({"a.kob"}), 0);
    EXPECT_NE(messages.find("KLink: undefined symbol \"main\"!"), std::string::npos) << messages;
}

struct BadFile {
    const char* name;
    std::string source;        // assembled, then edited
    int cut;                   // bytes to cut from the end (-1: none)
    const char* message;
};

TEST_F(Link, HeaderAndStructureFaultsAreRefusedWithTheirMessage)
{
    const std::string ok = ".global main\n.code\nmain: .word 0\n";
    const BadFile cases[] = {
        {"missing.kob", "", -2, "KLink: can't find object file \"missing.kob\"!"},
        {"short.kob", ok, 1000, "KLink: \"short.kob\" is too short!"},
        {"empty.kob", ok, 0, "KLink: section size mismatch in \"empty.kob\"!"},
        {"magic.kob", ok + ".magic \"KOBX\"", -1, "KLink: \"magic.kob\" is not K object!"},
        {"arch.kob", ok + ".arch \"MIPS\"", -1, "KLink: \"arch.kob\" is compiled for another architecture!"},
        {"v3.kob", ok + ".version 1, 3, 11, 1", -1, "KLink: version numbers mismatch in \"v3.kob\"!"},
        {"v2.kob", ok + ".version 1, 3, 12, 0", -1, "KLink: version numbers mismatch in \"v2.kob\"!"},
        {"stamp.kob", ok + ".stamp 1", -1, "KLink: kxc security in \"stamp.kob\" does not match 0x5d0c91e7!"},
        {"size.kob", ok + ".datasize 3", -1, "KLink: datasize does not match in \"size.kob\"!"},
        {"crc.kob", ok + ".crc 7", -1, "KLink: CRC check failed for \"crc.kob\"!"},
        {"six.kob", ok + ".section 4\n.sections 6", -1, "KLink: too many sections in \"six.kob\"!"},
        {"names.kob", ok + ".namescount 9", -1, "KLink: names size mismatch in \"names.kob\"!"},
        {"index.kob", ok + ".xref 0, 0, 40", -1, "KLink: bad xrefs entry in \"index.kob\"!"},
        {"reloc.kob", ok + ".reloc 0, 0, 2", -1, "KLink: reloc table offset out of its section in \"reloc.kob\"!"},
        {"mem.kob", ok + ".memsize 0, 2", -1, "KLink: section memory smaller than its contents in \"mem.kob\"!"},
        {"obj.kob", ok + ".objsizes 0, 16", -1, "KLink: bad object sizes in \"obj.kob\"!"},
        {"misc.kob", ok + ".trailing 1, 2", -1, "KLink: miscinfo size mismatch in \"misc.kob\"!"},
    };
    for (const BadFile& k : cases) {
        SCOPED_TRACE(k.name);
        if (k.cut != -2) {
            add(k.name, k.source);
            std::vector<uint8_t>& f = files[k.name];
            if (k.cut > 0) {
                f.resize(27);
            } else if (k.cut == 0) {
                // A header with an empty data area, and its trailer.
                f.resize(24);
                write_le32(f.data() + 20, 0);
                kasm::put_u32(f, kasm::crc32_register(f.data(), f.size()));
            }
        }
        messages.clear();
        EXPECT_EQ(link({k.name}), 0);
        EXPECT_NE(messages.find(k.message), std::string::npos) << messages;
    }
}

TEST_F(Link, FilesWithoutBytesLinkTheirExports)
{
    struct Case {
        const char* name;
        std::vector<std::string> sources;
        int linked;
        const char* message;
    };
    const Case cases[] = {
        {"a label in an empty code section", {".global main\n.code\nmain:\n"}, 1, ""},
        {"labels at the end of every empty section",
         {".global main, d, b\n.code\nmain:\n.data\nd:\n.bss\nb:\n"}, 1, ""},
        {"two files without bytes", {".global main\n.code\nmain:\n", ".global x\n.data\nx:\n"}, 1, ""},
        {"an export past the end of an empty section", {".code\n.xdef 0, 4, \"main\"\n"}, 0,
         "KLink: bad xdefs entry in \"f0.kob\"!"},
        {"a reference into an empty section", {".global main\n.code\nmain:\n.xref 0, 0, \"main\"\n"}, 0,
         "KLink: bad xrefs entry in \"f0.kob\"!"},
        {"no file defines the required name", {".code\n"}, 0, "KLink: undefined symbol \"main\"!"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        files.clear();
        std::vector<std::string> names;
        for (size_t i = 0; i < k.sources.size(); ++i) {
            names.push_back("f" + std::to_string(i) + ".kob");
            add(names.back(), k.sources[i]);
        }
        std::vector<const char*> list;
        for (const std::string& n : names) {
            list.push_back(n.c_str());
        }
        messages.clear();
        ASSERT_EQ(link(list), k.linked) << messages;
        if (k.linked == 0) {
            EXPECT_NE(messages.find(k.message), std::string::npos) << messages;
            continue;
        }
        EXPECT_EQ(messages, "");
        const uint32_t main = labels_address_of(c->labels, "main");
        EXPECT_NE(main, 0u);
        EXPECT_EQ(c->required[0].address, main);
        EXPECT_EQ(c->code_size, 0u);
        K_Unlink(c);
    }
}

TEST_F(Link, UninitialisedSectionsAreNeitherWrittenNorLargerThanTheArena)
{
    // A file of about a hundred bytes whose uninitialised section is 200 MB.
    const std::string source = ".global main\n.code\nmain: .word 7\n.bss\nfar: .word 0\n.memsize 3, 200000000\n";
    add("big.kob", source);
    ASSERT_LT(files["big.kob"].size(), 200u);
    EXPECT_EQ(link({"big.kob"}), 0);
    EXPECT_NE(messages.find("KLink: not enough memory for K code and data!"), std::string::npos) << messages;
    EXPECT_EQ(c->labels, nullptr);

    // An arena that holds it: linking and unlinking leave the section's pages untouched.
    K_FreeContext(c);
    c = K_AllocContext(nullptr, nullptr, required, 256u << 20);
    ASSERT_NE(c, nullptr);
    kiofuncs_t io{};
    io.puts = [](void* h, const char* text) { *static_cast<std::string*>(h) += text; };
    io.fileread = serve;
    io.fd[KFD_STDERR] = &messages;
    kio_install(c, &io);
    constexpr size_t SLACK = 48u << 20;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const size_t before = host::resident_bytes();
        ASSERT_EQ(link({"big.kob"}), 1) << messages;
        EXPECT_EQ(c->code_size, 4u + 200000000u);
        const uint32_t main = labels_address_of(c->labels, "main");
        EXPECT_EQ(c->arena.word(main), 7u);
        const uint32_t last = c->code + c->code_size - 4;
        EXPECT_EQ(c->arena.word(last), 0u);
        // Written now, so that the next round finds the space it gave back zeroed.
        c->arena.set_word(last, 0xDEADBEEF);
        c->arena.set_word(main + 4, 0xDEADBEEF);
        EXPECT_LT(host::resident_bytes(), before + SLACK);
        K_Unlink(c);
        EXPECT_LT(host::resident_bytes(), before + SLACK);
    }
}

TEST_F(Link, StampsOfNobodyAndOfTheEngineAndFiveSectionsAreAccepted)
{
    add("a.kob", ".global main\n.code\nmain: .word 0\n.stamp 0x5D0C91E7\n.section 4\n.word 1\n");
    add("b.kob", ".stamp 0\n.data\n.word 0\n");
    EXPECT_EQ(link({"a.kob", "b.kob"}), 1) << messages;
}

TEST_F(Link, MiscRecordsFoldOverEveryRecordOfEveryFile)
{
    add("a.kob", ".global main\n.code\nmain: .word 0\n.maxframe 16\n.objsizes 12, 40\n"
                 ".misc 1, 8, 24\n.misc 0, 200\n.misc 1, 20, 100\n.misc 7, 1, 2\n");
    add("b.kob", ".data\n.word 0\n.misc 1, 10, 50\n.misc 0, 32\n");
    ASSERT_EQ(link({"a.kob", "b.kob"}), 1) << messages;
    EXPECT_EQ(c->maxframesize, 200u);
    EXPECT_EQ(c->minobjsize, 8u);
    EXPECT_EQ(c->maxobjsize, 100u);
}

TEST_F(Link, KeptStringsLiveInTheArenaUntilUnlink)
{
    add("a.kob", link_main_program);
    ASSERT_EQ(link({"a.kob"}), 1);
    const uint32_t s = K_KeepString(c, "door", 5);
    ASSERT_NE(s, 0u);
    EXPECT_STREQ(k_cstr(c, s), "door");
    EXPECT_EQ(c->kept, s - 4);
    K_Unlink(c);
    EXPECT_EQ(c->kept, 0u);
}

} // namespace
