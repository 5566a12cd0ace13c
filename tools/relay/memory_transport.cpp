#include "tools/relay/memory_transport.h"

#include "core/byte_order.h"
#include "core/print.h"
#include "core/timer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

NetAddress memory_address(uint16_t port)
{
    NetAddress a{};
    a.protocol = MEMORY_PROTOCOL_ID;
    write_le16(a.data, port);
    return a;
}

uint16_t memory_port(const NetAddress& address)
{
    return read_le16(address.data);
}

uint16_t MemoryNetwork::bind(MemorySocket* socket, uint16_t port)
{
    if (port == 0) {
        for (int tries = 0; tries < 65536 && (next_port_ == 0 || ports_.count(next_port_) != 0); ++tries) {
            ++next_port_;
        }
        port = next_port_++;
    }
    if (port == 0 || ports_.count(port) != 0) {
        return 0;
    }
    ports_[port] = socket;
    return port;
}

void MemoryNetwork::unbind(uint16_t port)
{
    ports_.erase(port);
}

void MemoryNetwork::send(uint16_t from, uint16_t to, const uint8_t* data, int32_t length)
{
    Sent s{from, to, std::vector<uint8_t>(data, data + length)};
    if (drop && drop(s)) {
        return;
    }
    // The tag carries both ports.
    impairment.send(data, length, sys_time(), static_cast<int>(static_cast<uint32_t>(from) << 16 | to));
    if (log_sent) {
        sent.push_back(std::move(s));
    }
}

void MemoryNetwork::deliver(double now)
{
    Impairment::Delivery d;
    while (impairment.take(now, &d)) {
        const auto tag = static_cast<uint32_t>(d.tag);
        const auto to = static_cast<uint16_t>(tag & 0xFFFF);
        const auto it = ports_.find(to);
        if (it != ports_.end()) {
            it->second->inbox.push_back({static_cast<uint16_t>(tag >> 16), std::move(d.bytes)});
        }
    }
}

void MemoryNetwork::inject(uint16_t to, uint16_t from, const std::vector<uint8_t>& bytes)
{
    const auto it = ports_.find(to);
    if (it != ports_.end()) {
        it->second->inbox.push_back({from, bytes});
    }
}

MemorySocket::MemorySocket(DatagramProtocol* owner, MemoryNetwork* network)
    : DatagramSocket(owner), network_(network)
{
}

MemorySocket::~MemorySocket()
{
    release_buffers();
    if (port != 0) {
        network_->unbind(port);
    }
}

int MemorySocket::open(uint16_t wanted)
{
    port = network_->bind(this, wanted);
    if (port == 0) {
        return NET_NO_RESOURCE;
    }
    return init_buffers(static_cast<MemoryProtocol*>(owner())->datagram_size);
}

int MemorySocket::send_datagram(const uint8_t* data, int32_t length)
{
    if (connect_state() == NET_DGCONS_DISCONNECTED) {
        return NET_NOT_CONNECTED;
    }
    if (fail_sends || length < 1 || length > datagram_size()) {
        return NET_MISMATCH;
    }
    network_->send(port, memory_port(peer()), data, length);
    return NET_OK;
}

int MemorySocket::receive_datagram(uint8_t* buffer, int32_t* length, NetAddress* source)
{
    network_->deliver(sys_time());
    if (inbox.empty()) {
        *length = 0;
        return NET_NOTHING;
    }
    Arrival& a = inbox.front();
    // Longer than the buffer: the rest is cut off, as a datagram socket does.
    const int32_t n = std::min(static_cast<int32_t>(a.bytes.size()), std::max(*length, 0));
    if (n > 0) {
        std::memcpy(buffer, a.bytes.data(), static_cast<size_t>(n));
    }
    *length = n;
    *source = memory_address(a.from);
    inbox.pop_front();
    return NET_OK;
}

int MemorySocket::local_address(NetAddress* address)
{
    if (fail_local_address) {
        address->protocol = 0;
        return NET_NOT_CONNECTED;
    }
    *address = memory_address(port);
    return NET_OK;
}

MemoryProtocol::MemoryProtocol(MemoryNetwork* network, uint16_t listen_port)
    : DatagramProtocol(MEMORY_PROTOCOL_ID), network_(network), listen_port_(listen_port)
{
}

MemoryProtocol::~MemoryProtocol()
{
    drop_links();
}

DatagramSocket* MemoryProtocol::create_socket(bool listening)
{
    if (fail_create) {
        return nullptr;
    }
    ++sockets_made;
    MemorySocket* const s = new MemorySocket(this, network_);
    s->fail_local_address = fail_local_address;
    if (s->open(listening ? listen_port_ : 0) != NET_OK) {
        destroy_socket(s);
        return nullptr;
    }
    return s;
}

int MemoryProtocol::address_equal(const NetAddress* a, const NetAddress* b)
{
    ++address_comparisons;
    return a->protocol == b->protocol && memory_port(*a) == memory_port(*b) ? 1 : 0;
}

NetAddress MemoryProtocol::address_key(const NetAddress* address)
{
    NetAddress key = memory_address(memory_port(*address));
    key.protocol = address->protocol;
    return key;
}

const char* MemoryProtocol::address_to_text(const NetAddress* address)
{
    return format_temp("mem:%d", static_cast<int>(memory_port(*address)));
}

int MemoryProtocol::text_to_address(const char* text, NetAddress* address)
{
    if (std::strncmp(text, "mem:", 4) != 0) {
        return NET_NOT_MINE;
    }
    char* end = nullptr;
    const long port = std::strtol(text + 4, &end, 10);
    if (end == text + 4 || *end != '\0' || port <= 0 || port > 65535) {
        return NET_NOT_MINE;
    }
    *address = memory_address(static_cast<uint16_t>(port));
    return NET_OK;
}
