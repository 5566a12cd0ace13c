#pragma once
// Playback of recordings: connecting to "vcr.<name>" plays "<name>.vcr".
#include "net/net_protocol.h"

class VCRProtocol final : public NetProtocol {
public:
    VCRProtocol();

    int connect(NetSocket** socket, const char* address, const void* request, int32_t request_length) override;
    int connect_cancel(const char* address, const void* request, int32_t request_length) override;
    NetSocket* accept(void* request, int32_t* length) override;
    void close_socket(NetSocket* socket) override;
};

NetProtocol* vcr_protocol_create();
