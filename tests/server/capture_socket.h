#pragma once
// A socket that keeps every message written into it, with a capacity per
// message that tests choose (to make messages overflow).
#include "net/net_defs.h"
#include "net/net_socket.h"
#include "net/net_stream_out.h"

#include <cstdint>
#include <vector>

class CaptureSocket final : public NetSocket {
public:
    struct Message {
        int id;
        int type;
        std::vector<uint8_t> bytes;
        int32_t bits;
    };

    explicit CaptureSocket(int32_t capacity = NET_MESSAGE_MAXLEN) : NetSocket(nullptr), capacity_(capacity)
    {
        state = NET_SOCKET_USABLE;
    }

    void poll() override {}
    int message_begin(NetStreamOut* stream, int id, int type) override
    {
        if (refuse_begin) {
            return NET_NOT_CONNECTED;
        }
        buffer_.assign(static_cast<size_t>(capacity_), 0);
        stream->attach(buffer_.data(), capacity_);
        open_id_ = id;
        open_type_ = type;
        return NET_OK;
    }
    int message_end(NetStreamOut* stream) override
    {
        const int32_t bits = stream->detach();
        if (bits < 0) {
            return NET_WRITE_FAILED;
        }
        buffer_.resize(static_cast<size_t>((bits + 7) / 8));
        messages.push_back({open_id_, open_type_, buffer_, bits});
        return NET_OK;
    }
    int message_send() override { return NET_OK; }
    int read(NetStreamIn*, int*, int32_t*) override { return NET_NOTHING; }

    void set_capacity(int32_t bytes) { capacity_ = bytes; }

    std::vector<Message> messages;
    bool refuse_begin = false;

private:
    int32_t capacity_;
    std::vector<uint8_t> buffer_;
    int open_id_ = 0;
    int open_type_ = 0;
};
