#include "host/host_signals.h"

#include <SDL.h>

#include <signal.h>

namespace host {
namespace {

volatile sig_atomic_t signalled = 0;

void note_signal(int) { signalled = 1; }

} // namespace

void catch_termination_signals()
{
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action = {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool take_termination_signal()
{
    if (signalled == 0) {
        return false;
    }
    signalled = 0;
    return true;
}

} // namespace host
