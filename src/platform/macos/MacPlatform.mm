#include "platform/macos/MacPlatform.h"

#include "platform/macos/MacDisplays.h"
#include "platform/macos/MacEventTaps.h"
#include "platform/macos/MacServices.h"
#include "platform/macos/MacWorkspace.h"
#include "platform/macos/RunLoopThread.h"

namespace gm::platform::macos {

struct MacPlatform::Parts {
    MacClock clock;
    MacWorkspace workspace;
    MacEventTaps taps;
    MacDisplays displays;
    MacInputAccess access;
    StdoutConsole console;
    MacUserDefaults defaults;
    OsLogSink systemLog;
    RunLoopThread engine{"gm-engine"};
    MacRunLoop runLoop{engine};
    RunLoopQueue mainQueue{engine};
};

MacPlatform::MacPlatform() : parts_(std::make_unique<Parts>()) { log().setSink(&parts_->systemLog); }

MacPlatform::~MacPlatform() {
    shutdown();
    log().setSink(&stderrLogSink());
}

Clock& MacPlatform::clock() { return parts_->clock; }
Workspace& MacPlatform::workspace() { return parts_->workspace; }
EventTaps& MacPlatform::eventTaps() { return parts_->taps; }
RunLoop& MacPlatform::currentRunLoop() { return parts_->runLoop; }
DispatchQueue& MacPlatform::mainQueue() { return parts_->mainQueue; }
std::unique_ptr<DispatchQueue> MacPlatform::createSerialQueue(const std::string& label) {
    return makeSerialQueue(label);
}
Displays& MacPlatform::displays() { return parts_->displays; }
InputAccess& MacPlatform::inputAccess() { return parts_->access; }
Console& MacPlatform::console() { return parts_->console; }
UserDefaults& MacPlatform::userDefaults() { return parts_->defaults; }
Logger& MacPlatform::logger() { return log(); }

void MacPlatform::runOnEngineThread(std::function<void()> block) { parts_->engine.post(std::move(block)); }

void MacPlatform::runOnEngineThreadAndWait(const std::function<void()>& block) { parts_->engine.runSync(block); }

void MacPlatform::shutdown() { parts_->engine.shutdown(); }

}  // namespace gm::platform::macos
