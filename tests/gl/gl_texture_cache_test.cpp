#include "gl/gl_lightmap_manager.h"
#include "gl/gl_texture_manager.h"
#include "gl_fixture.h"
#include "host/host_gl.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace {

class GLTextureCacheTest : public GLVideoTest {
protected:
    void TearDown() override
    {
        gl_lightmap_manager.close();
        GLVideoTest::TearDown();
    }

    // GL started, then a cache of the given names and budget.
    bool start_cache(int32_t names, int64_t budget)
    {
        start_gl();
        if (IsSkipped() || HasFatalFailure()) {
            return false;
        }
        capture.show_all();
        EXPECT_EQ(gl_texture_manager.init(names, budget), 1);
        capture.clear();
        return true;
    }

    static GLuint bound_name()
    {
        GLint name = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
        return static_cast<GLuint>(name);
    }

    static GLuint name_of(const GLTextureOwner& owner) { return gl_texture_manager.names[owner.id]; }

    int evictions() const { return capture.count("GLTextureManager: caching out..."); }
};

struct BudgetCase {
    const char* what;
    int32_t names;
    int64_t budget;
    std::vector<int32_t> sizes;     // owners activated in this order
    std::vector<bool> resident;     // afterwards
    int evictions;
};

TEST_F(GLTextureCacheTest, ActivationEvictsTheLeastRecentUntilNamesAndBytesFit)
{
    if (!start_cache(4, 1 << 30)) {
        return;
    }
    const BudgetCase cases[] = {
        {"four names hold three", 4, 1 << 30, {0, 0, 0, 0}, {false, true, true, true}, 1},
        {"400 x 3 is not below 1000", 16, 1000, {400, 400, 400}, {false, true, true}, 1},
        {"999 fits below 1000", 16, 1000, {600, 300, 99}, {true, true, true}, 0},
        {"1000 does not fit", 16, 1000, {600, 300, 100}, {false, true, true}, 1},
        {"two evicted for a large one", 16, 1000, {300, 300, 300, 699}, {false, false, true, true}, 2},
        {"one beyond the budget stays alone", 16, 1000, {300, 2000}, {false, true}, 1},
        {"a pool of one name serves one", 1, 1 << 30, {0, 0}, {false, true}, 1},
    };
    for (const BudgetCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(gl_texture_manager.init(c.names, c.budget), 1);
        capture.clear();
        std::vector<std::unique_ptr<GLTextureOwner>> owners;
        for (const int32_t size : c.sizes) {
            owners.push_back(std::make_unique<GLTextureOwner>());
            owners.back()->set_size(size);
            EXPECT_EQ(owners.back()->activate(), 0);
            // The newly named texture is the bound one.
            EXPECT_EQ(bound_name(), name_of(*owners.back()));
        }
        int64_t bytes = 0;
        int32_t count = 0;
        for (size_t i = 0; i < owners.size(); ++i) {
            EXPECT_EQ(owners[i]->id >= 0, c.resident[i]) << "owner " << i;
            if (owners[i]->id >= 0) {
                EXPECT_EQ(gl_texture_manager.id_owner[owners[i]->id], owners[i].get());
                bytes += owners[i]->size;
                ++count;
            }
        }
        EXPECT_EQ(gl_texture_manager.count, count);
        EXPECT_EQ(gl_texture_manager.bytes, bytes);
        EXPECT_EQ(evictions(), c.evictions);
        // Destroying the owners gives every name back.
        owners.clear();
        EXPECT_EQ(gl_texture_manager.count, 0);
        EXPECT_EQ(gl_texture_manager.bytes, 0);
    }
}

TEST_F(GLTextureCacheTest, ReactivationKeepsATextureRecentAndBindsOnlyWhenAnotherWasBound)
{
    if (!start_cache(3, 1 << 30)) {
        return;
    }
    GLTextureOwner a, b, c;
    EXPECT_EQ(a.activate(), 0);
    EXPECT_EQ(b.activate(), 0);
    EXPECT_NE(name_of(a), name_of(b));
    EXPECT_EQ(a.activate(), 1);
    EXPECT_EQ(bound_name(), name_of(a));

    // A second activation of the bound texture makes no GL call: a binding
    // made behind the cache's back survives it.
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(a.activate(), 1);
    EXPECT_EQ(bound_name(), 0u);
    EXPECT_EQ(b.activate(), 1);
    EXPECT_EQ(bound_name(), name_of(b));
    EXPECT_EQ(a.activate(), 1);
    EXPECT_EQ(bound_name(), name_of(a));

    // a was used last: c takes b's place.
    EXPECT_EQ(c.activate(), 0);
    EXPECT_EQ(a.id >= 0, true);
    EXPECT_EQ(b.id, -1);
    EXPECT_EQ(evictions(), 1);
    EXPECT_EQ(b.activate(), 0);
    EXPECT_EQ(a.id, -1);
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}

TEST_F(GLTextureCacheTest, FlushAndReleaseMakeTheNextActivationUploadOnce)
{
    if (!start_cache(16, 1 << 30)) {
        return;
    }
    GLTextureOwner owners[5];
    for (GLTextureOwner& o : owners) {
        o.set_size(100);
        EXPECT_EQ(o.activate(), 0);
    }
    EXPECT_EQ(gl_texture_manager.bytes, 500);
    gl_texture_manager.flush();
    EXPECT_EQ(gl_texture_manager.count, 0);
    EXPECT_EQ(gl_texture_manager.bytes, 0);
    for (GLTextureOwner& o : owners) {
        EXPECT_EQ(o.id, -1);
        EXPECT_EQ(o.activate(), 0);
        EXPECT_EQ(o.activate(), 1);
    }
    owners[2].release();
    EXPECT_EQ(owners[2].id, -1);
    EXPECT_EQ(gl_texture_manager.count, 4);
    EXPECT_EQ(owners[2].activate(), 0);

    // A resident owner that changes its size is charged the new size.
    owners[0].set_size(250);
    EXPECT_EQ(gl_texture_manager.bytes, 650);
    owners[0].release();
    EXPECT_EQ(gl_texture_manager.bytes, 400);
    owners[1].set_size(-5);
    EXPECT_TRUE(capture.contains("GLTextureOwner: size -5 refused"));
    EXPECT_EQ(owners[1].size, 0);
    EXPECT_EQ(gl_texture_manager.bytes, 300);

    // Closing the cache leaves owners non-resident; without a cache nothing is bound.
    gl_texture_manager.close();
    for (GLTextureOwner& o : owners) {
        EXPECT_EQ(o.id, -1);
        EXPECT_EQ(o.activate(), -1);
    }
}

TEST_F(GLTextureCacheTest, InitRefusesAnEmptyPool)
{
    if (!start_cache(16, 1 << 30)) {
        return;
    }
    for (const int32_t n : {0, -3}) {
        capture.clear();
        EXPECT_EQ(gl_texture_manager.init(n, 1000), 0);
        EXPECT_TRUE(capture.contains("GLTextureManager: Not enough memory"));
        EXPECT_EQ(gl_texture_manager.names, nullptr);
    }
}

// Lightmaps

class GLLightmapTest : public GLTextureCacheTest {
protected:
    bool start_lightmaps(int32_t s0, int32_t s1, int32_t s2, int32_t names = 16384)
    {
        if (!start_cache(names, 1 << 30)) {
            return false;
        }
        const int32_t max[LMAP_SIZES] = {s0, s1, s2};
        EXPECT_EQ(gl_lightmap_manager.init(max), 1);
        return true;
    }

    // The bound texture's level 0, RGBA.
    static std::vector<uint8_t> bound_texels(int32_t* width)
    {
        GLint w = 0;
        GLint h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        *width = w == h ? w : -1;
        std::vector<uint8_t> texels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4u);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        return texels;
    }

    static std::vector<uint8_t> pattern(int32_t side, uint8_t seed)
    {
        std::vector<uint8_t> p(static_cast<size_t>(side) * static_cast<size_t>(side) * 4u);
        for (size_t i = 0; i < p.size(); ++i) {
            p[i] = static_cast<uint8_t>(i * 7u + seed);
        }
        return p;
    }
};

TEST_F(GLLightmapTest, SidesChooseTheClassAndBadSidesAreRefused)
{
    if (!start_lightmaps(2, 2, 2)) {
        return;
    }
    struct SideCase {
        int32_t side;
        int32_t size_id;
    };
    const SideCase cases[] = {{1, 2}, {8, 2}, {9, 1}, {16, 1}, {17, 0}, {32, 0}};
    for (const SideCase& c : cases) {
        GLLightmapOwner owner;
        EXPECT_EQ(owner.set_size(c.side, 5u), 1) << c.side;
        EXPECT_EQ(owner.size_id, c.size_id) << c.side;
        EXPECT_EQ(owner.stamp, 5u);
        EXPECT_EQ(owner.activate(), 0) << c.side;
        int32_t width = 0;
        bound_texels(&width);
        EXPECT_EQ(width, 32 >> c.size_id) << c.side;
    }
    for (const int32_t side : {0, -1, 33, 64}) {
        capture.clear();
        GLLightmapOwner owner;
        EXPECT_EQ(owner.set_size(side, 1u), 0) << side;
        EXPECT_TRUE(capture.contains("GLLightmapOwner: lightmap size " + std::to_string(side) + " refused"));
        EXPECT_EQ(owner.activate(), -1) << side;
        EXPECT_EQ(owner.id, -1);
    }
    // A lightmap that changes class gives its old slot back.
    GLLightmapOwner owner;
    owner.set_size(32, 1u);
    EXPECT_EQ(owner.activate(), 0);
    EXPECT_EQ(gl_lightmap_manager.count[0], 1);
    owner.set_size(8, 2u);
    EXPECT_EQ(owner.id, -1);
    EXPECT_EQ(gl_lightmap_manager.count[0], 0);
    EXPECT_EQ(owner.activate(), 0);
    EXPECT_EQ(gl_lightmap_manager.count[2], 1);
}

TEST_F(GLLightmapTest, AClassHoldsOneLightmapFewerThanItsSlots)
{
    struct ClassCase {
        int32_t slots;
        int32_t held; // most lightmaps resident at once
    };
    if (!start_lightmaps(1, 1, 1)) {
        return;
    }
    const ClassCase cases[] = {{3, 2}, {2, 1}, {1, 1}};
    for (const ClassCase& c : cases) {
        SCOPED_TRACE(c.slots);
        const int32_t max[LMAP_SIZES] = {c.slots, c.slots, c.slots};
        ASSERT_EQ(gl_lightmap_manager.init(max), 1);
        GLLightmapOwner owners[4];
        for (GLLightmapOwner& o : owners) {
            o.set_size(8, 1u);
            EXPECT_EQ(o.activate(), 0);
            EXPECT_LE(gl_lightmap_manager.count[2], c.held);
        }
        EXPECT_EQ(gl_lightmap_manager.count[2], c.held);
        // The most recent ones kept their slots.
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(owners[i].id >= 0, i >= 4 - c.held) << i;
        }
        EXPECT_EQ(owners[3].activate(), 1);
    }
    // A class without slots serves nothing and binds nothing.
    const int32_t none[LMAP_SIZES] = {0, 4, 4};
    ASSERT_EQ(gl_lightmap_manager.init(none), 1);
    GLLightmapOwner big;
    big.set_size(32, 1u);
    EXPECT_EQ(big.activate(), -1);
    const int32_t bad[LMAP_SIZES] = {4, -1, 4};
    capture.clear();
    EXPECT_EQ(gl_lightmap_manager.init(bad), 0);
    EXPECT_TRUE(capture.contains("GLLightmapManager: -1 lightmaps of size 16x16 refused"));
}

TEST_F(GLLightmapTest, LightmapsWrittenIntoSlotsReadBackAndSurviveUntilEvicted)
{
    // Eight names: the six slots fit, and seven more textures push them all out.
    if (!start_lightmaps(2, 2, 2, 8)) {
        return;
    }
    EXPECT_EQ(gl_texture_manager.count, 6);
    struct UploadCase {
        int32_t side;
        int32_t stored; // side of the slot texture
    };
    const UploadCase cases[] = {{32, 32}, {16, 16}, {5, 8}};
    for (const UploadCase& c : cases) {
        SCOPED_TRACE(c.side);
        GLLightmapOwner owner;
        owner.set_size(c.side, 9u);
        ASSERT_EQ(owner.activate(), 0);
        EXPECT_EQ(owner.take_stamp(), 1);
        const std::vector<uint8_t> texels = pattern(c.side, static_cast<uint8_t>(c.side));
        GLSys::send_subimage(texels.data(), 0, 0, c.side, c.side);
        EXPECT_EQ(GLSys::report_errors("test"), 0);

        EXPECT_EQ(owner.activate(), 1);
        EXPECT_EQ(owner.take_stamp(), 0);
        int32_t width = 0;
        const std::vector<uint8_t> stored = bound_texels(&width);
        ASSERT_EQ(width, c.stored);
        for (int32_t y = 0; y < c.stored; ++y) {
            for (int32_t x = 0; x < c.stored; ++x) {
                const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(c.stored) + static_cast<size_t>(x)) * 4u;
                const bool inside = x < c.side && y < c.side;
                const size_t from = (static_cast<size_t>(y) * static_cast<size_t>(c.side) + static_cast<size_t>(x)) * 4u;
                // Slots store no alpha: it reads back opaque.
                for (size_t k = 0; k < 3; ++k) {
                    ASSERT_EQ(stored[at + k], inside ? texels[from + k] : 0) << x << "," << y;
                }
                ASSERT_EQ(stored[at + 3], 255) << x << "," << y;
            }
        }
    }

    // The texture cache drops a slot's texture: the slot comes back blank
    // and the lightmap must be written again.
    GLLightmapOwner owner;
    owner.set_size(16, 1u);
    ASSERT_EQ(owner.activate(), 0);
    const std::vector<uint8_t> texels = pattern(16, 3);
    GLSys::send_subimage(texels.data(), 0, 0, 16, 16);
    GLTextureOwner others[7];
    for (GLTextureOwner& o : others) {
        o.activate();
    }
    EXPECT_EQ(owner.activate(), 0);
    int32_t width = 0;
    const std::vector<uint8_t> stored = bound_texels(&width);
    EXPECT_EQ(width, 16);
    std::vector<uint8_t> blank(16u * 16u * 4u, 0);
    for (size_t i = 3; i < blank.size(); i += 4) {
        blank[i] = 255;
    }
    EXPECT_EQ(stored, blank);
    EXPECT_EQ(owner.activate(), 1);

    // After a flush of the lightmaps every owner is without a slot.
    gl_lightmap_manager.flush();
    EXPECT_EQ(owner.id, -1);
    EXPECT_EQ(gl_lightmap_manager.count[1], 0);
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}

TEST(GLLightmapOwnerTest, TakeStampReportsEachChangeOnce)
{
    GLLightmapOwner owner;
    EXPECT_EQ(owner.id, -1);
    EXPECT_EQ(owner.take_stamp(), 0);
    owner.stamp = 4u;
    EXPECT_EQ(owner.take_stamp(), 1);
    EXPECT_EQ(owner.uploaded, 4u);
    EXPECT_EQ(owner.take_stamp(), 0);
    EXPECT_EQ(owner.take_stamp(7u), 1);
    EXPECT_EQ(owner.uploaded, 7u);
    EXPECT_EQ(owner.take_stamp(7u), 0);
    EXPECT_EQ(owner.take_stamp(), 1);
    EXPECT_EQ(owner.uploaded, 4u);
}

} // namespace
