#pragma once
// A seeded model of a bad network for datagrams: loss, duplication, delay
// with jitter and reordering. The relay tool applies it to frames between
// two interfaces; tests apply it to an in-memory transport.
#include <cstdint>
#include <vector>

struct ImpairmentSettings {
    double loss = 0.0;        // probability that a datagram vanishes
    double duplicate = 0.0;   // probability that it arrives twice
    double reorder = 0.0;     // probability that it is held back by reorder_delay
    double delay = 0.0;       // seconds every datagram takes
    double jitter = 0.0;      // extra seconds, uniform in [0, jitter)
    double reorder_delay = 0.02;
    uint64_t seed = 1;
};

// A small, fast, seeded generator (splitmix64), the same on every machine.
class ImpairmentRandom {
public:
    explicit ImpairmentRandom(uint64_t seed) : state_(seed) {}
    uint64_t next();
    double uniform(); // [0, 1)

private:
    uint64_t state_;
};

class Impairment {
public:
    struct Delivery {
        double time; // when it arrives
        uint64_t order;
        std::vector<uint8_t> bytes;
        int tag; // the caller's: where it goes
    };

    explicit Impairment(const ImpairmentSettings& settings);

    // Takes one datagram sent at now: 0, 1 or 2 copies are queued.
    void send(const uint8_t* data, int32_t length, double now, int tag);
    // The next datagram due at now, in arrival order; false when none.
    bool take(double now, Delivery* out);
    // Arrival time of the next queued datagram, or a negative value.
    double next_time() const;
    int64_t queued() const { return static_cast<int64_t>(queue_.size()); }

    int64_t sent = 0;
    int64_t lost = 0;
    int64_t duplicated = 0;
    int64_t reordered = 0;

private:
    void queue(const uint8_t* data, int32_t length, double time, int tag);

    ImpairmentSettings settings_;
    ImpairmentRandom random_;
    std::vector<Delivery> queue_; // a heap ordered by time, then order
    uint64_t order_ = 0;
};
