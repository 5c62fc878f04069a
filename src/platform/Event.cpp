#include "platform/Event.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <new>

namespace gm::platform {

std::int64_t saturatingToInt64(double value) {
    if (std::isnan(value)) return 0;
    // 2^63 is exactly representable; anything at or above it saturates.
    constexpr double kTwo63 = 9223372036854775808.0;
    if (value >= kTwo63) return std::numeric_limits<std::int64_t>::max();
    if (value < -kTwo63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::int64_t FieldTableEvent::integerValue(EventField field) const {
    return isKnownField(field) ? integers_[field] : 0;
}

double FieldTableEvent::doubleValue(EventField field) const {
    return isKnownField(field) ? doubles_[field] : 0.0;
}

void FieldTableEvent::setIntegerValue(EventField field, std::int64_t value) {
    if (!isKnownField(field)) return;
    integers_[field] = value;
    doubles_[field] = static_cast<double>(value);
}

void FieldTableEvent::setDoubleValue(EventField field, double value) {
    if (!isKnownField(field)) return;
    doubles_[field] = value;
    integers_[field] = saturatingToInt64(value);
}

namespace {

// Copies are made once per animation frame and live until the frame is
// written: a few blocks of one size, kept for reuse, spare the frame an
// allocation. Blocks of any other size (there are none today) go to the heap.
class BlockPool {
public:
    static BlockPool& shared() {
        static BlockPool* pool = new BlockPool;  // never destroyed: copies may outlive static destruction
        return *pool;
    }
    void* take(std::size_t size) {
        {
            std::lock_guard lock(mutex_);
            if (size == blockSize_ && count_ > 0) return blocks_[--count_];
            if (blockSize_ == 0) blockSize_ = size;
        }
        return ::operator new(size);
    }
    void give(void* block, std::size_t size) {
        {
            std::lock_guard lock(mutex_);
            if (size == blockSize_ && count_ < kKept) {
                blocks_[count_++] = block;
                return;
            }
        }
        ::operator delete(block);
    }

private:
    static constexpr std::size_t kKept = 16;
    std::mutex mutex_;
    std::size_t blockSize_ = 0;
    void* blocks_[kKept] = {};
    std::size_t count_ = 0;
};

template <typename T>
struct PoolAllocator {
    using value_type = T;
    PoolAllocator() = default;
    template <typename U>
    PoolAllocator(const PoolAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(BlockPool::shared().take(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { BlockPool::shared().give(p, n * sizeof(T)); }
    template <typename U>
    bool operator==(const PoolAllocator<U>&) const { return true; }
};

}  // namespace

std::shared_ptr<Event> FieldTableEvent::copy() const {
    return std::allocate_shared<FieldTableEvent>(PoolAllocator<FieldTableEvent>{}, *this);
}

}  // namespace gm::platform
