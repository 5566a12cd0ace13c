#include "core/console.h"

#include "core/compare_nocase.h"
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/input_event.h"
#include "core/kassert.h"
#include "core/key_codes.h"
#include "core/key_names.h"
#include "core/numerics.h"
#include "core/print.h"
#include "core/text_screen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr uint32_t MOD_LSHIFT = 0x1;
constexpr uint32_t MOD_RSHIFT = 0x2;
constexpr int MAX_TEXT = CONSOLE_LINE_SIZE - 1;

// The commands after which Tab completes variable names.
constexpr const char* variable_commands[] = {"Set", "Toggle", "Cv_Copy", "Cv_Add", "Cv_Mul", "Cv_Div", "Cv_Clip"};

void copy_line(char (&dst)[CONSOLE_LINE_SIZE], const char* text, size_t length)
{
    const size_t n = std::min(length, static_cast<size_t>(MAX_TEXT));
    std::memcpy(dst, text, n);
    dst[n] = '\0';
}

} // namespace

Console::Console() { reset(); }

Console::~Console()
{
    if (print_installed_) {
        release_print();
    }
}

void Console::reset()
{
    std::memset(lines_, 0, sizeof lines_);
    std::fill(std::begin(expiry_), std::end(expiry_), -1);
    line_count_ = 0;
    std::memset(tagged_, 0, sizeof tagged_);
    std::fill(std::begin(tags_), std::end(tags_), 0u);
    std::fill(std::begin(tagged_expiry_), std::end(tagged_expiry_), -1);
    std::memset(history_, 0, sizeof history_);
    history_count_ = 0;
    history_cursor_ = 0;
    set_input("");
    completion_base_[0] = '\0';
    input_text_id_ = -1;
    shown_ = 0;
    modifiers_ = 0;
    clear_flag_ = 0;
    std::fill(std::begin(text_ids_), std::end(text_ids_), -1);
    text_count_ = 0;
    scroll_ = 0;
}

int Console::init(TextScreen* screen, ConsCmd* command_set)
{
    if (command_set_ == nullptr) {
        K_ASSERT(!screen_);
        K_ASSERT(command_set);
        reset();
        screen_ = screen;
        command_set_ = command_set;
        set_stream_handler(&Console::output_handler, reinterpret_cast<uintptr_t>(this));
        (void)set_tagged_hook(&Console::tagged_hook, reinterpret_cast<uintptr_t>(this));
        print_installed_ = true;
        return 1;
    }
    K_ASSERT(command_set_ == command_set);
    K_ASSERT(screen);
    // The old ids belonged to the old screen.
    text_count_ = 0;
    input_text_id_ = -1;
    screen_ = screen;
    if (shown_ != 0) {
        input_text_id_ = screen_->add_text(0, screen_->text_rows() - 1, input_);
        if (input_text_id_ < 0) {
            input_text_id_ = -1;
            return 0;
        }
    }
    return 1;
}

void Console::release_print()
{
    set_stream_handler(default_print_handler, 0);
    (void)set_tagged_hook(nullptr, 0);
    print_installed_ = false;
}

void Console::output_handler(int, const char* text, uintptr_t context)
{
    reinterpret_cast<Console*>(context)->add_message(text);
}

void Console::tagged_hook(uint32_t tag, const char* text, uintptr_t context)
{
    reinterpret_cast<Console*>(context)->set_tagged(tag, text);
}

void Console::add_message(const char* text)
{
    for (;;) {
        const char* const end = std::strchr(text, '\n');
        if (end == nullptr) {
            add_line(text, std::strlen(text));
            return;
        }
        add_line(text, static_cast<size_t>(end - text));
        text = end + 1;
    }
}

void Console::add_line(const char* text, size_t length)
{
    if (line_count_ == CONSOLE_LINES) {
        const int kept = CONSOLE_LINES - CONSOLE_DROP_LINES;
        std::memmove(lines_[0], lines_[CONSOLE_DROP_LINES], sizeof lines_[0] * kept);
        std::memmove(expiry_, expiry_ + CONSOLE_DROP_LINES, sizeof expiry_[0] * kept);
        line_count_ = kept;
    }
    copy_line(lines_[line_count_], text, length);
    expiry_[line_count_] = -1;
    ++line_count_;
    scroll_ = 0;
}

void Console::set_tagged(uint32_t tag, const char* text)
{
    int slot = -1;
    for (int i = 0; i < CONSOLE_TAGGED && slot < 0; ++i) {
        if (tags_[i] == tag) {
            slot = i;
        }
    }
    for (int i = CONSOLE_TAGGED - 1; i >= 0 && slot < 0; --i) {
        if (tags_[i] == 0) {
            slot = i;
        }
    }
    if (slot < 0) {
        slot = 0;
        for (int i = 1; i < CONSOLE_TAGGED; ++i) {
            if (tagged_expiry_[i] != -1 && tagged_expiry_[i] < tagged_expiry_[slot]) {
                slot = i;
            }
        }
    }
    copy_line(tagged_[slot], text, std::strlen(text));
    tagged_expiry_[slot] = -1;
    tags_[slot] = tag;
}

int Console::fill_overlay(const char** rows, int32_t now) const
{
    int count = 0;
    for (int i = 0; i < CONSOLE_TAGGED && count < CONSOLE_OVERLAY_TAGGED; ++i) {
        if (tags_[i] != 0 && tagged_expiry_[i] >= now) {
            rows[count++] = tagged_[i];
        }
    }
    // The newest live lines, shown oldest first.
    int first = line_count_;
    int taken = 0;
    for (int i = line_count_ - 1; i >= 0 && count + taken < CONSOLE_OVERLAY_ROWS; --i) {
        if (expiry_[i] >= now) {
            first = i;
            ++taken;
        }
    }
    for (int i = first; i < line_count_ && taken > 0; ++i) {
        if (expiry_[i] >= now) {
            rows[count++] = lines_[i];
            --taken;
        }
    }
    return count;
}

int Console::fill_scrollback(const char** rows)
{
    const int count = std::max(0, std::min({line_count_, screen_->text_rows() - 6, CONSOLE_ROWS}));
    scroll_ = std::clamp(scroll_, 0, line_count_ - count);
    const int first = line_count_ - count - scroll_;
    for (int r = 0; r < count; ++r) {
        rows[r] = lines_[first + r];
    }
    return count;
}

void Console::draw_rows(const char* const* rows, int count)
{
    int r = 0;
    for (; r < count; ++r) {
        if (r < text_count_) {
            screen_->set_text(text_ids_[r], rows[r]);
            continue;
        }
        const int id = screen_->add_text(0, r, rows[r]);
        if (id < 0) {
            break;
        }
        text_ids_[text_count_++] = id;
    }
    for (int k = r; k < text_count_; ++k) {
        screen_->remove_text(text_ids_[k]);
    }
    text_count_ = std::min(text_count_, r);
}

void Console::update(int32_t now)
{
    if (clear_flag_ != 0) {
        for (int i = 0; i < line_count_; ++i) {
            if (expiry_[i] == -1 || expiry_[i] >= now) {
                expiry_[i] = wrap_sub(now, 1);
            }
        }
    }
    for (int i = 0; i < line_count_; ++i) {
        if (expiry_[i] == -1) {
            expiry_[i] = wrap_add(now, CONSOLE_LINE_TICKS);
        }
    }
    for (int i = 0; i < CONSOLE_TAGGED; ++i) {
        if (tags_[i] != 0 && tagged_expiry_[i] == -1) {
            tagged_expiry_[i] = wrap_add(now, CONSOLE_TAGGED_TICKS);
        }
    }
    if (screen_ != nullptr) {
        const char* rows[CONSOLE_ROWS];
        int count = 0;
        if (shown_ == 0) {
            count = fill_overlay(rows, now);
        } else {
            count = fill_scrollback(rows);
            if (input_text_id_ >= 0) {
                screen_->set_text(input_text_id_, input_);
            }
        }
        draw_rows(rows, count);
    }
    clear_flag_ = 0;
}

int Console::show(int on)
{
    const int want = on != 0 ? 1 : 0;
    if (want == shown_) {
        return shown_;
    }
    if (want != 0) {
        if (screen_ == nullptr) {
            return shown_;
        }
        input_text_id_ = screen_->add_text(0, screen_->text_rows() - 1, input_);
        if (input_text_id_ < 0) {
            input_text_id_ = -1;
            return shown_;
        }
        shown_ = 1;
        history_cursor_ = history_count_;
    } else {
        if (input_text_id_ >= 0) {
            screen_->remove_text(input_text_id_);
        }
        input_text_id_ = -1;
        shown_ = 0;
    }
    return shown_;
}

void Console::set_input(const char* text)
{
    input_[0] = CONSOLE_PROMPT;
    const size_t n = std::min(std::strlen(text), static_cast<size_t>(MAX_TEXT - 1));
    std::memcpy(input_ + 1, text, n);
    input_[n + 1] = '\0';
}

void Console::show_history()
{
    if (history_cursor_ < 0 || history_cursor_ >= history_count_) {
        set_input("");
    } else {
        std::memcpy(input_, history_[history_cursor_], sizeof input_);
    }
}

void Console::enter_line()
{
    if (std::strlen(input_) <= 1) {
        return;
    }
    print_format(P_MESSAGE, "%s", input_);
    K_ASSERT(command_set_);
    (void)command_set_->add_text(input_ + 1);
    if (history_count_ == CONSOLE_HISTORY) {
        std::memmove(history_[0], history_[1], sizeof history_[0] * (CONSOLE_HISTORY - 1));
        --history_count_;
    }
    if (history_count_ == 0 || std::strcmp(history_[history_count_ - 1], input_) != 0) {
        std::memcpy(history_[history_count_], input_, sizeof input_);
        ++history_count_;
    }
    set_input("");
    history_cursor_ = history_count_;
}

int Console::input_key(const InputEvent& event)
{
    const uint32_t key = event.key_code;
    if (key == KEY_LSHIFT || key == KEY_RSHIFT) {
        const uint32_t bit = key == KEY_LSHIFT ? MOD_LSHIFT : MOD_RSHIFT;
        if (event.kind == INPUT_KEY_UP) {
            modifiers_ &= ~bit;
        } else {
            modifiers_ |= bit;
        }
        return 0;
    }
    if (shown_ == 0 || event.kind == INPUT_KEY_UP) {
        return 0;
    }
    switch (key) {
    case KEY_BACKSPACE: {
        const size_t n = std::strlen(input_);
        if (n > 1) {
            input_[n - 1] = '\0';
        }
        completion_base_[0] = '\0';
        return 1;
    }
    case KEY_TAB:
        complete();
        return 1;
    case KEY_UP:
    case KEY_PAD8:
        completion_base_[0] = '\0';
        if (history_cursor_ >= 0) {
            --history_cursor_;
        }
        show_history();
        return 1;
    case KEY_DOWN:
    case KEY_PAD2:
        completion_base_[0] = '\0';
        if (history_cursor_ < history_count_) {
            ++history_cursor_;
        }
        show_history();
        return 1;
    case KEY_PAGEUP:
    case KEY_PAD9:
        scroll_ = std::min(scroll_ + 1, CONSOLE_LINES);
        return 1;
    case KEY_PAGEDN:
    case KEY_PAD3:
        scroll_ = std::max(scroll_ - 1, 0);
        return 1;
    case KEY_HOME:
    case KEY_PAD7:
        scroll_ = CONSOLE_LINES;
        return 1;
    case KEY_END:
    case KEY_PAD1:
        scroll_ = 0;
        return 1;
    case KEY_ENTER:
    case KEY_PADENTER:
        completion_base_[0] = '\0';
        enter_line();
        return 1;
    default:
        break;
    }
    const char c = static_cast<char>(key_to_char(key, (modifiers_ & (MOD_LSHIFT | MOD_RSHIFT)) != 0 ? 1 : 0));
    if (c == '\0') {
        return 0;
    }
    completion_base_[0] = '\0';
    const size_t n = std::strlen(input_);
    if (n < static_cast<size_t>(MAX_TEXT)) {
        input_[n] = c;
        input_[n + 1] = '\0';
    }
    return 1;
}

void Console::complete()
{
    K_ASSERT(command_set_);
    const char* found = nullptr;
    if (completion_base_[0] == '\0' || input_[1] == '\0') {
        std::memcpy(completion_base_, input_, sizeof input_);
        found = command_set_->complete_command(completion_base_ + 1, nullptr, 0);
    } else {
        // The name now shown, without the space that completion appended.
        size_t length = std::strlen(input_ + 1);
        if (length > 0 && input_[length] == ' ') {
            --length;
        }
        found = command_set_->complete_command(completion_base_ + 1, input_ + 1, length);
    }
    const size_t found_length = found != nullptr ? std::strlen(found) : 0;
    if (found != nullptr && found_length < static_cast<size_t>(MAX_TEXT)) {
        set_input(format_temp("%s%s", found, found_length < static_cast<size_t>(MAX_TEXT - 1) ? " " : ""));
        return;
    }
    (void)complete_variable();
}

bool Console::complete_variable()
{
    const char* const base = completion_base_ + 1;
    const char* const space = std::strchr(base, ' ');
    if (space == nullptr || cvar_list == nullptr) {
        return false;
    }
    const size_t word = static_cast<size_t>(space - base);
    bool known = false;
    for (const char* name : variable_commands) {
        if (word <= std::strlen(name) && compare_nocase_n(name, base, word) == 0) {
            known = true;
        }
    }
    if (!known) {
        return false;
    }
    const char* prefix = space;
    while (*prefix == ' ') {
        ++prefix;
    }
    const size_t at = static_cast<size_t>(prefix - completion_base_);
    const char* const current = std::strlen(input_) >= at ? input_ + at : "";
    const ConfigVariable* const v = cvar_list->complete(prefix, current);
    if (v == nullptr || at + std::strlen(v->name()) >= static_cast<size_t>(CONSOLE_LINE_SIZE)) {
        return false;
    }
    std::snprintf(input_ + at, sizeof input_ - at, "%s", v->name());
    return true;
}
