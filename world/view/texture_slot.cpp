#include "world/view/texture_slot.h"

#include "core/byte_order.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "fsys/fsys.h"
#include "fsys/plain_name.h"
#include "renderer/texture_file.h"
#include "world/view/chunk_walk.h"
#include "world/view/cmt_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t ID_MIPS = chunk_id("MIPS");
constexpr uint32_t ID_SQHD = chunk_id("SQHD");
constexpr uint32_t ID_FRAM = chunk_id("FRAM");
constexpr uint32_t SQHD_LENGTH = 8;
constexpr uint32_t FRAME_RECORD = TEXTURE_NAME_LEN + 4;

int sequence_error(const char* path, const char* what)
{
    print_format(P_ERROR, "TextureSlot(%s): %s", path, what);
    return 0;
}

} // namespace

void TextureSlot::clear()
{
    if (frames != nullptr) {
        for (int32_t i = 0; i < frame_count; ++i) {
            frames[i].~TextureResource();
        }
        kheap_release(frames);
    }
    frames = nullptr;
    frame_count = 0;
    loop_start = -1;
    resource[0] = '\0';
    name[0] = '\0';
}

int TextureSlot::make_frames(int32_t count)
{
    void* const place = kheap_alloc(sizeof(TextureResource) * static_cast<size_t>(count), KHEAP_FROM_BOTTOM,
                                    "TextureOwner");
    if (place == nullptr) {
        return 0;
    }
    frames = static_cast<TextureResource*>(place);
    for (int32_t i = 0; i < count; ++i) {
        new (&frames[i]) TextureResource;
        frames[i].set_names(resource, "");
        frames[i].kind = kind;
    }
    frame_count = count;
    return 1;
}

int TextureSlot::load(const char* r, const char* n, int32_t k, const uint8_t* target)
{
    clear();
    K_ASSERT(r && n);
    if (!texture_name_valid(r) || !texture_name_valid(n)) {
        print_format(P_ERROR, "TextureSlot: Name too long '%.32s:%.32s'", r, n);
        return 0;
    }
    std::strcpy(resource, r);
    std::strcpy(name, n);
    kind = k;
    layout = target;
    char path[TEXTURE_PATH_MAX];
    const bool named = texture_file_path(path, texture_directory(kind), resource, name, "cmt");
    FileStream* const stream = named && fsys != nullptr ? fsys->open(path, FSYS_BINARY) : nullptr;
    if (stream != nullptr) {
        ChunkReader chunks;
        if (chunks.attach(stream) == ID_MIPS && read_sequence(chunks, path) == 0) {
            clear();
            std::strcpy(resource, r);
            std::strcpy(name, n);
        }
        stream->close();
    }
    if (frame_count == 0) {
        if (make_frames(1) == 0) {
            print_format(P_ERROR, "TextureSlot: Can't allocate '%s:%s'", resource, name);
            return 0;
        }
        frames[0].set_names(resource, name);
        loop_start = -1;
    }
    return 1;
}

int TextureSlot::read_sequence(ChunkReader& chunks, const char* path)
{
    bool listed = false;
    FileStream* const stream = chunks.stream();
    for (const ChunkHeader* h = next_chunk_after(chunks); h != nullptr; h = next_chunk_after(chunks)) {
        if (h->id == ID_SQHD) {
            if (frames != nullptr) {
                return sequence_error(path, "Second SQHD !");
            }
            uint8_t raw[SQHD_LENGTH];
            if (h->length < SQHD_LENGTH || stream->read(raw, 1, sizeof raw) != sizeof raw) {
                return sequence_error(path, "SQHD too short !");
            }
            const int32_t count = static_cast<int32_t>(read_le32(raw));
            const int32_t loop = static_cast<int32_t>(read_le32(raw + 4));
            if (count < 1 || count > TEXTURE_MAX_FRAMES) {
                print_format(P_ERROR, "TextureSlot(%s): Bad frame count %d !", path, count);
                return 0;
            }
            if (loop >= count) {
                print_format(P_ERROR, "TextureSlot(%s): Bad loop start %d (%d frames) !", path, loop, count);
                return 0;
            }
            if (make_frames(count) == 0) {
                return sequence_error(path, "Can't allocate frames !");
            }
            loop_start = loop < 0 ? -1 : loop;
        } else if (h->id == ID_FRAM) {
            if (frames == nullptr) {
                return sequence_error(path, "FRAM without SQHD !");
            }
            if (read_frame_list(stream, h->length, path) == 0) {
                return 0;
            }
            listed = true;
        }
    }
    if (frames != nullptr && !listed) {
        return sequence_error(path, "FRAM not found !");
    }
    return 1;
}

int TextureSlot::read_frame_list(FileStream* stream, uint32_t length, const char* path)
{
    if (static_cast<uint64_t>(length) < static_cast<uint64_t>(FRAME_RECORD) * static_cast<uint64_t>(frame_count)) {
        return sequence_error(path, "FRAM too short !");
    }
    for (int32_t i = 0; i < frame_count; ++i) {
        uint8_t raw[FRAME_RECORD];
        if (stream->read(raw, 1, sizeof raw) != sizeof raw) {
            return sequence_error(path, "FRAM too short !");
        }
        // A name of all eight characters has no terminator in the file.
        char frame_name[TEXTURE_NAME_LEN + 1] = {};
        std::memcpy(frame_name, raw, TEXTURE_NAME_LEN);
        // The name becomes a path under the slot's resource folder.
        if (!is_plain_name(frame_name)) {
            print_format(P_ERROR, "TextureSlot(%s): Bad frame name '%s' !", path, frame_name);
            return 0;
        }
        frames[i].set_names(resource, frame_name);
        const float seconds = read_le_float(raw + TEXTURE_NAME_LEN);
        // Negative and NaN times would stall or reverse the clock: shown for no time.
        frames[i].duration = seconds >= 0.0f ? seconds : 0.0f;
    }
    return 1;
}

void TextureSlot::advance(TextureAnim& anim, float& delta) const
{
    float loop_length = 0.0f;
    for (int32_t i = loop_start < 0 ? frame_count : loop_start; i < frame_count; ++i) {
        loop_length += frames[i].duration;
    }
    int32_t frame = anim.last_frame;
    // Each pass of the loop takes at most one wrap; the bound only guards
    // against rounding in the subtractions.
    for (int32_t step = 0; step <= 3 * frame_count + 2; ++step) {
        const float shown = frames[frame].duration;
        if (!(shown <= delta)) {
            break;
        }
        delta -= shown;
        if (frame + 1 < frame_count) {
            ++frame;
            continue;
        }
        if (loop_start < 0 || !(loop_length > 0.0f)) {
            // No loop, or a loop that takes no time: the last frame stays.
            break;
        }
        frame = loop_start;
        delta = std::fmod(delta, loop_length); // whole turns of the loop at once
    }
    anim.last_frame = frame;
}

Texture* TextureSlot::frame_at(TextureAnim& anim, float time)
{
    K_ASSERT(anim.last_frame >= 0 && anim.last_frame < frame_count);
    K_ASSERT(time >= 0.0f);
    K_ASSERT(anim.last_time >= 0.0f);
    const bool ended = anim.last_frame == frame_count - 1 && loop_start < 0;
    if (!ended) {
        if (time < anim.last_time) {
            print_format(P_ERROR, "Sw: time (%.2f) < last.time (%.2f)", static_cast<double>(time),
                         static_cast<double>(anim.last_time));
        } else {
            float delta = time - anim.last_time;
            advance(anim, delta);
            K_ASSERT(delta >= 0.0f);
            anim.last_time = time - delta;
        }
    }
    TextureResource& frame = frames[anim.last_frame];
    return frame.touch(reinterpret_cast<uintptr_t>(layout)) != 0 ? frame.texture : nullptr;
}

Texture* TextureSlot::get_frame(TextureAnim& anim, int32_t ticks)
{
    K_ASSERT(anim.slot);
    return frame_at(anim, static_cast<float>(ticks) * TEXTURE_TICK_SECONDS);
}

void TextureSlot::convert(const uint8_t* target)
{
    layout = target;
    if (target == nullptr) {
        return;
    }
    for (int32_t i = 0; i < frame_count; ++i) {
        frames[i].convert(target);
    }
}

float start_anim(TextureAnim& anim, TextureSlot* slot, int32_t ticks)
{
    anim = TextureAnim{};
    if (slot == nullptr || slot->frame_count < 1) {
        return 0.0f;
    }
    anim.slot = slot;
    anim.last_time = static_cast<float>(std::max(ticks, 0)) * TEXTURE_TICK_SECONDS;
    TextureResource& first = slot->frames[0];
    if (first.touch(reinterpret_cast<uintptr_t>(slot->layout)) == 0) {
        return 0.0f;
    }
    const float u = static_cast<float>(first.texture->usize);
    const float v = static_cast<float>(first.texture->vsize);
    return 0.5f * std::sqrt(u * u + v * v);
}
