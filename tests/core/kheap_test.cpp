#include "kheap_fixture.h"

#include "core/log_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t MB = 1048576;

} // namespace

TEST_F(KHeapTest, FreshHeapIsOneFreeBlock)
{
    open(4 * MB, KHEAP_CHECK | KHEAP_DEADBEEF);
    MemoryBlock* m = heap_.first_block();
    EXPECT_EQ(m->size, 4194304u);
    EXPECT_STREQ(m->name, "FREE");
    EXPECT_EQ(m->tag, 0x67617480u);
    EXPECT_EQ(heap_.low(), m);
    EXPECT_EQ(heap_.high(), m);
    EXPECT_EQ(heap_.last_block(), m);
    KHeapInfo info;
    heap_.mem_info(&info);
    EXPECT_EQ(info.heap_size, 4194304u);
    EXPECT_EQ(info.low_size, 0u);
    EXPECT_EQ(info.high_size, 0u);
    EXPECT_EQ(info.cache_size, 4194304u);
    EXPECT_EQ(info.cache_free, 4194304u);
    EXPECT_EQ(info.cache_largest, 4194304u);
    EXPECT_TRUE(capture_.contains("KHeap initialized (4 MB)"));
    EXPECT_EQ(heap_.check(1), 1);
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, InitRefusesImpossibleSizes)
{
    const size_t sizes[] = {0, 255, KHEAP_MAX_SIZE + 256, SIZE_MAX};
    for (size_t s : sizes) {
        EXPECT_EQ(heap_.init(s, 0), 0) << s;
        EXPECT_EQ(heap_.area(), nullptr);
    }
    EXPECT_EQ(capture_.count("KHeap: Can't allocate heap"), 4);
    // Cut down to a multiple of 256.
    open(4096 + 200, 0);
    EXPECT_EQ(heap_.size(), 4096u);
}

TEST_F(KHeapTest, InitWithoutVariableListFails)
{
    cvar_list = nullptr;
    EXPECT_EQ(heap_.init(65536, 0), 0);
    EXPECT_TRUE(capture_.contains("KHeap: Can't create cvars !"));
    EXPECT_FALSE(capture_.contains("Closing KHeap")); // it never opened
    EXPECT_EQ(heap_.area(), nullptr);
}

TEST_F(KHeapTest, InitClosesTheEarlierArea)
{
    open(4096, KHEAP_DEBUGMSG);
    heap_.alloc(16, KHEAP_FROM_BOTTOM, "Old");
    capture_.clear();
    open(8192, 0);
    EXPECT_TRUE(capture_.contains("Closing KHeap"));
    EXPECT_TRUE(capture_.contains("KHeap: Heap is not free in close() !"));
    EXPECT_EQ(heap_.size(), 8192u);
    EXPECT_EQ(heap_.first_block()->size, 8192u);
    EXPECT_STREQ(heap_.first_block()->name, "FREE");
}

TEST_F(KHeapTest, BlockSizesAndAlignment)
{
    open(65536, KHEAP_CHECK);
    struct Case {
        const char* why;
        size_t request;
        uint32_t block;
    };
    const Case cases[] = {
        {"one byte: header, then the next multiple of 16", 1, 64},
        {"nothing at all: as one byte, so the data lies inside the block", 0, 64},
        {"exactly a multiple of 16", 32, 80},
        {"one past it", 33, 96},
    };
    for (const Case& c : cases) {
        void* p = heap_.alloc(c.request, KHEAP_FROM_BOTTOM, "Sized");
        ASSERT_NE(p, nullptr) << c.why;
        EXPECT_EQ(block_of(p)->size, c.block) << c.why;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << c.why;
    }
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, SmallRemainderIsNotSplitOff)
{
    open(4096, 0);
    // 4096 - 4000 rounded: the rest would be below 64 bytes, so the whole block goes.
    void* p = heap_.alloc(4096 - HEADER - 48, KHEAP_FROM_BOTTOM, "Nearly");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(block_of(p)->size, 4096u);
    EXPECT_EQ(block_of(p)->next, nullptr);
    heap_.free(p);
    // With 64 bytes left over it is split.
    p = heap_.alloc(4096 - HEADER - 64, KHEAP_FROM_BOTTOM, "Split");
    EXPECT_EQ(block_of(p)->size, 4096u - 64);
    heap_.free(p);
}

TEST_F(KHeapTest, RequestsBeyondTheHeapAreRefused)
{
    open(65536, KHEAP_CHECK);
    TestOwner* owner = TestOwner::make({});
    const size_t requests[] = {SIZE_MAX, SIZE_MAX - 15, SIZE_MAX - HEADER, size_t{1} << 32, 65536 - HEADER + 1};
    for (size_t r : requests) {
        EXPECT_EQ(heap_.alloc(r, KHEAP_FROM_BOTTOM, "Huge"), nullptr) << r;
        EXPECT_EQ(heap_.alloc(r, KHEAP_FROM_TOP, "Huge"), nullptr) << r;
        EXPECT_EQ(heap_.alloc_cacheable(r, owner, KHEAP_FROM_TOP, "Huge"), nullptr) << r;
    }
    EXPECT_EQ(capture_.count("more than the heap holds"), 15);
    // Too large for what is left, though not for the heap: null without a message.
    capture_.clear();
    EXPECT_EQ(heap_.alloc(65536 - HEADER, KHEAP_FROM_BOTTOM, "Big"), nullptr);
    EXPECT_TRUE(capture_.lines().empty());
    delete owner;
}

TEST_F(KHeapTest, PersistentBlocksShrinkTheAreaFromBothEnds)
{
    open(65536, KHEAP_CHECK | KHEAP_DEADBEEF);
    void* bottom = heap_.alloc(1000, KHEAP_FROM_BOTTOM, "Bottom");
    void* top = heap_.alloc(2000, KHEAP_FROM_TOP, "Top");
    ASSERT_NE(bottom, nullptr);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(block_of(bottom), heap_.first_block());
    EXPECT_EQ(block_of(top), heap_.last_block());
    EXPECT_STREQ(block_of(top)->name, "Top");
    KHeapInfo info;
    heap_.mem_info(&info);
    EXPECT_EQ(info.low_size, block_of(bottom)->size);
    EXPECT_EQ(info.high_size, block_of(top)->size);
    EXPECT_EQ(info.cache_size, 65536 - info.low_size - info.high_size);
    EXPECT_EQ(info.cache_free, info.cache_size);

    heap_.free(bottom); // next to the area: its space goes back to it
    heap_.mem_info(&info);
    EXPECT_EQ(info.low_size, 0u);
    heap_.free(top);
    heap_.mem_info(&info);
    EXPECT_EQ(info.cache_size, 65536u);
    EXPECT_EQ(heap_.first_block()->size, 65536u);
    EXPECT_EQ(heap_.check(1), 1);
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, NamesAreCutAfterFifteenCharacters)
{
    open(4096, 0);
    void* p = heap_.alloc(16, KHEAP_FROM_BOTTOM, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_STREQ(block_of(p)->name, "ABCDEFGHIJKLMNO");
    heap_.free(p);
}

TEST_F(KHeapTest, ClearZeroesNewData)
{
    open(4096, KHEAP_DEADBEEF);
    uint8_t* p = static_cast<uint8_t*>(heap_.alloc(100, KHEAP_FROM_BOTTOM, "Dirty"));
    EXPECT_EQ(p[0], 0xEF); // free space held 0xDEADBEEF
    heap_.free(p);
    set("KHeap_Clear", 1);
    p = static_cast<uint8_t*>(heap_.alloc(100, KHEAP_FROM_BOTTOM, "Clean"));
    for (size_t i = 0; i < block_of(p)->size - HEADER; ++i) {
        ASSERT_EQ(p[i], 0) << i;
    }
    heap_.free(p);
}

TEST_F(KHeapTest, TouchedFreeSpaceIsReportedAtClose)
{
    open(65536, KHEAP_CHECK | KHEAP_DEADBEEF);
    uint8_t* p = static_cast<uint8_t*>(heap_.alloc(100, KHEAP_FROM_BOTTOM, "Victim"));
    void* keep = heap_.alloc(100, KHEAP_FROM_BOTTOM, "Keep"); // so p stays a block of its own
    heap_.free(p);
    p[8] = 1; // after the free
    heap_.free(keep);
    heap_.close();
    EXPECT_TRUE(capture_.contains("KHeap: Block 0 - unallocated space touched !"));
}

TEST_F(KHeapTest, SwitchingDeadBeefOnRefillsInsteadOfComplaining)
{
    open(65536, KHEAP_CHECK);
    void* a = heap_.alloc(100, KHEAP_FROM_BOTTOM, "A");
    void* b = heap_.alloc(100, KHEAP_FROM_BOTTOM, "B");
    heap_.free(a); // without DeadBeef: old data stays
    set("KHeap_DeadBeef", 1);
    EXPECT_EQ(heap_.check(1), 1); // refills
    EXPECT_EQ(heap_.check(1), 1); // and now verifies
    heap_.free(b);
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, CheckReportsDamagedHeaders)
{
    struct Case {
        const char* why;
        void (*damage)(MemoryBlock* m);
        const char* message;
    };
    const Case cases[] = {
        {"tag", [](MemoryBlock* m) { m->tag = 0x12345600; }, "KHeap: Block 1 (Second) - invalid tag !"},
        {"size", [](MemoryBlock* m) { m->size += 16; }, "KHeap: Block 1 (Second) - invalid size (val = 128, ptr dif = 112) !"},
        {"next link", [](MemoryBlock* m) { m->next = m; }, "KHeap: Block 1 (Second) - invalid next link !"},
        {"prev link, seen from the block below", [](MemoryBlock* m) { m->prev = m; }, "KHeap: Block 0 (First) - invalid next link !"},
        {"kind", [](MemoryBlock* m) { m->tag = TAG_TAG | 0x40; }, "KHeap: Block 1 (Second) - unknown type !"},
        {"next link out of the area, never followed",
         [](MemoryBlock* m) { m->next = reinterpret_cast<MemoryBlock*>(reinterpret_cast<uintptr_t>(m) + (1u << 20)); },
         "KHeap: Block 1 (Second) - invalid next link !"},
        {"next link between block boundaries, never followed",
         [](MemoryBlock* m) { m->next = reinterpret_cast<MemoryBlock*>(reinterpret_cast<uintptr_t>(m->next) + 8); },
         "KHeap: Block 1 (Second) - invalid next link !"},
        {"the first block's prev link, never followed",
         [](MemoryBlock* m) { m->prev->prev = reinterpret_cast<MemoryBlock*>(uintptr_t{0x10}); },
         "KHeap: Block 0 (First) - invalid prev link !"},
    };
    for (const Case& c : cases) {
        open(4096, 0);
        void* first = heap_.alloc(16, KHEAP_FROM_BOTTOM, "First");
        void* second = heap_.alloc(64, KHEAP_FROM_BOTTOM, "Second");
        MemoryBlock* m = block_of(second);
        const MemoryBlock saved = *m;
        const MemoryBlock saved_first = *block_of(first);
        c.damage(m);
        capture_.clear();
        EXPECT_EQ(heap_.check(0), 0) << c.why;
        EXPECT_TRUE(capture_.contains(c.message)) << c.why << ": " << (capture_.lines().empty() ? "" : capture_.lines()[0].text);
        *m = saved;
        *block_of(first) = saved_first;
        EXPECT_EQ(heap_.check(0), 1) << c.why;
        heap_.free(second);
        heap_.free(first);
        heap_.close();
    }
}

TEST_F(KHeapTest, LastBlockMustEndAtTheAreaEnd)
{
    open(4096, 0);
    heap_.first_block()->size = 4080;
    EXPECT_EQ(heap_.check(0), 0);
    EXPECT_TRUE(capture_.contains("KHeap: Last block 0 (FREE) - invalid size (val = 4080, ptr dif = 4096) !"));
    heap_.first_block()->size = 4096;
}

TEST_F(KHeapTest, LosingAndRegainingTheCacheableArea)
{
    for (int where : {KHEAP_FROM_BOTTOM, KHEAP_FROM_TOP}) {
        open(4096, KHEAP_CHECK);
        capture_.clear();
        void* a = heap_.alloc(1000, where, "A");
        void* b = heap_.alloc(4096 - block_of(a)->size - HEADER, where, "B"); // takes the rest
        ASSERT_NE(b, nullptr) << where;
        EXPECT_TRUE(capture_.contains("KHeap: No cacheable area available !")) << where;
        EXPECT_EQ(heap_.low(), nullptr);
        EXPECT_EQ(heap_.high(), nullptr);
        KHeapInfo info;
        heap_.mem_info(&info);
        EXPECT_EQ(info.high_size, 4096u);
        EXPECT_EQ(info.low_size, 0u);
        EXPECT_EQ(info.cache_size, 0u);
        // Persistent blocks still come and go; cacheable ones do not.
        TestOwner* owner = TestOwner::make({16});
        EXPECT_EQ(owner, nullptr) << where;
        heap_.free(a); // starts a new area
        EXPECT_EQ(heap_.low(), block_of(a)) << where;
        EXPECT_EQ(heap_.high(), block_of(a)) << where;
        EXPECT_EQ(heap_.check(0), 1);
        heap_.free(b);
        EXPECT_EQ(heap_.first_block()->size, 4096u);
        heap_.close();
    }
}

TEST_F(KHeapTest, FreedSpaceNextToTheAreaJoinsIt)
{
    open(8192, KHEAP_CHECK);
    TestOwner* bottom_owner = TestOwner::make({200}, KHEAP_FROM_BOTTOM);
    TestOwner* top_owner = TestOwner::make({200}, KHEAP_FROM_TOP);
    void* below = heap_.alloc(300, KHEAP_FROM_BOTTOM, "Below");
    void* above = heap_.alloc(300, KHEAP_FROM_TOP, "Above");
    MemoryBlock* const area = heap_.low();
    ASSERT_EQ(area, heap_.high());

    // Just below a free low that is also high: absorbs it and becomes both.
    heap_.free(below);
    EXPECT_EQ(heap_.low(), block_of(below));
    EXPECT_EQ(heap_.high(), block_of(below));
    // Just above a free high: merges into it.
    heap_.free(above);
    EXPECT_EQ(heap_.low(), block_of(below));
    EXPECT_EQ(heap_.high(), block_of(below));
    EXPECT_EQ(heap_.high()->next, nullptr);

    // Cacheable blocks at both edges of the area.
    below = heap_.alloc(300, KHEAP_FROM_BOTTOM, "Below");
    above = heap_.alloc(300, KHEAP_FROM_TOP, "Above");
    ASSERT_EQ(bottom_owner->touch(), 1);
    ASSERT_EQ(top_owner->touch(), 1);
    MemoryBlock* const bottom_data = block_of(bottom_owner->blocks[0]);
    MemoryBlock* const top_data = block_of(top_owner->blocks[0]);
    ASSERT_EQ(heap_.low(), bottom_data);
    ASSERT_EQ(heap_.high(), top_data);
    // Just below a cacheable low: becomes low, the cacheable block stays inside.
    heap_.free(below);
    EXPECT_EQ(heap_.low(), block_of(below));
    EXPECT_EQ(heap_.high(), top_data);
    // Just above a cacheable high: becomes high.
    heap_.free(above);
    EXPECT_EQ(heap_.high(), block_of(above));
    EXPECT_EQ(heap_.check(0), 1);
    // A freed cacheable block between free blocks: the merged block becomes high.
    top_owner->flush();
    EXPECT_EQ(heap_.high(), bottom_data->next);
    EXPECT_EQ(heap_.high()->next, nullptr);

    delete bottom_owner;
    delete top_owner;
    EXPECT_EQ(heap_.first_block()->size, 8192u);
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, MemInfoCountsEachRegion)
{
    open(65536, KHEAP_CHECK);
    // Lower region: 0x100 used, a free hole of 0x200, 0x100 used.
    void* l1 = heap_.alloc(0x100 - HEADER, KHEAP_FROM_BOTTOM, "L1");
    void* hole_low = heap_.alloc(0x200 - HEADER, KHEAP_FROM_BOTTOM, "L2");
    void* l3 = heap_.alloc(0x100 - HEADER, KHEAP_FROM_BOTTOM, "L3");
    // Upper region: holes of 0x300 and 0x80 between used blocks.
    void* h1 = heap_.alloc(0x100 - HEADER, KHEAP_FROM_TOP, "H1");
    void* hole_big = heap_.alloc(0x300 - HEADER, KHEAP_FROM_TOP, "H2");
    void* h3 = heap_.alloc(0x100 - HEADER, KHEAP_FROM_TOP, "H3");
    void* hole_small = heap_.alloc(0x80 - HEADER, KHEAP_FROM_TOP, "H4");
    void* h5 = heap_.alloc(0x100 - HEADER, KHEAP_FROM_TOP, "H5");
    // Cacheable area: one owner's block at its bottom.
    TestOwner* owner = TestOwner::make({0x400 - HEADER});
    ASSERT_EQ(owner->touch(), 1);
    for (void* p : {hole_low, hole_big, hole_small}) {
        heap_.free(p);
    }
    const uint32_t owner_block = block_of(owner)->size;
    const uint32_t low_size = 0x400 + owner_block;
    const uint32_t high_size = 0x680;
    KHeapInfo info;
    heap_.mem_info(&info);
    EXPECT_EQ(info.heap_size, 65536u);
    EXPECT_EQ(info.low_size, low_size);
    EXPECT_EQ(info.low_free, 0x200u);
    EXPECT_EQ(info.low_largest, 0x200u);
    EXPECT_EQ(info.high_size, high_size);
    EXPECT_EQ(info.high_free, 0x380u);
    EXPECT_EQ(info.high_largest, 0x300u);
    EXPECT_EQ(info.cache_size, 65536u - low_size - high_size);
    EXPECT_EQ(info.cache_free, info.cache_size - 0x400);
    EXPECT_EQ(info.cache_largest, info.cache_size - 0x400);
    delete owner;
    for (void* p : {l1, l3, h1, h3, h5}) {
        heap_.free(p);
    }
    EXPECT_EQ(heap_.first_block()->size, 65536u);
    EXPECT_EQ(errors(), 0u);
}

TEST_F(KHeapTest, DumpListsTheBlockMap)
{
    open(65536, 0);
    TestOwner* owner = TestOwner::make({256});
    ASSERT_EQ(owner->touch(), 1);
    void* top = heap_.alloc(100, KHEAP_FROM_TOP, "TopBlock");
    capture_.clear();
    heap_.dump(1, nullptr);
    std::vector<std::string> text;
    for (const PrintCapture::Line& l : capture_.lines()) {
        text.push_back(l.text);
    }
    const std::vector<std::string> expected = {
        "*** KHeap bottom ***",
        "0x00000000: 'TestOwner' [P], size 0x" + [] {
            char b[16];
            std::snprintf(b, sizeof b, "%x", static_cast<unsigned>((sizeof(TestOwner) + HEADER + 15) & ~size_t{15}));
            return std::string(b);
        }() + " bytes",
        "*** Cacheable area bottom ***",
    };
    ASSERT_GE(text.size(), 7u);
    EXPECT_EQ(text[0], expected[0]);
    EXPECT_EQ(text[1], expected[1]);
    EXPECT_EQ(text[2], expected[2]);
    EXPECT_NE(text[3].find(": 'TestData' [C], size 0x130 bytes (owned by 'TestOwner')"), std::string::npos) << text[3];
    EXPECT_NE(text[4].find(": FREE, size 0x"), std::string::npos) << text[4];
    EXPECT_EQ(text[5], "*** Cacheable area top ***");
    EXPECT_NE(text[6].find(": 'TopBlock' [P], size 0xa0 bytes"), std::string::npos) << text[6];
    EXPECT_EQ(text.back(), "*** KHeap top ***");

    capture_.clear();
    heap_.dump(0, nullptr); // without free blocks
    EXPECT_FALSE(capture_.contains("FREE"));
    heap_.free(top);
    delete owner;
}

TEST_F(KHeapTest, DumpWithoutCacheableAreaListsTheBlocksUnderTheFirstMarker)
{
    open(4096, 0);
    void* a = heap_.alloc(0x400 - HEADER, KHEAP_FROM_BOTTOM, "A");
    void* b = heap_.alloc(4096 - block_of(a)->size - HEADER, KHEAP_FROM_BOTTOM, "B");
    ASSERT_EQ(heap_.low(), nullptr);
    capture_.clear();
    heap_.dump(1, nullptr);
    std::vector<std::string> text;
    for (const PrintCapture::Line& l : capture_.lines()) {
        EXPECT_EQ(l.stream, P_MESSAGE);
        text.push_back(l.text);
    }
    const std::vector<std::string> expected = {
        "*** KHeap bottom ***",
        "0x00000000: 'A' [P], size 0x400 bytes",
        "0x00000400: 'B' [P], size 0xc00 bytes",
    };
    EXPECT_EQ(text, expected);
    heap_.free(b);
    heap_.free(a);
}

TEST_F(KHeapTest, DumpIntoATextFile)
{
    open(4096, 0);
    void* a = heap_.alloc(100, KHEAP_FROM_TOP, "Kept");
    capture_.clear();
    heap_.dump(1, nullptr);
    std::string shown;
    for (const PrintCapture::Line& l : capture_.lines()) {
        shown += l.text + "\n";
    }
    const std::string name = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt";
    LogFile file;
    ASSERT_EQ(file.open(1, name.c_str(), nullptr), 1);
    capture_.clear();
    heap_.dump(1, &file);
    EXPECT_TRUE(capture_.lines().empty()); // nothing on the streams
    file.close();
    std::FILE* f = std::fopen(name.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buffer[1024] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    std::remove(name.c_str());
    EXPECT_EQ(std::string(buffer, n).substr(0, shown.size()), shown);
    EXPECT_EQ(shown.rfind("*** KHeap top ***\n"), shown.size() - 18);
    heap_.free(a);
}

TEST_F(KHeapTest, ClosingABusyHeapWarns)
{
    open(4096, KHEAP_DEBUGMSG);
    heap_.alloc(16, KHEAP_FROM_BOTTOM, "Leak");
    heap_.close();
    EXPECT_TRUE(capture_.contains("Closing KHeap"));
    EXPECT_TRUE(capture_.contains("KHeap: Heap is not free in close() !"));
    EXPECT_TRUE(capture_.contains("'Leak' [P]"));
}

// A second free of a block stops with the assertion that names what is
// wrong, also when the first free merged the block into the free one below.
TEST_F(KHeapTest, FreeingAFreeBlockStops)
{
    struct Case {
        const char* name;
        int dead_beef;
        bool merged_below;
        const char* assertion;
    };
    const Case cases[] = {
        {"between used blocks", 0, false, "!\\(m->tag & TAGF_FREE\\)"},
        {"merged into the block below", 0, true, "!\\(m->tag & TAGF_FREE\\)"},
        // The absorbed header was filled like the rest of the free space.
        {"merged, free space filled", 1, true, "\\(m->tag & TAGM_TAG\\) == TAG_TAG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open(4096, 0);
        set("KHeap_DeadBeef", c.dead_beef);
        void* below = heap_.alloc(100, KHEAP_FROM_BOTTOM, "Below");
        void* twice = heap_.alloc(100, KHEAP_FROM_BOTTOM, "Twice");
        void* above = heap_.alloc(100, KHEAP_FROM_BOTTOM, "Above");
        if (c.merged_below) {
            heap_.free(below);
        }
        heap_.free(twice);
        EXPECT_DEATH(heap_.free(twice), c.assertion);
        heap_.free(above);
        if (!c.merged_below) {
            heap_.free(below);
        }
        EXPECT_EQ(heap_.first_block()->size, heap_.size());
    }
}

TEST_F(KHeapTest, ObjectBlockFindsTheContainingBlock)
{
    open(4096, 0);
    uint8_t* p = static_cast<uint8_t*>(heap_.alloc(100, KHEAP_FROM_BOTTOM, "Obj"));
    EXPECT_EQ(heap_.object_block(p + 50), block_of(p));
    EXPECT_EQ(heap_.object_block(p - 1), block_of(p)); // the header belongs to it
    EXPECT_EQ(heap_.object_block(&p), nullptr);
    EXPECT_FALSE(heap_.holds(heap_.area()));
    EXPECT_TRUE(heap_.holds(p));
    heap_.free(p);
}
