#pragma once
// Lists that the renderers rebuild every frame without clearing them: a list
// remembers the frame stamp it was filled in, and the first item offered with
// another stamp starts it anew.
#include <cstdint>

// The two link words a record is chained by.
struct BucketItem {
    BucketItem* next = nullptr;
    const void* key = nullptr;
};

struct BucketList {
    BucketItem* chain = nullptr;
    const void* key = nullptr;
    int32_t stamp = -1;
};

// Pushes the item on a list of this stamp and answers null; a list of an
// older stamp forgets its items, keeps this one alone, takes its key and is
// answered. A null item does nothing.
BucketList* span_bucket_insert(BucketList* list, BucketItem* item, int32_t stamp);
