#include "soft/xmode_info.h"

#include "core/kassert.h"
#include "platform/video_platform.h"
#include "platform/video_mode.h"

#include <cstdlib>
#include <new>

XModeInfo* XModeInfo::add_to_list(uint32_t width, uint32_t height, XModeInfo** head, size_t record_size)
{
    K_ASSERT(record_size >= sizeof(XModeInfo));
    XModeInfo** link = head;
    while (*link != nullptr) {
        if ((*link)->width == width && (*link)->height == height) {
            return *link;
        }
        link = &(*link)->next;
    }
    // Zeroed memory of the caller's record type; the records hold plain fields only.
    void* const memory = std::calloc(1, record_size);
    if (memory == nullptr) {
        video_show_error("XModeInfo::add_to_list()", "Memory allocation failed");
        return nullptr;
    }
    XModeInfo* const record = static_cast<XModeInfo*>(memory);
    record->width = width;
    record->height = height;
    record->direct = 1;
    record->pages = 0;
    record->next = nullptr;
    *link = record;
    return record;
}

void XModeInfo::free_list(XModeInfo** head)
{
    XModeInfo* record = *head;
    while (record != nullptr) {
        XModeInfo* const next = record->next;
        std::free(record);
        record = next;
    }
    *head = nullptr;
}

const XModeInfo* XModeInfo::find_best(const XModeInfo* head, uint32_t width, uint32_t height)
{
    const XModeInfo* best = nullptr;
    uint64_t best_area = 0;
    for (const XModeInfo* r = head; r != nullptr; r = r->next) {
        const uint64_t area = static_cast<uint64_t>(r->width) * r->height;
        if (r->width >= width && r->height >= height && area != 0 && (best == nullptr || area < best_area)) {
            best = r;
            best_area = area;
        }
    }
    if (best != nullptr) {
        return best;
    }
    const uint64_t wanted = static_cast<uint64_t>(width) * height;
    uint64_t best_difference = 0;
    for (const XModeInfo* r = head; r != nullptr; r = r->next) {
        const uint64_t area = static_cast<uint64_t>(r->width) * r->height;
        if (area == 0) {
            continue;
        }
        const uint64_t difference = area > wanted ? area - wanted : wanted - area;
        if (best == nullptr || difference < best_difference) {
            best = r;
            best_difference = difference;
        }
    }
    return best;
}

int32_t XModeInfo::count(const XModeInfo* head)
{
    int32_t n = 0;
    for (const XModeInfo* r = head; r != nullptr; r = r->next) {
        ++n;
    }
    return n;
}

VideoModeRecord* XModeInfo::convert_to_array(const XModeInfo* head)
{
    const int32_t n = count(head);
    if (n == 0) {
        return nullptr;
    }
    VideoModeRecord* const array = new (std::nothrow) VideoModeRecord[static_cast<size_t>(n)];
    if (array == nullptr) {
        video_show_error("XModeInfo::convert_to_array()", "Memory allocation failed");
        return nullptr;
    }
    int32_t i = 0;
    for (const XModeInfo* r = head; r != nullptr; r = r->next, ++i) {
        array[i] = {static_cast<int32_t>(r->width), static_cast<int32_t>(r->height), r->direct, r->pages};
    }
    return array;
}
