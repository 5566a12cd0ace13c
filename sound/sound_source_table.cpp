#include "sound/sound_source_table.h"

#include "core/kassert.h"
#include "core/matrix.h"
#include "core/print.h"
#include "net/net_defs.h"
#include "net/net_stream_in.h"
#include "sound/s3d_hive.h"
#include "sound/s3d_renderer.h"

#include <cstdio>
#include <cstring>
#include <new>

bool sound_plain_name(const char* name)
{
    if (name[0] == '\0' || std::strchr(name, '/') != nullptr || std::strchr(name, '\\') != nullptr ||
        std::strchr(name, ':') != nullptr || std::strstr(name, "..") != nullptr) {
        return false;
    }
    return true;
}

SoundSourceTable::SoundSourceTable(SoundObjectRecords* records) : records_(records)
{
    K_ASSERT(records);
}

SoundSourceTable::~SoundSourceTable()
{
    free_parts();
    records_->destroy_records();
}

void SoundSourceTable::stop_all()
{
    if (entries_ == nullptr) {
        return;
    }
    for (int32_t i = records_->first_object(); i != -1; i = records_->next_object()) {
        if (i >= 0 && i < count_ && entries_[i].source != nullptr) {
            entries_[i].source->stop();
            entries_[i] = Entry{};
        }
    }
}

void SoundSourceTable::free_parts()
{
    names_.clear();
    names_ready_ = false;
    stop_all();
    delete[] entries_;
    entries_ = nullptr;
    count_ = 0;
}

int SoundSourceTable::init(S3DHive* hive, int32_t count)
{
    free_parts();
    records_->destroy_records();
    hive_ = nullptr;
    if (count <= 0 || !records_->create_records(count)) {
        return 0;
    }
    entries_ = new (std::nothrow) Entry[static_cast<size_t>(count)];
    if (entries_ == nullptr) {
        return 0;
    }
    count_ = count;
    if (names_.create(0, SST_NAME_BLOCKS, SST_NAME_LENGTH) != NET_OK) {
        return 0;
    }
    names_ready_ = true;
    hive_ = hive;
    return 1;
}

const SoundSourceTable::Entry* SoundSourceTable::entry(int32_t index) const
{
    return index >= 0 && index < count_ ? &entries_[index] : nullptr;
}

int SoundSourceTable::net_update(int32_t index, uint32_t parts, NetStreamIn* stream)
{
    if (index < 0 || index >= count_) {
        return 0;
    }
    Entry& e = entries_[index];
    if ((parts & SST_PART_CREATE) != 0) {
        K_ASSERT(names_ready_);
        char name[SST_NAME_LENGTH];
        if (names_.read(stream, name, SST_NAME_INDEX_BITS, 0) != NET_OK) {
            return 0;
        }
        const uint32_t looped = stream->read_bits(1);
        if (stream->length() < 0) {
            return 0;
        }
        if (hive_ != nullptr && e.source == nullptr) {
            S3DSource* s = nullptr;
            if (!sound_plain_name(name)) {
                print_format(P_WARNING, "Client: Sound name '%s' is not a plain name", name);
            } else {
                char file[SST_NAME_LENGTH + 8];
                std::snprintf(file, sizeof file, "sounds/%s", name);
                s = hive_->create_source(file, 0);
            }
            if (s == nullptr) {
                print_format(P_WARNING, "Client: Can't add sound '%s'", name);
            } else {
                s->set_position(0.0f, 0.0f, 0.0f);
                s->set_velocity(0.0f, 0.0f, 0.0f);
                s->set_distances(SST_MIN_DISTANCE, SST_MAX_DISTANCE);
                s->set_volume(1.0f);
                s->set_frequency(1.0f);
                s->base_priority = 0.5f;
                s->volume_priority = 0.5f;
            }
            e.source = s;
            e.looped = static_cast<int>(looped);
        }
    }
    // Values are applied only once the whole part has been read.
    const uint32_t has_frequency = stream->read_bits(1);
    const uint32_t frequency = has_frequency != 0 ? stream->read_bits(8) : 0;
    uint32_t has_distances = 0;
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t has_levels = 0;
    uint32_t c = 0;
    if ((parts & SST_PART_EXTENDED) != 0) {
        has_distances = stream->read_bits(1);
        if (has_distances != 0) {
            a = stream->read_bits(6);
            b = stream->read_bits(6);
        }
        has_levels = stream->read_bits(1);
        if (has_levels != 0) {
            c = stream->read_bits(6);
            stream->read_bits(6); // the level at the maximum distance is not used
        }
    }
    if (stream->length() < 0) {
        return 0;
    }
    if (e.source != nullptr) {
        if (has_frequency != 0) {
            e.source->set_frequency(static_cast<float>(frequency) / 64.0f);
        }
        if (has_distances != 0) {
            e.source->set_distances(static_cast<float>(a * 8), static_cast<float>(b * 256));
        }
        if (has_levels != 0) {
            e.source->set_volume(static_cast<float>(c) / 63.0f);
        }
    }
    return 1;
}

int SoundSourceTable::link(int32_t index)
{
    if (index >= 0 && index < count_) {
        entries_[index] = Entry{};
    }
    return 1;
}

int SoundSourceTable::unlink(int32_t index, int forced)
{
    K_ASSERT(records_->object_allocated(index));
    if (index < 0 || index >= count_) {
        return 1;
    }
    Entry& e = entries_[index];
    if (e.source != nullptr) {
        if (forced || e.looped) {
            e.source->stop();
        } else {
            e.source->release();
        }
    }
    e = Entry{};
    return 1;
}

void SoundSourceTable::update(const Matrix& listener)
{
    if (hive_ != nullptr) {
        hive_->set_listener(listener);
    }
    for (int32_t i = records_->first_object(); i != -1; i = records_->next_object()) {
        if (i < 0 || i >= count_ || entries_[i].source == nullptr) {
            continue;
        }
        const SoundObjectPlace p = records_->object_place(i);
        Matrix m;
        mat_from_angles(m, p.position, p.angles.x, p.angles.y, p.angles.z);
        Vector at;
        mat_rotate_vector(at, m, p.position2);
        entries_[i].source->set_position(at.x, at.y, at.z);
    }
}

void SoundSourceTable::remove(int32_t index)
{
    if (index < 0 || index >= count_) {
        return;
    }
    if (entries_[index].source != nullptr) {
        entries_[index].source->stop();
    }
    entries_[index] = Entry{};
}
