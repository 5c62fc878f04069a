// The macOS backend's numbers, checked where no Mac is needed.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/macos/MacValues.h"

namespace gm::platform::macos {
namespace {

TEST(MacValuesTest, QuartzTypesMapToTheEngineTypesAndNoticesAreRecognised) {
    struct Row { std::uint32_t quartz; EventType ours; bool notice; };
    for (const Row& row : {Row{22, EventType::ScrollWheel, false}, Row{12, EventType::FlagsChanged, false},
                           Row{1, EventType::LeftMouseDown, false}, Row{3, EventType::RightMouseDown, false},
                           Row{2, EventType::Null, false}, Row{0xFFFFFFFEu, EventType::Null, true},
                           Row{0xFFFFFFFFu, EventType::Null, true}}) {
        EXPECT_EQ(eventTypeFromQuartz(row.quartz), row.ours) << row.quartz;
        EXPECT_EQ(isTapDisabledNotice(row.quartz), row.notice) << row.quartz;
    }
}

TEST(MacValuesTest, RefreshRateFallsBackToTheLinkPeriodThenSixtyHertz) {
    struct Row { double mode; std::int64_t value; std::int32_t scale; bool indefinite; double expected; };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Row& row : {Row{120, 1001, 60000, false, 120}, Row{0, 1001, 60000, false, 60000.0 / 1001},
                           Row{0, 1, 120, false, 120}, Row{nan, 1, 120, false, 120},
                           Row{-1, 0, 0, false, 60}, Row{0, 1001, 60000, true, 60}, Row{0, -5, 600, false, 60},
                           Row{0, 1, 1000000, false, 60}, Row{0, 100, 1, false, 60}}) {
        EXPECT_DOUBLE_EQ(refreshRate(row.mode, row.value, row.scale, row.indefinite), row.expected)
            << row.mode << " " << row.value << "/" << row.scale;
    }
}

}  // namespace
}  // namespace gm::platform::macos
