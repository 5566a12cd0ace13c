#pragma once
// A texture as the world and the entities name it: one frame, or the frames
// of an animated texture (a ".cmt" file of form "MIPS":
//   "SQHD" u32 frames (1..TEXTURE_MAX_FRAMES), i32 loop start (< frames; negative: no loop)
//   "FRAM" per frame 8 bytes of texture name (zero-padded), f32 seconds shown).
// Frames load their own textures when first touched.
#include "world/view/texture_resource.h"

#include <cstdint>

class ChunkReader;
class FileStream;

constexpr int32_t TEXTURE_MAX_FRAMES = 1024;
constexpr float TEXTURE_TICK_SECONDS = 1.0f / 70.0f;

class TextureSlot;

// The animation state each user of an animated texture keeps. Reset by
// setting the frame to 0 and the time to the current world time.
struct TextureAnim {
    TextureSlot* slot = nullptr;
    int32_t last_frame = 0;
    float last_time = 0.0f; // seconds: when last_frame began
};

class TextureSlot {
public:
    TextureSlot() = default;
    ~TextureSlot() { release(); }
    TextureSlot(const TextureSlot&) = delete;
    TextureSlot& operator=(const TextureSlot&) = delete;

    void clear();
    void release() { clear(); }

    // Reads the frame list when "<folder>/resource/name.cmt" (the program's
    // folder of the kind) is a sequence; otherwise (no file, another form, a
    // bad sequence, reported) the slot is one frame of its own name. Frames
    // load as textures of that kind, converted to `layout` (null: file
    // order). 0 when a name is too long or memory runs out.
    int load(const char* resource, const char* name, int32_t kind, const uint8_t* layout);

    // The frame shown at `time` seconds, advancing the user's state; null when
    // its texture cannot be loaded.
    Texture* frame_at(TextureAnim& anim, float time);
    Texture* get_frame(TextureAnim& anim, int32_t ticks);

    // Brings every loaded frame to `target`, and later loads with it.
    void convert(const uint8_t* target);

    TextureResource* frames = nullptr; // owned, in a heap block
    int32_t frame_count = 0;
    int32_t loop_start = -1; // -1: the animation stops on its last frame
    char resource[TEXTURE_NAME_LEN + 1] = {};
    char name[TEXTURE_NAME_LEN + 1] = {};
    int32_t kind = TEXTURE_KIND_MAP;
    const uint8_t* layout = nullptr;

private:
    int make_frames(int32_t count);
    int read_sequence(ChunkReader& chunks, const char* path);
    int read_frame_list(FileStream* stream, uint32_t length, const char* path);
    void advance(TextureAnim& anim, float& delta) const;
};

// Starts `anim` on the slot's first frame at `ticks` (below 0 counts as 0)
// and returns the radius of the sphere around that frame: 0 without a slot
// or when its first frame can't be loaded.
float start_anim(TextureAnim& anim, TextureSlot* slot, int32_t ticks);
