#pragma once
// The protocol of a datagram transport. The server side owns a listening
// socket that receives connection requests and answers each new client with
// the address of a socket made for it; the client side repeats its request
// every second until an accept or a reject arrives. A transport derives
// from it and supplies sockets and addresses.
#include "net/datagram_link.h"
#include "net/net_protocol.h"

#include <cstdint>

class DatagramSocket;
class NetStreamIn;

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
    int32_t dropped = 0; // control records refused as malformed

protected:
    void destroy_socket(DatagramSocket* socket);

private:
    DatagramLink* find_client_link(const void* request, int32_t length) const;
    DatagramLink* find_socket_link(const DatagramSocket* socket) const;
    DatagramLink* new_link(int32_t request_length);
    void remove_link(DatagramLink* link);
    void purge();
    // Frees the request and the socket; the link is closed (client side) or dropped, then purged.
    void close_link(DatagramLink* link);
    void send_request(DatagramLink* link);
    void handle_request(const NetAddress* source, NetStreamIn* reader, int32_t bits);
    // The connecting link of socket when source is its peer, else null (after the message that fits).
    DatagramLink* waiting_link(DatagramSocket* socket, const NetAddress* source, const char* not_linked,
                               const char* unexpected_source);
    void handle_accept(DatagramSocket* socket, const NetAddress* source, NetStreamIn* reader, int32_t bits);
    void handle_reject(DatagramSocket* socket, const NetAddress* source, NetStreamIn* reader);
    int answer(int type, const void* payload, int32_t bytes);
    int answer_reject(const char* reason);

    DatagramSocket* listening = nullptr;
    DatagramLink* links = nullptr; // newest first
};
