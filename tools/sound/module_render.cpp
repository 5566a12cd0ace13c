#include "tools/sound/module_render.h"

#include "tools/fsys/write_bytes.h"
#include "tools/wav/wav_writer.h"

#include <algorithm>

namespace tools {

namespace {

constexpr int32_t RENDER_CHANNELS = 128;
// Frames mixed at most between looks at the song's end; a step also stops at
// the next tick, where the song may end, so the length is exact to the frame.
constexpr int32_t RENDER_STEP = 4096;

} // namespace

int RenderMixer::get_caps(SDCaps* caps)
{
    if (caps != nullptr) {
        *caps = SDCaps{};
    }
    return 1;
}

int RenderMixer::init(const SDSettings* s)
{
    store_settings(*s);
    return Mixer::init();
}

ModulePlayer* open_module(FSys& fs, SoundDevice* device, const char* path)
{
    FileStream* const s = fs.open(path, FSYS_BINARY);
    if (s == nullptr) {
        return nullptr;
    }
    uint8_t head[4096];
    const int32_t n = int32_t(s->read(head, 1, sizeof head));
    ModulePlayer* const player = static_cast<ModulePlayer*>(module_create(device, s, head, n));
    if (player == nullptr) {
        s->close();
        return nullptr;
    }
    if (player->load(s) == 0) {
        delete player;
        return nullptr;
    }
    return player;
}

ModuleRender::~ModuleRender()
{
    player_.reset();
    mixer_.shutdown();
}

bool ModuleRender::open(const char* path, int32_t rate, float volume)
{
    fs_.mount("", 1, 0);
    SDSettings settings;
    settings.rate = rate;
    settings.channels = RENDER_CHANNELS;
    settings.flags = SDF_STEREO | SDF_16BIT | SDF_INTERPOLATE;
    settings.volume = volume;
    if (mixer_.init(&settings) != 1) {
        return false;
    }
    rate_ = rate;
    player_.reset(open_module(fs_, &mixer_, path));
    if (player_ == nullptr) {
        return false;
    }
    player_->set_loop(0);
    player_->start();
    // The device ticks at the end of each period: the first tick here puts
    // the first row at the first frame, as a player of files expects.
    player_->timer_tick();
    return (player_->state() & MODP_STOPPED) == 0;
}

bool ModuleRender::finished() const
{
    return player_ == nullptr || player_->is_finished() != 0;
}

int32_t ModuleRender::render(std::vector<int16_t>& out, int32_t frames)
{
    int32_t done = 0;
    while (done < frames && !finished()) {
        const int32_t n = std::min({RENDER_STEP, frames - done, mixer_.frames_to_tick()});
        const size_t at = out.size();
        out.resize(at + size_t(n) * 2);
        mixer_.render(&out[at], n * 4);
        done += n;
        frames_ += n;
    }
    return done;
}

bool write_wav(const std::string& path, const std::vector<int16_t>& frames, int32_t rate)
{
    return write_bytes(path.c_str(), wav_pcm16(2, uint32_t(rate), frames));
}

} // namespace tools
