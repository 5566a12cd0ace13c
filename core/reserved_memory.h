#pragma once
// Large zeroed reservations for the layers that may not reach the host layer
// themselves (the script arenas): pages cost nothing until they are touched.
#include <cstddef>

// Null when the address space cannot be had.
void* memory_reserve_zeroed(size_t size);
void memory_release_reserved(void* base, size_t size);
// Makes [p, p + size) of a reservation read as zero again; whole pages go back
// to the system instead of being written.
void memory_zero_pages(void* p, size_t size);
