#include "net/hive.h"

#include "core/config_variable.h"
#include "core/kassert.h"
#include "net/loopback_protocol.h"
#include "net/net_defs.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/udp_protocol.h"
#include "net/vcr_protocol.h"

namespace {

ConfigVariable* net_debug_link = nullptr;

using ProtocolFactory = NetProtocol* (*)();

// Each one is pushed at the head, so the list runs in the reverse order.
constexpr ProtocolFactory protocol_factories[] = {
    udp_protocol_create,
    vcr_protocol_create,
    loopback_protocol_create,
};

} // namespace

bool net_debug()
{
    return net_debug_link != nullptr && net_debug_link->as_bool();
}

Hive::~Hive()
{
    shutdown();
    if (net_debug_variable != nullptr) {
        if (net_debug_link == net_debug_variable) {
            net_debug_link = nullptr;
        }
        if (cvar_list != nullptr) {
            cvar_list->release(net_debug_variable);
        }
        net_debug_variable = nullptr;
    }
}

int Hive::init()
{
    shutdown();
    if (net_debug_variable == nullptr && cvar_list != nullptr) {
        net_debug_variable = cvar_list->link(CVTYPE_BOOL, 0x100, "Net_Debug", nullptr, 0);
        net_debug_link = net_debug_variable;
    }
    for (const ProtocolFactory factory : protocol_factories) {
        NetProtocol* const p = factory();
        if (p != nullptr) {
            add_protocol(p);
        }
    }
    return 0;
}

void Hive::shutdown()
{
    while (protocol != nullptr) {
        NetProtocol* const p = protocol;
        protocol = p->next;
        delete p;
    }
    K_ASSERT(!protocol);
}

void Hive::add_protocol(NetProtocol* p)
{
    K_ASSERT(p);
    p->next = protocol;
    protocol = p;
}

int Hive::connect(NetSocket** socket, const char* address, const void* request, int32_t request_length)
{
    K_ASSERT(socket);
    K_ASSERT(address);
    K_ASSERT(request);
    for (NetProtocol* p = protocol; p != nullptr; p = p->next) {
        const int r = p->connect(socket, address, request, request_length);
        if (r != NET_NOT_MINE) {
            return r;
        }
    }
    return NET_MISMATCH;
}

int Hive::connect_cancel(const char* address, const void* request, int32_t request_length)
{
    K_ASSERT(address);
    K_ASSERT(request);
    for (NetProtocol* p = protocol; p != nullptr; p = p->next) {
        const int r = p->connect_cancel(address, request, request_length);
        if (r != NET_NOT_MINE) {
            return r;
        }
    }
    return NET_MISMATCH;
}

NetSocket* Hive::accept(void* request, int32_t* length)
{
    for (NetProtocol* p = protocol; p != nullptr; p = p->next) {
        NetSocket* const s = p->accept(request, length);
        if (s != nullptr) {
            return s;
        }
    }
    return nullptr;
}

void Hive::close_socket(NetSocket* socket)
{
    K_ASSERT(socket);
    K_ASSERT(socket->protocol);
    socket->protocol->close_socket(socket);
}
