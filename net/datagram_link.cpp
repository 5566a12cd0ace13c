#include "net/datagram_link.h"

#include <cstring>
#include <random>

namespace {

// Seeded per run, so that nobody can choose source addresses that all fall into one bucket.
uint64_t hash_seed()
{
    static const uint64_t seed = [] {
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) ^ device();
    }();
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
