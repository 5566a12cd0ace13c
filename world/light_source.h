#pragma once
// Lights and lamps of the world.
//
// A light value is four 7-bit channels, one a byte, in the byte positions of
// the screen's pixel layout; bit 7 of every byte stays clear and takes the
// carry of light_add. Channel 32 is the unlit texture colour, 127 the most.
//
// LightSource is a light entity linked into the cells (type 0: a client's
// lamp light, which must have a lamp; type 3: a light of the map). LampData
// is a lamp: an intensity and colour with a 256-step ramp of light values,
// plain or animated by a wave over the lit surface.
#include "core/placement.h"

#include <cstdint>

class FileStream;

constexpr int ENTITY_TYPE_LAMP_LIGHT = 0;
constexpr int ENTITY_TYPE_MAP_LIGHT = 3;

constexpr int32_t LIGHT_INTENSITY_MAX = 128;
constexpr float LIGHT_LINK_RADIUS_MAX = 1024.0f;
constexpr int LAMP_RAMP_SIZE = 256;
constexpr int LIGHT_ROWS_MAX = 32; // light texels across and down a lightmap

// a + b per channel, each channel stopping at 127; neither carries into the next.
inline uint32_t light_add(uint32_t a, uint32_t b)
{
    uint32_t s = a + b;
    const uint32_t m = s & 0x80808080u;
    if (m != 0) {
        s = (s & 0x7F7F7F7Fu) | (m - (m >> 7));
    }
    return s;
}

// Bytes of a colour 0x00RRGGBB (byte k at bits 8k) placed at the layout's shifts.
uint32_t pack_colour(uint32_t colour, const uint8_t layout[4]);

// The link radius of a light of that range (world units / 100).
float light_radius(float range);

enum LampType : int32_t {
    LAMP_PLAIN = 0, // a per-texel map
    LAMP_WAVE = 1,  // the map scaled by a procedural wave
};

class LampData {
public:
    LampData();

    // Clamped to 0..1; anything not above 0, NaN included, is 0.
    void set_intensity(float x);
    void set_focus(int32_t type, float amplitude, float scale, float speed, float twist);
    void set_colour(uint32_t c);
    void map_colour(const uint8_t layout[4]);
    // Stores the clock; rebuilds the ramp when stale.
    void build_ramp(int32_t time);

    float intensity = 1.0f;
    uint32_t colour = 0xFFFFFF;
    uint32_t pixel_colour = 0xFFFFFF;
    int32_t lamp_type = LAMP_PLAIN;
    float amplitude = 0.0f;
    float frequency = 0.0f;
    float speed = 0.0f;
    float twist = 0.0f;
    uint32_t ramp_valid = 0;
    uint32_t ramp[LAMP_RAMP_SIZE] = {};
    int32_t clock = 0;
};

class LightSource : public Placement {
public:
    explicit LightSource(int type = ENTITY_TYPE_MAP_LIGHT);

    int entity_type() const override { return type_; }
    void reset();

    void set_range(float range);
    // nint(x * 128), at most 128 (NaN: 0); intensities below 0 light nothing.
    void set_intensity(float x);
    // The spot factor as its 32-bit pattern: 0 omnidirectional, m > 0 a spot.
    void set_kind(uint32_t word) { spot_word = word; }
    void set_lamp(LampData* l) { lamp = l; }
    void set_colour(uint32_t c) { colour = c; }
    uint32_t map_colour(const uint8_t layout[4]);
    // The light's place and spot direction (map lights).
    void set_position(const Vector& p, const Vector& d);
    // Composes the placement transform; the light sits at its translation and
    // points along its column 1 (lamp lights).
    void update_transform(const AnglePose* source);

    float spot_factor() const;
    bool is_spot() const { return spot_factor() > 0.0f; }

    Vector light_position = {0.0f, 0.0f, 0.0f};
    Vector direction = {0.0f, 0.0f, 0.0f};
    float reach = 0.0f;   // range * 100, world units
    float falloff = 0.0f; // 128 / reach
    uint32_t spot_word = 0;
    uint32_t colour = 0xFFFFFF;
    uint32_t pixel_colour = 0xFFFFFF;
    LampData* lamp = nullptr;
    int32_t intensity = 0; // at most 128: the cap of a texel's light level

private:
    int type_;
};

// One run of lit texels: light-block row r (the entry's index) from `first`
// for `length` texels, whose samples start at `offset` in the sample arrays.
struct LightRow {
    int16_t offset;
    uint8_t first;
    uint8_t length;
};

// The lit area of one polygon's lightmap, one row entry a light-block row.
struct LightRows {
    LightRow* rows = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    float radius = 0.0f; // bounding radius of the lit area
};

// Stores the header fields and reads `height` row entries of 4 bytes into
// `storage` (room for height entries). 1, or 0 when the lightmap is larger
// than 32 x 32 or empty, the stream ends early, or a run leaves its row.
int read_light_rows(LightRows& list, FileStream* stream, int32_t width, int32_t height, LightRow* storage,
                    float radius);
// 1 when every run lies inside the row and reads samples within [0, sample_bytes).
int light_rows_fit(const LightRows& list, int64_t sample_bytes);
