#include "world/view/picture_file.h"

#include "core/cache_owner.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "fsys/chunk_reader.h"
#include "fsys/fsys.h"
#include "world/picture_directory.h"
#include "world/view/palette.h"

#include <new>

namespace {

constexpr uint32_t FORM_ICON = chunk_id("ICON");
constexpr uint32_t FORM_PICT = chunk_id("PICT");
constexpr uint32_t CHUNK_HEAD = chunk_id("HEAD");
constexpr uint32_t CHUNK_PAL8 = chunk_id("PAL8");
constexpr uint32_t CHUNK_DATA = chunk_id("DATA");
constexpr uint32_t CHUNK_ALPH = chunk_id("ALPH");
constexpr uint32_t PALETTE_FILE_BYTES = 3 * PALETTE_ENTRIES;

void* cache_alloc(size_t size, CacheOwner* owner, const char* name)
{
    if (kheap != nullptr && kheap->area() != nullptr) {
        return kheap->alloc_cacheable(size, owner, KHEAP_FROM_BOTTOM, name);
    }
    return ::operator new(size, std::nothrow);
}

// The file's reading of one picture; every failure prints its message.
class PictureReader {
public:
    PictureReader(const char* name, const PictureRules& rules, CacheOwner* owner, const PictureBlocks& blocks)
        : name_(name), rules_(rules), owner_(owner), blocks_(blocks)
    {
    }

    int read(FileStream* f);

private:
    int fail(const char* message) const
    {
        print_format(P_ERROR, message, name_);
        return 0;
    }
    int read_head(FileStream* f, const ChunkHeader& h);
    int read_palette(FileStream* f, const ChunkHeader& h);
    // Reads width x height bytes into plane 0 (indices) or 1 (alpha).
    int read_plane(FileStream* f, const ChunkHeader& h, int plane, const char* short_message);

    const char* name_;
    const PictureRules& rules_;
    CacheOwner* owner_;
    const PictureBlocks& blocks_;
    bool head_ = false;
    bool data_ = false;
    bool alpha_ = false;
};

int PictureReader::read_head(FileStream* f, const ChunkHeader& h)
{
    if (head_) {
        return fail("load_icon(%s): Multiple HEAD chunks found");
    }
    head_ = true;
    if (h.length < 8) {
        return fail("load_icon(%s): HEAD chunk is too short");
    }
    const uint32_t w = static_cast<uint32_t>(f->read_le32());
    const uint32_t hh = static_cast<uint32_t>(f->read_le32());
    const uint32_t max_side = static_cast<uint32_t>(rules_.max_side);
    if (w == 0 || hh == 0 || w > max_side || hh > max_side) {
        print_format(P_ERROR, "load_icon(%s): Bad size %ux%u", name_, w, hh);
        return 0;
    }
    blocks_.width = static_cast<int32_t>(w);
    blocks_.height = static_cast<int32_t>(hh);
    blocks_.bitmap = picture_alloc_bitmap(static_cast<int64_t>(w) * hh, rules_.is_icon, owner_);
    if (blocks_.bitmap == nullptr) {
        return fail("load_icon(%s): Can't allocate bitmap");
    }
    return 1;
}

int PictureReader::read_palette(FileStream* f, const ChunkHeader& h)
{
    if (blocks_.palette != nullptr) {
        return fail("load_icon(%s): Multiple PAL8 chunks found");
    }
    blocks_.palette = picture_alloc_palette(owner_);
    if (blocks_.palette == nullptr) {
        return fail("load_icon(%s): Can't allocate palette");
    }
    if (h.length < PALETTE_FILE_BYTES || palette_read(blocks_.palette, f, 0) == 0) {
        return fail("load_icon(%s): PAL8 chunk is too short");
    }
    return 1;
}

int PictureReader::read_plane(FileStream* f, const ChunkHeader& h, int plane, const char* short_message)
{
    const size_t pixels = static_cast<size_t>(blocks_.width) * static_cast<size_t>(blocks_.height);
    if (h.length < pixels) {
        return fail(short_message);
    }
    if (rules_.is_icon == 0 || rules_.alpha_plane != 0) {
        uint8_t* const to = blocks_.bitmap + (plane != 0 ? pixels : 0);
        return f->read(to, pixels, 1) == 1 ? 1 : fail(short_message);
    }
    uint8_t buffer[4096];
    size_t done = 0;
    while (done < pixels) {
        const size_t n = pixels - done < sizeof buffer ? pixels - done : sizeof buffer;
        if (f->read(buffer, n, 1) != 1) {
            return fail(short_message);
        }
        for (size_t i = 0; i < n; ++i) {
            blocks_.bitmap[2 * (done + i) + static_cast<size_t>(plane)] = buffer[i];
        }
        done += n;
    }
    return 1;
}

int PictureReader::read(FileStream* f)
{
    ChunkReader reader;
    const uint32_t form = reader.attach(f);
    if (form != (rules_.is_icon != 0 ? FORM_ICON : FORM_PICT)) {
        return fail(rules_.wrong_form);
    }
    ChunkHeader h;
    h.length = CHUNK_START_LENGTH;
    for (;;) {
        const int64_t length = h.length == CHUNK_START_LENGTH ? -4 : static_cast<int64_t>(h.length);
        const int64_t next = static_cast<int64_t>(h.position) + 8 + ((length + 3) & ~int64_t{3});
        if (next > INT32_MAX || reader.next_chunk(static_cast<int32_t>(next), &h) == nullptr) {
            break;
        }
        int ok = 1;
        if (h.id == CHUNK_HEAD) {
            ok = read_head(f, h);
        } else if (h.id == CHUNK_PAL8) {
            ok = read_palette(f, h);
        } else if (h.id == CHUNK_DATA) {
            if (data_) {
                return fail("load_icon(%s): Multiple DATA chunks found");
            }
            if (!head_) {
                return fail("load_icon(%s): DATA without HEAD");
            }
            data_ = true;
            ok = read_plane(f, h, 0, "load_icon(%s): DATA chunk is too short");
        } else if (h.id == CHUNK_ALPH) {
            if (rules_.is_icon == 0) {
                return fail("load_icon(%s): unexpected ALPH chunk");
            }
            if (alpha_) {
                return fail("load_icon(%s): Multiple ALPH chunks found");
            }
            if (!head_) {
                return fail("load_icon(%s): ALPH without HEAD");
            }
            alpha_ = true;
            ok = read_plane(f, h, 1, "load_icon(%s): ALPH chunk is too short");
        }
        if (ok == 0) {
            return 0;
        }
    }
    if (blocks_.palette == nullptr) {
        return fail("load_icon(%s): Palette is missing");
    }
    if (!data_) {
        return fail("load_icon(%s): DATA chunk is missing");
    }
    if (rules_.is_icon != 0 && !alpha_) {
        return fail("load_icon(%s): ALPH chunk is missing");
    }
    return 1;
}

} // namespace

uint8_t* picture_alloc_bitmap(int64_t pixels, int is_icon, CacheOwner* owner)
{
    const size_t bytes = static_cast<size_t>(pixels) * (is_icon != 0 ? 2 : 1);
    return static_cast<uint8_t*>(cache_alloc(bytes, owner, is_icon != 0 ? "IconBitmap" : "PictureBitmap"));
}

uint32_t* picture_alloc_palette(CacheOwner* owner)
{
    return static_cast<uint32_t*>(cache_alloc(PALETTE_ENTRIES * sizeof(uint32_t), owner, "IconPalette"));
}

int read_picture(FileStream* f, const char* name, const PictureRules& rules, CacheOwner* owner,
                 const PictureBlocks& blocks)
{
    PictureReader reader(name, rules, owner, blocks);
    return reader.read(f);
}

int load_sized_picture(const char* name, const PictureRules& rules, int32_t xres, int32_t yres,
                       CacheOwner* owner, const PictureBlocks& blocks)
{
    K_ASSERT(fsys);
    FileStream* const f = open_sized_picture(name, rules.is_icon != 0 ? "cic" : "cpc", xres, yres);
    if (f == nullptr) {
        return 0;
    }
    const int ok = read_picture(f, name, rules, owner, blocks);
    f->close();
    return ok;
}
