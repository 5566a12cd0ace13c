#include "net/loopback_protocol.h"

#include "core/compare_nocase.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/loopback_socket.h"

#include <cstring>
#include <initializer_list>
#include <new>

namespace {

bool is_loopback_address(const char* address)
{
    return compare_nocase(address, "local") == 0;
}

void free_request(LoopbackLink* link)
{
    delete[] link->request;
    link->request = nullptr;
    link->request_length = 0;
}

} // namespace

NetProtocol* loopback_protocol_create()
{
    return new (std::nothrow) LoopbackProtocol;
}

LoopbackProtocol::LoopbackProtocol() : NetProtocol(make_tag("LOOP"))
{
    if (cvar_list != nullptr) {
        latency = cvar_list->link(CVTYPE_FLOAT, 0x100, "LoopBack_Latency", nullptr, 0);
        loss = cvar_list->link(CVTYPE_FLOAT, 0x100, "LoopBack_Loss", nullptr, 0);
    }
}

LoopbackProtocol::~LoopbackProtocol()
{
    while (links != nullptr) {
        remove_link(links);
    }
    if (cvar_list != nullptr) {
        if (latency != nullptr) {
            cvar_list->release(latency);
        }
        if (loss != nullptr) {
            cvar_list->release(loss);
        }
    }
}

// Only links that still hold their request can be found again.
LoopbackLink* LoopbackProtocol::find_link(const void* request, int32_t request_length) const
{
    for (LoopbackLink* l = links; l != nullptr; l = l->next) {
        if (l->request != nullptr && l->request_length == request_length &&
            std::memcmp(l->request, request, static_cast<size_t>(request_length)) == 0) {
            return l;
        }
    }
    return nullptr;
}

int LoopbackProtocol::open_link(LoopbackLink* link, const void* request, int32_t request_length)
{
    K_ASSERT(request);
    link->client = new (std::nothrow) LoopbackSocket(this);
    if (link->client == nullptr || link->client->setup(LOOPBACK_BUFFER_BYTES) != NET_OK) {
        print_string(P_ERROR, "Loopback: Can't allocate client socket");
        return NET_NO_RESOURCE;
    }
    link->server = new (std::nothrow) LoopbackSocket(this);
    if (link->server == nullptr || link->server->setup(LOOPBACK_BUFFER_BYTES) != NET_OK) {
        print_string(P_ERROR, "Loopback: Can't allocate server socket");
        return NET_NO_RESOURCE;
    }
    link->client->peer = link->server;
    link->server->peer = link->client;
    // One byte more, so that an empty request still has a block.
    link->request = new (std::nothrow) uint8_t[static_cast<size_t>(request_length) + 1];
    if (link->request == nullptr) {
        print_string(P_ERROR, "Loopback: Can't allocate request data block");
        return NET_NO_RESOURCE;
    }
    std::memcpy(link->request, request, static_cast<size_t>(request_length));
    link->request_length = request_length;
    link->state = LINKSTATE_REQUESTED;
    return NET_OK;
}

int LoopbackProtocol::connect(NetSocket** socket, const char* address, const void* request, int32_t request_length)
{
    if (!is_loopback_address(address)) {
        return NET_NOT_MINE;
    }
    K_ASSERT(request_length >= 0);
    LoopbackLink* const found = find_link(request, request_length);
    if (found != nullptr) {
        switch (found->state) {
        case LINKSTATE_REQUESTED:
            return NET_OK;
        case LINKSTATE_ACCEPTED:
            free_request(found);
            found->state = LINKSTATE_CONNECTED;
            K_ASSERT(found->state == LINKSTATE_CONNECTED);
            *socket = found->client;
            return NET_CONNECTED;
        case LINKSTATE_HALFCLOSED:
            if (found->client != nullptr) {
                // The server closed its end already; the socket finds it lost at its first use.
                free_request(found);
                *socket = found->client;
                return NET_CONNECTED;
            }
            break;
        default:
            break;
        }
    }
    LoopbackLink* const link = new (std::nothrow) LoopbackLink;
    if (link == nullptr) {
        print_string(P_ERROR, "Loopback: Can't initialize link");
        return NET_NO_RESOURCE;
    }
    link->serial = serial++;
    link->next = links;
    links = link;
    if (open_link(link, request, request_length) != NET_OK) {
        remove_link(link);
        print_string(P_ERROR, "Loopback: Can't initialize link");
        return NET_NO_RESOURCE;
    }
    return NET_OK;
}

int LoopbackProtocol::connect_cancel(const char* address, const void* request, int32_t request_length)
{
    if (!is_loopback_address(address)) {
        return NET_NOT_MINE;
    }
    LoopbackLink* const link = find_link(request, request_length);
    if (link == nullptr) {
        return NET_NOT_CONNECTED;
    }
    // An accepted request leaves the server its end, which it then finds lost.
    if (link->state != LINKSTATE_ACCEPTED && link->server != nullptr) {
        close_end(link, link->server);
    }
    if (link->client != nullptr) {
        close_end(link, link->client);
    }
    return NET_OK;
}

NetSocket* LoopbackProtocol::accept(void* request, int32_t* length)
{
    K_ASSERT(length);
    for (LoopbackLink* l = links; l != nullptr; l = l->next) {
        if (l->state != LINKSTATE_REQUESTED) {
            continue;
        }
        const int32_t room = *length > 0 ? *length : 0;
        if (l->request_length > room) {
            if (room > 0) {
                std::memcpy(request, l->request, static_cast<size_t>(room));
            }
            *length = -1;
        } else {
            if (l->request_length > 0) {
                std::memcpy(request, l->request, static_cast<size_t>(l->request_length));
            }
            *length = l->request_length;
        }
        l->state = LINKSTATE_ACCEPTED;
        return l->server;
    }
    return nullptr;
}

void LoopbackProtocol::close_socket(NetSocket* socket)
{
    K_ASSERT(socket);
    K_ASSERT(socket->protocol == this);
    for (LoopbackLink* l = links; l != nullptr; l = l->next) {
        if (l->client == socket || l->server == socket) {
            close_end(l, static_cast<LoopbackSocket*>(socket));
            return;
        }
    }
    print_string(P_ERROR, "Loopback: Tried to close an unknown socket");
}

void LoopbackProtocol::close_end(LoopbackLink* link, LoopbackSocket* socket)
{
    if (link->client == socket) {
        link->client = nullptr;
    } else {
        link->server = nullptr;
    }
    socket->protocol = nullptr;
    delete socket; // cuts the peer's link to it
    if (link->client != nullptr || link->server != nullptr) {
        link->state = LINKSTATE_HALFCLOSED;
        return;
    }
    remove_link(link);
}

// Frees what the link still holds and takes it out of the list.
void LoopbackProtocol::remove_link(LoopbackLink* link)
{
    free_request(link);
    for (LoopbackSocket* s : {link->client, link->server}) {
        if (s != nullptr) {
            s->protocol = nullptr;
            delete s;
        }
    }
    link->state = LINKSTATE_IDLE;
    for (LoopbackLink** p = &links; *p != nullptr; p = &(*p)->next) {
        if (*p == link) {
            *p = link->next;
            break;
        }
    }
    delete link;
}
