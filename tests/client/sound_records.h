#pragma once
// The class 9 table of the tests' sound system: what each sound source's
// update carries, kept as plain values.
#include "client/cobj_manager.h"
#include "client/entity_fields.h"
#include "client/update_decoder.h"
#include "core/print.h"
#include "net/net_ccache.h"
#include "net/net_stream_in.h"

#include <cstdio>
#include <memory>
#include <new>

constexpr int SOUND_NAME_BLOCKS = 64;
constexpr int SOUND_NAME_SIZE = 32;

struct SoundState {
    bool has_source = false;
    char name[SOUND_NAME_SIZE] = {};
    uint32_t looped = 0;
    uint32_t frequency = 64;
    uint32_t distances[2] = {2, 8};
    uint32_t levels[2] = {63, 0};
};

class SoundRecords final : public CObjManager {
public:
    int create(int capacity)
    {
        destroy();
        records_.reset(new (std::nothrow) SoundState[static_cast<size_t>(capacity)]);
        if (records_ == nullptr || CObjManager::create(capacity, 1) == 0 ||
            names_.create(0, SOUND_NAME_BLOCKS, SOUND_NAME_SIZE) != 0) {
            destroy();
            return 0;
        }
        return 1;
    }
    void destroy()
    {
        names_.clear();
        records_.reset();
        CObjManager::destroy();
    }
    SoundState& record(int i) { return records_[i]; }

    int link(int index) override
    {
        records_[index] = SoundState{};
        return 1;
    }
    int unlink(int, int) override { return 1; }
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override
    {
        SoundState& sound = records_[index];
        if ((mask & UPD_CREATE) != 0) {
            char name[SOUND_NAME_SIZE];
            if (names_.read(&stream, name, 6, 0) != 0) {
                return 0;
            }
            const uint32_t looped = stream.read_bits(1);
            if (!sound.has_source) {
                if (is_plain_name(name)) {
                    std::snprintf(sound.name, sizeof sound.name, "%s", name);
                    sound.looped = looped;
                    sound.has_source = true;
                } else {
                    print_format(P_WARNING, "Client: Can't add sound '%s'", name);
                }
            }
        }
        if (read_present(stream)) {
            sound.frequency = stream.read_bits(8);
        }
        if ((mask & UPD_EXTENDED) != 0) {
            if (read_present(stream)) {
                sound.distances[0] = stream.read_bits(6);
                sound.distances[1] = stream.read_bits(6);
            }
            if (read_present(stream)) {
                sound.levels[0] = stream.read_bits(6);
                sound.levels[1] = stream.read_bits(6);
            }
        }
        return 1;
    }

private:
    std::unique_ptr<SoundState[]> records_;
    NetCCache names_;
};
