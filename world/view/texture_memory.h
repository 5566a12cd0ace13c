#pragma once
// Where texture data lives. With a heap and an owner, blocks are cacheable
// blocks of that owner, dropped with it under memory pressure; otherwise they
// come from the general heap. Both kinds go back through texture_free.
#include <cstddef>

class CacheOwner;

void* texture_alloc(size_t size, CacheOwner* owner, const char* name);
void texture_free(void* data);
