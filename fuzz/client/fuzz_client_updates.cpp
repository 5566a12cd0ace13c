// Decodes arbitrary bytes as a run of object update messages into the
// managers of every object class but the map's BSP models. Input: repeated
// {u16 length in bits, payload}.
#include "client/entity_records.h"
#include "client/update_decoder.h"
#include "core/config_variable.h"
#include "core/print.h"
#include "core/sine_table.h"
#include "net/net_stream_in.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

// Class 7 without a map: placements only.
class Models final : public CObjManager {
public:
    int net_update(int, uint32_t, NetStreamIn&) override { return 1; }
    int link(int) override { return 1; }
    int unlink(int, int) override { return 1; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = false;
    if (!ready) {
        print_init();
        set_stream_handler(quiet, 0);
        cvar_list = new ConfigVariableList;
        sine_table = new SineTable;
        sine_table->init(4096);
        ready = true;
    }
    UpdateDecoder decoder;
    LampRecords map_lamps;
    LampRecords lamps;
    LightRecords lights;
    FlareRecords flares;
    MeshRecords meshes;
    SpriteRecords sprites;
    Models models;
    EmitterRecords emitters;
    SoundRecords sounds;
    CameraRecords camera;
    IconRecords icons;
    if (map_lamps.create(256, 0) == 0 || lamps.create(32, 1) == 0 || lights.create(64) == 0 ||
        flares.create(256) == 0 || meshes.create(256) == 0 || sprites.create(256) == 0 ||
        models.create(8, 0) == 0 || emitters.create(256) == 0 || sounds.create(256) == 0 || camera.create(1) == 0 ||
        icons.create(64) == 0) {
        return 0;
    }
    CObjManager* const classes[] = {nullptr, &map_lamps, &lamps, &lights, &flares, &meshes, &sprites,
                                    &models, &emitters, &sounds, &camera, &icons};
    for (int c = 1; c < 12; ++c) {
        decoder.register_class(c, classes[c]);
    }
    size_t at = 0;
    for (int messages = 0; messages < 64 && at + 2 <= size; ++messages) {
        const int32_t bits = data[at] | data[at + 1] << 8;
        at += 2;
        const size_t bytes = std::min<size_t>(static_cast<size_t>(bits + 7) / 8, size - at);
        // The payload in a buffer of its own, so that a read beyond it is caught.
        std::vector<uint8_t> payload(data + at, data + at + bytes);
        at += bytes;
        if (payload.empty()) {
            continue;
        }
        NetStreamIn in;
        in.attach(payload.data(), std::min<int32_t>(bits, static_cast<int32_t>(bytes * 8)));
        (void)decoder.net_update(in);
        in.detach();
    }
    return 0;
}
