#include "world/span_bucket.h"

BucketList* span_bucket_insert(BucketList* list, BucketItem* item, int32_t stamp)
{
    if (item == nullptr) {
        return nullptr;
    }
    if (list->stamp == stamp) {
        item->next = list->chain;
        list->chain = item;
        return nullptr;
    }
    list->stamp = stamp;
    item->next = nullptr;
    list->chain = item;
    list->key = item->key;
    return list;
}
