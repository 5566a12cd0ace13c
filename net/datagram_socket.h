#pragma once
// A connection over a transport that moves whole datagrams without
// guarantees. Unreliable messages go once in sequenced datagrams; reliable
// ones form a byte stream cut into reliable datagrams, resent every second
// until acknowledged and delivered once, in order. A transport derives from
// it and supplies the four datagram operations.
#include "net/datagram_buffer.h"
#include "net/datagram_wire.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"

#include <cstdint>

class DatagramProtocol;

// Connect states.
constexpr int NET_DGCONS_DISCONNECTED = 0;
constexpr int NET_DGCONS_CONNECTING = 1; // only control datagrams are exchanged
constexpr int NET_DGCONS_CONNECTED = 2;

constexpr int NET_DGREL_BUFFERS = 16;    // reliable ring and receive window
constexpr int32_t NET_DGREAD_SIZE = 16384;
constexpr double NET_DGRESEND_TIME = 1.0;      // seconds between sends of an unacknowledged datagram
constexpr double NET_DGKEEPALIVE_TIME = 0.5;   // silence on the line before a keepalive
constexpr double NET_DGSEND_TIMEOUT = 2.0;     // without a successful send
constexpr double NET_DGRECEIVE_TIMEOUT = 30.0; // without an accepted datagram
// Sequence numbers further ahead of the expected one than a peer sends within
// the time-out are damaged: taking one would make every later datagram stale.
constexpr uint32_t NET_DGSEQUENCE_WINDOW = 4096;

class DatagramSocket : public NetSocket {
public:
    explicit DatagramSocket(DatagramProtocol* owner);
    ~DatagramSocket() override;

    int message_begin(NetStreamOut* writer, int id, int type) override;
    int message_end(NetStreamOut* writer) override;
    int message_send() override;
    int read(NetStreamIn* reader, int* id, int32_t* length) override;

    // The transport's operations. connect: a peer (null to disconnect) in
    // connecting or connected mode, ending in reset. send_datagram: 0 when
    // sent. receive_datagram: 0 a datagram (length in: capacity, out: its
    // length), 2 none waiting, else an error. local_address: 0 when known.
    virtual int connect(const NetAddress* address, bool connecting) = 0;
    virtual int send_datagram(const uint8_t* data, int32_t length) = 0;
    virtual int receive_datagram(uint8_t* buffer, int32_t* length, NetAddress* source) = 0;
    virtual int local_address(NetAddress* address) = 0;

    bool peer_host(NetAddress* host) const override;

    // 0, or 3 when a buffer cannot be made (all are released then).
    int init_buffers(int32_t size);
    void release_buffers();
    // The one way to change the connect state; address null disconnects.
    int reset(const NetAddress* address, bool connecting);
    // Reads every waiting datagram.
    void receive();
    // Keepalive and the send time-out; run by the transport's poll.
    void keepalive();
    // Set when the socket is handed to the layer's user: both times become now.
    void arm_timeouts();

    // Adds a record of the layer's own (or a user's unreliable message) to
    // the unreliable datagram: 0, 1 overflowed writer, 4 disconnected, 7 bad length.
    int add_unreliable(uint8_t* record, int32_t total_bits);

    int connect_state() const { return connect_state_; }
    const NetAddress& peer() const { return peer_; }
    bool timeouts_armed() const { return timeouts_armed_; }
    int32_t datagram_size() const { return datagram_size_; }
    uint32_t sequence() const { return sequence_; }
    uint32_t next_reliable_id() const { return next_reliable_; }
    uint32_t expected_reliable_id() const { return expected_reliable_; }
    int pending_acks() const { return ack_count_; }
    // Reliable datagrams sent and not yet acknowledged by the peer.
    int unacknowledged() const;
    const DatagramBuffer* out_ring() const { return out_ring_; }
    int32_t lost = 0;    // sequenced datagrams that never arrived
    int32_t dropped = 0; // received datagrams and records refused as malformed or out of place
    int32_t resent = 0;  // reliable datagrams sent again for want of an acknowledgement

protected:
    DatagramProtocol* owner() const { return owner_; }

private:
    int add_reliable(uint8_t* record, int32_t total_bits);
    void send_unreliable();
    void send_due_reliable();
    void acknowledge(uint32_t id);
    // Both answer true when the datagram was accepted, which keeps the connection alive.
    bool sequenced_path(uint32_t number, const uint8_t* payload, int32_t length, const NetAddress& source);
    bool reliable_path(uint32_t id, const uint8_t* payload, int32_t length);
    int take_reliable_record();
    int32_t copy_stream(uint8_t* out, int32_t count, bool consume);
    void compact_read_buffer();
    void free_buffers();
    // Sequence numbers from first_sequence, reliable ids from 0, nothing pending.
    void restart_numbers(uint32_t first_sequence);

    DatagramProtocol* owner_;
    int connect_state_ = NET_DGCONS_DISCONNECTED;
    bool timeouts_armed_ = false;
    NetAddress peer_{};
    uint8_t* write_buffer_ = nullptr;
    NetStreamOut* open_writer_ = nullptr;
    int open_type_ = 0;
    int32_t datagram_size_ = 0;
    DatagramBuffer unreliable_;
    uint32_t sequence_ = 0;
    DatagramBuffer* out_ring_ = nullptr;
    uint32_t next_reliable_ = 0;
    int current_ = 0;
    uint8_t* read_buffer_ = nullptr;
    int32_t read_position_ = 0;
    int32_t write_position_ = 0;
    DatagramBuffer incoming_;
    uint32_t expected_sequence_ = 0;
    DatagramBuffer* in_ring_ = nullptr;
    uint32_t expected_reliable_ = 0;
    int32_t slot_position_ = 0; // read position inside the datagram of the expected id
    uint32_t acks_[NET_DGACK_MAX] = {};
    int ack_count_ = 0;
    double last_send_ = 0.0;
    double last_receive_ = 0.0;
};
