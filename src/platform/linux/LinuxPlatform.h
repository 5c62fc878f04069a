#pragma once
// The Linux platform table: the engine thread (run loop and main queue),
// serial queues, clocks, display clocks, event taps over evdev/uinput, access
// checks, and the stand-ins still to be filled by the desktop integration.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/linux/DeviceHub.h"
#include "platform/linux/DisplayClock.h"
#include "platform/linux/LinuxEventTaps.h"
#include "platform/linux/LoopThread.h"

namespace gm::platform::linux_input {

class MonotonicClock final : public Clock {
public:
    double mediaTime() const override;
    double wallTime() const override;

private:
    mutable std::atomic<double> latest_{0};
};

class StdoutConsole final : public Console {
public:
    void print(std::string_view line) override;
};

// No application list yet: the desktop integration brings it.
class StandInWorkspace final : public Workspace {
public:
    AppRef applicationWithProcessIdentifier(ProcessID) const override { return nullptr; }
    AppRef applicationWithBundleIdentifier(std::string_view) const override { return nullptr; }
    std::vector<AppRef> runningApplications() const override { return {}; }
    AppRef frontmostApplication() const override { return nullptr; }
    std::unique_ptr<Subscription> observeActivations(std::function<void()>) override { return nullptr; }
    bool onScreenWindows(std::vector<WindowInfo>& out) const override {
        out.clear();
        return false;
    }
    std::optional<std::string> mainBundleIdentifier() const override { return std::string("glidemark"); }
};

class LinuxInputAccess final : public InputAccess {
public:
    explicit LinuxInputAccess(DeviceBackend& backend) : backend_(backend) {}
    bool isTrusted() const override { return backend_.accessible(); }
    // Installs the udev rule (and the uinput module list) through pkexec.
    void requestAccess() override;

private:
    DeviceBackend& backend_;
};

class LinuxPlatform : public Platform {
public:
    // The real system: udev for discovery, evdev and uinput for the devices,
    // settings under $XDG_CONFIG_HOME/glidemark, log lines to the journal.
    LinuxPlatform();
    // Any device layer (the tests give fakes); user defaults in memory.
    LinuxPlatform(std::unique_ptr<DeviceBackend> backend, std::unique_ptr<DeviceMonitor> monitor,
                  DeviceHub::Options options = {});
    ~LinuxPlatform() override;

    Clock& clock() override { return clock_; }
    Workspace& workspace() override { return workspaceOverride_ ? *workspaceOverride_ : workspace_; }
    EventTaps& eventTaps() override { return taps_; }
    RunLoop& currentRunLoop() override { return runLoop_; }
    DispatchQueue& mainQueue() override { return mainQueue_; }
    std::unique_ptr<DispatchQueue> createSerialQueue(const std::string& label) override;
    Displays& displays() override { return displays_; }
    InputAccess& inputAccess() override { return access_; }
    Console& console() override { return console_; }
    UserDefaults& userDefaults() override { return *defaults_; }
    Logger& logger() override { return log(); }

    // What the desktop knows, plugged in before the engine is made: its
    // applications, its screens, the target and location of wheel events, and
    // modifier-key changes (from any thread).
    void setWorkspace(Workspace* workspace) { workspaceOverride_ = workspace; }
    void setScreens(std::function<void(std::vector<Screen>&)> provider) { displays_.setProvider(std::move(provider)); }
    void setRefreshPhase(std::function<std::optional<std::int64_t>(DisplayID)> phase) {
        displays_.setRefreshPhase(std::move(phase));
    }
    void setPointerTarget(std::function<void(FieldTableEvent&)> annotate) { taps_.setScrollAnnotator(std::move(annotate)); }
    void modifierChanged(EventRef event) { taps_.flagsChanged(std::move(event)); }

    // Runs `block` on the engine thread (the shell starts and stops the engine this way).
    void runOnEngineThread(std::function<void()> block) { engine_.post(std::move(block)); }
    void runOnEngineThreadAndWait(const std::function<void()>& block) { engine_.runSync(block); }
    // Starts reading the mice (also done when the first tap is made).
    void startInput();
    // Gives every mouse back and stops the engine thread; idempotent.
    void shutdown();
    DeviceHub& hub() { return *hub_; }
    LoopThread& engineLoop() { return engine_; }

private:
    class MainQueue final : public DispatchQueue {
    public:
        explicit MainQueue(LoopThread& loop) : loop_(loop) {}
        void async(std::function<void()> block) override { loop_.post(std::move(block)); }
        void asyncAfter(double seconds, std::function<void()> block) override {
            loop_.postAfter(seconds, std::move(block));
        }

    private:
        LoopThread& loop_;
    };

    std::unique_ptr<DeviceBackend> backend_;
    std::unique_ptr<DeviceMonitor> monitor_;
    std::unique_ptr<DeviceHub> hub_;
    MonotonicClock clock_;
    StandInWorkspace workspace_;
    Workspace* workspaceOverride_ = nullptr;
    DefaultDisplays displays_;
    StdoutConsole console_;
    std::unique_ptr<UserDefaults> defaults_ = std::make_unique<MemoryUserDefaults>();
    std::unique_ptr<LogSink> systemLog_;
    LinuxInputAccess access_;
    LoopThread engine_{"gm-engine"};
    EngineRunLoop runLoop_{engine_};
    MainQueue mainQueue_{engine_};
    LinuxEventTaps taps_;
    std::mutex mutex_;
    bool shutDown_ = false;
};

}  // namespace gm::platform::linux_input
