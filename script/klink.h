#pragma once
// The linker of "KOBJ" script object files: reads and checks every file, lays
// section k of all files side by side in one code and data block of the
// context's arena, relocates, binds exports and references through the label
// tables, and fills the required-names table. Messages: "KLink: %s!\n" on
// descriptor 2.
#include <cstdint>

struct kcontext_t;

constexpr int SECTION_MAX = 5;
constexpr uint32_t KOBJ_STAMP = 0x5D0C91E7;

// names: null-terminated list of file names, linked in order. 1 linked, 0 failed
// (and nothing left behind). The context must not be linked.
int K_Link(kcontext_t* c, const char* const* names);
// Frees the run-time resources, the label tables, the code and data block and
// the kept strings. The context can be linked again.
void K_Unlink(kcontext_t* c);
// Starts one task for every label "_init_<n>...": larger n first, all due at the next tick.
void K_StartInits(kcontext_t* c);
// Arena address of a kept copy of size bytes (a string with its NUL), or 0.
uint32_t K_KeepString(kcontext_t* c, const char* text, uint32_t size);
