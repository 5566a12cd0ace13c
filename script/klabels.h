#pragma once
// Label tables: script symbol names to addresses and back, with references
// that wait for a label's definition. Addresses are arena addresses; a word to
// patch is a host pointer to 4 bytes (arena words or host-side table rows).
#include <cstdint>

struct klabel_t {
    klabel_t* next;          // all-labels list, newest first
    klabel_t* next_name;     // name chain
    klabel_t* next_address;  // address chain
    uint32_t address;        // 0 while only referenced
    char name[1];            // allocated with the label
};

struct kpending_t {
    kpending_t* next;
    klabel_t* label;
    uint8_t* word;
};

struct klabels {
    klabel_t** namehash;
    klabel_t** addresshash;
    klabel_t* all;
    kpending_t* pending;
    uint32_t prime;
};

klabels* labels_create(uint32_t expected);
void labels_destroy(klabels* lab);
klabel_t* labels_add(klabels* lab, const char* name);
int labels_define(klabels* lab, klabel_t* label, uint32_t address);
int labels_reference(klabels* lab, klabel_t* label, uint8_t* word);
klabel_t* labels_resolve(klabels* lab);
uint32_t labels_address_of(const klabels* lab, const char* name);
klabel_t* labels_find(const klabels* lab, const char* name);
const char* labels_name_at(const klabels* lab, uint32_t address);
// Distance from the nearest label at or below the address (name "?" and the
// address itself when there is none).
uint32_t labels_nearest(const klabels* lab, uint32_t address, const char** name);
using LabelCallback = void (*)(klabel_t* label, void* data);
void labels_for_each(const klabels* lab, LabelCallback callback, void* data);
uint32_t labels_name_hash(const char* name);
