// A randomized run of the heap against a model of what it should hold: every
// live block keeps its size, owner and contents, blocks never overlap, free
// space stays untouched, evicted owners lose exactly their blocks, and the
// heap's own check passes after every operation.
#include "kheap_fixture.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace {

constexpr int OPERATIONS = 100000;
constexpr int OWNERS = 12;

uint32_t model_rand_state = 12345;

uint32_t model_rand(uint32_t n)
{
    model_rand_state = model_rand_state * 1664525u + 1013904223u;
    return (model_rand_state >> 8) % n;
}

struct Expected {
    size_t request;
    uint8_t fill;
    CacheOwner* owner;
};

std::map<uint8_t*, Expected>* model = nullptr;
bool explicit_flush = false;
int evictions = 0;

void fill(void* p, size_t n, uint8_t value) { std::memset(p, value, n); }


// Where a first-fit walk over the blocks, as plain as it can be written, puts
// a block when a free one fits without evicting anything; null when none fits.
uint8_t* walk_fit(const KHeap& heap, size_t request, int where, bool cacheable)
{
    const uint32_t size = block_size(request);
    MemoryBlock* fit = nullptr;
    if (cacheable) {
        if (heap.low() == nullptr) {
            return nullptr;
        }
        MemoryBlock* m = where == KHEAP_FROM_TOP ? heap.high() : heap.low();
        for (;;) {
            if (m->is_free() && m->size >= size) {
                fit = m;
                break;
            }
            if (m == (where == KHEAP_FROM_TOP ? heap.low() : heap.high())) {
                break;
            }
            m = where == KHEAP_FROM_TOP ? m->prev : m->next;
        }
    } else if (where == KHEAP_FROM_TOP) {
        for (MemoryBlock* m = heap.last_block(); m != nullptr && m != heap.high(); m = m->prev) {
            if (m->is_free() && m->size >= size) {
                fit = m;
                break;
            }
        }
    } else {
        for (MemoryBlock* m = heap.first_block(); m != nullptr && m != heap.low(); m = m->next) {
            if (m->is_free() && m->size >= size) {
                fit = m;
                break;
            }
        }
    }
    if (fit == nullptr) {
        return nullptr;
    }
    uint8_t* const start = reinterpret_cast<uint8_t*>(fit);
    const bool whole = fit->size - size < 64;
    return (where == KHEAP_FROM_TOP && !whole ? start + fit->size - size : start) + HEADER;
}

// An owner whose data is a few cacheable blocks of random sizes.
class ModelOwner : public CacheOwner {
public:
    ~ModelOwner() override { flush(); }

    int load(uintptr_t) override
    {
        const uint32_t count = 1 + model_rand(3);
        for (uint32_t i = 0; i < count; ++i) {
            const size_t size = 16 + model_rand(1500);
            const int where = static_cast<int>(model_rand(2));
            uint8_t* const expected_at = walk_fit(*kheap, size, where, true);
            uint8_t* p = static_cast<uint8_t*>(kheap->alloc_cacheable(size, this, where, "Cached"));
            if (expected_at != nullptr) {
                EXPECT_EQ(p, expected_at) << "not the first fit";
            }
            if (p == nullptr) {
                drop();
                return 0;
            }
            const uint8_t value = static_cast<uint8_t>(model_rand(255) + 1);
            fill(p, size, value);
            (*model)[p] = {size, value, this};
            blocks_.push_back(p);
        }
        return 1;
    }
    void drop() override
    {
        for (uint8_t* p : blocks_) {
            EXPECT_EQ(model->erase(p), 1u);
            kheap->free(p);
        }
        blocks_.clear();
        evictions += explicit_flush ? 0 : 1;
    }

private:
    std::vector<uint8_t*> blocks_;
};

} // namespace

TEST_F(KHeapTest, RandomOperationsAgreeWithTheModel)
{
    open(128 * 1024, KHEAP_CHECK | KHEAP_DEADBEEF);
    std::map<uint8_t*, Expected> expected;
    model = &expected;
    ModelOwner* owners[OWNERS];
    for (ModelOwner*& o : owners) {
        o = new (heap_.alloc(sizeof(ModelOwner), KHEAP_FROM_BOTTOM, "ModelOwner")) ModelOwner;
    }
    std::vector<uint8_t*> persistent;
    int first_fits = 0;

    const auto verify_contents = [&] {
        uint8_t* end = nullptr;
        for (const auto& [p, e] : expected) {
            MemoryBlock* m = reinterpret_cast<MemoryBlock*>(p) - 1;
            ASSERT_TRUE(end == nullptr || reinterpret_cast<uint8_t*>(m) >= end) << "blocks overlap";
            end = reinterpret_cast<uint8_t*>(m) + m->size;
            ASSERT_GE(m->size, e.request + HEADER);
            ASSERT_EQ(m->owner, e.owner);
            ASSERT_EQ(m->is_cacheable(), e.owner != nullptr);
            for (size_t i = 0; i < e.request; i += 61) {
                ASSERT_EQ(p[i], e.fill) << "block contents changed";
            }
        }
        ASSERT_EQ(heap_.check(1), 1);
        ASSERT_TRUE(heap_.index_agrees());
    };

    // Without a cacheable area the check names the missing area bounds; anything else is a fault.
    const auto faults = [&] {
        size_t n = 0;
        for (const PrintCapture::Line& l : capture_.lines()) {
            const bool no_area = l.text.find("cache block not found") != std::string::npos;
            n += l.stream == P_ERROR && !no_area ? 1 : 0;
        }
        return n;
    };
    for (int op = 0; op < OPERATIONS; ++op) {
        const uint32_t kind = model_rand(100);
        if (kind < 30 && persistent.size() < 60) {
            const size_t size = model_rand(4) == 0 ? model_rand(6000) : model_rand(300);
            const int where = model_rand(2) == 0 ? KHEAP_FROM_TOP : KHEAP_FROM_BOTTOM;
            uint8_t* const expected_at = walk_fit(heap_, size, where, false);
            uint8_t* p = static_cast<uint8_t*>(heap_.alloc(size, where, "Persist"));
            if (expected_at != nullptr) {
                ASSERT_EQ(p, expected_at) << "not the first fit, operation " << op;
                ++first_fits;
            }
            if (p != nullptr) {
                ASSERT_EQ(expected.count(p), 0u);
                const uint8_t value = static_cast<uint8_t>(model_rand(255) + 1);
                fill(p, size, value);
                expected[p] = {size, value, nullptr};
                persistent.push_back(p);
            }
        } else if (kind < 60 && !persistent.empty()) {
            const size_t i = model_rand(static_cast<uint32_t>(persistent.size()));
            uint8_t* p = persistent[i];
            persistent[i] = persistent.back();
            persistent.pop_back();
            ASSERT_EQ(expected.erase(p), 1u);
            if (model_rand(2) == 0) {
                heap_.free(p);
            } else {
                ::operator delete(p); // the global delete routes it back
            }
        } else if (kind < 90) {
            owners[model_rand(OWNERS)]->touch();
        } else {
            explicit_flush = true;
            owners[model_rand(OWNERS)]->flush();
            explicit_flush = false;
        }
        ASSERT_EQ(faults(), 0u) << "after operation " << op;
        if (capture_.lines().size() > 1000) {
            capture_.clear();
        }
        if (op % 256 == 0) {
            verify_contents();
            if (HasFatalFailure()) {
                FAIL() << "after operation " << op;
            }
        }
    }
    verify_contents();

    KHeapInfo info;
    heap_.mem_info(&info);
    EXPECT_EQ(info.low_size + info.cache_size + info.high_size, info.heap_size);
    EXPECT_GT(evictions, 1000); // the run did exercise eviction
    EXPECT_GT(first_fits, 1000); // and searches that found a free block

    for (uint8_t* p : persistent) {
        expected.erase(p);
        heap_.free(p);
    }
    explicit_flush = true;
    for (ModelOwner* o : owners) {
        delete o;
    }
    explicit_flush = false;
    EXPECT_TRUE(expected.empty());
    EXPECT_EQ(heap_.first_block()->size, heap_.size());
    model = nullptr;
}
