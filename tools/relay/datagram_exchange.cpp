#include "tools/relay/datagram_exchange.h"

#include "core/byte_order.h"
#include "core/timer.h"
#include "host/host_clock.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"
#include "tools/relay/memory_transport.h"

namespace {

constexpr uint8_t REQUEST[4] = {'E', 'X', 'C', 'H'};
constexpr int READS_PER_FRAME = 100000;

int write_message(NetSocket* s, int id, int type, const std::vector<uint8_t>& bytes)
{
    NetStreamOut out;
    int r = s->message_begin(&out, id, type);
    if (r != 0) {
        return r;
    }
    out.write_data(bytes.data(), static_cast<int32_t>(bytes.size()) * 8);
    return s->message_end(&out);
}

// The next message's id and bytes: 0, 2 nothing, 7 damaged, else failure.
int read_message(NetSocket* s, int* id, std::vector<uint8_t>* bytes)
{
    NetStreamIn in;
    int32_t bits = 0;
    const int r = s->read(&in, id, &bits);
    if (r != NET_OK) {
        return r;
    }
    bytes->assign(static_cast<size_t>((bits + 7) / 8), 0);
    if (bits > 0) {
        in.read_data(bytes->data(), bits);
    }
    in.detach();
    return NET_OK;
}

int32_t number_of(const std::vector<uint8_t>& bytes)
{
    return bytes.size() >= 4 ? static_cast<int32_t>(read_le32(bytes.data())) : -1;
}

} // namespace

std::vector<uint8_t> exchange_payload(int32_t n)
{
    const auto u = static_cast<uint32_t>(n);
    std::vector<uint8_t> bytes(4 + (u * 37u) % 300u);
    write_le32(bytes.data(), u);
    for (size_t i = 4; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(u * 13u + i);
    }
    return bytes;
}

ExchangeClient::ExchangeClient(NetProtocol* protocol, const char* address, const ExchangeSettings& settings)
    : protocol_(protocol), address_(address), settings_(settings),
      sent_at_(static_cast<size_t>(settings.messages > 0 ? settings.messages : 0), 0.0)
{
}

ExchangeClient::~ExchangeClient()
{
    if (socket_ != nullptr) {
        protocol_->close_socket(socket_);
    }
}

void ExchangeClient::step(ExchangeResult* result)
{
    if (failed_) {
        return;
    }
    if (socket_ == nullptr) {
        const int r = protocol_->connect(&socket_, address_, REQUEST, sizeof REQUEST);
        if (r == NET_CONNECTED) {
            result->connected = true;
        } else if (r != NET_OK) {
            socket_ = nullptr;
            failed_ = true;
        }
        return;
    }
    for (int32_t k = 0; k < settings_.per_frame && next_ < settings_.messages; ++k) {
        if (write_message(socket_, EXCHANGE_MESSAGE_ID, NET_STREAM_RELIABLE, exchange_payload(next_)) != NET_OK) {
            break;
        }
        sent_at_[static_cast<size_t>(next_)] = sys_time();
        ++next_;
        if (settings_.unreliable_every > 0 && next_ % settings_.unreliable_every == 0) {
            write_message(socket_, EXCHANGE_UNRELIABLE_ID, NET_STREAM_UNRELIABLE, exchange_payload(next_));
            ++result->unreliable_sent;
        }
    }
    socket_->message_send();
    for (int i = 0; i < READS_PER_FRAME; ++i) {
        int id = 0;
        std::vector<uint8_t> bytes;
        const int r = read_message(socket_, &id, &bytes);
        if (r == NET_DAMAGED) {
            continue;
        }
        if (r != NET_OK) {
            break;
        }
        if (id == EXCHANGE_DONE_ID) {
            result->done_received = true;
        }
    }
    result->client_usable = socket_->state == NET_SOCKET_USABLE;
}

ExchangeServer::ExchangeServer(NetProtocol* protocol, const ExchangeSettings& settings)
    : protocol_(protocol), settings_(settings)
{
}

ExchangeServer::~ExchangeServer()
{
    if (socket_ != nullptr) {
        protocol_->close_socket(socket_);
    }
}

void ExchangeServer::step(ExchangeResult* result, const std::vector<double>* sent_at)
{
    // Accepting every frame also answers a client whose accept was lost.
    uint8_t request[16];
    int32_t length = sizeof request;
    if (NetSocket* const s = protocol_->accept(request, &length)) {
        if (socket_ == nullptr) {
            socket_ = s;
            first_ = sys_time();
        } else {
            protocol_->close_socket(s);
        }
    }
    if (socket_ == nullptr) {
        return;
    }
    for (int i = 0; i < READS_PER_FRAME; ++i) {
        int id = 0;
        std::vector<uint8_t> bytes;
        const int r = read_message(socket_, &id, &bytes);
        if (r == NET_DAMAGED) {
            result->in_order = false;
            continue;
        }
        if (r != NET_OK) {
            break;
        }
        const int32_t n = number_of(bytes);
        if (id == EXCHANGE_MESSAGE_ID) {
            if (n != next_ || bytes != exchange_payload(n)) {
                result->in_order = false;
                continue;
            }
            if (sent_at != nullptr && static_cast<size_t>(n) < sent_at->size()) {
                result->latencies.push_back(sys_time() - (*sent_at)[static_cast<size_t>(n)]);
            }
            result->payload_bytes += static_cast<int64_t>(bytes.size());
            ++next_;
            ++result->delivered;
            result->seconds = sys_time() - first_;
        } else if (id == EXCHANGE_UNRELIABLE_ID) {
            if (n <= last_unreliable_ || bytes != exchange_payload(n)) {
                result->unreliable_whole = false;
                continue;
            }
            last_unreliable_ = n;
            ++result->unreliable_delivered;
        }
    }
    if (complete() && !answered_) {
        const uint8_t done[1] = {1};
        answered_ = write_message(socket_, EXCHANGE_DONE_ID, NET_STREAM_RELIABLE, std::vector<uint8_t>(done, done + 1)) ==
                    NET_OK;
    }
    socket_->message_send();
    result->server_usable = socket_->state == NET_SOCKET_USABLE;
}

ExchangeResult run_exchange(const ExchangeSettings& settings, host::ManualClock* clock)
{
    ExchangeResult result;
    MemoryNetwork network(settings.network);
    MemoryProtocol server_protocol(&network, 1);
    MemoryProtocol client_protocol(&network, 0);
    if (server_protocol.open_listening(true) != NET_OK) {
        return result;
    }
    {
        ExchangeClient client(&client_protocol, "mem:1", settings);
        ExchangeServer server(&server_protocol, settings);
        const double start = sys_time();
        while (!result.done_received && !client.failed() && sys_time() - start < settings.time_limit &&
               result.client_usable && result.server_usable) {
            client.step(&result);
            server.step(&result, &client.sent_at());
            // The transport's poll: keepalives and the send time-out.
            if (client.socket() != nullptr) {
                client.socket()->poll();
            }
            if (server.socket() != nullptr) {
                server.socket()->poll();
            }
            clock->advance_seconds(settings.frame);
        }
    }
    result.datagrams = network.impairment.sent;
    result.datagrams_lost = network.impairment.lost;
    return result;
}
