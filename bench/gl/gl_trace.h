#pragma once
// What the GL call tracer (libostrel_gl_trace.so, gl_trace_preload.cpp)
// offers a program it is preloaded into: per traced GL entry point, the calls
// and the nanoseconds spent inside them since the process started. A program
// finds the functions with dlsym(RTLD_DEFAULT, ...): without the tracer they
// are absent and nothing is traced.
#include <cstdint>

struct GLTraceEntry {
    const char* name;
    uint64_t calls;
    uint64_t ns; // steady clock, each call's span holding one clock read
};

extern "C" {
// The entries, in a fixed order; their count.
using GLTraceEntriesFn = int (*)(const GLTraceEntry** entries);
// The mean cost of one clock read in ns, measured once: a call's span holds one,
// so calls x this is the tracer's own share of the traced time.
using GLTraceClockFn = double (*)();
}

constexpr const char* GL_TRACE_ENTRIES = "ostrel_gl_trace_entries";
constexpr const char* GL_TRACE_CLOCK = "ostrel_gl_trace_clock_ns";
