#include "client/client_protocol.h"

#include "client/client_input.h"
#include "net/net_stream_out.h"

#include <algorithm>
#include <cmath>

namespace {

// Action pairs whose difference each axis sends, group by group.
struct AxisPair {
    int positive;
    int negative;
};

constexpr AxisPair group1[] = {{0, 1}, {3, 2}, {4, 5}};                  // Forward, MoveRight, MoveUp
constexpr AxisPair group2[] = {{6, 7}, {8, 9}};                          // HeadingLeft, PitchUp
constexpr AxisPair group3[] = {{10, 11}, {12, 13}, {14, 15}, {16, 17}}; // BankLeft, Vector1-3

template <size_t N>
void write_group(NetStreamOut& s, const ClientInput& input, const AxisPair (&pairs)[N])
{
    int32_t codes[N];
    bool any = false;
    for (size_t i = 0; i < N; ++i) {
        codes[i] = axis_code(input.value(pairs[i].positive) - input.value(pairs[i].negative));
        any = any || codes[i] >= 0;
    }
    if (!any) {
        (void)s.write_bits(0, 1);
        return;
    }
    (void)s.write_bits(1, 1);
    for (const int32_t code : codes) {
        if (code < 0) {
            (void)s.write_bits(0, 1);
        } else {
            (void)s.write_bits(1, 1);
            (void)s.write_bits(static_cast<uint32_t>(code), 16);
        }
    }
}

} // namespace

int32_t write_connect_request(const ConnectRequest& request, uint8_t* buffer, int32_t size)
{
    NetStreamOut s;
    s.attach(buffer, size);
    (void)s.write32(NET_PROTOCOL_VERSION);
    (void)s.write32(NET_GAME_MAGIC);
    (void)s.write_string(request.name);
    (void)s.write32(static_cast<uint32_t>(request.rate));
    (void)s.write_bits(request.player != 0 ? 1 : 0, 1);
    (void)s.write_bits(request.cheater != 0 ? 1 : 0, 1);
    (void)s.write_bits(request.administrator != 0 ? 1 : 0, 1);
    const int32_t bits = s.detach();
    return bits > 0 ? (bits + 7) / 8 : 0;
}

int32_t axis_code(float value)
{
    // NaN counts as no movement.
    const float v = std::isnan(value) ? 0.0f : std::clamp(value, -4.0f, 4.0f);
    const int32_t q = static_cast<int32_t>(v * 8192.0f);
    if (q == 0) {
        return -1;
    }
    return std::clamp(q + 32768, 0, 65535);
}

void write_input_record(NetStreamOut& s, int32_t stamp, const ClientInput& input)
{
    (void)s.write32(static_cast<uint32_t>(stamp));
    write_group(s, input, group1);
    write_group(s, input, group2);
    write_group(s, input, group3);
    uint32_t states = 0;
    for (int i = 0; i < IA_STATE_COUNT; ++i) {
        if (input.value(IA_STATE_FIRST + i) > 0.0f) {
            states |= 1u << i;
        }
    }
    if (states == 0) {
        (void)s.write_bits(0, 1);
    } else {
        (void)s.write_bits(1, 1);
        (void)s.write32(states);
    }
}
