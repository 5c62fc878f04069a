#include "platform/Event.h"

#include <cmath>
#include <limits>
#include <memory_resource>

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
// written: a pool that keeps freed blocks for reuse spares the frame an
// allocation. Never destroyed: copies may outlive static destruction.
std::pmr::memory_resource& copyPool() {
    static auto* pool = new std::pmr::synchronized_pool_resource;
    return *pool;
}

}  // namespace

std::shared_ptr<Event> FieldTableEvent::copy() const {
    return std::allocate_shared<FieldTableEvent>(std::pmr::polymorphic_allocator<FieldTableEvent>(&copyPool()), *this);
}

}  // namespace gm::platform
