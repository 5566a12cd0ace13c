// The world loader over generated maps: what it builds, the sky variants,
// lights and lamps, archives, closing, and every file's bad input.
#include "render/world_view.h"
#include "tools/fsys/muf_writer.h"
#include "world/entity_link.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* LIT_ROOMS = "id 0x77\n"
                                  "tile 64\n"
                                  "room hall 0 0 0 256 256 128\n"
                                  "room side 256 0 0 512 256 128\n"
                                  "door hall side 256 64 0 256 192 96\n"
                                  "open side\n"
                                  "patch hall floor warp\n"
                                  "patch side walls scroll\n"
                                  "light 128 128 96 3 1 255 255 255\n"
                                  "light 384 128 96 2 0.5 255 128 64 lamp 1\n"
                                  "light 64 64 64 1 1 255 255 255 lamp 2\n";

std::string file_text(const mapgen::MapFiles& files, const std::string& name)
{
    const mapgen::MapFile* f = files.find(name);
    return f != nullptr ? std::string(f->bytes.begin(), f->bytes.end()) : std::string();
}

void set_text(mapgen::MapFiles& files, const std::string& name, const std::string& text)
{
    for (mapgen::MapFile& f : files.files) {
        if (f.name == name) {
            f.bytes.assign(text.begin(), text.end());
        }
    }
}

void set_bytes(mapgen::MapFiles& files, const std::string& name, const std::vector<uint8_t>& bytes)
{
    for (mapgen::MapFile& f : files.files) {
        if (f.name == name) {
            f.bytes = bytes;
        }
    }
}

std::vector<uint8_t>& bytes_of(mapgen::MapFiles& files, const std::string& name)
{
    for (mapgen::MapFile& f : files.files) {
        if (f.name == name) {
            return f.bytes;
        }
    }
    static std::vector<uint8_t> none;
    return none;
}

int32_t links_of(const SharedMap& map, int type)
{
    int32_t n = 0;
    for (int32_t c = 0; c < map.cell_count; ++c) {
        for (const EntityLink* l = map.cells[c].lists[type]; l != nullptr; l = l->next) {
            ++n;
        }
    }
    return n;
}

using WorldLoaderTest = WorldView;

TEST_F(WorldLoaderTest, LoadsEveryPartOfAGeneratedMap)
{
    const mapgen::MapFiles files = write_map("lit", LIT_ROOMS);
    ASSERT_EQ(load("lit"), 1);
    EXPECT_EQ(identifier_, 0x77u);
    const SharedMap& map = *world_.map;
    EXPECT_GT(world_.polygon_count, 40);
    EXPECT_EQ(world_.vertex_pointer_count, 4 * world_.polygon_count);
    EXPECT_EQ(world_.texture_count, 3);
    EXPECT_EQ(world_.patch_count, 5);
    EXPECT_EQ(world_.map_lamp_count, 3) << "lamps 1 and 2, and lamp 0";
    EXPECT_EQ(world_.light_count, 3);
    EXPECT_EQ(world_.lights[0].lamp, nullptr);
    EXPECT_EQ(world_.lights[1].lamp, world_.map_lamps.lamp(1));
    EXPECT_EQ(world_.lights[2].lamp, world_.map_lamps.lamp(2));
    EXPECT_FLOAT_EQ(world_.lights[0].reach, 300.0f);
    EXPECT_EQ(world_.lights[1].colour, 0x4080FFu);
    EXPECT_EQ(links_of(map, ENTITY_TYPE_MAP_LIGHT) > 0, true);
    EXPECT_NE(world_.world_volume, nullptr);
    // Dome: the default sky.
    EXPECT_EQ(world_.sky_polygon_count, SKY_DOME_POLYGONS);
    EXPECT_EQ(world_.sky_texture_count, 2);

    // Every polygon sits in the cell whose range holds it, with that cell's PVS.
    for (int32_t c = 0; c < map.cell_count; ++c) {
        const Cell& cell = map.cells[c];
        for (int32_t i = cell.first_polygon; i < cell.first_polygon + cell.polygon_count; ++i) {
            ASSERT_EQ(world_.polygons[i].cell, c);
            ASSERT_EQ(world_.polygons[i].cell_pvs_offset, static_cast<int32_t>(cell.pvs - map.pvs_data));
        }
    }
    int lit = 0;
    int lamps = 0;
    int sky = 0;
    for (int32_t i = 0; i < world_.polygon_count; ++i) {
        const MapPolygon& p = world_.polygons[i];
        ASSERT_EQ(p.vertex_count, 4);
        sky += (p.face->flags & FACE_SKY) != 0 ? 1 : 0;
        lit += p.samples != nullptr ? 1 : 0;
        lamps += p.lamp_count;
        if ((p.face->flags & FACE_SKY) != 0) {
            EXPECT_EQ(p.samples, nullptr) << "the sky has no lightmap";
            EXPECT_NE(p.face->flags & FACE_TWO_LAYERS, 0u);
        }
    }
    EXPECT_GT(sky, 0);
    EXPECT_EQ(lit + sky, world_.polygon_count);
    EXPECT_GT(lamps, 0);
    // The world model holds every polygon; its radius reaches the farthest vertex.
    EXPECT_EQ(map.models.entity(0).polygon_count, world_.polygon_count);
    EXPECT_NEAR(map.models.entity(0).radius, std::sqrt(512.0f * 512.0f + 256.0f * 256.0f + 128.0f * 128.0f), 0.01f);
}

TEST_F(WorldLoaderTest, SkyBoxAndDomeAskForTheirTextures)
{
    write_map("box", std::string(LIT_ROOMS) + "sky box\n");
    ASSERT_EQ(load("box"), 1);
    ASSERT_EQ(world_.sky_texture_count, 6);
    const char* const box[6] = {"skyb", "skyt", "skyn", "skye", "skys", "skyw"};
    for (int k = 0; k < 6; ++k) {
        EXPECT_STREQ(world_.sky_textures[k].slot->name, box[k]);
    }
    EXPECT_EQ(world_.sky_polygon_count, SKY_BOX_POLYGONS);
    // Each side faces into the box, and its corners turn clockwise seen from inside.
    for (int k = 0; k < SKY_BOX_POLYGONS; ++k) {
        const MapPolygon& p = world_.sky_polygons[k];
        EXPECT_EQ(p.face->flags, FACE_SKY_BOX);
        EXPECT_NEAR(plane_distance(*p.plane, Vector{0.0f, 0.0f, 0.0f}), 32768.0f, 64.0f) << k;
        EXPECT_EQ(setup_texture_axes(world_.sky_polygons[k], p.vertices, 4, p.face), 1) << k;
    }
    world_.close_map();
    write_map("dome", LIT_ROOMS);
    ASSERT_EQ(load("dome"), 1);
    ASSERT_EQ(world_.sky_texture_count, 2);
    EXPECT_STREQ(world_.sky_textures[0].slot->name, "sky1");
    EXPECT_STREQ(world_.sky_textures[1].slot->name, "sky2");
    // 160 triangles, all facing the centre, each wound as the map's polygons.
    for (int32_t i = 0; i < SKY_DOME_POLYGONS; ++i) {
        const MapPolygon& p = world_.sky_polygons[i];
        ASSERT_EQ(p.vertex_count, 3);
        EXPECT_GT(plane_distance(*p.plane, Vector{0.0f, 0.0f, 0.0f}), 0.0f) << i;
        EXPECT_EQ(p.face->flags, FACE_SKY_DOME);
        EXPECT_EQ(p.face->second_patch, &world_.sky_patches[1]);
        Vector* const* v = p.vertices;
        EXPECT_EQ(setup_texture_axes(world_.sky_polygons[i], v, 3, p.face), 1) << i;
        // The face's mapping gives the first corners the dome's projected coordinates.
        for (int k = 0; k < 3; ++k) {
            const Vector& x = *v[k];
            const float w = 256.0f / (x.z + 11250.0f);
            Vector d = x;
            vec_sub(d, p.face->origin);
            const float uu = vec_dot(p.face->u_axis, p.face->u_axis);
            const float vv = vec_dot(p.face->v_axis, p.face->v_axis);
            if (uu > 0.0f && vv > 0.0f && std::fabs(vec_dot(p.face->u_axis, p.face->v_axis)) < 1e-3f * std::sqrt(uu * vv)) {
                EXPECT_NEAR(vec_dot(d, p.face->u_axis) / uu, w * x.x, 0.05f);
            }
        }
    }
    // Vertex 0 is the upper pole; the lower ring 3 is turned against the upper one.
    EXPECT_EQ(world_.sky_vertices[0].z, 10000.0f);
    EXPECT_EQ(world_.sky_vertices[41].z, -10000.0f);
    const float a25 = std::atan2(world_.sky_vertices[25].y, world_.sky_vertices[25].x);
    const float a66 = std::atan2(world_.sky_vertices[66].y, world_.sky_vertices[66].x);
    EXPECT_NEAR(a25, -static_cast<float>(M_PI) / 32.0f, 1e-5f);
    EXPECT_NEAR(a66, static_cast<float>(M_PI) / 32.0f, 1e-5f);
}

TEST_F(WorldLoaderTest, TheSameMapLoadsFromAnArchive)
{
    mapgen::MapFiles files;
    std::string error;
    ASSERT_TRUE(mapgen::generate_map(LIT_ROOMS, files, error)) << error;
    ASSERT_TRUE(mapgen::write_map_textures(files, tree_.path("kavrin"), error)) << error;
    tools::MufWriter w;
    for (const mapgen::MapFile& f : files.files) {
        w.add("maps/packed/" + f.name, f.bytes);
    }
    ASSERT_TRUE(w.write(tree_.path("maps.muf").c_str()));
    ASSERT_EQ(fsys->mount(tree_.path("maps.muf").c_str(), 2, 20), 1);
    ASSERT_EQ(load("packed"), 1);
    const int32_t from_archive = world_.polygon_count;
    world_.close_map();
    write_files("plain", files);
    ASSERT_EQ(load("plain"), 1);
    EXPECT_EQ(world_.polygon_count, from_archive);
}

TEST_F(WorldLoaderTest, ClosingUnlinksTheLightsFromAMapTheServerHolds)
{
    write_map("lit", LIT_ROOMS);
    uint32_t id = 0;
    auto* server_map = static_cast<SharedMap*>(share_.acquire(MAP_SHARE_ID, "maps/lit", 1, &id));
    ASSERT_NE(server_map, nullptr);
    ASSERT_EQ(load("lit"), 1);
    EXPECT_EQ(world_.map, server_map) << "server and client share one map";
    EXPECT_GT(links_of(*server_map, ENTITY_TYPE_MAP_LIGHT), 0);
    world_.close_map();
    EXPECT_EQ(links_of(*server_map, ENTITY_TYPE_MAP_LIGHT), 0);
    EXPECT_EQ(world_.map, nullptr);
    EXPECT_EQ(server_map->models.entity(0).polygons, nullptr) << "the model no longer points into the freed world";
    // A second close is harmless, and the map loads again.
    world_.close_map();
    ASSERT_EQ(load("lit"), 1);
    world_.close_map();
    share_.release(server_map);
}

TEST_F(WorldLoaderTest, AttachingConvertsColoursAndDetachingBringsThemBack)
{
    write_map("lit", LIT_ROOMS);
    ASSERT_EQ(load("lit"), 1);
    const std::vector<uint32_t> before(world_.lightmap_colours, world_.lightmap_colours + world_.colour_count);
    mode_ = std::make_unique<MemoryVideoMode>(64, 48);
    ASSERT_EQ(screen_.init(mode_.get(), "backgrnd", "loading", "small.fnt"), 1);
    ASSERT_EQ(projection_.init(&screen_), 1);
    world_.attach_screen(&projection_);
    const uint8_t* s = projection_.rgb_layout;
    for (int32_t i = 0; i < world_.colour_count; ++i) {
        const uint32_t c = before[static_cast<size_t>(i)];
        const uint32_t expected = (c & 0xFF) << s[0] | ((c >> 8) & 0xFF) << s[1] | ((c >> 16) & 0xFF) << s[2] |
                                  ((c >> 24) & 0xFF) << s[3];
        ASSERT_EQ(world_.lightmap_colours[i], expected);
    }
    EXPECT_EQ(world_.map_lamps.projection(), &projection_);
    world_.detach_screen();
    EXPECT_EQ(std::vector<uint32_t>(world_.lightmap_colours, world_.lightmap_colours + world_.colour_count), before);
    EXPECT_EQ(world_.screen, nullptr);
}

TEST_F(WorldLoaderTest, XlatColoursAreHalvedWithTheSecondByteRepeated)
{
    mapgen::MapFiles files;
    std::string error;
    ASSERT_TRUE(mapgen::generate_map(LIT_ROOMS, files, error)) << error;
    std::vector<uint8_t>& bin = bytes_of(files, "lightmap.bin");
    // The first colour of XLAT, found behind the POLD chunk.
    const uint32_t pold_length = bin[52] | bin[53] << 8 | bin[54] << 16 | bin[55] << 24;
    const size_t xlat = 56 + ((pold_length + 3) & ~3u) + 8;
    ASSERT_EQ(std::memcmp(bin.data() + xlat - 8, "XLAT", 4), 0);
    bin[xlat] = 255;
    bin[xlat + 1] = 128;
    bin[xlat + 2] = 1;
    write_files("lit", files);
    ASSERT_EQ(load("lit"), 1);
    EXPECT_EQ(world_.lightmap_colours[0], 127u | 64u << 8 | 0u << 16 | 64u << 24);
}

TEST_F(WorldLoaderTest, LightsFileEdgeCases)
{
    write_map("lit", LIT_ROOMS);
    const struct {
        const char* name;
        const char* lights;
        int loads;
        int count;
    } cases[] = {
        {"NoLights", "textualLights,version010,0x77\n0\n", 1, 0},
        {"LampZeroBindsNone", "textualLights,version010,0x77\n1\nl\n0 0 0\n-\n1 2 3\n1 1 0 1\n0 10 20 30\n", 1, 1},
        {"LampBeyondBindsNone", "textualLights,version010,0x77\n1\nl\n0 0 0\n-\n1 2 3\n1 1 0 1\n3 10 20 30\n", 1, 1},
        {"InfiniteRange", "textualLights,version010,0x77\n1\nl\n0 0 0\n-\n1 2 3\n1 -1 0 1\n0 1 2 3\n", 0, 1},
        {"OtherMap", "textualLights,version010,0x78\n0\n", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tree_.write("kavrin/maps/lit/lights.txt", std::string(c.lights));
        capture_.clear();
        ASSERT_EQ(load("lit"), c.loads);
        if (c.loads == 1) {
            ASSERT_EQ(world_.light_count, c.count);
            if (c.count == 1) {
                EXPECT_EQ(world_.lights[0].lamp, nullptr);
                EXPECT_FLOAT_EQ(world_.lights[0].reach, 400.0f) << "pow(4 x 1, 2 / 2) = 4";
                EXPECT_EQ(world_.lights[0].colour, 10u | 20u << 8 | 30u << 16);
            }
        } else {
            EXPECT_TRUE(capture_.contains("lights.txt"));
            EXPECT_NE(world_.sky_polygons, nullptr) << "the sky was built before the lights failed";
        }
        world_.close_map();
    }
    std::remove(tree_.path("kavrin/maps/lit/lights.txt").c_str());
    capture_.clear();
    EXPECT_EQ(load("lit"), 0);
    EXPECT_TRUE(capture_.contains("KLoad: Can't open maps/lit/lights.txt"));
}

// One damaged file of the generated map; the load fails naming the file.
struct BadCase {
    const char* name;
    const char* file;
    std::string (*damage)(const std::string&);
    const char* message;
};

std::string replace_line(const std::string& text, const std::string& from, const std::string& to)
{
    std::string out = text;
    const size_t at = out.find(from);
    if (at != std::string::npos) {
        out.replace(at, from.size(), to);
    }
    return out;
}

// The line index of the first polygon line of geometry.txt.
std::string with_polygon(const std::string& text, const std::string& line)
{
    const size_t at = text.find("# per polygon");
    const size_t first = text.find('\n', at) + 1;
    const size_t end = text.find('\n', first);
    return text.substr(0, first) + line + text.substr(end);
}

std::string with_face(const std::string& text, const std::string& line)
{
    const size_t at = text.find("# per face");
    const size_t first = text.find('\n', at) + 1;
    const size_t end = text.find('\n', first);
    return text.substr(0, first) + line + text.substr(end);
}

const BadCase text_cases[] = {
    {"GeometryOtherMap", "geometry.txt",
     [](const std::string& t) { return replace_line(t, "version005,0x77", "version005,0x78"); },
     "KLoad: Bad magic in geometry.txt"},
    {"GeometryWrongFormat", "geometry.txt",
     [](const std::string& t) { return replace_line(t, "version005", "version004"); },
     "KLoad: Unknown geometry.txt file format"},
    {"ModelCount", "geometry.txt", [](const std::string& t) { return replace_line(t, "\n1\n", "\n2\n"); },
     "KLoad: Different number of models in geometry.txt"},
    {"PolygonOfTwoVertices", "geometry.txt", [](const std::string& t) { return with_polygon(t, "0 2 0 0 1 0"); },
     "KLoad: Too few vertices in polygon #0"},
    {"PolygonOf65Vertices", "geometry.txt", [](const std::string& t) { return with_polygon(t, "0 65"); },
     "KLoad: Too many vertices in polygon #0"},
    {"FaceOutOfRange", "geometry.txt", [](const std::string& t) { return with_polygon(t, "999 4 0 0 1 0 2 0 3 0"); },
     "KLoad: Invalid face used in polygon 0"},
    {"NegativeFace", "geometry.txt", [](const std::string& t) { return with_polygon(t, "-1 4 0 0 1 0 2 0 3 0"); },
     "KLoad: Invalid face used in polygon 0"},
    {"VertexOutOfRange", "geometry.txt",
     [](const std::string& t) { return with_polygon(t, "0 4 0 0 1 0 2 0 0x7fffffff 0"); },
     "KLoad: Invalid vertex used in polygon #0"},
    {"LiteralOutOfRange", "geometry.txt",
     [](const std::string& t) { return with_polygon(t, "0 4 0 0 1 0 2 0 0x100000000 0"); }, "geometry.txt"},
    {"BadOctalDigit", "geometry.txt", [](const std::string& t) { return with_polygon(t, "0 4 0 0 1 0 2 0 08 0"); },
     "geometry.txt"},
    {"PlaneOutOfRange", "geometry.txt", [](const std::string& t) { return with_face(t, "999 0 0"); },
     "KLoad: Invalid plane used in face 0"},
    {"OppositeOfLastPlane", "geometry.txt", [](const std::string& t) { return with_face(t, "999 0 16"); },
     "KLoad: Invalid plane used in face 0"},
    {"NegativePlane", "geometry.txt", [](const std::string& t) { return with_face(t, "-1 0 0"); },
     "KLoad: Invalid plane used in face 0"},
    {"PatchOutOfRange", "geometry.txt", [](const std::string& t) { return with_face(t, "0 5 0"); },
     "KLoad: Invalid patch used in face 0"},
    {"UnusedLineHoldsAnything", "geometry.txt",
     [](const std::string& t) { return replace_line(t, "generated", "x"); }, nullptr},
    {"TexturesNameTooLong", "textures.txt", [](const std::string& t) { return replace_line(t, "brick", "brickwall9"); },
     "KLoad: Name too long in line"},
    {"PatchTextureOutOfRange", "patches.txt", [](const std::string& t) { return replace_line(t, "\n0 ", "\n7 "); },
     "KLoad: Invalid texture used in patch"},
    {"InfoSkyNameTooLong", "info.txt", [](const std::string& t) { return replace_line(t, "skyX", "skyskyskyX"); },
     "KLoad: Name too long in line"},
};

class WorldBadText : public WorldView, public ::testing::WithParamInterface<BadCase> {};

TEST_P(WorldBadText, IsRefusedNamingTheFile)
{
    mapgen::MapFiles files;
    std::string error;
    ASSERT_TRUE(mapgen::generate_map(LIT_ROOMS, files, error)) << error;
    const BadCase& c = GetParam();
    const std::string damaged = c.damage(file_text(files, c.file));
    ASSERT_NE(damaged, file_text(files, c.file)) << "the damage applies";
    set_text(files, c.file, damaged);
    write_files("bad", files);
    capture_.clear();
    const int loaded = load("bad");
    if (c.message == nullptr) {
        SUCCEED() << "an unused line may hold anything";
        EXPECT_EQ(loaded, 1);
        return;
    }
    EXPECT_EQ(loaded, 0);
    EXPECT_TRUE(capture_.contains(c.message)) << c.message;
}

INSTANTIATE_TEST_SUITE_P(Cases, WorldBadText, ::testing::ValuesIn(text_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// lightmap.bin damaged at a place found from its chunks.
struct BadLightmap {
    const char* name;
    void (*damage)(std::vector<uint8_t>&);
    const char* message;
};

void put(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}
uint32_t get(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
// The first polygon's POLD entry starts at 56: v, s0, s1, t0, t1, rows...
size_t first_rows() { return 56 + 20; }
size_t first_colour_word(const std::vector<uint8_t>& b)
{
    const uint32_t h = (get(b, 72) - get(b, 68)) / 16 + 1;
    return first_rows() + 4 * h;
}
// The data of the chunk with the identifier.
size_t chunk_data(const std::vector<uint8_t>& b, const char* id)
{
    size_t at = 4;
    while (at + 8 <= b.size() && std::memcmp(b.data() + at, id, 4) != 0) {
        at += 8 + ((get(b, at + 4) + 3) & ~3u);
    }
    return at + 8;
}

const BadLightmap lightmap_cases[] = {
    {"WrongForm", [](std::vector<uint8_t>& b) { b[0] = 'X'; }, "KLoad: Unknown lightmap.bin format"},
    {"WrongVersion", [](std::vector<uint8_t>& b) { put(b, 12, 2); }, "KLoad: Unknown lightmap.bin version"},
    {"OtherMap", [](std::vector<uint8_t>& b) { put(b, 16, 0x78); }, "KLoad: Wrong MAGIC in lightmap.bin"},
    {"PolygonCount", [](std::vector<uint8_t>& b) { put(b, 20, get(b, 20) + 1); },
     "KLoad: Wrong number of polygons in lightmap.bin"},
    {"HugeColourCount", [](std::vector<uint8_t>& b) { put(b, 24, 0x7FFFFFFF); },
     "KLoad: Can't allocate 2147483647 lightmap colors"},
    {"HugeLampCount", [](std::vector<uint8_t>& b) { put(b, 36, 0xFFFFFFFF); }, "KLoad: Can't init map lamp manager!"},
    {"TooFewRows", [](std::vector<uint8_t>& b) { put(b, 32, 1); }, "KLoad: Lightmap rows run out at polygon"},
    {"TooFewLampReferences", [](std::vector<uint8_t>& b) { put(b, 44, 0); }, "KLoad: Lamp pointer pool overflow"},
    {"ReversedTexels", [](std::vector<uint8_t>& b) { put(b, 64, get(b, 60) - 16); },
     "KLoad: Reversed texel range for polygon 0"},
    {"ThirtyThreeColumns", [](std::vector<uint8_t>& b) { put(b, 64, get(b, 60) + 32 * 16); },
     "KLoad: Lightmap for polygon 0 is too large"},
    {"RunLeavesItsRow", [](std::vector<uint8_t>& b) { b[first_rows() + 2] = 200; },
     "KLoad: Bad lightmap rows for polygon 0"},
    {"NegativeRowOffset", [](std::vector<uint8_t>& b) { b[first_rows() + 1] = 0x80; },
     "KLoad: Lightmap of polygon 0 lies outside the data"},
    {"ColourIndexOutside", [](std::vector<uint8_t>& b) { put(b, first_colour_word(b), 0xFFFFFF); },
     "KLoad: Colour index of polygon 0 lies outside"},
    {"DataOffsetOutside", [](std::vector<uint8_t>& b) { put(b, first_colour_word(b) + 4, 0x7FFFFFF0); },
     "KLoad: Lightmap of polygon 0 lies outside the data"},
    {"ColourOfSampleOutside",
     [](std::vector<uint8_t>& b) {
         put(b, first_colour_word(b), get(b, 24) - 1);
         b[chunk_data(b, "RLMD") + get(b, first_colour_word(b) + 4)] = 1;
     },
     "uses a colour outside lightmap.bin"},
    {"ShortData", [](std::vector<uint8_t>& b) { b.resize(b.size() - 8); }, "KLoad: Can't read lightmap.bin"},
    {"NoHead", [](std::vector<uint8_t>& b) { b[4] = 'X'; }, "KLoad: Expecting HEAD chunk in lightmap.bin"},
};

class WorldBadLightmap : public WorldView, public ::testing::WithParamInterface<BadLightmap> {};

TEST_P(WorldBadLightmap, IsRefusedNamingTheFile)
{
    mapgen::MapFiles files;
    std::string error;
    ASSERT_TRUE(mapgen::generate_map(LIT_ROOMS, files, error)) << error;
    std::vector<uint8_t> bin = bytes_of(files, "lightmap.bin");
    ASSERT_NE(get(bin, 56), 0u) << "the first polygon is lit";
    GetParam().damage(bin);
    set_bytes(files, "lightmap.bin", bin);
    write_files("bad", files);
    capture_.clear();
    EXPECT_EQ(load("bad"), 0);
    EXPECT_TRUE(capture_.contains(GetParam().message)) << GetParam().message;
}

INSTANTIATE_TEST_SUITE_P(Cases, WorldBadLightmap, ::testing::ValuesIn(lightmap_cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
