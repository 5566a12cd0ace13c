#pragma once
// Each texture test gets a scratch directory mounted as the file system, its
// own variable list and sine table, an optional heap of its own, and the
// printed lines captured.
#include "core/config_variable.h"
#include "core/kheap.h"
#include "core/sine_table.h"
#include "fsys/fsys.h"
#include "fsys/temp_tree.h"
#include "support/print_capture.h"
#include "tools/fsys/chunk_writer.h"
#include "tools/textures/texture_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_fsys_ = fsys;
        saved_list_ = cvar_list;
        saved_heap_ = kheap;
        saved_sine_ = sine_table;
        cvar_list = &variables_;
        kheap = nullptr;
        ASSERT_EQ(files_.init(), 1);
        ASSERT_EQ(files_.mount(tree_.path().c_str(), 1, 10), 1);
        fsys = &files_;
        ASSERT_EQ(sine_.init(4096), 1);
        sine_table = &sine_;
        capture_.show_all();
    }
    void TearDown() override
    {
        files_.close();
        fsys = saved_fsys_;
        sine_table = saved_sine_;
        heap_.close();
        kheap = saved_heap_;
        cvar_list = saved_list_;
    }

    // Must come before any texture object is made: cache owners live in the heap.
    void open_heap(size_t size, uint32_t flags = KHEAP_CHECK)
    {
        ASSERT_EQ(heap_.init(size, flags), 1);
        kheap = &heap_;
    }

    void write(const std::string& path, const std::vector<uint8_t>& bytes) { tree_.write(path, bytes); }

    int errors() const { return count_stream(P_ERROR); }
    int warnings() const { return count_stream(P_WARNING); }
    int count_stream(int stream) const
    {
        int n = 0;
        for (const PrintCapture::Line& l : capture_.lines()) {
            n += l.stream == stream ? 1 : 0;
        }
        return n;
    }

    TempTree tree_;
    FSys files_;
    ConfigVariableList variables_;
    SineTable sine_;
    KHeap heap_;
    PrintCapture capture_;

private:
    FSys* saved_fsys_ = nullptr;
    ConfigVariableList* saved_list_ = nullptr;
    KHeap* saved_heap_ = nullptr;
    SineTable* saved_sine_ = nullptr;
};

// A small image whose texels and palette are all different, so that a wrong
// offset or row shows.
inline tools::TextureImage pattern_image(int width, int height, bool with_alpha, int seed = 0)
{
    tools::TextureImage image;
    image.width = width;
    image.height = height;
    for (int i = 0; i < 768; ++i) {
        image.palette[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + seed * 31 + i / 3);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.index.push_back(static_cast<uint8_t>(x * 3 + y * 17 + seed));
            if (with_alpha) {
                image.alpha.push_back(static_cast<uint8_t>((x + y) % 5 == 0 ? 0 : x * 11 + y));
            }
        }
    }
    return image;
}

// A file of hand-picked chunks, for damaged texture files.
struct TestChunk {
    char id[5];
    std::vector<uint8_t> data;
};
struct BadTextureCase {
    const char* what;
    char form[5];
    std::vector<TestChunk> chunks;
    const char* message;
};
inline std::vector<uint8_t> chunked_file(const BadTextureCase& c)
{
    tools::ChunkWriter w(c.form);
    for (const TestChunk& chunk : c.chunks) {
        w.add(chunk.id, chunk.data);
    }
    return w.bytes();
}
