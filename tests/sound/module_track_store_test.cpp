// The track store keeps each pattern's non-empty span of tracks and rows and
// reads back exactly what was written, across block and chunk boundaries.
#include "sound/mod_track_store.h"

#include "tests/core/kheap_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

ModCell note_cell(uint8_t note)
{
    ModCell c;
    c.note = note;
    c.instrument = 0;
    return c;
}

bool same(const ModCell& a, const ModCell& b)
{
    return a.note == b.note && a.instrument == b.instrument && a.command[0] == b.command[0] &&
           a.command[1] == b.command[1] && a.param[0] == b.param[0] && a.param[1] == b.param[1];
}

TEST(ModTrackStore, OneNoteStoresOneTrackOfOneCell)
{
    ModTrackStore store;
    ASSERT_TRUE(store.create(4, 16, 8));
    ModTempRows temp;
    ASSERT_TRUE(temp.create(8, 64));
    temp.clear(64);
    temp.set(5, 10, note_cell(60));
    ModPattern p;
    ASSERT_TRUE(temp.compress(store, p));
    EXPECT_EQ(p.first_track(), 5u);
    EXPECT_EQ(p.tracks(), 1u);
    EXPECT_EQ(p.rows(), 64u);
    for (uint32_t track = 0; track < 8; ++track) {
        for (uint32_t row = 0; row < 70; ++row) {
            const bool the_note = track == 5 && row == 10;
            EXPECT_EQ(p.get_cell(track, row).note, the_note ? 60 : MOD_NONE) << track << " " << row;
        }
    }
}

TEST(ModTrackStore, EmptyRowsBetweenNotesAndEmptyTracksBetweenTracksAreKept)
{
    ModTrackStore store;
    ASSERT_TRUE(store.create(4, 2048, 512));
    ModTempRows temp;
    ASSERT_TRUE(temp.create(6, 32));
    temp.clear(32);
    temp.set(1, 3, note_cell(10));
    temp.set(1, 20, note_cell(20));
    temp.set(4, 0, note_cell(30));
    ModPattern p;
    ASSERT_TRUE(temp.compress(store, p));
    EXPECT_EQ(p.first_track(), 1u);
    EXPECT_EQ(p.tracks(), 4u); // tracks 1..4, with 2 and 3 empty
    EXPECT_EQ(p.get_cell(1, 3).note, 10);
    EXPECT_TRUE(p.get_cell(1, 4).empty());
    EXPECT_EQ(p.get_cell(1, 20).note, 20);
    EXPECT_TRUE(p.get_cell(2, 3).empty());
    EXPECT_TRUE(p.get_cell(3, 0).empty());
    EXPECT_EQ(p.get_cell(4, 0).note, 30);
    EXPECT_TRUE(p.get_cell(5, 0).empty());
}

TEST(ModTrackStore, AllEmptyPatternHasRowsAndNoTracks)
{
    ModTrackStore store;
    ASSERT_TRUE(store.create(1, 16, 8));
    ModTempRows temp;
    ASSERT_TRUE(temp.create(4, 64));
    temp.clear(64);
    ModPattern p;
    ASSERT_TRUE(temp.compress(store, p));
    EXPECT_EQ(p.rows(), 64u);
    EXPECT_EQ(p.tracks(), 0u);
    EXPECT_TRUE(p.get_cell(0, 0).empty());
}

// Many patterns of varied cells, read back after every block and chunk filled.
TEST(ModTrackStore, TracksReadAcrossBlockAndChunkBoundaries)
{
    ModTrackStore store;
    ASSERT_TRUE(store.create(256, 7, 7)); // tiny blocks and chunks: tracks cross blocks, patterns start chunks
    ModTempRows temp;
    ASSERT_TRUE(temp.create(5, 20));
    std::vector<std::vector<ModCell>> written;
    std::vector<ModPattern> patterns(12);
    uint32_t seed = 7;
    for (ModPattern& p : patterns) {
        temp.clear(20);
        std::vector<ModCell> cells(100);
        for (uint32_t t = 0; t < 5; ++t) {
            for (uint32_t r = 0; r < 20; ++r) {
                seed = seed * 1103515245u + 12345u;
                if ((seed >> 16) % 3 == 0) {
                    ModCell c;
                    c.note = uint8_t((seed >> 8) % 120);
                    c.command[1] = uint8_t(seed >> 24);
                    c.param[0] = uint8_t(r);
                    temp.set(t, r, c);
                    cells[t * 20 + r] = c;
                }
            }
        }
        ASSERT_TRUE(temp.compress(store, p));
        written.push_back(cells);
    }
    EXPECT_GT(store.blocks_used(), 10);
    EXPECT_GT(store.chunks_used(), 10);
    for (size_t i = 0; i < patterns.size(); ++i) {
        for (uint32_t t = 0; t < 5; ++t) {
            for (uint32_t r = 0; r < 20; ++r) {
                EXPECT_TRUE(same(patterns[i].get_cell(t, r), written[i][t * 20 + r])) << i << " " << t << " " << r;
            }
        }
    }
}

TEST(ModTrackStore, RunningOutOfBlocksOrChunksFailsTheCompression)
{
    struct Case {
        const char* why;
        int blocks;
        int cells;
        int tracks;
    };
    const Case cases[] = {
        {"the cells need a third block", 2, 30, 64},
        {"the descriptors need a 33rd chunk", 64, 2048, 1},
    };
    for (const Case& c : cases) {
        ModTrackStore store;
        ASSERT_TRUE(store.create(c.blocks, c.cells, c.tracks));
        ModTempRows temp;
        ASSERT_TRUE(temp.create(4, 64));
        bool failed = false;
        for (int i = 0; i < 40 && !failed; ++i) {
            temp.clear(64);
            temp.set(0, 0, note_cell(1));
            temp.set(0, 63, note_cell(2));
            ModPattern p;
            failed = !temp.compress(store, p);
        }
        EXPECT_TRUE(failed) << c.why;
    }
}

TEST(ModTrackStore, OneBlockHoldsExactlyItsCells)
{
    ModTrackStore store;
    ASSERT_TRUE(store.create(1, 4, 8));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(store.append_cell(note_cell(uint8_t(i))), i);
    }
    EXPECT_EQ(store.append_cell(note_cell(9)), -1);
}

// The loaders' temporary pattern is two heap blocks: the record tagged
// "ModTempPattern" and its cells "ModTempRows", both gone with it.
class ModTempPatternHeap : public KHeapTest {
protected:
    // The data sizes of the persistent blocks of that name.
    std::vector<uint32_t> persistent(const char* name) const
    {
        std::vector<uint32_t> sizes;
        for (MemoryBlock* m = heap_.first_block(); m != nullptr; m = m->next) {
            if (m->is_persistent() && std::strcmp(m->name, name) == 0) {
                sizes.push_back(m->size - uint32_t(sizeof(MemoryBlock)));
            }
        }
        return sizes;
    }
};

TEST_F(ModTempPatternHeap, TheRecordAndItsCellsCarryTheirTags)
{
    open(1 << 20, 0);
    {
        const ModTempPattern temp = mod_temp_pattern(64, 256);
        ASSERT_NE(temp, nullptr);
        EXPECT_STREQ(block_of(temp.get())->name, "ModTempPattern");
        const std::vector<uint32_t> record = persistent("ModTempPattern");
        const std::vector<uint32_t> cells = persistent("ModTempRows");
        ASSERT_EQ(record.size(), 1u);
        ASSERT_EQ(cells.size(), 1u);
        EXPECT_GE(record[0], sizeof(ModTempRows));
        EXPECT_GE(cells[0], 64u * 256u * sizeof(ModCell));
    }
    EXPECT_TRUE(persistent("ModTempPattern").empty());
    EXPECT_TRUE(persistent("ModTempRows").empty());
}

} // namespace
