#pragma once
// A KHeap of its own for each test, installed as the global heap, with its
// own variable list and the printed lines captured.
#include "core/cache_owner.h"
#include "core/config_variable.h"
#include "core/kheap.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

class KHeapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_list_ = cvar_list;
        saved_heap_ = kheap;
        cvar_list = &variables_;
        capture_.show_all();
    }
    void TearDown() override
    {
        heap_.close();
        kheap = saved_heap_;
        cvar_list = saved_list_;
    }

    // flags: the KHEAP_* defaults of the four variables.
    void open(size_t size, uint32_t flags)
    {
        ASSERT_EQ(heap_.init(size, flags), 1);
        kheap = &heap_;
    }
    void set(const char* variable, int on) { ASSERT_EQ(variables_.find(variable)->set_bool(on), 1); }
    MemoryBlock* block_of(void* data) { return static_cast<MemoryBlock*>(data) - 1; }
    size_t errors() const
    {
        size_t n = 0;
        for (const PrintCapture::Line& l : capture_.lines()) {
            n += l.stream == P_ERROR ? 1 : 0;
        }
        return n;
    }

    ConfigVariableList variables_;
    KHeap heap_;
    PrintCapture capture_;
    ConfigVariableList* saved_list_ = nullptr;
    KHeap* saved_heap_ = nullptr;
};

// A cache owner whose data is a list of cacheable blocks of given sizes. It
// lives in a persistent heap block, as owners must.
class TestOwner : public CacheOwner {
public:
    explicit TestOwner(std::vector<size_t> sizes, int where = KHEAP_FROM_BOTTOM) : sizes_(std::move(sizes)), where_(where) {}
    ~TestOwner() override { flush(); }

    int load(uintptr_t) override
    {
        ++loads;
        for (size_t s : sizes_) {
            void* p = kheap->alloc_cacheable(s, this, where_, "TestData");
            if (p == nullptr) {
                drop();
                return 0;
            }
            blocks.push_back(p);
        }
        return 1;
    }
    void drop() override
    {
        ++drops;
        for (void* p : blocks) {
            kheap->free(p);
        }
        blocks.clear();
    }

    static TestOwner* make(std::vector<size_t> sizes, int where = KHEAP_FROM_BOTTOM)
    {
        void* place = kheap->alloc(sizeof(TestOwner), KHEAP_FROM_BOTTOM, "TestOwner");
        return place != nullptr ? new (place) TestOwner(std::move(sizes), where) : nullptr;
    }

    std::vector<void*> blocks;
    int loads = 0;
    int drops = 0;

private:
    std::vector<size_t> sizes_;
    int where_;
};

// A block's header, and the bytes a request of `request` takes with it.
constexpr size_t HEADER = sizeof(MemoryBlock);
inline uint32_t block_size(size_t request)
{
    return static_cast<uint32_t>(((request == 0 ? 1 : request) + HEADER + 15) & ~size_t{15});
}
