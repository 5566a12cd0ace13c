#include "core/cons_cmd.h"

#include "core/compare_nocase.h"
#include "core/config_variable.h"
#include "core/print.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

char* copy_text(const char* text)
{
    const size_t n = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[n];
    if (copy != nullptr) {
        std::memcpy(copy, text, n);
    }
    return copy;
}

void free_record(ConsoleCommand* c)
{
    delete[] c->name;
    delete[] c->help;
    delete c;
}

void free_record(ConsoleAlias* a)
{
    delete[] a->name;
    delete[] a->text;
    delete a;
}

// Unlinks the record of that name and returns it; null when there is none.
template <typename Record>
Record* unlink_record(Record** head, const char* name)
{
    for (Record** link = head; *link != nullptr; link = &(*link)->next) {
        if (compare_nocase((*link)->name, name) == 0) {
            Record* const r = *link;
            *link = r->next;
            return r;
        }
    }
    return nullptr;
}

template <typename Record>
Record* find_record(Record* head, const char* name)
{
    for (Record* r = head; r != nullptr; r = r->next) {
        if (compare_nocase(r->name, name) == 0) {
            return r;
        }
    }
    return nullptr;
}

// The link that points at the first record whose name compares greater than
// name, or null when a record has that name already.
template <typename Record>
Record** insertion_point(Record** head, const char* name)
{
    Record** link = head;
    while (*link != nullptr) {
        const int d = compare_nocase((*link)->name, name);
        if (d == 0) {
            return nullptr;
        }
        if (d > 0) {
            break;
        }
        link = &(*link)->next;
    }
    return link;
}

bool asks_help(int argc, const char* const* argv) { return argc > 1 && std::strncmp(argv[1], "-h", 2) == 0; }

} // namespace

ConsCmd::~ConsCmd()
{
    while (commands_ != nullptr) {
        ConsoleCommand* const c = commands_;
        commands_ = c->next;
        free_record(c);
    }
    while (aliases_ != nullptr) {
        ConsoleAlias* const a = aliases_;
        aliases_ = a->next;
        free_record(a);
    }
    std::free(buffer_);
    for (auto& row : temp_) {
        for (ConfigVariable*& v : row) {
            if (v != nullptr && cvar_list != nullptr) {
                cvar_list->release(v);
            }
            v = nullptr;
        }
    }
}

void ConsCmd::set_permissions(uint32_t denied, uint32_t read_value, uint32_t read_mask, uint32_t write_value,
                              uint32_t write_mask)
{
    denied_ = denied;
    read_value_ = read_value;
    read_mask_ = read_mask;
    write_value_ = write_value;
    write_mask_ = write_mask;
}

bool ConsCmd::may_read(const ConfigVariable* v) const { return (v->flags() & read_mask_) == read_value_; }

bool ConsCmd::may_write(const ConfigVariable* v) const { return (v->flags() & write_mask_) == write_value_; }

int ConsCmd::add_command(const char* name, int id, ConsoleHandler handler, void* context, const char* help,
                         int needs_arguments)
{
    ConsoleCommand** const link = insertion_point(&commands_, name);
    if (link == nullptr) {
        print_format(P_ERROR, "Console: Duplicate command '%s' !", name);
        return 0;
    }
    ConsoleCommand* const c = new (std::nothrow) ConsoleCommand;
    if (c != nullptr) {
        c->name = copy_text(name);
        c->help = help != nullptr ? copy_text(help) : nullptr;
    }
    if (c == nullptr || c->name == nullptr || (help != nullptr && c->help == nullptr)) {
        if (c != nullptr) {
            free_record(c);
        }
        print_format(P_ERROR, "Console: Not enough memory for command '%s' !", name);
        return 0;
    }
    c->needs_arguments = needs_arguments;
    c->handler = handler;
    c->id = id;
    c->context = context;
    c->next = *link;
    *link = c;
    return 1;
}

int ConsCmd::remove_command(const char* name)
{
    ConsoleCommand* const c = unlink_record(&commands_, name);
    if (c != nullptr) {
        forget_current(c);
        free_record(c);
        return 1;
    }
    print_format(P_WARNING, "Console: Can't remove command '%s' - not found !", name);
    return 0;
}

int ConsCmd::remove_handler_commands(ConsoleHandler handler)
{
    int removed = 0;
    ConsoleCommand** link = &commands_;
    while (*link != nullptr) {
        ConsoleCommand* const c = *link;
        if (c->handler == handler) {
            *link = c->next;
            forget_current(c);
            free_record(c);
            ++removed;
        } else {
            link = &c->next;
        }
    }
    return removed;
}

// A handler may remove its own command; its help is gone with it.
void ConsCmd::forget_current(const ConsoleCommand* c)
{
    if (current_ == c) {
        current_ = nullptr;
    }
}

const ConsoleCommand* ConsCmd::find_command(const char* name) const { return find_record(commands_, name); }

const ConsoleAlias* ConsCmd::find_alias(const char* name) const { return find_record(aliases_, name); }

int ConsCmd::define_alias(const char* name, const char* text)
{
    ConsoleAlias** const link = insertion_point(&aliases_, name);
    if (link == nullptr) {
        ConsoleAlias* const a = find_record(aliases_, name);
        char* const copy = copy_text(text);
        if (copy == nullptr) {
            print_format(P_ERROR, "Console: Not enough memory for alias '%s' !", name);
            free_record(unlink_record(&aliases_, name));
            return 0;
        }
        delete[] a->text;
        a->text = copy;
        return 1;
    }
    ConsoleAlias* const a = new (std::nothrow) ConsoleAlias;
    if (a != nullptr) {
        a->name = copy_text(name);
        a->text = copy_text(text);
    }
    if (a == nullptr || a->name == nullptr || a->text == nullptr) {
        if (a != nullptr) {
            free_record(a);
        }
        print_format(P_ERROR, "Console: Not enough memory for alias '%s' !", name);
        return 0;
    }
    a->next = *link;
    *link = a;
    return 1;
}

int ConsCmd::undefine_alias(const char* name)
{
    ConsoleAlias* const a = unlink_record(&aliases_, name);
    if (a != nullptr) {
        free_record(a);
        return 1;
    }
    print_format(P_WARNING, "Console: Can't remove alias '%s' - not found !", name);
    return 0;
}

void ConsCmd::compact()
{
    if (head_ > 0) {
        std::memmove(buffer_, buffer_ + head_, used_ - head_ + 1);
        used_ -= head_;
        head_ = 0;
    }
}

bool ConsCmd::get_space(size_t length)
{
    while (length >= CONSCMD_BUFFER_LIMIT || used_ + length + 1 >= capacity_) {
        if (head_ > 0 && length < CONSCMD_BUFFER_LIMIT) {
            compact();
            continue;
        }
        const size_t grown = capacity_ != 0 ? capacity_ * 2 : CONSCMD_BUFFER_SIZE;
        char* const bigger = length < CONSCMD_BUFFER_LIMIT && grown <= CONSCMD_BUFFER_LIMIT
                                 ? static_cast<char*>(std::realloc(buffer_, grown))
                                 : nullptr;
        if (bigger == nullptr) {
            print_string(P_ERROR, "Console: Not enough memory in get_space() !");
            return false;
        }
        if (capacity_ == 0) {
            bigger[0] = '\0';
        } else {
            print_string(P_DEBUG, "Console: Buffer size doubled");
        }
        buffer_ = bigger;
        capacity_ = grown;
    }
    return true;
}

int ConsCmd::put_text(const char* text, bool in_front)
{
    const size_t length = std::strlen(text);
    if (length == 0) {
        return 1;
    }
    const size_t total = length + (text[length - 1] != '\n' ? 1 : 0);
    if (buffer_used() == 0) {
        in_front = false;
    }
    char* at = nullptr;
    if (in_front && head_ >= total) {
        head_ -= total;
        at = buffer_ + head_;
    } else {
        // Moving the pending text up leaves a gap in front of it, so that the
        // next aliases and files put in front do not move it again.
        const size_t gap = in_front ? CONSCMD_MAX_COMMAND : 0;
        if (!get_space(total + gap)) {
            return 0;
        }
        if (in_front) {
            std::memmove(buffer_ + head_ + gap + total, buffer_ + head_, used_ - head_ + 1);
            head_ += gap;
            at = buffer_ + head_;
        } else {
            at = buffer_ + used_;
        }
        used_ += gap + total;
        buffer_[used_] = '\0';
    }
    std::memcpy(at, text, length);
    if (total > length) {
        at[length] = '\n';
    }
    return 1;
}

int ConsCmd::add_text(const char* text) { return put_text(text, false); }

int ConsCmd::insert_text(const char* text) { return put_text(text, true); }

void ConsCmd::drop_front(size_t length)
{
    if (length >= used_ - head_) {
        head_ = 0;
        used_ = 0;
        if (buffer_ != nullptr) {
            buffer_[0] = '\0';
        }
    } else {
        head_ += length;
    }
}

bool ConsCmd::count_expansion()
{
    if (++expansions_ <= CONSCMD_MAX_EXPANSIONS_PER_CALL) {
        return true;
    }
    print_format(P_ERROR, "Console: More than %d aliases and command files in one frame, command buffer cleared",
                 CONSCMD_MAX_EXPANSIONS_PER_CALL);
    drop_front(buffer_used());
    wait_ = 0;
    return false;
}

void ConsCmd::exec_buffer()
{
    // A handler that runs the buffer again would take the tokens of the
    // command that is still running.
    if (executing_) {
        return;
    }
    executing_ = true;
    expansions_ = 0;
    int commands = 0;
    while (buffer_used() > 0) {
        if (wait_ > 0) {
            --wait_;
            break;
        }
        if (commands == CONSCMD_MAX_COMMANDS_PER_CALL) {
            print_format(P_WARNING, "Console: More than %d commands in one frame, the rest runs later",
                         CONSCMD_MAX_COMMANDS_PER_CALL);
            break;
        }
        // A handler may move or grow the buffer, so this is taken anew each time.
        const char* const text = buffer_ + head_;
        const size_t pending = buffer_used();
        const size_t end = command_end(text, pending);
        if (end == 0) {
            if (text[0] == '/' && (text[1] == '/' || text[1] == '*')) {
                const char* const close = text[1] == '/' ? std::strchr(text + 2, '\n') : std::strstr(text + 2, "*/");
                const size_t close_length = text[1] == '/' ? 1 : 2;
                drop_front(close == nullptr ? pending : static_cast<size_t>(close - text) + close_length);
            } else {
                print_format(P_WARNING, "Console: Parse error (char '%c')!", text[0]);
                drop_front(1);
                ++commands;
            }
            continue;
        }
        if (end >= CONSCMD_MAX_COMMAND) {
            print_format(P_WARNING, "Console: Command too long (%d chars)", static_cast<int>(end));
            drop_front(end);
            ++commands;
            continue;
        }
        char command[CONSCMD_MAX_COMMAND];
        std::memcpy(command, text, end);
        drop_front(end);
        ++commands;
        argc_ = tokenize_command(command, end, token_area_, argv_);
        if (argc_ > 0) {
            dispatch(argc_, argv_);
        }
        argc_ = 0;
    }
    executing_ = false;
}

void ConsCmd::exec_isolated(const char* text)
{
    if (executing_) {
        return;
    }
    char* const buffer = buffer_;
    const size_t head = head_;
    const size_t used = used_;
    const size_t capacity = capacity_;
    const int wait = wait_;
    buffer_ = nullptr;
    head_ = 0;
    used_ = 0;
    capacity_ = 0;
    wait_ = 0;
    if (add_text(text) != 0) {
        exec_buffer();
    }
    std::free(buffer_);
    buffer_ = buffer;
    head_ = head;
    used_ = used;
    capacity_ = capacity;
    wait_ = wait;
}

void ConsCmd::dispatch(int argc, const char* const* argv)
{
    const ConsoleCommand* const c = find_command(argv[0]);
    if (c != nullptr) {
        if ((c->needs_arguments != 0 && argc == 1) || asks_help(argc, argv)) {
            if (c->help != nullptr) {
                print_format(P_MESSAGE, "%s", c->help);
            } else {
                print_format(P_MESSAGE, "%s: No help available", c->name);
            }
            return;
        }
        current_ = c;
        c->handler(c->id, argc, argv, c->context);
        current_ = nullptr;
        return;
    }
    const ConsoleAlias* const a = find_alias(argv[0]);
    if (a != nullptr) {
        if (asks_help(argc, argv)) {
            print_format(P_MESSAGE, "%s", a->text);
        } else if (count_expansion()) {
            (void)insert_text(a->text);
        }
        return;
    }
    print_format(P_WARNING, "Console: Unknown command '%s' !", argv[0]);
}

void ConsCmd::print_command_help() const
{
    if (current_ != nullptr && current_->help != nullptr) {
        print_format(P_MESSAGE, "%s", current_->help);
    }
}

const char* ConsCmd::complete_command(const char* prefix, const char* current, size_t length) const
{
    // Commands, then aliases, as one sequence.
    std::vector<const char*> names;
    for (const ConsoleCommand* c = commands_; c != nullptr; c = c->next) {
        names.push_back(c->name);
    }
    for (const ConsoleAlias* a = aliases_; a != nullptr; a = a->next) {
        names.push_back(a->name);
    }
    const size_t n = names.size();
    // After the current name the search wraps once, back to that name itself.
    size_t start = 0;
    if (current != nullptr) {
        for (size_t i = 0; i < n; ++i) {
            if (compare_nocase_n(names[i], current, length) == 0) {
                start = i + 1;
                break;
            }
        }
    }
    const size_t prefix_length = std::strlen(prefix);
    for (size_t k = 0; k < n; ++k) {
        const char* const name = names[(start + k) % n];
        if (compare_nocase_n(name, prefix, prefix_length) == 0) {
            return name;
        }
    }
    return nullptr;
}
