#include "host/host_process.h"

#include <SDL.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace host {

bool program_path(char* buffer, size_t size)
{
    if (size == 0) {
        return false;
    }
    buffer[0] = '\0';
    const ssize_t n = readlink("/proc/self/exe", buffer, size);
    if (n <= 0 || static_cast<size_t>(n) >= size) {
        buffer[0] = '\0';
        return false;
    }
    buffer[n] = '\0';
    return true;
}

void debug_output(const char* text)
{
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
}

void show_message(const char* title, const char* text)
{
    std::fprintf(stderr, "%s\n", title);
    debug_output(text);
    const char* const display = std::getenv("DISPLAY");
    const char* const wayland = std::getenv("WAYLAND_DISPLAY");
    const bool has_display = (display != nullptr && display[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
    const char* const driver = std::getenv("SDL_VIDEODRIVER");
    const bool headless = driver != nullptr && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
    if (has_display && !headless && std::getenv("OSTREL_NO_MESSAGE_BOX") == nullptr) {
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr);
    }
}

void exit_process(int code)
{
    std::exit(code);
}

void set_priority(int level)
{
    (void)setpriority(PRIO_PROCESS, 0, level);
}

uint32_t cpuid_features()
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) {
        return 0;
    }
    return d;
#else
    return 0;
#endif
}

void set_x87_precision(unsigned bits)
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned short cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    cw = static_cast<unsigned short>((cw & ~0x300u) | ((bits & 3u) << 8));
    __asm__ volatile("fldcw %0" : : "m"(cw));
#else
    (void)bits;
#endif
}

unsigned x87_control_word()
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned short cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
#else
    return 0;
#endif
}

} // namespace host
