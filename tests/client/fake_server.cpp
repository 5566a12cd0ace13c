#include "fake_server.h"

#include "net/hive.h"
#include "net/net_defs.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <cmath>

namespace fake {

namespace {

constexpr int MAX_MESSAGE = 8000;

uint32_t coord(float p, bool wide)
{
    return wide ? static_cast<uint32_t>(std::lround((p + 65536.0) * 8.0))
                : static_cast<uint32_t>(std::lround((p + 8192.0) * 8.0));
}

void write_object(NetStreamOut& s, const Object& o)
{
    const bool wide_index = o.wide_index || o.index > 255;
    s.write_bits(wide_index ? 1 : 0, 1);
    s.write_bits(o.index, wide_index ? 16 : 8);
    s.write_bits(o.count, 4);
    s.write_bits(o.object_class, 4);
    s.write_bits(o.remove ? 1 : 0, 1);
    if (o.remove) {
        return;
    }
    for (const uint32_t bit : {0x1u, 0x2u, 0x4u, 0x8u, 0x10u, 0x20u, 0x2000u}) {
        s.write_bits((o.mask & bit) != 0 ? 1 : 0, 1);
    }
    if ((o.mask & 0x2000) != 0) {
        for (const uint32_t bit : {0x40u, 0x80u, 0x100u, 0x200u, 0x400u, 0x800u, 0x1000u}) {
            s.write_bits((o.mask & bit) != 0 ? 1 : 0, 1);
        }
    }
    const bool wide = (o.mask & 0x1000) != 0;
    const int cbits = wide ? 20 : 17;
    for (int i = 0; i < 3; ++i) {
        if ((o.mask & (1u << i)) != 0) {
            s.write_bits(coord(o.position[i], wide), cbits);
        }
    }
    if ((o.mask & 0x40) != 0) {
        for (const float p : o.position2) {
            s.write_bits(coord(p, wide), cbits);
        }
    }
    const int abits = o.object_class == 10 ? 14 : 12;
    const double turn = o.object_class == 10 ? 16384.0 : 4096.0;
    for (int i = 0; i < 3; ++i) {
        if ((o.mask & (0x8u << i)) != 0) {
            s.write_bits(static_cast<uint32_t>(std::lround(o.angles[i] * turn)) & ((1u << abits) - 1), abits);
        }
    }
    for (int i = 0; i < 3; ++i) {
        if ((o.mask & (0x80u << i)) != 0) {
            s.write_bits(static_cast<uint32_t>(std::lround(o.angles2[i] * turn)) & ((1u << abits) - 1), abits);
        }
    }
    if (o.class_part) {
        o.class_part(s);
    }
}

} // namespace

uint32_t object_id(const Object& o) { return o.object_class << 20 | o.count << 16 | o.index; }

void NameCache::write(NetStreamOut& s, const std::string& name)
{
    const auto it = known_.find(name);
    if (it != known_.end()) {
        s.write_bits(0, 1);
        s.write_bits(it->second, bits_);
        return;
    }
    const uint32_t index = static_cast<uint32_t>(known_.size()) & ((1u << bits_) - 1);
    known_[name] = index;
    s.write_bits(1, 1);
    s.write_bits(index, bits_);
    s.write_string(name.c_str());
}

Server::~Server() { close(); }

bool Server::accept()
{
    uint8_t buffer[256] = {};
    int32_t length = sizeof buffer;
    NetSocket* const s = hive_.accept(buffer, &length);
    if (s == nullptr) {
        return false;
    }
    socket_ = s;
    request_ = Request{};
    if (length > 0) {
        NetStreamIn in;
        in.attach(buffer, length * 8);
        request_.version = in.read32();
        request_.magic = in.read32();
        char name[256];
        const int r = in.read_string(name, sizeof name);
        request_.name = name;
        request_.rate = in.read32();
        request_.player = static_cast<int>(in.read_bits(1));
        request_.cheater = static_cast<int>(in.read_bits(1));
        request_.administrator = static_cast<int>(in.read_bits(1));
        request_.whole = r == 0 && in.length() >= 0;
        in.detach();
    }
    return true;
}

void Server::close()
{
    if (socket_ != nullptr) {
        hive_.close_socket(socket_);
        socket_ = nullptr;
    }
}

void Server::send(int id, int type, const std::function<void(NetStreamOut&)>& f)
{
    NetStreamOut s;
    if (socket_ == nullptr || socket_->message_begin(&s, id, type) != 0) {
        return;
    }
    f(s);
    (void)socket_->message_end(&s);
}

void Server::send_accept(const std::string& base, const std::string& title, const std::string& commands,
                         uint32_t version, uint32_t magic)
{
    send(ACCEPT, NET_STREAM_RELIABLE, [&](NetStreamOut& s) {
        s.write32(version);
        s.write32(magic);
        s.write_string(base.c_str());
        s.write_string(title.c_str());
        s.write_string(commands.c_str());
    });
}

void Server::send_reject(const std::string& reason)
{
    send(REJECT, NET_STREAM_RELIABLE, [&](NetStreamOut& s) { s.write_string(reason.c_str()); });
}

void Server::send_map_load(const std::string& name, uint32_t word)
{
    send(MAPLOAD, NET_STREAM_RELIABLE, [&](NetStreamOut& s) {
        s.write_string(name.c_str());
        s.write32(word);
    });
}

void Server::send_map_close()
{
    send(MAPCLOSE, NET_STREAM_RELIABLE, [](NetStreamOut&) {});
}

void Server::send_text(uint32_t stream, const std::string& text)
{
    send(TEXT, NET_STREAM_RELIABLE, [&](NetStreamOut& s) {
        s.write8(stream);
        s.write_string(text.c_str());
    });
}

void Server::send_dummy(uint32_t value)
{
    send(DUMMY, NET_STREAM_RELIABLE, [&](NetStreamOut& s) { s.write8(value); });
}

std::vector<uint8_t> Server::update_payload(uint32_t stamp, const std::vector<Object>& objects, int32_t& bits)
{
    std::vector<uint8_t> bytes(MAX_MESSAGE);
    NetStreamOut s;
    s.attach(bytes.data(), MAX_MESSAGE);
    s.write32(stamp);
    for (const Object& o : objects) {
        write_object(s, o);
    }
    bits = s.detach();
    bytes.resize(static_cast<size_t>((bits + 7) / 8));
    return bytes;
}

void Server::send_update(uint32_t stamp, const std::vector<Object>& objects)
{
    send(UPDATE, NET_STREAM_UNRELIABLE, [&](NetStreamOut& s) {
        s.write32(stamp);
        for (const Object& o : objects) {
            write_object(s, o);
        }
    });
}

void Server::flush()
{
    if (socket_ != nullptr) {
        (void)socket_->message_send();
    }
}

void Server::receive()
{
    for (int guard = 0; socket_ != nullptr && guard < 10000; ++guard) {
        NetStreamIn in;
        int id = -1;
        int32_t length = 0;
        const int r = socket_->read(&in, &id, &length);
        if (r == NET_NOTHING) {
            break;
        }
        if (r != 0) {
            ++damaged;
            if (r != NET_DAMAGED) {
                break;
            }
            continue;
        }
        switch (id) {
        case INPUT: {
            Input input;
            input.bits = in.length();
            input.stamp = static_cast<int32_t>(in.read32());
            const int groups[3] = {3, 2, 4};
            int axis = 0;
            for (const int n : groups) {
                if (in.read_bits(1) != 0) {
                    for (int a = 0; a < n; ++a) {
                        input.axes[axis + a] = in.read_bits(1) != 0 ? static_cast<int32_t>(in.read_bits(16)) : -1;
                    }
                }
                axis += n;
            }
            input.states = in.read_bits(1) != 0 ? in.read32() : 0;
            if (in.length() < 0) {
                ++damaged;
            }
            inputs.push_back(input);
            break;
        }
        case IMPULSES: {
            const uint32_t n = in.read8();
            std::vector<uint8_t> list;
            for (uint32_t i = 0; i < n && i < 256; ++i) {
                list.push_back(static_cast<uint8_t>(in.read8()));
            }
            impulses.push_back(list);
            break;
        }
        case COMMAND: {
            char text[1100];
            (void)in.read_string(text, sizeof text);
            commands.emplace_back(text);
            break;
        }
        case MAPLOADED: {
            char name[64];
            (void)in.read_string(name, sizeof name);
            maps_loaded.push_back({name, in.read32()});
            break;
        }
        default:
            ++damaged;
            break;
        }
        in.detach();
    }
}

} // namespace fake
