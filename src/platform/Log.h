#pragma once
// The program's one logger. Messages carry the subsystem and category so that
// the system journal can tell Glidemark's lines apart from everyone else's.
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace gm::platform {

enum class LogLevel { Debug, Info, Default, Error, Fault };

std::string_view toString(LogLevel level);

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(LogLevel level, std::string_view subsystem, std::string_view category,
                       std::string_view message) = 0;
};

// Writes "glidemark[category] message" lines to standard error.
class StderrLogSink final : public LogSink {
public:
    void write(LogLevel level, std::string_view subsystem, std::string_view category,
               std::string_view message) override;
};

// Keeps every line in memory; tests read them back.
class MemoryLogSink final : public LogSink {
public:
    struct Line {
        LogLevel level;
        std::string subsystem;
        std::string category;
        std::string message;
    };
    void write(LogLevel level, std::string_view subsystem, std::string_view category,
               std::string_view message) override;
    std::vector<Line> lines() const;
    bool contains(std::string_view message) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

class Logger {
public:
    Logger(std::string subsystem, std::string category, LogSink* sink);
    void log(LogLevel level, std::string_view message) const;
    void info(std::string_view message) const { log(LogLevel::Default, message); }
    void error(std::string_view message) const { log(LogLevel::Error, message); }
    void setSink(LogSink* sink);
    // Writes a line of another logger (its own subsystem and category) to this logger's sink.
    void forward(LogLevel level, std::string_view subsystem, std::string_view category,
                 std::string_view message) const;
    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

private:
    std::string subsystem_;
    std::string category_;
    mutable std::mutex mutex_;
    LogSink* sink_;
};

// Used when the program has no bundle identifier of its own.
inline constexpr std::string_view kDefaultSubsystem = "com.Pellmar.Glidemark";

// The program-wide logger `log`: subsystem as above, category "general",
// writing to standard error until a backend installs a better sink.
Logger& log();
// The sink `log` starts with, to go back to when a better one goes away.
LogSink& stderrLogSink();
// Writes wherever `log` writes at the time, so that a module's own logger
// reaches the same place (the journal once the backend installs it).
LogSink& programLogSink();

}  // namespace gm::platform
