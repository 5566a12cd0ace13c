#include "kheap_fixture.h"

namespace {


} // namespace

TEST_F(KHeapTest, TouchLoadsOnceAndOrdersTheList)
{
    open(65536, KHEAP_CHECK);
    TestOwner* a = TestOwner::make({100});
    TestOwner* b = TestOwner::make({100});
    EXPECT_EQ(a->touch(), 1);
    EXPECT_EQ(b->touch(), 1);
    EXPECT_EQ(heap_.co_head(), b);
    EXPECT_EQ(heap_.co_tail(), a);
    EXPECT_EQ(a->touch(), 1); // already loaded: moved to the front only
    EXPECT_EQ(a->loads, 1);
    EXPECT_EQ(heap_.co_head(), a);
    EXPECT_EQ(heap_.co_tail(), b);
    a->flush();
    EXPECT_EQ(a->drops, 1);
    EXPECT_FALSE(a->linked());
    EXPECT_EQ(heap_.co_head(), b);
    EXPECT_EQ(heap_.co_tail(), b);
    delete a;
    delete b;
    EXPECT_EQ(heap_.first_block()->size, 65536u);
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, FailedLoadLeavesTheList)
{
    open(4096, 0);
    TestOwner* greedy = TestOwner::make({8000});
    EXPECT_EQ(greedy->touch(), 0);
    EXPECT_FALSE(greedy->linked());
    EXPECT_EQ(heap_.co_head(), nullptr);
    delete greedy;
}

TEST_F(KHeapTest, PersistentAllocationEvictsFromTheAreaEdge)
{
    for (int where : {KHEAP_FROM_TOP, KHEAP_FROM_BOTTOM}) {
        open(8192, KHEAP_CHECK | KHEAP_DEADBEEF | KHEAP_DEBUGMSG);
        // Two owners fill the area between them.
        TestOwner* low_owner = TestOwner::make({1000, 1000}, KHEAP_FROM_BOTTOM);
        TestOwner* high_owner = TestOwner::make({1000, 1000}, KHEAP_FROM_TOP);
        ASSERT_EQ(low_owner->touch(), 1);
        ASSERT_EQ(high_owner->touch(), 1);
        KHeapInfo info;
        heap_.mem_info(&info);
        capture_.clear();
        // Larger than the free space in the middle: the owner at the edge must go.
        void* p = heap_.alloc(info.cache_free, where, "Persist");
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(capture_.contains("KHeap: Shrinking cacheable area"));
        EXPECT_TRUE(capture_.contains("KHeap: Removing blocks owned by 'TestOwner'"));
        TestOwner* const edge = where == KHEAP_FROM_TOP ? high_owner : low_owner;
        TestOwner* const other = where == KHEAP_FROM_TOP ? low_owner : high_owner;
        EXPECT_EQ(edge->drops, 1);
        EXPECT_FALSE(edge->linked());
        EXPECT_EQ(other->drops, 0);
        EXPECT_TRUE(other->linked());
        EXPECT_EQ(heap_.check(1), 1);
        heap_.free(p);
        delete low_owner;
        delete high_owner;
        EXPECT_EQ(heap_.first_block()->size, 8192u);
        heap_.close();
    }
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, CacheableAllocationEvictsTheLeastRecentlyUsed)
{
    open(8192, KHEAP_CHECK | KHEAP_DEBUGMSG);
    TestOwner* a = TestOwner::make({2500});
    TestOwner* b = TestOwner::make({2500});
    TestOwner* c = TestOwner::make({3000});
    ASSERT_EQ(a->touch(), 1);
    ASSERT_EQ(b->touch(), 1);
    ASSERT_EQ(a->touch(), 1); // b is now the least recently used
    capture_.clear();
    ASSERT_EQ(c->touch(), 1);
    EXPECT_TRUE(capture_.contains("KHeap: Freeing cache"));
    EXPECT_EQ(b->drops, 1);
    EXPECT_EQ(a->drops, 0);
    EXPECT_TRUE(a->linked());
    EXPECT_FALSE(b->linked());
    EXPECT_EQ(heap_.co_head(), c);
    EXPECT_EQ(heap_.co_tail(), a);
    delete a;
    delete b;
    delete c;
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, TheOnlyOwnerThatDoesNotFitGetsNull)
{
    open(8192, KHEAP_CHECK);
    TestOwner* solo = TestOwner::make({3000, 3000, 3000});
    EXPECT_EQ(solo->touch(), 0); // the third block cannot fit and nobody else can give way
    EXPECT_FALSE(solo->linked());
    EXPECT_TRUE(solo->blocks.empty());
    delete solo;
    EXPECT_EQ(heap_.first_block()->size, 8192u);
}

TEST_F(KHeapTest, CacheableWithoutAreaGetsNull)
{
    open(4096, 0);
    TestOwner* owner = TestOwner::make({});
    void* rest = heap_.alloc(4096 - block_of(owner)->size - HEADER, KHEAP_FROM_BOTTOM, "Rest");
    ASSERT_NE(rest, nullptr);
    ASSERT_EQ(heap_.low(), nullptr);
    EXPECT_EQ(heap_.alloc_cacheable(16, owner, KHEAP_FROM_BOTTOM, "None"), nullptr);
    heap_.free(rest);
    delete owner;
}

TEST_F(KHeapTest, OwnerDestroyedWhileLinkedIsUnlinkedAndLosesItsBlocks)
{
    // An owner whose destructor forgets to flush.
    class Forgetful : public CacheOwner {
    public:
        int load(uintptr_t) override { return (data = kheap->alloc_cacheable(500, this, 0, "Forgot")) != nullptr; }
        void drop() override { kheap->free(data); }
        void* data = nullptr;
    };
    open(8192, KHEAP_CHECK);
    void* place = heap_.alloc(sizeof(Forgetful), KHEAP_FROM_BOTTOM, "Forgetful");
    Forgetful* f = new (place) Forgetful;
    TestOwner* other = TestOwner::make({500});
    ASSERT_EQ(f->touch(), 1);
    ASSERT_EQ(other->touch(), 1);
    delete f;
    EXPECT_TRUE(capture_.contains("KHeap: Cache owner in block 'Forgetful' is still valid !"));
    EXPECT_EQ(heap_.co_head(), other);
    EXPECT_EQ(heap_.co_tail(), other);
    // No block names the dead owner any more, so no eviction can reach it.
    for (MemoryBlock* m = heap_.first_block(); m != nullptr; m = m->next) {
        EXPECT_STRNE(m->name, "Forgot");
    }
    // Filling the area evicts only the live owner.
    TestOwner* big = TestOwner::make({7000});
    EXPECT_EQ(big->touch(), 1);
    EXPECT_EQ(other->drops, 1);
    delete other;
    delete big;
    EXPECT_EQ(heap_.first_block()->size, 8192u);
}

TEST(CacheOwnerWithoutHeap, LoadedFlag)
{
    class Counting : public CacheOwner {
    public:
        int load(uintptr_t argument) override
        {
            ++loads;
            return argument != 0;
        }
        void drop() override { ++drops; }
        int loads = 0;
        int drops = 0;
    };
    KHeap* const saved = kheap;
    kheap = nullptr;
    {
        Counting c;
        EXPECT_EQ(c.touch(0), 0); // failed: not loaded
        EXPECT_EQ(c.touch(1), 1);
        EXPECT_EQ(c.touch(1), 1);
        EXPECT_EQ(c.loads, 2);
        c.flush();
        EXPECT_EQ(c.drops, 1);
        c.flush();
        EXPECT_EQ(c.drops, 1);
    }
    kheap = saved;
}
