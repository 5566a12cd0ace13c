// Decodes arbitrary bytes as a run of object update messages into the
// managers of every object class, over a map of two cells. Input: repeated
// {u16 length in bits, payload}.
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "core/config_variable.h"
#include "core/print.h"
#include "core/random_table.h"
#include "core/sine_table.h"
#include "net/net_stream_in.h"
#include "tests/client/sound_records.h"
#include "tests/support/two_cell_map.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void quiet(int, const char*, uintptr_t) {}

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
        // The engine makes both tables before any object can arrive.
        random_table = new RandomTable;
        random_table->init(1024);
        ready = true;
    }
    static std::unique_ptr<SharedMap> map = make_two_cell_map();
    if (map == nullptr) {
        return 0;
    }
    UpdateDecoder decoder;
    // Declared before their users, so that the lamps go after them.
    WorldModelManager models;
    LampTable map_lamps;
    LampTable lamps;
    Lamp lights;
    LampSprite flares;
    TextureManager textures;
    SpriteObject sprites;
    MeshOwner mesh_models;
    Mesh meshes;
    ParticleEmitter emitters;
    SoundRecords sounds;
    Camera camera;
    Icon icons;
    if (models.create(map.get()) == 0 || map_lamps.create(256, 0) == 0 || lamps.create(32, 1) == 0 ||
        lights.create(&map_lamps, &lamps, map.get(), 64) == 0 ||
        flares.create(&map_lamps, &lamps, map.get(), 256) == 0 || textures.create(64) == 0 ||
        sprites.create(&textures, map.get(), 256) == 0 || mesh_models.create(64) == 0 ||
        meshes.create(&mesh_models, map.get(), 256) == 0 || emitters.create(map.get(), 256) == 0 ||
        sounds.create(256) == 0 || camera.create(1) == 0 || icons.create(64, 256) == 0) {
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
