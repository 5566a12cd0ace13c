#include "script/kcontext.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/kassert.h"
#include "script/kinst.h"
#include "script/klabels.h"
#include "script/krun.h"

kcontext_t* K_AllocContext(void* user, const kbuiltin_t* builtins, const krequired_t* required, uint32_t arena_size)
{
    uint32_t nb = 0;
    while (builtins != nullptr && builtins[nb].name != nullptr) {
        ++nb;
    }
    uint32_t nr = 0;
    while (required != nullptr && required[nr].name != nullptr) {
        ++nr;
    }
    kcontext_t* c = new (std::nothrow) kcontext_t{};
    if (c == nullptr) {
        return nullptr;
    }
    c->host = user;
    c->builtins = static_cast<kbuiltin_t*>(std::calloc(nb + 1, sizeof(kbuiltin_t)));
    c->builtin_addresses = static_cast<uint32_t*>(std::calloc(nb + 1, sizeof(uint32_t)));
    c->required = static_cast<krequired_t*>(std::calloc(nr + 1, sizeof(krequired_t)));
    if (c->builtins == nullptr || c->builtin_addresses == nullptr || c->required == nullptr ||
        !c->arena.reserve(arena_size)) {
        K_FreeContext(c);
        return nullptr;
    }
    if (nb > 0) {
        std::memcpy(c->builtins, builtins, nb * sizeof(kbuiltin_t));
    }
    if (nr > 0) {
        std::memcpy(c->required, required, nr * sizeof(krequired_t));
    }
    c->builtin_count = nb;
    c->required_count = nr;

    const uint32_t die = c->arena.alloc(K_SCRIPT_LOW - K_DIECODE);
    K_ASSERT(die == K_DIECODE);
    for (uint32_t i = 0; i < nb; ++i) {
        const kbuiltin_t& row = c->builtins[i];
        if (row.data == nullptr) {
            c->builtin_addresses[i] = knative_handle(i);
            continue;
        }
        const uint32_t copy = c->arena.alloc(row.size == 0 ? 1 : row.size);
        if (copy == 0) {
            K_FreeContext(c);
            return nullptr;
        }
        std::memcpy(c->arena.at(copy, row.size), row.data, row.size);
        c->builtin_addresses[i] = copy;
    }
    c->link_mark = c->arena.mark();
    return c;
}

uint32_t K_AllocHostRegion(kcontext_t* c, uint32_t size)
{
    K_ASSERT(c->labels == nullptr && c->arena.mark() == c->link_mark);
    const uint32_t region = c->arena.alloc(size == 0 ? 1 : size);
    c->link_mark = c->arena.mark();
    return region;
}

void K_FreeContext(kcontext_t* c)
{
    if (c == nullptr) {
        return;
    }
    if (c->arena.valid()) {
        K_FreeResources(c);
    }
    labels_destroy(c->labels);
    std::free(c->builtins);
    std::free(c->builtin_addresses);
    std::free(c->required);
    delete c;
}

void krun_fail(kcontext_t* c, const char* text)
{
    if (c->io.puts != nullptr) {
        kio_printf(c, KFD_STDERR, "KRun: %s!\n", text);
    }
    std::exit(255);
}

void k_broken(kcontext_t* c, const char* what)
{
    if (c->running_ip != 0) {
        krun_fail(c, pline_format("broken %s at %s", what, format_address(c, c->running_ip)));
    }
    krun_fail(c, pline_format("broken %s after %s", what, format_address(c, c->last_ip)));
}

void k_bad_address(kcontext_t* c, uint32_t addr, uint32_t len)
{
    krun_fail(c, pline_format("bad address 0x%08x (%u bytes) at %s", addr, len, format_address(c, c->running_ip)));
}

uint8_t* k_bytes(kcontext_t* c, uint32_t addr, uint32_t len)
{
    if (!c->arena.contains(addr, len)) {
        k_bad_address(c, addr, len);
    }
    kdecode_mark(c, addr, len);
    return c->arena.base() + addr;
}

uint32_t k_load32(kcontext_t* c, uint32_t addr)
{
    if (!c->arena.contains(addr, 4)) {
        k_bad_address(c, addr, 4);
    }
    uint32_t v;
    std::memcpy(&v, c->arena.base() + addr, 4);
    return v;
}

void k_store32(kcontext_t* c, uint32_t addr, uint32_t v)
{
    if (addr < K_SCRIPT_LOW) {
        k_bad_address(c, addr, 4);
    }
    std::memcpy(k_bytes(c, addr, 4), &v, 4);
}

const char* k_cstr(kcontext_t* c, uint32_t addr)
{
    if (c->arena.string_length(addr) < 0) {
        k_bad_address(c, addr, 1);
    }
    return reinterpret_cast<const char*>(c->arena.base() + addr);
}
