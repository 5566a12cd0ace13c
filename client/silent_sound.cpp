#include "client/silent_sound.h"

#include <new>

namespace {

ClientSound* make_silent_sound() { return new (std::nothrow) SilentSound; }

ClientSoundFactory factory = make_silent_sound;

} // namespace

ClientSoundFactory client_sound_factory() { return factory; }

void set_client_sound_factory(ClientSoundFactory f) { factory = f != nullptr ? f : make_silent_sound; }

CObjManager* SilentSound::create_sources(int count)
{
    destroy_sources();
    if (sources_.create(count) == 0) {
        return nullptr;
    }
    sources_created_ = true;
    return &sources_;
}

void SilentSound::destroy_sources()
{
    sources_.destroy();
    sources_created_ = false;
}
