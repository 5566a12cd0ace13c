#include "net/net_scache.h"

#include "core/compare_nocase.h"
#include "core/kassert.h"
#include "core/print.h"
#include "net/net_cache_widths.h"
#include "net/net_defs.h"
#include "net/net_stream_out.h"

#include <cstring>
#include <new>

NetSCache::~NetSCache()
{
    clear();
}

void NetSCache::clear()
{
    delete[] block;
    delete[] data_area;
    delete[] stamp_area;
    block = nullptr;
    data_area = nullptr;
    stamp_area = nullptr;
    blocks = 0;
    block_length = 0;
    clients = 0;
    head = -1;
}

int NetSCache::create(int32_t n, int32_t c, int32_t len, int is_binary)
{
    K_ASSERT(n > 0);
    K_ASSERT(c > 0);
    K_ASSERT(len > 0);
    clear();
    const int64_t data_bytes = static_cast<int64_t>(n) * len;
    const int64_t stamps = static_cast<int64_t>(n) * c;
    if (data_bytes > INT32_MAX || stamps > INT32_MAX / 4) {
        return NET_NO_RESOURCE;
    }
    block = new (std::nothrow) Block[static_cast<size_t>(n)];
    data_area = new (std::nothrow) uint8_t[static_cast<size_t>(data_bytes)];
    stamp_area = new (std::nothrow) int32_t[static_cast<size_t>(stamps)];
    if (block == nullptr || data_area == nullptr || stamp_area == nullptr) {
        clear();
        return NET_NO_RESOURCE;
    }
    blocks = n;
    clients = c;
    block_length = len;
    binary = is_binary;
    for (int64_t i = 0; i < stamps; ++i) {
        stamp_area[i] = -1;
    }
    for (int32_t i = 0; i < n; ++i) {
        block[i].next = i + 1 < n ? i + 1 : -1;
        block[i].data = nullptr;
        block[i].stamp = stamp_area + static_cast<int64_t>(i) * c;
    }
    head = 0;
    return NET_OK;
}

int NetSCache::reset_client(int32_t client)
{
    if (blocks == 0) {
        return NET_NOT_CONNECTED;
    }
    K_ASSERT(client >= 0 && client < clients);
    for (int32_t i = 0; i < blocks; ++i) {
        block[i].stamp[client] = -1;
    }
    return NET_OK;
}

// Texts that differ only in the case of A-Z share a block.
bool NetSCache::holds(const Block& b, const void* value) const
{
    if (binary) {
        return std::memcmp(b.data, value, static_cast<size_t>(block_length)) == 0;
    }
    return compare_nocase(reinterpret_cast<const char*>(b.data), static_cast<const char*>(value)) == 0;
}

void NetSCache::move_to_head(int32_t index, int32_t previous)
{
    if (previous < 0) {
        return;
    }
    block[previous].next = block[index].next;
    block[index].next = head;
    head = index;
}

int NetSCache::match(int32_t client, int32_t tick, int32_t ctick, const void* value, int* data_needed,
                     int32_t* index)
{
    K_ASSERT(value);
    K_ASSERT(tick >= ctick);
    if (blocks == 0) {
        return NET_NOT_CONNECTED;
    }
    K_ASSERT(client >= 0 && client < clients);
    const char* const text = static_cast<const char*>(value);
    if (!binary && std::strlen(text) >= static_cast<size_t>(block_length)) {
        return NET_MISMATCH;
    }
    int32_t previous = -1;
    int32_t i = head;
    for (;;) {
        Block& b = block[i];
        if (b.data == nullptr || b.next < 0) {
            const bool fresh = b.data == nullptr;
            if (!fresh) {
                if (holds(b, value)) {
                    break;
                }
                print_string(P_DEBUG, "NetSCache: killing last block");
                for (int32_t c = 0; c < clients; ++c) {
                    b.stamp[c] = -1;
                }
            } else {
                b.data = data_area + static_cast<int64_t>(i) * block_length;
            }
            if (binary) {
                std::memcpy(b.data, value, static_cast<size_t>(block_length));
            } else {
                std::memset(b.data, 0, static_cast<size_t>(block_length));
                std::memcpy(b.data, text, std::strlen(text));
            }
            b.stamp[client] = tick;
            move_to_head(i, previous);
            *data_needed = 1;
            *index = i;
            return NET_OK;
        }
        if (holds(b, value)) {
            break;
        }
        previous = i;
        i = b.next;
    }
    // A block that holds the value already.
    Block& b = block[i];
    move_to_head(i, previous);
    // A client never referred to the block needs its data, whatever it confirmed.
    const bool first = b.stamp[client] == -1;
    if (first) {
        b.stamp[client] = tick;
    }
    *data_needed = first || b.stamp[client] > ctick ? 1 : 0;
    *index = i;
    return NET_OK;
}

int NetSCache::write(int32_t client, int32_t tick, int32_t ctick, const void* value, NetStreamOut* stream, int ibits,
                     int dbits)
{
    K_ASSERT(value);
    K_ASSERT(stream);
    const int widths = net_cache_check_widths("NetSCache", binary, blocks, block_length, ibits, dbits);
    if (widths != NET_OK) {
        return widths;
    }
    int needed = 0;
    int32_t index = 0;
    const int r = match(client, tick, ctick, value, &needed, &index);
    if (r != NET_OK) {
        print_string(P_ERROR, "NetSCache: Can't match - not initialized?");
        return r;
    }
    K_ASSERT(index < blocks);
    int w = stream->write_bits(needed ? 1 : 0, 1);
    if (w == 0) {
        w = stream->write_bits(static_cast<uint32_t>(index), ibits);
    }
    if (w == 0 && needed) {
        const uint8_t* const data = block[index].data;
        w = binary ? stream->write_data(data, dbits) : stream->write_string(reinterpret_cast<const char*>(data));
    }
    if (w != 0) {
        print_string(P_ERROR, "NetSCache: Can't write");
        return NET_WRITE_FAILED;
    }
    return NET_OK;
}
