#include "net/datagram_protocol.h"

#include "core/kassert.h"
#include "core/print.h"
#include "core/timer.h"
#include "net/datagram_socket.h"
#include "net/datagram_wire.h"
#include "net/hive.h"
#include "net/net_stream_in.h"
#include "net/net_stream_out.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Bytes of a request block that still fit, with the version, into one control record.
constexpr int32_t REQUEST_MAX = NET_DATAGRAM_SIZE - NET_DATAGRAM_HEADER - NET_DGRECORD_HEADER - 4;

} // namespace

DatagramProtocol::DatagramProtocol(uint32_t protocol_id) : NetProtocol(protocol_id) {}

DatagramProtocol::~DatagramProtocol()
{
    drop_links();
}

void DatagramProtocol::destroy_socket(DatagramSocket* socket)
{
    if (socket != nullptr) {
        socket->protocol = nullptr;
        delete socket;
    }
}

DatagramLink* DatagramProtocol::new_link(int32_t request_length)
{
    DatagramLink* const link = new (std::nothrow) DatagramLink;
    if (link == nullptr) {
        return nullptr;
    }
    if (request_length > 0) {
        link->request = new (std::nothrow) uint8_t[static_cast<size_t>(request_length)]();
        if (link->request == nullptr) {
            delete link;
            return nullptr;
        }
    }
    link->request_length = request_length;
    return link;
}

void DatagramProtocol::insert_link(DatagramLink* link, const NetAddress* client)
{
    link->previous = nullptr;
    link->next = links;
    if (links != nullptr) {
        links->previous = link;
    }
    links = link;
    if (client == nullptr) {
        client_links_.push_back(link);
        return;
    }
    link->address = *client;
    link->key = address_key(client);
    link->host = host_key(client);
    link->keyed = true;
    by_address_[link->key] = link;
}

void DatagramProtocol::remove_link(DatagramLink* link)
{
    (link->previous != nullptr ? link->previous->next : links) = link->next;
    if (link->next != nullptr) {
        link->next->previous = link->previous;
    }
    leave_queue(link);
    if (link->keyed) {
        by_address_.erase(link->key);
    } else {
        const auto it = std::find(client_links_.begin(), client_links_.end(), link);
        if (it != client_links_.end()) {
            client_links_.erase(it);
        }
    }
    if (net_debug()) {
        print_string(P_DEBUG, "Datagram: Removing socket");
    }
    release_socket(link);
    delete[] link->request;
    delete link;
}

void DatagramProtocol::attach_socket(DatagramLink* link, DatagramSocket* socket)
{
    link->socket = socket;
    by_socket_[socket] = link;
}

void DatagramProtocol::release_socket(DatagramLink* link)
{
    if (link->socket != nullptr) {
        by_socket_.erase(link->socket);
        destroy_socket(link->socket);
        link->socket = nullptr;
    }
}

void DatagramProtocol::set_state(DatagramLink* link, int state)
{
    link->state = state;
    link->time = sys_time();
    leave_queue(link);
    if (state == DGLINK_REQUESTED) {
        half_open_.push(link);
        ++half_open_hosts_[link->host];
    } else if (state == DGLINK_REJECTED || state == DGLINK_DROPPED || state == DGLINK_BAD_VERSION ||
               state == DGLINK_NO_ADDRESS) {
        refused_.push(link);
    }
}

void DatagramProtocol::leave_queue(DatagramLink* link)
{
    if (link->queue == &half_open_) {
        const auto it = half_open_hosts_.find(link->host);
        if (it != half_open_hosts_.end() && --it->second <= 0) {
            half_open_hosts_.erase(it);
        }
    }
    if (link->queue != nullptr) {
        link->queue->remove(link);
    }
}

void DatagramProtocol::unknown_record(int type)
{
    lines_[DGLINE_UNKNOWN_TYPE].print("Datagram: Unknown message type %d", type);
}

void DatagramProtocol::drop_links()
{
    while (links != nullptr) {
        remove_link(links);
    }
    destroy_socket(listening);
    listening = nullptr;
}

int DatagramProtocol::restart_listening()
{
    drop_links();
    return open_listening(true);
}

int DatagramProtocol::open_listening(bool open)
{
    if (!open) {
        destroy_socket(listening);
        listening = nullptr;
        return NET_OK;
    }
    if (listening == nullptr) {
        listening = create_socket(true);
        if (listening == nullptr) {
            print_string(P_WARNING, "Datagram: Can't allocate listening socket");
            return NET_NO_RESOURCE;
        }
    }
    return NET_OK;
}

DatagramLink* DatagramProtocol::find_client_link(const void* request, int32_t length) const
{
    for (DatagramLink* const l : client_links_) {
        if (l->client_side() && l->request_length == length &&
            (length == 0 || std::memcmp(l->request, request, static_cast<size_t>(length)) == 0)) {
            return l;
        }
    }
    return nullptr;
}

DatagramLink* DatagramProtocol::find_socket_link(const NetSocket* socket) const
{
    const auto it = socket != nullptr ? by_socket_.find(socket) : by_socket_.end();
    return it != by_socket_.end() ? it->second : nullptr;
}

// Links wait in their queue in the order of their times, so only the oldest are looked at.
void DatagramProtocol::purge()
{
    const double now = sys_time();
    while (refused_.first != nullptr && now - refused_.first->time > DGLINK_KEEP_TIME) {
        remove_link(refused_.first);
    }
    while (half_open_.first != nullptr && now - half_open_.first->time > DGLINK_HALF_OPEN_TIME) {
        remove_link(half_open_.first);
    }
}

int DatagramProtocol::connect(NetSocket** socket, const char* address, const void* request, int32_t request_length)
{
    K_ASSERT(socket);
    K_ASSERT(request || request_length == 0);
    NetAddress server{};
    if (text_to_address(address, &server) != NET_OK) {
        return NET_NOT_MINE;
    }
    if (request_length < 0 || request_length > REQUEST_MAX) {
        print_string(P_ERROR, "Datagram: Can't send to server");
        return NET_MISMATCH;
    }
    DatagramLink* link = find_client_link(request, request_length);
    if (link == nullptr) {
        link = new_link(request_length);
        DatagramSocket* const s = link != nullptr ? create_socket(false) : nullptr;
        if (s == nullptr) {
            print_string(P_ERROR, "Datagram: Can't initialize socket");
            if (link != nullptr) {
                delete[] link->request;
                delete link;
            }
            return NET_NO_RESOURCE;
        }
        if (request_length > 0) {
            std::memcpy(link->request, request, static_cast<size_t>(request_length));
        }
        attach_socket(link, s);
        link->state = DGLINK_CONNECTING;
        link->time = sys_time() - DGLINK_REQUEST_PERIOD;
        insert_link(link, nullptr);
        if (s->connect(&server, true) != NET_OK) {
            print_string(P_ERROR, "Datagram: Can't send to server");
            remove_link(link);
            return NET_NO_RESOURCE;
        }
    }
    switch (link->state) {
    case DGLINK_CONNECTING:
        link->socket->receive();
        if (link->state == DGLINK_CLOSED) {
            // An accept that could not be followed: the socket is closed now that its receive has returned.
            close_link(link);
            return NET_OK;
        }
        if (link->state == DGLINK_CONNECTING && sys_time() - link->time >= DGLINK_REQUEST_PERIOD) {
            print_format(P_MESSAGE, "Connecting to %s...", address_to_text(&link->socket->peer()));
            send_request(link);
            link->time = sys_time();
        }
        return NET_OK;
    case DGLINK_REJECTED:
        release_socket(link);
        return NET_REFUSED;
    case DGLINK_ACCEPTED:
        set_state(link, DGLINK_CONNECTED);
        link->socket->arm_timeouts();
        *socket = link->socket;
        return NET_CONNECTED;
    case DGLINK_CONNECTED:
        print_string(P_WARNING, "Datagram: Duplicate connect()");
        return NET_DUPLICATE_CONNECT;
    default:
        print_format(P_ERROR, "Datagram: Unexpected socket state %d in connect()", link->state);
        return NET_SOCKET_ERROR;
    }
}

void DatagramProtocol::send_request(DatagramLink* link)
{
    uint8_t record[NET_DATAGRAM_SIZE];
    NetStreamOut writer;
    int r = datagram_record_begin(&writer, record, sizeof record, NET_DGM_CONTROL, NET_DGC_REQUEST);
    if (r == 0) {
        r = writer.write32(NET_DGPROTOCOL_VERSION);
        if (r == 0 && link->request_length > 0) {
            r = writer.write_data(link->request, link->request_length * 8);
        }
        const int32_t bits = writer.detach();
        if (r == 0) {
            r = link->socket->add_unreliable(record, bits);
        }
    }
    if (r == 0) {
        r = link->socket->message_send();
    }
    if (r != 0) {
        print_string(P_ERROR, "Datagram: Can't send to server");
    }
}

int DatagramProtocol::connect_cancel(const char* address, const void* request, int32_t request_length)
{
    NetAddress server{};
    if (text_to_address(address, &server) != NET_OK) {
        return NET_NOT_MINE;
    }
    DatagramLink* const link = request_length >= 0 ? find_client_link(request, request_length) : nullptr;
    if (link == nullptr) {
        print_string(P_WARNING, "Datagram: No connection to cancel");
        return NET_NOT_CONNECTED;
    }
    if (link->state != DGLINK_CONNECTING) {
        print_string(P_ERROR, "Datagram: Can't cancel socket in non-connecting state");
        return NET_BUSY;
    }
    close_socket(link->socket);
    return NET_OK;
}

NetSocket* DatagramProtocol::accept(void* request, int32_t* length)
{
    K_ASSERT(length);
    if (listening != nullptr) {
        listening->receive();
    }
    purge();
    // The newest request first.
    DatagramLink* const l = half_open_.last;
    if (l == nullptr) {
        return nullptr;
    }
    const int32_t room = std::max(*length, 0);
    const int32_t n = std::min(room, l->request_length);
    if (n > 0) {
        K_ASSERT(request);
        std::memcpy(request, l->request, static_cast<size_t>(n));
    }
    *length = l->request_length <= room ? l->request_length : -1;
    set_state(l, DGLINK_TAKEN);
    l->socket->arm_timeouts();
    return l->socket;
}

void DatagramProtocol::close_socket(NetSocket* socket)
{
    DatagramLink* const link = find_socket_link(socket);
    if (link == nullptr) {
        print_string(P_WARNING, "Datagram: Can't find socket in close_socket()");
        return;
    }
    if (link->state == DGLINK_CLOSED || link->state == DGLINK_DROPPED) {
        print_string(P_WARNING, "Datagram: Duplicate close_socket()");
        purge();
        return;
    }
    close_link(link);
}

void DatagramProtocol::close_link(DatagramLink* link)
{
    delete[] link->request;
    link->request = nullptr;
    link->request_length = 0;
    release_socket(link);
    if (link->client_side()) {
        // A closed attempt is gone for good.
        remove_link(link);
    } else {
        set_state(link, DGLINK_DROPPED);
    }
    purge();
}

void DatagramProtocol::control(int subtype, DatagramSocket* socket, const NetAddress* source, NetStreamIn* reader,
                               int32_t bits)
{
    switch (subtype) {
    case NET_DGC_REQUEST:
        if (socket != listening) {
            lines_[DGLINE_REGULAR_REQUEST].print("Datagram: Connection request arrived to a regular socket");
            ++dropped;
            return;
        }
        handle_request(source, reader, bits);
        return;
    case NET_DGC_ACCEPT:
        handle_accept(socket, source, reader, bits);
        return;
    case NET_DGC_REJECT:
        handle_reject(socket, source, reader);
        return;
    default:
        return;
    }
}

// Sends a control record to the client the listening socket is connected to, then disconnects it.
int DatagramProtocol::answer(int type, const void* payload, int32_t bytes)
{
    uint8_t record[NET_DGRECORD_HEADER + 4 + NET_DGREASON_MAX + 1];
    NetStreamOut writer;
    int r = datagram_record_begin(&writer, record, sizeof record, NET_DGM_CONTROL, type);
    if (r == 0) {
        r = writer.write_data(payload, bytes * 8);
        const int32_t bits = writer.detach();
        if (r == 0) {
            r = listening->add_unreliable(record, bits);
        }
    }
    if (r == 0) {
        r = listening->message_send();
    }
    listening->connect(nullptr, false);
    return r;
}

int DatagramProtocol::answer_reject(const char* reason)
{
    return answer(NET_DGC_REJECT, reason, static_cast<int32_t>(std::strlen(reason)) + 1);
}

void DatagramProtocol::handle_request(const NetAddress* source, NetStreamIn* reader, int32_t bits)
{
    if (bits < 32) {
        print_string(P_DEBUG, "Datagram: Damaged connection request");
        ++dropped;
        return;
    }
    if (listening->connect(source, true) != NET_OK) {
        print_string(P_ERROR, "Datagram: Can't send to client");
        return;
    }
    const uint32_t version = reader->read32();
    const auto found = by_address_.find(address_key(source));
    DatagramLink* link = found != by_address_.end() ? found->second : nullptr;
    if (link == nullptr) {
        const bool good_version = version == NET_DGPROTOCOL_VERSION;
        const auto host = half_open_hosts_.find(host_key(source));
        const bool host_full = host != half_open_hosts_.end() && host->second >= DGLINK_HALF_OPEN_PER_HOST;
        if (good_version && (half_open_.count >= DGLINK_HALF_OPEN_MAX || host_full)) {
            print_format(P_DEBUG, "Datagram: Rejected %s (too many half-open connections)", address_to_text(source));
            ++deferred;
            answer_reject(DGLINK_TRY_LATER);
            return;
        }
        // A request of another version only needs a record to answer its repetitions.
        link = new_link(good_version ? (bits + 7) / 8 - 4 : 0);
        DatagramSocket* const s = link != nullptr && good_version ? create_socket(false) : nullptr;
        if (link != nullptr && good_version && s == nullptr) {
            delete[] link->request;
            delete link;
            link = nullptr;
        } else if (link != nullptr) {
            insert_link(link, source);
            link->time = sys_time();
            if (s != nullptr) {
                attach_socket(link, s);
                if (s->connect(source, false) != NET_OK) {
                    print_string(P_ERROR, "Datagram: Can't connect to client");
                    remove_link(link);
                    link = nullptr;
                }
            }
        }
    }
    if (link == nullptr) {
        print_format(P_DEBUG, "Datagram: Rejected %s (can't allocate)", address_to_text(source));
        answer_reject("can't allocate socket");
        return;
    }
    // The answer follows the link's state; a link whose socket was handed out keeps its state
    // whatever the request says, since a refused link is purged with its socket.
    int state = link->state;
    if (version != NET_DGPROTOCOL_VERSION && state != DGLINK_BAD_VERSION) {
        print_format(P_DEBUG, "Datagram: Rejected %s (version mismatch)", address_to_text(source));
        state = DGLINK_BAD_VERSION;
    }
    if (state == 0) {
        if (link->request_length > 0) {
            reader->read_data(link->request, link->request_length * 8);
        }
        state = DGLINK_REQUESTED;
    }
    NetAddress local{};
    if (state == DGLINK_REQUESTED || state == DGLINK_TAKEN) {
        if (link->socket == nullptr || link->socket->local_address(&local) != NET_OK) {
            print_format(P_DEBUG, "Datagram: Rejected %s (can't resolve socket address)", address_to_text(source));
            state = DGLINK_NO_ADDRESS;
        }
    }
    if (state != link->state && link->state != DGLINK_TAKEN) {
        set_state(link, state);
        if (state != DGLINK_REQUESTED) {
            // Nobody will be handed this socket: it is not kept for the record's time.
            release_socket(link);
        }
    }
    switch (state) {
    case DGLINK_REQUESTED:
    case DGLINK_TAKEN:
        answer(NET_DGC_ACCEPT, &local, sizeof local);
        break;
    case DGLINK_BAD_VERSION:
        answer_reject("protocol version mismatch");
        break;
    case DGLINK_NO_ADDRESS:
        answer_reject("can't resolve server address");
        break;
    default:
        answer_reject(DGLINK_TRY_LATER);
        break;
    }
}

DatagramLink* DatagramProtocol::waiting_link(DatagramSocket* socket, const NetAddress* source, const char* not_linked,
                                            DatagramLine unexpected_source, const char* unexpected_text)
{
    DatagramLink* const link = find_socket_link(socket);
    if (link == nullptr) {
        print_string(P_DEBUG, not_linked);
        return nullptr;
    }
    if (link->state != DGLINK_CONNECTING) {
        return nullptr;
    }
    if (!address_equal(source, &socket->peer())) {
        lines_[unexpected_source].print(unexpected_text, address_to_text(source));
        ++dropped;
        return nullptr;
    }
    return link;
}

void DatagramProtocol::handle_accept(DatagramSocket* socket, const NetAddress* source, NetStreamIn* reader,
                                     int32_t bits)
{
    DatagramLink* const link =
        waiting_link(socket, source, "Datagram: Accepted socket not linked", DGLINE_ACCEPT_SOURCE,
                     "Datagram: Unexpected accept source %s");
    if (link == nullptr) {
        return;
    }
    if (bits != static_cast<int32_t>(sizeof(NetAddress) * 8)) {
        print_string(P_DEBUG, "Datagram: Damaged accept");
        ++dropped;
        return;
    }
    set_state(link, DGLINK_ACCEPTED);
    NetAddress server{};
    reader->read_data(&server, sizeof server * 8);
    if (net_debug()) {
        print_format(P_DEBUG, "Datagram: %s says 'accepted at %s'", address_to_text(source), address_to_text(&server));
    }
    socket->connect(nullptr, false);
    if (socket->connect(&server, false) != NET_OK) {
        print_string(P_ERROR, "Datagram: Can't connect to server");
        // The socket is still receiving: connect closes it once the receive has returned.
        link->state = DGLINK_CLOSED;
    }
}

void DatagramProtocol::handle_reject(DatagramSocket* socket, const NetAddress* source, NetStreamIn* reader)
{
    DatagramLink* const link =
        waiting_link(socket, source, "Datagram: Rejected socket not linked", DGLINE_REJECT_SOURCE,
                     "Datagram: Unexpected reject source %s");
    if (link == nullptr) {
        return;
    }
    char reason[NET_DGREASON_MAX + 1];
    reader->read_string(reason, sizeof reason);
    print_format(P_MESSAGE, "Datagram: Rejected (%s)", reason);
    if (std::strcmp(reason, DGLINK_TRY_LATER) == 0) {
        // The server is busy, not refusing: the request goes again after the usual period.
        link->time = sys_time();
        return;
    }
    set_state(link, DGLINK_REJECTED);
}
