#pragma once
// Plays a module file through the engine's own loaders, player and mixer as
// fast as the CPU allows: for the render tool, the peer comparisons and the
// benchmark.
#include "fsys/fsys.h"
#include "sound/mixer.h"
#include "sound/module_player.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tools {

// A mixer whose output goes nowhere but to whoever calls render().
class RenderMixer final : public Mixer {
public:
    void update() override {}
    void pause() override {}
    void stop() override {}
    void resume() override {}
    int get_caps(SDCaps* caps) override;
    int configure(SDSettings*) override { return 1; }
    int init(const SDSettings* s) override;
    void shutdown() override { release(); }
};

// Opens a module through the file system (any path, relative to the current
// directory or absolute) and loads it; null when no loader takes it or the
// load fails. The player owns the open file.
ModulePlayer* open_module(FSys& fs, SoundDevice* device, const char* path);

class ModuleRender {
public:
    ModuleRender() = default;
    ~ModuleRender();
    ModuleRender(const ModuleRender&) = delete;
    ModuleRender& operator=(const ModuleRender&) = delete;

    // Stereo 16-bit output at `rate` Hz, interpolated; the song does not loop.
    bool open(const char* path, int32_t rate, float volume = 1.0f);
    // Appends up to `frames` frames, fewer once the song has ended; the frames added.
    int32_t render(std::vector<int16_t>& out, int32_t frames);
    bool finished() const;
    // Seconds of audio rendered up to the tick that ended the song (or so far).
    double seconds() const { return double(frames_) / rate_; }

    ModulePlayer* player() const { return player_.get(); }

private:
    FSys fs_;
    RenderMixer mixer_;
    std::unique_ptr<ModulePlayer> player_;
    int32_t rate_ = 44100;
    int64_t frames_ = 0;
};

// A 16-bit stereo PCM WAV file; false on any write failure.
bool write_wav(const std::string& path, const std::vector<int16_t>& frames, int32_t rate);

} // namespace tools
