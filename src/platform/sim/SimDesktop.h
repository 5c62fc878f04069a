#pragma once
// A deterministic simulated desktop in virtual time, for tests and for
// `glidemarkctl replay`. Its rules, which both rely on:
//
// - One scheduler runs every task in order of (due time, creation order).
// - Media clock = t (virtual seconds from 0); wall clock = 1700000000.0 + t,
//   so caches keyed on wall time behave as on a real machine from the start.
// - Serial queues and the main queue run their blocks as tasks of that
//   scheduler, at the current virtual time, in the order they were queued;
//   a block queued after a delay d at time s runs at s + d.
// - There is one run loop (the main one). A repeating timer of interval i
//   started at s fires at s + i, s + 2i, ...; a one-shot timer at s + i.
// - A display link for a screen of refresh rate hz, started at s, ticks at the
//   times k / hz for the first whole k with k / hz > s and every k after,
//   until it is stopped; stopping takes effect at once.
// - Events are tables of fields (FieldTableEvent). An injected event passes the
//   enabled taps whose source is on the run loop (head-inserted ones newest
//   first, then tail-appended ones oldest first); what becomes of each scroll
//   event (pass, drop, untapped) and every event posted through a tap proxy
//   is recorded, with the virtual time, in the order it happened.
// - Taps can be created only while input access is granted (`setTrusted`).
// - Applications, the frontmost application, on-screen windows and screens
//   are whatever the test sets.
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/sim/Scheduler.h"
#include "platform/sim/SimDisplays.h"
#include "platform/sim/SimEventTaps.h"
#include "platform/sim/SimRunLoop.h"
#include "platform/sim/SimWorkspace.h"

namespace gm::platform::sim {

inline constexpr double kWallClockEpoch = 1700000000.0;

class SimDesktop final : public Platform {
public:
    SimDesktop();
    ~SimDesktop() override;

    // Platform
    Clock& clock() override { return clock_; }
    Workspace& workspace() override { return workspace_; }
    EventTaps& eventTaps() override { return taps_; }
    RunLoop& currentRunLoop() override { return runLoop_; }
    DispatchQueue& mainQueue() override { return *mainQueue_; }
    std::unique_ptr<DispatchQueue> createSerialQueue(const std::string& label) override;
    Displays& displays() override { return displays_; }
    InputAccess& inputAccess() override { return access_; }
    Console& console() override { return console_; }
    UserDefaults& userDefaults() override { return defaults_; }
    Logger& logger() override { return logger_; }

    // Simulation controls
    Scheduler& scheduler() { return scheduler_; }
    double now() const { return scheduler_.now(); }
    void runUntil(double t) { scheduler_.runUntil(t); }
    void advance(double seconds) { scheduler_.runUntil(scheduler_.now() + seconds); }
    SimWorkspace& simWorkspace() { return workspace_; }
    SimEventTaps& simTaps() { return taps_; }
    SimRunLoop& simRunLoop() { return runLoop_; }
    SimDisplays& simDisplays() { return displays_; }
    MemoryUserDefaults& memoryDefaults() { return defaults_; }
    MemoryLogSink& logLines() { return logSink_; }
    // Route log lines elsewhere (the replay tool sends them to standard error).
    void setLogSink(LogSink* sink) { logger_.setSink(sink ? sink : &logSink_); }

    void setTrusted(bool trusted) { access_.trusted = trusted; }

    // Lines the engine printed; when `echo` is set they are also passed on.
    const std::vector<std::string>& printed() const { return console_.lines; }
    void setConsoleEcho(std::function<void(std::string_view)> echo) { console_.echo = std::move(echo); }

    // Convenience: a scroll-wheel event with the given fields.
    static std::shared_ptr<FieldTableEvent> makeScroll(double pointY, double pointX = 0, std::int64_t lineY = 0,
                                                       std::int64_t lineX = 0, double fixedY = 0, double fixedX = 0);

private:
    class SimClock final : public Clock {
    public:
        explicit SimClock(const Scheduler& s) : scheduler_(s) {}
        double mediaTime() const override { return scheduler_.now(); }
        double wallTime() const override { return kWallClockEpoch + scheduler_.now(); }

    private:
        const Scheduler& scheduler_;
    };
    class SimConsole final : public Console {
    public:
        void print(std::string_view line) override {
            lines.emplace_back(line);
            if (echo) echo(line);
        }
        std::vector<std::string> lines;
        std::function<void(std::string_view)> echo;
    };
    class SimAccess final : public InputAccess {
    public:
        bool isTrusted() const override { return trusted; }
        void requestAccess() override {}
        bool trusted = true;
    };

    Scheduler scheduler_;
    SimClock clock_{scheduler_};
    std::unique_ptr<DispatchQueue> mainQueue_;
    SimRunLoop runLoop_{scheduler_};
    SimAccess access_;
    SimEventTaps taps_;
    SimDisplays displays_{scheduler_};
    SimWorkspace workspace_;
    SimConsole console_;
    MemoryUserDefaults defaults_;
    MemoryLogSink logSink_;
    Logger logger_;
};

}  // namespace gm::platform::sim
