#pragma once
// The client's in-game console: every printed message as a line of the
// scroll-back, tagged status lines, an overlay of recent lines while hidden,
// and while shown the scroll-back with an input line that has history and Tab
// completion and hands each finished line to its command set.
#include <cstddef>
#include <cstdint>

class ConsCmd;
class TextScreen;
struct InputEvent;

constexpr int CONSOLE_LINES = 256;
constexpr int CONSOLE_LINE_SIZE = 128; // 127 characters and the NUL
constexpr int CONSOLE_DROP_LINES = 8;  // discarded at once when the scroll-back is full
constexpr int CONSOLE_TAGGED = 32;
constexpr int CONSOLE_HISTORY = 64;
constexpr int CONSOLE_ROWS = 32;
constexpr int CONSOLE_OVERLAY_ROWS = 10;
constexpr int CONSOLE_OVERLAY_TAGGED = 9;
constexpr int32_t CONSOLE_LINE_TICKS = 500;   // how long the hidden console shows a line
constexpr int32_t CONSOLE_TAGGED_TICKS = 100; // and a tagged line
constexpr char CONSOLE_PROMPT = '>';

class Console {
public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // First call: resets, binds, takes over the print streams. Later calls
    // rebind the same command set to a new screen. 1, or 0 when the shown
    // input line cannot be created on the new screen.
    int init(TextScreen* screen, ConsCmd* command_set);
    void release_print();
    // Once per client frame, with the client's tick count (1/70 s).
    void update(int32_t now);
    // Returns the new shown state.
    int show(int on);
    // 1 when the console consumed the key.
    int input_key(const InputEvent& event);
    // Makes the overlay forget every line at the next update.
    void clear() { clear_flag_ = 1; }

    static void output_handler(int stream, const char* text, uintptr_t context);
    static void tagged_hook(uint32_t tag, const char* text, uintptr_t context);

    int shown() const { return shown_; }
    int line_count() const { return line_count_; }
    const char* line(int i) const { return lines_[i]; }
    int32_t line_expiry(int i) const { return expiry_[i]; }
    const char* input_line() const { return input_; }
    int history_count() const { return history_count_; }
    const char* history(int i) const { return history_[i]; }
    int scroll() const { return scroll_; }
    uint32_t tag(int slot) const { return tags_[slot]; }
    const char* tagged_text(int slot) const { return tagged_[slot]; }

private:
    void reset();
    void add_message(const char* text);
    void add_line(const char* text, size_t length);
    void set_tagged(uint32_t tag, const char* text);
    int fill_overlay(const char** rows, int32_t now) const;
    int fill_scrollback(const char** rows);
    void draw_rows(const char* const* rows, int count);
    void enter_line();
    void show_history();
    void complete();
    bool complete_variable();
    void set_input(const char* text);

    TextScreen* screen_ = nullptr;
    ConsCmd* command_set_ = nullptr;
    char lines_[CONSOLE_LINES][CONSOLE_LINE_SIZE];
    int32_t expiry_[CONSOLE_LINES];
    int line_count_ = 0;
    char tagged_[CONSOLE_TAGGED][CONSOLE_LINE_SIZE];
    uint32_t tags_[CONSOLE_TAGGED];
    int32_t tagged_expiry_[CONSOLE_TAGGED];
    char history_[CONSOLE_HISTORY][CONSOLE_LINE_SIZE];
    int history_count_ = 0;
    int history_cursor_ = 0;
    char input_[CONSOLE_LINE_SIZE];
    char completion_base_[CONSOLE_LINE_SIZE];
    int input_text_id_ = -1;
    int shown_ = 0;
    uint32_t modifiers_ = 0;
    int clear_flag_ = 0;
    int text_ids_[CONSOLE_ROWS];
    int text_count_ = 0;
    int scroll_ = 0;
    bool print_installed_ = false;
};
