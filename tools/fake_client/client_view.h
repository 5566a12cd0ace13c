#pragma once
// What a client holds of the server's objects after the updates it decoded:
// a create record makes an object, a leave record removes it, other records
// change the parts they carry.
#include "tools/fake_client/update_decoder.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fake_client {

// An object as the client holds it: the codes of its parts.
struct ObjectView {
    UpdateRecord state; // every part ever received, merged
    std::string name;   // meshes, sprites, sounds and icons, through the class's cache
    int creates = 0;
    int updates = 0;
};

class ClientView {
public:
    // Applies a decoded update; what breaks the rules goes to errors.
    void apply(const UpdateMessage& m);
    // Forgets every object (a new map).
    void clear();

    int32_t latest_stamp = -1;   // the newest update applied
    bool stamps_increase = true; // every update's stamp above the one before
    std::vector<std::string> errors; // undecodable updates, changes of objects not created
    std::map<uint32_t, ObjectView> objects; // created and not left
    // The block caches: per class, what each block index holds.
    std::map<int, std::map<uint32_t, std::string>> names;
    std::map<uint32_t, std::vector<uint8_t>> particle_blocks;

private:
    // The value of a cache reference, learning the block when it came along.
    bool resolve(int object_class, const CacheRef& ref, std::string& text);
    void apply_class_parts(ObjectView& v, const UpdateRecord& r, int32_t stamp);
};

} // namespace fake_client
