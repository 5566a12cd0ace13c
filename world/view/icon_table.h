#pragma once
// IconTable: the client's named icons, found by name without regard to case;
// entries are added on first request and never removed one by one.
// IconHandle: one icon placed on the screen manager, in its virtual units.
#include <cstdint>

class IconPicture;
class ScreenManager;

class IconTable {
public:
    IconTable() = default;
    ~IconTable() { destroy(); }
    IconTable(const IconTable&) = delete;
    IconTable& operator=(const IconTable&) = delete;

    // n entries ("Icons", persistent); 1, or 0 when there is no memory.
    int create(int32_t n);
    void destroy();
    // Unloads every entry in use; the names stay.
    void release_all();
    // The entry of that name and kind, a new entry, or null with "Too many
    // icons loaded" when the table is full. Names longer than 8 are refused.
    IconPicture* get(const char* name, int is_icon);

    int32_t icons() const { return icons_; }
    int32_t capacity() const { return capacity_; }

private:
    IconPicture* entries_ = nullptr;
    int32_t icons_ = 0;
    int32_t capacity_ = 0;
};

struct IconHandle {
    void show(ScreenManager* screen);
    void set_value(ScreenManager* screen);
    void set_extent(ScreenManager* screen);
    void hide(ScreenManager* screen);

    IconPicture* owner = nullptr;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t extent = 0; // shown part of the width, virtual units
    int32_t id = -1;    // screen id while shown
};
