#include "net/vcr_protocol.h"

#include "core/compare_nocase.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/vcr_socket.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr size_t VCR_PREFIX_LENGTH = 4; // "vcr."
constexpr size_t VCR_NAME_MAX = 1024;

bool is_playback_address(const char* address)
{
    return std::strlen(address) > VCR_PREFIX_LENGTH && compare_nocase_n(address, "vcr.", VCR_PREFIX_LENGTH) == 0;
}

} // namespace

NetProtocol* vcr_protocol_create()
{
    return new (std::nothrow) VCRProtocol;
}

VCRProtocol::VCRProtocol() : NetProtocol(make_tag("VCR ")) {}

int VCRProtocol::connect(NetSocket** socket, const char* address, const void*, int32_t)
{
    if (!is_playback_address(address)) {
        return NET_NOT_MINE;
    }
    const char* const name = address + VCR_PREFIX_LENGTH;
    if (std::strlen(name) >= VCR_NAME_MAX) {
        print_format(P_ERROR, "VCR: '%.40s...' is too long a name", name);
        return NET_REFUSED;
    }
    VCRSocket* const s = new (std::nothrow) VCRSocket(this);
    if (s == nullptr) {
        print_string(P_ERROR, "VCR: Can't initialize socket");
        return NET_NOT_FOUND;
    }
    char file_name[VCR_NAME_MAX + 8];
    std::snprintf(file_name, sizeof file_name, "%s.vcr", name);
    if (s->open(file_name) != NET_OK) {
        s->protocol = nullptr;
        delete s;
        return NET_REFUSED;
    }
    *socket = s;
    return NET_CONNECTED;
}

int VCRProtocol::connect_cancel(const char* address, const void*, int32_t)
{
    if (is_playback_address(address)) {
        print_string(P_WARNING, "VCR: connect_cancel() called");
    }
    return NET_NOT_MINE;
}

NetSocket* VCRProtocol::accept(void*, int32_t*)
{
    return nullptr;
}

void VCRProtocol::close_socket(NetSocket* socket)
{
    K_ASSERT(socket);
    K_ASSERT(socket->protocol == this);
    socket->protocol = nullptr;
    delete socket;
}
