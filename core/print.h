#pragma once
// Print streams: every message goes through one of 16 numbered streams, each
// with a show/log mask, a prefix and a handler. Stream use by severity:
// 0 messages, 1 important, 2 warnings, 3 errors, 4 and 5 debugging, 6 log only.
#include "core/four_cc.h"

#include <cstdarg>
#include <cstdint>

constexpr int P_STREAMS = 16;
constexpr int P_MESSAGE = 0;
constexpr int P_IMPORTANT = 1;
constexpr int P_WARNING = 2;
constexpr int P_ERROR = 3;
constexpr int P_DEBUG = 4;
constexpr int P_DEBUG2 = 5;
constexpr int P_LOG = 6;

// Mask bits of a stream.
constexpr uint32_t P_SHOW = 1;
constexpr uint32_t P_TOLOG = 2;

constexpr int PRINT_RING_SIZE = 1536;

using PrintHandler = void (*)(int stream, const char* text, uintptr_t context);
using TaggedHook = void (*)(uint32_t tag, const char* text, uintptr_t context);
// Asked before a line of any stream is written; false drops the line (from the
// log too). While it runs there is no gate, so it may print itself.
using PrintGate = bool (*)(int stream, uintptr_t context);

// Four characters packed with the first one in the lowest byte.
constexpr uint32_t make_tag(const char (&s)[5])
{
    return four_cc(s);
}

void print_string(int stream, const char* text);
void print_format(int stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void print_vformat(int stream, const char* format, va_list args);

// Formats into the shared ring buffer; the text stays valid until about
// PRINT_RING_SIZE bytes of further formatting. Trailing newlines are removed.
const char* format_temp(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* vformat_temp(const char* format, va_list args);

void print_tagged(uint32_t tag, const char* format, ...) __attribute__((format(printf, 2, 3)));
void print_tagged_string(uint32_t tag, const char* format, va_list args);

void set_stream_mask(int stream, uint32_t mask);
uint32_t stream_mask(int stream);
void set_stream_prefix(int stream, const char* prefix);
PrintHandler set_stream_handler(int stream, PrintHandler handler, uintptr_t context);
void set_stream_handler(PrintHandler handler, uintptr_t context);
TaggedHook set_tagged_hook(TaggedHook hook, uintptr_t context);
void set_stream_letter(int stream, char letter);

// A gate for the lines written while it is in scope; the one before comes back after.
class ScopedPrintGate {
public:
    ScopedPrintGate(PrintGate gate, uintptr_t context);
    ~ScopedPrintGate();
    ScopedPrintGate(const ScopedPrintGate&) = delete;
    ScopedPrintGate& operator=(const ScopedPrintGate&) = delete;

private:
    PrintGate previous_gate_;
    uintptr_t previous_context_;
};

void print_reset();
void release_print_filters();
void print_init();
void update_print_filters();

void default_print_handler(int stream, const char* text, uintptr_t context);
