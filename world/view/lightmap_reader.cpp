// Reader of "lightmap.bin": each polygon's lightmap rows, colours, samples
// and the map lamps that light it.
#include "core/byte_order.h"
#include "core/print.h"
#include "world/view/chunk_walk.h"
#include "world/view/client_world.h"

#include <cmath>
#include <new>

namespace {

constexpr uint32_t LIGHTMAP_VERSION = 1;
constexpr uint32_t HEAD_WORDS = 9;
constexpr int32_t LIGHT_TEXEL_SHIFT = 4; // a light texel spans 16 texture units
// Map lamps are objects of the map; more than this is a damaged file.
constexpr uint32_t LIGHTMAP_LAMPS_MAX = 0x10000;
constexpr uint32_t ROW_ENTRY_BYTES = 4;

bool fail(const char* message)
{
    print_string(P_ERROR, message);
    return false;
}

bool fail_polygon(const char* format, int32_t polygon)
{
    print_format(P_ERROR, format, polygon);
    return false;
}

class LightmapReader {
public:
    LightmapReader(ClientWorld& world, FileStream* stream) : world_(world), stream_(stream) {}

    bool read(const uint32_t* identifier)
    {
        if (chunks_.attach(stream_) != chunk_id("LIMP")) {
            return fail("KLoad: Unknown lightmap.bin format");
        }
        return read_head(identifier) && read_polygons() && read_colours() && read_data() && check_samples();
    }

private:
    bool expect(const char (&id)[5], const char* message)
    {
        const ChunkHeader* const h = next_chunk_after(chunks_);
        if (h == nullptr || h->id != chunk_id(id)) {
            return fail(message);
        }
        return true;
    }

    bool cannot_read() { return fail("KLoad: Can't read lightmap.bin"); }

    bool read_words(uint32_t* words, uint32_t count)
    {
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t b[4];
            if (stream_->read(b, 1, 4) != 4) {
                return cannot_read();
            }
            words[i] = read_le32(b);
        }
        return true;
    }

    // A count of elements that each need `bytes` of the file.
    bool fits(uint32_t count, uint32_t bytes) const
    {
        return static_cast<int64_t>(count) * bytes <= stream_->size() && count <= INT32_MAX;
    }

    template <typename T>
    bool allocate(T*& array, int32_t& stored, uint32_t count, uint32_t bytes, const char* format)
    {
        array = fits(count, bytes) ? new (std::nothrow) T[count > 0 ? count : 1]() : nullptr;
        if (array == nullptr) {
            print_format(P_ERROR, format, static_cast<int32_t>(count));
            return false;
        }
        stored = static_cast<int32_t>(count);
        return true;
    }

    bool read_head(const uint32_t* identifier)
    {
        uint32_t h[HEAD_WORDS];
        if (!expect("HEAD", "KLoad: Expecting HEAD chunk in lightmap.bin")) {
            return false;
        }
        if (chunks_.header().length < sizeof h || !read_words(h, HEAD_WORDS)) {
            return cannot_read();
        }
        if (h[0] != LIGHTMAP_VERSION) {
            return fail("KLoad: Unknown lightmap.bin version");
        }
        if (h[1] != *identifier) {
            return fail("KLoad: Wrong MAGIC in lightmap.bin");
        }
        if (h[2] != static_cast<uint32_t>(world_.polygon_count)) {
            return fail("KLoad: Wrong number of polygons in lightmap.bin");
        }
        int32_t lamp_refs = 0;
        if (!allocate(world_.lightmap_colours, world_.colour_count, h[3], 3, "KLoad: Can't allocate %d lightmap colors") ||
            !allocate(world_.lightmap_data, world_.data_size, h[4], 1,
                      "KLoad: Can't allocate %d bytes of lightmap data") ||
            !allocate(world_.light_rows, world_.row_count, h[5], ROW_ENTRY_BYTES, "KLoad: Can't allocate %d lightmap rows")) {
            return false;
        }
        if (h[6] >= LIGHTMAP_LAMPS_MAX || world_.map_lamps.create(static_cast<int32_t>(h[6]) + 1) == 0) {
            return fail("KLoad: Can't init map lamp manager!");
        }
        world_.map_lamp_count = static_cast<int32_t>(h[6]) + 1;
        if (!allocate(world_.lamp_pointers, lamp_refs, h[8], 8, "KLoad: Can't allocate %d lamp references") ||
            !allocate(world_.lamp_layers, world_.lamp_reference_count, h[8], 8,
                      "KLoad: Can't allocate %d lamp references")) {
            return false;
        }
        return true;
    }

    bool read_polygons()
    {
        if (!expect("POLD", "KLoad: Expecting POLD chunk in lightmap.bin")) {
            return false;
        }
        for (int32_t p = 0; p < world_.polygon_count; ++p) {
            if (!read_polygon(p)) {
                return false;
            }
        }
        return true;
    }

    bool read_polygon(int32_t p)
    {
        MapPolygon& polygon = world_.polygons[p];
        uint32_t v = 0;
        if (!read_words(&v, 1)) {
            return false;
        }
        polygon.lamp_count = 0;
        polygon.samples = nullptr;
        polygon.lamp_layers = nullptr;
        polygon.lamps = nullptr;
        if (v == 0) {
            return true;
        }
        uint32_t range[4];
        if (!read_words(range, 4)) {
            return false;
        }
        const int32_t s0 = static_cast<int32_t>(range[0]);
        const int32_t s1 = static_cast<int32_t>(range[1]);
        const int32_t t0 = static_cast<int32_t>(range[2]);
        const int32_t t1 = static_cast<int32_t>(range[3]);
        const int64_t ds = int64_t{s1} - s0;
        const int64_t dt = int64_t{t1} - t0;
        if (ds < 0 || dt < 0) {
            return fail_polygon("KLoad: Reversed texel range for polygon %d in lightmap.bin", p);
        }
        const int64_t w = (ds >> LIGHT_TEXEL_SHIFT) + 1;
        const int64_t h = (dt >> LIGHT_TEXEL_SHIFT) + 1;
        if (w > LIGHT_ROWS_MAX || h > LIGHT_ROWS_MAX) {
            return fail_polygon("KLoad: Lightmap for polygon %d is too large", p);
        }
        if (rows_used_ + h > world_.row_count) {
            return fail_polygon("KLoad: Lightmap rows run out at polygon %d in lightmap.bin", p);
        }
        polygon.s0 = s0;
        polygon.t0 = t0;
        const MapFace& face = *polygon.face;
        Vector half = Vector{0.0f, 0.0f, 0.0f};
        vec_add_scaled(half, face.u_axis, static_cast<float>(ds / 2));
        vec_add_scaled(half, face.v_axis, static_cast<float>(dt / 2));
        LightRow* const rows = world_.light_rows + rows_used_;
        if (read_light_rows(polygon.lightmap, stream_, static_cast<int32_t>(w), static_cast<int32_t>(h), rows,
                            vec_length(half)) == 0) {
            return fail_polygon("KLoad: Bad lightmap rows for polygon %d in lightmap.bin", p);
        }
        rows_used_ += h;
        uint32_t place[2];
        if (!read_words(place, 2)) {
            return false;
        }
        if (place[0] >= static_cast<uint32_t>(world_.colour_count)) {
            return fail_polygon("KLoad: Colour index of polygon %d lies outside lightmap.bin", p);
        }
        if (!runs_fit(polygon.lightmap, place[1])) {
            return fail_polygon("KLoad: Lightmap of polygon %d lies outside the data of lightmap.bin", p);
        }
        polygon.colours = world_.lightmap_colours + place[0];
        polygon.samples = world_.lightmap_data + place[1];
        const uint32_t k = v - 1;
        if (uint64_t{lamps_used_} + k > static_cast<uint64_t>(world_.lamp_reference_count)) {
            return fail("KLoad: Lamp pointer pool overflow");
        }
        LampData** const lamps = world_.lamp_pointers + lamps_used_;
        const uint8_t** const layers = world_.lamp_layers + lamps_used_;
        for (uint32_t j = 0; j < k; ++j) {
            uint32_t pair[2];
            if (!read_words(pair, 2)) {
                return false;
            }
            if (pair[0] >= static_cast<uint32_t>(world_.map_lamps.count())) {
                return fail_polygon("KLoad: Invalid lamp used by polygon %d in lightmap.bin", p);
            }
            if (!runs_fit(polygon.lightmap, pair[1])) {
                return fail_polygon("KLoad: Lamp layer of polygon %d lies outside the data of lightmap.bin", p);
            }
            lamps[j] = world_.map_lamps.lamp(static_cast<int32_t>(pair[0]));
            layers[j] = world_.lightmap_data + pair[1];
        }
        lamps_used_ += k;
        polygon.lamps = lamps;
        polygon.lamp_layers = layers;
        polygon.lamp_count = static_cast<int32_t>(k);
        return true;
    }

    bool runs_fit(const LightRows& rows, uint32_t offset) const
    {
        return offset <= static_cast<uint32_t>(world_.data_size) &&
               light_rows_fit(rows, int64_t{world_.data_size} - offset) != 0;
    }

    bool read_colours()
    {
        if (!expect("XLAT", "KLoad: Expecting XLAT chunk in lightmap.bin")) {
            return false;
        }
        if (chunks_.header().length < static_cast<uint64_t>(world_.colour_count) * 3) {
            return cannot_read();
        }
        for (int32_t i = 0; i < world_.colour_count; ++i) {
            uint8_t b[3];
            if (stream_->read(b, 1, 3) != 3) {
                return cannot_read();
            }
            const uint32_t c0 = b[0] >> 1;
            const uint32_t c1 = b[1] >> 1;
            const uint32_t c2 = b[2] >> 1;
            world_.lightmap_colours[i] = c0 | c1 << 8 | c2 << 16 | c1 << 24;
        }
        return true;
    }

    bool read_data()
    {
        if (!expect("RLMD", "KLoad: Expecting RLMD chunk in lightmap.bin")) {
            return false;
        }
        const size_t size = static_cast<size_t>(world_.data_size);
        if (chunks_.header().length < size || stream_->read(world_.lightmap_data, 1, size) != size) {
            return cannot_read();
        }
        return true;
    }

    // A base sample indexes the polygon's colours: it must stay in the table.
    bool check_samples()
    {
        for (int32_t p = 0; p < world_.polygon_count; ++p) {
            const MapPolygon& polygon = world_.polygons[p];
            if (polygon.samples == nullptr) {
                continue;
            }
            const int64_t room = world_.lightmap_colours + world_.colour_count - polygon.colours;
            const LightRows& rows = polygon.lightmap;
            for (int32_t r = 0; r < rows.height; ++r) {
                const LightRow& run = rows.rows[r];
                for (int32_t i = 0; i < run.length; ++i) {
                    if (polygon.samples[run.offset + i] >= room) {
                        return fail_polygon("KLoad: Lightmap of polygon %d uses a colour outside lightmap.bin", p);
                    }
                }
            }
        }
        return true;
    }

    ClientWorld& world_;
    FileStream* stream_;
    ChunkReader chunks_;
    int64_t rows_used_ = 0;
    uint32_t lamps_used_ = 0;
};

} // namespace

int read_lightmaps(ClientWorld& world, FileStream* stream, uint32_t* identifier)
{
    return LightmapReader(world, stream).read(identifier) ? 1 : 0;
}
