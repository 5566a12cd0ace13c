#pragma once
// A block of stereo 32-bit accumulators that channels and other buffers mix
// into. Each pass the buffer runs its filters over the block and adds it into
// its output; buffers form a tree towards the mixer's main buffer, and a
// buffer is processed only once all of its inputs have been mixed in.
#include <cstdint>

// A filter over a buffer's accumulators; it must be unlinked before it dies.
class MixFilter {
public:
    MixFilter() = default;
    MixFilter(const MixFilter&) = delete;
    MixFilter& operator=(const MixFilter&) = delete;
    virtual ~MixFilter();
    // acc: frames of two i32 (left, right).
    virtual void process(int32_t* acc, int32_t frames) = 0;

    MixFilter* next = nullptr; // link in a buffer's filter list
};

// Largest buffer, in frames.
constexpr int32_t MIX_MAX_BUFFER_FRAMES = 1 << 20;

class MixingBuffer {
public:
    MixingBuffer() = default;
    MixingBuffer(const MixingBuffer&) = delete;
    MixingBuffer& operator=(const MixingBuffer&) = delete;
    // Frees the accumulators; the owner unwires the buffer first (release).
    ~MixingBuffer();

    // Frames are raised to a multiple of 256; false when they cannot be allocated.
    bool create(int32_t frames);
    // Leaves the output, unlinks every filter and frees the accumulators.
    void release();
    void clear(int32_t frames);
    // Moves this buffer's contribution from the old output to `buffer` (or none).
    void set_output(MixingBuffer* buffer);
    void add_filter(MixFilter* filter, bool at_head);
    void remove_filter(MixFilter* filter);
    // Runs the filters over the first frames and adds them into the output.
    void process(int32_t frames);

    MixingBuffer* next = nullptr;   // link in the mixer's list of extra buffers
    MixingBuffer* output = nullptr; // null for the main buffer
    int32_t* buffer = nullptr;      // buffer_length frames of (left, right)
    int32_t buffer_length = 0;      // frames, a multiple of 256
    int32_t inputs = 0;             // channels and buffers that feed this one
    int32_t mixed = 0;              // inputs mixed in this pass; -1 once processed
    MixFilter* filters = nullptr;
};
