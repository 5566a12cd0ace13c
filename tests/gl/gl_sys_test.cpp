#include "gl/gl_bind.h"
#include "gl/gl_ext.h"
#include "gl_fixture.h"
#include "host/host_gl.h"
#include "support/skip_or_fail.h"

#include <cstring>
#include <vector>

namespace {

using GLSysTest = GLVideoTest;

struct VariableCase {
    const char* name;
    int type;
    double value;
};

double value_of(const ConfigVariable* v)
{
    return v->type() == CVTYPE_FLOAT ? static_cast<double>(v->as_float()) : static_cast<double>(v->int_value());
}

TEST_F(GLSysTest, InitReadsTheDriverAndLinksTheVariablesWithTheirDefaults)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    ASSERT_NE(GLSys::renderer(), nullptr);
    const std::string renderer = GLSys::renderer();
    EXPECT_TRUE(capture.contains("OpenGL vendor: " + std::string(GLSys::vendor())));
    EXPECT_TRUE(capture.contains("OpenGL renderer: " + renderer));
    EXPECT_TRUE(capture.contains("OpenGL version: " + std::string(GLSys::version())));
    EXPECT_TRUE(capture.contains("OpenGL extensions: "));
    // llvmpipe is none of the renderers with settings of their own.
    EXPECT_EQ(GLSys::renderer_index(), GLSys::match_renderer(renderer.c_str()));
    EXPECT_EQ(GLSys::renderer_index(), -1) << renderer;

    const VariableCase cases[] = {
        {"GL_TextureHandles", CVTYPE_INT, 16384}, {"GL_TextureCacheSize", CVTYPE_INT, 4096},
        {"R_TFilter", CVTYPE_BOOL, 1},            {"R_LFilter", CVTYPE_BOOL, 1},
        {"R_FirstMipmap", CVTYPE_INT, 0},         {"R_Mipmapping", CVTYPE_BOOL, 1},
        {"R_Trilinear", CVTYPE_BOOL, 0},          {"GL_ReadZbuffer", CVTYPE_BOOL, 1},
        {"R_Gamma", CVTYPE_FLOAT, 1.0},           {"GL_Overbright", CVTYPE_BOOL, 1},
        {"GL_SquareTextures", CVTYPE_BOOL, 0},    {"GL_TextureFormat", CVTYPE_INT, 0},
        {"GL_Finish", CVTYPE_BOOL, 0},
    };
    for (int i = 0; i < GLSys::VARIABLES; ++i) {
        const VariableCase& c = cases[i];
        ConfigVariable* const v = cvar_list->find(c.name);
        ASSERT_NE(v, nullptr) << c.name;
        EXPECT_EQ(v, GLSys::variable(static_cast<GLSys::Variable>(i))) << c.name;
        EXPECT_EQ(v->type(), c.type) << c.name;
        EXPECT_EQ(value_of(v), c.value) << c.name;
        EXPECT_EQ(v->flags() & 0x100u, 0x100u) << c.name;
        EXPECT_GT(v->lock(), 0) << c.name;
    }
    // Start-up itself is no change by the user: the first frame flushes nothing.
    capture.clear();
    GLSys::check_texture_variables();
    EXPECT_FALSE(capture.contains("You must reset the video mode"));

    // The initial state: no culling, filled, depth test lequal, replace texturing, no blending.
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint value = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
    EXPECT_EQ(value, GL_REPLACE);
    EXPECT_EQ(GLSys::report_errors("test"), 0);

    GLSys::close();
    for (const VariableCase& c : cases) {
        EXPECT_EQ(cvar_list->find(c.name), nullptr) << c.name << " still active";
    }
    for (int i = 0; i < GLSys::VARIABLES; ++i) {
        EXPECT_EQ(GLSys::variable(static_cast<GLSys::Variable>(i)), nullptr);
    }
}

// The driver's list (7,805 characters on llvmpipe) is longer than the print
// ring: each line must hold whole names and the lines together the whole list.
TEST_F(GLSysTest, TheExtensionListIsPrintedWholeInLinesThatFitThePrintRing)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    const std::string prefix = "OpenGL extensions: ";
    std::string joined;
    for (const auto& line : capture.lines()) {
        if (line.text.rfind(prefix, 0) != 0) {
            continue;
        }
        EXPECT_LT(line.text.size(), static_cast<size_t>(PRINT_RING_SIZE)) << line.text;
        const std::string piece = line.text.substr(prefix.size());
        EXPECT_TRUE(piece.empty() || (piece.front() != ' ' && piece.back() != ' ')) << piece;
        joined += joined.empty() ? piece : " " + piece;
    }
    std::string expected = GLSys::extensions();
    while (!expected.empty() && expected.back() == ' ') {
        expected.pop_back();
    }
    EXPECT_EQ(joined, expected);
}

TEST_F(GLSysTest, ValuesSetBeforeAStartAreKeptAndChangesAreNoticed)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    cvar_list->find("R_TFilter")->set_bool(0);
    GLSys::close();
    ASSERT_EQ(GLSys::init(), 1);
    EXPECT_FALSE(GLSys::variable(GLSys::V_TFILTER)->is_true());

    capture.clear();
    GLSys::variable(GLSys::V_TFILTER)->set_bool(1);
    GLSys::check_texture_variables();
    EXPECT_FALSE(capture.contains("You must reset the video mode"));
    EXPECT_FALSE(GLSys::variable(GLSys::V_TFILTER)->check_changed());

    GLSys::variable(GLSys::V_TEXTURE_HANDLES)->set_int(100);
    GLSys::check_texture_variables();
    EXPECT_EQ(capture.count("You must reset the video mode for this variable to take effect"), 1);
    GLSys::check_texture_variables();
    EXPECT_EQ(capture.count("You must reset the video mode"), 1);
}

TEST(GLRendererTable, MatchesTheStartOfTheRendererString)
{
    const struct {
        const char* renderer;
        int index;
    } cases[] = {
        {"Generic GDI", 0},         {"RIVA 128ZX", 1},  {"RIVA TNT2/AGP", 4},          {"RIVA TNT", 4},
        {"3Dfx Voodoo2", 2},        {"RAGE PRO 3D", 3}, {"riva tnt2", -1},             {"3DFX Voodoo", -1},
        {"llvmpipe (LLVM 15)", -1}, {"RIVA", -1},       {"Mesa RIVA TNT", -1},         {"", -1},
        {nullptr, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GLSys::match_renderer(c.renderer), c.index) << (c.renderer != nullptr ? c.renderer : "(null)");
    }
    EXPECT_STREQ(GLSys::renderer_name(2), "3Dfx");
    EXPECT_EQ(GLSys::renderer_name(5), nullptr);
}

TEST_F(GLSysTest, EachRendererForcesItsOwnSettings)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    // GL_ReadZbuffer, R_Gamma, GL_Overbright, GL_SquareTextures, GL_TextureFormat, GL_Finish.
    const GLSys::Variable forced[] = {GLSys::V_READ_ZBUFFER,    GLSys::V_GAMMA,          GLSys::V_OVERBRIGHT,
                                      GLSys::V_SQUARE_TEXTURES, GLSys::V_TEXTURE_FORMAT, GLSys::V_FINISH};
    const std::vector<double> defaults = {1, 1.0, 1, 0, 0, 0};
    const std::vector<double> rows[] = {
        defaults,
        {1, 0.75, 0, 1, 0, 0},
        {0, 1.0, 1, 0, 0, 1},
        {1, 1.0, 1, 0, 1, 0},
        {1, 1.0, 1, 0, 0, 1},
        defaults, // no row
    };
    for (int row = 0; row <= GL_RENDERERS; ++row) {
        // Fresh variables with their defaults for each row.
        GLSys::close();
        delete cvar_list;
        cvar_list = new ConfigVariableList;
        ASSERT_EQ(GLSys::init(), 1);
        GLSys::force_renderer_settings(row < GL_RENDERERS ? row : -1);
        std::vector<double> got;
        for (const GLSys::Variable v : forced) {
            got.push_back(value_of(GLSys::variable(v)));
        }
        EXPECT_EQ(got, rows[row]) << "row " << row;
    }
}

TEST_F(GLSysTest, ASetterWithTheCachedModeMakesNoGLCall)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    // Changing GL behind the cache shows whether a setter called GL.
    GLSys::set_culling(0);
    glEnable(GL_CULL_FACE);
    GLSys::set_culling(0);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE)) << "culling 0 after init issued a call";

    GLSys::set_culling(2);
    GLint face = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &face);
    EXPECT_EQ(face, GL_FRONT);
    GLSys::set_culling(1);
    glGetIntegerv(GL_CULL_FACE_MODE, &face);
    EXPECT_EQ(face, GL_BACK);

    const struct {
        int mode;
        bool test;
        GLint function;
        GLboolean write;
    } depths[] = {
        {0, false, -1, GL_FALSE},      {1, true, GL_ALWAYS, GL_TRUE}, {3, true, GL_LESS, GL_TRUE},
        {4, true, GL_ALWAYS, GL_FALSE}, {5, true, GL_LEQUAL, GL_FALSE}, {6, true, GL_LESS, GL_FALSE},
        {2, true, GL_LEQUAL, GL_TRUE},
    };
    for (const auto& d : depths) {
        GLSys::set_depth(d.mode);
        SCOPED_TRACE(d.mode);
        EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), d.test ? GL_TRUE : GL_FALSE);
        GLboolean write = GL_TRUE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &write);
        EXPECT_EQ(write, d.write);
        if (d.test) {
            GLint function = 0;
            glGetIntegerv(GL_DEPTH_FUNC, &function);
            EXPECT_EQ(function, d.function);
        }
    }

    GLSys::set_blending(2);
    GLint source = 0;
    GLint destination = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    EXPECT_EQ(source, GL_DST_COLOR);
    EXPECT_EQ(destination, GL_SRC_COLOR);
    // GL_Overbright is read when blending mode 2 is entered again.
    GLSys::variable(GLSys::V_OVERBRIGHT)->set_bool(0);
    GLSys::set_blending(2);
    glGetIntegerv(GL_BLEND_SRC, &source);
    EXPECT_EQ(source, GL_DST_COLOR);
    GLSys::set_blending(3);
    glGetIntegerv(GL_BLEND_SRC, &source);
    EXPECT_EQ(source, GL_ONE);
    GLSys::set_blending(2);
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    EXPECT_EQ(source, GL_ZERO);
    EXPECT_EQ(destination, GL_SRC_COLOR);

    GLSys::set_texturing(2);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
    GLSys::set_polygon_mode(1);
    GLint polygon[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, polygon);
    EXPECT_EQ(polygon[0], GL_LINE);
    // A mode outside the table is stored and issues nothing.
    GLSys::set_polygon_mode(7);
    glGetIntegerv(GL_POLYGON_MODE, polygon);
    EXPECT_EQ(polygon[0], GL_LINE);
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}

TEST_F(GLSysTest, ErrorsArePrintedWithTheirSiteUntilGLHasNoneLeft)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    capture.clear();
    EXPECT_EQ(GLSys::report_errors("Nothing from Test::quiet()"), 0);
    EXPECT_TRUE(capture.lines().empty());

    glEnable(0x7FFF);               // invalid enum
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, -1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr); // invalid value
    EXPECT_EQ(GLSys::report_errors("Enable from Test::broken()"), 1);
    ASSERT_TRUE(capture.contains("OpenGL: Invalid enum in Enable from Test::broken()"));
    for (const auto& line : capture.lines()) {
        if (line.text.find("OpenGL: ") != std::string::npos) {
            EXPECT_EQ(line.stream, P_ERROR);
        }
    }
    // Every error was read: the next report finds none.
    EXPECT_EQ(GLSys::report_errors("test"), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Texels of a level whose every byte names the level and the channel.
std::vector<uint8_t> level_pixels(int level, int32_t w, int32_t h)
{
    std::vector<uint8_t> p(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (size_t i = 0; i < p.size(); ++i) {
        p[i] = static_cast<uint8_t>(level * 16 + static_cast<int>(i % 4) * 3 + 1);
    }
    return p;
}

struct Chain {
    std::vector<std::vector<uint8_t>> data;
    std::vector<const void*> levels;
    std::vector<std::pair<int32_t, int32_t>> sizes;
};

Chain make_chain(int32_t w, int32_t h)
{
    Chain c;
    for (int level = 0;; ++level) {
        c.data.push_back(level_pixels(level, w, h));
        c.sizes.emplace_back(w, h);
        if (w == 1 && h == 1) {
            break;
        }
        w = (w + 1) / 2;
        h = (h + 1) / 2;
    }
    for (const auto& d : c.data) {
        c.levels.push_back(d.data());
    }
    return c;
}

// The sizes of the levels GL holds and each one's first texel's first byte.
std::vector<std::pair<std::pair<GLint, GLint>, uint8_t>> read_levels()
{
    std::vector<std::pair<std::pair<GLint, GLint>, uint8_t>> out;
    for (int level = 0; level < 16; ++level) {
        GLint w = 0;
        GLint h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
        if (w == 0) {
            break;
        }
        std::vector<uint8_t> texels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        out.push_back({{w, h}, texels[0]});
    }
    return out;
}

TEST_F(GLSysTest, MipLevelsAreUploadedFromTheFirstMipmapOn)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    const struct {
        int32_t w;
        int32_t h;
        int first;
        std::vector<std::pair<int32_t, int32_t>> sizes;
        int first_level; // stored level sent as GL level 0
    } cases[] = {
        {64, 16, 0, {{64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}}, 0},
        {64, 64, 2, {{16, 16}, {8, 8}, {4, 4}, {2, 2}, {1, 1}}, 2},
        {64, 64, 10, {{1, 1}}, 6},
        {8, 8, -3, {{8, 8}, {4, 4}, {2, 2}, {1, 1}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " first " << c.first);
        // A fresh texture each time: GL keeps levels from an earlier upload.
        glDeleteTextures(1, &name);
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        GLSys::variable(GLSys::V_FIRST_MIPMAP)->set_int(c.first);
        const Chain chain = make_chain(c.w, c.h);
        GLSys::send_mipmaps(chain.levels.data(), c.w, c.h, GLTEX_RGBA);
        EXPECT_EQ(GLSys::report_errors("test"), 0);
        const auto got = read_levels();
        ASSERT_EQ(got.size(), c.sizes.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].first.first, c.sizes[i].first) << "level " << i;
            EXPECT_EQ(got[i].first.second, c.sizes[i].second) << "level " << i;
            const int stored = c.first_level + static_cast<int>(i);
            EXPECT_EQ(got[i].second, chain.data[static_cast<size_t>(stored)][0]) << "level " << i;
        }
        GLint filter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
        EXPECT_EQ(filter, GL_LINEAR_MIPMAP_NEAREST);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &filter);
        EXPECT_EQ(filter, GL_REPEAT);
    }

    // update_mipmaps walks the same levels and replaces their texels.
    GLSys::variable(GLSys::V_FIRST_MIPMAP)->set_int(1);
    glDeleteTextures(1, &name);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    Chain chain = make_chain(16, 16);
    GLSys::send_mipmaps(chain.levels.data(), 16, 16, GLTEX_RGB);
    for (auto& d : chain.data) {
        std::fill(d.begin(), d.end(), uint8_t{200});
    }
    GLSys::update_mipmaps(chain.levels.data(), 16, 16);
    const auto updated = read_levels();
    ASSERT_EQ(updated.size(), 4u);
    for (const auto& level : updated) {
        EXPECT_EQ(level.second, 200);
    }
    EXPECT_EQ(GLSys::report_errors("test"), 0);
    glDeleteTextures(1, &name);
}

TEST_F(GLSysTest, FiltersFollowTheVariables)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    const Chain chain = make_chain(4, 4);
    const auto filters = [] {
        GLint mag = 0;
        GLint min = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
        return std::make_pair(mag, min);
    };

    GLSys::variable(GLSys::V_TRILINEAR)->set_bool(1);
    GLSys::send_mipmaps(chain.levels.data(), 4, 4, GLTEX_RGB);
    EXPECT_EQ(filters(), std::make_pair(GLint{GL_LINEAR}, GLint{GL_LINEAR_MIPMAP_LINEAR}));
    GLSys::variable(GLSys::V_TFILTER)->set_bool(0);
    GLSys::send_mipmaps(chain.levels.data(), 4, 4, GLTEX_RGB);
    EXPECT_EQ(filters(), std::make_pair(GLint{GL_NEAREST}, GLint{GL_NEAREST}));

    // Without mip levels only level 0 goes, filtered by kind.
    GLSys::variable(GLSys::V_MIPMAPPING)->set_bool(0);
    GLSys::variable(GLSys::V_LFILTER)->set_bool(0);
    GLSys::send_mipmaps(chain.levels.data(), 4, 4, GLTEX_LIGHTMAP);
    EXPECT_EQ(filters(), std::make_pair(GLint{GL_NEAREST}, GLint{GL_NEAREST}));
    GLSys::send_texture(chain.levels[0], 4, 4, GLTEX_FONT);
    EXPECT_EQ(filters(), std::make_pair(GLint{GL_LINEAR}, GLint{GL_LINEAR}));
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 4);

    // A rectangle of level 0 is replaced in place.
    const uint8_t patch[4] = {9, 8, 7, 6};
    GLSys::send_subimage(patch, 1, 2, 1, 1);
    std::vector<uint8_t> texels(4 * 4 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(texels[(2 * 4 + 1) * 4], 9);
    EXPECT_EQ(texels[(2 * 4 + 1) * 4 + 3], 6);
    EXPECT_EQ(texels[0], chain.data[0][0]);
    EXPECT_EQ(GLSys::report_errors("test"), 0);
    glDeleteTextures(1, &name);
}

TEST_F(GLSysTest, TheDepthBufferIsReadOnlyWhenAllowed)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    EXPECT_NEAR(GLSys::read_depth(1, 1), 0.25f, 1e-3f);
    GLSys::variable(GLSys::V_READ_ZBUFFER)->set_bool(0);
    EXPECT_EQ(GLSys::read_depth(1, 1), 1.0f);
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}

TEST(GLExtensionWords, OnlyAWholeWordNamesAnExtension)
{
    GLExtension ext;
    ext.name = "GL_EXT_point_parameters";
    EXPECT_FALSE(ext.is_supported(""));
    EXPECT_FALSE(ext.is_supported(nullptr));
    EXPECT_TRUE(ext.is_supported("GL_EXT_point_parameters"));
    EXPECT_TRUE(ext.is_supported("GL_ARB_a GL_EXT_point_parameters GL_ARB_b"));
    EXPECT_TRUE(ext.is_supported("GL_ARB_a  GL_EXT_point_parameters "));
    EXPECT_FALSE(ext.is_supported("GL_EXT_point_parameters_extra GL_ARB_b"));
    EXPECT_FALSE(ext.is_supported("GL_EXT_point GL_ARB_b"));
    EXPECT_FALSE(ext.is_supported("XGL_EXT_point_parameters"));
    // Not offered: not loaded, and a previous load is undone.
    EXPECT_EQ(ext.load("GL_ARB_a", gl_known_extensions[0]), 0);
    EXPECT_FALSE(ext.is_loaded());
}

TEST_F(GLSysTest, TheDriversPointParametersAreLoaded)
{
    start_gl();
    if (IsSkipped()) {
        return;
    }
    if (!gl_extensions[0].is_supported(GLSys::extensions())) {
        SKIP_OR_FAIL("driver lacks GL_EXT_point_parameters");
    }
    EXPECT_TRUE(gl_extensions[0].is_loaded());
    EXPECT_EQ(gl_extensions[0].functions, 2);
    EXPECT_TRUE(capture.contains("OpenGL: registered extension GL_EXT_point_parameters"));
    const float size = 3.0f;
    constexpr uint32_t POINT_SIZE_MIN = 0x8126;
    GLSys::call_extension(0, 0, POINT_SIZE_MIN, &size);
    GLfloat got = 0.0f;
    glGetFloatv(POINT_SIZE_MIN, &got);
    EXPECT_EQ(got, 3.0f);
    EXPECT_EQ(GLSys::report_errors("test"), 0);
}

} // namespace
