#pragma once
// Whether our login session is the one in front (logind's Session.Active): on
// a switch to another user or to a text console the session resigns, and
// events we would post would go to the wrong place.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace gm::platform::linux_desktop {

// What a PropertiesChanged signal of a session says about Active.
struct ActiveChange {
    std::optional<bool> active;  // the new value, when the signal carries it
    bool invalidated = false;    // the value changed but must be read again
};

// Turns readings of Active into transitions. The program starts as if its
// session were active, so a first reading of inactive is a resignation.
class SessionActivity {
public:
    enum class Transition { None, BecameActive, Resigned };
    Transition update(bool active);
    bool active() const { return active_; }

private:
    bool active_ = true;
};

class LogindSession {
public:
    struct Callbacks {
        std::function<void()> becameActive;
        std::function<void()> resigned;
    };

    // Follows the session this process belongs to. The callbacks are queued on
    // `queue` when process() sees a transition. Null when there is no system
    // bus or no logind session (the engine then simply keeps running).
    static std::unique_ptr<LogindSession> open(DispatchQueue& queue, Callbacks callbacks);
    ~LogindSession();
    LogindSession(const LogindSession&) = delete;
    LogindSession& operator=(const LogindSession&) = delete;

    // A descriptor to wait on (readable: call process()).
    int fd() const;
    // Handles every message that has arrived, without blocking.
    void process();
    bool active() const { return activity_.active(); }
    const std::string& objectPath() const { return path_; }

    // Applies one reading; public so the signal handler's decisions can be
    // followed without a bus.
    void apply(const ActiveChange& change);

private:
    struct Bus;
    LogindSession(DispatchQueue& queue, Callbacks callbacks);
    std::optional<bool> readActive() const;

    DispatchQueue& queue_;
    Callbacks callbacks_;
    std::unique_ptr<Bus> bus_;
    std::string path_;
    SessionActivity activity_;
};

}  // namespace gm::platform::linux_desktop
