// Every texture file of the demo base loads in the OpenGL program as the
// resource of its kind, whole chain and palette, without a message.
#include "demo_base.h"

#include "fsys/fsys.h"
#include "renderer/texture_file.h"
#include "renderer/texture_levels.h"
#include "support/print_capture.h"
#include "world/view/texture_resource.h"
#include "support/skip_or_fail.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct DemoTexture {
    std::string path;     // under the base, "textures/res/name.cmt"
    std::string resource; // empty for a file right under its folder
    std::string name;
    int32_t kind;
};

std::vector<DemoTexture> demo_textures(const fs::path& base)
{
    std::vector<DemoTexture> out;
    for (const char* folder : {"textures", "models"}) {
        if (!fs::is_directory(base / folder)) {
            continue;
        }
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(base / folder)) {
            if (!e.is_regular_file() || e.path().extension() != ".cmt") {
                continue;
            }
            const fs::path relative = fs::relative(e.path(), base);
            const fs::path within = fs::relative(e.path(), base / folder);
            const std::string resource = within.has_parent_path() ? within.parent_path().string() : "";
            const int32_t kind = std::string(folder) == "models" ? TEXTURE_KIND_MODEL
                                 : resource == "sprites"          ? TEXTURE_KIND_SPRITE
                                                                  : TEXTURE_KIND_MAP;
            out.push_back({relative.string(), resource, e.path().stem().string(), kind});
        }
    }
    return out;
}

TEST(GLDemoTextures, EveryDemoTextureLoadsWithTheOpenGLReader)
{
    const fs::path base = e2e::demo_base();
    if (base.empty()) {
        SKIP_OR_FAIL("OSTREL_DEMO_BASE is not set");
    }
    FSys files;
    ASSERT_EQ(files.init(), 1);
    ASSERT_EQ(files.mount(base.string().c_str(), 1, 10), 1);
    FSys* const saved = fsys;
    fsys = &files;
    PrintCapture capture;
    capture.show_all();

    const std::vector<DemoTexture> textures = demo_textures(base);
    EXPECT_GE(textures.size(), 10u) << "the demo base has lost its textures";
    for (const DemoTexture& t : textures) {
        SCOPED_TRACE(t.path);
        capture.clear();
        Texture texture;
        ASSERT_EQ(load_cmt(texture, t.path.c_str()), 1);
        EXPECT_EQ(texture.mipmaps, texture_level_count(texture.usize, texture.vsize));
        EXPECT_NE(texture.palette, nullptr);
        texture.release();

        TextureResource resource;
        ASSERT_EQ(resource.set_names(t.resource.c_str(), t.name.c_str()), 1);
        resource.kind = t.kind;
        ASSERT_EQ(resource.touch(), 1);
        EXPECT_EQ(resource.texture->mipmaps, texture_level_count(resource.texture->usize, resource.texture->vsize));
        EXPECT_EQ(resource.texture->kind, t.kind);
        resource.flush();
        for (const PrintCapture::Line& line : capture.lines()) {
            ADD_FAILURE() << line.text;
        }
    }
    files.close();
    fsys = saved;
}

} // namespace
