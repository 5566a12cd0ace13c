#include "tools/fake_client/update_decoder.h"

#include "tools/fake_client/bit_reader.h"

namespace fake_client {

namespace {

// The wire order of the mask bits: the first group, then the second.
constexpr uint32_t FIRST_GROUP[7] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x2000};
constexpr uint32_t SECOND_GROUP[7] = {0x40, 0x80, 0x100, 0x200, 0x400, 0x800, 0x1000};

} // namespace

double position_value(uint32_t code, bool wide)
{
    return wide ? code / 8.0 - 65536.0 : code / 8.0 - 8192.0;
}

double angle_value(uint32_t code, int bits) { return static_cast<double>(code) / (1u << bits); }

UpdateMessage decode_update(const uint8_t* data, int32_t bits)
{
    UpdateMessage m;
    BitReader in(data, bits);
    uint32_t stamp = 0;
    if (!in.take(32, stamp)) {
        m.error = "no stamp";
        return m;
    }
    m.stamp = static_cast<int32_t>(stamp);
    while (in.left() > 0) {
        UpdateRecord r;
        const int32_t start = in.at();
        r.wide_id = in.get(1) == 1;
        r.index = in.get(r.wide_id ? 16 : 8);
        r.count = in.get(4);
        r.object_class = static_cast<int>(in.get(4));
        r.id = r.index | (r.count << 16) | (static_cast<uint32_t>(r.object_class) << 20);
        r.leave = in.get(1) == 1;
        if (!r.leave) {
            for (const uint32_t bit : FIRST_GROUP) {
                r.mask |= in.get(1) != 0 ? bit : 0;
            }
            if ((r.mask & 0x2000) != 0) {
                for (const uint32_t bit : SECOND_GROUP) {
                    r.mask |= in.get(1) != 0 ? bit : 0;
                }
            }
            const int pbits = r.wide_positions() ? 20 : 17;
            r.angle_bits = r.object_class == CLASS_CAMERA ? 14 : 12;
            for (int k = 0; k < 3; ++k) {
                if ((r.mask & (0x1u << k)) != 0) {
                    r.position_code[k] = in.get(pbits);
                }
            }
            if ((r.mask & 0x40) != 0) {
                for (uint32_t& c : r.offset_code) {
                    c = in.get(pbits);
                }
            }
            for (int k = 0; k < 3; ++k) {
                if ((r.mask & (0x8u << k)) != 0) {
                    r.carrier_code[k] = in.get(r.angle_bits);
                }
            }
            for (int k = 0; k < 3; ++k) {
                if ((r.mask & (0x80u << k)) != 0) {
                    r.own_code[k] = in.get(r.angle_bits);
                }
            }
            for (int k = 0; k < 3; ++k) {
                r.position[k] = position_value(r.position_code[k], r.wide_positions());
                r.offset[k] = position_value(r.offset_code[k], r.wide_positions());
                r.carrier[k] = angle_value(r.carrier_code[k], r.angle_bits);
                r.own[k] = angle_value(r.own_code[k], r.angle_bits);
            }
            decode_class_parts(in, r);
        }
        if (in.failed()) {
            m.error = "record " + std::to_string(m.records.size()) + " is cut short";
            return m;
        }
        r.bits = in.at() - start;
        m.records.push_back(r);
    }
    return m;
}

} // namespace fake_client
