#pragma once
// What the host tells about the running program and its machine.
#include <cstddef>
#include <cstdint>

namespace host {

// Full path of the running executable; false when it cannot be read or does
// not fit (buffer left empty).
bool program_path(char* buffer, size_t size);

// Writes a line to the debugging output (stderr).
void debug_output(const char* text);

// Shows a message to the user: a message box when a display is there,
// otherwise the debugging output.
void show_message(const char* title, const char* text);

// Ends the process with the code, running exit hooks.
[[noreturn]] void exit_process(int code);

// Lowers or raises the main thread's priority; failures are ignored.
void set_priority(int level);

// CPUID leaf 1 EDX, or 0 when the processor has no CPUID.
uint32_t cpuid_features();

// Writes the precision-control bits of the x87 control word.
void set_x87_precision(unsigned bits);
unsigned x87_control_word();

} // namespace host
