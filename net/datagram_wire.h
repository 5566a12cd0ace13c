#pragma once
// The bytes of the datagram layer: the 8-byte datagram header, the message
// records inside it, their types and the control subtypes.
#include <cstdint>

class NetStreamOut;

constexpr int32_t NET_DATAGRAM_SIZE = 7800;        // bytes a transport carries at least
constexpr int32_t NET_DATAGRAM_HEADER = 8;         // u32 kind and number, u32 payload length
constexpr int32_t NET_DGRECORD_HEADER = 4;         // u8 type, u8 parameter, u16 payload bits
constexpr int32_t NET_DGWRITE_SIZE = 8000;         // bytes of the writing buffer
constexpr int32_t NET_DGRELIABLE_MAXBITS = 64000;  // a reliable record is shorter, header included
constexpr uint32_t NET_DGSEQUENCED = 0x80000000u;  // bit 31 of the header word
constexpr uint32_t NET_DGPROTOCOL_VERSION = 2;
constexpr int NET_DGACK_MAX = 16;                  // ids in one acknowledgement
constexpr int NET_DGREASON_MAX = 255;              // characters of a reject reason

// Record types.
constexpr int NET_DGM_ACK = 0x10;
constexpr int NET_DGM_KEEPALIVE = 0x20;
constexpr int NET_DGM_CONTROL = 0x30;

// Control subtypes.
constexpr int NET_DGC_REQUEST = 1;
constexpr int NET_DGC_ACCEPT = 2;
constexpr int NET_DGC_REJECT = 3;

// One message record as found in a payload.
struct DatagramRecord {
    int type;
    int parameter;
    int32_t bits;            // B: payload length in bits
    const uint8_t* record;   // the 4-byte header
    const uint8_t* payload;
    int32_t size;            // 4 + ceil(B / 8)
};

// Bytes of a record whose payload has bits bits.
constexpr int32_t datagram_record_size(int32_t bits) { return NET_DGRECORD_HEADER + (bits + 7) / 8; }

// Checks the header of a received datagram: true when its length agrees with
// its L (else prints the bad-length message). id gets the header word.
bool datagram_check(const uint8_t* data, int32_t length, uint32_t* id);

// The record at *offset of a payload of length bytes: 1 with the record and
// *offset behind it, 0 at the end, -1 when the record overruns the payload.
int datagram_next_record(const uint8_t* payload, int32_t length, int32_t* offset, DatagramRecord* record);

// Attaches a writer to bytes and writes a record header with B still 0;
// the writer's error code when the header does not fit.
int datagram_record_begin(NetStreamOut* writer, uint8_t* bytes, int32_t capacity, int type, int parameter);
// Writes B (total bits minus the header) into a closed record.
void datagram_record_close(uint8_t* record, int32_t total_bits);
