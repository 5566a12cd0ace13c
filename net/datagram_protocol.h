#pragma once
// The protocol of a datagram transport. The server side owns a listening
// socket that receives connection requests and answers each new client with
// the address of a socket made for it; the client side repeats its request
// every second until an accept or a reject arrives. A transport derives
// from it and supplies sockets and addresses.
#include "core/print.h"
#include "net/datagram_link.h"
#include "net/line_limit.h"
#include "net/net_protocol.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

class DatagramSocket;
class NetStreamIn;

// The lines a peer can provoke once per datagram; each cause has a limiter.
enum DatagramLine {
    DGLINE_UNKNOWN_TYPE,     // "Unknown message type"
    DGLINE_CONTROL_MESSAGE,  // "Message in a control datagram"
    DGLINE_DAMAGED,          // "Damaged datagram received"
    DGLINE_DAMAGED_RELIABLE, // "Damaged reliable datagram"
    DGLINE_SOURCE,           // "Unexpected source address"
    DGLINE_REGULAR_REQUEST,  // "Connection request arrived to a regular socket"
    DGLINE_ACCEPT_SOURCE,    // "Unexpected accept source"
    DGLINE_REJECT_SOURCE,    // "Unexpected reject source"
    DGLINE_COUNT
};

class DatagramProtocol : public NetProtocol {
public:
    explicit DatagramProtocol(uint32_t protocol_id);
    // A transport's destructor calls drop_links first, while its sockets are whole.
    ~DatagramProtocol() override;

    // 0 still connecting, 10 connected, 11 rejected, 12 duplicate, 3 no
    // socket, 9 not this transport's address, -1 unexpected state.
    int connect(NetSocket** socket, const char* address, const void* request, int32_t request_length) override;
    int connect_cancel(const char* address, const void* request, int32_t request_length) override;
    NetSocket* accept(void* request, int32_t* length) override;
    void close_socket(NetSocket* socket) override;

    // The transport's: a new socket with its buffers, or null.
    virtual DatagramSocket* create_socket(bool listening) = 0;
    virtual int address_equal(const NetAddress* a, const NetAddress* b) = 0;
    virtual const char* address_to_text(const NetAddress* address) = 0;
    // 0 when the text is this transport's address.
    virtual int text_to_address(const char* text, NetAddress* address) = 0;
    // The address with every byte that address_equal ignores cleared: two
    // addresses are equal exactly when their keys are the same bytes.
    virtual NetAddress address_key(const NetAddress* address) { return *address; }
    // The key of the machine behind an address: connections of one host
    // share it (a UDP port is cleared). Per address unless the transport knows better.
    virtual NetAddress host_key(const NetAddress* address) { return address_key(address); }
    // true makes the listening socket when there is none (0, or 3); false deletes it.
    virtual int open_listening(bool open);

    // One control record received by a socket that is not connected.
    void control(int subtype, DatagramSocket* socket, const NetAddress* source, NetStreamIn* reader, int32_t bits);

    // Removes every link (deleting its socket) and the listening socket.
    void drop_links();
    // The same, then opens the listening socket again.
    int restart_listening();

    DatagramSocket* listening_socket() const { return listening; }
    const DatagramLink* first_link() const { return links; }
    int32_t half_open() const { return half_open_.count; }
    // A record of a type the layer does not know, on any of this protocol's sockets.
    void unknown_record(int type);
    // The limiter of one cause, over all of this protocol's sockets.
    LineLimit& lines(DatagramLine cause) { return lines_[cause]; }
    const LineLimit& unknown_lines() const { return lines_[DGLINE_UNKNOWN_TYPE]; }

    int32_t dropped = 0;  // control records refused: malformed, or not for the socket or link they reached
    int32_t deferred = 0; // requests told to try later because too many links were half-open

protected:
    void destroy_socket(DatagramSocket* socket);

private:
    DatagramLink* find_client_link(const void* request, int32_t length) const;
    DatagramLink* find_socket_link(const NetSocket* socket) const;
    DatagramLink* new_link(int32_t request_length);
    // Puts a new link at the head of the list; a server-side one into the index by address.
    void insert_link(DatagramLink* link, const NetAddress* client);
    void remove_link(DatagramLink* link);
    void attach_socket(DatagramLink* link, DatagramSocket* socket);
    void release_socket(DatagramLink* link);
    // The state and its time; the link waits in the queue that expires links of that state.
    void set_state(DatagramLink* link, int state);
    void leave_queue(DatagramLink* link);
    void purge();
    // Frees the request and the socket; the link is closed (client side) or dropped, then purged.
    void close_link(DatagramLink* link);
    void send_request(DatagramLink* link);
    void handle_request(const NetAddress* source, NetStreamIn* reader, int32_t bits);
    // The connecting link of socket when source is its peer, else null (after the message that fits).
    DatagramLink* waiting_link(DatagramSocket* socket, const NetAddress* source, const char* not_linked,
                               DatagramLine unexpected_source, const char* unexpected_text);
    void handle_accept(DatagramSocket* socket, const NetAddress* source, NetStreamIn* reader, int32_t bits);
    void handle_reject(DatagramSocket* socket, const NetAddress* source, NetStreamIn* reader);
    int answer(int type, const void* payload, int32_t bytes);
    int answer_reject(const char* reason);

    DatagramSocket* listening = nullptr;
    DatagramLink* links = nullptr; // newest first
    std::vector<DatagramLink*> client_links_;
    std::unordered_map<NetAddress, DatagramLink*, DatagramAddressHash, DatagramAddressSame> by_address_;
    std::unordered_map<const NetSocket*, DatagramLink*> by_socket_;
    DatagramLinkQueue half_open_; // requested, not yet taken by accept
    DatagramLinkQueue refused_;   // rejected, dropped, bad version, no address
    // Half-open links of each host, so that one machine cannot fill the table.
    std::unordered_map<NetAddress, int32_t, DatagramAddressHash, DatagramAddressSame> half_open_hosts_;
    LineLimit lines_[DGLINE_COUNT] = {
        {"Datagram", "Unknown message type", P_ERROR},
        {"Datagram", "Message in a control datagram", P_ERROR},
        {"Datagram", "Damaged datagram received", P_ERROR},
        {"Datagram", "Damaged reliable datagram", P_ERROR},
        {"Datagram", "Unexpected source address", P_WARNING},
        {"Datagram", "Connection request arrived to a regular socket", P_ERROR},
        {"Datagram", "Unexpected accept source", P_WARNING},
        {"Datagram", "Unexpected reject source", P_WARNING},
    };
};
