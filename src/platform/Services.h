#pragma once
// The services the engine asks of the platform. Each backend (sim, linux,
// later macos) implements them; the engine and the settings never include a
// backend header.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Event.h"
#include "platform/Geometry.h"

namespace gm::platform {

// ---- clocks -----------------------------------------------------------------
class Clock {
public:
    virtual ~Clock() = default;
    virtual double mediaTime() const = 0;  // monotonic seconds
    virtual double wallTime() const = 0;   // seconds since 1970
};

// ---- queues -----------------------------------------------------------------
// A serial queue: blocks run one at a time, in the order they were queued.
class DispatchQueue {
public:
    virtual ~DispatchQueue() = default;
    virtual void async(std::function<void()> block) = 0;
    virtual void asyncAfter(double seconds, std::function<void()> block) = 0;
};

// ---- run loop, timers, event taps ------------------------------------------
class RunLoopSource {
public:
    virtual ~RunLoopSource() = default;
};

class Timer {
public:
    virtual ~Timer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

class RunLoop {
public:
    virtual ~RunLoop() = default;
    virtual bool containsSource(const RunLoopSource& source) const = 0;
    virtual void addSource(const std::shared_ptr<RunLoopSource>& source) = 0;
    virtual void removeSource(const RunLoopSource& source) = 0;
    // The timer holds the block; the run loop keeps a repeating timer alive until it is invalidated.
    virtual std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> block) = 0;
};

enum class TapLocation : std::uint32_t { HID = 0, Session = 1, AnnotatedSession = 2 };
enum class TapPlacement : std::uint32_t { HeadInsert = 0, TailAppend = 1 };
enum class TapOptions : std::uint32_t { Default = 0, ListenOnly = 1 };

struct TapProxyTag;
using TapProxy = TapProxyTag*;

// Returns the event to let it through (possibly changed in place) or null to swallow it.
using TapCallback = EventRef (*)(TapProxy proxy, EventType type, const EventRef& event, void* userInfo);

class EventTap {
public:
    virtual ~EventTap() = default;
    virtual void enable(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    virtual std::shared_ptr<RunLoopSource> createRunLoopSource() = 0;
};

struct TapSpec {
    TapLocation location = TapLocation::AnnotatedSession;
    TapPlacement placement = TapPlacement::HeadInsert;
    TapOptions options = TapOptions::Default;
    std::uint64_t mask = 0;
    TapCallback callback = nullptr;
    void* userInfo = nullptr;
};

class EventTaps {
public:
    virtual ~EventTaps() = default;
    // Null when the tap cannot be created (typically: no access to input).
    virtual std::shared_ptr<EventTap> createTap(const TapSpec& spec) = 0;
    // Re-enters the event into the stream right after the tap behind the proxy.
    virtual void postEvent(TapProxy proxy, const EventRef& event) = 0;
    // Whether postEvent may be called from any thread at any time. Where it
    // may, the poster posts from the frame itself rather than through the main
    // queue, so a frame wakes no other thread.
    virtual bool postsFromAnyThread() const { return false; }
};

// ---- screens and display clocks ---------------------------------------------
using DisplayID = std::uint32_t;

struct Screen {
    Rect frame;                          // global display coordinates
    std::optional<DisplayID> displayID;  // absent when the system gives no number
    double refreshRate = 60.0;
};

using DisplayLinkCallback = void (*)(void* userInfo);

// Calls its callback once per refresh of its display, on a thread of its own,
// while running. All four operations are safe from any thread.
class DisplayLink {
public:
    virtual ~DisplayLink() = default;
    virtual void setOutputCallback(DisplayLinkCallback callback, void* userInfo) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

class Displays {
public:
    virtual ~Displays() = default;
    // Fills `out` (reusing its storage) with the screens in the system's order.
    virtual void screens(std::vector<Screen>& out) const = 0;
    // Null when no link can be made for that display.
    virtual std::unique_ptr<DisplayLink> createDisplayLink(DisplayID display) = 0;
};

// ---- workspace ----------------------------------------------------------------
using ProcessID = std::int32_t;

enum class ActivationPolicy { Regular, Accessory, Prohibited };

struct RunningApplication {
    ProcessID processIdentifier = 0;
    std::optional<std::string> bundleIdentifier;
    std::string localizedName;
    std::optional<std::string> executablePath;
    ActivationPolicy activationPolicy = ActivationPolicy::Regular;
};

using AppRef = std::shared_ptr<const RunningApplication>;

// One entry of the on-screen window list. `isDictionary` false models an entry
// of an unexpected shape, which readers must skip without failing.
struct WindowInfo {
    bool isDictionary = true;
    std::optional<std::string> name;
};

class Subscription {
public:
    virtual ~Subscription() = default;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    virtual AppRef applicationWithProcessIdentifier(ProcessID pid) const = 0;
    // The first of the running applications with that bundle identifier; a backend
    // with a faster way to ask overrides this search of the list.
    virtual AppRef applicationWithBundleIdentifier(std::string_view bundleIdentifier) const {
        for (const auto& app : runningApplications())
            if (app->bundleIdentifier && *app->bundleIdentifier == bundleIdentifier) return app;
        return nullptr;
    }
    virtual std::vector<AppRef> runningApplications() const = 0;
    virtual AppRef frontmostApplication() const = 0;
    // The block runs on the main queue after the frontmost application changed.
    virtual std::unique_ptr<Subscription> observeActivations(std::function<void()> block) = 0;
    // False when the list cannot be obtained.
    virtual bool onScreenWindows(std::vector<WindowInfo>& out) const = 0;
    // This program's own bundle identifier.
    virtual std::optional<std::string> mainBundleIdentifier() const = 0;
};

// ---- access to input -----------------------------------------------------------
class InputAccess {
public:
    virtual ~InputAccess() = default;
    // Whether event taps can be created right now.
    virtual bool isTrusted() const = 0;
    // Asks the system to offer the user a way to grant access.
    virtual void requestAccess() = 0;
    // Takes the user to where access is granted by hand; where the system has
    // no such place, the same as requestAccess.
    virtual void openSettings() { requestAccess(); }
};

// ---- developer output --------------------------------------------------------
// Where the engine's plain prints go (standard output on a real system).
class Console {
public:
    virtual ~Console() = default;
    virtual void print(std::string_view line) = 0;
};

}  // namespace gm::platform
