#pragma once
// Fakes put in place of the host's display and pointer for a fixture's life.
#include "host/host_display.h"
#include "host/host_pointer.h"

struct DisplayGuard {
    explicit DisplayGuard(host::Display* d) : previous(host::set_display(d)) {}
    ~DisplayGuard() { host::set_display(previous); }
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;
    host::Display* previous;
};

struct PointerGuard {
    explicit PointerGuard(host::Pointer* p) : previous(host::set_pointer(p)) {}
    ~PointerGuard() { host::set_pointer(previous); }
    PointerGuard(const PointerGuard&) = delete;
    PointerGuard& operator=(const PointerGuard&) = delete;
    host::Pointer* previous;
};
