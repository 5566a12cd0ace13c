#pragma once
// SoundSourceTable: the in-game sound sources, one per object of class 9
// that the server replicates. It reads the class's part of each object
// update into a hive source, keeps every source at its object's place each
// frame, and stops a looped source (or lets a one-shot one finish) when its
// object leaves.
//
// The objects themselves live in the client's object table of class 9; the
// client gives the table to the sound sources through SoundObjectRecords
// and forwards its per-class operations (net_update, link, unlink) here.
#include "core/vector.h"
#include "net/net_ccache.h"

#include <cstdint>

class NetStreamIn;
class S3DHive;
class S3DSource;
struct Matrix;

// Part-mask bits of an object update that the sound sources read.
constexpr uint32_t SST_PART_CREATE = 0x400;
constexpr uint32_t SST_PART_EXTENDED = 0x2000;

constexpr int32_t SST_NAME_BLOCKS = 64;
constexpr int32_t SST_NAME_LENGTH = 32;
constexpr int SST_NAME_INDEX_BITS = 6;
// In-game sources start with these distances.
constexpr float SST_MIN_DISTANCE = 16.0f;
constexpr float SST_MAX_DISTANCE = 2048.0f;

// Where an object of the table is: its position and angles place its second
// position, which is where the sound plays.
struct SoundObjectPlace {
    Vector position;
    Vector angles;    // radians
    Vector position2; // in the object's frame
};

// The client's object table of class 9 as the sound sources use it.
class SoundObjectRecords {
public:
    virtual ~SoundObjectRecords() = default;
    // Makes count free slots found by hashing the identifier; 1 or 0.
    virtual int create_records(int32_t count) = 0;
    virtual void destroy_records() = 0;
    // Iteration over the used slots; -1 at the end.
    virtual int32_t first_object() = 0;
    virtual int32_t next_object() = 0;
    virtual bool object_allocated(int32_t index) const = 0;
    virtual SoundObjectPlace object_place(int32_t index) const = 0;
};

class SoundSourceTable {
public:
    explicit SoundSourceTable(SoundObjectRecords* records);
    ~SoundSourceTable();
    SoundSourceTable(const SoundSourceTable&) = delete;
    SoundSourceTable& operator=(const SoundSourceTable&) = delete;

    // hive may be null (sound off): updates are then read and make nothing.
    int init(S3DHive* hive, int32_t count);
    // The class's part of one update; 0 when the stream cannot be read.
    int net_update(int32_t index, uint32_t parts, NetStreamIn* stream);
    // A new object took the slot; 1.
    int link(int32_t index);
    // Its object left: forced or looped stops at once, else it plays out; 1.
    int unlink(int32_t index, int forced);
    // Per frame: the listener to the hive, every source to its object's place.
    void update(const Matrix& listener);
    // Stops the slot's source at once.
    void remove(int32_t index);

    struct Entry {
        S3DSource* source = nullptr;
        int looped = 0;
    };
    const Entry* entry(int32_t index) const;
    S3DHive* hive() const { return hive_; }

private:
    void stop_all();
    void free_parts();

    SoundObjectRecords* records_;
    S3DHive* hive_ = nullptr;
    NetCCache names_;
    bool names_ready_ = false;
    Entry* entries_ = nullptr;
    int32_t count_ = 0;
};

// Whether a name from the network names a file right under its folder:
// not empty, no '/', '\\' or "..", no drive.
bool sound_plain_name(const char* name);
