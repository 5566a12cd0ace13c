// Saved script states through the loader: any text loads or is refused with a
// message, and a refused load leaves the context's heap, task pool, wait list
// and kept strings exactly as they were. A state that loads saves again, and
// that save loads again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "script/cellheap.h"
#include "script/kcontext.h"
#include "script/kio.h"
#include "script/kload.h"
#include "script/klink.h"
#include "script/krun.h"
#include "script/ksave.h"
#include "tests/script/state_program.h"
#include "tools/kasm/kasm_assembler.h"

namespace {

struct Stream {
    std::string text;
    size_t pos = 0;
    std::string token;
};

Stream streams[KFD_MAX];
std::vector<uint8_t> object_file;

Stream& of(void* h) { return *static_cast<Stream*>(h); }

void put(void* h, const char* text)
{
    Stream& s = of(h);
    if (&s == &streams[KFD_STDERR]) {
        return;
    }
    s.text += text;
}
int get(void* h)
{
    Stream& s = of(h);
    return s.pos < s.text.size() ? static_cast<unsigned char>(s.text[s.pos++]) : -1;
}
bool space(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }
const char* token(void* h)
{
    Stream& s = of(h);
    while (s.pos < s.text.size() && space(s.text[s.pos])) {
        ++s.pos;
    }
    if (s.pos >= s.text.size()) {
        return nullptr;
    }
    s.token.clear();
    while (s.pos < s.text.size() && !space(s.text[s.pos]) && s.token.size() < 1024) {
        s.token += s.text[s.pos++];
    }
    return s.token.c_str();
}
int no_error(void*) { return 0; }
uint32_t serve(const char*, char** buffer)
{
    *buffer = static_cast<char*>(std::malloc(object_file.size()));
    std::memcpy(*buffer, object_file.data(), object_file.size());
    return static_cast<uint32_t>(object_file.size());
}

kcontext_t* make_context()
{
    static const kbuiltin_t builtins[] = {{"note", nullptr, nullptr, 0}, {nullptr, nullptr, nullptr, 0}};
    const kasm::Assembly a = kasm::assemble(state_program, "state");
    if (!a.ok()) {
        std::abort();
    }
    object_file = a.bytes();
    kcontext_t* c = K_AllocContext(nullptr, builtins, nullptr, 16u << 20);
    kiofuncs_t io{};
    io.puts = put;
    io.getc = get;
    io.gettok = token;
    io.error = no_error;
    io.fileread = serve;
    for (int i = 0; i < KFD_MAX; ++i) {
        io.fd[i] = &streams[i];
    }
    kio_install(c, &io);
    const char* names[] = {"state.kob", nullptr};
    const kinit_t init = {40, 8, 24};
    if (c == nullptr || K_Link(c, names) != 1 || K_AllocResources(c, &init) != 1) {
        std::abort();
    }
    return c;
}

// The bytes a failed load must leave alone.
std::string image(const kcontext_t* c)
{
    const KArena& a = c->arena;
    const uint32_t h = c->objectheap;
    const uint32_t end = a.word(h + CELLHEAP_BASE) - 4 + a.word(h + CELLHEAP_SIZE);
    std::string im(reinterpret_cast<const char*>(a.at(h, end - h)), end - h);
    im.append(reinterpret_cast<const char*>(a.at(c->taskpool.address, c->taskpool.size)), c->taskpool.size);
    const uint32_t words[] = {c->waitlist, c->taskpool.free, c->kept, a.mark()};
    im.append(reinterpret_cast<const char*>(words), sizeof words);
    return im;
}

int load(kcontext_t* c, const std::string& text)
{
    streams[3] = Stream{};
    streams[3].text = text;
    return load_state(c, 3);
}

std::string save(kcontext_t* c)
{
    streams[4] = Stream{};
    if (save_state(c, 4) != 1) {
        std::abort();
    }
    return streams[4].text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static kcontext_t* c = make_context();
    static const uint32_t kept = c->kept;
    static const uint32_t mark = c->arena.mark();
    // One object and one task already there, which a failed load must keep.
    static const std::string base = "O.0 Thing@vt { n 41 s kept }\nT.0 worker O.0 2\n";
    if (load(c, base) != 1) {
        std::abort();
    }
    const std::string before = image(c);
    if (load(c, std::string(reinterpret_cast<const char*>(data), size)) == 1) {
        const std::string saved = save(c);
        K_ResetResources(c);
        if (load(c, saved) != 1) {
            std::abort();
        }
        save(c);
    } else if (image(c) != before) {
        std::abort();
    }
    K_ResetResources(c);
    c->tick = 0;
    c->kept = kept;
    c->arena.release_to(mark);
    return 0;
}
