#pragma once
// XModeInfo: display modes in a singly linked list. Builders extend the
// record with fields of their own and pass its size; a record that
// add_to_list has just created carries direct 1 and pages 0.
#include <cstddef>
#include <cstdint>

struct VideoModeRecord;

struct XModeInfo {
    uint32_t width;
    uint32_t height;
    int32_t direct;
    int32_t pages;
    XModeInfo* next;

    bool is_new() const { return direct == 1 && pages == 0; }

    // The record of that size, or a new zeroed one of record_size bytes
    // appended to the list; null when out of memory.
    static XModeInfo* add_to_list(uint32_t width, uint32_t height, XModeInfo** head, size_t record_size);
    static void free_list(XModeInfo** head);
    // The smallest mode that holds width x height, else the one whose area
    // is nearest; the earlier record wins ties. Null for an empty list.
    static const XModeInfo* find_best(const XModeInfo* head, uint32_t width, uint32_t height);
    static int32_t count(const XModeInfo* head);
    // A new array of the records in list order; null when the list is empty
    // or memory runs out.
    static VideoModeRecord* convert_to_array(const XModeInfo* head);
};

// Records of the full-screen DIB lists.
struct FullScreenModeInfo : XModeInfo {
    int32_t enum_index; // display-settings number, or -1 for a size that was only tested
    uint32_t refresh;
};

// Records of the DirectDraw lists.
struct DDrawModeInfo : XModeInfo {
    uint32_t refresh;
};

template <typename T>
T* add_mode_record(uint32_t width, uint32_t height, XModeInfo** head)
{
    return static_cast<T*>(XModeInfo::add_to_list(width, height, head, sizeof(T)));
}
