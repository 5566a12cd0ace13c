#include "world/light_source.h"

#include "core/numerics.h"
#include "fsys/file_stream.h"

#include <algorithm>
#include <bit>
#include <cmath>

uint32_t pack_colour(uint32_t colour, const uint8_t layout[4])
{
    uint32_t packed = 0;
    for (int k = 0; k < 4; ++k) {
        packed |= ((colour >> (8 * k)) & 0xFFu) << (layout[k] & 31);
    }
    return packed;
}

float light_radius(float range)
{
    const float r = range * 100.0f;
    return r < LIGHT_LINK_RADIUS_MAX ? r : LIGHT_LINK_RADIUS_MAX;
}

LampData::LampData() { build_ramp(0); }

void LampData::set_intensity(float x)
{
    intensity = x > 0.0f ? (x > 1.0f ? 1.0f : x) : 0.0f;
    ramp_valid = 0;
}

void LampData::set_focus(int32_t type, float amp, float scale, float spd, float tw)
{
    lamp_type = type;
    amplitude = amp * 0.5f;
    frequency = scale > 0.0f ? 1.0f / scale : 0.0f;
    speed = spd;
    twist = tw;
}

void LampData::set_colour(uint32_t c)
{
    colour = c;
    ramp_valid = 0;
}

void LampData::map_colour(const uint8_t layout[4])
{
    pixel_colour = pack_colour(colour, layout);
    ramp_valid = 0;
}

void LampData::build_ramp(int32_t time)
{
    clock = time;
    if (ramp_valid != 0) {
        return;
    }
    uint32_t step[4];
    uint32_t acc[4];
    for (int j = 0; j < 4; ++j) {
        const int32_t s = float_to_int_round(static_cast<float>((pixel_colour >> (8 * j)) & 0xFF) * intensity);
        step[j] = static_cast<uint32_t>(s);
        acc[j] = step[j];
    }
    for (int i = 0; i < LAMP_RAMP_SIZE; ++i) {
        uint32_t v = 0;
        for (int j = 0; j < 4; ++j) {
            v |= (acc[j] >> 9) << (8 * j);
            acc[j] += step[j];
        }
        ramp[i] = v;
    }
    ramp_valid = 1;
}

LightSource::LightSource(int type) : type_(type) { reset(); }

void LightSource::reset()
{
    init();
    light_position = Vector{0.0f, 0.0f, 0.0f};
    direction = Vector{0.0f, 0.0f, 0.0f};
    lamp = nullptr;
    spot_word = 0;
    intensity = 0;
    reach = 0.0f;
    falloff = 128.0f / reach; // infinite until a range is given
    radius = 0.0f;
    colour = 0xFFFFFF;
}

void LightSource::set_range(float range)
{
    radius = light_radius(range);
    reach = range * 100.0f;
    falloff = 128.0f / reach;
}

void LightSource::set_intensity(float x)
{
    // Huge values would round to the integer indefinite, far below 0.
    const float scaled = x * 128.0f;
    if (std::isnan(scaled)) {
        intensity = 0;
    } else if (scaled >= static_cast<float>(LIGHT_INTENSITY_MAX)) {
        intensity = LIGHT_INTENSITY_MAX;
    } else {
        intensity = std::max(float_to_int_round(scaled), -LIGHT_INTENSITY_MAX);
    }
}

uint32_t LightSource::map_colour(const uint8_t layout[4])
{
    pixel_colour = pack_colour(colour, layout);
    return pixel_colour;
}

void LightSource::set_position(const Vector& p, const Vector& d)
{
    mat_translation(transform, p);
    position = p;
    light_position = p;
    direction = d;
}

void LightSource::update_transform(const AnglePose* source)
{
    compose_transform(source);
    mat_get_translation(light_position, transform);
    mat_get_column1(direction, transform);
}

float LightSource::spot_factor() const { return std::bit_cast<float>(spot_word); }

int read_light_rows(LightRows& list, FileStream* stream, int32_t width, int32_t height, LightRow* storage,
                    float radius)
{
    list.rows = storage;
    list.width = width;
    list.height = height;
    list.radius = radius;
    if (width < 1 || height < 1 || width > LIGHT_ROWS_MAX || height > LIGHT_ROWS_MAX) {
        return 0;
    }
    for (int32_t r = 0; r < height; ++r) {
        uint8_t entry[4];
        if (stream->read(entry, sizeof entry, 1) != 1) {
            return 0;
        }
        LightRow& row = storage[r];
        row.offset = static_cast<int16_t>(static_cast<uint16_t>(entry[0] | entry[1] << 8));
        row.first = entry[2];
        row.length = entry[3];
        // A run that leaves its row would light the wrong texels, or outside the block.
        if (row.length < 1 || row.first + row.length > width) {
            return 0;
        }
    }
    return 1;
}

int light_rows_fit(const LightRows& list, int64_t sample_bytes)
{
    if (list.rows == nullptr || list.width < 1 || list.height < 1 || list.width > LIGHT_ROWS_MAX ||
        list.height > LIGHT_ROWS_MAX) {
        return 0;
    }
    for (int32_t r = 0; r < list.height; ++r) {
        const LightRow& row = list.rows[r];
        if (row.length < 1 || row.first + row.length > list.width || row.offset < 0 ||
            int64_t{row.offset} + row.length > sample_bytes) {
            return 0;
        }
    }
    return 1;
}
