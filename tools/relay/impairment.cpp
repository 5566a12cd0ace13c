#include "tools/relay/impairment.h"

#include <algorithm>

uint64_t ImpairmentRandom::next()
{
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double ImpairmentRandom::uniform()
{
    return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0);
}

namespace {

bool later(const Impairment::Delivery& a, const Impairment::Delivery& b)
{
    return a.time != b.time ? a.time > b.time : a.order > b.order;
}

} // namespace

Impairment::Impairment(const ImpairmentSettings& settings) : settings_(settings), random_(settings.seed) {}

void Impairment::queue(const uint8_t* data, int32_t length, double time, int tag)
{
    Delivery d{time, order_++, std::vector<uint8_t>(data, data + length), tag};
    queue_.push_back(std::move(d));
    std::push_heap(queue_.begin(), queue_.end(), later);
}

void Impairment::send(const uint8_t* data, int32_t length, double now, int tag)
{
    ++sent;
    if (random_.uniform() < settings_.loss) {
        ++lost;
        return;
    }
    const int copies = random_.uniform() < settings_.duplicate ? 2 : 1;
    if (copies == 2) {
        ++duplicated;
    }
    for (int i = 0; i < copies; ++i) {
        double time = now + settings_.delay + settings_.jitter * random_.uniform();
        if (random_.uniform() < settings_.reorder) {
            ++reordered;
            time += settings_.reorder_delay;
        }
        queue(data, length, time, tag);
    }
}

bool Impairment::take(double now, Delivery* out)
{
    if (queue_.empty() || queue_.front().time > now) {
        return false;
    }
    std::pop_heap(queue_.begin(), queue_.end(), later);
    *out = std::move(queue_.back());
    queue_.pop_back();
    return true;
}

double Impairment::next_time() const
{
    return queue_.empty() ? -1.0 : queue_.front().time;
}
