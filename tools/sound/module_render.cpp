#include "tools/sound/module_render.h"

#include <cstdio>

namespace tools {

namespace {

constexpr int32_t RENDER_CHANNELS = 128;
// Frames mixed between looks at the song's end: well inside one tick.
constexpr int32_t RENDER_STEP = 64;

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
    ModulePlayer* const player = module_create(device, s, head, n);
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
        const int32_t n = std::min(RENDER_STEP, frames - done);
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
    std::FILE* const f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const uint32_t data = uint32_t(frames.size() * 2);
    uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0};
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h[at + i] = uint8_t(v >> (8 * i));
        }
    };
    put32(4, 36 + data);
    put32(24, uint32_t(rate));
    put32(28, uint32_t(rate) * 4);
    h[32] = 4;
    h[34] = 16;
    h[36] = 'd';
    h[37] = 'a';
    h[38] = 't';
    h[39] = 'a';
    put32(40, data);
    std::vector<uint8_t> bytes(h, h + sizeof h);
    bytes.reserve(sizeof h + data);
    for (const int16_t s : frames) {
        bytes.push_back(uint8_t(s));
        bytes.push_back(uint8_t(uint16_t(s) >> 8));
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace tools
