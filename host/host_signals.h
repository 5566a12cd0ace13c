#pragma once
// The termination signals of the shell and of service managers (SIGINT,
// SIGTERM) as a request to end the program, taken by the engine's frame, so
// that the program always ends through its orderly shutdown.

namespace host {

// From now on SIGINT and SIGTERM only raise the request; SDL installs no
// handlers of its own for them.
void catch_termination_signals();

// Whether a termination signal came since the last call.
bool take_termination_signal();

} // namespace host
