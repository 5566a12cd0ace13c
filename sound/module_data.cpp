#include "sound/module_data.h"

#include "core/kheap.h"

#include <cstring>

ModInstrument::ModInstrument()
{
    std::memset(sample_map, MOD_NONE, sizeof sample_map);
    for (int n = 0; n < MOD_NOTES; ++n) {
        note_map[n] = uint8_t(n);
    }
}

void ModInstrument::map_all(uint8_t sample)
{
    std::memset(sample_map, sample, sizeof sample_map);
}

void* mod_alloc_bytes(size_t bytes, const char* tag)
{
    return kheap_alloc(bytes, KHEAP_FROM_BOTTOM, tag);
}

void mod_free_bytes(void* p)
{
    if (p != nullptr) {
        kheap_release(p);
    }
}
