// Reads any bytes as a ".cmt" texture of the OpenGL program, directly, as a
// texture resource of each folder, and as an animated texture's frame list.
// What loaded must be a whole chain of levels of the sizes it claims, with
// its palette: anything else traps.
#include "core/config_variable.h"
#include "fuzz/fsys/fuzz_scratch.h"
#include "renderer/texture_file.h"
#include "renderer/texture_levels.h"
#include "world/view/texture_slot.h"


namespace {

void check(bool ok)
{
    if (!ok) {
        __builtin_trap();
    }
}

// A scratch tree mounted as the file system, with the variables the
// textures read; it goes at exit.
struct World {
    World() { cvar_list = &variables; }
    fuzz::ScratchTree tree{"ostrel_fuzz_gltex_", {"textures/f", "models/f"}};
    ConfigVariableList variables;
};

void check_whole(const Texture& t)
{
    check(t.palette != nullptr && t.usize >= 1 && t.usize <= TEXTURE_MAX_SIZE && t.vsize >= 1 &&
          t.vsize <= TEXTURE_MAX_SIZE && (1 << t.ulog) == t.usize);
    check(t.mipmaps == texture_level_count(t.usize, t.vsize));
    int32_t w = t.usize;
    int32_t h = t.vsize;
    const size_t step = (t.flags & TEXTURE_TRANSPARENT) != 0 ? 2u : 1u;
    unsigned sum = 0;
    for (int i = 0; i < t.mipmaps; ++i) {
        check(t.levels[i].texels != nullptr && t.levels[i].width == w && t.levels[i].height == h);
        // Every texel is readable.
        for (size_t k = 0; k < static_cast<size_t>(w) * static_cast<size_t>(h) * step; ++k) {
            sum += t.levels[i].texels[k];
        }
        w = (w + 1) / 2;
        h = (h + 1) / 2;
    }
    check(t.owner.size == 3 * t.usize * t.vsize && sum != 0xFFFFFFFFu);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static World world;
    if (!fuzz::write_scratch((world.tree.root / "textures" / "f" / "x.cmt").string(), data, size) ||
        !fuzz::write_scratch((world.tree.root / "models" / "f" / "x.cmt").string(), data, size)) {
        return 0;
    }
    Texture texture;
    if (load_cmt(texture, "textures/f/x.cmt") != 0) {
        check_whole(texture);
    } else {
        check(texture.palette == nullptr && texture.mipmaps == 0);
    }
    texture.release();

    for (const int32_t kind : {TEXTURE_KIND_MAP, TEXTURE_KIND_MODEL}) {
        TextureSlot slot;
        if (slot.load("f", "x", kind, nullptr) == 0) {
            continue;
        }
        TextureAnim anim{&slot, 0, 0.0f};
        for (int32_t ticks = 0; ticks < 2000; ticks += 97) {
            Texture* const frame = slot.get_frame(anim, ticks);
            // Every frame falls back at worst to the blank texture.
            check(frame != nullptr);
            check_whole(*frame);
        }
    }
    return 0;
}
