#pragma once
// A script context whose descriptors are in-memory text streams, for saving
// and loading script states, and a program with a class of every saved type.
#include <cstring>
#include <string>
#include <vector>

#include "script/cellheap.h"
#include "script/kload.h"
#include "script/ksave.h"
#include "script_fixture.h"
#include "state_program.h"

struct MemStream {
    std::string text;
    size_t pos = 0;
    size_t token_cap = 1024;  // longest token the token reader returns, as the I/O layer's readers do
    bool failed = false;
    std::string token;
};

class StateFixture : public ScriptFixture {
public:
    MemStream streams[KFD_MAX];

    static MemStream& of(void* h) { return *static_cast<MemStream*>(h); }

    // Replaces the context's I/O with memory streams (descriptor 2 collects messages).
    void use_streams(kcontext_t* context)
    {
        kiofuncs_t io{};
        io.putc = [](void* h, int ch) { of(h).text += static_cast<char>(ch); };
        io.puts = [](void* h, const char* text) { of(h).text += text; };
        io.getc = [](void* h) {
            MemStream& s = of(h);
            return s.pos < s.text.size() ? static_cast<unsigned char>(s.text[s.pos++]) : -1;
        };
        io.gettok = [](void* h) -> const char* {
            MemStream& s = of(h);
            auto space = [](char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); };
            while (s.pos < s.text.size() && space(s.text[s.pos])) {
                ++s.pos;
            }
            if (s.pos >= s.text.size()) {
                return nullptr;
            }
            s.token.clear();
            while (s.pos < s.text.size() && !space(s.text[s.pos]) && s.token.size() < s.token_cap) {
                s.token += s.text[s.pos++];
            }
            return s.token.c_str();
        };
        io.error = [](void* h) { return of(h).failed ? 1 : 0; };
        io.fileread = context->io.fileread;
        for (int i = 0; i < KFD_MAX; ++i) {
            io.fd[i] = &streams[i];
        }
        kio_install(context, &io);
    }

    void setup_state(kinit_t init = {64, 32, 64})
    {
        load(state_program, init);
        use_streams(c);
    }

    std::string& errors() { return streams[KFD_STDERR].text; }

    std::string save(int* result = nullptr)
    {
        streams[3] = MemStream{};
        const int r = save_state(c, 3);
        if (result != nullptr) {
            *result = r;
        }
        return streams[3].text;
    }

    int load_text(const std::string& text, size_t token_cap = 1024)
    {
        streams[4] = MemStream{};
        streams[4].text = text;
        streams[4].token_cap = token_cap;
        return load_state(c, 4);
    }

    uint32_t make_thing()
    {
        EXPECT_TRUE(call_address(c, address("make_thing"), {}));
        return c->result[0];
    }

    uint32_t word(uint32_t addr) const { return c->arena.word(addr); }
    void set_word(uint32_t addr, uint32_t v) const { c->arena.set_word(addr, v); }
    void set_float(uint32_t addr, float f) const
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        set_word(addr, v);
    }
    float get_float(uint32_t addr) const
    {
        const uint32_t v = word(addr);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }

    // Name a save gives the object: its cell's offset in smallest cells.
    std::string object_name(uint32_t object) const
    {
        const uint32_t base = word(c->objectheap + CELLHEAP_BASE);
        char text[32];
        std::snprintf(text, sizeof text, "O.%x", (object - 4 - base) / cellheap_min_class(c->arena, c->objectheap));
        return text;
    }

    // Every full cell's object address, in address order.
    std::vector<uint32_t> objects() const
    {
        std::vector<uint32_t> all;
        cellheap_for_each(
            c->arena, c->objectheap,
            [](void* data, uint32_t cell) { static_cast<std::vector<uint32_t>*>(data)->push_back(cell + 4); }, &all);
        return all;
    }

    // What a failed load must leave alone: the object heap, task pool, wait list and kept strings.
    struct Image {
        std::vector<uint8_t> heap;
        std::vector<uint8_t> pool;
        uint32_t waitlist;
        uint32_t free;
        uint32_t kept;
        uint32_t top;
        bool operator==(const Image&) const = default;
    };
    Image image() const
    {
        const KArena& a = c->arena;
        const uint32_t h = c->objectheap;
        const uint32_t end = word(h + CELLHEAP_BASE) - 4 + word(h + CELLHEAP_SIZE);
        Image im;
        im.heap.assign(a.at(h, end - h), a.at(h, end - h) + (end - h));
        im.pool.assign(a.at(c->taskpool.address, c->taskpool.size),
                       a.at(c->taskpool.address, c->taskpool.size) + c->taskpool.size);
        im.waitlist = c->waitlist;
        im.free = c->taskpool.free;
        im.kept = c->kept;
        im.top = a.mark();
        return im;
    }
};
