#include "platform/sim/SimDesktop.h"

namespace gm::platform::sim {

namespace {

class SimQueue final : public DispatchQueue {
public:
    explicit SimQueue(Scheduler& scheduler) : scheduler_(scheduler) {}
    void async(std::function<void()> block) override { scheduler_.scheduleNow(std::move(block)); }
    void asyncAfter(double seconds, std::function<void()> block) override {
        scheduler_.schedule(scheduler_.now() + seconds, std::move(block));
    }

private:
    Scheduler& scheduler_;
};

}  // namespace

SimDesktop::SimDesktop()
    : mainQueue_(std::make_unique<SimQueue>(scheduler_)),
      taps_(runLoop_, [this] { return scheduler_.now(); }, [this] { return access_.trusted; }),
      workspace_(*mainQueue_),
      logger_(std::string(kDefaultSubsystem), "general", &logSink_) {}

SimDesktop::~SimDesktop() = default;

std::unique_ptr<DispatchQueue> SimDesktop::createSerialQueue(const std::string&) {
    return std::make_unique<SimQueue>(scheduler_);
}

std::shared_ptr<FieldTableEvent> SimDesktop::makeScroll(double pointY, double pointX, std::int64_t lineY,
                                                        std::int64_t lineX, double fixedY, double fixedX) {
    auto e = std::make_shared<FieldTableEvent>(EventType::ScrollWheel);
    e->setDoubleValue(field::scrollPointDeltaAxis1, pointY);
    e->setDoubleValue(field::scrollPointDeltaAxis2, pointX);
    e->setIntegerValue(field::scrollDeltaAxis1, lineY);
    e->setIntegerValue(field::scrollDeltaAxis2, lineX);
    e->setDoubleValue(field::scrollFixedPtDeltaAxis1, fixedY);
    e->setDoubleValue(field::scrollFixedPtDeltaAxis2, fixedX);
    e->setIntegerValue(field::targetProcessID, 1);
    return e;
}

}  // namespace gm::platform::sim
