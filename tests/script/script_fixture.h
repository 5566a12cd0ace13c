#pragma once
// A script context with one assembled program linked into it, natives that
// record what scripts tell them, and the I/O descriptors captured in strings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "script/kcontext.h"
#include "script/kio.h"
#include "script/klabels.h"
#include "script/klink.h"
#include "script/krun.h"
#include "tools/kasm/kasm_assembler.h"

class ScriptFixture : public ::testing::Test {
public:
    struct Note {
        int32_t tick;
        uint32_t value;
    };
    std::vector<Note> notes;
    std::string io_text[KFD_MAX];
    kcontext_t* c = nullptr;

    static void native_note(void* host, kcontext_t* context, const uint8_t* args, uint32_t bytes)
    {
        ScriptFixture* self = static_cast<ScriptFixture*>(host);
        for (uint32_t i = 0; i + 4 <= bytes; i += 4) {
            self->notes.push_back({context->tick, read_le32(args + i)});
        }
    }
    // Calls the script function given as its argument (re-entering the machine).
    static void native_call(void*, kcontext_t* context, const uint8_t* args, uint32_t)
    {
        const uint32_t arg = 77;
        call_address(context, read_le32(args), std::span<const uint32_t>(&arg, 1));
    }

    void TearDown() override { K_FreeContext(c); }

    // Assembles and places the program in an arena of arena_size bytes; the run-time gets init.
    void load(const std::string& source, kinit_t init = {64, 32, 64}, uint32_t arena_size = 16u << 20)
    {
        static const uint32_t ticks_per_second = 70;
        static const kbuiltin_t builtins[] = {
            {"note", native_note, nullptr, 0},
            {"call", native_call, nullptr, 0},
            {"_ticks_per_second", nullptr, &ticks_per_second, 4},
            {nullptr, nullptr, nullptr, 0},
        };
        const kasm::Assembly a = kasm::assemble(source, "test");
        for (const std::string& e : a.errors) {
            ADD_FAILURE() << e;
        }
        ASSERT_TRUE(a.ok());
        object() = a.bytes();
        c = K_AllocContext(this, builtins, nullptr, arena_size);
        ASSERT_NE(c, nullptr);
        kiofuncs_t io{};
        io.puts = [](void* h, const char* text) { *static_cast<std::string*>(h) += text; };
        io.fileread = [](const char*, char** buffer) {
            *buffer = static_cast<char*>(std::malloc(object().size()));
            std::memcpy(*buffer, object().data(), object().size());
            return static_cast<uint32_t>(object().size());
        };
        for (int i = 0; i < KFD_MAX; ++i) {
            io.fd[i] = &io_text[i];
        }
        kio_install(c, &io);
        const char* names[] = {"test.kob", nullptr};
        ASSERT_EQ(K_Link(c, names), 1) << io_text[KFD_STDERR];
        ASSERT_EQ(K_AllocResources(c, &init), 1);
    }

    // The object file the fileread callback serves.
    static std::vector<uint8_t>& object()
    {
        static std::vector<uint8_t> bytes;
        return bytes;
    }

    uint32_t address(const char* name) const
    {
        const uint32_t a = labels_address_of(c->labels, name);
        EXPECT_NE(a, 0u) << name;
        return a;
    }

    static uint32_t free_count(const kcontext_t* context, const kpageheap_t& heap)
    {
        uint32_t n = 0;
        for (uint32_t p = heap.free; p != 0 && n < 100000; p = context->arena.word(p)) {
            ++n;
        }
        return n;
    }
    uint32_t free_pages() const { return free_count(c, c->stackheap); }
    uint32_t free_records() const { return free_count(c, c->taskpool); }

    std::vector<uint32_t> values() const
    {
        std::vector<uint32_t> v;
        for (const Note& n : notes) {
            v.push_back(n.value);
        }
        return v;
    }
};
