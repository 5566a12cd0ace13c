#include "core/print.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/log_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct StreamRow {
    uint32_t mask;
    char prefix[32];
    PrintHandler handler;
    uintptr_t context;
};

struct InitRow {
    char letter;
    const char* prefix;
    uint32_t mask;
};

// Streams 0 to 6 have filter letters; the masks are those the default filters give.
constexpr InitRow init_rows[7] = {
    {'m', "", 1}, {'M', "", 3}, {'w', "Warning: ", 3}, {'e', "Error: ", 3},
    {'d', "Debug: ", 0}, {'D', "Debug: ", 0}, {'l', "Log: ", 2},
};

constexpr const char* PRINT_FILTER_DEFAULT = "mMwe";
constexpr const char* LOG_FILTER_DEFAULT = "Mwel";

StreamRow streams[P_STREAMS] = {
    {1, "", default_print_handler, 0}, {3, "", default_print_handler, 0},
    {3, "Warning: ", default_print_handler, 0}, {3, "Error: ", default_print_handler, 0},
    {0, "Debug: ", default_print_handler, 0}, {0, "Debug: ", default_print_handler, 0},
    {2, "Log: ", default_print_handler, 0}, {0, "", default_print_handler, 0},
    {0, "", default_print_handler, 0}, {0, "", default_print_handler, 0},
    {0, "", default_print_handler, 0}, {0, "", default_print_handler, 0},
    {0, "", default_print_handler, 0}, {0, "", default_print_handler, 0},
    {0, "", default_print_handler, 0}, {0, "", default_print_handler, 0},
};

TaggedHook tagged_hook = nullptr;
uintptr_t tagged_context = 0;
PrintGate print_gate = nullptr;
uintptr_t print_gate_context = 0;

char ring[PRINT_RING_SIZE];
int ring_pos = 0;

ConfigVariable* print_filter = nullptr;
ConfigVariable* log_filter = nullptr;

uint32_t mask_from_letter(char letter, const char* shown, const char* logged)
{
    uint32_t mask = 0;
    if (letter != '\0' && std::strchr(shown, letter) != nullptr) {
        mask |= P_SHOW;
    }
    if (letter != '\0' && std::strchr(logged, letter) != nullptr) {
        mask |= P_TOLOG;
    }
    return mask;
}

void recompute_masks()
{
    if (cvar_list == nullptr || print_filter == nullptr || log_filter == nullptr) {
        return;
    }
    const bool print_changed = print_filter->check_changed();
    const bool log_changed = log_filter->check_changed();
    if (!print_changed && !log_changed) {
        return;
    }
    for (int i = 0; i < 7; ++i) {
        streams[i].mask = mask_from_letter(init_rows[i].letter, print_filter->string(), log_filter->string());
    }
}

// Formats aside first and then copies into the ring: an argument may be an
// earlier text of the ring itself (a prefixed line is formatted from the line
// just made), which the new text must not overwrite while it is read. A text
// that does not fit in the room left starts at the beginning of the ring; one
// longer than the whole ring is cut.
const char* ring_vformat(const char* format, va_list args)
{
    char text[PRINT_RING_SIZE];
    text[0] = '\0';
    const int n = std::vsnprintf(text, sizeof text, format, args);
    int len = n < 0 ? 0 : std::min(n, PRINT_RING_SIZE - 1);
    while (len > 0 && text[len - 1] == '\n') {
        --len;
    }
    if (len + 1 > PRINT_RING_SIZE - ring_pos) {
        ring_pos = 0;
    }
    char* const start = ring + ring_pos;
    std::memcpy(start, text, static_cast<size_t>(len));
    start[len] = '\0';
    ring_pos += len + 1;
    if (ring_pos >= PRINT_RING_SIZE) {
        ring_pos = 0;
    }
    return start;
}

const char* ring_format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const char* const text = ring_vformat(format, args);
    va_end(args);
    return text;
}

bool stream_live(int stream)
{
    return streams[stream].handler != nullptr && streams[stream].mask != 0;
}

bool gate_allows(int stream)
{
    const PrintGate gate = print_gate;
    if (gate == nullptr) {
        return true;
    }
    print_gate = nullptr;
    const bool allowed = gate(stream, print_gate_context);
    print_gate = gate;
    return allowed;
}

void emit(int stream, const char* text)
{
    StreamRow& row = streams[stream];
    const char* const line = row.prefix[0] != '\0' ? ring_format("%s%s", row.prefix, text) : text;
    if ((row.mask & P_TOLOG) != 0 && log_file != nullptr) {
        log_file->write_line(line, stream == P_ERROR ? LOG_FLUSH : 0);
    }
    if ((row.mask & P_SHOW) != 0) {
        row.handler(stream, line, row.context);
    }
}

} // namespace

void print_string(int stream, const char* text)
{
    K_ASSERT(stream >= 0 && stream < P_STREAMS && text);
    recompute_masks();
    if (!stream_live(stream) || !gate_allows(stream)) {
        return;
    }
    emit(stream, text);
}

void print_format(int stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    print_vformat(stream, format, args);
    va_end(args);
}

void print_vformat(int stream, const char* format, va_list args)
{
    K_ASSERT(stream >= 0 && stream < P_STREAMS && format);
    recompute_masks();
    if (!stream_live(stream) || !gate_allows(stream)) {
        return;
    }
    emit(stream, ring_vformat(format, args));
}

const char* format_temp(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const char* const text = ring_vformat(format, args);
    va_end(args);
    return text;
}

const char* vformat_temp(const char* format, va_list args) { return ring_vformat(format, args); }

void print_tagged(uint32_t tag, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    print_tagged_string(tag, format, args);
    va_end(args);
}

void print_tagged_string(uint32_t tag, const char* format, va_list args)
{
    if (tagged_hook == nullptr) {
        return;
    }
    tagged_hook(tag, ring_vformat(format, args), tagged_context);
}

void set_stream_mask(int stream, uint32_t mask)
{
    K_ASSERT(stream >= 0 && stream < P_STREAMS);
    streams[stream].mask = mask;
}

uint32_t stream_mask(int stream)
{
    K_ASSERT(stream >= 0 && stream < P_STREAMS);
    return streams[stream].mask;
}

void set_stream_prefix(int stream, const char* prefix)
{
    K_ASSERT(stream >= 0 && stream < P_STREAMS);
    char* const dst = streams[stream].prefix;
    if (prefix == nullptr) {
        dst[0] = '\0';
        return;
    }
    std::snprintf(dst, sizeof streams[stream].prefix, "%s", prefix);
}

PrintHandler set_stream_handler(int stream, PrintHandler handler, uintptr_t context)
{
    K_ASSERT(stream >= 0 && stream < P_STREAMS);
    const PrintHandler previous = streams[stream].handler;
    streams[stream].handler = handler;
    streams[stream].context = context;
    return previous;
}

void set_stream_handler(PrintHandler handler, uintptr_t context)
{
    for (StreamRow& row : streams) {
        row.handler = handler;
        row.context = context;
    }
}

TaggedHook set_tagged_hook(TaggedHook hook, uintptr_t context)
{
    const TaggedHook previous = tagged_hook;
    tagged_hook = hook;
    tagged_context = context;
    return previous;
}

void set_stream_letter(int stream, char letter)
{
    K_ASSERT(stream >= 0 && stream < P_STREAMS);
    const char* const shown = print_filter != nullptr ? print_filter->string() : PRINT_FILTER_DEFAULT;
    const char* const logged = log_filter != nullptr ? log_filter->string() : LOG_FILTER_DEFAULT;
    streams[stream].mask = mask_from_letter(letter, shown, logged);
}

void release_print_filters()
{
    if (print_filter == nullptr && log_filter == nullptr) {
        return;
    }
    K_ASSERT(cvar_list);
    if (print_filter != nullptr) {
        cvar_list->release(print_filter);
        print_filter = nullptr;
    }
    if (log_filter != nullptr) {
        cvar_list->release(log_filter);
        log_filter = nullptr;
    }
}

void print_reset()
{
    for (StreamRow& row : streams) {
        row.handler = default_print_handler;
        row.context = 0;
    }
    tagged_hook = nullptr;
    tagged_context = 0;
    release_print_filters();
}

void print_init()
{
    for (int i = 0; i < P_STREAMS; ++i) {
        streams[i].mask = i < 7 ? init_rows[i].mask : 0;
        set_stream_prefix(i, i < 7 ? init_rows[i].prefix : nullptr);
    }
}

void update_print_filters()
{
    if (cvar_list == nullptr) {
        return;
    }
    if (print_filter == nullptr) {
        print_filter = cvar_list->link(CVTYPE_STRING, 0, "Print_Filter", PRINT_FILTER_DEFAULT, 0);
    }
    if (log_filter == nullptr) {
        log_filter = cvar_list->link(CVTYPE_STRING, 0, "Log_Filter", LOG_FILTER_DEFAULT, 0);
    }
    recompute_masks();
}

void default_print_handler(int, const char* text, uintptr_t)
{
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
}

ScopedPrintGate::ScopedPrintGate(PrintGate gate, uintptr_t context)
    : previous_gate_(print_gate), previous_context_(print_gate_context)
{
    print_gate = gate;
    print_gate_context = context;
}

ScopedPrintGate::~ScopedPrintGate()
{
    print_gate = previous_gate_;
    print_gate_context = previous_context_;
}
