// The OpenGL program's ".cmt" reader and texture resources: header rules,
// damaged files, square texel maps, heap blocks, the folder and brightness of
// each kind and the fallback chain.
#include "core/config_variable.h"
#include "core/kheap.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "gl_fixture.h"
#include "renderer/texture_file.h"
#include "renderer/texture_levels.h"
#include "render/texture_fixture.h"
#include "tools/fsys/chunk_writer.h"
#include "tools/textures/texture_writer.h"
#include "world/view/texture_resource.h"
#include "world/view/texture_slot.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

using tools::ChunkWriter;

// PAL8 entries as the reader packs them, unscaled: r | g << 8 | b << 16 | g << 24.
uint32_t packed_entry(const std::array<uint8_t, 768>& p, int i)
{
    const uint32_t g = p[static_cast<size_t>(3 * i + 1)];
    return p[static_cast<size_t>(3 * i)] | g << 8 | static_cast<uint32_t>(p[static_cast<size_t>(3 * i + 2)]) << 16 |
           g << 24;
}

class GLTextureFileTest : public GLVideoTest {
protected:
    void SetUp() override
    {
        GLVideoTest::SetUp();
        ASSERT_EQ(files_.init(), 1);
        ASSERT_EQ(files_.mount(tree_.path().c_str(), 1, 10), 1);
        saved_fsys_ = fsys;
        fsys = &files_;
        capture.show_all();
    }
    void TearDown() override
    {
        texture_.release();
        files_.close();
        fsys = saved_fsys_;
        heap_.close();
        kheap = nullptr;
        GLVideoTest::TearDown();
    }

    int load(const std::vector<uint8_t>& bytes)
    {
        tree_.write("t.cmt", bytes);
        return load_cmt(texture_, "t.cmt");
    }

    // Every level and the palette as the writer made them.
    void expect_matches(const tools::TextureImage& image)
    {
        const int count = tools::whole_chain_levels(image.width, image.height);
        ASSERT_EQ(texture_.mipmaps, count);
        EXPECT_EQ(texture_.usize, image.width);
        EXPECT_EQ(texture_.vsize, image.height);
        EXPECT_EQ(1 << texture_.ulog, image.width);
        EXPECT_EQ(texture_.owner.size, 3 * image.width * image.height);
        EXPECT_EQ(texture_.dirty, 1u);
        const bool alpha = !image.alpha.empty();
        EXPECT_EQ(texture_.flags, alpha ? TEXTURE_TRANSPARENT : 0u);
        const auto indices = tools::index_levels(image, count);
        const auto alphas = alpha ? tools::alpha_levels(image, count) : indices;
        for (int l = 0; l < count; ++l) {
            const TexelMap& m = texture_.levels[l];
            ASSERT_EQ(static_cast<size_t>(m.width) * static_cast<size_t>(m.height), indices[static_cast<size_t>(l)].size());
            const size_t step = alpha ? 2u : 1u;
            for (size_t i = 0; i < indices[static_cast<size_t>(l)].size(); ++i) {
                ASSERT_EQ(m.texels[i * step], indices[static_cast<size_t>(l)][i]) << "level " << l << " texel " << i;
                if (alpha) {
                    ASSERT_EQ(m.texels[i * step + 1], alphas[static_cast<size_t>(l)][i]) << "level " << l << " texel " << i;
                }
            }
        }
        ASSERT_NE(texture_.palette, nullptr);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(texture_.palette[i], packed_entry(image.palette, i)) << i;
        }
    }

    void expect_nothing_held() const
    {
        EXPECT_EQ(texture_.palette, nullptr);
        EXPECT_EQ(texture_.mipmaps, 0);
        for (const TexelMap& m : texture_.levels) {
            EXPECT_EQ(m.texels, nullptr);
        }
    }

    void open_heap()
    {
        ASSERT_EQ(heap_.init(1 << 22, KHEAP_CHECK), 1);
        kheap = &heap_;
    }

    static void set(GLSys::Variable v, const char* value)
    {
        ASSERT_NE(GLSys::variable(v), nullptr);
        ASSERT_EQ(GLSys::variable(v)->set_string(value), 1);
    }

    TempTree tree_;
    FSys files_;
    KHeap heap_;
    Texture texture_;

private:
    FSys* saved_fsys_ = nullptr;
};

TEST_F(GLTextureFileTest, HeaderRulesTakeWholeChainsOfPowerOfTwoSidesUpTo256)
{
    struct SizeCase {
        const char* what;
        uint32_t width;
        uint32_t height;
        uint32_t levels;
        const char* refusal; // null: loads
    };
    const SizeCase cases[] = {
        {"64 x 16, the whole chain", 64, 16, 7, nullptr},
        {"16 x 64, taller than wide", 16, 64, 7, nullptr},
        {"8 x 8: no lower limit", 8, 8, 4, nullptr},
        {"one texel", 1, 1, 1, nullptr},
        {"256 x 256", 256, 256, 9, nullptr},
        {"64 x 16 stopping at the short side", 64, 16, 5, "load_cmt(t.cmt): 5 mipmaps, size (64 * 16)"},
        {"64 x 16 with a level too many", 64, 16, 8, "load_cmt(t.cmt): 8 mipmaps, size (64 * 16)"},
        {"32 x 32 with the five levels of a picture", 32, 32, 5, "load_cmt(t.cmt): 5 mipmaps, size (32 * 32)"},
        {"512 x 256", 512, 256, 10, "load_cmt(t.cmt): too large, size (512 * 256)"},
        {"256 x 512", 256, 512, 10, "load_cmt(t.cmt): too large, size (256 * 512)"},
        {"width no power of two", 24, 16, 6, "load_cmt(t.cmt): Bad size (24 * 16) !"},
        {"height no power of two", 16, 24, 6, "load_cmt(t.cmt): Bad size (16 * 24) !"},
        {"negative width", 0x80000010u, 16, 5, "load_cmt(t.cmt): Bad size (-2147483632 * 16) !"},
        {"zero height", 16, 0, 5, "load_cmt(t.cmt): Bad size (16 * 0) !"},
    };
    for (const bool alpha : {false, true}) {
        for (const SizeCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (alpha ? ", with alpha" : ""));
            capture.clear();
            if (c.refusal == nullptr) {
                const tools::TextureImage image = pattern_image(static_cast<int>(c.width), static_cast<int>(c.height), alpha);
                ASSERT_EQ(tools::whole_chain_levels(image.width, image.height), static_cast<int>(c.levels));
                ASSERT_EQ(load(tools::cmt_bytes(image)), 1);
                expect_matches(image);
                EXPECT_EQ(capture.count(""), 0);
                continue;
            }
            ChunkWriter w(alpha ? "MAPT" : "MIPT");
            w.add("HEAD", tools::head_data(c.width, c.height, c.levels));
            EXPECT_EQ(load(w.bytes()), 0);
            EXPECT_TRUE(capture.contains(c.refusal));
            EXPECT_EQ(capture.count("load_cmt"), 1);
            expect_nothing_held();
        }
    }
}

TEST_F(GLTextureFileTest, DamagedFilesAreRefusedWithoutAnythingHeld)
{
    const tools::TextureImage image = pattern_image(8, 4, true);
    const int count = tools::whole_chain_levels(8, 4);
    const auto head = tools::head_data(8, 4, static_cast<uint32_t>(count));
    const auto pal = tools::palette_data(image.palette);
    const auto data = tools::levels_data(tools::index_levels(image, count));
    const auto alpha = tools::levels_data(tools::alpha_levels(image, count));
    const std::vector<uint8_t> short_data(data.begin(), data.end() - 1);
    const std::vector<uint8_t> short_alpha(alpha.begin(), alpha.end() - 1);
    const BadTextureCase cases[] = {
        {"another form", "MIPS", {{"HEAD", head}}, "load_cmt(t.cmt): Id is not MIPT/MAPT !"},
        {"short head", "MIPT", {{"HEAD", std::vector<uint8_t>(8, 4)}}, "load_cmt(t.cmt): HEAD too short !"},
        {"no head", "MIPT", {{"PAL8", pal}}, "load_cmt(t.cmt): HEAD not found !"},
        {"no palette", "MIPT", {{"HEAD", head}, {"DATA", data}}, "load_cmt(t.cmt): PAL8 not found !"},
        {"short palette", "MIPT", {{"PAL8", std::vector<uint8_t>(767, 1)}}, "load_cmt(t.cmt): Can't load palette !"},
        {"no data", "MIPT", {{"HEAD", head}, {"PAL8", pal}}, "load_cmt(t.cmt): DATA not found !"},
        {"data before head", "MIPT", {{"DATA", data}, {"HEAD", head}}, "load_cmt(t.cmt): DATA without HEAD !"},
        {"short data: the last level", "MIPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", short_data}},
         "load_cmt(t.cmt): Can't load mipmap 3 !"},
        {"short data: the first level", "MIPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", std::vector<uint8_t>(31, 1)}},
         "load_cmt(t.cmt): Can't load mipmap 0 !"},
        {"alpha missing", "MAPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", data}}, "load_cmt(t.cmt): DATA/ALPH not found !"},
        {"alpha before data", "MAPT", {{"HEAD", head}, {"ALPH", alpha}}, "load_cmt(t.cmt): ALPH without DATA !"},
        {"short alpha", "MAPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", data}, {"ALPH", short_alpha}},
         "load_cmt(t.cmt): Can't load mipmap 3 alpha channel !"},
        {"head after data", "MAPT", {{"HEAD", head}, {"PAL8", pal}, {"DATA", data}, {"HEAD", tools::head_data(16, 16, 5)}},
         "load_cmt(t.cmt): HEAD after DATA !"},
    };
    for (const BadTextureCase& c : cases) {
        SCOPED_TRACE(c.what);
        capture.clear();
        EXPECT_EQ(load(chunked_file(c)), 0);
        EXPECT_TRUE(capture.contains(c.message));
        EXPECT_EQ(capture.count("load_cmt"), 1);
        expect_nothing_held();
    }

    // A length that claims more than the file holds does not stand in for texels.
    ChunkWriter w("MIPT");
    w.add("HEAD", head);
    w.add("PAL8", pal);
    w.add_with_length("DATA", 0x7FFFFFF0u, short_data);
    capture.clear();
    EXPECT_EQ(load(w.bytes()), 0);
    EXPECT_TRUE(capture.contains("load_cmt(t.cmt): Chunk runs past the end of the file !"));
    expect_nothing_held();

    // The whole file cut at every length: refused, unless only the last
    // chunk's padding went.
    const std::vector<uint8_t> whole = tools::cmt_bytes(image);
    const size_t padding = (4 - alpha.size() % 4) % 4;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const int loaded = load(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_EQ(loaded, cut >= whole.size() - padding ? 1 : 0);
        if (loaded == 0) {
            expect_nothing_held();
        }
    }
    ASSERT_EQ(load(whole), 1);
    expect_matches(image);
}

TEST_F(GLTextureFileTest, FilesAreFoundUnderTheirFolderAsCmtOnly)
{
    const tools::TextureImage image = pattern_image(16, 16, false);
    tree_.write("textures/res/wall.cmt", tools::cmt_bytes(image));
    tree_.write("textures/loose.cmt", tools::cmt_bytes(image));
    tree_.write("textures/res/pic.cel", tools::cel_bytes(image));
    struct FindCase {
        const char* resource;
        const char* name;
        int found;
    };
    const FindCase cases[] = {{"res", "wall", 1}, {"", "loose", 1}, {"res", "pic", 0}, {"res", "loose", 0}, {"other", "wall", 0}};
    for (const FindCase& c : cases) {
        SCOPED_TRACE(std::string(c.resource) + ":" + c.name);
        EXPECT_EQ(find_texture_file(texture_, "textures", c.resource, c.name, TEXTURE_KIND_SPRITE), c.found);
        EXPECT_EQ(texture_.kind, TEXTURE_KIND_SPRITE);
        EXPECT_EQ(texture_.palette != nullptr, c.found == 1);
    }
    EXPECT_STREQ(texture_directory(TEXTURE_KIND_MODEL), "models");
    for (const int32_t kind : {TEXTURE_KIND_MAP, TEXTURE_KIND_SPRITE, TEXTURE_KIND_SKY_DOME, TEXTURE_KIND_SKY_BOX}) {
        EXPECT_STREQ(texture_directory(kind), "textures") << kind;
    }
}

TEST_F(GLTextureFileTest, AnimatedModelSkinsAreReadFromTheModelsFolder)
{
    tree_.write("models/ogre/skin0.cmt", tools::cmt_bytes(pattern_image(32, 32, false, 1)));
    tree_.write("models/ogre/skin1.cmt", tools::cmt_bytes(pattern_image(16, 16, false, 2)));
    tree_.write("models/ogre/anim.cmt", tools::mips_bytes({{"skin0", 0.5f}, {"skin1", 0.5f}}, 0));
    tree_.write("models/loose.cmt", tools::mips_bytes({{"skin0", 0.5f}}, -1));
    TextureSlot slot;
    ASSERT_EQ(slot.load("ogre", "anim", TEXTURE_KIND_MODEL, nullptr), 1);
    ASSERT_EQ(slot.frame_count, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(slot.frames[i].kind, TEXTURE_KIND_MODEL);
        ASSERT_EQ(slot.frames[i].touch(), 1);
        EXPECT_EQ(slot.frames[i].texture->usize, i == 0 ? 32 : 16);
    }
    // Under "textures" there is no such sequence: one frame of its own name.
    ASSERT_EQ(slot.load("ogre", "anim", TEXTURE_KIND_MAP, nullptr), 1);
    EXPECT_EQ(slot.frame_count, 1);
    // A sequence right under the folder, without a resource.
    ASSERT_EQ(slot.load("", "loose", TEXTURE_KIND_MODEL, nullptr), 1);
    EXPECT_EQ(slot.frame_count, 1);
    EXPECT_STREQ(slot.frames[0].name, "skin0");
    EXPECT_EQ(capture.count("TextureSlot"), 0);
}

TEST_F(GLTextureFileTest, BlocksComeFromTheHeapUnderTheirNames)
{
    open_heap();
    const tools::TextureImage image = pattern_image(16, 8, true);
    tree_.write("textures/res/glass.cmt", tools::cmt_bytes(image));
    {
        // Owned by a resource, the texture's blocks are cacheable blocks of
        // it. Owners live in the heap.
        void* const place = kheap_alloc(sizeof(TextureResource), KHEAP_FROM_BOTTOM, "TextureOwner");
        ASSERT_NE(place, nullptr);
        TextureResource& resource = *new (place) TextureResource;
        ASSERT_EQ(resource.set_names("res", "glass"), 1);
        ASSERT_EQ(resource.touch(), 1);
        const Texture& t = *resource.texture;
        struct Named {
            const void* data;
            const char* name;
        };
        for (const Named& n : {Named{&t, "Texture"}, Named{t.palette, "TexturePalette"}, Named{t.levels[0].texels, "TexelMap"},
                               Named{t.levels[4].texels, "TexelMap"}}) {
            const MemoryBlock* const block = heap_.object_block(n.data);
            ASSERT_NE(block, nullptr) << n.name;
            EXPECT_STREQ(block->name, n.name);
            EXPECT_TRUE(block->is_cacheable()) << n.name;
            EXPECT_EQ(block->owner, &resource) << n.name;
        }
        resource.flush();
        EXPECT_EQ(resource.texture, nullptr);
        resource.~TextureResource();
        kheap_release(place);
        EXPECT_EQ(heap_.check(1), 1);
    }
    // Without an owner: persistent blocks of the heap.
    ASSERT_EQ(texture_.create_levels(8, 8), 1);
    const MemoryBlock* const block = heap_.object_block(texture_.levels[0].texels);
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block->name, "TexelMap");
    EXPECT_TRUE(block->is_persistent());
    texture_.release();
    EXPECT_EQ(heap_.check(1), 1);
}

TEST_F(GLTextureFileTest, SquareTexelMapsHoldTheImageAndUploadTheSame)
{
    start_gl();
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    open_heap();
    const tools::TextureImage image = pattern_image(64, 16, true);
    tree_.write("t.cmt", tools::cmt_bytes(image));
    std::vector<std::vector<uint8_t>> uploads;
    for (const char* square : {"False", "True"}) {
        SCOPED_TRACE(square);
        set(GLSys::V_SQUARE_TEXTURES, square);
        ASSERT_EQ(load_cmt(texture_, "t.cmt"), 1);
        expect_matches(image);
        const bool is_square = std::strcmp(square, "True") == 0;
        for (int l = 0; l < texture_.mipmaps; ++l) {
            const TexelMap& m = texture_.levels[l];
            const size_t side = static_cast<size_t>(std::max(m.width, m.height));
            const size_t want = 2u * (is_square ? side * side : static_cast<size_t>(m.width) * static_cast<size_t>(m.height));
            const MemoryBlock* const block = heap_.object_block(m.texels);
            ASSERT_NE(block, nullptr);
            EXPECT_GE(block->size - sizeof(MemoryBlock), want) << "level " << l;
            EXPECT_LT(block->size - sizeof(MemoryBlock), want + KHEAP_ALIGN) << "level " << l;
        }
        ASSERT_EQ(texture_.bind(), 1);
        std::vector<uint8_t> level0(64u * 16u * 4u);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, level0.data());
        uploads.push_back(level0);
        texture_.release();
    }
    EXPECT_EQ(uploads[0], uploads[1]);
}

TEST_F(GLTextureFileTest, PaletteBrightnessFollowsKindGammaAndOverbright)
{
    start_gl();
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    struct FactorCase {
        int32_t kind;
        bool transparent;
        const char* gamma;
        const char* overbright;
        float factor;
    };
    const FactorCase cases[] = {
        {TEXTURE_KIND_MAP, false, "1.0", "True", 1.0f},      {TEXTURE_KIND_MAP, false, "1.0", "False", 2.0f},
        {TEXTURE_KIND_MAP, true, "1.0", "False", 1.0f},      {TEXTURE_KIND_MAP, false, "0.75", "False", 1.5f},
        {TEXTURE_KIND_MODEL, false, "1.0", "False", 1.5f},   {TEXTURE_KIND_MODEL, true, "0.5", "True", 0.75f},
        {TEXTURE_KIND_SPRITE, false, "1.0", "False", 1.0f},  {TEXTURE_KIND_SKY_DOME, false, "1.25", "False", 1.25f},
        {TEXTURE_KIND_SKY_BOX, false, "1.25", "True", 1.25f},
    };
    for (const FactorCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + (c.transparent ? " transparent" : "") + " gamma " + c.gamma +
                     " overbright " + c.overbright);
        set(GLSys::V_GAMMA, c.gamma);
        set(GLSys::V_OVERBRIGHT, c.overbright);
        EXPECT_FLOAT_EQ(texture_brightness_factor(c.kind, c.transparent ? TEXTURE_TRANSPARENT : 0u), c.factor);
    }

    // Through a resource: a map surface's byte of 200 doubles to white
    // without overbright; the fourth byte keeps its value.
    tools::TextureImage image = pattern_image(8, 8, false);
    image.palette.fill(200);
    image.palette[0] = 100;
    tree_.write("textures/res/lit.cmt", tools::cmt_bytes(image));
    set(GLSys::V_GAMMA, "1.0");
    for (const char* overbright : {"True", "False"}) {
        SCOPED_TRACE(overbright);
        set(GLSys::V_OVERBRIGHT, overbright);
        TextureResource resource;
        ASSERT_EQ(resource.set_names("res", "lit"), 1);
        resource.kind = TEXTURE_KIND_MAP;
        ASSERT_EQ(resource.touch(), 1);
        const bool doubled = std::strcmp(overbright, "False") == 0;
        EXPECT_EQ(resource.texture->palette[1], doubled ? 0xC8FFFFFFu : 0xC8C8C8C8u);
        EXPECT_EQ(resource.texture->palette[0], doubled ? 0xC8FFFFC8u : 0xC8C8C864u);
        // Set once at load: a later change leaves it.
        set(GLSys::V_GAMMA, "0.5");
        EXPECT_EQ(resource.texture->palette[1], doubled ? 0xC8FFFFFFu : 0xC8C8C8C8u);
        set(GLSys::V_GAMMA, "1.0");
    }
}

TEST_F(GLTextureFileTest, ResourcesFallBackToNoneThenToABlankTexture)
{
    const tools::TextureImage wall = pattern_image(16, 16, false, 1);
    const tools::TextureImage none = pattern_image(8, 8, false, 2);
    const tools::TextureImage skin = pattern_image(32, 32, false, 3);
    tree_.write("textures/res/wall.cmt", tools::cmt_bytes(wall));
    tree_.write("models/ogre/skin0.cmt", tools::cmt_bytes(skin));
    struct FallbackCase {
        const char* what;
        const char* resource;
        const char* name;
        int32_t kind;
        bool none_there;
        int32_t usize; // of what was loaded
        std::vector<const char*> messages;
    };
    const FallbackCase cases[] = {
        {"found", "res", "wall", TEXTURE_KIND_MAP, true, 16, {}},
        {"a model skin under models", "ogre", "skin0", TEXTURE_KIND_MODEL, false, 32, {}},
        {"a model skin is not looked for under textures", "res", "wall", TEXTURE_KIND_MODEL, false, 16,
         {"Can't load texture 'res:wall'", "Can't load 'none:none' either"}},
        {"missing: none:none instead", "res", "gone", TEXTURE_KIND_SPRITE, true, 8,
         {"Can't load texture 'res:gone'", "Loading default texture instead"}},
        {"missing, and none:none too", "res", "gone", TEXTURE_KIND_SKY_BOX, false, 16,
         {"Can't load texture 'res:gone'", "Can't load 'none:none' either"}},
        {"no names: blank", "", "", TEXTURE_KIND_MAP, true, 16, {}},
    };
    for (const FallbackCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.none_there) {
            tree_.write("textures/none/none.cmt", tools::cmt_bytes(none));
            tree_.write("models/none/none.cmt", tools::cmt_bytes(none));
        } else {
            std::filesystem::remove(tree_.path("textures/none/none.cmt"));
            std::filesystem::remove(tree_.path("models/none/none.cmt"));
        }
        capture.clear();
        TextureResource resource;
        ASSERT_EQ(resource.set_names(c.resource, c.name), 1);
        resource.kind = c.kind;
        ASSERT_EQ(resource.touch(), 1);
        ASSERT_NE(resource.texture, nullptr);
        EXPECT_EQ(resource.texture->usize, c.usize);
        EXPECT_EQ(resource.texture->mipmaps, texture_level_count(c.usize, c.usize));
        ASSERT_EQ(capture.lines().size(), c.messages.size());
        for (size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_NE(capture.lines()[i].text.find(c.messages[i]), std::string::npos) << capture.lines()[i].text;
        }
        if (c.messages.size() == 2) {
            EXPECT_EQ(capture.lines()[0].stream, P_WARNING);
            EXPECT_EQ(capture.lines()[1].stream, std::string(c.messages[1]).find("either") != std::string::npos ? P_ERROR : P_WARNING);
        }
        resource.flush();
    }
}

} // namespace
