#pragma once
// The small services of the macOS table: clocks, the Accessibility trust
// check, the standard user defaults, the unified log, developer output and
// the libdispatch queues.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Log.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"

namespace gm::platform::macos {

// Media time is the host clock Core Animation and the display links use.
class MacClock final : public Clock {
public:
    double mediaTime() const override;
    double wallTime() const override;
};

class MacInputAccess final : public InputAccess {
public:
    bool isTrusted() const override;
    // The system's own prompt, which also lists the program in the Accessibility pane.
    void requestAccess() override;
    // The Accessibility list in System Settings (or the nearest pane this
    // system has), then the system's prompt.
    void openSettings() override;
};

// NSUserDefaults: a data value per key, in this program's own domain or in
// the named one (glidemarkctl reads the application's).
class MacUserDefaults final : public UserDefaults {
public:
    explicit MacUserDefaults(std::optional<std::string> domain = std::nullopt) : domain_(std::move(domain)) {}
    std::optional<std::string> data(const std::string& key) const override;
    bool setData(const std::string& key, const std::string& bytes) override;
    std::string locationOf(const std::string& key) const override;

private:
    std::optional<std::string> domain_;
};

// The unified log, one os_log object per subsystem and category.
class OsLogSink final : public LogSink {
public:
    OsLogSink();
    ~OsLogSink() override;
    void write(LogLevel level, std::string_view subsystem, std::string_view category,
               std::string_view message) override;

private:
    struct Logs;
    std::mutex mutex_;
    std::unique_ptr<Logs> logs_;
};

class StdoutConsole final : public Console {
public:
    void print(std::string_view line) override;
};

// A serial libdispatch queue of its own.
std::unique_ptr<DispatchQueue> makeSerialQueue(const std::string& label);
// The main thread's queue (dispatch_get_main_queue), where the shell runs.
DispatchQueue& mainThreadQueue();

}  // namespace gm::platform::macos
