#include "tools/fake_client/fake_client.h"

#include "net/hive.h"
#include "net/net_defs.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <algorithm>
#include <cmath>

namespace fake_client {

namespace {

constexpr int AXES_PER_GROUP[3] = {3, 2, 4};

// The bytes of a message written through `fill` into a scratch buffer.
template <class Fill>
std::pair<std::vector<uint8_t>, int32_t> compose(Fill fill)
{
    std::vector<uint8_t> buffer(8192);
    NetStreamOut out;
    out.attach(buffer.data(), static_cast<int32_t>(buffer.size()));
    fill(out);
    const int32_t bits = out.detach();
    buffer.resize(bits > 0 ? static_cast<size_t>((bits + 7) / 8) : 0);
    return {buffer, bits};
}

// A string of at most max characters; the rest is dropped.
std::string read_text(NetStreamIn& in, int max)
{
    std::vector<char> text(static_cast<size_t>(max) + 1);
    in.read_string(text.data(), max + 1);
    return text.data();
}

} // namespace

FakeClient::FakeClient(Hive* hive, const char* address, const Options& options)
    : hive_(hive), address_(address), options_(options)
{
}

FakeClient::FakeClient(NetProtocol* protocol, const char* address, const Options& options)
    : protocol_(protocol), address_(address), options_(options)
{
}

FakeClient::~FakeClient() { close(); }

std::vector<uint8_t> FakeClient::request() const
{
    if (options_.raw_request) {
        return options_.request_bytes;
    }
    return compose([&](NetStreamOut& out) {
               out.write32(options_.protocol_version);
               out.write32(options_.magic);
               out.write_string(options_.name.c_str());
               out.write32(static_cast<uint32_t>(options_.cps));
               out.write_bits(options_.player ? 1 : 0, 1);
               out.write_bits(options_.cheater ? 1 : 0, 1);
               out.write_bits(options_.administrator ? 1 : 0, 1);
           })
        .first;
}

bool FakeClient::connect()
{
    if (socket_ != nullptr) {
        return true;
    }
    std::vector<uint8_t> r = request();
    const int32_t length = static_cast<int32_t>(r.size());
    r.push_back(0); // an empty request still has a block
    const int result = hive_ != nullptr ? hive_->connect(&socket_, address_.c_str(), r.data(), length)
                                        : protocol_->connect(&socket_, address_.c_str(), r.data(), length);
    if (result != NET_CONNECTED) {
        socket_ = nullptr;
    }
    return socket_ != nullptr;
}

void FakeClient::close()
{
    if (socket_ == nullptr) {
        return;
    }
    if (hive_ != nullptr) {
        hive_->close_socket(socket_);
    } else {
        protocol_->close_socket(socket_);
    }
    socket_ = nullptr;
}

bool FakeClient::lost() const { return socket_ == nullptr || socket_->state != NET_SOCKET_USABLE; }

void FakeClient::receive(int limit)
{
    for (int n = 0; n < limit && socket_ != nullptr; ++n) {
        NetStreamIn in;
        int id = 0;
        int32_t bits = 0;
        const int r = socket_->read(&in, &id, &bits);
        if (r == NET_DAMAGED) {
            continue;
        }
        if (r != NET_OK) {
            break;
        }
        std::vector<uint8_t> bytes(static_cast<size_t>((bits + 7) / 8) + 1, 0);
        if (bits > 0) {
            in.read_data(bytes.data(), bits);
        }
        in.detach();
        handle(id, bytes.data(), bits);
    }
}

void FakeClient::handle(int id, const uint8_t* data, int32_t bits)
{
    NetStreamIn in;
    in.attach(data, bits);
    switch (id) {
    case MSG_ACCEPT:
        in.read32();
        in.read32();
        base = read_text(in, 31);
        title = read_text(in, 255);
        commands = read_text(in, 255);
        accepted = true;
        break;
    case MSG_REJECT:
        reject_reason = read_text(in, 255);
        rejected = true;
        break;
    case MSG_LOADMAP:
        map_name = read_text(in, 9);
        map_word = in.read32();
        ++load_maps;
        clear();
        if (options_.answer_map) {
            in.detach();
            send_map_loaded(map_name, options_.answer_word != 0 ? static_cast<uint32_t>(options_.answer_word)
                                                                 : map_word);
            return;
        }
        break;
    case MSG_MAPCHANGE:
        ++map_changes;
        clear();
        break;
    case MSG_TEXT: {
        const int stream = static_cast<int>(in.read8());
        texts.emplace_back(stream, read_text(in, 1023));
        break;
    }
    case MSG_UPDATE: {
        const UpdateMessage m = decode_update(data, bits);
        ++updates_received;
        update_bits += bits;
        apply(m);
        if (keep_updates) {
            kept.push_back(m);
        }
        break;
    }
    default:
        unexpected.push_back(id);
        break;
    }
    in.detach();
}

bool FakeClient::write(int id, int type, const std::vector<uint8_t>& bytes, int32_t bits)
{
    if (socket_ == nullptr) {
        return false;
    }
    NetStreamOut out;
    if (socket_->message_begin(&out, id, type) != NET_OK) {
        return false;
    }
    if (bits > 0) {
        out.write_data(bytes.data(), bits);
    }
    return socket_->message_end(&out) == NET_OK;
}

bool FakeClient::send_raw(int id, int type, const std::vector<uint8_t>& bytes, int32_t bits)
{
    return write(id, type, bytes, bits);
}

bool FakeClient::send_input(const std::vector<float>& analog, uint32_t state)
{
    return send_input_stamp(options_.acknowledge ? latest_stamp : -1, analog, state);
}

bool FakeClient::send_input_stamp(int32_t stamp, const std::vector<float>& analog, uint32_t state)
{
    const auto [bytes, bits] = compose([&](NetStreamOut& out) {
        out.write32(static_cast<uint32_t>(stamp));
        size_t axis = 0;
        for (const int axes : AXES_PER_GROUP) {
            uint32_t codes[4] = {};
            bool present[4] = {};
            bool any = false;
            for (int k = 0; k < axes; ++k, ++axis) {
                const float v = axis < analog.size() ? analog[axis] : 0.0f;
                const float clamped = std::fmax(-4.0f, std::fmin(4.0f, v));
                const int32_t q = static_cast<int32_t>(clamped * 8192.0f);
                present[k] = q != 0;
                codes[k] = static_cast<uint32_t>(std::max(0, std::min(q + 32768, 65535)));
                any = any || present[k];
            }
            out.write_bits(any ? 1 : 0, 1);
            if (any) {
                for (int k = 0; k < axes; ++k) {
                    out.write_bits(present[k] ? 1 : 0, 1);
                    if (present[k]) {
                        out.write_bits(codes[k], 16);
                    }
                }
            }
        }
        out.write_bits(state != 0 ? 1 : 0, 1);
        if (state != 0) {
            out.write32(state);
        }
    });
    return write(MSG_INPUT, NET_STREAM_UNRELIABLE, bytes, bits);
}

bool FakeClient::send_impulses(const std::vector<uint8_t>& codes)
{
    const auto [bytes, bits] = compose([&](NetStreamOut& out) {
        out.write8(static_cast<uint32_t>(codes.size()));
        for (const uint8_t c : codes) {
            out.write8(c);
        }
    });
    return write(MSG_IMPULSES, NET_STREAM_RELIABLE, bytes, bits);
}

bool FakeClient::send_command(const std::string& text)
{
    const auto [bytes, bits] = compose([&](NetStreamOut& out) { out.write_string(text.c_str()); });
    return write(MSG_COMMAND, NET_STREAM_RELIABLE, bytes, bits);
}

bool FakeClient::send_map_loaded(const std::string& name, uint32_t word)
{
    const auto [bytes, bits] = compose([&](NetStreamOut& out) {
        out.write_string(name.c_str());
        out.write32(word);
    });
    return write(MSG_MAPLOADED, NET_STREAM_RELIABLE, bytes, bits);
}

void FakeClient::flush()
{
    if (socket_ != nullptr) {
        socket_->message_send();
    }
}

} // namespace fake_client
