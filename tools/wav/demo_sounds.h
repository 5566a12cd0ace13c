#pragma once
// The demo's sounds, synthesised: a looping hum for the 3-D source and short
// event sounds, as 16-bit mono PCM WAV files of 22050 Hz.
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct DemoSound {
    std::string name;            // file name under "sounds/"
    std::vector<int16_t> samples;
    bool loop = false;           // cue points at both ends
};

constexpr uint32_t DEMO_SOUND_RATE = 22050;

std::vector<DemoSound> demo_sounds();

// Writes base/sounds/<name> for each; false after printing why.
bool write_demo_sounds(const std::string& base);

} // namespace tools
