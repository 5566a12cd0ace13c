#include "net/datagram_link.h"

#include <chrono>
#include <cstring>

namespace {

// Differs from run to run (the clock, and where the program was loaded), so
// that nobody can choose source addresses that all fall into one bucket.
uint64_t hash_seed()
{
    static const uint64_t seed =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) * 0xD6E8FEB86659FD93u ^
        reinterpret_cast<uintptr_t>(&seed);
    return seed;
}

} // namespace

void DatagramLinkQueue::push(DatagramLink* link)
{
    link->queue = this;
    link->queue_next = nullptr;
    link->queue_previous = last;
    if (last != nullptr) {
        last->queue_next = link;
    } else {
        first = link;
    }
    last = link;
    ++count;
}

void DatagramLinkQueue::remove(DatagramLink* link)
{
    if (link->queue != this) {
        return;
    }
    (link->queue_previous != nullptr ? link->queue_previous->queue_next : first) = link->queue_next;
    (link->queue_next != nullptr ? link->queue_next->queue_previous : last) = link->queue_previous;
    link->queue = nullptr;
    link->queue_next = nullptr;
    link->queue_previous = nullptr;
    --count;
}

size_t DatagramAddressHash::operator()(const NetAddress& address) const
{
    uint64_t words[sizeof(NetAddress) / 8];
    std::memcpy(words, &address, sizeof words);
    uint64_t h = hash_seed();
    for (const uint64_t w : words) {
        h = (h ^ w) * 0x9E3779B97F4A7C15u;
        h ^= h >> 29;
    }
    return static_cast<size_t>(h);
}

bool DatagramAddressSame::operator()(const NetAddress& a, const NetAddress& b) const
{
    return std::memcmp(&a, &b, sizeof(NetAddress)) == 0;
}
