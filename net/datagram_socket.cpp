#include "net/datagram_socket.h"

#include "core/byte_order.h"
#include "core/kassert.h"
#include "core/print.h"
#include "core/timer.h"
#include "net/datagram_protocol.h"
#include "net/datagram_wire.h"
#include "net/hive.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Datagrams read by one receive, so that a flood cannot hold the frame.
constexpr int RECEIVE_BATCH = 4096;
constexpr uint32_t NUMBER_MASK = 0x7FFFFFFFu;

} // namespace

DatagramSocket::DatagramSocket(DatagramProtocol* protocol) : NetSocket(protocol), owner_(protocol) {}

DatagramSocket::~DatagramSocket()
{
    // The transport has flushed already; its operations are gone by now.
    free_buffers();
}

bool DatagramSocket::peer_host(NetAddress* host) const
{
    if (peer_.protocol == 0) {
        return false;
    }
    *host = owner_->host_key(&peer_);
    return true;
}

int DatagramSocket::init_buffers(int32_t size)
{
    K_ASSERT(size >= NET_DATAGRAM_SIZE);
    release_buffers();
    datagram_size_ = size;
    write_buffer_ = new (std::nothrow) uint8_t[NET_DGWRITE_SIZE];
    if (write_buffer_ == nullptr) {
        print_string(P_ERROR, "Datagram: Can't allocate writing buffer");
        return NET_NO_RESOURCE;
    }
    if (unreliable_.allocate(size, false) != NET_OK) {
        print_string(P_ERROR, "Datagram: Can't init outgoing buffer");
        free_buffers();
        return NET_NO_RESOURCE;
    }
    unreliable_.prepare(NET_DGSEQUENCED | sequence_);
    read_buffer_ = new (std::nothrow) uint8_t[NET_DGREAD_SIZE];
    if (read_buffer_ == nullptr) {
        print_string(P_ERROR, "Datagram: Can't allocate reading buffer");
        free_buffers();
        return NET_NO_RESOURCE;
    }
    if (incoming_.allocate(size, true) != NET_OK) {
        print_string(P_ERROR, "Datagram: Can't allocate incoming buffer");
        free_buffers();
        return NET_NO_RESOURCE;
    }
    last_send_ = sys_time();
    last_receive_ = last_send_;
    state = NET_SOCKET_USABLE;
    return NET_OK;
}

void DatagramSocket::release_buffers()
{
    if (unreliable_.allocated()) {
        message_send();
    }
    free_buffers();
}

void DatagramSocket::free_buffers()
{
    timeouts_armed_ = false;
    peer_ = NetAddress{};
    lost = 0;
    restart_numbers(0);
    connect_state_ = NET_DGCONS_DISCONNECTED;
    delete[] out_ring_;
    out_ring_ = nullptr;
    delete[] in_ring_;
    in_ring_ = nullptr;
    incoming_.release();
    delete[] read_buffer_;
    read_buffer_ = nullptr;
    read_position_ = 0;
    write_position_ = 0;
    delete[] write_buffer_;
    write_buffer_ = nullptr;
    unreliable_.release();
    if (open_writer_ != nullptr) {
        open_writer_->detach();
        open_writer_ = nullptr;
    }
}

void DatagramSocket::restart_numbers(uint32_t first_sequence)
{
    sequence_ = first_sequence;
    expected_sequence_ = first_sequence;
    next_reliable_ = 0;
    current_ = 0;
    expected_reliable_ = 0;
    slot_position_ = 0;
    ack_count_ = 0;
}

void DatagramSocket::arm_timeouts()
{
    timeouts_armed_ = true;
    last_send_ = sys_time();
    last_receive_ = last_send_;
}

int DatagramSocket::reset(const NetAddress* address, bool connecting)
{
    if (!unreliable_.allocated()) {
        return NET_NOT_CONNECTED;
    }
    if (address == nullptr) {
        if (connect_state_ == NET_DGCONS_CONNECTED) {
            print_string(P_ERROR, "Datagram: Reconnected not supported");
            return NET_NOT_MINE;
        }
        message_send();
        peer_ = NetAddress{};
        connect_state_ = NET_DGCONS_DISCONNECTED;
        sequence_ = 0;
        expected_sequence_ = 0;
        unreliable_.prepare(NET_DGSEQUENCED | sequence_);
        return NET_OK;
    }
    if (connect_state_ != NET_DGCONS_DISCONNECTED) {
        return NET_BUSY;
    }
    if (address->protocol != owner_->id) {
        return NET_MISMATCH;
    }
    if (connecting) {
        sequence_ = 0;
        expected_sequence_ = 0;
        connect_state_ = NET_DGCONS_CONNECTING;
    } else {
        if (out_ring_ != nullptr || in_ring_ != nullptr) {
            return NET_BUSY;
        }
        // Only the records: a connection that is refused at once never uses their bytes.
        out_ring_ = new (std::nothrow) DatagramBuffer[NET_DGREL_BUFFERS];
        in_ring_ = new (std::nothrow) DatagramBuffer[NET_DGREL_BUFFERS];
        const bool made = out_ring_ != nullptr && in_ring_ != nullptr;
        for (int i = 0; made && i < NET_DGREL_BUFFERS; ++i) {
            out_ring_[i].reserve(datagram_size_, false);
            in_ring_[i].reserve(datagram_size_, true);
        }
        if (!made) {
            delete[] out_ring_;
            out_ring_ = nullptr;
            delete[] in_ring_;
            in_ring_ = nullptr;
            return NET_NO_RESOURCE;
        }
        restart_numbers(1);
        connect_state_ = NET_DGCONS_CONNECTED;
    }
    peer_ = *address;
    unreliable_.prepare(NET_DGSEQUENCED | sequence_);
    return NET_OK;
}

int DatagramSocket::message_begin(NetStreamOut* writer, int id, int type)
{
    K_ASSERT(writer);
    K_ASSERT(id >= 0 && id < NET_MSGID_MAX);
    K_ASSERT(type == NET_STREAM_RELIABLE || type == NET_STREAM_UNRELIABLE);
    if (connect_state_ != NET_DGCONS_CONNECTED) {
        print_string(P_ERROR, "Datagram: Tried to write to an unconnected socket");
        return NET_NOT_CONNECTED;
    }
    if (open_writer_ != nullptr) {
        print_string(P_ERROR, "Datagram: message_begin() without message_end()");
        return NET_BUSY;
    }
    const int32_t capacity =
        type == NET_STREAM_RELIABLE ? NET_DGWRITE_SIZE : std::min(datagram_size_ - NET_DATAGRAM_HEADER, NET_DGWRITE_SIZE);
    const int r = datagram_record_begin(writer, write_buffer_, capacity, type, id);
    if (r != 0) {
        print_string(P_ERROR, "Datagram: Can't write");
        return r;
    }
    open_writer_ = writer;
    open_type_ = type;
    return NET_OK;
}

int DatagramSocket::message_end(NetStreamOut* writer)
{
    K_ASSERT(writer);
    if (writer != open_writer_) {
        print_string(P_ERROR, "Datagram: NetStreamOut mismatch in message_end()");
        return NET_MISMATCH;
    }
    open_writer_ = nullptr;
    const int32_t bits = writer->detach();
    return open_type_ == NET_STREAM_RELIABLE ? add_reliable(write_buffer_, bits) : add_unreliable(write_buffer_, bits);
}

int DatagramSocket::add_unreliable(uint8_t* record, int32_t total_bits)
{
    if (connect_state_ == NET_DGCONS_DISCONNECTED || !unreliable_.allocated()) {
        return NET_NOT_CONNECTED;
    }
    if (total_bits < 0) {
        return NET_WRITE_FAILED;
    }
    const int32_t payload_room = std::min(datagram_size_ - NET_DATAGRAM_HEADER, NET_DGWRITE_SIZE);
    if (total_bits < NET_DGRECORD_HEADER * 8 || total_bits > payload_room * 8) {
        print_format(P_ERROR, "Datagram: Bad unreliable message length %d", total_bits);
        return NET_DAMAGED;
    }
    datagram_record_close(record, total_bits);
    const int32_t size = (total_bits + 7) / 8;
    if (size > unreliable_.free_bytes()) {
        send_unreliable();
    }
    unreliable_.append(record, size);
    return NET_OK;
}

int DatagramSocket::add_reliable(uint8_t* record, int32_t total_bits)
{
    if (connect_state_ != NET_DGCONS_CONNECTED) {
        return NET_NOT_CONNECTED;
    }
    if (total_bits < 0) {
        return NET_WRITE_FAILED;
    }
    if (total_bits < NET_DGRECORD_HEADER * 8 || total_bits >= NET_DGRELIABLE_MAXBITS) {
        print_format(P_ERROR, "Datagram: Bad reliable message length %d", total_bits);
        return NET_DAMAGED;
    }
    datagram_record_close(record, total_bits);
    const int32_t size = (total_bits + 7) / 8;
    int64_t room = 0;
    for (int k = 0; k < NET_DGREL_BUFFERS; ++k) {
        const DatagramBuffer& b = out_ring_[(current_ + k) % NET_DGREL_BUFFERS];
        if (b.state == NET_DGBOS_FINISHED) {
            break;
        }
        room += b.state == NET_DGBOS_PREPARED ? b.free_bytes() : b.capacity - NET_DATAGRAM_HEADER;
    }
    if (room < size) {
        if (net_debug()) {
            print_string(P_DEBUG, "Datagram: Not enough reliable buffers free");
        }
        return NET_BUSY;
    }
    // Every buffer the record reaches gets its bytes before any is written.
    for (int k = 0, reached = 0; reached < size; ++k) {
        DatagramBuffer& b = out_ring_[(current_ + k) % NET_DGREL_BUFFERS];
        if (b.ensure_data() != NET_OK) {
            return NET_NO_RESOURCE;
        }
        reached += b.state == NET_DGBOS_PREPARED ? b.free_bytes() : b.capacity - NET_DATAGRAM_HEADER;
    }
    int32_t done = 0;
    while (done < size) {
        DatagramBuffer& b = out_ring_[current_];
        K_ASSERT(b.state != NET_DGBOS_FINISHED);
        if (b.state == NET_DGBOS_ACKED) {
            b.prepare(next_reliable_);
            next_reliable_ = (next_reliable_ + 1) & NUMBER_MASK;
        }
        const int32_t n = std::min(b.free_bytes(), size - done);
        b.append(record + done, n);
        done += n;
        if (b.free_bytes() == 0) {
            b.finish();
            current_ = (current_ + 1) % NET_DGREL_BUFFERS;
        }
    }
    return NET_OK;
}

void DatagramSocket::send_unreliable()
{
    unreliable_.finish();
    if (connect_state_ != NET_DGCONS_DISCONNECTED && unreliable_.fill > NET_DATAGRAM_HEADER) {
        if (send_datagram(unreliable_.data, unreliable_.fill) == NET_OK) {
            count_message(NET_TRAFFIC_UNRELIABLE_OUT, unreliable_.fill, unreliable_.fill - NET_DATAGRAM_HEADER);
            last_send_ = sys_time();
        } else {
            print_string(P_DEBUG, "Datagram: Can't send unreliable message");
        }
        if (sequence_ != 0) {
            sequence_ = (sequence_ + 1) & NUMBER_MASK;
            if (sequence_ == 0) {
                sequence_ = 1;
            }
        }
    }
    unreliable_.prepare(NET_DGSEQUENCED | sequence_);
}

void DatagramSocket::send_due_reliable()
{
    const double now = sys_time();
    for (int i = 0; i < NET_DGREL_BUFFERS; ++i) {
        DatagramBuffer& b = out_ring_[i];
        if (b.state != NET_DGBOS_FINISHED || b.time > now) {
            continue;
        }
        b.time = now + NET_DGRESEND_TIME;
        if (b.sent) {
            ++resent;
        }
        b.sent = true;
        if (net_debug()) {
            print_format(P_DEBUG2, "Datagram: Sending reliable %d", static_cast<int>(b.id));
        }
        if (send_datagram(b.data, b.fill) == NET_OK) {
            count_message(NET_TRAFFIC_RELIABLE_OUT, b.fill, b.fill - NET_DATAGRAM_HEADER);
            last_send_ = now;
        } else {
            print_string(P_DEBUG, "Datagram: Can't send reliable message");
        }
    }
}

int DatagramSocket::message_send()
{
    if (open_writer_ != nullptr || !unreliable_.allocated()) {
        return open_writer_ != nullptr ? NET_BUSY : NET_OK;
    }
    const bool connected = connect_state_ == NET_DGCONS_CONNECTED;
    if (connected && ack_count_ > 0) {
        uint8_t record[NET_DGRECORD_HEADER + 4 * NET_DGACK_MAX];
        NetStreamOut writer;
        datagram_record_begin(&writer, record, sizeof record, NET_DGM_ACK, ack_count_);
        for (int i = ack_count_ - 1; i >= 0; --i) {
            writer.write32(acks_[i]);
        }
        add_unreliable(record, writer.detach());
        ack_count_ = 0;
    }
    send_unreliable();
    if (connected) {
        DatagramBuffer& b = out_ring_[current_];
        const int next = (current_ + 1) % NET_DGREL_BUFFERS;
        if (b.state == NET_DGBOS_PREPARED && out_ring_[next].state == NET_DGBOS_ACKED) {
            b.finish();
            current_ = next;
        }
        send_due_reliable();
    }
    return NET_OK;
}

void DatagramSocket::receive()
{
    if (open_writer_ != nullptr) {
        print_string(P_WARNING, "Datagram: Writing while receiving");
    }
    for (int n = 0; n < RECEIVE_BATCH && state == NET_SOCKET_USABLE && incoming_.allocated(); ++n) {
        int32_t length = incoming_.capacity;
        NetAddress source{};
        const int r = receive_datagram(incoming_.data, &length, &source);
        if (r == NET_NOTHING) {
            break;
        }
        if (r != NET_OK) {
            print_string(P_ERROR, "Datagram: Receive error");
            break;
        }
        if (length < 0 || length > incoming_.capacity) {
            ++dropped;
            continue;
        }
        if (connect_state_ == NET_DGCONS_CONNECTED && !owner_->address_equal(&source, &peer_)) {
            owner_->lines(DGLINE_SOURCE).print("Datagram: Unexpected source address %s",
                                               owner_->address_to_text(&source));
            ++dropped;
            continue;
        }
        if (open_writer_ == nullptr && read_position_ > 0) {
            compact_read_buffer();
        }
        uint32_t word = 0;
        if (!datagram_check(incoming_.data, length, &word)) {
            ++dropped;
            continue;
        }
        const uint8_t* const payload = incoming_.data + NET_DATAGRAM_HEADER;
        const int32_t payload_length = length - NET_DATAGRAM_HEADER;
        const bool accepted = (word & NET_DGSEQUENCED) != 0
                                  ? sequenced_path(word & NUMBER_MASK, payload, payload_length, source)
                                  : reliable_path(word, payload, payload_length);
        if (accepted) {
            last_receive_ = sys_time();
        }
    }
    LineLimit::report_all_held();
    if (timeouts_armed_ && connect_state_ == NET_DGCONS_CONNECTED &&
        sys_time() - last_receive_ > NET_DGRECEIVE_TIMEOUT) {
        print_string(P_WARNING, "Datagram: Connection timed out");
        state = NET_SOCKET_LOST;
    }
}

void DatagramSocket::compact_read_buffer()
{
    const int32_t unread = write_position_ - read_position_;
    if (unread > 0) {
        std::memmove(read_buffer_, read_buffer_ + read_position_, static_cast<size_t>(unread));
    }
    write_position_ = unread;
    read_position_ = 0;
}

bool DatagramSocket::sequenced_path(uint32_t number, const uint8_t* payload, int32_t length,
                                    const NetAddress& source)
{
    count_message(NET_TRAFFIC_UNRELIABLE_IN, length + NET_DATAGRAM_HEADER, length);
    // A control datagram at a connected socket carries nothing it takes.
    bool accepted = number != 0 || connect_state_ != NET_DGCONS_CONNECTED;
    if (number != 0 && connect_state_ == NET_DGCONS_CONNECTED) {
        if (number < expected_sequence_) {
            print_string(P_DEBUG, "Datagram: Got a stale datagram");
            return false;
        }
        if (number - expected_sequence_ > NET_DGSEQUENCE_WINDOW) {
            print_format(P_DEBUG, "Datagram: Too new sequenced datagram (%d)",
                         static_cast<int>(number - expected_sequence_));
            ++dropped;
            return false;
        }
        if (number > expected_sequence_) {
            const uint32_t missing = number - expected_sequence_;
            print_format(P_DEBUG, "Datagram: %d datagram(s) lost", static_cast<int>(missing));
            lost = static_cast<int32_t>((static_cast<uint32_t>(lost) + missing) & NUMBER_MASK);
        }
        expected_sequence_ = (number + 1) & NUMBER_MASK;
    }
    int32_t offset = 0;
    DatagramRecord record{};
    int r;
    while ((r = datagram_next_record(payload, length, &offset, &record)) > 0) {
        const bool connected = connect_state_ == NET_DGCONS_CONNECTED;
        switch (record.type) {
        case NET_STREAM_UNRELIABLE:
            if (number == 0) {
                owner_->lines(DGLINE_CONTROL_MESSAGE).print("Datagram: Message in a control datagram");
                ++dropped;
                return accepted;
            }
            if (!connected) {
                break;
            }
            if (write_position_ + record.size > NET_DGREAD_SIZE) {
                print_string(P_DEBUG, "Datagram: Read buffer overflow");
                break;
            }
            std::memcpy(read_buffer_ + write_position_, record.record, static_cast<size_t>(record.size));
            write_position_ += record.size;
            break;
        case NET_DGM_ACK:
            if (number == 0 || !connected) {
                print_string(P_DEBUG, "Datagram: Ack at disconnected");
                break;
            }
            if (record.bits != 32 * record.parameter) {
                print_string(P_DEBUG, "Datagram: Damaged ack");
                ++dropped;
                break;
            }
            for (int i = 0; i < record.parameter; ++i) {
                acknowledge(read_le32(record.payload + 4 * i));
            }
            break;
        case NET_DGM_KEEPALIVE:
            break;
        case NET_DGM_CONTROL:
            if (number != 0 || connected) {
                print_string(P_DEBUG, "Datagram: Connect at connected");
                break;
            }
            {
                NetStreamIn reader;
                reader.attach(record.payload, record.bits);
                owner_->control(record.parameter, this, &source, &reader, record.bits);
                reader.detach();
            }
            break;
        default:
            owner_->unknown_record(record.type);
            ++dropped;
            break;
        }
    }
    if (r < 0) {
        owner_->lines(DGLINE_DAMAGED).print("Datagram: Damaged datagram received");
        ++dropped;
    }
    return accepted;
}

int DatagramSocket::unacknowledged() const
{
    int count = 0;
    for (int i = 0; out_ring_ != nullptr && i < NET_DGREL_BUFFERS; ++i) {
        count += out_ring_[i].state == NET_DGBOS_FINISHED ? 1 : 0;
    }
    return count;
}

void DatagramSocket::acknowledge(uint32_t id)
{
    for (int i = 0; i < NET_DGREL_BUFFERS; ++i) {
        DatagramBuffer& b = out_ring_[i];
        if (b.state == NET_DGBOS_FINISHED && b.id == id) {
            b.acknowledge();
            if (net_debug()) {
                print_format(P_DEBUG2, "Datagram: Acked reliable %d", static_cast<int>(id));
            }
            return;
        }
    }
}

bool DatagramSocket::reliable_path(uint32_t id, const uint8_t* payload, int32_t length)
{
    count_message(NET_TRAFFIC_RELIABLE_IN, length + NET_DATAGRAM_HEADER, length);
    if (connect_state_ != NET_DGCONS_CONNECTED) {
        print_string(P_DEBUG, "Datagram: Reliable at unconnected");
        ++dropped;
        return false;
    }
    if (id >= static_cast<uint64_t>(expected_reliable_) + NET_DGREL_BUFFERS) {
        print_format(P_DEBUG, "Datagram: Too new reliable datagram (%d)", static_cast<int>(id - expected_reliable_));
        ++dropped;
        return false;
    }
    if (id >= expected_reliable_) {
        DatagramBuffer& slot = in_ring_[id % NET_DGREL_BUFFERS];
        if (length > slot.capacity) {
            print_string(P_DEBUG, "Datagram: Received too-long datagram");
            ++dropped;
            return false;
        }
        if (slot.ensure_data() != NET_OK) {
            // Not acknowledged: the peer sends it again.
            return false;
        }
        if (slot.store(id, payload, length) != NET_OK) {
            owner_->lines(DGLINE_DAMAGED_RELIABLE).print("Datagram: Damaged reliable datagram");
            ++dropped;
            return false;
        }
    }
    if (ack_count_ < NET_DGACK_MAX) {
        acks_[ack_count_++] = id;
    }
    return true;
}

int32_t DatagramSocket::copy_stream(uint8_t* out, int32_t count, bool consume)
{
    int32_t done = 0;
    int32_t position = slot_position_;
    uint32_t id = expected_reliable_;
    for (int k = 0; k < NET_DGREL_BUFFERS && done < count; ++k, ++id) {
        DatagramBuffer& slot = in_ring_[id % NET_DGREL_BUFFERS];
        if (slot.state != NET_DGBIS_READY || slot.id != id) {
            break;
        }
        const int32_t n = std::min(slot.fill - position, count - done);
        if (out != nullptr && n > 0) {
            std::memcpy(out + done, slot.data + position, static_cast<size_t>(n));
        }
        done += n;
        position += n;
        if (position < slot.fill) {
            if (consume) {
                slot_position_ = position;
            }
            break;
        }
        if (consume) {
            slot.empty();
            expected_reliable_ = (id + 1) & NUMBER_MASK;
            slot_position_ = 0;
        }
        position = 0;
    }
    return done;
}

// -1 when the stream held a record that is not a reliable message (dropped).
int DatagramSocket::take_reliable_record()
{
    // Slots read to their end (or empty ones) make room first.
    for (int k = 0; k < NET_DGREL_BUFFERS; ++k) {
        DatagramBuffer& slot = in_ring_[expected_reliable_ % NET_DGREL_BUFFERS];
        if (slot.state != NET_DGBIS_READY || slot.id != expected_reliable_ || slot_position_ < slot.fill) {
            break;
        }
        slot.empty();
        expected_reliable_ = (expected_reliable_ + 1) & NUMBER_MASK;
        slot_position_ = 0;
    }
    uint8_t head[NET_DGRECORD_HEADER];
    if (copy_stream(head, NET_DGRECORD_HEADER, false) < NET_DGRECORD_HEADER) {
        return 0;
    }
    const int32_t size = datagram_record_size(read_le16(head + 2));
    if (copy_stream(nullptr, size, false) < size) {
        return 0;
    }
    copy_stream(read_buffer_, size, true);
    if (head[0] != NET_STREAM_RELIABLE) {
        owner_->unknown_record(head[0]);
        ++dropped;
        return -1;
    }
    read_position_ = 0;
    write_position_ = size;
    return 1;
}

int DatagramSocket::read(NetStreamIn* reader, int* id, int32_t* length)
{
    K_ASSERT(reader);
    K_ASSERT(id);
    receive();
    if (connect_state_ != NET_DGCONS_CONNECTED) {
        print_string(P_ERROR, "Datagram: Tried to read from an unconnected socket");
        return NET_NOT_CONNECTED;
    }
    if (read_position_ >= write_position_) {
        read_position_ = 0;
        write_position_ = 0;
        const int taken = take_reliable_record();
        if (taken == 0) {
            return NET_NOTHING;
        }
        if (taken < 0) {
            return NET_DAMAGED;
        }
    }
    const uint8_t* const record = read_buffer_ + read_position_;
    const int32_t bits = read_le16(record + 2);
    read_position_ += datagram_record_size(bits);
    *id = record[1];
    if (length != nullptr) {
        *length = bits;
    }
    record_message(record + NET_DGRECORD_HEADER, record[1], bits);
    reader->attach(record + NET_DGRECORD_HEADER, bits);
    return NET_OK;
}

void DatagramSocket::keepalive()
{
    if (!timeouts_armed_ || connect_state_ != NET_DGCONS_CONNECTED) {
        return;
    }
    const double now = sys_time();
    if (open_writer_ == nullptr && now - last_send_ > NET_DGKEEPALIVE_TIME) {
        uint8_t record[NET_DGRECORD_HEADER];
        NetStreamOut writer;
        datagram_record_begin(&writer, record, sizeof record, NET_DGM_KEEPALIVE, 0);
        add_unreliable(record, writer.detach());
        if (net_debug()) {
            print_string(P_DEBUG, "Datagram: Sending a keepalive");
        }
        send_unreliable();
    }
    if (now - last_send_ > NET_DGSEND_TIMEOUT) {
        print_string(P_WARNING, "Datagram: Connection timed out (can't send)");
        state = NET_SOCKET_LOST;
    }
}
