#include "core/kheap_max_tree.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t LINE = 64; // the storage starts on a cache line

uint32_t round_up(uint32_t n, uint32_t to) { return (n + to - 1) / to * to; }

} // namespace

template <typename T>
int KHeapMaxTree<T>::init(uint32_t leaves)
{
    release();
    leaves_ = leaves;
    size_t total = 0;
    uint32_t count = round_up(leaves < 1 ? 1 : leaves, FAN);
    for (;;) {
        count_[levels_++] = count;
        total += count;
        if (count <= TOP_NODES * FAN || levels_ == MAX_LEVELS) {
            break;
        }
        count = round_up(count / FAN, FAN);
    }
    // Every level is whole nodes, so every node is aligned.
    storage_ = static_cast<T*>(std::aligned_alloc(LINE, round_up(static_cast<uint32_t>(total * sizeof(T)), LINE)));
    if (storage_ == nullptr) {
        release();
        return 0;
    }
    std::memset(storage_, 0, total * sizeof(T));
    T* next = storage_;
    for (int l = 0; l < levels_; ++l) {
        level_[l] = next;
        next += count_[l];
    }
    return 1;
}

template <typename T>
void KHeapMaxTree<T>::release()
{
    std::free(storage_);
    storage_ = nullptr;
    for (int l = 0; l < MAX_LEVELS; ++l) {
        level_[l] = nullptr;
        count_[l] = 0;
    }
    leaves_ = 0;
    levels_ = 0;
}

template <typename T>
bool KHeapMaxTree<T>::consistent() const
{
    for (int l = 1; l < levels_; ++l) {
        for (uint32_t i = 0; i < count_[l]; ++i) {
            const T expected = i < count_[l - 1] / FAN ? KHeapNode<T>(level_[l - 1] + i * FAN).max() : T{0};
            if (level_[l][i] != expected) {
                return false;
            }
        }
    }
    for (uint32_t i = leaves_; i < count_[0]; ++i) {
        if (level_[0][i] != 0) {
            return false;
        }
    }
    return true;
}

template class KHeapMaxTree<uint8_t>;
template class KHeapMaxTree<uint16_t>;
