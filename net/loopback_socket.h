#pragma once
// One end of an in-process connection. The peer writes each message
// straight into this socket's receive buffer, where it is read in place.
#include "net/net_socket.h"

class ConfigVariable;

constexpr int32_t LOOPBACK_BUFFER_BYTES = 16384;
// Message header in a receive buffer: u8 id, u8 class, u16 payload length
// in bits, f32 send time on the engine clock.
constexpr int32_t LOOPHEAD_BYTES = 8;

class LoopbackSocket final : public NetSocket {
public:
    explicit LoopbackSocket(NetProtocol* protocol);
    ~LoopbackSocket() override;

    // 0, or 3 when the buffer cannot be made.
    int setup(int32_t size);
    void clear();

    void poll() override;
    int message_begin(NetStreamOut* stream, int id, int type) override;
    int message_end(NetStreamOut* stream) override;
    int message_send() override;
    int read(NetStreamIn* stream, int* id, int32_t* length) override;

    LoopbackSocket* peer = nullptr;

private:
    void compact();
    void release_variables();
    bool connected();
    bool drop_unreliable() const;

    uint8_t* buffer = nullptr;
    int32_t write_position = 0;
    int32_t read_position = 0;
    int32_t size = 0;
    NetStreamOut* open_stream = nullptr;
    ConfigVariable* latency = nullptr;
    ConfigVariable* loss = nullptr;
};

// A variable's value as a number, whatever its type.
float loopback_variable_value(const ConfigVariable* v);
