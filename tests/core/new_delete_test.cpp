#include "kheap_fixture.h"

#include <memory>
#include <string>

namespace {

struct Tracked {
    explicit Tracked(int* count) : count_(count) { ++*count_; }
    ~Tracked() { --*count_; }
    int* count_;
    char payload[40] = {};
};

struct alignas(64) Wide {
    char bytes[64];
};

} // namespace

TEST_F(KHeapTest, DeleteGivesHeapObjectsBackToTheHeap)
{
    open(65536, KHEAP_CHECK | KHEAP_DEADBEEF);
    int live = 0;
    Tracked* in_heap = new (heap_.alloc(sizeof(Tracked), KHEAP_FROM_BOTTOM, "Tracked")) Tracked(&live);
    Tracked* outside = new Tracked(&live);
    EXPECT_TRUE(heap_.holds(in_heap));
    EXPECT_FALSE(heap_.holds(outside));
    EXPECT_EQ(live, 2);
    delete in_heap;
    EXPECT_EQ(live, 1);
    EXPECT_EQ(heap_.first_block()->size, 65536u); // the block is free again
    delete outside; // the general heap's: the heap is not touched
    EXPECT_EQ(live, 0);
    EXPECT_EQ(heap_.first_block()->size, 65536u);

    // Arrays, with and without a cookie in front of the elements.
    void* raw = heap_.alloc(sizeof(int) * 10, KHEAP_FROM_TOP, "Ints");
    int* ints = new (raw) int[10];
    delete[] ints;
    EXPECT_EQ(heap_.first_block()->size, 65536u);

    Tracked* none = nullptr;
    delete none;
    EXPECT_EQ(heap_.check(1), 1);
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, EveryOperatorFormWorksBesideTheHeap)
{
    open(65536, KHEAP_CHECK);
    // The general heap serves every form; the heap stays untouched.
    auto* a = new int(7);
    auto* b = new int[5]{1, 2, 3, 4, 5};
    auto* c = new (std::nothrow) int(8);
    auto* d = new (std::nothrow) int[3];
    auto* e = new Wide;
    auto* f = new Wide[2];
    auto* g = new (std::nothrow) Wide;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(e) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(f) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(g) % 64, 0u);
    for (void* p : {static_cast<void*>(a), static_cast<void*>(b), static_cast<void*>(e)}) {
        EXPECT_FALSE(heap_.holds(p));
    }
    delete a;
    delete[] b;
    delete c;
    delete[] d;
    delete e;
    delete[] f;
    ::operator delete(g, std::align_val_t{64}, std::nothrow);
    ::operator delete(::operator new(16), std::nothrow);
    ::operator delete[](::operator new[](16), std::nothrow);
#ifdef __cpp_sized_deallocation
    ::operator delete(::operator new(16), size_t{16});
    ::operator delete[](::operator new[](16), size_t{16});
    ::operator delete(::operator new(16, std::align_val_t{32}), size_t{16}, std::align_val_t{32});
    ::operator delete[](::operator new[](16, std::align_val_t{32}), size_t{16}, std::align_val_t{32});
#endif
    ::operator delete[](::operator new[](16, std::align_val_t{32}, std::nothrow), std::align_val_t{32});
    // Library containers go through the same operators.
    std::string s(1000, 'x');
    auto shared = std::make_shared<std::vector<int>>(100, 1);
    EXPECT_EQ(heap_.first_block()->size, 65536u);

    // Every single-object delete form returns a heap block as well.
    using Release = void (*)(void*);
    const Release forms[] = {
        [](void* p) { ::operator delete(p); },
        [](void* p) { ::operator delete[](p); },
#ifdef __cpp_sized_deallocation
        [](void* p) { ::operator delete(p, size_t{16}); },
        [](void* p) { ::operator delete[](p, size_t{16}); },
        [](void* p) { ::operator delete(p, size_t{16}, std::align_val_t{16}); },
        [](void* p) { ::operator delete[](p, size_t{16}, std::align_val_t{16}); },
#endif
        [](void* p) { ::operator delete(p, std::nothrow); },
        [](void* p) { ::operator delete[](p, std::nothrow); },
        [](void* p) { ::operator delete(p, std::align_val_t{16}); },
        [](void* p) { ::operator delete[](p, std::align_val_t{16}); },
        [](void* p) { ::operator delete(p, std::align_val_t{16}, std::nothrow); },
        [](void* p) { ::operator delete[](p, std::align_val_t{16}, std::nothrow); },
    };
    for (Release release : forms) {
        void* p = heap_.alloc(16, KHEAP_FROM_BOTTOM, "Form");
        ASSERT_NE(p, nullptr);
        release(p);
        EXPECT_EQ(heap_.first_block()->size, 65536u);
    }
    EXPECT_EQ(errors(), 0u);
}

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_ASAN 1
#endif
#endif

TEST(NewDelete, FailedNothrowNewGivesNull)
{
#ifdef OSTREL_ASAN
    GTEST_SKIP() << "the address sanitizer stops on a request this size";
#endif
    volatile size_t huge = SIZE_MAX / 2;
    EXPECT_EQ(new (std::nothrow) char[huge], nullptr);
    EXPECT_THROW((void)::operator new(huge), std::bad_alloc);
}

TEST_F(KHeapTest, FallbackAllocationWithoutAHeap)
{
    kheap = nullptr;
    void* general = kheap_alloc(100, KHEAP_FROM_BOTTOM, "Loose");
    ASSERT_NE(general, nullptr);
    open(65536, KHEAP_CHECK);
    void* block = kheap_alloc(100, KHEAP_FROM_BOTTOM, "Named");
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(heap_.holds(block));
    EXPECT_STREQ(block_of(block)->name, "Named");
    EXPECT_FALSE(heap_.holds(general));
    kheap_release(general);
    kheap_release(block);
    EXPECT_EQ(heap_.first_block()->size, 65536u);
    EXPECT_EQ(errors(), 0u);
}
