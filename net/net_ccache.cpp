#include "net/net_ccache.h"

#include "core/kassert.h"
#include "core/print.h"
#include "net/net_defs.h"
#include "net/net_cache_widths.h"
#include "net/net_stream_in.h"

#include <cstring>
#include <new>

NetCCache::~NetCCache()
{
    clear();
}

void NetCCache::clear()
{
    delete[] data;
    data = nullptr;
    blocks = 0;
    block_size = 0;
}

int NetCCache::create(int is_binary, int32_t n, int32_t len)
{
    K_ASSERT(n > 0);
    K_ASSERT(len > 0);
    clear();
    const int64_t bytes = (static_cast<int64_t>(n) + 1) * len;
    if (bytes > INT32_MAX) {
        return NET_NO_RESOURCE;
    }
    data = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]();
    if (data == nullptr) {
        return NET_NO_RESOURCE;
    }
    blocks = n;
    block_size = len;
    binary = is_binary;
    return NET_OK;
}

void NetCCache::set(int32_t index, const void* value)
{
    K_ASSERT(index >= 0 && index < blocks);
    K_ASSERT(value);
    uint8_t* const b = data + static_cast<int64_t>(index) * block_size;
    if (binary) {
        std::memcpy(b, value, static_cast<size_t>(block_size));
        return;
    }
    const size_t length = std::strlen(static_cast<const char*>(value));
    K_ASSERT(length < static_cast<size_t>(block_size));
    std::memcpy(b, value, length + 1);
}

void NetCCache::get(int32_t index, void* destination) const
{
    K_ASSERT(index >= 0 && index < blocks);
    K_ASSERT(destination);
    const uint8_t* const b = data + static_cast<int64_t>(index) * block_size;
    if (binary) {
        std::memcpy(destination, b, static_cast<size_t>(block_size));
        return;
    }
    const void* const end = std::memchr(b, 0, static_cast<size_t>(block_size));
    K_ASSERT(end);
    std::memcpy(destination, b, static_cast<size_t>(static_cast<const uint8_t*>(end) - b) + 1);
}

int NetCCache::read(NetStreamIn* stream, void* destination, int ibits, int dbits)
{
    K_ASSERT(stream);
    K_ASSERT(destination);
    const int widths = net_cache_check_widths("NetCCache", binary, blocks, block_size, ibits, dbits);
    if (widths != NET_OK) {
        return widths;
    }
    int r = NET_OK;
    const uint32_t follows = stream->read_bits(1);
    const uint32_t index = stream->read_bits(ibits);
    uint8_t* const scratch = data + static_cast<int64_t>(blocks) * block_size;
    if (stream->length() < 0) {
        r = NET_NOTHING;
    } else if (index >= static_cast<uint32_t>(blocks)) {
        r = NET_DAMAGED;
    } else if (follows) {
        r = binary ? stream->read_data(scratch, dbits)
                   : stream->read_string(reinterpret_cast<char*>(scratch), block_size);
    }
    if (r != NET_OK) {
        print_string(P_ERROR, "NetCCache: Can't read");
        return r;
    }
    uint8_t* const b = data + static_cast<int64_t>(index) * block_size;
    if (follows) {
        const size_t bytes = binary ? (static_cast<size_t>(dbits) + 7) / 8 : static_cast<size_t>(block_size);
        std::memcpy(b, scratch, bytes);
    }
    get(static_cast<int32_t>(index), destination);
    return NET_OK;
}
