#include "platform/standin/StandInPlatform.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>

namespace gm::platform::standin {

namespace {

class SystemClock final : public Clock {
public:
    double mediaTime() const override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    double wallTime() const override {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    }
};

// A serial queue on a thread of its own; delayed blocks wait their turn in
// due-time order.
class ThreadQueue final : public DispatchQueue {
public:
    ThreadQueue() : worker_([this] { run(); }) {}
    ~ThreadQueue() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }
    void async(std::function<void()> block) override { asyncAfter(0.0, std::move(block)); }
    void asyncAfter(double seconds, std::function<void()> block) override {
        const auto due = std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(std::max(0.0, seconds)));
        {
            std::lock_guard lock(mutex_);
            auto it = blocks_.begin();
            while (it != blocks_.end() && it->due <= due) ++it;
            blocks_.insert(it, {due, std::move(block)});
        }
        wake_.notify_all();
    }

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        std::function<void()> block;
    };
    void run() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            if (blocks_.empty()) {
                wake_.wait(lock);
                continue;
            }
            if (wake_.wait_until(lock, blocks_.front().due) == std::cv_status::no_timeout) continue;
            auto block = std::move(blocks_.front().block);
            blocks_.pop_front();
            lock.unlock();
            block();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Pending> blocks_;
    bool stopping_ = false;
    std::thread worker_;
};

class EmptyWorkspace final : public Workspace {
public:
    AppRef applicationWithProcessIdentifier(ProcessID) const override { return nullptr; }
    AppRef applicationWithBundleIdentifier(std::string_view) const override { return nullptr; }
    std::vector<AppRef> runningApplications() const override { return {}; }
    AppRef frontmostApplication() const override { return nullptr; }
    std::unique_ptr<Subscription> observeActivations(std::function<void()>) override {
        return std::make_unique<Subscription>();
    }
    bool onScreenWindows(std::vector<WindowInfo>& out) const override {
        out.clear();
        return true;
    }
    std::optional<std::string> mainBundleIdentifier() const override { return std::string(kDefaultSubsystem); }
};

class NoTaps final : public EventTaps {
public:
    std::shared_ptr<EventTap> createTap(const TapSpec&) override { return nullptr; }
    void postEvent(TapProxy, const EventRef&) override {}
};

class DeadTimer final : public Timer {
public:
    void invalidate() override { valid_ = false; }
    bool isValid() const override { return valid_; }

private:
    bool valid_ = true;
};

// Holds sources but never runs them: without taps there is nothing to run.
class IdleRunLoop final : public RunLoop {
public:
    bool containsSource(const RunLoopSource& source) const override {
        for (const auto& s : sources_)
            if (s.get() == &source) return true;
        return false;
    }
    void addSource(const std::shared_ptr<RunLoopSource>& source) override { sources_.push_back(source); }
    void removeSource(const RunLoopSource& source) override {
        std::erase_if(sources_, [&](const auto& s) { return s.get() == &source; });
    }
    std::shared_ptr<Timer> scheduleTimer(double, bool, std::function<void()>) override {
        return std::make_shared<DeadTimer>();
    }

private:
    std::vector<std::shared_ptr<RunLoopSource>> sources_;
};

class NoDisplays final : public Displays {
public:
    void screens(std::vector<Screen>& out) const override { out.clear(); }
    std::unique_ptr<DisplayLink> createDisplayLink(DisplayID) override { return nullptr; }
};

// Granted, unless GLIDEMARK_STANDIN_ACCESS=denied asks for a program that has
// to walk through the access flow; a request is then only logged.
class StandInAccess final : public InputAccess {
public:
    bool isTrusted() const override { return !denied_; }
    void requestAccess() override { log().info("Access requested (stand-in: nothing is installed)"); }

private:
    const bool denied_ = [] {
        const char* access = std::getenv("GLIDEMARK_STANDIN_ACCESS");
        return access && std::string_view(access) == "denied";
    }();
};

class StdoutConsole final : public Console {
public:
    void print(std::string_view line) override {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
};

}  // namespace

struct StandInPlatform::Parts {
    SystemClock clock;
    EmptyWorkspace workspace;
    NoTaps taps;
    IdleRunLoop runLoop;
    ThreadQueue mainQueue;
    NoDisplays displays;
    StandInAccess access;
    StdoutConsole console;
    MemoryUserDefaults defaults;
};

StandInPlatform::StandInPlatform() : parts_(std::make_unique<Parts>()) {}
StandInPlatform::~StandInPlatform() = default;

Clock& StandInPlatform::clock() { return parts_->clock; }
Workspace& StandInPlatform::workspace() { return parts_->workspace; }
EventTaps& StandInPlatform::eventTaps() { return parts_->taps; }
RunLoop& StandInPlatform::currentRunLoop() { return parts_->runLoop; }
DispatchQueue& StandInPlatform::mainQueue() { return parts_->mainQueue; }
std::unique_ptr<DispatchQueue> StandInPlatform::createSerialQueue(const std::string&) {
    return std::make_unique<ThreadQueue>();
}
Displays& StandInPlatform::displays() { return parts_->displays; }
InputAccess& StandInPlatform::inputAccess() { return parts_->access; }
Console& StandInPlatform::console() { return parts_->console; }
UserDefaults& StandInPlatform::userDefaults() { return parts_->defaults; }
Logger& StandInPlatform::logger() { return log(); }

}  // namespace gm::platform::standin
