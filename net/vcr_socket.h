#pragma once
// Plays a recording back as a connection: each read gives the next
// recorded message; whatever is written is thrown away.
#include "net/net_defs.h"
#include "net/net_socket.h"

class ChunkReader;
class FileStream;

class VCRSocket final : public NetSocket {
public:
    explicit VCRSocket(NetProtocol* protocol);
    ~VCRSocket() override;

    // Opens a recording through the file system: 0, 8 when no mount has the
    // file, 7 when it is not a recording of our version.
    int open(const char* file_name);
    void close();

    void poll() override;
    int message_begin(NetStreamOut* stream, int id, int type) override;
    int message_end(NetStreamOut* stream) override;
    int message_send() override;
    int read(NetStreamIn* stream, int* id, int32_t* length) override;

private:
    int read_ahead();

    FileStream* file = nullptr;
    ChunkReader* chunks = nullptr;
    int next_id = 0;
    int32_t next_length = 0; // bits
    // The payload of the message last read stays here until the next read.
    uint8_t block[NET_MESSAGE_MAXLEN];
};
