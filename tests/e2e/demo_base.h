#pragma once
// The demo game's base directory as the build wrote it, for the end-to-end
// tests and benchmarks.
#include <filesystem>
#include <string>

namespace e2e {

// From OSTREL_DEMO_BASE; empty when it is not set.
std::filesystem::path demo_base();
// A copy of the demo base at `to` with an empty start-up script, so that
// the copy's user says what a session does, and without what runs of the
// demo leave in the base (screenshots, the scripts' persistent block). False
// with a reason.
bool copy_demo_base(const std::filesystem::path& to, std::string& error);

} // namespace e2e
