// The perspective mapper when the heap cannot keep every texture a surface
// needs: loading one texture may drop another that is still being drawn.
#include "core/kheap.h"
#include "poly_fixture.h"
#include "world/view/render_object.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int SIZE = 64;
// A 64 x 64 texture takes about 7 KB of the heap: this one holds one at a time.
constexpr size_t ROOM_FOR_ONE = 12 * 1024;
constexpr size_t ROOM_FOR_ALL = 96 * 1024;

// Texels and colours that all differ. The blue of every colour leaves room
// for the second layer's blue, which is then added without a carry.
tools::TextureImage busy_image(int seed)
{
    tools::TextureImage image;
    image.width = SIZE;
    image.height = SIZE;
    for (int i = 0; i < 256; ++i) {
        image.palette[static_cast<size_t>(3 * i)] = static_cast<uint8_t>(i * 7 + seed);
        image.palette[static_cast<size_t>(3 * i + 1)] = static_cast<uint8_t>(i * 13 + 3 * seed);
        image.palette[static_cast<size_t>(3 * i + 2)] = static_cast<uint8_t>((i * 5 + seed) & 0x7F);
    }
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            image.index.push_back(static_cast<uint8_t>(x * 3 + y * 17 + seed));
        }
    }
    return image;
}

// Every colour pure blue 0x80, halved on loading to 0x40.
tools::TextureImage blue_image()
{
    tools::TextureImage image = busy_image(1);
    for (int i = 0; i < 256; ++i) {
        image.palette[static_cast<size_t>(3 * i)] = 0;
        image.palette[static_cast<size_t>(3 * i + 1)] = 0;
        image.palette[static_cast<size_t>(3 * i + 2)] = 0x80;
    }
    return image;
}

// A transparent entity that draws a texture of its own, as a sprite does.
class TexturedObject : public RenderObject {
public:
    void draw(PolyRenderer&) override
    {
        if (slot == nullptr) {
            return;
        }
        TextureAnim anim{slot, 0, 0.0f};
        fetched = slot->get_frame(anim, 0) != nullptr;
        face_dropped = watched->frames[0].texture == nullptr;
    }
    TextureSlot* slot = nullptr;
    TextureSlot* watched = nullptr; // whose texture the draw may drop
    bool fetched = false;
    bool face_dropped = false;
};

class MapperHeapTest : public PolyTest {
protected:
    void SetUp() override
    {
        PolyTest::SetUp();
        start(64, 48);
        set("R_Mipmapping", "False");
        saved_heap_ = kheap;
    }
    void TearDown() override
    {
        close_heap();
        PolyTest::TearDown();
    }

    // Freed space is overwritten, so that a texture read after its drop shows.
    void open_heap(size_t bytes)
    {
        ASSERT_EQ(heap_.init(bytes, KHEAP_CHECK | KHEAP_DEADBEEF), 1);
        kheap = &heap_;
        // Texture owners must now be made inside the heap.
        manager_.release();
        ASSERT_EQ(manager_.create(16), 1);
        manager_.convert_all(projection_.rgb_layout);
    }
    void close_heap()
    {
        patches_.clear();
        anims_.clear();
        manager_.release();
        if (kheap == &heap_) {
            EXPECT_EQ(heap_.check(1), 1);
            kheap = saved_heap_;
            heap_.close();
        }
    }

    std::vector<uint32_t> window() const
    {
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < projection_.ysize; ++y) {
            for (int32_t x = 0; x < projection_.xsize; ++x) {
                pixels.push_back(pixel(x, y));
            }
        }
        return pixels;
    }

    KHeap heap_;
    KHeap* saved_heap_ = nullptr;
};

TEST_F(MapperHeapTest, TwoLayerFaceDrawsItsFirstLayerAloneWhenTheHeapHoldsOneTexture)
{
    const struct {
        const char* why;
        size_t heap;
        bool both;
    } cases[] = {
        {"room for both layers", ROOM_FOR_ALL, true},
        {"room for one layer", ROOM_FOR_ONE, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        open_heap(c.heap);
        AlgoTexture* const top = texture("top", busy_image(0));
        AlgoTexture* const under = texture("under", blue_image());
        Scene scene;
        Scene::Item& it = scene.add(quad(-2, -2, 2, 2, 8), top, 0.125, 3);
        draw(scene, POLY_CLIP);
        const std::vector<uint32_t> alone = window();

        it.face.flags |= FACE_TWO_LAYERS;
        it.face.second_patch = under;
        draw(scene, POLY_CLIP);
        EXPECT_EQ(renderer_.mapper.second != nullptr, c.both);
        const std::vector<int> ids = span_ids(scene);
        const std::vector<uint32_t> drawn = window();
        const uint32_t blue = uint32_t{0x40} << projection_.rgb_layout[2];
        int covered = 0;
        int wrong = 0;
        for (size_t i = 0; i < drawn.size(); ++i) {
            const bool on_face = ids[i] == 0;
            covered += on_face ? 1 : 0;
            // One layer is drawn at twice its halved colours, two add theirs.
            const uint32_t want = on_face && c.both ? ((alone[i] >> 1) & 0x7F7F7F7F) + blue : alone[i];
            wrong += drawn[i] != want ? 1 : 0;
        }
        EXPECT_GT(covered, 200);
        EXPECT_EQ(wrong, 0);
        close_heap();
    }
}

// Two surfaces of one transparent face with a transparent entity between
// them in the drawing order: the entity's texture may push the face's out.
TEST_F(MapperHeapTest, FaceTextureIsFetchedAgainAfterAnEntityDrawnBetweenItsSurfaces)
{
    open_heap(ROOM_FOR_ONE);
    AlgoTexture* const top = texture("top", busy_image(0));
    tree_.write("kavrin/textures/test/other.cmt", tools::cmt_bytes(busy_image(9)));
    TextureSlot* const other = manager_.get("test", "other", TEXTURE_KIND_MAP);
    ASSERT_NE(other, nullptr);
    Scene scene;
    Scene::Item& left = scene.add(quad(-2, -2, 0, 2, 8), top, 0.125, 3);
    Scene::Item& right = scene.add(quad(0, -2, 2, 2, 8), top, 0.125, 3);
    left.face.flags |= FACE_TRANSPARENT;
    right.polygon.face = &left.face;

    std::vector<uint32_t> reference;
    for (const bool touches : {false, true}) {
        SCOPED_TRACE(touches ? "entity loads another texture" : "entity draws nothing");
        TexturedObject between;
        between.render_flags = RENDER_TRANSPARENT;
        between.slot = touches ? other : nullptr;
        between.watched = anims_[0]->slot;
        projection_.begin_frame(view_);
        projection_.clear_window();
        renderer_.begin_frame();
        renderer_.set_transform(world_, nullptr);
        for (Scene::Item* it : {&left, &right}) {
            PolygonRef ref;
            ref.polygon = &it->polygon;
            ref.transform = &world_;
            ref.order_key = it->key;
            renderer_.add_polygon(ref, POLY_CLIP);
            if (it == &left) {
                renderer_.add_transparent(&between);
            }
        }
        renderer_.end_frame();
        EXPECT_EQ(renderer_.stats.drawn, 2);
        if (!touches) {
            reference = window();
            continue;
        }
        ASSERT_TRUE(between.fetched);
        ASSERT_TRUE(between.face_dropped);
        EXPECT_EQ(window(), reference);
    }
}

} // namespace
