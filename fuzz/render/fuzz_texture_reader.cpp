// Reads any bytes as a ".cmt" texture, a ".cel" picture and an animated
// texture's frame list, then draws frames from the sequence over time and
// warps whatever loaded.
#include "core/config_variable.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "fuzz/fsys/fuzz_scratch.h"
#include "world/view/algo_texture.h"
#include "renderer/texture_file.h"
#include "renderer/texture_levels.h"
#include "world/view/texture_slot.h"

#include <filesystem>
#include <random>
#include <string>

namespace {

// A scratch tree mounted as the file system, with the services the
// textures use; it goes at exit.
struct World {
    World()
    {
        cvar_list = &variables;
        sine.init(4096);
        sine_table = &sine;
    }
    fuzz::ScratchTree tree{"ostrel_fuzz_tex_", {"textures/f"}};
    ConfigVariableList variables;
    SineTable sine;
};

void warp()
{
    TextureSlot slot;
    if (slot.load("f", "x", TEXTURE_KIND_MAP, nullptr) == 0) {
        return;
    }
    TextureAnim anim{&slot, 0, 0.0f};
    AlgoTexture algo;
    if (algo.init(&anim, 3.0f, -1.0f, 1, 1.5f, 2.0f, 1.0f, 0.5f) == 0) {
        return;
    }
    for (int32_t ticks = 0; ticks < 3; ++ticks) {
        (void)algo.update(ticks);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static World world;
    const std::filesystem::path dir = world.tree.root / "textures" / "f";
    if (!fuzz::write_scratch((dir / "x.cmt").string(), data, size) ||
        !fuzz::write_scratch((dir / "x.cel").string(), data, size)) {
        return 0;
    }
    Texture texture{};
    if (load_cmt(texture, "textures/f/x.cmt") != 0) {
        warp();
    }
    (void)load_cel(texture, "textures/f/x.cel");
    texture_clear(texture);

    TextureSlot slot;
    if (slot.load("f", "x", TEXTURE_KIND_MAP, nullptr) != 0) {
        TextureAnim anim{&slot, 0, 0.0f};
        for (int32_t ticks = 0; ticks < 2000; ticks += 97) {
            (void)slot.get_frame(anim, ticks);
        }
    }
    return 0;
}
