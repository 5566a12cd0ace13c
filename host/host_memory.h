#pragma once
// Large zeroed reservations whose pages cost nothing until they are touched.
#include <cstddef>

namespace host {

// Reserves size bytes of zeroed memory; pages are committed as they are first
// written. Null when the address space cannot be had.
void* reserve_zeroed(size_t size);
void release_reserved(void* base, size_t size);

// Makes [p, p + size) of a reservation zero again. Whole pages are handed back
// to the system (they read as zero and cost nothing until touched again)
// instead of being written.
void zero_pages(void* p, size_t size);

// Bytes of the process's memory that are resident now, 0 when unknown.
size_t resident_bytes();

} // namespace host
