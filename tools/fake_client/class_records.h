#pragma once
// The class parts of an update record as the wire gives them, one struct per
// class; a part that was not in the record is empty.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fake_client {

constexpr int CLASS_MAPLAMP = 1;
constexpr int CLASS_DYNALAMP = 2;
constexpr int CLASS_LIGHT = 3;
constexpr int CLASS_FLARE = 4;
constexpr int CLASS_MESH = 5;
constexpr int CLASS_SPRITE = 6;
constexpr int CLASS_BSP = 7;
constexpr int CLASS_PARTICLE = 8;
constexpr int CLASS_SOUND = 9;
constexpr int CLASS_CAMERA = 10;
constexpr int CLASS_ICON = 11;

constexpr int PARTICLE_BLOCK_BITS = 650;

// A reference through a block cache: the block's index, with its data when
// the server thought the client lacked it.
struct CacheRef {
    uint32_t index = 0;
    bool data = false;
    std::string text;           // text caches
    std::vector<uint8_t> block; // bit caches, least significant bit first
};

struct LampRef {
    bool wide = false;
    uint32_t index = 0;
    uint32_t count = 0;
    bool map_lamp = false;
};

struct LampParts {
    std::optional<uint32_t> intensity;
    std::optional<std::array<uint32_t, 3>> colour;
    std::optional<std::array<uint32_t, 5>> effect; // number, four parameters
};

struct LightParts {
    std::optional<LampRef> lamp; // create records
    std::optional<uint32_t> intensity;
    std::optional<float> focus;
    std::optional<uint32_t> maximum; // with the focus
};

struct FlareLamp {
    bool none = true;
    LampRef lamp;
    uint32_t limit = 0;
};

struct FlareParts {
    std::optional<uint32_t> intensity;
    // star 1, star 2, long streaks, star 3, short streaks, six effects.
    std::optional<std::array<uint32_t, 11>> shape;
    std::optional<uint32_t> colour;
    std::optional<FlareLamp> lamp;
};

struct MeshParts {
    std::optional<CacheRef> name; // create records
    std::optional<std::array<uint32_t, 3>> frame; // frame 1, frame 2, blend
    std::optional<uint32_t> colour;
    std::optional<std::array<uint32_t, 3>> light; // level, spread, transparency
};

struct ParticleSpawn {
    bool sphere = false;
    std::array<float, 12> spawn{};
    std::array<float, 3> acceleration{};
};

// A particle description; from a create record's block every part is there.
struct ParticleParts {
    std::optional<uint32_t> count; // blocks only
    std::optional<uint32_t> flags;
    std::optional<std::array<float, 3>> size; // a, b, shrink
    std::optional<ParticleSpawn> spawn;
    std::optional<std::array<uint32_t, 2>> colour; // colour, spread
    std::optional<std::array<uint32_t, 6>> timing; // burst count, lifetime, four timings
};

struct SoundParts {
    std::optional<CacheRef> name; // create records, with the mode bit
    uint32_t mode = 0;
    std::optional<uint32_t> pitch;
    std::optional<std::array<uint32_t, 2>> distance; // near, far
    std::optional<std::array<uint32_t, 2>> level;    // near, far
};

struct IconParts {
    std::optional<std::array<uint32_t, 4>> rect; // create records
    std::optional<CacheRef> name;
    std::optional<uint32_t> clip;
};

// The description in a particle block; false when the block is too short.
bool decode_particle_block(const std::vector<uint8_t>& block, ParticleParts& out);

} // namespace fake_client
