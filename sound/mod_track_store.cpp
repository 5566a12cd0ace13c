#include "sound/mod_track_store.h"

#include "core/kassert.h"
#include "core/print.h"

#include <new>

// Broken invariants of the store report themselves as "modtrack".
#define MODTRACK_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : _hope_exit("Assertion failed: ", "modtrack", __LINE__, #expr))

bool ModTrackStore::create(int max_blocks, int cells_per_block, int tracks_per_chunk)
{
    destroy();
    if (max_blocks < 1 || cells_per_block < 1 || tracks_per_chunk < 1 ||
        int64_t(max_blocks) * cells_per_block > INT32_MAX) {
        return false;
    }
    blocks_ = mod_new_array<ModStreamRows>(size_t(max_blocks), "ModStreamBlocks");
    if (blocks_ == nullptr) {
        return false;
    }
    max_blocks_ = max_blocks;
    cells_per_block_ = cells_per_block;
    tracks_per_chunk_ = tracks_per_chunk;
    if (!open_block(0) || !open_chunk(0)) {
        destroy();
        return false;
    }
    return true;
}

void ModTrackStore::destroy()
{
    if (blocks_ != nullptr) {
        for (int32_t i = 0; i < max_blocks_; ++i) {
            mod_delete_array(blocks_[i].cells, size_t(blocks_[i].capacity));
        }
        mod_delete_array(blocks_, size_t(max_blocks_));
    }
    for (ModTrackDesc*& chunk : chunks_) {
        mod_delete_array(chunk, size_t(tracks_per_chunk_));
    }
    max_blocks_ = 0;
    cur_block_ = -1;
    cur_chunk_ = -1;
    chunk_used_ = 0;
}

bool ModTrackStore::open_block(int index)
{
    if (index >= max_blocks_) {
        return false;
    }
    ModStreamRows& b = blocks_[index];
    MODTRACK_ASSERT(!b.used);
    b.cells = mod_new_array<ModCell>(size_t(cells_per_block_), "ModStreamRows");
    if (b.cells == nullptr) {
        return false;
    }
    b.capacity = cells_per_block_;
    cur_block_ = index;
    return true;
}

bool ModTrackStore::open_chunk(int index)
{
    if (index >= MOD_STORE_CHUNKS) {
        return false;
    }
    chunks_[index] = mod_new_array<ModTrackDesc>(size_t(tracks_per_chunk_), format_temp("ModTracks[%d]", index));
    if (chunks_[index] == nullptr) {
        return false;
    }
    cur_chunk_ = index;
    chunk_used_ = 0;
    return true;
}

int32_t ModTrackStore::append_cell(const ModCell& cell)
{
    if (blocks_ == nullptr) {
        return -1;
    }
    if (blocks_[cur_block_].used == blocks_[cur_block_].capacity && !open_block(cur_block_ + 1)) {
        return -1;
    }
    ModStreamRows& b = blocks_[cur_block_];
    b.cells[b.used] = cell;
    return cur_block_ * cells_per_block_ + b.used++;
}

bool ModTrackStore::reserve_tracks(int n)
{
    if (cur_chunk_ < 0 || n > tracks_per_chunk_) {
        return false;
    }
    if (chunk_used_ + n <= tracks_per_chunk_) {
        return true;
    }
    return open_chunk(cur_chunk_ + 1);
}

ModTrackDesc* ModTrackStore::add_track(int32_t start, uint32_t first, uint32_t rows)
{
    MODTRACK_ASSERT(first < 65536);
    MODTRACK_ASSERT(rows < 65536);
    if (cur_chunk_ < 0 || (chunk_used_ == tracks_per_chunk_ && !open_chunk(cur_chunk_ + 1))) {
        return nullptr;
    }
    ModTrackDesc* const d = &chunks_[cur_chunk_][chunk_used_++];
    d->start = start;
    d->first = uint16_t(first);
    d->rows = uint16_t(rows);
    return d;
}

ModCell ModTrackStore::get_cell(const ModTrackDesc* track, uint32_t row) const
{
    if (track == nullptr || track->start < 0 || row < track->first || row - track->first >= track->rows) {
        return ModCell{};
    }
    const int64_t at = int64_t(track->start) + (row - track->first);
    const int64_t block = at / cells_per_block_;
    MODTRACK_ASSERT(block <= cur_block_);
    const ModStreamRows& b = blocks_[block];
    const int64_t si = at - block * cells_per_block_;
    MODTRACK_ASSERT(si >= 0 && si < b.used);
    return b.cells[si];
}

void ModPattern::init(const ModTrackStore* store, const ModTrackDesc* first, uint32_t f, uint32_t t, uint32_t r)
{
    MODTRACK_ASSERT(first || !t || !r);
    MODTRACK_ASSERT(f < 256);
    MODTRACK_ASSERT(t < 256);
    MODTRACK_ASSERT(r < 65536);
    store_ = store;
    desc_ = first;
    f_ = uint8_t(f);
    t_ = uint8_t(t);
    r_ = uint16_t(r);
}

ModCell ModPattern::get_cell(uint32_t track, uint32_t row) const
{
    if (track < f_ || track - f_ >= t_ || row >= r_ || desc_ == nullptr) {
        return ModCell{};
    }
    return store_->get_cell(&desc_[track - f_], row);
}

bool ModTempRows::create(uint32_t tracks, uint32_t rows)
{
    destroy();
    if (tracks == 0 || rows == 0 || tracks >= 256 || rows > 65535) {
        return false;
    }
    cells_ = mod_new_array<ModCell>(size_t(tracks) * rows, "ModTempRows");
    if (cells_ == nullptr) {
        return false;
    }
    tracks_ = tracks;
    rows_ = rows;
    capacity_rows_ = rows;
    return true;
}

void ModTempRows::destroy()
{
    mod_delete_array(cells_, size_t(tracks_) * capacity_rows_);
    tracks_ = 0;
    rows_ = 0;
    capacity_rows_ = 0;
}

void ModTempRows::clear(uint32_t rows)
{
    MODTRACK_ASSERT(rows <= capacity_rows_);
    rows_ = rows;
    for (size_t i = 0; i < size_t(tracks_) * capacity_rows_; ++i) {
        cells_[i] = ModCell{};
    }
}

void ModTempRows::set(uint32_t track, uint32_t row, const ModCell& cell)
{
    const uint32_t tracks = tracks_;
    const uint32_t rows = rows_;
    MODTRACK_ASSERT(track < tracks && row < rows);
    cells_[size_t(track) * capacity_rows_ + row] = cell;
}

void ModTempPatternFree::operator()(ModTempRows* temp) const
{
    if (temp != nullptr) {
        temp->~ModTempRows();
        mod_free_bytes(temp);
    }
}

ModTempPattern mod_temp_pattern(uint32_t tracks, uint32_t rows)
{
    void* const p = mod_alloc_bytes(sizeof(ModTempRows), "ModTempPattern");
    if (p == nullptr) {
        return nullptr;
    }
    ModTempPattern temp(new (p) ModTempRows);
    if (!temp->create(tracks, rows)) {
        return nullptr;
    }
    return temp;
}

bool ModTempRows::compress(ModTrackStore& store, ModPattern& pattern) const
{
    // The span of non-empty tracks decides how many descriptors follow one another.
    int32_t first_track = -1;
    int32_t last_track = -1;
    for (uint32_t t = 0; t < tracks_; ++t) {
        const ModCell* const track = &cells_[size_t(t) * capacity_rows_];
        for (uint32_t r = 0; r < rows_; ++r) {
            if (!track[r].empty()) {
                if (first_track < 0) {
                    first_track = int32_t(t);
                }
                last_track = int32_t(t);
                break;
            }
        }
    }
    if (first_track < 0) {
        pattern.init(&store, nullptr, 0, 0, rows_);
        return true;
    }
    if (!store.reserve_tracks(last_track - first_track + 1)) {
        return false;
    }
    const ModTrackDesc* first_desc = nullptr;
    int pending = 0;
    for (int32_t t = first_track; t <= last_track; ++t) {
        const ModCell* const track = &cells_[size_t(t) * capacity_rows_];
        int32_t first = -1;
        int32_t last = -1;
        for (uint32_t r = 0; r < rows_; ++r) {
            if (!track[r].empty()) {
                if (first < 0) {
                    first = int32_t(r);
                }
                last = int32_t(r);
            }
        }
        if (first < 0) {
            ++pending;
            continue;
        }
        int32_t start = -1;
        for (int32_t r = first; r <= last; ++r) {
            const int32_t at = store.append_cell(track[r]);
            if (at < 0) {
                return false;
            }
            if (r == first) {
                start = at;
            }
        }
        for (; pending > 0; --pending) {
            if (store.add_track(-1, 0, 0) == nullptr) {
                return false;
            }
        }
        const ModTrackDesc* const d = store.add_track(start, uint32_t(first), uint32_t(last - first + 1));
        if (d == nullptr) {
            return false;
        }
        if (first_desc == nullptr) {
            first_desc = d;
        }
    }
    pattern.init(&store, first_desc, uint32_t(first_track), uint32_t(last_track - first_track + 1), rows_);
    return true;
}
