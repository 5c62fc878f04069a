#pragma once
// The (line, point, fixed-point) fields of one axis, as an event holds them.
#include <cstdint>
#include <tuple>

#include "platform/Event.h"

namespace gm::engine {

using AxisFields = std::tuple<std::int64_t, double, double>;

inline AxisFields yFields(const platform::FieldTableEvent& e) {
    using namespace platform::field;
    return {e.integerValue(scrollDeltaAxis1), e.doubleValue(scrollPointDeltaAxis1), e.doubleValue(scrollFixedPtDeltaAxis1)};
}
inline AxisFields xFields(const platform::FieldTableEvent& e) {
    using namespace platform::field;
    return {e.integerValue(scrollDeltaAxis2), e.doubleValue(scrollPointDeltaAxis2), e.doubleValue(scrollFixedPtDeltaAxis2)};
}

}  // namespace gm::engine
