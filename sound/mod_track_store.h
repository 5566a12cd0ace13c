#pragma once
// ModTrackStore: all pattern data of a module, stored once. Each pattern keeps
// only its tracks from the first to the last non-empty one, and each track
// only its cells from the first to the last non-empty row; the cells of a
// track are consecutive in one row stream cut into blocks, and the
// descriptors of a pattern's tracks are consecutive in one chunk.
#include "sound/module_data.h"

#include <cstdint>
#include <memory>

// Cell indices run through the row stream: block x cells per block + offset.
struct ModTrackDesc {
    int32_t start = -1;   // row-stream index of the first stored cell; -1 = no cells
    uint16_t first = 0;   // pattern row of that cell
    uint16_t rows = 0;    // stored cells
};

struct ModStreamRows {
    ModCell* cells = nullptr;
    int32_t capacity = 0;
    int32_t used = 0;
};

// What every loader asks of the store.
constexpr int MOD_STORE_BLOCKS = 256;
constexpr int MOD_STORE_CELLS = 2048;
constexpr int MOD_STORE_TRACKS = 512;
constexpr int MOD_STORE_CHUNKS = 32;

class ModTrackStore {
public:
    ModTrackStore() = default;
    ~ModTrackStore() { destroy(); }
    ModTrackStore(const ModTrackStore&) = delete;
    ModTrackStore& operator=(const ModTrackStore&) = delete;

    // The block array, the first block and the first descriptor chunk; false
    // when an allocation fails.
    bool create(int max_blocks, int cells_per_block, int tracks_per_chunk);
    void destroy();

    // The stored cell's row-stream index; -1 when the blocks are used up or
    // an allocation fails.
    int32_t append_cell(const ModCell& cell);
    // Makes room for n consecutive descriptors, starting a fresh chunk when
    // the current one cannot hold them; false when none is left.
    bool reserve_tracks(int n);
    // A new descriptor; null when the chunks are used up or allocation fails.
    ModTrackDesc* add_track(int32_t start, uint32_t first, uint32_t rows);
    // The track's cell at a pattern row; an empty cell outside the stored rows.
    ModCell get_cell(const ModTrackDesc* track, uint32_t row) const;

    int32_t blocks_used() const { return cur_block_ + 1; }
    int32_t chunks_used() const { return cur_chunk_ + 1; }

private:
    bool open_block(int index);
    bool open_chunk(int index);

    ModStreamRows* blocks_ = nullptr;
    int32_t max_blocks_ = 0;
    int32_t cells_per_block_ = 0;
    int32_t cur_block_ = -1;
    ModTrackDesc* chunks_[MOD_STORE_CHUNKS] = {};
    int32_t tracks_per_chunk_ = 0;
    int32_t cur_chunk_ = -1;
    int32_t chunk_used_ = 0;
};

// A pattern: tracks f .. f + t - 1 of r rows, their descriptors consecutive.
class ModPattern {
public:
    void init(const ModTrackStore* store, const ModTrackDesc* first, uint32_t f, uint32_t t, uint32_t r);
    // Empty unless f <= track < f + t and row < r.
    ModCell get_cell(uint32_t track, uint32_t row) const;

    uint32_t rows() const { return r_; }
    uint32_t first_track() const { return f_; }
    uint32_t tracks() const { return t_; }

private:
    const ModTrackStore* store_ = nullptr;
    const ModTrackDesc* desc_ = nullptr;
    uint8_t f_ = 0;
    uint8_t t_ = 0;
    uint16_t r_ = 0;
};

// One pattern as a loader reads it: tracks x rows cells, track after track.
class ModTempRows {
public:
    ModTempRows() = default;
    ~ModTempRows() { destroy(); }
    ModTempRows(const ModTempRows&) = delete;
    ModTempRows& operator=(const ModTempRows&) = delete;

    // false when the cells cannot be allocated (the load must not go on).
    bool create(uint32_t tracks, uint32_t rows);
    void destroy();
    // Every cell empty; the row count becomes `rows` (at most the created count).
    void clear(uint32_t rows);
    void set(uint32_t track, uint32_t row, const ModCell& cell);
    // Stores the non-empty part of the pattern; false when the store runs out.
    bool compress(ModTrackStore& store, ModPattern& pattern) const;

    uint32_t tracks() const { return tracks_; }
    uint32_t rows() const { return rows_; }
    uint32_t capacity_rows() const { return capacity_rows_; }

private:
    ModCell* cells_ = nullptr;
    uint32_t tracks_ = 0;
    uint32_t rows_ = 0;
    uint32_t capacity_rows_ = 0;
};

// The loaders' temporary pattern: the record is a heap block tagged
// "ModTempPattern", its cells another tagged "ModTempRows".
struct ModTempPatternFree {
    void operator()(ModTempRows* temp) const;
};
using ModTempPattern = std::unique_ptr<ModTempRows, ModTempPatternFree>;

// Null when either block cannot be allocated.
ModTempPattern mod_temp_pattern(uint32_t tracks, uint32_t rows);
