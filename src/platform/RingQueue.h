#pragma once
// First in, first out, over a ring of slots that are reused: once the ring is
// as large as the longest queue so far, queuing allocates nothing. A full ring
// doubles, keeping the order.
#include <cstddef>
#include <utility>
#include <vector>

namespace gm::platform {

template <typename T>
class RingQueue {
public:
    explicit RingQueue(std::size_t capacity = 64) : slots_(capacity > 0 ? capacity : 1) {}

    bool empty() const { return count_ == 0; }

    void push(T value) {
        if (count_ == slots_.size()) {
            std::vector<T> larger(slots_.size() * 2);
            for (std::size_t i = 0; i < count_; ++i) larger[i] = std::move(slots_[(head_ + i) % slots_.size()]);
            slots_ = std::move(larger);
            head_ = 0;
        }
        slots_[(head_ + count_) % slots_.size()] = std::move(value);
        ++count_;
    }

    // The oldest value; the queue must not be empty.
    T pop() {
        T out = std::move(slots_[head_]);
        head_ = (head_ + 1) % slots_.size();
        --count_;
        return out;
    }

private:
    std::vector<T> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

}  // namespace gm::platform
