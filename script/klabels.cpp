#include "script/klabels.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/byte_order.h"
#include "core/kassert.h"

uint32_t labels_name_hash(const char* name)
{
    uint32_t h = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        h = (h << 2) ^ *p;
    }
    return h;
}

namespace {

klabel_t* find_in_chain(const klabels* lab, uint32_t n, const char* name)
{
    K_ASSERT(n < lab->prime);
    for (klabel_t* l = lab->namehash[n]; l != nullptr; l = l->next_name) {
        if (std::strcmp(l->name, name) == 0) {
            return l;
        }
    }
    return nullptr;
}

void patch(uint8_t* word, uint32_t address)
{
    write_le32(word, read_le32(word) + address);
}

} // namespace

klabels* labels_create(uint32_t expected)
{
    const uint64_t prime = ((static_cast<uint64_t>(expected) * 5 / 4) | 1u);
    if (prime > 0x10000000u) {
        return nullptr;
    }
    klabels* lab = static_cast<klabels*>(std::calloc(1, sizeof(klabels)));
    if (lab == nullptr) {
        return nullptr;
    }
    lab->prime = static_cast<uint32_t>(prime);
    lab->namehash = static_cast<klabel_t**>(std::calloc(lab->prime, sizeof(klabel_t*)));
    lab->addresshash = static_cast<klabel_t**>(std::calloc(lab->prime, sizeof(klabel_t*)));
    if (lab->namehash == nullptr || lab->addresshash == nullptr) {
        labels_destroy(lab);
        return nullptr;
    }
    return lab;
}

void labels_destroy(klabels* lab)
{
    if (lab == nullptr) {
        return;
    }
    while (lab->pending != nullptr) {
        kpending_t* p = lab->pending;
        lab->pending = p->next;
        std::free(p);
    }
    while (lab->all != nullptr) {
        klabel_t* l = lab->all;
        lab->all = l->next;
        std::free(l);
    }
    std::free(lab->namehash);
    std::free(lab->addresshash);
    std::free(lab);
}

klabel_t* labels_find(const klabels* lab, const char* name)
{
    K_ASSERT(lab != nullptr && name != nullptr);
    return find_in_chain(lab, labels_name_hash(name) % lab->prime, name);
}

klabel_t* labels_add(klabels* lab, const char* name)
{
    K_ASSERT(lab != nullptr && name != nullptr);
    const uint32_t n = labels_name_hash(name) % lab->prime;
    klabel_t* l = find_in_chain(lab, n, name);
    if (l != nullptr) {
        return l;
    }
    const size_t len = std::strlen(name);
    l = static_cast<klabel_t*>(std::malloc(sizeof(klabel_t) + len));
    if (l == nullptr) {
        return nullptr;
    }
    std::memcpy(l->name, name, len + 1);
    l->address = 0;
    l->next_address = nullptr;
    l->next_name = lab->namehash[n];
    lab->namehash[n] = l;
    l->next = lab->all;
    lab->all = l;
    return l;
}

int labels_define(klabels* lab, klabel_t* label, uint32_t address)
{
    K_ASSERT(lab != nullptr && label != nullptr && address != 0);
    if (label->address != 0) {
        return 0;
    }
    label->address = address;
    const uint32_t n = address % lab->prime;
    label->next_address = lab->addresshash[n];
    lab->addresshash[n] = label;
    return 1;
}

int labels_reference(klabels* lab, klabel_t* label, uint8_t* word)
{
    K_ASSERT(lab != nullptr && label != nullptr && word != nullptr);
    if (label->address != 0) {
        patch(word, label->address);
        return 1;
    }
    kpending_t* p = static_cast<kpending_t*>(std::malloc(sizeof(kpending_t)));
    if (p == nullptr) {
        return 0;
    }
    p->label = label;
    p->word = word;
    p->next = lab->pending;
    lab->pending = p;
    return 1;
}

klabel_t* labels_resolve(klabels* lab)
{
    K_ASSERT(lab != nullptr);
    while (lab->pending != nullptr) {
        kpending_t* p = lab->pending;
        if (p->label->address == 0) {
            return p->label;
        }
        lab->pending = p->next;
        patch(p->word, p->label->address);
        std::free(p);
    }
    return nullptr;
}

uint32_t labels_address_of(const klabels* lab, const char* name)
{
    const klabel_t* l = labels_find(lab, name);
    return l != nullptr ? l->address : 0;
}

const char* labels_name_at(const klabels* lab, uint32_t address)
{
    K_ASSERT(lab != nullptr && address != 0);
    for (const klabel_t* l = lab->addresshash[address % lab->prime]; l != nullptr; l = l->next_address) {
        if (l->address == address) {
            return l->name;
        }
    }
    return nullptr;
}

uint32_t labels_nearest(const klabels* lab, uint32_t address, const char** name)
{
    const char* exact = labels_name_at(lab, address);
    if (exact != nullptr) {
        *name = exact;
        return 0;
    }
    *name = "?";
    uint32_t best = address;
    for (const klabel_t* l = lab->all; l != nullptr; l = l->next) {
        if (l->address != 0 && l->address <= address && address - l->address < best) {
            best = address - l->address;
            *name = l->name;
        }
    }
    return best;
}

void labels_for_each(const klabels* lab, LabelCallback callback, void* data)
{
    K_ASSERT(lab != nullptr);
    for (klabel_t* l = lab->all; l != nullptr;) {
        klabel_t* next = l->next;
        callback(l, data);
        l = next;
    }
}
