#include "renderer/icon_image.h"

#include "core/cache_owner.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/print.h"
#include "fsys/chunk_reader.h"
#include "fsys/fsys.h"
#include "platform/video_mode.h"
#include "world/view/palette.h"
#include "renderer/screen_manager.h"
#include "world/picture_directory.h"

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

uint8_t* alloc_bitmap(int64_t pixels, int is_icon, CacheOwner* owner)
{
    const size_t bytes = static_cast<size_t>(pixels) * (is_icon != 0 ? 2 : 1);
    return static_cast<uint8_t*>(cache_alloc(bytes, owner, is_icon != 0 ? "IconBitmap" : "PictureBitmap"));
}

uint32_t* alloc_palette(CacheOwner* owner)
{
    return static_cast<uint32_t*>(cache_alloc(PALETTE_ENTRIES * sizeof(uint32_t), owner, "IconPalette"));
}

// The file's reading of one picture; every failure prints its message.
class IconLoader {
public:
    IconLoader(IconImage& image, CacheOwner* owner, const ScreenManager* mgr, const char* name, int is_icon)
        : image_(image), owner_(owner), mgr_(mgr), name_(name), is_icon_(is_icon)
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
    // Reads width x height bytes into byte `lane` of every pixel.
    int read_plane(FileStream* f, const ChunkHeader& h, int lane, const char* short_message);

    IconImage& image_;
    CacheOwner* owner_;
    const ScreenManager* mgr_;
    const char* name_;
    int is_icon_;
    bool head_ = false;
    bool data_ = false;
    bool alpha_ = false;
};

int IconLoader::read_head(FileStream* f, const ChunkHeader& h)
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
    if (w == 0 || hh == 0 || w > ICON_MAX_SIDE || hh > ICON_MAX_SIDE) {
        print_format(P_ERROR, "load_icon(%s): Bad size %ux%u", name_, w, hh);
        return 0;
    }
    image_.width = static_cast<int32_t>(w);
    image_.height = static_cast<int32_t>(hh);
    image_.bitmap = alloc_bitmap(static_cast<int64_t>(w) * hh, is_icon_, owner_);
    if (image_.bitmap == nullptr) {
        return fail("load_icon(%s): Can't allocate bitmap");
    }
    return 1;
}

int IconLoader::read_palette(FileStream* f, const ChunkHeader& h)
{
    if (image_.palette != nullptr) {
        return fail("load_icon(%s): Multiple PAL8 chunks found");
    }
    image_.palette = alloc_palette(owner_);
    if (image_.palette == nullptr) {
        return fail("load_icon(%s): Can't allocate palette");
    }
    uint8_t rgb[PALETTE_FILE_BYTES];
    if (h.length < PALETTE_FILE_BYTES || f->read(rgb, PALETTE_FILE_BYTES, 1) != 1) {
        return fail("load_icon(%s): PAL8 chunk is too short");
    }
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        const uint32_t r = rgb[3 * i];
        const uint32_t g = rgb[3 * i + 1];
        const uint32_t b = rgb[3 * i + 2];
        image_.palette[i] = r | g << 8 | b << 16 | g << 24;
    }
    palette_convert(image_.palette, mgr_->v_mode->rgb_layout);
    if (is_icon_ != 0) {
        for (int i = 0; i < PALETTE_ENTRIES; ++i) {
            image_.palette[i] = (image_.palette[i] >> 1) & 0x7F7F7F7Fu;
        }
    }
    return 1;
}

int IconLoader::read_plane(FileStream* f, const ChunkHeader& h, int lane, const char* short_message)
{
    const size_t pixels = static_cast<size_t>(image_.width) * static_cast<size_t>(image_.height);
    if (h.length < pixels) {
        return fail(short_message);
    }
    if (is_icon_ == 0) {
        return f->read(image_.bitmap, pixels, 1) == 1 ? 1 : fail(short_message);
    }
    uint8_t buffer[4096];
    size_t done = 0;
    while (done < pixels) {
        const size_t n = pixels - done < sizeof buffer ? pixels - done : sizeof buffer;
        if (f->read(buffer, n, 1) != 1) {
            return fail(short_message);
        }
        for (size_t i = 0; i < n; ++i) {
            image_.bitmap[2 * (done + i) + static_cast<size_t>(lane)] = buffer[i];
        }
        done += n;
    }
    return 1;
}

int IconLoader::read(FileStream* f)
{
    ChunkReader reader;
    const uint32_t form = reader.attach(f);
    if (form != (is_icon_ != 0 ? FORM_ICON : FORM_PICT)) {
        return fail("load_icon(%s): Wrong file type");
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
            if (is_icon_ == 0) {
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
    if (image_.palette == nullptr) {
        return fail("load_icon(%s): Palette is missing");
    }
    if (!data_) {
        return fail("load_icon(%s): DATA chunk is missing");
    }
    if (is_icon_ != 0 && !alpha_) {
        return fail("load_icon(%s): ALPH chunk is missing");
    }
    return 1;
}

} // namespace

IconImage::~IconImage()
{
    K_ASSERT(!bitmap);
    K_ASSERT(!palette);
}

void IconImage::release()
{
    if (bitmap != nullptr) {
        kheap_release(bitmap);
        bitmap = nullptr;
    }
    if (palette != nullptr) {
        kheap_release(palette);
        palette = nullptr;
    }
}

void IconImage::make_placeholder(CacheOwner* owner, const ScreenManager* mgr, int is_icon)
{
    K_ASSERT(mgr && mgr->v_mode);
    release();
    width = ICON_PLACEHOLDER_SIDE;
    height = ICON_PLACEHOLDER_SIDE;
    flags = is_icon != 0 ? ICON_HAS_ALPHA : 0;
    bitmap = alloc_bitmap(ICON_PLACEHOLDER_SIDE * ICON_PLACEHOLDER_SIDE, is_icon, owner);
    K_ASSERT(bitmap);
    palette = alloc_palette(owner);
    K_ASSERT(palette);
    for (int i = 0; i < PALETTE_ENTRIES; ++i) {
        palette[i] = 0;
    }
    palette[0] = colour_convert(0x104060, mgr->v_mode->rgb_layout);
    palette[1] = colour_convert(0x082030, mgr->v_mode->rgb_layout);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t index = static_cast<uint8_t>((x ^ y) & 1);
            const int at = y * width + x;
            if (is_icon != 0) {
                bitmap[2 * at] = index;
                bitmap[2 * at + 1] = ICON_PLACEHOLDER_ALPHA;
            } else {
                bitmap[at] = index;
            }
        }
    }
}

int load_icon(IconImage& image, CacheOwner* owner, const ScreenManager* mgr, const char* name, int is_icon)
{
    K_ASSERT(owner && mgr && name);
    K_ASSERT(fsys);
    image.release();
    image.flags = is_icon != 0 ? ICON_HAS_ALPHA : 0;
    FileStream* const f =
        open_sized_picture(name, is_icon != 0 ? "cic" : "cpc", mgr->v_mode->xres, mgr->v_mode->yres);
    if (f == nullptr) {
        return 0;
    }
    IconLoader loader(image, owner, mgr, name, is_icon);
    const int ok = loader.read(f);
    f->close();
    return ok;
}
