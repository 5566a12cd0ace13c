#include "client/system_sound.h"

#include "core/matrix.h"
#include "net/net_stream_in.h"
#include "sound/sound_device.h"

#include <new>

namespace {

ClientSound* make_system_sound() { return new (std::nothrow) SystemSound; }

ClientSoundFactory factory = nullptr;

} // namespace

ClientSoundFactory client_sound_factory() { return factory != nullptr ? factory : make_system_sound; }

void set_client_sound_factory(ClientSoundFactory f) { factory = f; }

int SoundSourceRecords::net_update(int index, uint32_t mask, NetStreamIn& stream)
{
    return table_->net_update(index, mask, &stream);
}

int SoundSourceRecords::link(int index) { return table_->link(index); }

int SoundSourceRecords::unlink(int index, int force) { return table_->unlink(index, force); }

SoundObjectPlace SoundSourceRecords::object_place(int32_t index) const
{
    const CObjCommon& c = common(index);
    return {c.pose[0].position, {c.pose[0].a, c.pose[0].b, c.pose[0].c}, c.pose[1].position};
}

void SystemSound::shutdown()
{
    destroy_sources();
    system_.shutdown();
}

void listener_transform(Matrix& out, const CObjCommon* listener)
{
    mat_identity(out);
    if (listener == nullptr) {
        return;
    }
    // The camera's placement, the product of the transforms of its two poses,
    // takes the camera's coordinates into the world's; the 3-D mixing needs
    // the way back, or sources would be heard from the camera's mirror image.
    Matrix a;
    Matrix b;
    Matrix placement;
    mat_from_angles(a, listener->pose[0].position, listener->pose[0].a, listener->pose[0].b, listener->pose[0].c);
    mat_from_angles(b, listener->pose[1].position, listener->pose[1].a, listener->pose[1].b, listener->pose[1].c);
    mat_multiply(placement, a, b);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out.m[4 * r + c] = placement.m[4 * c + r];
        }
    }
    Vector t;
    mat_inverse_translation(t, placement);
    out.m[3] = t.x;
    out.m[7] = t.y;
    out.m[11] = t.z;
}

void SystemSound::update(const CObjCommon* listener)
{
    Matrix m;
    listener_transform(m, listener);
    system_.update(m);
}

double SystemSound::take_mix_time()
{
    const SoundDevice* const d = system_.device();
    if (d == nullptr) {
        return 0.0;
    }
    const double total = d->mix_time();
    const double spent = total - mixed_;
    mixed_ = total;
    return spent;
}

CObjManager* SystemSound::create_sources(int count)
{
    SoundSourceTable* const table = system_.alloc_game_sources(count, &records_);
    if (table == nullptr) {
        return nullptr;
    }
    records_.set_table(table);
    return &records_;
}

void SystemSound::destroy_sources()
{
    system_.free_game_sources();
    records_.set_table(nullptr);
    records_.destroy_records();
}
