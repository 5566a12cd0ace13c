#include "renderer/texture_file.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "fsys/fsys.h"
#include "gl/gl_bind.h"
#include "renderer/texture_levels.h"
#include "world/view/cmt_reader.h"
#include "world/view/palette.h"
#include "world/view/texture_resource.h"

#include <cstddef>

namespace {

constexpr float MODEL_BRIGHTNESS = 1.5f;
// Without overbright blending the lightmaps do not double: map surfaces do instead.
constexpr float UNDOUBLED_BRIGHTNESS = 2.0f;
constexpr size_t ALPHA_STEP = 256;

bool power_of_two(int32_t v) { return v > 0 && (v & (v - 1)) == 0; }

// Fills a texture of the OpenGL program from a ".cmt" file: sides of at most
// 256, powers of two, and every level of the chain down to 1 x 1.
class GLCmtReader final : public CmtReader {
public:
    GLCmtReader(Texture& texture, const char* path) : CmtReader(path), t_(texture) {}

private:
    int head(int32_t width, int32_t height, int32_t stored, bool transparent) override
    {
        t_.flags = transparent ? TEXTURE_TRANSPARENT : 0;
        if (width > TEXTURE_MAX_SIZE || height > TEXTURE_MAX_SIZE) {
            print_format(P_ERROR, "load_cmt(%s): too large, size (%d * %d)", path(), width, height);
            return 0;
        }
        // GL 1.1 takes power-of-two sides only, in both directions.
        if (!power_of_two(width) || !power_of_two(height)) {
            print_format(P_ERROR, "load_cmt(%s): Bad size (%d * %d) !", path(), width, height);
            return 0;
        }
        const int whole_chain = texture_level_count(width, height);
        if (stored != whole_chain) {
            print_format(P_ERROR, "load_cmt(%s): %d mipmaps, size (%d * %d)", path(), stored, width, height);
            return 0;
        }
        t_.usize = width;
        t_.ulog = texture_log2(width);
        t_.vsize = height;
        t_.mipmaps = whole_chain;
        return 1;
    }

    int32_t levels() const override { return t_.mipmaps; }

    void level_size(int level, int32_t& width, int32_t& height) const override
    {
        width = t_.usize;
        height = t_.vsize;
        for (int i = 0; i < level; ++i) {
            width = (width + 1) / 2;
            height = (height + 1) / 2;
        }
    }

    int palette(FileStream* stream) override
    {
        return t_.alloc_palette() != 0 && palette_read(t_.palette, stream, 0) != 0;
    }

    int level(int i, FileStream* stream, int32_t width, int32_t height) override
    {
        if (t_.alloc_level(i, width, height) == 0) {
            return 0;
        }
        uint8_t* const texels = t_.levels[i].texels;
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        if (stream->read(texels, 1, count) != count) {
            return 0;
        }
        if ((t_.flags & TEXTURE_TRANSPARENT) != 0) {
            // The indices arrived in the first half; spreading them backwards
            // moves each before it is overwritten. Alpha stays 0 until ALPH.
            for (size_t k = count; k-- > 0;) {
                texels[2 * k] = texels[k];
                texels[2 * k + 1] = 0;
            }
        }
        return 1;
    }

    int alpha(int i, FileStream* stream, int32_t width, int32_t height) override
    {
        const TexelMap& map = t_.levels[i];
        if (map.texels == nullptr || map.width != width || map.height != height) {
            return 0;
        }
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        uint8_t bytes[ALPHA_STEP];
        for (size_t done = 0; done < count;) {
            const size_t n = count - done < ALPHA_STEP ? count - done : ALPHA_STEP;
            if (stream->read(bytes, 1, n) != n) {
                return 0;
            }
            for (size_t k = 0; k < n; ++k) {
                map.texels[2 * (done + k) + 1] = bytes[k];
            }
            done += n;
        }
        return 1;
    }

    Texture& t_;
};

float variable_float(GLSys::Variable v, float otherwise)
{
    const ConfigVariable* const c = GLSys::variable(v);
    return c != nullptr ? c->as_float() : otherwise;
}

bool variable_true(GLSys::Variable v, bool otherwise)
{
    const ConfigVariable* const c = GLSys::variable(v);
    return c != nullptr ? c->is_true() : otherwise;
}

} // namespace

int load_cmt(Texture& texture, const char* path, CacheOwner* owner)
{
    texture.release();
    texture.memory_owner = owner;
    texture.flags = 0;
    FileStream* const stream = fsys != nullptr ? fsys->open(path, FSYS_BINARY) : nullptr;
    if (stream == nullptr) {
        return 0;
    }
    GLCmtReader reader(texture, path);
    const int ok = reader.read(stream);
    stream->close();
    if (ok == 0) {
        texture.release();
        texture.flags = 0;
        return 0;
    }
    texture.owner.set_size(3 * texture.usize * texture.vsize);
    texture.dirty = 1;
    return 1;
}

int find_texture_file(Texture& texture, const char* gfx_path, const char* resource, const char* file, int32_t kind,
                      CacheOwner* owner)
{
    texture.release();
    texture.kind = kind;
    K_ASSERT(gfx_path);
    K_ASSERT(resource);
    K_ASSERT(file);
    char path[TEXTURE_PATH_MAX];
    return texture_file_path(path, gfx_path, resource, file, "cmt") && load_cmt(texture, path, owner) != 0 ? 1 : 0;
}

const char* texture_directory(int32_t kind) { return kind == TEXTURE_KIND_MODEL ? "models" : "textures"; }

float texture_brightness_factor(int32_t kind, uint32_t flags)
{
    const float gamma = variable_float(GLSys::V_GAMMA, 1.0f);
    if (kind == TEXTURE_KIND_MODEL) {
        return gamma * MODEL_BRIGHTNESS;
    }
    if (kind == TEXTURE_KIND_MAP && (flags & TEXTURE_TRANSPARENT) == 0 && !variable_true(GLSys::V_OVERBRIGHT, true)) {
        return gamma * UNDOUBLED_BRIGHTNESS;
    }
    return gamma;
}

void texture_brightness(Texture& texture, int32_t kind)
{
    scale_palette(texture.palette, texture_brightness_factor(kind, texture.flags));
}

int read_palette(uint32_t* palette, FileStream* stream, int shift) { return palette_read(palette, stream, shift); }

int texture_create_cleared(Texture& texture, CacheOwner* owner, int32_t usize, int32_t vsize)
{
    texture.release();
    texture.memory_owner = owner;
    texture.flags = 0;
    return texture.create_blank(usize, vsize);
}
