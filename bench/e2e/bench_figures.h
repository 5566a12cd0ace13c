#pragma once
// What both halves of the end-to-end benchmark share: frame times and their
// figures, and the engine started with options.
#include <chrono>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class Engine;

namespace e2e_bench {

using Clock = std::chrono::steady_clock;
constexpr double TICK = 1.0 / 70.0;

double ms_since(Clock::time_point start);
// Prints "<name>_frames", "<name>_median" and "<name>_p95" lines.
void report(const std::string& name, const std::vector<double>& frame_ms);
// The engine with these options after the program's name, or null.
std::unique_ptr<Engine> start_engine(std::initializer_list<const char*> options);

// The server's frame on the demo level with 8 fake clients, each holding Forward.
bool server_with_fake_clients(int frames);

} // namespace e2e_bench
