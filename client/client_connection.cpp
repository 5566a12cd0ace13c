// The client's side of the game protocol: connecting through the hive, the
// receive loop and the handling of every server message, and the messages
// the client sends.
#include "client/client.h"

#include "client/client_input.h"
#include "client/client_map.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"

#include "client/client_protocol.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "core/timer.h"
#include "net/hive.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t CVF_CLIENT_CHEAT = 0x120;
constexpr uint32_t VCR_PROTOCOL = make_tag("VCR ");
constexpr int TEXT_SIZE = 256;
constexpr int BASE_SIZE = 32;
constexpr int MESSAGE_BYTES = 1024;

} // namespace

void Client::dropped(const char* why)
{
    ++damaged_messages_;
    print_format(P_WARNING, "Client: Dropped a damaged message (%s)", why);
}

int Client::connect(const char* address, int cancel)
{
    K_ASSERT(address);
    // A request pending for the same address is offered again, whoever names it.
    if (net_state_ == CSTATE_CONNECTING && address != net_address_ && std::strcmp(address, net_address_) == 0) {
        address = net_address_;
    }
    if (net_state_ == CSTATE_DISCONNECTING || net_state_ == CSTATE_CONNECTED || net_state_ == CSTATE_ACCEPTED ||
        std::strcmp(address, net_address_) != 0) {
        cancel_connect();
    }
    K_ASSERT(net_state_ != CSTATE_CONNECTED);
    if (net_state_ == CSTATE_CONNECTING) {
        K_ASSERT(address == net_address_);
    } else {
        K_ASSERT(address != net_address_);
        if (std::strlen(address) >= CLIENT_ADDRESS_SIZE) {
            print_string(P_WARNING, "Client: Address is a little bit too long");
            return 0;
        }
        std::snprintf(net_address_, sizeof net_address_, "%s", address);
        address = net_address_;
        if (cheater_ == 0) {
            cvar_list->restore_saved(CVF_CLIENT_CHEAT, CVF_CLIENT_CHEAT);
        }
        net_state_ = CSTATE_CONNECTING;
    }

    uint8_t request[CONNECT_REQUEST_SIZE];
    const ConnectRequest r{cv_name_->string(), cv_cps_->int_value(), cv_player_->is_true() ? 1 : 0, cheater_,
                           cv_administrator_->is_true() ? 1 : 0};
    const int32_t length = write_connect_request(r, request, sizeof request);
    if (length == 0) {
        print_string(P_ERROR, "Client: Can't create connection request message");
        return 0;
    }
    K_ASSERT(net_);
    if (cancel != 0) {
        return net_->connect_cancel(address, request, length) == 0 ? 1 : 0;
    }
    switch (net_->connect(&socket_, address, request, length)) {
    case NET_OK:
        return 0;
    case NET_CONNECTED:
        reset_net_stats();
        server_commands_[0] = '\0';
        net_state_ = CSTATE_CONNECTED;
        if (record_requested_ != 0) {
            print_format(P_MESSAGE, "Client: Recording to '%s.vcr'", record_name_);
            record_requested_ = 0;
            char file[CLIENT_RECORD_NAME_SIZE + 8];
            std::snprintf(file, sizeof file, "%s.vcr", record_name_);
            (void)socket_->record_start(file);
        }
        return 1;
    case NET_REFUSED:
        print_string(P_MESSAGE, "Client: Rejected");
        net_state_ = CSTATE_DISCONNECTED;
        return 0;
    default:
        print_string(P_MESSAGE, "Client: Can't connect");
        net_state_ = CSTATE_DISCONNECTED;
        return 0;
    }
}

void Client::cancel_connect()
{
    switch (net_state_) {
    case CSTATE_CONNECTING:
        K_ASSERT(!socket_);
        print_string(P_MESSAGE, "Client: Cancelling connect");
        (void)connect(net_address_, 1);
        net_state_ = CSTATE_DISCONNECTED;
        break;
    case CSTATE_DISCONNECTED:
        K_ASSERT(!socket_);
        break;
    default:
        K_ASSERT(socket_);
        unload_map();
        if (net_state_ == CSTATE_ACCEPTED) {
            unregister_server_commands();
        }
        server_commands_[0] = '\0';
        K_ASSERT(net_);
        net_->close_socket(socket_);
        socket_ = nullptr;
        net_state_ = CSTATE_DISCONNECTED;
        break;
    }
}

void Client::close()
{
    cancel_connect();
    decoder_->reset_stamps();
    decoder_->clear_classes();
}

void Client::read_messages()
{
    const int32_t n = cv_timedemo_ != nullptr ? cv_timedemo_->int_value() : 0;
    int32_t count = n;
    while (net_state_ == CSTATE_DISCONNECTING || net_state_ == CSTATE_CONNECTED || net_state_ == CSTATE_ACCEPTED) {
        K_ASSERT(socket_);
        const bool playback = socket_->protocol != nullptr && socket_->protocol->id == VCR_PROTOCOL;
        if (n <= 0 && playback && time_interpolate_ >= 0.0 && net_state_ == CSTATE_ACCEPTED) {
            const double lead = client_ticks_frame_ > 14 ? 0.199 : client_ticks_frame_ * CLIENT_TICK - 0.001;
            if (time_interpolate_ + lead < time_transform_) {
                break;
            }
        }
        if (net_state_ == CSTATE_DISCONNECTING) {
            print_string(P_MESSAGE, "Client: Disconnecting...");
            cancel_connect();
            break;
        }
        if (socket_->state != NET_SOCKET_USABLE) {
            print_string(P_WARNING, "Client: Connection lost");
            cancel_connect();
            break;
        }
        NetStreamIn stream;
        int id = -1;
        const int r = socket_->read(&stream, &id, nullptr);
        if (r == NET_NOTHING) {
            break;
        }
        if (r == NET_DAMAGED) {
            print_string(P_ERROR, "Client: Corrupted message detected");
            ++damaged_messages_;
            continue;
        }
        if (r != NET_OK) {
            print_string(P_ERROR, "Client: Error reading socket");
            cancel_connect();
            break;
        }
        handle_message(stream, id);
        stream.detach();
        if (playback && n > 0 && id == NETM_UPDATE) {
            if (--count == 0) {
                if (timedemo_frames_ >= 0) {
                    ++timedemo_frames_;
                }
                break;
            }
        }
    }
}

void Client::handle_message(NetStreamIn& stream, int id)
{
    if (net_state_ == CSTATE_CONNECTED) {
        if (id == NETM_ACCEPT) {
            handle_accept(stream);
        } else if (id == NETM_REJECT) {
            handle_reject(stream);
        } else {
            print_format(P_WARNING, "Client: Expecting accept/reject, received %d", id);
        }
        return;
    }
    K_ASSERT(net_state_ == CSTATE_ACCEPTED);
    switch (id) {
    case NETM_UPDATE:
        handle_update(stream);
        break;
    case NETM_REJECT:
    case NETM_ACCEPT:
        print_string(P_WARNING, "Client: Received accept/reject, already accepted");
        break;
    case NETM_MAPLOAD:
        handle_map_load(stream);
        break;
    case NETM_MAPCLOSE:
        unload_map();
        break;
    case NETM_TEXT: {
        const uint32_t s = stream.read8();
        char text[TEXT_SIZE];
        if (stream.length() < 0 || stream.read_string(text, sizeof text) == 2) {
            dropped("text");
        } else if (s < P_STREAMS) {
            print_string(static_cast<int>(s), text);
        }
        break;
    }
    case NETM_DUMMY:
        if (stream.read8() != 255) {
            print_string(P_ERROR, "Client: Damaged dummy message !");
            ++damaged_messages_;
        }
        break;
    default:
        print_format(P_WARNING, "Client: Unexpected message id %d", id);
        break;
    }
}

void Client::handle_update(NetStreamIn& stream)
{
    if (map_active_ == 0) {
        return;
    }
    (void)decoder_->net_update(stream);
    time_transform_ = decoder_->latest_stamp * CLIENT_TICK;
    time_oldtransform_ = decoder_->previous_stamp * CLIENT_TICK;
    if (time_interpolate_ < 0.0 && decoder_->latest_stamp != -1) {
        time_oldtransform_ = time_transform_;
        time_interpolate_ = time_transform_;
    }
}

void Client::handle_accept(NetStreamIn& stream)
{
    const uint32_t version = stream.read32();
    if (version != NET_PROTOCOL_VERSION) {
        print_format(P_ERROR, "Client: Protocol mismatch (exp. %d, found %d)", static_cast<int>(NET_PROTOCOL_VERSION),
                     static_cast<int>(version));
        net_state_ = CSTATE_DISCONNECTING;
        return;
    }
    if (stream.read32() != NET_GAME_MAGIC) {
        print_string(P_ERROR, "Client: Game magic mismatch");
        net_state_ = CSTATE_DISCONNECTING;
        return;
    }
    char base[BASE_SIZE];
    const int base_read = stream.read_string(base, sizeof base);
    const ConfigVariable* const base_var = cvar_list != nullptr ? cvar_list->find("Base") : nullptr;
    const char* const local = base_var != nullptr ? base_var->string() : "";
    // A name cut to fit is not the name the server gave, whatever it reads.
    if (base_read != 0 || std::strcmp(base, local) != 0) {
        print_string(P_ERROR, "Client: Base directory mismatch");
        print_format(P_ERROR, "Client: Current is '%s', should be '%s'", local, base);
        print_format(P_ERROR, "Client: Re-run game with '-base %s' switch", base);
        net_state_ = CSTATE_DISCONNECTING;
        return;
    }
    char title[TEXT_SIZE];
    (void)stream.read_string(title, sizeof title);
    print_format(P_MESSAGE, "Client: Accepted to '%s'", title);
    if (stream.read_string(server_commands_, sizeof server_commands_) != 0) {
        server_commands_[0] = '\0';
        return;
    }
    register_server_commands();
    net_state_ = CSTATE_ACCEPTED;
}

void Client::handle_reject(NetStreamIn& stream)
{
    char reason[TEXT_SIZE];
    (void)stream.read_string(reason, sizeof reason);
    print_format(P_MESSAGE, "Client: Rejected (%s)", reason);
    net_state_ = CSTATE_DISCONNECTING;
}

void Client::handle_map_load(NetStreamIn& stream)
{
    K_ASSERT(net_state_ == CSTATE_ACCEPTED);
    char name[CLIENT_MAP_NAME_SIZE];
    const int name_read = stream.read_string(name, sizeof name);
    uint32_t word = stream.read32();
    if (name_read == 2 || stream.length() < 0) {
        dropped("map load");
        return;
    }
    if (name_read != 0) {
        // A name cut to fit is not the map the server named: a failed load.
        unload_map();
        print_format(P_ERROR, "Client: Can't load map '%s'", name);
        word = MAPLOAD_FAILED;
    } else if (load_map(name) == 0) {
        word = MAPLOAD_FAILED;
    } else {
        K_ASSERT(map_active_);
    }
    K_ASSERT(socket_);
    NetStreamOut out;
    if (socket_->message_begin(&out, NETM_MAPLOADED, NET_STREAM_RELIABLE) != NET_OK) {
        return;
    }
    (void)out.write_string(name);
    (void)out.write32(word);
    (void)socket_->message_end(&out);
}

int Client::write_input()
{
    if (net_state_ == CSTATE_CONNECTING) {
        (void)connect(net_address_, 0);
    }
    if (net_state_ == CSTATE_ACCEPTED && encode_input() == 0) {
        print_string(P_ERROR, "Client: write_input() failed !");
        return 0;
    }
    if (socket_ != nullptr) {
        (void)socket_->message_send();
    }
    return 1;
}

int Client::encode_input()
{
    NetStreamOut out;
    if (socket_->message_begin(&out, NETM_INPUT, NET_STREAM_UNRELIABLE) != NET_OK) {
        return 0;
    }
    write_input_record(out, decoder_->latest_stamp, *input_);
    if (socket_->message_end(&out) != NET_OK) {
        return 0;
    }
    const int n = input_->impulse_count();
    if (n > 0) {
        if (socket_->message_begin(&out, NETM_IMPULSES, NET_STREAM_RELIABLE) != NET_OK) {
            return 0;
        }
        (void)out.write8(static_cast<uint32_t>(n));
        for (int i = 0; i < n; ++i) {
            (void)out.write8(input_->impulse(i));
        }
        const int r = socket_->message_end(&out);
        if (r == NET_OK) {
            input_->clear_impulses();
        } else if (r != NET_BUSY) {
            return 0;
        }
    }
    return 1;
}

void Client::forward_command(int argc, const char* const* argv, int forward_all)
{
    if (net_state_ != CSTATE_ACCEPTED) {
        print_string(P_MESSAGE, "Client: Not connected");
        return;
    }
    K_ASSERT(socket_);
    const int first = forward_all != 0 ? 0 : 1;
    if (argc <= first) {
        return;
    }
    char text[MESSAGE_BYTES];
    size_t length = 0;
    const auto append = [&](const char* s) {
        for (; *s != '\0' && length < MESSAGE_BYTES; ++s) {
            text[length++] = *s;
        }
    };
    append(argv[first]);
    for (int i = first + 1; i < argc && length < MESSAGE_BYTES - 1; ++i) {
        append(" (");
        append(argv[i]);
        append(")");
    }
    if (length >= MESSAGE_BYTES) {
        print_string(P_WARNING, "Client: Server command is too long");
        return;
    }
    text[length] = '\0';
    NetStreamOut out;
    if (socket_->message_begin(&out, NETM_COMMAND, NET_STREAM_RELIABLE) != NET_OK) {
        print_string(P_ERROR, "Client: Can't send command");
        return;
    }
    (void)out.write_string(text);
    (void)socket_->message_end(&out);
}

void Client::reset_net_stats()
{
    stats_start_ = sys_time();
    stats_last_ = stats_start_;
    bytes_out_total_ = 0;
    bytes_in_total_ = 0;
    rate_out_ = 0;
    rate_in_ = 0;
}

void Client::print_net_stats(int mode)
{
    if (mode == 0) {
        return;
    }
    NetTraffic none[NET_TRAFFIC_COUNTERS];
    NetTraffic* const t = socket_ != nullptr ? socket_->traffic : none;
    if (mode >= 2) {
        static constexpr uint32_t tags[NET_TRAFFIC_COUNTERS] = {make_tag("NSRO"), make_tag("NSUO"), make_tag("NSRI"),
                                                                make_tag("NSUI")};
        static constexpr const char* names[NET_TRAFFIC_COUNTERS] = {"RO", "UO", "RI", "UI"};
        for (int i = 0; i < NET_TRAFFIC_COUNTERS; ++i) {
            print_tagged(tags[i], "%s: %d bytes in %d messages (max. %d bytes)", names[i], t[i].bytes, t[i].messages,
                         t[i].largest);
        }
    }
    const int64_t out = static_cast<int64_t>(t[NET_TRAFFIC_RELIABLE_OUT].bytes) + t[NET_TRAFFIC_UNRELIABLE_OUT].bytes;
    const int64_t in = static_cast<int64_t>(t[NET_TRAFFIC_RELIABLE_IN].bytes) + t[NET_TRAFFIC_UNRELIABLE_IN].bytes;
    bytes_out_total_ = wrap_add(bytes_out_total_, static_cast<int32_t>(out));
    bytes_in_total_ = wrap_add(bytes_in_total_, static_cast<int32_t>(in));
    const double now = sys_time();
    const double dt = now - stats_last_;
    const double r = dt > 0.0 ? 1.0 / dt : 0.0;
    rate_out_ = float_to_int_trunc(0.9 * rate_out_ + 0.1 * static_cast<double>(out) * r);
    rate_in_ = float_to_int_trunc(0.9 * rate_in_ + 0.1 * static_cast<double>(in) * r);
    stats_last_ = now;
    const double span = now - stats_start_;
    const int32_t average_out = span > 0.0 ? float_to_int_trunc(bytes_out_total_ / span) : 0;
    const int32_t average_in = span > 0.0 ? float_to_int_trunc(bytes_in_total_ / span) : 0;
    print_tagged(make_tag("NCps"), "Net: Out: %d CPS (avg %d), In: %d CPS (avg %d)", rate_out_, average_out, rate_in_,
                 average_in);
    for (int i = 0; i < NET_TRAFFIC_COUNTERS; ++i) {
        t[i].messages = 0;
        t[i].bytes = 0;
    }
}
