// The class parts of each object class, read as the wire lays them out: a
// presence bit before each part, the parts beyond the first group only in
// records whose mask holds 0x2000, and the create-only fields first.
#include "tools/fake_client/bit_reader.h"
#include "tools/fake_client/update_decoder.h"

namespace fake_client {

namespace {

constexpr uint32_t MORE = 0x2000;

template <size_t N>
std::array<uint32_t, N> fields(BitReader& in, const int (&widths)[N])
{
    std::array<uint32_t, N> v{};
    for (size_t k = 0; k < N; ++k) {
        v[k] = in.get(widths[k]);
    }
    return v;
}

CacheRef text_ref(BitReader& in, int index_bits, size_t max_text)
{
    CacheRef r;
    r.data = in.flag();
    r.index = in.get(index_bits);
    if (r.data) {
        r.text = in.get_string(max_text);
    }
    return r;
}

CacheRef bit_ref(BitReader& in, int index_bits, int data_bits)
{
    CacheRef r;
    r.data = in.flag();
    r.index = in.get(index_bits);
    if (r.data) {
        r.block.assign(static_cast<size_t>((data_bits + 7) / 8), 0);
        for (int b = 0; b < data_bits; ++b) {
            r.block[static_cast<size_t>(b / 8)] |= static_cast<uint8_t>(in.get(1) << (b % 8));
        }
    }
    return r;
}

LampRef lamp_ref(BitReader& in)
{
    LampRef l;
    l.wide = in.flag();
    l.index = in.get(l.wide ? 16 : 8);
    l.count = in.get(4);
    l.map_lamp = in.flag();
    return l;
}

void lamp(BitReader& in, uint32_t mask, LampParts& p)
{
    if (in.flag()) {
        p.intensity = in.get(6);
    }
    if ((mask & MORE) == 0) {
        return;
    }
    if (in.flag()) {
        p.colour = fields(in, {6, 6, 6});
    }
    if (in.flag()) {
        p.effect = fields(in, {4, 8, 8, 8, 8});
    }
}

void light(BitReader& in, uint32_t mask, LightParts& p)
{
    if ((mask & 0x400) != 0) {
        p.lamp = lamp_ref(in);
    }
    if (in.flag()) {
        p.intensity = in.get(8);
    }
    if ((mask & MORE) != 0 && in.flag()) {
        p.focus = in.get_float();
        p.maximum = in.get(5);
    }
}

void flare(BitReader& in, uint32_t mask, FlareParts& p)
{
    if (in.flag()) {
        p.intensity = in.get(6);
    }
    if ((mask & MORE) == 0) {
        return;
    }
    if (in.flag()) {
        p.shape = fields(in, {4, 5, 4, 5, 4, 4, 5, 4, 5, 4, 5});
    }
    if (in.flag()) {
        p.colour = in.get(12);
    }
    if (in.flag()) {
        FlareLamp l;
        l.none = in.flag();
        if (!l.none) {
            l.lamp = lamp_ref(in);
        }
        l.limit = in.get(8);
        p.lamp = l;
    }
}

void mesh(BitReader& in, uint32_t mask, MeshParts& p)
{
    if ((mask & 0x400) != 0) {
        p.name = text_ref(in, 5, 31);
    }
    if (in.flag()) {
        p.frame = fields(in, {8, 8, 4});
    }
    if ((mask & MORE) == 0) {
        return;
    }
    if (in.flag()) {
        p.colour = in.get(12);
    }
    if (in.flag()) {
        p.light = fields(in, {4, 3, 5});
    }
}

// The parts of a description; in a block (whole) without presence bits and
// with the count first.
void description(BitReader& in, bool whole, bool more, ParticleParts& p)
{
    const auto present = [&] { return whole || in.flag(); };
    if (whole) {
        p.count = in.get(8);
    }
    if (present()) {
        p.flags = in.get(3);
    }
    if (!whole && !more) {
        return;
    }
    if (present()) {
        p.size = std::array<float, 3>{in.get_float(), in.get_float(), in.get_float()};
    }
    if (present()) {
        ParticleSpawn s;
        s.sphere = in.flag();
        for (float& v : s.spawn) {
            v = in.get_float();
        }
        for (float& v : s.acceleration) {
            v = in.get_float();
        }
        p.spawn = s;
    }
    if (present()) {
        p.colour = fields(in, {12, 12});
    }
    if (present()) {
        p.timing = fields(in, {8, 6, 6, 6, 6, 6});
    }
}

void sound(BitReader& in, uint32_t mask, SoundParts& p)
{
    if ((mask & 0x400) != 0) {
        p.name = text_ref(in, 6, 31);
        p.mode = in.get(1);
    }
    if (in.flag()) {
        p.pitch = in.get(8);
    }
    if ((mask & MORE) == 0) {
        return;
    }
    if (in.flag()) {
        p.distance = fields(in, {6, 6});
    }
    if (in.flag()) {
        p.level = fields(in, {6, 6});
    }
}

void icon(BitReader& in, uint32_t mask, IconParts& p)
{
    if ((mask & 0x400) != 0) {
        p.rect = fields(in, {16, 16, 16, 16});
    }
    if (in.flag()) {
        p.name = text_ref(in, 6, 9);
    }
    if (in.flag()) {
        p.clip = in.get(16);
    }
}

void camera(BitReader& in, uint32_t mask, UpdateRecord& r)
{
    if ((mask & MORE) == 0) {
        return;
    }
    r.camera_parts = true;
    r.filter_present = in.flag();
    if (r.filter_present) {
        for (uint32_t& f : r.filter) {
            f = in.get(6);
        }
    }
    r.zoom_present = in.flag();
    if (r.zoom_present) {
        r.zoom[0] = in.get(10);
        r.zoom[1] = in.get(10);
    }
}

} // namespace

bool decode_particle_block(const std::vector<uint8_t>& block, ParticleParts& out)
{
    if (block.size() * 8 < PARTICLE_BLOCK_BITS) {
        return false;
    }
    BitReader in(block.data(), PARTICLE_BLOCK_BITS);
    description(in, true, true, out);
    return !in.failed() && in.left() == 0;
}

void decode_class_parts(BitReader& in, UpdateRecord& r)
{
    switch (r.object_class) {
    case CLASS_MAPLAMP:
    case CLASS_DYNALAMP:
        lamp(in, r.mask, r.lamp);
        break;
    case CLASS_LIGHT:
        light(in, r.mask, r.light);
        break;
    case CLASS_FLARE:
        flare(in, r.mask, r.flare);
        break;
    case CLASS_MESH:
        mesh(in, r.mask, r.mesh);
        break;
    case CLASS_SPRITE:
        if ((r.mask & 0x400) != 0) {
            r.sprite = text_ref(in, 6, 9);
        }
        break;
    case CLASS_PARTICLE:
        if ((r.mask & 0x400) != 0) {
            r.particle_block = bit_ref(in, 6, PARTICLE_BLOCK_BITS);
        } else {
            description(in, false, (r.mask & MORE) != 0, r.particle);
        }
        break;
    case CLASS_SOUND:
        sound(in, r.mask, r.sound);
        break;
    case CLASS_CAMERA:
        camera(in, r.mask, r);
        break;
    case CLASS_ICON:
        icon(in, r.mask, r.icon);
        break;
    default: // BSP objects and unknown classes carry no class parts
        break;
    }
}

} // namespace fake_client
