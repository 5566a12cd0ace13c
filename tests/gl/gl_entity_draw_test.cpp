// The OpenGL program's entities drawn on a cleared window and read back:
// sprites, lens flares with their depth-read visibility, mesh models and
// particles, each with the variables that switch it off.
#include "core/config_variable.h"
#include "core/sine_table.h"
#include "core/view_frame.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "gl/gl_entity_draw.h"
#include "gl/gl_generated_textures.h"
#include "gl_fixture.h"
#include "host/host_gl.h"
#include "renderer/lamp_sprite.h"
#include "renderer/mesh_object.h"
#include "renderer/particle_render.h"
#include "renderer/screen_manager.h"
#include "renderer/screen_projection.h"
#include "renderer/texture.h"
#include "support/colour_words.h"
#include "tests/render/silhouette.h"
#include "tools/models/demo_models.h"
#include "tools/models/model_writer.h"
#include "tools/textures/texture_writer.h"
#include "world/light_source.h"
#include "world/view/sprite.h"
#include "world/view/texture_slot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t SIDE = 64; // the window, zoom 1: 32 pixels a unit at depth 1

struct Rgba {
    int r, g, b, a;
};

class GLEntityTest : public GLVideoTest {
protected:
    void SetUp() override
    {
        GLVideoTest::SetUp();
        ASSERT_EQ(sine_.init(4096), 1);
        saved_sine_ = sine_table;
        sine_table = &sine_;
        start_gl();
        if (IsSkipped()) {
            return;
        }
        screen_.v_mode = mode.get();
        ASSERT_EQ(proj_.init(&screen_), 1);
        ASSERT_EQ(proj_.width, SIDE);
    }

    void TearDown() override
    {
        proj_.close();
        sine_table = saved_sine_;
        GLVideoTest::TearDown();
    }

    // The camera at the origin looking along +z, x right, y down; colour
    // and depth cleared.
    void begin(const Matrix* camera = nullptr)
    {
        ViewFrame v;
        if (camera != nullptr) {
            v.view = *camera;
        } else {
            mat_identity(v.view);
        }
        v.set_extents(1.0f, 1.0f);
        proj_.init_frame(v);
        GLSys::set_depth(2);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    void read()
    {
        pixels_.assign(static_cast<size_t>(SIDE * SIDE * 4), 0);
        glReadPixels(0, 0, SIDE, SIDE, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    }
    // Pixel x, y counted from the top left of the window.
    Rgba at(int x, int y) const
    {
        const uint8_t* p = &pixels_[static_cast<size_t>(((SIDE - 1 - y) * SIDE + x) * 4)];
        return {p[0], p[1], p[2], p[3]};
    }
    int lit_pixels() const
    {
        int n = 0;
        for (int y = 0; y < SIDE; ++y) {
            for (int x = 0; x < SIDE; ++x) {
                const Rgba c = at(x, y);
                n += (c.r | c.g | c.b) != 0 ? 1 : 0;
            }
        }
        return n;
    }

    void set_var(GLProjectionVariable v, bool on) { proj_.variable(v)->set_bool(on ? 1 : 0); }

    // An opaque grey square facing the camera at depth z, written to depth.
    // A black wall across the view at depth z; only below the view axis
    // when lower_half is set.
    void wall(float z, bool lower_half = false)
    {
        const float top = lower_half ? 0.0f : 2.0f * z;
        GLSys::set_depth(2);
        GLSys::set_texturing(0);
        GLSys::set_blending(0);
        GLSys::set_culling(0);
        glColor3f(0.0f, 0.0f, 0.0f);
        glBegin(GL_QUADS);
        glVertex3f(-2.0f * z, -2.0f * z, z);
        glVertex3f(2.0f * z, -2.0f * z, z);
        glVertex3f(2.0f * z, top, z);
        glVertex3f(-2.0f * z, top, z);
        glEnd();
    }

    // Window depth of a point at distance z in front of the camera.
    static double window_depth(double z)
    {
        const double n = GL_NEAR_DISTANCE;
        const double f = GL_FAR_DISTANCE;
        return 0.5 * ((f + n) / (f - n) - 2.0 * f * n / ((f - n) * z) + 1.0);
    }
    float depth_at(int x, int y) const
    {
        float d = 0.0f;
        glReadPixels(x, SIDE - 1 - y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &d);
        return d;
    }

    SineTable sine_;
    SineTable* saved_sine_ = nullptr;
    ScreenManager screen_;
    ScreenProjection proj_;
    std::vector<uint8_t> pixels_;
};

// ---- sprites ----------------------------------------------------------------

class GLSpriteTest : public GLEntityTest {
protected:
    // A 16 x 16 sprite frame: red texels, the left half clear.
    void make_sprite(bool transparent)
    {
        ASSERT_EQ(slot_.load("tst", "spr", TEXTURE_KIND_SPRITE, nullptr), 1);
        sprite_.set_texture(&slot_, proj_);
        paint(slot_.frames[0], 0xFF0000FFu, transparent);
    }
    // Texture files are not this test's: a frame falls back to a blank
    // texture, which takes these texels instead.
    static void paint(TextureResource& frame, uint32_t colour, bool transparent)
    {
        ASSERT_EQ(frame.touch(), 1);
        Texture* const t = frame.texture;
        ASSERT_NE(t, nullptr);
        t->flags = transparent ? TEXTURE_TRANSPARENT : 0;
        ASSERT_EQ(t->create_levels(16, 16), 1);
        t->palette[1] = colour;
        for (int l = 0; l < t->mipmaps; ++l) {
            const TexelMap& m = t->levels[l];
            for (int y = 0; y < m.height; ++y) {
                for (int x = 0; x < m.width; ++x) {
                    const int i = y * m.width + x;
                    if (transparent) {
                        m.texels[2 * i] = 1;
                        m.texels[2 * i + 1] = x < m.width / 2 ? 0 : 255;
                    } else {
                        m.texels[i] = 1;
                    }
                }
            }
        }
    }

    TextureSlot slot_;
    Sprite sprite_;
};

TEST_F(GLSpriteTest, ASpriteShowsItsTexelsOneAWorldUnit)
{
    make_sprite(true);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    begin();
    sprite_.position = {0.0f, 0.0f, 64.0f}; // 16 units: 8 pixels across
    draw_sprite_transparent(sprite_, proj_);
    read();
    // Columns 28..35 hold the sprite; only its right half (32..35) is opaque.
    EXPECT_EQ(lit_pixels(), 4 * 8);
    EXPECT_EQ(at(33, 32).r, 255);
    EXPECT_EQ(at(33, 32).g, 0);
    EXPECT_EQ(at(29, 32).r, 0) << "the clear half lets the black through";
    EXPECT_EQ(at(33, 27).r, 0);
    EXPECT_EQ(at(33, 28).r, 255);
    EXPECT_EQ(at(33, 35).r, 255);
    EXPECT_EQ(at(33, 36).r, 0);
}

TEST_F(GLSpriteTest, NearerThanEightUnitsOrSwitchedOffOrOpaqueNothingIsDrawn)
{
    make_sprite(true);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const struct {
        const char* why;
        float z;
        bool sprites;
        bool drawn;
    } cases[] = {{"at 8.0", 8.0f, true, true},
                 {"at 7.9", 7.9f, true, false},
                 {"behind the camera", -20.0f, true, false},
                 {"with R_Sprites false", 64.0f, false, false},
                 {"in the open", 64.0f, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        set_var(GPV_SPRITES, c.sprites);
        begin();
        sprite_.position = {0.0f, 0.0f, c.z};
        draw_sprite_transparent(sprite_, proj_);
        read();
        EXPECT_EQ(lit_pixels() > 0, c.drawn);
    }
}

TEST_F(GLSpriteTest, ASpriteAnimatesWithTheProjectionsTime)
{
    if (IsSkipped()) {
        return;
    }
    TempTree tree;
    tree.write("textures/tst/anim.cmt", tools::mips_bytes({{"fa", 1.0f}, {"fb", 1.0f}}, 0));
    FSys files;
    ASSERT_EQ(files.init(), 1);
    ASSERT_EQ(files.mount(tree.path().c_str(), 1, 10), 1);
    FSys* const saved = fsys;
    fsys = &files;
    const bool loaded = slot_.load("tst", "anim", TEXTURE_KIND_SPRITE, nullptr) == 1;
    fsys = saved;
    files.close();
    ASSERT_TRUE(loaded);
    ASSERT_EQ(slot_.frame_count, 2);
    proj_.set_time(140);
    sprite_.set_texture(&slot_, proj_);
    paint(slot_.frames[0], 0xFF0000FFu, true);
    paint(slot_.frames[1], 0xFF00FF00u, true);
    const struct {
        int32_t time;
        bool red;
    } steps[] = {{140, true}, {209, true}, {210, false}, {279, false}, {280, true}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.time);
        proj_.set_time(step.time);
        begin();
        sprite_.position = {0.0f, 0.0f, 64.0f};
        draw_sprite_transparent(sprite_, proj_);
        read();
        EXPECT_EQ(at(33, 32).r, step.red ? 255 : 0);
        EXPECT_EQ(at(33, 32).g, step.red ? 0 : 255);
    }
}

TEST_F(GLSpriteTest, AFrameWithoutTheTransparentFlagIsNotDrawn)
{
    make_sprite(false);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    begin();
    sprite_.position = {0.0f, 0.0f, 64.0f};
    draw_sprite_transparent(sprite_, proj_);
    read();
    EXPECT_EQ(lit_pixels(), 0);
}

TEST_F(GLSpriteTest, ASpriteBehindAWallIsHiddenByTheDepthTestAndWritesNoDepth)
{
    make_sprite(true);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    begin();
    wall(32.0f);
    sprite_.position = {0.0f, 0.0f, 64.0f};
    draw_sprite_transparent(sprite_, proj_);
    read();
    EXPECT_EQ(lit_pixels(), 0);
    begin();
    sprite_.position = {0.0f, 0.0f, 64.0f};
    draw_sprite_transparent(sprite_, proj_);
    EXPECT_FLOAT_EQ(depth_at(33, 32), 1.0f);
}

// ---- lens flares ----------------------------------------------------------

class GLFlareTest : public GLEntityTest {
protected:
    // Only the glow, white, 4 units a side about the light at strength 1.
    void glow_only()
    {
        flare_.set_rays(0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
        flare_.set_streak(0.0f, 1.0f);
        flare_.set_ghosts(0.0f, 1.0f);
        flare_.set_fade(1.0f, 1.0f);
    }
    bool visible_at(const Vector& p)
    {
        flare_.position = p;
        flare_.project(proj_);
        return (flare_.flare_flags & FLARE_VISIBLE) != 0;
    }

    LampSpriteRender flare_;
};

TEST_F(GLFlareTest, TheDepthReadHidesAFlareBehindAWallOrTheCamera)
{
    if (IsSkipped()) {
        return;
    }
    const struct {
        const char* why;
        float wall; // 0: none
        Vector light;
        bool read_depth;
        bool visible;
        bool lower_half = false; // the wall covers only the view below the axis
    } cases[] = {
        {"in the open", 0.0f, {0.0f, 0.0f, 100.0f}, true, true},
        {"behind a wall", 50.0f, {0.0f, 0.0f, 100.0f}, true, false},
        {"in front of a wall", 150.0f, {0.0f, 0.0f, 100.0f}, true, true},
        {"on the wall itself", 100.0f, {0.0f, 0.0f, 100.0f}, true, true},
        {"behind the camera", 0.0f, {0.0f, 0.0f, -100.0f}, true, false},
        {"at the eye", 0.0f, {0.0f, 0.0f, 0.0f}, true, false},
        {"behind the camera without depth reads", 0.0f, {0.0f, 0.0f, -100.0f}, false, false},
        {"behind a wall without depth reads", 50.0f, {0.0f, 0.0f, 100.0f}, false, true},
        {"on the last column", 0.0f, {97.0f, 0.0f, 100.0f}, true, true},
        {"on the column past the window", 0.0f, {100.0f, 0.0f, 100.0f}, true, false},
        {"on the first column", 0.0f, {-100.0f, 0.0f, 100.0f}, true, true},
        {"above the window", 0.0f, {0.0f, -103.0f, 100.0f}, false, false},
        // The depth is read at the light's own pixel, not at its mirror image.
        {"over a wall that hides the lower half", 50.0f, {0.0f, 50.0f, 100.0f}, true, true, true},
        {"behind a wall that hides the lower half", 50.0f, {0.0f, -50.0f, 100.0f}, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        GLSys::variable(GLSys::V_READ_ZBUFFER)->set_bool(c.read_depth ? 1 : 0);
        begin();
        if (c.wall > 0.0f) {
            wall(c.wall, c.lower_half);
        }
        EXPECT_EQ(visible_at(c.light), c.visible);
    }
}

TEST_F(GLFlareTest, AVisibleFlareDrawsItsGlowAndAHiddenOneNothing)
{
    if (IsSkipped()) {
        return;
    }
    glow_only();
    begin();
    ASSERT_TRUE(visible_at({0.0f, 0.0f, 64.0f}));
    flare_.draw(proj_);
    read();
    // The glow's 64 units at depth 64 span half the window; its middle is white.
    EXPECT_GT(at(32, 32).r, 200);
    EXPECT_EQ(at(32, 32).r, at(32, 32).b);
    EXPECT_GT(at(26, 32).r, 0);
    EXPECT_LT(at(26, 32).r, at(32, 32).r) << "the glow falls off from the light";
    EXPECT_EQ(at(1, 1).r, 0);

    begin();
    wall(32.0f);
    ASSERT_FALSE(visible_at({0.0f, 0.0f, 64.0f}));
    flare_.draw(proj_);
    read();
    EXPECT_EQ(lit_pixels(), 0);

    set_var(GPV_LENSFLARES, false);
    begin();
    EXPECT_FALSE(visible_at({0.0f, 0.0f, 64.0f}));
}

TEST_F(GLFlareTest, TheFlareFollowsItsLampAndFadesNearTheEye)
{
    if (IsSkipped()) {
        return;
    }
    glow_only();
    LampData lamp;
    lamp.set_colour(0x0000FF); // red
    lamp.set_intensity(1.0f);
    flare_.set_mode(&lamp);
    flare_.set_colour(0xFF0000); // blue, not used with a lamp
    begin();
    ASSERT_TRUE(visible_at({0.0f, 0.0f, 64.0f}));
    flare_.draw(proj_);
    read();
    EXPECT_GT(at(32, 32).r, 200);
    EXPECT_EQ(at(32, 32).b, 0);
    const int full = at(32, 32).r;

    // At half the fade distance the light is (2d - z) z / d^2 = 3/4.
    flare_.set_size(128.0f);
    EXPECT_FLOAT_EQ(flare_.inv_fade, 1.0f / 128.0f);
    begin();
    ASSERT_TRUE(visible_at({0.0f, 0.0f, 64.0f}));
    flare_.draw(proj_);
    read();
    EXPECT_LT(at(32, 32).r, full);
    EXPECT_GT(at(32, 32).r, 0);

    flare_.set_size(0.0f);
    EXPECT_EQ(flare_.inv_fade, 0.0f);
    flare_.set_size(-5.0f);
    EXPECT_EQ(flare_.inv_fade, 0.0f);
    begin();
    ASSERT_TRUE(visible_at({0.0f, 0.0f, 64.0f}));
    flare_.draw(proj_);
    read();
    EXPECT_EQ(at(32, 32).r, full) << "no fade distance: no fade";
}

TEST_F(GLFlareTest, RaysStreakAndGhostsAddOntoTheFrame)
{
    if (IsSkipped()) {
        return;
    }
    // Six rays, a full streak and ghosts; the glow off. The light sits
    // on the centre of the pixel 8 right of and below the middle of the window.
    flare_.set_fade(0.0f, 1.0f);
    flare_.set_streak(1.0f, 1.0f);
    flare_.set_colour(0xFFFFFF);
    begin();
    ASSERT_TRUE(visible_at({68.0f, 68.0f, 256.0f}));
    flare_.draw(proj_);
    read();
    // The streak runs across the row of the light, blue, past the rays' reach.
    const Rgba left = at(2, 40);
    EXPECT_GT(left.b, 0);
    EXPECT_EQ(left.r, 0);
    EXPECT_GT(at(40, 44).r, 0) << "the first ray points down";
    // The first ghost lies 1.2 times as far on the other side of the middle.
    int ghost = 0;
    for (int y = 18; y < 27; ++y) {
        for (int x = 18; x < 27; ++x) {
            ghost += at(x, y).r > 0 ? 1 : 0;
        }
    }
    EXPECT_GT(ghost, 0);

    // A ray count from the server beyond any use draws no more than the cap.
    flare_.set_rays(0.25f, 1.0f, 2.0e9f, 1.0f, 3.0f);
    EXPECT_EQ(flare_.ray_count, 2000000000);
    begin();
    ASSERT_TRUE(visible_at({0.0f, 0.0f, 256.0f}));
    flare_.draw(proj_);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// ---- particles ---------------------------------------------------------------

class GLParticleTest : public GLEntityTest {
protected:
    void SetUp() override
    {
        GLEntityTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_EQ(system_.allocate(1), 1);
        system_.intensity_base = 1.0f;
        place({0.0f, 0.0f, 8.0f}, 1.0f, 1);
    }
    void place(const Vector& p, float size, int32_t life, int32_t limit = 0)
    {
        Particle& q = system_.particles[0];
        q = {};
        q.pos[0] = p.x;
        q.pos[1] = p.y;
        q.pos[2] = p.z;
        q.intensity = size;
        q.colour = 0xFFFFFF;
        q.phase = limit;
        q.life = life;
    }
    // The brightest green of the frame after drawing the system.
    int drawn()
    {
        begin();
        system_.draw(proj_);
        read();
        int best = 0;
        for (size_t i = 1; i < pixels_.size(); i += 4) {
            best = std::max(best, static_cast<int>(pixels_[i]));
        }
        return best;
    }

    ParticleRender system_;
};

TEST_F(GLParticleTest, ALiveParticleIsASoftSpotFadingWithItsSize)
{
    if (IsSkipped()) {
        return;
    }
    const int full = drawn();
    EXPECT_GT(full, 200);
    EXPECT_LT(at(0, 0).g, full);
    place({0.0f, 0.0f, 8.0f}, 0.5f, 1);
    EXPECT_NEAR(drawn(), full / 2, 3) << "half its size: half its alpha";
    system_.flags |= PARTICLE_BLEND;
    EXPECT_NEAR(drawn(), full * 0.3 / 2, 3) << "dimmed: 0.3 of it";
}

TEST_F(GLParticleTest, DeadParticlesAndSwitchedOffSystemsDrawNothing)
{
    if (IsSkipped()) {
        return;
    }
    for (const int32_t life : {0, -1, -1000}) {
        place({0.0f, 0.0f, 8.0f}, 1.0f, life);
        EXPECT_EQ(drawn(), 0) << life;
    }
    place({0.0f, 0.0f, 8.0f}, 1.0f, 1);
    system_.intensity_base = 0.0f;
    EXPECT_EQ(drawn(), 0) << "a system of size 0 has no alpha scale";
    system_.intensity_base = 1.0f;

    // Switched off, not even the spot texture is made.
    gl_texture_manager.flush();
    const int64_t bytes = gl_texture_manager.bytes;
    set_var(GPV_PARTICLES, false);
    EXPECT_EQ(drawn(), 0);
    EXPECT_EQ(gl_texture_manager.bytes, bytes);
    set_var(GPV_PARTICLES, true);
    EXPECT_GT(drawn(), 0);
    EXPECT_GT(gl_texture_manager.bytes, bytes);
}

TEST_F(GLParticleTest, FarParticlesKeepTheirScreenSizeAndTheLimitDropsThem)
{
    if (IsSkipped()) {
        return;
    }
    // d = z / (32 x size): near by (d <= 1) a particle spans 5 size world
    // units a texture unit, shrinking with distance; beyond d = 1 it keeps
    // 5 pixels a texture unit. What it adds to the frame goes with its area.
    const auto light_added = [&](float z) {
        place({0.0f, 0.0f, z}, 1.0f, 1);
        drawn();
        double sum = 0.0;
        for (size_t i = 1; i < pixels_.size(); i += 4) {
            sum += pixels_[i];
        }
        return sum;
    };
    const double at16 = light_added(16.0f);
    const double at32 = light_added(32.0f);
    EXPECT_NEAR(at16 / at32, 4.0, 0.4);
    for (const float z : {64.0f, 512.0f, 4000.0f}) {
        EXPECT_NEAR(light_added(z) / at32, 1.0, 0.1) << z;
    }

    // At d = 4 a limit word of 8192 is right at 32768 and stays; one more goes.
    place({0.0f, 0.0f, 128.0f}, 1.0f, 1, 8192);
    EXPECT_GT(drawn(), 0);
    place({0.0f, 0.0f, 128.0f}, 1.0f, 1, 8193);
    EXPECT_EQ(drawn(), 0);
}

// ---- mesh models -------------------------------------------------------------

class GLMeshTest : public GLEntityTest {
protected:
    void SetUp() override
    {
        GLEntityTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(tools::write_demo_models(tree_.path()));
        ASSERT_EQ(files_.init(), 1);
        ASSERT_EQ(files_.mount(tree_.path().c_str(), 1, 10), 1);
        saved_fsys_ = fsys;
        fsys = &files_;
        fsys_set_ = true;
        // Lit colours without the skins: the fallback skin is blank.
        set_var(GPV_TEXTURE, false);
    }
    void TearDown() override
    {
        if (fsys_set_) {
            fsys = saved_fsys_;
        }
        files_.close();
        GLEntityTest::TearDown();
    }
    void attach(const char* resource, const char* name, const Vector& at)
    {
        ASSERT_EQ(model_.set_name(resource, name), 1);
        mesh_.attach(&model_, proj_);
        ASSERT_NE(model_.model, nullptr);
        mesh_.position = at;
        mat_translation(mesh_.transform, at);
    }
    void draw()
    {
        begin();
        mesh_.draw(proj_);
        read();
    }
    // Pixels whose centre lies inside the cube's outline, and how many of
    // them and of the others are drawn.
    struct Cover {
        int inside = 0;
        int inside_drawn = 0;
        int outside_drawn = 0;
    };
    Cover cube_cover(const Vector& centre, float half) const
    {
        std::vector<Point2> corners;
        for (int i = 0; i < 8; ++i) {
            const Vector c = {centre.x + ((i & 1) != 0 ? half : -half), centre.y + ((i & 2) != 0 ? half : -half),
                              centre.z + ((i & 4) != 0 ? half : -half)};
            corners.push_back({32.0 + 32.0 * c.x / c.z, 32.0 + 32.0 * c.y / c.z});
        }
        const std::vector<Point2> outline = hull(corners);
        Cover cover;
        for (int y = 0; y < SIDE; ++y) {
            for (int x = 0; x < SIDE; ++x) {
                const Rgba c = at(x, y);
                const bool lit = (c.r | c.g | c.b) != 0;
                if (hull_depth(outline, x + 0.5, y + 0.5) > 0.0) {
                    ++cover.inside;
                    cover.inside_drawn += lit ? 1 : 0;
                } else {
                    cover.outside_drawn += lit ? 1 : 0;
                }
            }
        }
        return cover;
    }

    TempTree tree_;
    FSys files_;
    FSys* saved_fsys_ = nullptr;
    bool fsys_set_ = false;
    MeshModel model_;
    MeshObject mesh_;
};

TEST_F(GLMeshTest, TheCubeCoversItsOutlineWithItsNearFacesAndWritesDepth)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "cube", {0.0f, 0.0f, 128.0f});
    mesh_.set_skin(0x808080);
    draw();
    const Cover cover = cube_cover({0.0f, 0.0f, 128.0f}, 16.0f);
    EXPECT_GE(cover.inside_drawn, cover.inside * 98 / 100);
    EXPECT_LE(cover.outside_drawn, cover.inside * 2 / 100);
    // The near face is what shows: back faces are the ones culled.
    EXPECT_NEAR(depth_at(32, 32), window_depth(112.0), 1e-5);
    EXPECT_NEAR(at(32, 32).g, 128, 2) << "the object's own light alone";
}

TEST_F(GLMeshTest, TheCubeMovesWithItsObjectAndCoversItsOutlineFromOffCentre)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "cube", {0.0f, 0.0f, 128.0f});
    mesh_.set_skin(0x808080);
    for (const Vector& at : {Vector{40.0f, 20.0f, 160.0f}, Vector{-60.0f, -30.0f, 200.0f}, Vector{0.0f, 0.0f, 90.0f}}) {
        SCOPED_TRACE(at.x);
        mesh_.position = at;
        mat_translation(mesh_.transform, at);
        draw();
        const Cover cover = cube_cover(at, 16.0f);
        EXPECT_GE(cover.inside_drawn, cover.inside * 98 / 100);
        EXPECT_LE(cover.outside_drawn, std::max(2, cover.inside * 2 / 100));
    }
}

TEST_F(GLMeshTest, ALightBrightensTheSideItFaces)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "cube", {0.0f, 0.0f, 128.0f});
    mesh_.set_skin(0x404040);
    draw();
    const Rgba unlit = at(32, 32);
    LightSource light(ENTITY_TYPE_MAP_LIGHT);
    light.set_range(3.0f);
    light.set_intensity(1.0f);
    light.set_colour(0x00FF00);
    light.set_position({0.0f, 0.0f, 40.0f}, {0.0f, 0.0f, 1.0f});
    EntityLink link = {&light, nullptr};
    mesh_.light_list_a = &link;
    draw();
    const Rgba lit = at(32, 32);
    EXPECT_GT(lit.g, unlit.g + 40);
    EXPECT_EQ(lit.r, unlit.r) << "a green light adds no red";

    // Out of its range the light adds nothing.
    light.set_range(0.5f);
    draw();
    EXPECT_EQ(at(32, 32).g, unlit.g);
    mesh_.light_list_a = nullptr;
}

TEST_F(GLMeshTest, ATranslucentMeshBlendsAndWritesNoDepth)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "cube", {0.0f, 0.0f, 128.0f});
    mesh_.set_skin(0xFFFFFF);
    mesh_.set_transparency(0.0f);
    draw();
    const int opaque = at(32, 32).g;
    EXPECT_NEAR(depth_at(32, 32), window_depth(112.0), 1e-5);

    mesh_.set_transparency(0.25f);
    EXPECT_FLOAT_EQ(mesh_.opacity, 0.75f);
    draw();
    EXPECT_NEAR(at(32, 32).g, opaque * 0.75, 2);
    EXPECT_FLOAT_EQ(depth_at(32, 32), 1.0f);

    mesh_.set_transparency(-1.0f);
    EXPECT_FLOAT_EQ(mesh_.opacity, 1.0f);
    EXPECT_EQ(mesh_.mesh_flags & MESH_TRANSLUCENT, 0u);
}

TEST_F(GLMeshTest, TheSpecularPassAddsHighlightsOnlyWhenAskedFor)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "cube", {0.0f, 0.0f, 128.0f});
    // Turned so that the view reflects off its near face towards (0.5, 0.5):
    // the middle of the environment bitmap.
    Matrix to_normal;
    mat_from_direction(to_normal, {-0.27f, -0.27f, 0.924f});
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            mesh_.transform.m[4 * r + c] = to_normal.m[4 * c + r];
        }
    }
    mesh_.set_skin(0x404040);
    mesh_.set_lighting(0.0f, 0.5f);
    gl_texture_manager.flush();
    const int64_t bytes = gl_texture_manager.bytes;
    draw();
    const std::vector<uint8_t> plain = pixels_;
    const Texture* const skin = model_.skin[0].texture;
    ASSERT_NE(skin, nullptr);
    const int64_t skin_bytes = 3 * skin->usize * skin->vsize;
    EXPECT_EQ(gl_texture_manager.bytes - bytes, skin_bytes) << "only the skin: no environment bitmap";

    set_var(GPV_MESHSPECULAR, false);
    mesh_.set_lighting(1.0f, 0.5f);
    draw();
    EXPECT_EQ(pixels_, plain);
    EXPECT_EQ(gl_texture_manager.bytes - bytes, skin_bytes);

    set_var(GPV_MESHSPECULAR, true);
    draw();
    EXPECT_NE(pixels_, plain);
    long added = 0;
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_GE(pixels_[i], plain[i]) << "the pass only adds";
        added += pixels_[i] - plain[i];
    }
    EXPECT_GT(added, 0);
    EXPECT_GT(gl_texture_manager.bytes - bytes, 16 * 16 * 3);

    // Set-up of the level: round(sharpness x 8) within 0..7.
    mesh_.set_lighting(1.0f, 1.0f);
    EXPECT_EQ(mesh_.specular_level, 7);
    mesh_.set_lighting(1.0f, 0.06f);
    EXPECT_EQ(mesh_.specular_level, 0);
}

TEST_F(GLMeshTest, PosesMoveTheGroupsAndBadPoseFramesSkipTheMesh)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "figure", {0.0f, 0.0f, 200.0f});
    mesh_.set_skin(0x808080);
    // z is up in the model and y down in the view: stand it up.
    mesh_.transform = Matrix{{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 200.0f}};
    draw();
    const std::vector<uint8_t> upright = pixels_;
    EXPECT_GT(lit_pixels(), 0);

    mesh_.set_pose(2, tools::FIGURE_ARM_RAISED, tools::FIGURE_ARM_RAISED, 0.0f);
    draw();
    EXPECT_NE(pixels_, upright) << "the raised arm";
    mesh_.set_pose(2, tools::FIGURE_ARM_DOWN, tools::FIGURE_ARM_RAISED, 0.0f);
    draw();
    EXPECT_EQ(pixels_, upright) << "t = 0 is frame 1";

    const struct {
        int32_t group;
        int32_t frame1;
        int32_t frame2;
    } bad[] = {{0, 3, 0}, {0, 0, 6}, {1, 0, 3}, {2, -1, 4}, {0, 0, INT32_MAX}};
    for (const auto& b : bad) {
        SCOPED_TRACE(testing::Message() << b.group << ": " << b.frame1 << ", " << b.frame2);
        mesh_.attach(&model_, proj_);
        mesh_.set_pose(b.group, b.frame1, b.frame2, 0.5f);
        draw();
        EXPECT_EQ(lit_pixels(), 0);
    }
    mesh_.set_pose(99, 0, 0, 0.0f); // no such group: ignored
}

TEST_F(GLMeshTest, HangingGroupsFollowTheirPivotWhateverTheBodysPose)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "figure", {0.0f, 0.0f, 200.0f});
    const MeshVertexOut* const v = mesh_vertex_array();
    const auto at_vertex = [&](uint32_t i) { return Vector{v[i].position[0], v[i].position[1], v[i].position[2]}; };
    const auto from = [&](uint32_t i, uint32_t pivot) {
        Vector d = at_vertex(i);
        vec_sub(d, at_vertex(pivot));
        return d;
    };
    // The head's first vertex and the arm's first, drawn after the body.
    constexpr uint32_t HEAD = 26;
    constexpr uint32_t ARM = 50;
    Vector neck0 = {};
    Vector head0 = {};
    Vector arm0 = {};
    for (const int32_t body : {0, 1, 2}) {
        SCOPED_TRACE(body);
        mesh_.set_pose(0, body, body, 0.0f);
        draw();
        const Vector head = from(HEAD, tools::FIGURE_NECK);
        const Vector arm = from(ARM, tools::FIGURE_SHOULDER);
        if (body == 0) {
            neck0 = at_vertex(tools::FIGURE_NECK);
            head0 = head;
            arm0 = arm;
            continue;
        }
        EXPECT_GT(vec_abs_difference(at_vertex(tools::FIGURE_NECK), neck0), 0.5f) << "the body moves its neck";
        EXPECT_LT(vec_abs_difference(head, head0), 1e-3f) << "and the head goes with it";
        EXPECT_LT(vec_abs_difference(arm, arm0), 1e-3f);
    }
}

TEST_F(GLMeshTest, SwitchedOffOrWithoutDataNothingIsDrawn)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "cube", {0.0f, 0.0f, 128.0f});
    mesh_.set_skin(0x808080);
    set_var(GPV_MESHMODELS, false);
    draw();
    EXPECT_EQ(lit_pixels(), 0);
    set_var(GPV_MESHMODELS, true);

    MeshModel missing;
    ASSERT_EQ(missing.set_name("demo", "nothere"), 1);
    MeshObject other;
    other.attach(&missing, proj_);
    other.position = {0.0f, 0.0f, 128.0f};
    mat_translation(other.transform, other.position);
    begin();
    other.draw(proj_);
    read();
    EXPECT_EQ(lit_pixels(), 0);
    EXPECT_TRUE(capture.contains("Mesh: Can't load model 'demo:nothere'"));
}

TEST_F(GLMeshTest, TexturingFollowsLightingAndTexture)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "cube", {0.0f, 0.0f, 128.0f});
    // A skin that can't be read falls back to a blank (black) texture:
    // modulated it is black, replaced it is black, untextured it shows the light.
    model_.skin[0].flush();
    ASSERT_EQ(model_.skin[0].set_names("demo", "nothere"), 1);
    mesh_.set_skin(0xFFFFFF);
    const struct {
        bool lighting;
        bool texture;
        bool shows_light;
    } cases[] = {{true, false, true}, {true, true, false}, {false, false, false}, {false, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lighting << c.texture);
        set_var(GPV_LIGHTING, c.lighting);
        set_var(GPV_TEXTURE, c.texture);
        draw();
        EXPECT_EQ(at(32, 32).g > 0, c.shows_light);
    }
}

// ---- colour words --------------------------------------------------------------

// The pixel drawn in the colour is the pixel drawn in white scaled channel by
// channel by the colour's bytes.
void expect_scaled(const Rgba& seen, const Rgba& white, const ColourWord& c, double tolerance = 3.0)
{
    EXPECT_NEAR(seen.r, white.r * c.red / 255.0, tolerance) << "red";
    EXPECT_NEAR(seen.g, white.g * c.green / 255.0, tolerance) << "green";
    EXPECT_NEAR(seen.b, white.b * c.blue / 255.0, tolerance) << "blue";
}

TEST_F(GLParticleTest, EachChannelOfTheColourWordColoursItsOwnChannel)
{
    if (IsSkipped()) {
        return;
    }
    drawn();
    const Rgba white = at(32, 32);
    ASSERT_GT(white.g, 200);
    for (const ColourWord& c : COLOUR_WORDS) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        // Births take the colour packed for the projection's pixel layout.
        system_.set_colours(c.word, 0, proj_.rgb_layout);
        system_.particles[0].colour = system_.colour_base;
        drawn();
        expect_scaled(at(32, 32), white, c);
    }
}

TEST_F(GLFlareTest, TheGlowTakesEachChannelOfItsColourWordOrOfItsLamps)
{
    if (IsSkipped()) {
        return;
    }
    glow_only();
    const auto centre = [&] {
        begin();
        EXPECT_TRUE(visible_at({0.0f, 0.0f, 64.0f}));
        flare_.draw(proj_);
        read();
        return at(32, 32);
    };
    flare_.set_colour(0xFFFFFF);
    const Rgba white = centre();
    ASSERT_GT(white.g, 200);
    LampData lamp;
    lamp.set_intensity(1.0f);
    for (const ColourWord& c : COLOUR_WORDS) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        flare_.set_mode(nullptr);
        flare_.set_colour(c.word);
        expect_scaled(centre(), white, c);
        // With a lamp its colour counts and the flare's own does not.
        lamp.set_colour(c.word);
        flare_.set_mode(&lamp);
        flare_.set_colour(0xFFFFFF);
        expect_scaled(centre(), white, c);
    }
    flare_.set_mode(nullptr);
}

TEST_F(GLSpriteTest, EachChannelOfThePaletteWordShowsInItsOwnChannel)
{
    make_sprite(true);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    for (const ColourWord& c : COLOUR_WORDS) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        paint(slot_.frames[0], 0xFF000000u | c.word, true);
        if (HasFatalFailure()) {
            return;
        }
        begin();
        sprite_.position = {0.0f, 0.0f, 64.0f};
        draw_sprite_transparent(sprite_, proj_);
        read();
        expect_scaled(at(33, 32), Rgba{255, 255, 255, 255}, c, 1.0);
    }
}

TEST_F(GLMeshTest, TheObjectsOwnLightAndEachLightsColourKeepTheirChannels)
{
    if (IsSkipped()) {
        return;
    }
    attach("demo", "cube", {0.0f, 0.0f, 128.0f});
    const Rgba white{255, 255, 255, 255};
    for (const ColourWord& c : COLOUR_WORDS) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        // The object's own light: byte / 256 of each channel.
        mesh_.set_skin(c.word);
        draw();
        expect_scaled(at(32, 32), white, c, 2.0);

        // A light of the colour on the near face's side, or a white light of
        // a lamp of the colour, adds to each channel in proportion to the
        // colour's byte, the same share of each; the lamp's colour counts
        // and the light's own does not.
        mesh_.set_skin(0);
        LampData lamp;
        lamp.set_colour(c.word);
        lamp.set_intensity(1.0f);
        for (const bool by_lamp : {false, true}) {
            SCOPED_TRACE(by_lamp ? "by a lamp" : "by a light");
            LightSource light(ENTITY_TYPE_MAP_LIGHT);
            light.set_range(3.0f);
            light.set_intensity(1.0f);
            light.set_colour(by_lamp ? 0xFFFFFFu : c.word);
            light.set_lamp(by_lamp ? &lamp : nullptr);
            light.set_position({0.0f, 0.0f, 40.0f}, {0.0f, 0.0f, 1.0f});
            EntityLink link = {&light, nullptr};
            (by_lamp ? mesh_.light_list_b : mesh_.light_list_a) = &link;
            draw();
            mesh_.light_list_a = mesh_.light_list_b = nullptr;
            const Rgba lit = at(32, 32);
            const int brightest = std::max({lit.r, lit.g, lit.b});
            ASSERT_GT(brightest, 60);
            // The brightest channel is the byte 0xE0: white would be 255 / 0xE0 of it.
            const int full = brightest * 255 / 0xE0;
            expect_scaled(lit, Rgba{full, full, full, 255}, c);
        }
    }
}

// A skin that can't be read is named, with its file and why, when its model
// loads, before the model is ever drawn; the model still loads.
TEST_F(GLMeshTest, ASkinThatCannotBeReadIsNamedWhenItsModelLoads)
{
    if (IsSkipped()) {
        return;
    }
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"emptied", {}, "load_cmt(models/demo/cubes0.cmt): File is empty !"},
        {"another form", {'M', 'I', 'P', 'S', 0, 0, 0, 0},
         "load_cmt(models/demo/cubes0.cmt): Id is not MIPT/MAPT !"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tree_.write("models/demo/cubes0.cmt", c.bytes);
        capture.clear();
        MeshModel model;
        ASSERT_EQ(model.set_name("demo", "cube"), 1);
        ASSERT_EQ(model.touch(), 1);
        EXPECT_TRUE(capture.contains(c.reason));
        EXPECT_TRUE(capture.contains("Can't load texture 'demo:cubes0'"));
        model.flush();
    }
}

} // namespace
