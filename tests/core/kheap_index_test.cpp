// Persistent blocks in their thousands from both ends of a heap large enough
// that the free-block index has several levels: every allocation must land
// where a plain first-fit walk over the blocks puts it.
#include "kheap_fixture.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t MIN_REMAINDER = 64;

uint32_t index_rand_state = 777;

uint32_t index_rand(uint32_t n)
{
    index_rand_state = index_rand_state * 1664525u + 1013904223u;
    return (index_rand_state >> 8) % n;
}


uint8_t* placed(MemoryBlock* fit, uint32_t size, int where)
{
    uint8_t* const start = reinterpret_cast<uint8_t*>(fit);
    const bool whole = fit->size - size < MIN_REMAINDER;
    if (where == KHEAP_FROM_TOP && !whole) {
        return start + fit->size - size + HEADER;
    }
    return start + HEADER;
}

// Without cacheable blocks the area between the regions is one free block (or none).
uint8_t* walk_fit(const KHeap& heap, size_t request, int where)
{
    const uint32_t size = block_size(request);
    if (where == KHEAP_FROM_TOP) {
        for (MemoryBlock* m = heap.last_block(); m != nullptr && m != heap.high(); m = m->prev) {
            if (m->is_free() && m->size >= size) {
                return placed(m, size, where);
            }
        }
    } else {
        for (MemoryBlock* m = heap.first_block(); m != nullptr && m != heap.low(); m = m->next) {
            if (m->is_free() && m->size >= size) {
                return placed(m, size, where);
            }
        }
    }
    if (heap.low() != nullptr && heap.low() == heap.high() && heap.low()->size >= size) {
        return placed(heap.low(), size, where);
    }
    return nullptr;
}

class KHeapIndexTest : public KHeapTest {};

TEST_F(KHeapIndexTest, ThousandsOfBlocksFromBothEndsAreFirstFits)
{
    open(size_t{6} << 20, 0);
    std::vector<uint8_t*> live;
    int fits = 0;
    int refusals = 0;
    for (int op = 0; op < 30000; ++op) {
        const bool grow = live.size() < 200 || (live.size() < 5000 && index_rand(100) < 60);
        if (grow) {
            const uint32_t pick = index_rand(100);
            const size_t size = pick < 75 ? index_rand(300) : pick < 95 ? 300 + index_rand(3000) : index_rand(60000);
            const int where = index_rand(2) == 0 ? KHEAP_FROM_TOP : KHEAP_FROM_BOTTOM;
            uint8_t* const expected_at = walk_fit(heap_, size, where);
            uint8_t* const p = static_cast<uint8_t*>(heap_.alloc(size, where, "Index"));
            ASSERT_EQ(p, expected_at) << "operation " << op << ", " << size << " bytes";
            if (p != nullptr) {
                std::memset(p, 0x5A, std::min<size_t>(size, 32));
                live.push_back(p);
                ++fits;
            } else {
                ++refusals;
            }
        } else {
            const size_t i = index_rand(static_cast<uint32_t>(live.size()));
            heap_.free(live[i]);
            live[i] = live.back();
            live.pop_back();
        }
        if (op % 64 == 0) {
            ASSERT_TRUE(heap_.index_agrees()) << "operation " << op;
            ASSERT_EQ(heap_.check(0), 1) << "operation " << op;
        }
    }
    EXPECT_GT(fits, 10000);
    EXPECT_GT(refusals, 0); // the heap did run full
    for (uint8_t* p : live) {
        heap_.free(p);
    }
    EXPECT_TRUE(heap_.index_agrees());
    EXPECT_EQ(heap_.first_block()->size, heap_.size());
    EXPECT_EQ(errors(), 0u);
}

} // namespace

namespace {

// Free blocks near and beyond where the index's entries saturate (4080 bytes
// for the byte entries, 512 KB for the 16-bit ones), in address order from
// the end that the allocations start at.
const size_t hole_requests[] = {4032, 520 << 10, 600 << 10, 530 << 10, 900 << 10, 2 << 20};

struct HugeCase {
    const char* name;
    size_t request;
};

const HugeCase huge_cases[] = {
    {"fills the hole at the byte entries' cap", 4032},
    {"just above that cap skips it", 4033},
    {"between holes beyond the 16-bit cap", 550 << 10},
    {"past three saturated holes", 800 << 10},
    {"only the last hole", 1536 << 10},
    {"no hole: from the middle area", 3 << 20},
};

// The first free block of at least size bytes between low and high, walking from where.
MemoryBlock* walk_area(const KHeap& heap, uint32_t size, int where)
{
    MemoryBlock* m = where == KHEAP_FROM_TOP ? heap.high() : heap.low();
    for (;;) {
        if (m->is_free() && m->size >= size) {
            return m;
        }
        if (m == (where == KHEAP_FROM_TOP ? heap.low() : heap.high())) {
            return nullptr;
        }
        m = where == KHEAP_FROM_TOP ? m->prev : m->next;
    }
}

TEST_F(KHeapIndexTest, HugePersistentRequestsLookPastHolesThatAreNearlyLargeEnough)
{
    open(size_t{24} << 20, 0);
    std::vector<void*> keep;
    for (const int where : {KHEAP_FROM_BOTTOM, KHEAP_FROM_TOP}) {
        std::vector<void*> gaps;
        for (const size_t h : hole_requests) {
            gaps.push_back(heap_.alloc(h, where, "Gap"));
            keep.push_back(heap_.alloc(64, where, "Keep"));
        }
        for (void* g : gaps) {
            heap_.free(g);
        }
    }
    ASSERT_TRUE(heap_.index_agrees());
    for (const HugeCase& c : huge_cases) {
        for (const int where : {KHEAP_FROM_BOTTOM, KHEAP_FROM_TOP}) {
            SCOPED_TRACE(::testing::Message() << c.name << (where == KHEAP_FROM_TOP ? ", from the top" : ", from the bottom"));
            uint8_t* const expected_at = walk_fit(heap_, c.request, where);
            void* const p = heap_.alloc(c.request, where, "Huge");
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p, expected_at);
            heap_.free(p);
            EXPECT_TRUE(heap_.index_agrees());
        }
    }
    for (void* k : keep) {
        heap_.free(k);
    }
    EXPECT_EQ(heap_.first_block()->size, heap_.size());
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapIndexTest, HugeCacheableRequestsLookPastHolesThatAreNearlyLargeEnough)
{
    open(size_t{24} << 20, 0);
    TestOwner* const owner = TestOwner::make({});
    ASSERT_NE(owner, nullptr);
    ASSERT_EQ(owner->touch(), 1);
    for (const int where : {KHEAP_FROM_BOTTOM, KHEAP_FROM_TOP}) {
        std::vector<void*> gaps;
        for (const size_t h : hole_requests) {
            gaps.push_back(heap_.alloc_cacheable(h, owner, where, "Gap"));
            owner->blocks.push_back(heap_.alloc_cacheable(64, owner, where, "Keep"));
        }
        for (void* g : gaps) {
            heap_.free(g);
        }
    }
    ASSERT_TRUE(heap_.index_agrees());
    for (const HugeCase& c : huge_cases) {
        for (const int where : {KHEAP_FROM_BOTTOM, KHEAP_FROM_TOP}) {
            SCOPED_TRACE(::testing::Message() << c.name << (where == KHEAP_FROM_TOP ? ", from the top" : ", from the bottom"));
            const uint32_t size = block_size(c.request);
            MemoryBlock* const fit = walk_area(heap_, size, where);
            ASSERT_NE(fit, nullptr);
            uint8_t* const expected_at = placed(fit, size, where);
            void* const p = heap_.alloc_cacheable(c.request, owner, where, "Huge");
            EXPECT_EQ(p, expected_at);
            heap_.free(p);
            EXPECT_TRUE(heap_.index_agrees());
        }
    }
    owner->flush();
    owner->~TestOwner();
    heap_.free(owner);
    EXPECT_EQ(heap_.first_block()->size, heap_.size());
    EXPECT_EQ(errors(), 0u);
}

} // namespace
